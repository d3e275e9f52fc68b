#include "PanelRig.h"
#include "TestEnv.h"
#include "grid/GridInteraction.h"
#include "grid/GridView.h"
#include "grid/PreviewWindow.h"
#include "panel/CardPorts.h"
#include "shelf/EmptyStateView.h"
#include "shelf/FooterBar.h"
#include "shelf/IconButton.h"
#include "shelf/ResizeGrip.h"
#include "shelf/Scheduler.h"
#include "shelf/SearchBox.h"
#include "shelf/SelectionBar.h"
#include "shelf/ShelfView.h"
#include "shelf/ToastView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollArea>
#include <QTest>

using LibrarySupport::shot;

namespace {

// The controller on the real card (shelf and grid), with recording windows.
struct CardRig {
    explicit CardRig(Library& lib) {
        shelf = std::make_unique<ShelfView>(nullptr, &animator, &scheduler);
        shelf->resize(268, 800);
        shelfPort = std::make_unique<ShelfViewPort>(*shelf);
        gridPort = std::make_unique<GridViewPort>(*shelf->grid());
        PanelEnv env;
        env.animator = &animator;
        env.clock = [this] { return animator.now(); };
        env.pointer = [] { return QPointF(1436, 450); };
        env.screen = [] { return standardScreen(); };
        env.copyShot = [](const ShotPtr&) {};
        env.copyShots = [this](const ShotList& shots) { copied = shots; };
        env.openFiles = [](const QStringList& paths, const PanelCommands::Failed&) {
            return int(paths.size());
        };
        env.prompts = &prompts;
        env.popup = [](QMenu*, const QPoint&) {};
        ctl = std::make_unique<PanelController>(
            lib, PanelParts{&panel, &tab, shelfPort.get(), gridPort.get()}, env);
        connectCard(*shelf, *ctl);
    }
    ~CardRig() { disconnectCard(*shelf); }

    bool press(int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        return ctl->handleKeyEquivalent(&event);
    }
    void settle(double seconds) {
        const double until = animator.now() + seconds;
        while (animator.now() < until) {
            animator.advanceTo(std::min(until, animator.now() + 0.016));
            ctl->deadlines().runDue();
        }
    }

    motion::Animator animator{0};
    ManualScheduler scheduler{0, &animator};
    FakePanel panel;
    FakeTab tab;
    ScriptedPrompts prompts;
    ShotList copied;
    std::unique_ptr<ShelfView> shelf;
    std::unique_ptr<ShelfViewPort> shelfPort;
    std::unique_ptr<GridViewPort> gridPort;
    std::unique_ptr<PanelController> ctl;
};

} // namespace

class tst_PanelCard : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Library> m_lib;
    QString m_root;

private slots:
    void init() {
        QFile::remove(Prefs::shared().storePath());
        Prefs::resetSharedForTesting();
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = m_dir->path() + "/Shots";
        shot(m_root, "Screenshot one.png", 30);
        shot(m_root, "Screenshot two.png", 20);
        shot(m_root, "Screenshot three.png", 10);
        m_lib = LibrarySupport::loaded(m_root);
        QVERIFY(m_lib);
    }
    void cleanup() {
        m_lib.reset();
        m_dir.reset();
    }

    // Ctrl+C while the search field is edited copies the field's text, not
    // the frames; Ctrl+X cuts it and Ctrl+Z brings it back.
    void ctrlCInTheSearchField() {
        CardRig r(*m_lib);
        r.ctl->expand(false);
        r.shelf->show();
        r.shelf->showSearch(true, QStringLiteral("invoice"));
        QVERIFY(r.shelf->isEditingSearch());
        QGuiApplication::clipboard()->clear();
        QVERIFY(r.press(Qt::Key_A));
        QVERIFY(r.press(Qt::Key_C));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("invoice"));
        QVERIFY(r.copied.isEmpty());
        QVERIFY(r.press(Qt::Key_X));
        QCOMPARE(r.shelf->search()->field()->text(), QString());
        QVERIFY(r.press(Qt::Key_Z));
        QCOMPARE(r.shelf->search()->field()->text(), QStringLiteral("invoice"));
    }

    // The grid spans the roll, and the counter and the empty state follow the
    // query: a query of spaces
    // counts as none, a query without matches says so and shows n of total.
    void countAndEmptyState() {
        CardRig r(*m_lib);
        r.ctl->expand(false);
        r.shelf->show(); // the panel maps the card after filling it
        // The roll was filled before the card was shown: the grid still spans it.
        QCOMPARE(r.shelf->grid()->width(), r.shelf->roll()->width());
        QCOMPARE(r.shelf->grid()->columns(), 1);
        QCOMPARE(r.shelf->countText(), QStringLiteral("3"));
        QVERIFY(!r.shelf->empty()->isVisible());
        r.ctl->setQuery(QStringLiteral("   "));
        r.settle(0.2);
        QCOMPARE(r.shelf->countText(), QStringLiteral("3"));
        r.ctl->setQuery(QStringLiteral("nothing like it"));
        r.settle(0.2);
        QCOMPARE(r.shelf->countText(), QStringLiteral("0/3"));
        QVERIFY(r.shelf->empty()->isVisible());
        QCOMPARE(r.shelf->empty()->state()->kind, EmptyStateView::State::Kind::noMatches);
    }

    // The footer slider sets the thumbnail size live; the grip's drag moves the
    // card's width from where the drag began and ends the resize.
    void sliderAndGrip() {
        CardRig r(*m_lib);
        r.ctl->expand(false);
        r.shelf->footer()->onChange(300);
        QCOMPARE(r.ctl->thumb(), 300.0);
        QCOMPARE(r.shelf->grid()->target(), 300.0);
        const double before = r.ctl->width();
        r.shelf->grip()->onBegin();
        QVERIFY(r.ctl->resizing());
        r.shelf->grip()->onDrag(-40);
        r.shelf->grip()->onEnd();
        QCOMPARE(r.ctl->width(), before + 40);
        QVERIFY(!r.ctl->resizing());
    }

    // The selection bar follows the grid's selection; its trash button trashes
    // the selected frames with the shelf's toast, whose Undo brings them back;
    // its clear button empties the selection.
    void selectionBarButtons() {
        Prefs::shared().set(Key::confirmDelete, false);
        CardRig r(*m_lib);
        r.ctl->expand(false);
        GridView* grid = r.shelf->grid();
        const QString one = grid->shots().first()->path;
        grid->setSelection({one});
        QCOMPARE(r.shelf->selBar()->n(), 1);
        r.shelf->selBar()->copyB->onClick();
        QCOMPARE(r.copied.size(), 1);
        QCOMPARE(r.shelf->toast()->text(), QStringLiteral("Copied"));
        r.shelf->selBar()->trashB->onClick();
        QVERIFY(!QFile::exists(one));
        QCOMPARE(r.shelf->toast()->text(), QStringLiteral("Moved to Trash"));
        QCOMPARE(r.shelf->toast()->action(), std::optional<QString>(QStringLiteral("Undo")));
        r.ctl->undo();
        QVERIFY(QFile::exists(one));
        QCOMPARE(r.shelf->toast()->text(), QStringLiteral("Undid trash"));
        grid->setSelection({grid->shots().last()->path});
        r.shelf->selBar()->clearB->onClick();
        QVERIFY(grid->selection().isEmpty());
        QCOMPARE(r.shelf->selBar()->n(), 0);
    }

    // A preview that had the keyboard hands it back to the open panel and its
    // grid when Esc closes it; one closed by the panel's collapse asks for
    // nothing.
    void previewHandsTheKeysBack() {
        CardRig r(*m_lib);
        r.ctl->expand(false);
        r.shelf->show();
        GridView* grid = r.shelf->grid();
        grid->setSelection({grid->shots().first()->path});
        r.gridPort->togglePreview();
        PreviewWindow* preview = grid->interaction().preview();
        QVERIFY(preview && QTest::qWaitForWindowActive(preview));
        r.settle(0.5);
        r.panel.key = false;
        QTest::keyClick(preview, Qt::Key_Escape);
        r.settle(0.5);
        QCOMPARE(preview->state(), PreviewWindow::State::Closed);
        QVERIFY(r.panel.key);
        QCOMPARE(r.shelf->focusWidget(), grid);

        r.gridPort->togglePreview();
        QVERIFY(QTest::qWaitForWindowActive(preview));
        r.ctl->collapse(true);
        r.settle(0.5);
        QCOMPARE(preview->state(), PreviewWindow::State::Closed);
        QVERIFY(!r.panel.key);
    }
};

TAMBERK_TEST(tst_PanelCard)
#include "tst_PanelCard.moc"
