#include "PanelRig.h"
#include "TestEnv.h"
#include "panel/PanelGeometry.h"
#include "panel/ScreenChoice.h"
#include "panel/TabLayout.h"

#include <QTest>

using namespace PanelGeometry;

Q_DECLARE_METATYPE(ScreenFrames)

namespace {

// `r` (points, `origin` its frame's device origin) in device pixels; empty
// unless every edge lands on a whole pixel.
QRect onPixels(const QRectF& r, double scale, QPoint origin = {}) {
    const QRectF d(r.topLeft() * scale + QPointF(origin), r.size() * scale);
    for (double edge : {d.left(), d.top(), d.right(), d.bottom()})
        if (qAbs(edge - std::round(edge)) > 1e-6)
            return {};
    return d.toRect();
}

// The distance in device pixels from `r` to the docking edge of `bounds`.
int edgeGap(const QRect& r, const QRect& bounds, DockSide side) {
    return side == DockSide::right ? bounds.right() - r.right() : r.left() - bounds.left();
}

} // namespace

class tst_PanelGeometry : public QObject {
    Q_OBJECT
private slots:
    void placement_data() {
        QTest::addColumn<ScreenFrames>("screen");
        const QRectF wide(0, 0, 1920, 1080), wideVisible(0, 0, 1920, 1040);
        QTest::newRow("panel on top") << standardScreen();
        QTest::newRow("narrow") << ScreenFrames{QRectF(0, 0, 240, 800), QRectF(0, 0, 240, 800)};
        QTest::newRow("second screen")
            << ScreenFrames{wide.translated(1440, 0), wideVisible.translated(1440, 0)};
        // Visible frames shorter than the tab, and inset on one side only.
        QTest::newRow("tall panel")
            << ScreenFrames{QRectF(0, 0, 800, 300), QRectF(0, 200, 760, 100)};
        QTest::newRow("dock at the left")
            << ScreenFrames{QRectF(0, 0, 1440, 900), QRectF(60, 0, 1380, 900)};
        // Fractional ratios of 1440 × 900; at 1.75 the 823 × 514 points end off whole pixels.
        for (const auto& [scale, w, h] :
             {std::tuple{1.25, 1152, 720}, {1.5, 960, 600}, {1.75, 823, 514}}) {
            const QRectF full(0, 0, w, h);
            QTest::addRow("scale %g", scale) << ScreenFrames{full, full, scale};
        }
    }
    void placement() {
        QFETCH(ScreenFrames, screen);
        const double s = screen.scale;
        const QPointF o = screen.full.topLeft();
        const auto pixels = [&](const QRectF& r) {
            return QRectF((r.topLeft() - o) * s, r.size() * s).toRect();
        };
        const QRect full = pixels(screen.full), visible = pixels(screen.visible);
        for (DockSide side : {DockSide::left, DockSide::right}) {
            const QRect window = deviceRect(windowFrame(screen, side).toRect(), screen);
            QCOMPARE(QRectF(windowFrame(screen, side).toRect()), windowFrame(screen, side));
            QVERIFY(full.contains(window));
            QCOMPARE(edgeGap(window, full, side), 0);
            QCOMPARE(window.height(), full.height());
            QVERIFY(window.width() >= std::min(double(full.width()),
                                               (maxWidth(screen) + inset + windowExtra - 0.5) * s));
            for (double width : {100.0, 268.0, 300.5, 5000.0}) {
                const QRect card = onPixels(cardInWindow(screen, side, width), s, window.topLeft());
                QVERIFY2(!card.isEmpty(), "off whole pixels");
                QCOMPARE(card, onPixels(cardScreenFrame(screen, side, width).translated(-o), s));
                QVERIFY(window.contains(card));
                QVERIFY(qAbs(card.width() - clampWidth(width, screen) * s) < 1);
                QVERIFY(qAbs(edgeGap(card, visible, side) - inset * s) < 1);
                QVERIFY(qAbs(card.top() - visible.top() - inset * s) < 1);
                QVERIFY(qAbs(visible.bottom() - card.bottom() - inset * s) < 1);
            }

            // The tab: on the visible edge, centred on the screen within the visible frame.
            const QRectF tabFrame = TabLayout::windowFrame(screen, side);
            QCOMPARE(side == DockSide::left ? tabFrame.left() : tabFrame.right(),
                     side == DockSide::left ? screen.visible.left() : screen.visible.right());
            // A visible frame shorter than the tab puts it at the frame's top.
            const double top = std::max(screen.visible.top(),
                                        std::min(screen.full.center().y() - TabLayout::height / 2,
                                                 screen.visible.bottom() - TabLayout::height));
            QVERIFY(qAbs(tabFrame.top() - top) <= 0.5);
            const QRectF wanted = pixelAligned(tabFrame, screen);
            const QRect tabWindow = windowOnPixels(wanted, screen);
            const QRect tab = deviceRect(tabWindow, screen);
            QCOMPARE(edgeGap(tab, visible, side), 0);
            const QRectF idle = TabLayout::placedPill(TabLayout::pillRect(0, false, side),
                                                      inWindow(wanted, tabWindow, screen), side, s);
            const QRect pill = onPixels(idle, s, tab.topLeft());
            QVERIFY2(!pill.isEmpty(), "pill off whole pixels");
            QVERIFY(tab.contains(pill));
            QCOMPARE(edgeGap(pill, visible, side), 0);
        }
    }

    // Drags measure from the docking edge, so the sides mirror each other.
    void dragWidths() {
        const ScreenFrames screen = standardScreen();
        const QRectF& v = screen.visible;
        QVERIFY(gripWidth(268, 30, DockSide::left) > 268);
        QCOMPARE(gripWidth(268, 30, DockSide::left) - 268,
                 268 - gripWidth(268, 30, DockSide::right));
        for (double x : {400.4, 1000.0}) {
            const double left = handleWidth(x, DockSide::left, screen);
            QCOMPARE(handleWidth(v.right() - (x - v.left()), DockSide::right, screen), left);
            QVERIFY(handleWidth(x + 10, DockSide::left, screen) > left);
            const double live = liveWidth(left, screen);
            QCOMPARE(live, std::round(live));
            QVERIFY(qAbs(live - left) <= 0.5);
        }
        QCOMPARE(liveWidth(5000, screen), std::round(maxWidth(screen)));
        QCOMPARE(liveWidth(0, screen), minW);
    }

    void stripAndBoard() {
        const ScreenFrames screen = standardScreen();
        for (double thumb : {110.0, 224.0, 400.0, 720.0}) {
            const double strip = stripWidth(thumb, screen), board = boardWidth(thumb, screen);
            QVERIFY(oneColumn(strip, thumb));
            QVERIFY(!oneColumn(strip + gridGap + thumb, thumb));
            QVERIFY(board > strip && board <= maxWidth(screen));
            QCOMPARE(toggleTarget(strip, thumb, screen), board);
            if (!oneColumn(board, thumb))
                QCOMPARE(toggleTarget(board, thumb, screen), strip);
        }
        // The defaults make a strip.
        QCOMPARE(stripWidth(224, screen), 268.0);
    }

    // What tst_Screens' two screens do not show.
    void screenChoice_data() {
        QTest::addColumn<int>("primary");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<int>("picked");
        QTest::newRow("primary is second") << 1 << "primary" << QPoint(10, 10) << 1;
        QTest::newRow("pointer off screens") << 0 << "pointer" << QPoint(100, 1000) << 0;
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
        const std::optional<QPoint> at(pointer);
        QCOMPARE(ScreenChoice::pick(screens, primary, choice, at), picked);
        QCOMPARE(ScreenChoice::pick({}, 0, choice, at), -1);
    }

    // Square on the edge, round inside; grows idle < hovered < counting.
    void pill() {
        using namespace TabLayout;
        const QSizeF idle = pillSize(0, false), hovered = pillSize(0, true),
                     counting = pillSize(1, false);
        QCOMPARE(pillSize(1, true), counting);
        QVERIFY(idle.width() < hovered.width() && hovered.width() < counting.width());
        QVERIFY(idle.height() < hovered.height() && hovered.height() < counting.height());
        for (DockSide side : {DockSide::left, DockSide::right}) {
            const bool right = side == DockSide::right;
            for (int unseen : {0, 3}) {
                const QRectF pill = pillRect(unseen, false, side);
                QCOMPARE(right ? pill.right() : pill.left(), right ? width : 0.0);
                QCOMPARE(pill.center().y(), height / 2);
                const QRectF holes = holesRect(pill, unseen);
                QVERIFY(pill.contains(holes));
                QVERIFY(holeCount(holes.height()) * step >= holes.height() + 2 * step);
                if (unseen) {
                    const QRectF count = countRect(pill);
                    QVERIFY(pill.contains(count));
                    QVERIFY(count.bottom() <= holes.top());
                }
                const QPainterPath path = pillPath(pill, side);
                const QPointF inner = right ? pill.topLeft() : pill.topRight();
                const QPointF edge = right ? pill.topRight() : pill.topLeft();
                QVERIFY(!path.contains(inner + QPointF(right ? 0.3 : -0.3, 0.3)));
                QVERIFY(path.contains(edge + QPointF(right ? 0.5 : -0.5, 0.3)));
                QVERIFY(path.contains(pill.center()));
            }
        }
    }

    // The count stops at 99; the film runs one to three frames.
    void countAndAdvance() {
        QCOMPARE(TabLayout::countText(99), QStringLiteral("99"));
        QCOMPARE(TabLayout::countText(150), QStringLiteral("99"));
        QCOMPARE(TabLayout::advanceRepeats(0), 2);
        QCOMPARE(TabLayout::advanceRepeats(3), 6);
        QCOMPARE(TabLayout::advanceRepeats(8), 6);
    }
};

TAMBERK_TEST(tst_PanelGeometry)
#include "tst_PanelGeometry.moc"
