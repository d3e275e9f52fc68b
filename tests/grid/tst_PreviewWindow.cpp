#include "TestEnv.h"
#include "grid/PreviewWindow.h"

#include <QTest>

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

    // The card zooms from the cell's frame and back on Space, reporting the close once, inside
    // a window of one size, see-through around the card (no strip left unpainted).
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

TAMBERK_TEST(tst_PreviewWindow)
#include "tst_PreviewWindow.moc"
