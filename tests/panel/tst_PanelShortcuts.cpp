#include "PanelRig.h"
#include "TestEnv.h"
#include "panel/EdgeTab.h"
#include "panel/PanelController.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>

using LibrarySupport::shot;

namespace {

bool press(PanelController& ctl, int key, Qt::KeyboardModifiers modifiers,
           const QString& text = {}) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
    return ctl.handleKeyEquivalent(&event);
}

QStringList titles(const QMenu* menu) {
    QStringList result;
    for (const QAction* action : menu->actions())
        result << action->text();
    return result;
}

} // namespace

class tst_PanelShortcuts : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Library> m_lib;
    QString m_root;

    std::unique_ptr<PanelRig> rig() { return std::make_unique<PanelRig>(*m_lib); }
    ShotPtr byName(const QString& name) const {
        for (const ShotPtr& s : m_lib->all())
            if (QFileInfo(s->path).fileName() == name)
                return s;
        qFatal("no shot %s", qPrintable(name));
    }

private slots:
    void init() {
        QFile::remove(Prefs::shared().storePath());
        Prefs::resetSharedForTesting();
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = m_dir->path() + "/Shots";
        shot(m_root, "Screenshot one.png", 30);
        shot(m_root, "Screenshot two.png", 20);
        shot(m_root, "Work/Screenshot three.png", 10);
        shot(m_root, "Work/Old/Screenshot four.png", 5);
        m_lib = LibrarySupport::loaded(m_root);
        QVERIFY(m_lib);
    }
    void cleanup() {
        m_lib.reset();
        m_dir.reset();
    }

    // While the search field is edited, Ctrl+A/C/V/X/Z edit the field and
    // nothing else; other chords and an unedited field keep the panel's meaning.
    void searchFieldFirst_data() {
        QTest::addColumn<bool>("editing");
        QTest::addColumn<int>("key");
        QTest::addColumn<QList<int>>("edits");
        QTest::addColumn<int>("gridCommands");
        QTest::addColumn<QString>("toast");
        QTest::addColumn<bool>("open");
        QTest::newRow("copy in field")
            << true << int(Qt::Key_C) << QList<int>{Qt::Key_C} << 0 << "" << true;
        QTest::newRow("copy frames") << false << int(Qt::Key_C) << QList<int>{} << 1 << "" << true;
        QTest::newRow("undo in field")
            << true << int(Qt::Key_Z) << QList<int>{Qt::Key_Z} << 0 << "" << true;
        QTest::newRow("undo the library")
            << false << int(Qt::Key_Z) << QList<int>{} << 0 << "Nothing to undo" << true;
        QTest::newRow("select all in field")
            << true << int(Qt::Key_A) << QList<int>{Qt::Key_A} << 0 << "" << true;
        QTest::newRow("close while editing")
            << true << int(Qt::Key_W) << QList<int>{} << 0 << "" << false;
    }
    void searchFieldFirst() {
        QFETCH(bool, editing);
        QFETCH(int, key);
        QFETCH(QList<int>, edits);
        QFETCH(int, gridCommands);
        QFETCH(QString, toast);
        QFETCH(bool, open);
        auto r = rig();
        r->ctl->expand(true);
        r->shelf.editing = editing;
        r->shelf.searchShown = editing;
        r->grid.takesCommands = true;
        QVERIFY(press(*r->ctl, key, Qt::ControlModifier));
        QCOMPARE(r->shelf.edits, edits);
        QCOMPARE(r->grid.commands, gridCommands);
        QCOMPARE(r->shelf.toasts.value(0), toast);
        QCOMPARE(r->ctl->expanded(), open);
    }

    // Keys without Ctrl are never the panel's; an unknown chord is the grid's,
    // and handled exactly when the grid used it.
    void chordsReachTheGrid() {
        auto r = rig();
        QVERIFY(!press(*r->ctl, Qt::Key_F, Qt::NoModifier, "f"));
        QCOMPARE(r->grid.commands, 0);
        QVERIFY(!press(*r->ctl, Qt::Key_O, Qt::ControlModifier));
        QCOMPARE(r->grid.commands, 1);
        r->grid.takesCommands = true;
        QVERIFY(press(*r->ctl, Qt::Key_O, Qt::ControlModifier));
        QVERIFY(press(*r->ctl, Qt::Key_F, Qt::ControlModifier));
        QCOMPARE(r->shelf.searches, QStringList{"<none>"});
        QVERIFY(r->shelf.editing);
    }

    // Ctrl++ at 700 reaches the upper bound 720 and Ctrl+- at 120 the lower
    // bound 110; the slider shows the new size.
    void sizeKeys_data() {
        QTest::addColumn<double>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<double>("expected");
        QTest::newRow("plus at 700") << 700.0 << int(Qt::Key_Plus) << 720.0;
        QTest::newRow("equal at 224") << 224.0 << int(Qt::Key_Equal) << 257.6;
        QTest::newRow("minus at 120") << 120.0 << int(Qt::Key_Minus) << 110.0;
    }
    void sizeKeys() {
        QFETCH(double, start);
        QFETCH(int, key);
        QFETCH(double, expected);
        Prefs::shared().set(Key::thumb, start);
        auto r = rig();
        QVERIFY(press(*r->ctl, key, Qt::ControlModifier));
        QVERIFY(qFuzzyCompare(r->ctl->thumb(), expected));
        QVERIFY(qFuzzyCompare(r->shelf.slider, expected));
    }

    // Ctrl+2 and Ctrl+1 switch the scope; the scope already shown neither
    // reloads nor scrolls.
    void scopeKeys() {
        auto r = rig();
        QVERIFY(press(*r->ctl, Qt::Key_2, Qt::ControlModifier));
        QCOMPARE(r->ctl->scope().kind(), Scope::Kind::all);
        QCOMPARE(Prefs::shared().string(Key::scope), QStringLiteral("all"));
        QCOMPARE(r->grid.list.size(), 4);
        const int chips = r->shelf.chipUpdates;
        QVERIFY(press(*r->ctl, Qt::Key_2, Qt::ControlModifier));
        QCOMPARE(r->shelf.chipUpdates, chips);
        QCOMPARE(r->grid.topScrolls, 1);
        QVERIFY(press(*r->ctl, Qt::Key_1, Qt::ControlModifier));
        QCOMPARE(r->ctl->scope().kind(), Scope::Kind::session);
        QCOMPARE(r->grid.topScrolls, 2);
    }

    // Ctrl+N asks for a folder inside the one shown (the root for the session)
    // and says it was created; Ctrl+Shift+N moves the selection into it and
    // says so with the move's toast instead.
    void newFolderKeys() {
        auto r = rig();
        r->prompts.answers = {QStringLiteral("Plain")};
        QVERIFY(press(*r->ctl, Qt::Key_N, Qt::ControlModifier));
        QCOMPARE(r->prompts.asked.last(), QStringLiteral("New Folder|It goes inside “Shots”."));
        QVERIFY(QFileInfo(m_root + "/Plain").isDir());
        QCOMPARE(r->shelf.toasts.last(), QStringLiteral("Created “Plain”"));

        r->ctl->select(Scope::folder(m_root + "/Work"));
        r->grid.chosen = {byName("Screenshot one.png")};
        r->prompts.answers = {QStringLiteral("Filed")};
        QVERIFY(press(*r->ctl, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier));
        QCOMPARE(r->prompts.asked.last(),
                 QStringLiteral("New Folder|The selected frame will move into it."));
        QVERIFY(QFile::exists(m_root + "/Work/Filed/Screenshot one.png"));
        QCOMPARE(r->shelf.toasts.last(), QStringLiteral("Moved to “Filed” [Undo]"));
        r->shelf.toastAction();
        QVERIFY(QFile::exists(m_root + "/Screenshot one.png"));
        QCOMPARE(r->shelf.toasts.last(), QStringLiteral("Undid move"));
    }

    // Trashing through the grid asks first with the two-frame texts; cancelled
    // nothing moves, confirmed the toast counts the frames and undoes them.
    void trashAsksAndUndoes() {
        Prefs::shared().set(Key::confirmDelete, true);
        auto r = rig();
        const ShotList two{byName("Screenshot one.png"), byName("Screenshot two.png")};
        r->prompts.confirmations = {false, true};
        r->ctl->trash(two);
        QCOMPARE(r->prompts.asked.last(),
                 QStringLiteral("Delete 2 screenshots?|They go to the Trash. You can undo with "
                                "Ctrl+Z."));
        QVERIFY(r->shelf.toasts.isEmpty());
        QVERIFY(QFile::exists(two.first()->path));
        r->ctl->trash(two);
        QCOMPARE(r->shelf.toasts.last(), QStringLiteral("Moved 2 frames to Trash [Undo]"));
        QVERIFY(!QFile::exists(two.first()->path));
        r->shelf.toastAction();
        QCOMPARE(r->shelf.toasts.last(), QStringLiteral("Undid trash"));
        QVERIFY(QFile::exists(two.first()->path));
    }

    // The share button pops the share menu at the point under itself and holds
    // the panel until the turn after it closed; it is deleted then. Nothing
    // selected pops nothing.
    void shareButtonMenu() {
        auto r = rig();
        r->ctl->share(QPoint(10, 20));
        QVERIFY(r->popped.isEmpty());
        r->grid.chosen = {byName("Screenshot one.png")};
        r->ctl->share(QPoint(10, 20));
        QCOMPARE(r->popped.size(), 1);
        QCOMPARE(r->poppedAt.value(0), QPoint(10, 20));
        QMenu* menu = r->popped.first();
        QCOMPARE(menu->title(), QStringLiteral("Share"));
        emit menu->aboutToShow();
        QVERIFY(titles(menu).contains("Email…"));
        QCOMPARE(r->ctl->holds(), 1);
        emit menu->aboutToHide();
        QCOMPARE(r->ctl->holds(), 1);
        QTRY_COMPARE(r->ctl->holds(), 0);
        QTRY_VERIFY(r->popped.first().isNull());
    }

    // The move button's menu lists the folders for the selection; the grid's
    // menu for empty space has the three items and goes once closed.
    void moveAndGridMenus() {
        auto r = rig();
        r->grid.chosen = {byName("Screenshot one.png")};
        r->ctl->popMoveMenu(QPoint(5, 6));
        QCOMPARE(r->popped.size(), 1);
        const QStringList rows = titles(r->popped.first());
        QCOMPARE(rows.first(), QStringLiteral("Shots"));
        QVERIFY(!r->popped.first()->actions().first()->isEnabled());
        QVERIFY(rows.contains("Work"));

        QPointer<QMenu> menu = r->ctl->menuFor(nullptr, {});
        QCOMPARE(titles(menu),
                 (QStringList{"New Folder…", "Select All", "", "Open Shots in File Manager"}));
        menu->actions().at(1)->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(r->grid.chosen.size(), r->grid.list.size());
        emit menu->aboutToShow();
        emit menu->aboutToHide();
        QTRY_VERIFY(menu.isNull());
        QTRY_COMPARE(r->ctl->holds(), 0);
    }

    // Renaming the folder shown, or its parent, keeps the scope on the same
    // folder under its new path, stored and listed.
    void renameKeepsTheScope_data() {
        QTest::addColumn<QString>("renamed");
        QTest::addColumn<QString>("scoped");
        QTest::addColumn<QString>("after");
        QTest::newRow("the scope") << "Work/Old"
                                   << "Work/Old"
                                   << "Work/Older";
        QTest::newRow("its parent") << "Work"
                                    << "Work/Old"
                                    << "Older/Old";
    }
    void renameKeepsTheScope() {
        QFETCH(QString, renamed);
        QFETCH(QString, scoped);
        QFETCH(QString, after);
        auto r = rig();
        r->ctl->select(Scope::folder(m_root + "/" + scoped));
        r->prompts.answers = {QStringLiteral("Older")};
        r->ctl->menus().renameFolder(m_root + "/" + renamed);
        const QString now = m_root + "/" + after;
        QCOMPARE(r->ctl->scope(), Scope::folder(now));
        QCOMPARE(Prefs::shared().string(Key::scope), Scope::folder(now).id());
        QCOMPARE(r->grid.list.size(), 1);
        QVERIFY(r->grid.list.first()->path.startsWith(now + "/"));
    }

    // A right-click on the tab pops the menu it was given and holds the panel
    // while that menu is open; the menu is gone after it closed, and a tab
    // without a menu pops nothing.
    void tabMenuHoldsThePanel() {
        auto r = rig();
        EdgeTab tab(false);
        tab.setController(r->ctl.get());
        auto rightClick = [&tab] {
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(4, 60),
                              tab.mapToGlobal(QPointF(4, 60)), Qt::RightButton, Qt::RightButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(&tab, &press);
        };
        rightClick();
        QVERIFY(!tab.openMenu());
        int asked = 0;
        tab.setMenu([&asked]() -> QMenu* {
            ++asked;
            auto* menu = new QMenu;
            menu->addAction(QStringLiteral("Open Panel"));
            return menu;
        });
        rightClick();
        QCOMPARE(asked, 1);
        QPointer<QMenu> menu = tab.openMenu();
        QVERIFY(menu);
        QCOMPARE(r->ctl->holds(), 1);
        rightClick(); // one menu at a time
        QCOMPARE(asked, 1);
        menu->hide();
        QCOMPARE(r->ctl->holds(), 1);
        QTRY_COMPARE(r->ctl->holds(), 0);
        QTRY_VERIFY(menu.isNull());
    }

    // Frames dropped on a chip are the dragged ones when a drag runs, else the
    // selected ones; a typed letter opens the search seeded with it.
    void dropsAndSeeds() {
        auto r = rig();
        r->grid.chosen = {byName("Screenshot two.png")};
        r->grid.dragged = {byName("Screenshot one.png")};
        r->ctl->dropSelection(m_root + "/Work");
        QVERIFY(QFile::exists(m_root + "/Work/Screenshot one.png"));
        QVERIFY(QFile::exists(m_root + "/Screenshot two.png"));
        r->grid.dragged.clear();
        r->ctl->dropSelection(m_root + "/Work");
        QVERIFY(QFile::exists(m_root + "/Work/Screenshot two.png"));
        r->ctl->gridSearch("k");
        QCOMPARE(r->shelf.searches, QStringList{"k"});
        QCOMPARE(r->shelf.text, QStringLiteral("k"));
    }
};

TAMBERK_TEST(tst_PanelShortcuts)
#include "tst_PanelShortcuts.moc"
