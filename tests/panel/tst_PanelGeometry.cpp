#include "PanelRig.h"
#include "TestEnv.h"
#include "panel/PanelGeometry.h"
#include "panel/ScreenChoice.h"
#include "panel/TabLayout.h"

#include <QSignalSpy>
#include <QTest>

using namespace PanelGeometry;

Q_DECLARE_METATYPE(DockSide)
Q_DECLARE_METATYPE(ScreenFrames)

class tst_PanelGeometry : public QObject {
    Q_OBJECT
private slots:
    // The card keeps 8 points from the visible frame on the docking edge, top
    // and bottom; its width is held between 228 and 0.92 of the visible width.
    void cardRectangle_data() {
        QTest::addColumn<DockSide>("side");
        QTest::addColumn<double>("width");
        QTest::addColumn<QRectF>("card");
        // The visible frame is y 25 … 900: the card's 8-point gap sits at
        // y 33 on top and at 892 at the bottom.
        QTest::newRow("right") << DockSide::right << 268.0 << QRectF(1164, 33, 268, 859);
        QTest::newRow("left") << DockSide::left << 268.0 << QRectF(8, 33, 268, 859);
        // 0.92 × 1440 is 1324.8: the card's edges go to whole pixels.
        QTest::newRow("too wide") << DockSide::right << 5000.0 << QRectF(107, 33, 1325, 859);
        QTest::newRow("too narrow") << DockSide::left << 100.0 << QRectF(8, 33, 228, 859);
    }
    void cardRectangle() {
        QFETCH(DockSide, side);
        QFETCH(double, width);
        QFETCH(QRectF, card);
        QCOMPARE(cardScreenFrame(standardScreen(), side, width), card);
        // Inside the window the card sits at the same place relative to it.
        const QRectF window = windowFrame(standardScreen(), side);
        QCOMPARE(cardInWindow(standardScreen(), side, width), card.translated(-window.topLeft()));
        QVERIFY(window.contains(card));
    }

    // The window covers the full screen height (panels included) and is as
    // wide as the widest card plus its gap and shadow room, never wider than
    // the screen.
    void windowCoversTheScreenHeight_data() {
        QTest::addColumn<ScreenFrames>("screen");
        QTest::addColumn<DockSide>("side");
        QTest::addColumn<QRectF>("frame");
        // 1324.8 + 8 + 40 wide, on whole pixels.
        QTest::newRow("right") << standardScreen() << DockSide::right << QRectF(67, 0, 1373, 900);
        QTest::newRow("left") << standardScreen() << DockSide::left << QRectF(0, 0, 1373, 900);
        // A narrow screen: the window is the screen's width.
        QTest::newRow("narrow") << ScreenFrames{QRectF(0, 0, 240, 800), QRectF(0, 0, 240, 800)}
                                << DockSide::right << QRectF(0, 0, 240, 800);
        // A second screen's origin carries over.
        QTest::newRow("offset") << ScreenFrames{QRectF(1440, 0, 1920, 1080),
                                                QRectF(1440, 0, 1920, 1040)}
                                << DockSide::left << QRectF(1440, 0, 1814, 1080);
    }
    void windowCoversTheScreenHeight() {
        QFETCH(ScreenFrames, screen);
        QFETCH(DockSide, side);
        QFETCH(QRectF, frame);
        QCOMPARE(windowFrame(screen, side), frame);
    }

    // The window and the card sit on whole device pixels and agree with each
    // other: the card keeps its width and its 8-pixel gap to the edge exactly
    // once the window manager has snapped the window.
    void wholePixels_data() {
        QTest::addColumn<ScreenFrames>("screen");
        QTest::addColumn<DockSide>("side");
        QTest::addColumn<double>("width");
        const ScreenFrames wide{QRectF(0, 0, 1920, 1080), QRectF(0, 0, 1920, 1040)};
        QTest::newRow("1440 right") << standardScreen() << DockSide::right << 268.0;
        QTest::newRow("1440 widest") << standardScreen() << DockSide::right << 5000.0;
        QTest::newRow("1920 right") << wide << DockSide::right << 268.0;
        QTest::newRow("1920 left") << wide << DockSide::left << 268.0;
        QTest::newRow("1920 scale 2")
            << ScreenFrames{wide.full, wide.visible, 2} << DockSide::right << 300.5;
    }
    void wholePixels() {
        QFETCH(ScreenFrames, screen);
        QFETCH(DockSide, side);
        QFETCH(double, width);
        const QRectF window = windowFrame(screen, side);
        const QRectF card = cardInWindow(screen, side, width);
        // What X does with the window and what the card's widget gets.
        const auto device = [&](const QRectF& r) {
            return QRectF(r.topLeft() * screen.scale, r.size() * screen.scale);
        };
        QCOMPARE(QRectF(device(window).toAlignedRect()), device(window));
        QCOMPARE(QRectF(device(card).toAlignedRect()), device(card));
        const QRectF onScreen = card.translated(window.topLeft());
        QCOMPARE(onScreen, cardScreenFrame(screen, side, width));
        if (width < 1000)
            QCOMPARE(onScreen.width(), width);
        if (side == DockSide::right)
            QCOMPARE(screen.visible.right() - onScreen.right(), inset);
        else
            QCOMPARE(onScreen.left() - screen.visible.left(), inset);
    }

    // At fractional ratios a whole point is no whole pixel: the windows are
    // whole points that Qt maps onto pixels ending exactly at the screen's
    // edge, and the card and the tab sit on whole pixels inside them, 8
    // points from the edge. A 1440 × 900 screen, numbers in device pixels.
    void fractionalRatios_data() {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QSize>("points"); // the screen as Qt gives it
        QTest::addColumn<DockSide>("side");
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QRect>("card");
        QTest::addColumn<QRect>("tab");
        QTest::addColumn<QRect>("pill");
        // 1.5: 960 × 600 points; the widest card 883.2 points. The idle pill's
        // 40.5-pixel margin rounds down the screen.
        QTest::newRow("1.5 right")
            << 1.5 << QSize(960, 600) << DockSide::right << QRect(42, 0, 1398, 900)
            << QRect(1026, 12, 402, 876) << QRect(1413, 345, 27, 210) << QRect(1429, 386, 11, 129);
        QTest::newRow("1.5 left") << 1.5 << QSize(960, 600) << DockSide::left
                                  << QRect(0, 0, 1398, 900) << QRect(12, 12, 402, 876)
                                  << QRect(0, 345, 27, 210) << QRect(0, 386, 11, 129);
        // 1.25: 1152 × 720 points. No window of whole points is 22.5 pixels
        // wide at 1417.5: the tab's window is 20 points, the pill still on
        // the edge pixel.
        QTest::newRow("1.25 right")
            << 1.25 << QSize(1152, 720) << DockSide::right << QRect(55, 0, 1385, 900)
            << QRect(1095, 10, 335, 880) << QRect(1415, 360, 25, 180) << QRect(1431, 396, 9, 108);
        // 1.75: Qt's 823 × 514 points are 1440.25 × 899.5 pixels. No whole
        // points are whole pixels up to the edge; the windows still end on
        // its last pixel and stay on the screen.
        QTest::newRow("1.75 right")
            << 1.75 << QSize(823, 514) << DockSide::right << QRect(28, 0, 1412, 900)
            << QRect(957, 14, 469, 872) << QRect(1407, 322, 33, 252) << QRect(1428, 374, 12, 151);
    }
    void fractionalRatios() {
        QFETCH(double, scale);
        QFETCH(QSize, points);
        QFETCH(DockSide, side);
        QFETCH(QRect, window);
        QFETCH(QRect, card);
        QFETCH(QRect, tab);
        QFETCH(QRect, pill);
        const QRectF full(QPointF(0, 0), QSizeF(points));
        const ScreenFrames screen{full, full, scale};
        const auto device = [scale](const QRectF& r, QPoint origin) {
            const QRectF d(r.topLeft() * scale + QPointF(origin), r.size() * scale);
            // Whole pixels, not merely near them.
            return d.toAlignedRect() == d.toRect() ? d.toRect() : QRect();
        };
        const QRect win = windowFrame(screen, side).toRect();
        QCOMPARE(QRectF(win), windowFrame(screen, side));
        QCOMPARE(deviceRect(win, screen), window);
        QCOMPARE(device(cardInWindow(screen, side, 268), window.topLeft()), card);

        const QRectF wanted = pixelAligned(TabLayout::windowFrame(screen, side), screen);
        const QRect tabWindow = windowOnPixels(wanted, screen);
        QCOMPARE(deviceRect(tabWindow, screen), tab);
        const QRectF box = inWindow(wanted, tabWindow, screen);
        const QRectF idle =
            TabLayout::placedPill(TabLayout::pillRect(0, false, side), box, side, scale);
        QCOMPARE(device(idle, tab.topLeft()), pill);
    }

    // Handle and grip drags measure from the docking edge: +30 on the grip
    // widens a left card and narrows a right one; live widths are whole points.
    void dragWidths_data() {
        QTest::addColumn<DockSide>("side");
        QTest::addColumn<double>("grip");
        QTest::addColumn<double>("handleX");
        QTest::addColumn<double>("handle");
        QTest::newRow("left") << DockSide::left << 298.0 << 400.4 << 392.0;
        QTest::newRow("right") << DockSide::right << 238.0 << 1000.0 << 432.0;
    }
    void dragWidths() {
        QFETCH(DockSide, side);
        QFETCH(double, grip);
        QFETCH(double, handleX);
        QFETCH(double, handle);
        QCOMPARE(gripWidth(268, 30, side), grip);
        QCOMPARE(liveWidth(handleWidth(handleX, side, standardScreen()), standardScreen()), handle);
        QCOMPARE(liveWidth(5000, standardScreen()), std::round(1324.8));
    }

    // One column of a thumbnail decides strip mode; the strip is exactly one
    // column wide and the board at least 2.6 strips and 0.58 of the screen.
    void stripAndBoard_data() {
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("thumb");
        QTest::addColumn<bool>("single");
        QTest::addColumn<double>("target");
        QTest::newRow("strip to board") << 268.0 << 224.0 << true << 835.2;
        QTest::newRow("board to strip") << 835.0 << 224.0 << false << 268.0;
        QTest::newRow("big thumb board") << 444.0 << 400.0 << true << 2.6 * 444;
        QTest::newRow("huge thumb capped") << 764.0 << 720.0 << true << 1324.8;
    }
    void stripAndBoard() {
        QFETCH(double, width);
        QFETCH(double, thumb);
        QFETCH(bool, single);
        QFETCH(double, target);
        QCOMPARE(oneColumn(width, thumb), single);
        QCOMPARE(toggleTarget(width, thumb, standardScreen()), target);
    }

    // The toggle eases out over its span and lands on the whole point nearest
    // its target.
    void tweenEasesOut() {
        QCOMPARE(tweenWidth(268, 835.2, 0), 268.0);
        QCOMPARE(tweenWidth(268, 835.2, 0.5), std::round(268 + 567.2 * 0.875));
        QCOMPARE(tweenWidth(268, 835.2, 1), 835.0);
        QCOMPARE(tweenWidth(835, 268, 2), 268.0);
    }

    // "t2.screen": the primary screen, the one under the pointer for an open
    // that follows it (the tab, hover and peek do not), or one by name, which
    // falls back to the primary screen while it is unplugged.
    void screenChoice_data() {
        QTest::addColumn<int>("primary");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QPoint>("pointer"); // (-1, -1): an open that ignores it
        QTest::addColumn<int>("picked");
        const QPoint none(-1, -1);
        QTest::newRow("primary") << 0 << "primary" << QPoint(2000, 500) << 0;
        QTest::newRow("primary is second") << 1 << "primary" << QPoint(10, 10) << 1;
        QTest::newRow("pointer") << 0 << "pointer" << QPoint(2000, 500) << 1;
        QTest::newRow("pointer, tab") << 0 << "pointer" << none << 0;
        QTest::newRow("pointer off screens") << 0 << "pointer" << QPoint(100, 1000) << 0;
        QTest::newRow("named") << 0 << "output:HDMI-1" << none << 1;
        QTest::newRow("named unplugged") << 0 << "output:VGA-1" << QPoint(2000, 500) << 0;
        QTest::newRow("damaged") << 1 << "elsewhere" << QPoint(10, 10) << 1;
    }
    void screenChoice() {
        QFETCH(int, primary);
        QFETCH(QString, choice);
        QFETCH(QPoint, pointer);
        QFETCH(int, picked);
        // A 1440 × 900 laptop and a taller 1920 × 1080 monitor to its right.
        const QList<ScreenChoice::Screen> screens{{"eDP-1", QRect(0, 0, 1440, 900)},
                                                  {"HDMI-1", QRect(1440, 0, 1920, 1080)}};
        const auto at = pointer.x() < 0 ? std::nullopt : std::optional<QPoint>(pointer);
        QCOMPARE(ScreenChoice::pick(screens, primary, choice, at), picked);
        QCOMPARE(ScreenChoice::pick({}, 0, choice, at), -1);
    }

    // The tab sits on the visible frame's edge, centred on the full screen and
    // kept inside the visible frame.
    void tabPlace_data() {
        QTest::addColumn<ScreenFrames>("screen");
        QTest::addColumn<DockSide>("side");
        QTest::addColumn<QRectF>("frame");
        QTest::newRow("right") << standardScreen() << DockSide::right << QRectF(1422, 380, 18, 140);
        QTest::newRow("left") << standardScreen() << DockSide::left << QRectF(0, 380, 18, 140);
        // A tall panel at the top pushes the tab down to the visible frame.
        QTest::newRow("clamped") << ScreenFrames{QRectF(0, 0, 800, 300), QRectF(0, 200, 760, 100)}
                                 << DockSide::right << QRectF(742, 200, 18, 140);
        QTest::newRow("dock at the side")
            << ScreenFrames{QRectF(0, 0, 1440, 900), QRectF(60, 0, 1380, 900)} << DockSide::left
            << QRectF(60, 380, 18, 140);
    }
    void tabPlace() {
        QFETCH(ScreenFrames, screen);
        QFETCH(DockSide, side);
        QFETCH(QRectF, frame);
        QCOMPARE(TabLayout::windowFrame(screen, side), frame);
    }

    // The pill's size follows unseen frames and hover; it hugs the screen edge
    // and leaves room for the count above the holes.
    void pill_data() {
        QTest::addColumn<int>("unseen");
        QTest::addColumn<bool>("hover");
        QTest::addColumn<DockSide>("side");
        QTest::addColumn<QRectF>("pill");
        QTest::addColumn<QRectF>("holes");
        QTest::newRow("idle right")
            << 0 << false << DockSide::right << QRectF(11, 27, 7, 86) << QRectF(11, 36, 7, 68);
        QTest::newRow("hover right")
            << 0 << true << DockSide::right << QRectF(7, 18, 11, 104) << QRectF(7, 27, 11, 86);
        QTest::newRow("unseen left")
            << 3 << false << DockSide::left << QRectF(0, 16, 16, 108) << QRectF(0, 38, 16, 77);
        QTest::newRow("unseen hovered")
            << 1 << true << DockSide::right << QRectF(2, 16, 16, 108) << QRectF(2, 38, 16, 77);
    }
    void pill() {
        QFETCH(int, unseen);
        QFETCH(bool, hover);
        QFETCH(DockSide, side);
        QFETCH(QRectF, pill);
        QFETCH(QRectF, holes);
        QCOMPARE(TabLayout::pillRect(unseen, hover, side), pill);
        QCOMPARE(TabLayout::holesRect(pill, unseen), holes);
        // The count sits in the pill's top 19 points.
        const QRectF count = TabLayout::countRect(pill);
        QCOMPARE(count.bottom(), pill.top() + 19);
        // Enough holes for the strip and a two-step shift.
        QVERIFY(TabLayout::holeCount(holes.height()) * TabLayout::step >= holes.height() + 14);
    }

    // The outline is square on the screen edge (one point past it) and
    // rounded on the inner side.
    void pillPathIsD_data() {
        QTest::addColumn<DockSide>("side");
        QTest::addColumn<QPointF>("innerCorner");
        QTest::addColumn<QPointF>("edgeCorner");
        const QRectF r(2, 16, 16, 108);
        QTest::newRow("right") << DockSide::right << r.topLeft() + QPointF(0.3, 0.3)
                               << r.topRight() + QPointF(0.5, 0.3);
        QTest::newRow("left") << DockSide::left << QPointF(r.right() - 0.3, r.top() + 0.3)
                              << QPointF(r.left() - 0.5, r.top() + 0.3);
    }
    void pillPathIsD() {
        QFETCH(DockSide, side);
        QFETCH(QPointF, innerCorner);
        QFETCH(QPointF, edgeCorner);
        const QRectF r(2, 16, 16, 108);
        const QPainterPath path = TabLayout::pillPath(r, side);
        const double overhang = side == DockSide::right ? 0 : -1;
        QCOMPARE(path.boundingRect(),
                 QRectF(r.left() + overhang, r.top(), r.width() + 1, r.height()));
        QVERIFY(!path.contains(innerCorner));
        QVERIFY(path.contains(edgeCorner));
        QVERIFY(path.contains(r.center()));
    }

    // The count reads "99" past 99, and the film advances two steps per frame
    // for at most three frames.
    void countAndAdvance() {
        QCOMPARE(TabLayout::countText(3), QStringLiteral("3"));
        QCOMPARE(TabLayout::countText(99), QStringLiteral("99"));
        QCOMPARE(TabLayout::countText(150), QStringLiteral("99"));
        QCOMPARE(TabLayout::advanceRepeats(0), 2);
        QCOMPARE(TabLayout::advanceRepeats(1), 2);
        QCOMPARE(TabLayout::advanceRepeats(3), 6);
        QCOMPARE(TabLayout::advanceRepeats(8), 6);
    }
};

TAMBERK_TEST(tst_PanelGeometry)
#include "tst_PanelGeometry.moc"
