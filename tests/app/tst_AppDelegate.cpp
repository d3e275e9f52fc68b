#include "AppRig.h"
#include "app/ui/DockedShell.h"
#include "app/ui/TrayItem.h"
#include "app/ui/TrayMenu.h"
#include "library/Library.h"
#include "panel/DockedPanel.h"
#include "panel/EdgeTab.h"
#include "panel/PanelController.h"
#include "settings/Prefs.h"
#include "shelf/ShelfView.h"
#include "shelf/ToastView.h"

#include <QDir>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>

class tst_AppDelegate : public QObject {
    Q_OBJECT
private slots:
    // The snapshot is taken after the migration, so its writes are no change.
    void launchOrder() {
        AppRig rig;
        Prefs::shared().set(Key::leftSide, true);
        rig.launch();
        QCOMPARE(rig.log, (QStringList{"makePanel", "makeTrayItem", "observe", "reload",
                                       "grab Ctrl+Alt+S"}));
        QVERIFY(Prefs::shared().boolean(Key::launched));
        QCOMPARE(Prefs::shared().string(Key::side), QStringLiteral("left"));
        QVERIFY(rig.app->snapshot().side == DockSide::left);
        rig.log.clear();
        rig.advance(AppDelegate::prefsDelay);
        rig.app->applyPrefs();
        QVERIFY(!rig.log.contains(QStringLiteral("reposition")));
    }

    // The first launch shows the panel and closes it later; a pinned one keeps it open.
    void launchShows() {
        for (const bool pinned : {false, true}) {
            AppRig rig;
            Prefs::shared().set(Key::launched, pinned);
            Prefs::shared().set(Key::pinned, pinned);
            rig.launch();
            rig.log.clear();
            QStringList expected{QStringLiteral("expand key=0 time=0")};
            if (!pinned)
                expected << QStringLiteral("scheduleCollapse %1").arg(AppDelegate::firstHideDelay);
            const double delay =
                pinned ? AppDelegate::pinnedShowDelay : AppDelegate::firstShowDelay;
            rig.advance(delay - 0.01);
            QVERIFY(rig.log.isEmpty());
            rig.advance(0.01);
            QCOMPARE(rig.log, expected);
            rig.advance(10);
            QCOMPARE(rig.log, expected);
        }
    }

    void burstGivesOnePass() {
        AppRig rig;
        rig.relaunch();
        for (int i = 0; i < 9; ++i) {
            Prefs::shared().set(Key::side, i % 2 ? "right" : "left");
            rig.advance(0.01);
        }
        Prefs::shared().set(Key::captions, false);
        rig.advance(AppDelegate::prefsDelay - 0.001);
        QVERIFY2(rig.log.isEmpty(), qPrintable(rig.log.join(u'|')));
        rig.advance(0.001);
        QCOMPARE(rig.log, (QStringList{"reposition", "reloadGrid animated=0"}));
        rig.advance(1);
        QCOMPARE(rig.log.size(), 2);
    }

    // One row per branch of the settings pass.
    void settingChanges_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("before");
        QTest::addColumn<QVariant>("after");
        QTest::addColumn<int>("panel");            // 0 closed, 1 open, 2 open under the pointer
        QTest::addColumn<QStringList>("expected"); // ROOT: the library's root
        const QVariant yes(true), no(false);
        QTest::newRow("scope") << "t2.scope" << QVariant("session") << QVariant("all") << 0
                               << QStringList{};
        QTest::newRow("tab, closed") << "t2.showTab" << yes << no << 0 << QStringList{"tab 0"};
        QTest::newRow("tab, open") << "t2.showTab" << yes << no << 1 << QStringList{};
        QTest::newRow("ocr on") << "t2.ocr" << no << yes << 0 << QStringList{"recognizeAll"};
        QTest::newRow("ocr off") << "t2.ocr" << yes << no << 0 << QStringList{};
        QTest::newRow("only shots") << "t2.onlyShots" << yes << no << 0 << QStringList{"reload"};
        QTest::newRow("subfolders, open")
            << "t2.includeSub" << yes << no << 1 << QStringList{"reloadGrid animated=1"};
        QTest::newRow("session reset") << "t2.sessionReset" << QVariant(0.0) << QVariant(1.7e9) << 0
                                       << QStringList{"reloadGrid animated=0"};
        QTest::newRow("hide from capture")
            << "t2.hideFromCapture" << yes << no << 0 << QStringList{"captureVisibility"};
        QTest::newRow("pin") << "t2.pinned" << no << yes << 0
                             << QStringList{"updatePin 1", "expand key=0 time=0"};
        QTest::newRow("unpin, pointer away")
            << "t2.pinned" << yes << no << 1
            << QStringList{
                   "updatePin 0",
                   QStringLiteral("scheduleCollapse %1").arg(AppDelegate::unpinnedCollapse)};
        QTest::newRow("unpin, pointer on it")
            << "t2.pinned" << yes << no << 2 << QStringList{"updatePin 0"};
        QTest::newRow("shortcut") << "t2.hotkey" << QVariant(qint64(1)) << QVariant(qint64(2)) << 0
                                  << QStringList{"ungrab", "grab Super+Alt+R"};
        QTest::newRow("no shortcut") << "t2.hotkey" << QVariant(qint64(1)) << QVariant(qint64(0))
                                     << 0 << QStringList{"ungrab"};
        QTest::newRow("thumbnail from outside")
            << "t2.thumb" << QVariant(224.0) << QVariant(300.0) << 0 << QStringList{};
        QTest::newRow("sync switch")
            << "t2.syncSystem" << no << yes << 0 << QStringList{"location ROOT", "watchStrays"};
    }
    void settingChanges() {
        QFETCH(QString, key);
        QFETCH(QVariant, before);
        QFETCH(QVariant, after);
        QFETCH(int, panel);
        QFETCH(QStringList, expected);
        AppRig rig;
        rig.tool.info.location = rig.env.mkdir(QStringLiteral("elsewhere"));
        Prefs::shared().set(key.toLatin1().constData(), before);
        rig.relaunch();
        rig.panel->isExpanded = panel > 0;
        rig.panel->pointerInside = panel == 2;
        Prefs::shared().set(key.toLatin1().constData(), after);
        rig.advance(AppDelegate::prefsDelay);
        QCOMPARE(rig.log, expected.replaceInStrings(QStringLiteral("ROOT"), rig.lib.rootPath));
        if (key == "t2.thumb") // every pass hands the size on; the panel knows its own
            QCOMPARE(rig.panel->thumbs.value(rig.panel->thumbs.size() - 1), 300.0);
    }

    // Also when the sync switch changed in the same pass.
    void folderChangeSyncsOnce() {
        AppRig rig;
        Prefs::shared().set(Key::syncSystem, false);
        rig.tool.info.location = rig.lib.rootPath;
        rig.relaunch();
        const QString shots = rig.env.mkdir(QStringLiteral("shots"));
        Prefs::shared().set(Key::folder, shots);
        Prefs::shared().set(Key::syncSystem, true);
        rig.advance(AppDelegate::prefsDelay);
        QCOMPARE(rig.log, (QStringList{"setRoot " + shots, "selectSession", "location " + shots,
                                       "watchStrays"}));
    }

    // A toast only on an open panel; a link to the root is the root.
    void syncOutcome_data() {
        QTest::addColumn<QString>("tool"); // moves, refuses, read-only; off: no sync
        QTest::addColumn<int>("location"); // 0 elsewhere, 1 the root, 2 a link to the root
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<QStringList>("expected");
        const QString set = QStringLiteral("location ROOT"), strays = QStringLiteral("watchStrays");
        QTest::newRow("moved, open")
            << "moves" << 0 << true
            << QStringList{set, strays, "toast Spectacle now saves screenshots to “Screenshots”"};
        QTest::newRow("refused, open")
            << "refuses" << 0 << true
            << QStringList{set, strays, "toast Couldn't change Spectacle's screenshot location"};
        QTest::newRow("moved, closed") << "moves" << 0 << false << QStringList{set, strays};
        QTest::newRow("already there") << "moves" << 1 << true << QStringList{strays};
        QTest::newRow("through a link") << "moves" << 2 << true << QStringList{strays};
        QTest::newRow("tool not writable") << "read-only" << 0 << true << QStringList{strays};
        QTest::newRow("sync off") << "off" << 0 << true << QStringList{strays};
    }
    void syncOutcome() {
        QFETCH(QString, tool);
        QFETCH(int, location);
        QFETCH(bool, expanded);
        QFETCH(QStringList, expected);
        AppRig rig;
        Prefs::shared().set(Key::syncSystem, tool != "off");
        rig.tool.info.writable = tool != "read-only";
        rig.tool.moves = tool != "refuses";
        rig.tool.info.location =
            location == 1 ? rig.lib.rootPath : rig.env.mkdir(QStringLiteral("elsewhere"));
        if (location == 2) {
            rig.tool.info.location = rig.env.home() + QStringLiteral("/link");
            QVERIFY(QFile::link(rig.lib.rootPath, rig.tool.info.location));
        }
        rig.relaunch();
        rig.panel->isExpanded = expanded;
        rig.app->syncSystemLocation();
        QCOMPARE(rig.log, expected.replaceInStrings(QStringLiteral("ROOT"), rig.lib.rootPath));
    }

    // Once, after the first finished scan.
    void postScanCheck() {
        AppRig rig;
        rig.tool.info.location = rig.env.mkdir(QStringLiteral("elsewhere"));
        rig.relaunch();
        rig.lib.changed(); // not scanned yet
        rig.advance(2);
        QVERIFY(rig.log.isEmpty());
        rig.lib.isScanned = true;
        rig.lib.changed();
        rig.advance(AppDelegate::launchCheckDelay - 0.01);
        QVERIFY(rig.log.isEmpty());
        rig.advance(0.01);
        const QStringList once{"location " + rig.lib.rootPath, "watchStrays"};
        QCOMPARE(rig.log, once);
        rig.tool.info.location = rig.env.mkdir(QStringLiteral("moved away"));
        rig.lib.changed();
        rig.advance(2);
        QCOMPARE(rig.log, once);
    }

    // The focus request needs the event's time (end to end: tst_AppShell).
    void togglesAndCommands() {
        AppRig rig;
        rig.relaunch();
        rig.app->hide(); // closed already: nothing
        rig.grab.press(77);
        rig.grab.press(78);
        rig.app->toggle(QStringLiteral("launcher-1-host-tamberk-0_TIME4242"));
        QCOMPARE(rig.log, (QStringList{"expand key=1 time=77", "collapse force=1",
                                       "expand key=1 time=4242"}));
        rig.lib.pending = 1234;
        QCOMPARE(rig.app->state().value(QStringLiteral("textPending")), QVariant(qlonglong(1234)));
    }

    void copyText_data() {
        QTest::addColumn<QString>("found"); // empty: none
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("text, panel open")
            << "Total due" << true << QStringList{"clipboard Total due", "toast Text copied"};
        QTest::newRow("text, panel closed")
            << "Total due" << false << QStringList{"clipboard Total due"};
        QTest::newRow("no text") << "" << true << QStringList{};
    }
    void copyText() {
        QFETCH(QString, found);
        QFETCH(bool, expanded);
        QFETCH(QStringList, expected);
        AppRig rig;
        rig.relaunch();
        rig.panel->isExpanded = expanded;
        if (!found.isEmpty())
            rig.lib.newest = found;
        std::optional<bool> copied;
        rig.app->copyText([&](bool ok) { copied = ok; });
        QCOMPARE(copied, std::optional<bool>(!found.isEmpty()));
        QCOMPARE(rig.log, expected);
    }

    void tokenTimes_data() {
        QTest::addColumn<QString>("token");
        QTest::addColumn<quint32>("time");
        QTest::newRow("trailing text") << "x_TIME12b" << 0u;
        QTest::newRow("too large") << "x_TIME4294967296" << 0u;
        QTest::newRow("largest") << "x_TIME4294967295" << 4294967295u;
    }
    void tokenTimes() {
        QFETCH(QString, token);
        QFETCH(quint32, time);
        QCOMPARE(AppDelegate::timestampFromToken(token), time);
    }

    void displayNames() {
        TestEnv env;
        QCOMPARE(AppDelegate::displayName(env.home() + QStringLiteral("/Pictures/Shots/")),
                 QStringLiteral("Shots"));
        QCOMPARE(AppDelegate::displayName(QDir::homePath()), QStringLiteral("Home"));
        QCOMPARE(AppDelegate::displayName(QStringLiteral("/")), QStringLiteral("/"));
    }

    void drivesTheRealPanel() {
        TestEnv env;
        Library lib(env.mkdir(QStringLiteral("Pictures/Screenshots")));
        DockedPanel docked(lib);
        DockedShell shell(docked, lib);
        QCOMPARE(
            QStringList(shell.state().keys()),
            (QStringList{"expanded", "pinned", "query", "scope", "selected", "shown", "unseen"}));
        const double thumb = docked.controller().thumb() + 40;
        shell.followThumb(thumb);
        QCOMPARE(docked.controller().thumb(), thumb);
        docked.tab().show();
        shell.setTabShown(false);
        QTRY_VERIFY(!docked.tab().isVisible()); // after its fade
        shell.toast(QStringLiteral("Saved elsewhere"));
        QCOMPARE(docked.shelf().toast()->text(), QStringLiteral("Saved elsewhere"));
        QVERIFY(!docked.shelf().toast()->action());
    }

    // Closed with the default shortcut and no frames; open without a shortcut and one frame.
    void rows() {
        for (const bool open : {false, true}) {
            TrayFacts f;
            f.expanded = f.launchAtLogin = open;
            f.pinned = !open;
            f.hotkey = open ? 0 : 1;
            f.sessionCount = open ? 1 : 0;
            f.side = open ? DockSide::left : DockSide::right;
            const QList<TrayRow> rows = TrayMenu::rows(f);
            QMap<TrayAction, TrayRow> by;
            for (const TrayRow& row : rows) {
                QVERIFY(row.action == TrayAction::none || !by.contains(row.action));
                by.insert(row.action, row);
            }
            QCOMPARE(by.size(), int(TrayAction::quit) + 1);
            QCOMPARE(by[TrayAction::toggle].title, QString(open ? "Hide Tamberk" : "Show Tamberk"));
            QCOMPARE(by[TrayAction::toggle].key, QString(open ? "" : "Ctrl+Alt+S"));
            QCOMPARE(rows[2].title,
                     QString(open ? "1 frame this session" : "0 frames this session"));
            QCOMPARE(by[TrayAction::keepOpen].checked, !open);
            QCOMPARE(by[TrayAction::dockLeft].checked, open);
            QCOMPARE(by[TrayAction::launchAtLogin].checked, open);
        }
    }

    // The toggle, New Folder…, docking and Settings… are walked elsewhere.
    void actions() {
        AppRig rig;
        rig.relaunch();
        QString opened;
        TrayMenu::Hooks hooks;
        hooks.openFolder = [&](const QString& path) { opened = path; };
        hooks.now = [] { return 1.75e9; };
        AppDelegate& app = *rig.app;

        TrayMenu::run(TrayAction::newSession, app, hooks);
        QCOMPARE(Prefs::shared().number(Key::sessionReset), 1.75e9);

        TrayMenu::run(TrayAction::launchAtLogin, app, hooks);
        QVERIFY(TrayFacts::read(app).launchAtLogin);

        TrayMenu::run(TrayAction::openFolder, app, hooks);
        QCOMPARE(opened, rig.lib.rootPath);
        TrayMenu::run(TrayAction::keepOpen, app, hooks);
        TrayMenu::run(TrayAction::quit, app, hooks);
        QCOMPARE(rig.log, QStringList{"togglePin"});
        QCOMPARE(rig.quits, 1);
    }

    // The window manager refuses a focus request without the click's time.
    void trayClickTimeReachesTheToggle() {
        AppRig rig;
        rig.relaunch();
        TrayItem tray(*rig.app, {}, nullptr);
        std::unique_ptr<QMenu> menu(tray.makeMenu());
        QAction* toggle = menu->actions().value(0); // first: tst_AppShell
        QVERIFY(toggle);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        release.setTimestamp(4711);
        QCoreApplication::sendEvent(menu.get(), &release);
        toggle->trigger();
        QTRY_COMPARE(rig.log, QStringList{"expand key=1 time=4711"});
    }

    // Read at each opening; "&" is text; no icon hides a check mark.
    void filledMenu() {
        AppRig rig;
        rig.lib.rootPath = rig.env.mkdir(QStringLiteral("Fish & Chips"));
        rig.relaunch();
        int settings = 0;
        TrayMenu::Hooks hooks;
        hooks.showSettings = [&] { ++settings; };
        QMenu menu;
        TrayMenu::fill(&menu, *rig.app, hooks);
        QCOMPARE(menu.actions()[3]->text(), QStringLiteral("Open Fish && Chips"));
        QVERIFY(!menu.actions()[8]->isChecked());
        QVERIFY(!menu.actions()[11]->icon().isNull()); // Settings…
        QVERIFY(menu.actions()[7]->icon().isNull());   // Keep Open
        menu.popup(QPoint(10, 10));
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        QTest::keyClick(&menu, Qt::Key_W, Qt::ControlModifier); // not shown: nothing
        QVERIFY(menu.isVisible());
        QTest::keyClick(&menu, Qt::Key_Comma, Qt::ControlModifier);
        QVERIFY(!menu.isVisible());
        QTRY_COMPARE(settings, 1);

        Prefs::shared().set(Key::side, QStringLiteral("left"));
        TrayMenu::fill(&menu, *rig.app, hooks);
        QCOMPARE(menu.actions().size(), 15);
        QVERIFY(menu.actions()[8]->isChecked());
        menu.actions()[8]->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(Prefs::shared().string(Key::side), QStringLiteral("right"));
    }
};

TAMBERK_TEST(tst_AppDelegate)
#include "tst_AppDelegate.moc"
