#include "AppRig.h"
#include "app/ui/TrayItem.h"
#include "app/ui/TrayMenu.h"
#include "settings/Prefs.h"

#include <QMenu>
#include <QMouseEvent>
#include <QTest>

class tst_TrayMenu : public QObject {
    Q_OBJECT
private slots:
    // Closed, with the default shortcut and no frames; open (also docked left,
    // unpinned, launched at login) without a shortcut and one frame.
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

TAMBERK_TEST(tst_TrayMenu)
#include "tst_TrayMenu.moc"
