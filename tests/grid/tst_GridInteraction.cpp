#include "GridSupport.h"
#include "TestEnv.h"
#include "WidgetInput.h"
#include "grid/GridInteraction.h"
#include "grid/PreviewWindow.h"
#include "settings/Prefs.h"

#include <QTest>

using namespace gridtest;

namespace {

void press(GridView* grid, QPointF at, Qt::KeyboardModifiers modifiers = {}) {
    sendMouse(grid, QEvent::MouseButtonPress, at, Qt::LeftButton, modifiers);
}
void move(GridView* grid, QPointF at, Qt::MouseButtons buttons = Qt::LeftButton) {
    sendMouse(grid, QEvent::MouseMove, at, buttons, {}, Qt::NoButton);
}
void release(GridView* grid, QPointF at) {
    sendMouse(grid, QEvent::MouseButtonRelease, at, Qt::NoButton);
}
void click(GridView* grid, QPointF at, Qt::KeyboardModifiers modifiers = {}) {
    press(grid, at, modifiers);
    release(grid, at);
}

} // namespace

// Events reach the selection rules and requests the host; the rules are tst_GridSelection's.
class tst_GridInteraction : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<Roll> m_roll; // six shots

private slots:
    void init() {
        m_env = std::make_unique<TestEnv>();
        m_roll = std::make_unique<Roll>();
        m_roll->fill(6);
    }
    void cleanup() {
        m_roll.reset();
        m_env.reset();
    }

    // Clicks, keys (Caps Lock from the X11 state), the Menu key, Shift+F10, a right click.
    void eventsReachTheRules() {
        Roll& roll = *m_roll;
        QTest::keyClick(roll.grid, Qt::Key_Menu);
        click(roll.grid, roll.centre(2));
        QTest::keyClick(roll.grid, Qt::Key_Return);
        QTest::keyClick(roll.grid, Qt::Key_C, Qt::ControlModifier);
        QTest::keyClick(roll.grid, Qt::Key_W);
        QKeyEvent capsLock(QEvent::KeyPress, Qt::Key_A, {}, 0, 0, 0x2 /* X11 lock */, "A");
        QCoreApplication::sendEvent(roll.grid, &capsLock);
        QTest::keyClick(roll.grid, Qt::Key_F10, Qt::ShiftModifier);
        const QPoint at = roll.centre(5).toPoint();
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at, roll.grid->mapToGlobal(at));
        QCoreApplication::sendEvent(roll.grid, &menu);
        click(roll.grid, roll.centre(1), Qt::ControlModifier);
        QCOMPARE(roll.host.log, (QStringList{"menu ", "open s2", "copy s2", "search w", "menu s2",
                                             "menu s5", "count 1"}));
    }

    // A drag-out holds the panel, tells the host of its start and end, toggles nothing.
    void dragOutHoldsThePanel() {
        Roll& roll = *m_roll;
        click(roll.grid, roll.centre(0), Qt::ControlModifier);
        roll.host.log.clear();
        const QPointF at = roll.centre(3) + QPointF(12, 0);
        press(roll.grid, roll.centre(3));
        move(roll.grid, at);
        release(roll.grid, at);
        QCOMPARE(roll.host.log, (QStringList{"hold", "drag", "drag end", "release"}));
        QCOMPARE(roll.grid->selection().size(), 1);
        QVERIFY(roll.grid->interaction().draggedShots().isEmpty());
    }

    // The band is painted while dragged, selects, and scrolls by how far the pointer is out.
    void rubberBand() {
        Roll& roll = *m_roll;
        roll.fill(300);
        roll.scrollTo(1000);
        const QPointF empty(2, 1010); // the left margin
        press(roll.grid, empty);
        move(roll.grid, empty + QPointF(100, 10)); // the first move starts the band
        QCOMPARE(roll.scroll(), 1000);
        move(roll.grid, QPointF(200, 1000 + 600 + 37));
        QCOMPARE(roll.scroll(), 1037);
        move(roll.grid, QPointF(200, 1037 - 20));
        QCOMPARE(roll.scroll(), 1017);
        move(roll.grid, QPointF(200, 1200));
        QCOMPARE(roll.scroll(), 1017);
        const QPoint inBand(3, 1100 - 1017); // in the viewport, off every cell
        const QImage dragging = roll.area.grab().toImage();
        release(roll.grid, QPointF(200, 1200));
        QVERIFY(dragging.pixel(inBand) != roll.area.grab().toImage().pixel(inBand));
        QVERIFY(!roll.grid->selection().isEmpty());
    }

    // Bringing a frame into view scrolls as little as it can, to the top of a tall one.
    void scrollToVisible_data() {
        QTest::addColumn<QRectF>("frame");
        QTest::addColumn<int>("scroll");
        QTest::newRow("in view") << QRectF(0, 1100, 10, 100) << 1000;
        QTest::newRow("above") << QRectF(0, 900, 10, 50) << 900;
        QTest::newRow("below") << QRectF(0, 1700, 10, 100) << 1200;
        QTest::newRow("taller than the roll") << QRectF(0, 1700, 10, 900) << 1700;
        QTest::newRow("half a point below") << QRectF(0, 1500, 10, 100.5) << 1001;
    }
    void scrollToVisible() {
        QFETCH(QRectF, frame);
        QFETCH(int, scroll);
        Roll& roll = *m_roll;
        roll.fill(300);
        roll.scrollTo(1000);
        roll.grid->interaction().scrollToVisible(frame);
        QCOMPARE(roll.scroll(), scroll);
    }

    // A hovered cell's buttons act on a click (the trash on the selection it is in), not a slip.
    void cellButtonsClick_data() {
        QTest::addColumn<bool>("trash");
        QTest::addColumn<bool>("pressOn");
        QTest::addColumn<bool>("releaseOn");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("copy") << false << true << true << false << QStringList{"copy s2"};
        QTest::newRow("trash") << true << true << true << false << QStringList{"trash s2"};
        QTest::newRow("trash of the selection")
            << true << true << true << true << QStringList{"trash s2,s4"};
        QTest::newRow("released off") << false << true << false << false << QStringList{};
        QTest::newRow("pressed off") << true << false << true << false << QStringList{};
    }
    void cellButtonsClick() {
        QFETCH(bool, trash);
        QFETCH(bool, pressOn);
        QFETCH(bool, releaseOn);
        QFETCH(bool, selected);
        QFETCH(QStringList, log);
        Roll& roll = *m_roll;
        const ShotList& shots = roll.grid->shots();
        if (selected)
            roll.grid->setSelection({shots[4]->path, shots[2]->path});
        const QSet<QString> before = roll.grid->selection();
        ThumbView* cell = roll.grid->cell(shots[2]->path);
        move(roll.grid, roll.centre(2), Qt::NoButton); // the buttons show on the hovered cell
        const ThumbView::Geometry& g = cell->geometry();
        const QPointF button = (trash ? g.trashB : g.copyB).center() + cell->frame().topLeft();
        press(roll.grid, pressOn ? button : button + QPointF(0, 40));
        release(roll.grid, releaseOn ? button : button + QPointF(0, 40));
        QCOMPARE(roll.host.log.filter(QRegularExpression("^(copy|trash)")), log);
        QCOMPARE(roll.grid->selection(), before);
        roll.grid->setHost(nullptr);
        cell->fire(ThumbView::Button::Trash); // without a host nothing happens
    }

    // A double click opens the chosen preview, holding the panel until Space closes it.
    void doubleClickPreviews() {
        Prefs::shared().set(Key::doubleClick, QStringLiteral("quicklook"));
        Roll& roll = *m_roll;
        const QPointF at = roll.centre(0);
        click(roll.grid, at);
        sendMouse(roll.grid, QEvent::MouseButtonDblClick, at);
        release(roll.grid, at);
        PreviewWindow* preview = roll.grid->interaction().preview();
        QVERIFY(preview && preview->isShowing());
        QCOMPARE(roll.host.log, QStringList{"hold"});
        roll.advance(1);
        QCOMPARE(preview->current(), roll.grid->shots()[0]);
        QTest::keyClick(preview, Qt::Key_Right);
        QCOMPARE(preview->current()->path, roll.grid->interaction().rules().neighbor(
                                               roll.grid->shots()[0]->path, Direction::Right));
        QTest::keyClick(preview, Qt::Key_Space);
        roll.advance(1);
        QVERIFY(!preview->isShowing());
        QCOMPARE(roll.host.log, (QStringList{"hold", "release"}));
    }

    // A pile: the first frame small and in shape, the others below-right, the count's room above.
    void pileOfFrames() {
        QImage wide(448, 252, QImage::Format_RGB32);
        wide.fill(Qt::red);
        const auto pile = GridInteraction::pileImage({wide, wide, wide, wide, wide}, 5, 2.0);
        const QSize size = pile.image.deviceIndependentSize().toSize();
        QVERIFY(pile.top.width() < wide.width() / 2);
        QCOMPARE(pile.top.height(), qRound(pile.top.width() * 252.0 / 448));
        QVERIFY(pile.top.left() == 0 && pile.top.top() > 0); // the badge's room above
        QVERIFY(size.width() > pile.top.right() + 1 && size.height() > pile.top.bottom() + 1);
        QCOMPARE(pile.image.size(), size * 2);
        QVERIFY(qAlpha(pile.image.pixel(2 * pile.top.bottomRight() + QPoint(4, 4))) > 0);
        const auto single = GridInteraction::pileImage({QImage()}, 1, 1.0);
        QCOMPARE(single.top, single.image.rect());
    }
};

class tst_PreviewWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<motion::Animator> m_clock;
    std::unique_ptr<PreviewWindow> m_preview;
    int m_closed = 0;
    bool m_hadKeyboard = false;
    QList<std::pair<Qt::Key, Qt::KeyboardModifiers>> m_arrows;

    ShotPtr still(const QString& name, QSizeF size) {
        const QString path = m_env->home() + "/" + name;
        QImage image(size.toSize(), QImage::Format_RGB32);
        image.fill(QColor(40, 160, 90));
        image.save(path, "png");
        return std::make_shared<Shot>(path, 0, 0, size, false, true);
    }

private slots:
    // A window on a manual clock whose items zoom out of a fixed frame for a.png.
    void init() {
        m_env = std::make_unique<TestEnv>();
        m_clock = std::make_unique<motion::Animator>(0.0);
        m_preview = std::make_unique<PreviewWindow>(m_clock.get());
        m_closed = 0;
        m_arrows.clear();
        m_preview->composited = [] { return true; };
        m_preview->sourceFrame = [](const Shot& shot) {
            return shot.path.endsWith("a.png") ? QRect(40, 50, 200, 120) : QRect();
        };
        m_preview->transitionImage = [](const Shot&) {
            QImage image(200, 120, QImage::Format_RGB32);
            image.fill(Qt::gray);
            return image;
        };
        m_preview->onClosed = [this](bool hadKeyboard) {
            ++m_closed;
            m_hadKeyboard = hadKeyboard;
        };
        m_preview->onArrow = [this](Qt::Key key, Qt::KeyboardModifiers modifiers) {
            m_arrows.append({key, modifiers});
        };
    }
    void cleanup() {
        m_preview.reset();
        m_clock.reset();
        m_env.reset();
    }

    // At most its own size, within most of the screen, centred or beside the card if room.
    void placement_data() {
        QTest::addColumn<QSizeF>("pixels");
        QTest::addColumn<QSize>("fallback");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QRect>("keepClear");
        QTest::addColumn<QRect>("expected");
        const auto row = [](const char* name, QSizeF pixels, double ratio, QRect keepClear,
                            QRect expected, QSize fallback = {}) {
            QTest::newRow(name) << pixels << fallback << ratio << keepClear << expected;
        };
        const QRect none;
        row("large screenshot", {3000, 2000}, 1, none, {203, 90, 1035, 720});
        row("retina screenshot", {800, 600}, 2, none, {520, 285, 400, 330});
        row("tiny picture", {100, 50}, 1, none, {540, 375, 360, 150});
        row("tall picture", {1000, 4000}, 1, none, {540, 90, 360, 720});
        row("beside a card on the right", {3000, 2000}, 1, {1140, 0, 300, 900},
            {125, 144, 874, 612});
        row("beside a card on the left", {800, 600}, 1, {0, 0, 300, 900}, {478, 135, 800, 630});
        row("a card too wide to open beside", {800, 600}, 1, {300, 0, 900, 900},
            {320, 135, 800, 630});
        row("unknown size", {}, 1, none, {144, 111, 1152, 678}, {160, 90});
    }
    void placement() {
        QFETCH(QSizeF, pixels);
        QFETCH(QSize, fallback);
        QFETCH(qreal, ratio);
        QFETCH(QRect, keepClear);
        QFETCH(QRect, expected);
        const Shot shot("/x.png", 0, 0, pixels, false, true);
        QCOMPARE(PreviewWindow::placement(shot, fallback, QRect(0, 0, 1440, 900), ratio, keepClear),
                 expected);
    }

    // The card zooms from the cell's frame and back, in one see-through window of one size.
    void zoomsOpenAndClosed() {
        m_preview->present({still("a.png", QSizeF(640, 400))});
        QCOMPARE(m_preview->state(), PreviewWindow::State::Opening);
        QCOMPARE(m_preview->cardGeometry(), QRect(40, 50, 200, 120));
        const QRect window = m_preview->geometry();
        m_clock->advanceTo(PreviewWindow::zoomDuration / 2);
        const QRect middle = m_preview->cardGeometry();
        QVERIFY(middle.width() > 200 && middle.width() < 640);
        QCOMPARE(m_preview->geometry(), window);
        const QImage frame = m_preview->grab().toImage();
        QCOMPARE(qAlpha(frame.pixel(middle.center() - window.topLeft())), 255);
        for (const QPoint corner : {QPoint(0, 0), QPoint(frame.width() - 1, frame.height() - 1)})
            if (!middle.contains(corner + window.topLeft()))
                QCOMPARE(qAlpha(frame.pixel(corner)), 0);
        m_clock->advanceTo(PreviewWindow::zoomDuration + 0.01);
        QCOMPARE(m_preview->state(), PreviewWindow::State::Open);
        QCOMPARE(m_preview->geometry(), window);
        QCOMPARE(m_preview->cardGeometry().size(), QSize(640, 400 + PreviewWindow::titleHeight));
        QTRY_COMPARE(m_preview->picture().size(), QSize(640, 400));
        QTest::keyClick(m_preview.get(), Qt::Key_Space);
        QCOMPARE(m_preview->state(), PreviewWindow::State::Closing);
        m_clock->advanceTo(1.0);
        QCOMPARE(m_preview->state(), PreviewWindow::State::Closed);
        QVERIFY(!m_preview->isVisible());
        QCOMPARE(m_preview->cardGeometry(), QRect(40, 50, 200, 120));
        QTest::keyClick(m_preview.get(), Qt::Key_Escape);
        QCOMPARE(m_closed, 1);
    }

    // Without a compositor the window cannot zoom cleanly: it opens and closes at once.
    void opensInPlaceWithoutCompositor() {
        m_preview->composited = [] { return false; };
        m_preview->present({still("a.png", QSizeF(640, 400))});
        QCOMPARE(m_preview->state(), PreviewWindow::State::Open);
        QCOMPARE(m_preview->geometry().size(), QSize(640, 400 + PreviewWindow::titleHeight));
        QCOMPARE(m_preview->cardGeometry(), m_preview->geometry());
        m_preview->dismiss();
        QCOMPARE(m_preview->state(), PreviewWindow::State::Closed);
        QCOMPARE(m_closed, 1);
    }

    // Arrows go to the grid with their modifiers; Esc closes, saying whether it had the keys.
    void arrowsAreForwarded() {
        m_preview->present({still("b.png", QSizeF(300, 200))});
        m_clock->advanceTo(1.0);
        QTest::keyClick(m_preview.get(), Qt::Key_Right);
        QTest::keyClick(m_preview.get(), Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(m_arrows, (QList<std::pair<Qt::Key, Qt::KeyboardModifiers>>{
                               {Qt::Key_Right, {}}, {Qt::Key_Up, Qt::ShiftModifier}}));
        QCOMPARE(m_preview->state(), PreviewWindow::State::Open);
        const QRect open = m_preview->cardGeometry();
        QVERIFY(QTest::qWaitForWindowActive(m_preview.get()));
        QTest::keyClick(m_preview.get(), Qt::Key_Escape);
        m_clock->advanceTo(2.0);
        QCOMPARE(m_preview->cardGeometry(), open);
        QVERIFY(m_closed == 1 && m_hadKeyboard);
        // Closed after another window took the keyboard: nothing to hand back.
        m_preview->present({still("b.png", QSizeF(300, 200))});
        m_clock->advanceTo(3.0);
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        m_preview->dismiss();
        m_clock->advanceTo(4.0);
        QVERIFY(m_closed == 2 && !m_hadKeyboard);
    }

    // New items keep the shown shot if among them, else show the first; none close it.
    void followsItemChanges() {
        const ShotPtr a = still("a.png", QSizeF(300, 200));
        const ShotPtr b = still("b.png", QSizeF(200, 300));
        const ShotPtr c = still("c.png", QSizeF(200, 200));
        m_preview->present({a});
        m_clock->advanceTo(1.0);
        m_preview->setItems({b, a});
        QCOMPARE(m_preview->current(), a);
        QVERIFY(m_preview->title().endsWith("2 of 2"));
        m_preview->setItems({c, b});
        QCOMPARE(m_preview->current(), c);
        QTRY_COMPARE(m_preview->picture().size(), QSize(200, 200));
        m_preview->setItems({}); // c has no cell to zoom into: closed at once
        QCOMPARE(m_preview->state(), PreviewWindow::State::Closed);
        QCOMPARE(m_closed, 1);
    }

    // A recording that cannot play shows its poster frame and the reason, not black.
    void unplayableRecordingFallsBackToPoster() {
        const QString path = writeFile(m_env->home() + "/Recording.mp4", "not a movie");
        m_preview->present({std::make_shared<Shot>(path, 0, 0, QSizeF(), true, true)});
        m_clock->advanceTo(1.0);
        QTRY_COMPARE(m_preview->content(), PreviewWindow::Content::Poster);
    }
};

TAMBERK_TEST(tst_GridInteraction)
TAMBERK_TEST(tst_PreviewWindow)
#include "tst_GridInteraction.moc"
