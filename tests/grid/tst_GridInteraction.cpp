#include "GridSupport.h"
#include "TestEnv.h"
#include "WidgetInput.h"
#include "grid/GridInteraction.h"
#include "grid/GridView.h"
#include "grid/PreviewWindow.h"
#include "settings/Prefs.h"
#include "shelf/Motion.h"

#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTest>

class tst_GridInteraction : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<gridtest::CountingThumbs> m_thumbs;
    std::unique_ptr<motion::Animator> m_clock;
    std::unique_ptr<gridtest::FakeHost> m_host;
    std::unique_ptr<GridView> m_grid;

    QPointF centre(int i) const { return m_grid->frameOf(m_grid->shots()[i]->path)->center(); }

    void press(QPointF at, Qt::KeyboardModifiers modifiers = {}) {
        sendMouse(m_grid.get(), QEvent::MouseButtonPress, at, Qt::LeftButton, modifiers);
    }
    void move(QPointF at, Qt::MouseButtons buttons = Qt::LeftButton) {
        sendMouse(m_grid.get(), QEvent::MouseMove, at, buttons, {}, Qt::NoButton);
    }
    void release(QPointF at) {
        sendMouse(m_grid.get(), QEvent::MouseButtonRelease, at, Qt::NoButton);
    }
    void click(int i, Qt::KeyboardModifiers modifiers = {}) {
        press(centre(i), modifiers);
        release(centre(i));
    }

private slots:
    void init() {
        m_env = std::make_unique<TestEnv>();
        m_thumbs = std::make_unique<gridtest::CountingThumbs>();
        m_clock = std::make_unique<motion::Animator>(0.0);
        m_host = std::make_unique<gridtest::FakeHost>();
        m_grid = std::make_unique<GridView>(nullptr, m_clock.get(), &m_thumbs->thumbs);
        m_grid->setHost(m_host.get());
        m_grid->resize(480, 900);
        m_grid->setTarget(224);
        m_grid->setShots(gridtest::mixed(6), false);
        m_grid->show();
        m_host->log.clear();
    }
    void cleanup() {
        m_grid.reset();
        m_host.reset();
        m_clock.reset();
        m_thumbs.reset();
        m_env.reset();
    }

    // Clicks reach the selection rules: a plain click with nothing selected only
    // aims the keyboard, Ctrl-click selects, and the host hears the new count.
    void clicksAndKeys() {
        click(2);
        QVERIFY(m_grid->selection().isEmpty());
        QTest::keyClick(m_grid.get(), Qt::Key_Return);
        QTest::keyClick(m_grid.get(), Qt::Key_C, Qt::ControlModifier);
        QTest::keyClick(m_grid.get(), Qt::Key_Delete);
        QTest::keyClick(m_grid.get(), Qt::Key_Escape);
        QTest::keyClick(m_grid.get(), Qt::Key_W, Qt::NoModifier);
        QCOMPARE(m_host->log,
                 (QStringList{"open s2", "copy s2", "trash s2", "escape", "search w"}));

        m_host->log.clear();
        click(1, Qt::ControlModifier);
        click(4, Qt::ControlModifier);
        QCOMPARE(m_host->log, (QStringList{"count 1", "count 2"}));
        QCOMPARE(m_grid->selectedShots().size(), 2);
        QTest::keyClick(m_grid.get(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(m_grid->selection().size(), 6);
    }

    // A press on a cell that moves more than 4 points drags the frame out: the
    // host holds the panel around the drag and hears it start and end, and the
    // press does not toggle anything afterwards.
    void dragOutHoldsThePanel() {
        click(0, Qt::ControlModifier);
        m_host->log.clear();
        const QPointF at = centre(3);
        press(at);
        move(at + QPointF(3, 0));
        QCOMPARE(m_host->log, QStringList{});
        move(at + QPointF(12, 0));
        release(at + QPointF(12, 0));
        QCOMPARE(m_host->log, (QStringList{"hold", "drag", "drag end", "release"}));
        QCOMPARE(m_grid->selection().size(), 1);
        QVERIFY(m_grid->interaction().draggedShots().isEmpty());
    }

    // The rubber band from empty space selects the cells it touches and is
    // painted while it is dragged, and only then.
    void rubberBandSelects() {
        const QPointF empty(470, 890), inBand(465, 885);
        QVERIFY(!m_grid->cellAt(empty) && !m_grid->cellAt(inBand));
        press(empty);
        move(QPointF(300, 400));
        QImage dragging(m_grid->size(), QImage::Format_ARGB32);
        m_grid->render(&dragging);
        release(QPointF(300, 400));
        QImage after(m_grid->size(), QImage::Format_ARGB32);
        m_grid->render(&after);
        QVERIFY(dragging.pixel(inBand.toPoint()) != after.pixel(inBand.toPoint()));
        QVERIFY(!m_grid->selection().isEmpty());
        for (const QString& path : m_grid->selection())
            QVERIFY(m_grid->frameOf(path)->intersects(QRectF(QPointF(300, 400), empty)));
    }

    // A cell's copy and trash buttons act on a click of the hovered cell: a
    // release off the button, or a press elsewhere released on it, does nothing.
    void cellButtonsClick_data() {
        QTest::addColumn<bool>("trash");
        QTest::addColumn<bool>("pressOn");
        QTest::addColumn<bool>("releaseOn");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("copy") << false << true << true << QStringList{"copy s2"};
        QTest::newRow("trash") << true << true << true << QStringList{"trash s2"};
        QTest::newRow("released off") << false << true << false << QStringList{};
        QTest::newRow("pressed off") << true << false << true << QStringList{};
    }
    void cellButtonsClick() {
        QFETCH(bool, trash);
        QFETCH(bool, pressOn);
        QFETCH(bool, releaseOn);
        QFETCH(QStringList, log);
        ThumbView* cell = m_grid->cell(m_grid->shots()[2]->path);
        move(centre(2), Qt::NoButton); // the buttons show on the hovered cell
        const ThumbView::Geometry& g = cell->geometry();
        const QPointF button = (trash ? g.trashB : g.copyB).center() + cell->frame().topLeft();
        press(pressOn ? button : button + QPointF(0, 40));
        release(releaseOn ? button : button + QPointF(0, 40));
        QCOMPARE(m_host->log.filter(QRegularExpression("^(copy|trash)")), log);
        QVERIFY(m_grid->selection().isEmpty());
    }

    // A right click asks for the menu of the clicked frame (its rules:
    // tst_GridSelection) and keeps the selection; the Menu key and Shift+F10 ask
    // for the menu of the selection, else the last clicked frame, or empty space.
    void menuRequests() {
        QTest::keyClick(m_grid.get(), Qt::Key_Menu);
        click(3);
        QTest::keyClick(m_grid.get(), Qt::Key_F10, Qt::ShiftModifier);
        click(1, Qt::ControlModifier);
        click(4, Qt::ControlModifier);
        QContextMenuEvent event(QContextMenuEvent::Mouse, centre(5).toPoint(),
                                m_grid->mapToGlobal(centre(5).toPoint()));
        QCoreApplication::sendEvent(m_grid.get(), &event);
        QTest::keyClick(m_grid.get(), Qt::Key_Menu);
        QCOMPARE(m_host->log,
                 (QStringList{"menu ", "menu s3", "count 1", "count 2", "menu s5", "menu s1,s4"}));
        QCOMPARE(m_grid->selection().size(), 2);
    }

    // With "quicklook", a double click previews the frame and holds the panel;
    // the preview follows the arrows and Space closes it, releasing the hold.
    void doubleClickPreviews() {
        Prefs::shared().set(Key::doubleClick, QStringLiteral("quicklook"));
        press(centre(0));
        release(centre(0));
        sendMouse(m_grid.get(), QEvent::MouseButtonDblClick, centre(0));
        release(centre(0));
        PreviewWindow* preview = m_grid->interaction().preview();
        QVERIFY(preview && preview->isShowing());
        QCOMPARE(m_host->log, QStringList{"hold"});
        m_clock->advanceTo(1);
        QCOMPARE(preview->current()->path, m_grid->shots()[0]->path);
        QTest::keyClick(preview, Qt::Key_Right);
        QCOMPARE(preview->current()->path, m_grid->interaction().rules().neighbor(
                                               m_grid->shots()[0]->path, Direction::Right));
        QTest::keyClick(preview, Qt::Key_Space);
        m_clock->advanceTo(2);
        QVERIFY(!preview->isShowing());
        QCOMPARE(m_host->log, (QStringList{"hold", "release"}));
    }

    // A pile shows the first frame on top, at most 112 wide, three more behind
    // it and a count badge, drawn at the screen's pixel ratio.
    void pileOfFrames() {
        QImage wide(448, 252, QImage::Format_RGB32);
        wide.fill(Qt::red);
        const auto pile = GridInteraction::pileImage({wide, wide, wide, wide, wide}, 5, 2.0);
        QCOMPARE(pile.top.size(), QSize(112, 63));
        QCOMPARE(pile.image.deviceIndependentSize().toSize(), QSize(112 + 18 + 11, 63 + 18 + 11));
        QCOMPARE(pile.image.size(), QSize(2 * (112 + 18 + 11), 2 * (63 + 18 + 11)));
        const auto single = GridInteraction::pileImage({QImage()}, 1, 1.0);
        QCOMPARE(single.top, QRect(0, 0, 80, 60));
        QCOMPARE(single.image.size(), QSize(80, 60));
    }
};

TAMBERK_TEST(tst_GridInteraction)
#include "tst_GridInteraction.moc"
