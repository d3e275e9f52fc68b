#include "PanelRig.h"
#include "TestEnv.h"
#include "content/TextIndex.h"
#include "panel/PanelCommands.h"
#include "panel/PanelMenus.h"
#include "panel/ShareMenu.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QStandardPaths>
#include <QTest>

using LibrarySupport::paths;

// The panel's commands from keys, buttons and menus: real controller, fake card, real files.
class tst_PanelCommands : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_shots = std::make_unique<PanelLibrary>(
            QList<std::pair<QString, double>>{{"Screenshot a.png", 30},
                                              {"Screenshot b.png", 20},
                                              {"Screenshot c.png", 10},
                                              {"A/Screenshot d.png", 40},
                                              {"A/Inner/Screenshot e.png", 50}},
            [](const QString& root) {
                QDir().mkpath(root + "/Empty");
                QDir().mkpath(root + "/AB");
                // Text recognised earlier for one frame, as the index file keeps it.
                const QString a = root + "/Screenshot a.png";
                TextIndex::Map map;
                map.insert(a, {QFileInfo(a).lastModified().toMSecsSinceEpoch() / 1000.0,
                               "invoice 42\npaid",
                               {}});
                writeFile(TextIndex::defaultFile(), TextIndex::encode(map));
            });
        QVERIFY(m_shots->lib);
        m_root = m_shots->root;
        m_rig = std::make_unique<PanelRig>(*m_shots->lib);
        m_menus = &m_rig->ctl->menus();
    }
    void cleanup() {
        m_rig.reset();
        m_shots.reset();
    }

    // Alt and Ctrl+A are not the panel's.
    void chords_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        const int ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier;
        QTest::newRow("shifted plus")
            << int(Qt::Key_Plus) << (ctrl | shift) << "+" << int(PanelKey::larger);
        QTest::newRow("keypad minus") << int(Qt::Key_Minus) << int(ctrl | Qt::KeypadModifier) << "-"
                                      << int(PanelKey::smaller);
        QTest::newRow("alt z") << int(Qt::Key_Z) << int(Qt::AltModifier) << "z"
                               << int(PanelKey::none);
        QTest::newRow("ctrl a") << int(Qt::Key_A) << ctrl << "a" << int(PanelKey::none);
    }
    void chords() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(int(panelKey(key, Qt::KeyboardModifiers(modifiers), text)), expected);
    }

    void thumbSteps() {
        using namespace PanelGeometry;
        const double up = PanelCommands::steppedThumb(224, true);
        QCOMPARE(up, 224 * resizeStep);
        QVERIFY(qFuzzyCompare(PanelCommands::steppedThumb(up, false), 224.0));
        QCOMPARE(PanelCommands::steppedThumb(maxThumb / resizeStep + 1, true), maxThumb);
        QCOMPARE(PanelCommands::steppedThumb(minThumb * resizeStep - 1, false), minThumb);
    }

    // Plain keys never, unknown chords the grid's; Ctrl+W also from the field.
    void chordsReachTheGridOrTheField() {
        PanelRig& r = *m_rig;
        r.ctl->expand(true);
        QVERIFY(!r.press(Qt::Key_F, Qt::NoModifier, "f"));
        QCOMPARE(r.grid.commands, 0);
        QVERIFY(!r.press(Qt::Key_O));
        r.grid.takesCommands = true;
        QVERIFY(r.press(Qt::Key_O));
        QCOMPARE(r.grid.commands, 2);
        QVERIFY(r.press(Qt::Key_Z));
        QCOMPARE(r.shelf.toasts, QStringList{"Nothing to undo"});
        QVERIFY(r.press(Qt::Key_F));
        QVERIFY(r.shelf.editing);
        QVERIFY(r.press(Qt::Key_W));
        QVERIFY(!r.ctl->expanded());
        r.ctl->gridSearch("k");
        QCOMPARE(r.shelf.text, QStringLiteral("k"));
    }

    // The scope already shown neither reloads nor keeps its scroll.
    void chordsReachTheirCommands() {
        PanelRig& r = *m_rig;
        QVERIFY(r.press(Qt::Key_N));
        QCOMPARE(r.prompts.asked.last(), QStringLiteral("New Folder|It goes inside “Shots”.|"));
        r.grid.chosen = {byName("Screenshot a.png")};
        QVERIFY(r.press(Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier));
        QCOMPARE(r.prompts.asked.last(),
                 QStringLiteral("New Folder|The selected frame will move into it.|"));
        QVERIFY(r.press(Qt::Key_2));
        QCOMPARE(Prefs::shared().string(Key::scope), QStringLiteral("all"));
        QCOMPARE(r.grid.list.size(), m_shots->lib->all().size());
        const int chips = r.shelf.chipUpdates;
        QVERIFY(r.press(Qt::Key_2));
        QCOMPARE(r.shelf.chipUpdates, chips);
        QCOMPARE(r.grid.topScrolls, 1);
        QVERIFY(r.press(Qt::Key_1));
        QCOMPARE(r.ctl->scope().kind(), Scope::Kind::session);
        QCOMPARE(r.grid.topScrolls, 2);
    }

    // Share only for a selection; closed menus are deleted (rows: tst_MenuWalk).
    void buttonMenus() {
        PanelRig& r = *m_rig;
        r.ctl->share(QPoint(10, 20));
        QVERIFY(r.popped.isEmpty());
        r.grid.chosen = {byName("Screenshot a.png")};
        r.ctl->share(QPoint(10, 20));
        r.ctl->popMoveMenu(QPoint(5, 6));
        QCOMPARE(r.poppedAt, (QList<QPoint>{QPoint(10, 20), QPoint(5, 6)}));
        QMenu* share = r.popped.first();

        QPointer<QMenu> grid = r.ctl->menuFor(nullptr, {});
        menuRow(grid, "Select All")->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(r.grid.chosen.size(), r.grid.list.size());
        for (QMenu* menu : {share, grid.data()}) {
            emit menu->aboutToShow();
            emit menu->aboutToHide();
        }
        QTRY_VERIFY(grid.isNull() && r.popped.first().isNull());
    }

    void copyToasts() {
        m_rig->ctl->copy({});
        QVERIFY(m_rig->shelf.toasts.isEmpty());
        m_rig->ctl->copy({byName("Screenshot a.png")});
        QCOMPARE(m_rig->shelf.toasts.last(), QStringLiteral("Copied"));
        m_rig->ctl->copy(m_shots->lib->all());
        QCOMPARE(m_rig->shelf.toasts.last(),
                 QStringLiteral("Copied %1 frames").arg(m_shots->lib->all().size()));
        QCOMPARE(m_rig->copied.size(), m_shots->lib->all().size() + 1);
    }

    // Undo brings a frame back once (the confirmation: tst_MenuWalk).
    void trashAndUndo() {
        const ShotPtr a = byName("Screenshot a.png");
        Prefs::shared().set(Key::confirmDelete, false);
        m_rig->ctl->trash({a});
        QCOMPARE(m_rig->shelf.toasts.last(), QStringLiteral("Moved to Trash [Undo]"));
        QVERIFY(!QFile::exists(a->path));
        m_rig->shelf.toastAction();
        QVERIFY(QFile::exists(a->path));
        QCOMPARE(m_rig->shelf.toasts.last(), QStringLiteral("Undid trash"));
        m_rig->ctl->undo();
        QCOMPARE(m_rig->shelf.toasts.last(), QStringLiteral("Nothing to undo"));
    }

    // Never claim a trash or undo that did not happen.
    void trashFailuresAreSaid() {
        Prefs::shared().set(Key::confirmDelete, false);
        const ShotPtr a = byName("Screenshot a.png"), b = byName("Screenshot b.png");
        const QString trash =
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";
        m_rig->ctl->trash({a});
        QDir(trash + "/files").removeRecursively();
        m_rig->ctl->undo();
        QCOMPARE(m_rig->shelf.toasts.last(),
                 QStringLiteral("Couldn't undo trash: the files are gone"));
        QVERIFY(!QFile::exists(a->path));

        // A file where the Trash's info folder goes: nothing recorded, nothing moved.
        QDir(trash).removeRecursively();
        QDir().mkpath(trash + "/files");
        writeFile(trash + "/info");
        m_rig->ctl->trash({b, byName("Screenshot c.png")});
        QDir(trash).removeRecursively();
        QVERIFY(QFile::exists(b->path));
        QCOMPARE(m_rig->shelf.toasts.last(), QStringLiteral("Couldn't move them to the Trash"));
        QVERIFY(PanelCommands::trashFailure(1, ENOSPC).contains("disk is full"));
    }

    void openSaysWhatFailed() {
        const ShotList two{byName("Screenshot a.png"), byName("Screenshot b.png")};
        m_rig->unopenable = {two.last()->path};
        m_rig->ctl->open(two);
        QCOMPARE(m_rig->grid.log, QStringList{"open " + paths(two).join(',')});
        QCOMPARE(m_rig->shelf.toasts, QStringList{"Couldn't open “Screenshot b.png”"});
    }

    // Copy Text only with recognised text; several frames are not renamed.
    void frameMenuRows() {
        const ShotList three{byName("Screenshot a.png"), byName("Screenshot b.png"),
                             byName("Screenshot d.png")};
        std::unique_ptr<QMenu> withText(m_menus->gridMenu({three.first()}));
        std::unique_ptr<QMenu> without(m_menus->gridMenu({three[1]}));
        QVERIFY(!menuRow(without.get(), "Copy Text"));
        std::unique_ptr<QMenu> several(m_menus->gridMenu(three));
        QVERIFY(menuRow(withText.get(), "Rename…"));
        QVERIFY(!menuRow(several.get(), "Rename…"));
        for (QAction* action : withText->actions())
            QVERIFY2(action->isSeparator() || !action->icon().isNull(), qPrintable(action->text()));

        QAction* copyText = menuRow(withText.get(), "Copy Text");
        QVERIFY(copyText);
        copyText->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("invoice 42\npaid"));
        QCOMPARE(m_rig->shelf.toasts.last(), QStringLiteral("Text copied"));
    }

    // Every file is handed over (the chooser takes one); failures are said.
    void shareMenuSaysWhatFailed() {
        QStringList calls, failures;
        ShareMenu::Actions actions;
        actions.apps = [](const QStringList&) {
            return QList<AppChooser::App>{{"viewer.desktop", "Viewer", {}, true}};
        };
        actions.launch = [&](const QString& id, const QStringList& paths) {
            calls << id + " " + paths.join(',');
            return false;
        };
        actions.chooseOther = [&](const QString& path) {
            calls << "other " + path;
            return false;
        };
        actions.email = [&](const QStringList& paths, const std::function<void()>& failedLater) {
            calls << "email " + paths.join(',');
            failedLater(); // the mail tool found no way to send
            return true;
        };
        const auto failed = [&](const QString& text) { failures << text; };
        QMenu two;
        ShareMenu::fill(&two, {"/s/a.png", "/s/b.png"}, failed, actions);
        QVERIFY(!menuRow(&two, "Other Application…")->isEnabled());
        menuRow(&two, "Viewer")->trigger();
        QCoreApplication::processEvents();
        menuRow(&two, "Email…")->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(calls,
                 (QStringList{"viewer.desktop /s/a.png,/s/b.png", "email /s/a.png,/s/b.png"}));
        QCOMPARE(failures, (QStringList{"Couldn't open in “Viewer”", "Couldn't start an email"}));

        QMenu one;
        ShareMenu::fill(&one, {"/s/a.png"}, failed, actions);
        menuRow(&one, "Other Application…")->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(calls.last(), QStringLiteral("other /s/a.png"));
        QCOMPARE(failures.last(), QStringLiteral("Couldn't open the chooser"));
    }

    // A row runs once its menu is gone (frame rows: tst_MenuWalk).
    void menuRowsAct() {
        const QString folder = m_root + "/A";
        for (const auto& [row, asked] :
             {std::pair{"New Folder Inside…", "New Folder|It goes inside “A”.|"},
              {"Rename…", "Rename Folder|A|A"},
              {"Move Folder to Trash…",
               "Move “A” to the Trash?|It contains 2 frames. You can undo with Ctrl+Z."}}) {
            m_rig->prompts.asked.clear();
            std::unique_ptr<QMenu> menu(m_menus->folderMenu(folder));
            QVERIFY2(menuRow(menu.get(), row), row);
            emit menu->aboutToShow();
            menuRow(menu.get(), row)->trigger();
            emit menu->aboutToHide();
            QVERIFY(m_rig->prompts.asked.isEmpty());
            QTRY_COMPARE(m_rig->ctl->holds(), 0);
            QCOMPARE(m_rig->prompts.asked.value(0), QString::fromUtf8(asked));
        }
        QVERIFY(menuRow(std::unique_ptr<QMenu>(m_menus->folderMenu(folder)).get(),
                        "Open in File Manager"));
    }

    // A target holding every frame is disabled, not hidden.
    void moveMenuEnabling() {
        std::unique_ptr<QMenu> inA(m_menus->moveMenu({byName("Screenshot d.png")}));
        QVERIFY(inA->actions().first()->isEnabled());
        QMenu* a = menuRow(inA.get(), "A")->menu();
        QVERIFY(a);
        QVERIFY(menuRow(a, "Inner") && menuRow(a, "New Folder Here…"));
        QVERIFY(!menuRow(a, "Into “A”")->isEnabled());
    }

    // A refused name is asked again (with frames: tst_MenuWalk).
    void newFolder() {
        m_rig->prompts.answers = {QStringLiteral("Later")};
        m_menus->newFolderPrompt({}, m_root + "/A");
        QCOMPARE(m_rig->shelf.toasts.last(), QStringLiteral("Created “Later”"));
        QVERIFY(QFileInfo(m_root + "/A/Later").isDir());

        m_rig->prompts.answers = {QStringLiteral(".hidden"), QStringLiteral("Shown")};
        m_menus->newFolderPrompt({});
        QVERIFY(QFileInfo(m_root + "/Shown").isDir());
        QVERIFY(!QFileInfo::exists(m_root + "/.hidden"));
        m_rig->prompts.answers = {QStringLiteral("Nowhere")};
        m_menus->newFolderPrompt({}, m_root + "/Missing/Deeper");
        QCOMPARE(m_rig->prompts.problems,
                 (QStringList{"A name can't start with a dot", "The folder it goes in is gone"}));
    }

    // A sibling whose name merely starts alike keeps its scope.
    void renameFolderFollowsTheScope_data() {
        QTest::addColumn<QString>("scope");
        QTest::addColumn<QString>("expected");
        QTest::newRow("the folder") << "/A"
                                    << "/Renamed";
        QTest::newRow("inside it") << "/A/Inner"
                                   << "/Renamed/Inner";
        QTest::newRow("a sibling") << "/AB"
                                   << "/AB";
    }
    void renameFolderFollowsTheScope() {
        QFETCH(QString, scope);
        QFETCH(QString, expected);
        m_rig->ctl->select(Scope::folder(m_root + scope));
        m_rig->prompts.answers = {QStringLiteral("Renamed")};
        m_menus->renameFolder(m_root + "/A");
        const Scope now = Scope::folder(m_root + expected);
        QCOMPARE(m_rig->ctl->scope(), now);
        QCOMPARE(Prefs::shared().string(Key::scope), now.id());
        for (const ShotPtr& shot : m_rig->grid.list)
            QVERIFY(shot->path.startsWith(now.path() + "/"));
    }

    void trashFolderTexts() {
        m_rig->prompts.confirmations = {false, true};
        m_menus->trashFolder(m_root + "/Empty");
        QCOMPARE(m_rig->prompts.asked.last(),
                 QStringLiteral("Move “Empty” to the Trash?|The folder is empty."));
        QVERIFY(QFileInfo(m_root + "/Empty").isDir());
        m_menus->trashFolder(m_root + "/A"); // its confirmation's text: menuRowsAct
        QVERIFY(!QFileInfo::exists(m_root + "/A"));
        QCOMPARE(m_rig->shelf.toasts.last(), QStringLiteral("Moved folder to Trash [Undo]"));
        m_rig->shelf.toastAction();
        QVERIFY(QFileInfo(m_root + "/A/Screenshot d.png").isFile());
    }

    void renameFrame() {
        const ShotPtr b = byName("Screenshot b.png");
        m_rig->prompts.answers = {QStringLiteral("Screenshot a"), QStringLiteral("Kept")};
        m_menus->rename(b);
        QCOMPARE(m_rig->prompts.asked.last(),
                 QStringLiteral("Rename Frame|Screenshot b.png|Screenshot b"));
        QCOMPARE(m_rig->prompts.problems, QStringList{"That name is taken"});
        QVERIFY(QFile::exists(m_root + "/Kept.png"));
    }

    // While a drag runs, the dragged frames, not the selected ones.
    void dropMovesTheDraggedFrames() {
        m_rig->grid.chosen = {byName("Screenshot b.png")};
        m_rig->grid.dragged = {byName("Screenshot c.png")};
        m_menus->dropSelection(m_root + "/Empty");
        QVERIFY(QFile::exists(m_root + "/Empty/Screenshot c.png"));
        QVERIFY(QFile::exists(m_root + "/Screenshot b.png"));
        QCOMPARE(m_rig->shelf.toasts.last(), QStringLiteral("Moved to “Empty” [Undo]"));
        m_rig->grid.dragged.clear();
        m_menus->dropSelection(m_root + "/Empty");
        QVERIFY(QFile::exists(m_root + "/Empty/Screenshot b.png"));
    }

    // The hold ends a turn after closing, also when deleted at once (a chip).
    void menusHoldThePanel() {
        std::unique_ptr<QMenu> menu(m_menus->gridMenu({byName("Screenshot a.png")}));
        emit menu->aboutToShow();
        QCOMPARE(m_rig->ctl->holds(), 1);
        emit menu->aboutToHide();
        QCOMPARE(m_rig->ctl->holds(), 1);
        menu.reset();
        QTRY_COMPARE(m_rig->ctl->holds(), 0);
    }

private:
    ShotPtr byName(const QString& name) const { return m_shots->byName(name); }

    std::unique_ptr<PanelLibrary> m_shots;
    QString m_root;
    std::unique_ptr<PanelRig> m_rig;
    PanelMenus* m_menus = nullptr;
};

TAMBERK_TEST(tst_PanelCommands)
#include "tst_PanelCommands.moc"
