#include "TestEnv.h"
#include "grid/PreviewWindow.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

namespace {

ShotPtr still(const QString& path, QSizeF size) {
    QImage image(size.toSize(), QImage::Format_RGB32);
    image.fill(QColor(40, 160, 90));
    image.save(path, "png");
    return std::make_shared<Shot>(path, 0, 0, size, false, true);
}

struct Opened {
    int closed = 0;
    bool hadKeyboard = false;
    QList<std::pair<Qt::Key, Qt::KeyboardModifiers>> arrows;
};

} // namespace

class tst_PreviewWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> m_env;

    // A window on a manual clock whose items zoom out of fixed cell frames.
    std::unique_ptr<PreviewWindow> window(motion::Animator& clock, Opened& seen) {
        auto preview = std::make_unique<PreviewWindow>(&clock);
        preview->composited = [] { return true; };
        preview->sourceFrame = [](const Shot& shot) {
            return shot.path.endsWith("a.png") ? QRect(40, 50, 200, 120) : QRect();
        };
        preview->transitionImage = [](const Shot&) {
            QImage image(200, 120, QImage::Format_RGB32);
            image.fill(Qt::gray);
            return image;
        };
        preview->onClosed = [&seen](bool hadKeyboard) {
            ++seen.closed;
            seen.hadKeyboard = hadKeyboard;
        };
        preview->onArrow = [&seen](Qt::Key key, Qt::KeyboardModifiers modifiers) {
            seen.arrows.append({key, modifiers});
        };
        return preview;
    }

private slots:
    void init() { m_env = std::make_unique<TestEnv>(); }
    void cleanup() { m_env.reset(); }

    // The window shows a picture at most at its own size, within 80 % of the
    // screen, centred; unknown sizes take the transition image's shape.
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

    // Opening zooms the card from the cell's frame to its place, then shows the
    // decoded still; Space zooms back into the cell and reports the close once.
    // The window keeps its size while the card zooms inside it, see-through
    // around the card, so no frame shows a strip the window has not painted.
    void zoomsOpenAndClosed() {
        motion::Animator clock(0.0);
        Opened seen;
        auto preview = window(clock, seen);
        const ShotPtr shot = still(m_env->home() + "/a.png", QSizeF(640, 400));
        preview->present({shot});

        QCOMPARE(preview->state(), PreviewWindow::State::Opening);
        QCOMPARE(preview->cardGeometry(), QRect(40, 50, 200, 120));
        const QRect window = preview->geometry();
        clock.advanceTo(PreviewWindow::zoomDuration / 2);
        const QRect middle = preview->cardGeometry();
        QVERIFY(middle.width() > 200 && middle.width() < 640);
        QCOMPARE(preview->geometry(), window);
        const QImage frame = preview->grab().toImage();
        const QPoint inside = middle.center() - window.topLeft();
        QCOMPARE(qAlpha(frame.pixel(inside)), 255);
        for (const QPoint corner : {QPoint(0, 0), QPoint(frame.width() - 1, frame.height() - 1)}) {
            if (!middle.contains(corner + window.topLeft()))
                QCOMPARE(qAlpha(frame.pixel(corner)), 0);
        }
        clock.advanceTo(PreviewWindow::zoomDuration + 0.01);
        QCOMPARE(preview->state(), PreviewWindow::State::Open);
        QCOMPARE(preview->geometry(), window);
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect open = preview->cardGeometry();
        QCOMPARE(open.size(), QSize(640, 400 + PreviewWindow::titleHeight));
        QVERIFY(qAbs((open.left() - available.left()) - (available.right() - open.right())) <= 1);
        QVERIFY(qAbs((open.top() - available.top()) - (available.bottom() - open.bottom())) <= 1);
        QTRY_VERIFY(!preview->picture().isNull());
        QCOMPARE(preview->picture().size(), QSize(640, 400));

        QTest::keyClick(preview.get(), Qt::Key_Space);
        QCOMPARE(preview->state(), PreviewWindow::State::Closing);
        clock.advanceTo(1.0);
        QCOMPARE(preview->state(), PreviewWindow::State::Closed);
        QVERIFY(!preview->isVisible());
        QCOMPARE(preview->cardGeometry(), QRect(40, 50, 200, 120));
        QCOMPARE(seen.closed, 1);
        QTest::keyClick(preview.get(), Qt::Key_Escape);
        QCOMPARE(seen.closed, 1);
    }

    // Without a compositor the window cannot zoom cleanly: it opens at its
    // place at once and closes at once.
    void opensInPlaceWithoutCompositor() {
        motion::Animator clock(0.0);
        Opened seen;
        auto preview = window(clock, seen);
        preview->composited = [] { return false; };
        preview->present({still(m_env->home() + "/a.png", QSizeF(640, 400))});
        QCOMPARE(preview->state(), PreviewWindow::State::Open);
        QCOMPARE(preview->geometry().size(), QSize(640, 400 + PreviewWindow::titleHeight));
        QCOMPARE(preview->cardGeometry(), preview->geometry());
        preview->dismiss();
        QCOMPARE(preview->state(), PreviewWindow::State::Closed);
        QCOMPARE(seen.closed, 1);
    }

    // Arrow keys go to the grid with their modifiers and leave the preview open;
    // Esc closes it, at once when the shot has no cell to zoom into, and says
    // whether the preview had the keyboard to hand back.
    void arrowsAreForwarded() {
        motion::Animator clock(0.0);
        Opened seen;
        auto preview = window(clock, seen);
        preview->present({still(m_env->home() + "/b.png", QSizeF(300, 200))});
        clock.advanceTo(1.0);
        QTest::keyClick(preview.get(), Qt::Key_Right);
        QTest::keyClick(preview.get(), Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(seen.arrows.size(), 2);
        QCOMPARE(seen.arrows[0].first, Qt::Key_Right);
        QCOMPARE(seen.arrows[1].first, Qt::Key_Up);
        QCOMPARE(seen.arrows[1].second, Qt::KeyboardModifiers(Qt::ShiftModifier));
        QCOMPARE(preview->state(), PreviewWindow::State::Open);

        const QRect open = preview->cardGeometry();
        QVERIFY(QTest::qWaitForWindowActive(preview.get()));
        QTest::keyClick(preview.get(), Qt::Key_Escape);
        clock.advanceTo(2.0);
        QCOMPARE(preview->cardGeometry(), open);
        QCOMPARE(seen.closed, 1);
        QVERIFY(seen.hadKeyboard);

        // Closed after another window took the keyboard: nothing to hand back.
        preview->present({still(m_env->home() + "/b.png", QSizeF(300, 200))});
        clock.advanceTo(3.0);
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        preview->dismiss();
        clock.advanceTo(4.0);
        QCOMPARE(seen.closed, 2);
        QVERIFY(!seen.hadKeyboard);
    }

    // New items keep the shown shot when it is still among them, show the first
    // one when it is not, and close the preview when there are none.
    void followsItemChanges() {
        motion::Animator clock(0.0);
        Opened seen;
        auto preview = window(clock, seen);
        const ShotPtr a = still(m_env->home() + "/a.png", QSizeF(300, 200));
        const ShotPtr b = still(m_env->home() + "/b.png", QSizeF(200, 300));
        const ShotPtr c = still(m_env->home() + "/c.png", QSizeF(200, 200));
        preview->present({a});
        clock.advanceTo(1.0);

        preview->setItems({b, a});
        QCOMPARE(preview->current(), a);
        QVERIFY(preview->title().endsWith("2 of 2"));
        preview->setItems({c, b});
        QCOMPARE(preview->current(), c);
        QTRY_COMPARE(preview->picture().size(), QSize(200, 200));
        // c has no cell to zoom into: the preview closes at once.
        preview->setItems({});
        QCOMPARE(preview->state(), PreviewWindow::State::Closed);
        QCOMPARE(seen.closed, 1);
    }

    // A recording that cannot play shows its poster frame (none here) and the
    // reason instead of an empty black window.
    void unplayableRecordingFallsBackToPoster() {
        motion::Animator clock(0.0);
        Opened seen;
        auto preview = window(clock, seen);
        const QString path = writeFile(m_env->home() + "/Recording.mp4", "not a movie");
        preview->present({std::make_shared<Shot>(path, 0, 0, QSizeF(), true, true)});
        clock.advanceTo(1.0);
        QTRY_COMPARE(preview->content(), PreviewWindow::Content::Poster);
    }
};

TAMBERK_TEST(tst_PreviewWindow)
#include "tst_PreviewWindow.moc"
