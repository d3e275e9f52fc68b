#include "AppRig.h"
#include "settings/Prefs.h"

#include <QDir>
#include <QTest>

class tst_AppDelegate : public QObject {
    Q_OBJECT
private slots:
    // Start-up builds the panel and tray before scanning, then installs the
    // shortcut; the migration has run and the delegate is the shared one.
    void launchOrder() {
        AppRig rig;
        Prefs::shared().set(Key::leftSide, true);
        rig.launch();
        QCOMPARE(rig.log, (QStringList{"makePanel", "makeTrayItem", "observe", "reload",
                                       "grab Ctrl+Alt+S"}));
        QCOMPARE(AppDelegate::shared(), rig.app.get());
        QVERIFY(Prefs::shared().boolean(Key::launched));
        QCOMPARE(Prefs::shared().string(Key::side), QStringLiteral("left"));
        // The snapshot was taken after the migration, so the side it wrote
        // is not seen as a change later.
        QVERIFY(rig.app->snapshot().side == DockSide::left);
        rig.clearLog();
        rig.advance(0.15);
        rig.app->applyPrefs();
        QVERIFY(!rig.log.contains(QStringLiteral("reposition")));
    }

    // The first launch shows the panel after 1 s and asks it to close 4 s
    // later; the second launch shows only the tab.
    void firstAndSecondLaunch() {
        AppRig rig;
        rig.launch();
        rig.clearLog();
        rig.advance(0.99);
        QVERIFY(rig.log.isEmpty());
        rig.advance(0.01);
        QCOMPARE(rig.log, (QStringList{"expand key=0 time=0", "scheduleCollapse 4"}));

        rig.app.reset();
        rig.clearLog();
        rig.launch();
        rig.clearLog();
        rig.advance(5);
        QVERIFY2(rig.log.isEmpty(), qPrintable(rig.log.join(u'|')));
        QVERIFY(!rig.panel->isExpanded);
    }

    // A pinned panel opens 0.4 s after a later launch and is not asked to close.
    void pinnedLaunch() {
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(Key::pinned, true);
        rig.launch();
        rig.clearLog();
        rig.advance(0.39);
        QVERIFY(rig.log.isEmpty());
        rig.advance(0.01);
        QCOMPARE(rig.log, QStringList{"expand key=0 time=0"});
        rig.advance(10);
        QCOMPARE(rig.log, QStringList{"expand key=0 time=0"});
    }

    // Ten writes within 0.1 s give one pass, 0.15 s after the last write.
    void burstGivesOnePass() {
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        rig.launch();
        rig.clearLog();
        for (int i = 0; i < 9; ++i) {
            Prefs::shared().set(Key::side,
                                i % 2 ? QStringLiteral("right") : QStringLiteral("left"));
            rig.advance(0.01);
        }
        Prefs::shared().set(Key::captions, false);
        rig.advance(0.149);
        QVERIFY2(rig.log.isEmpty(), qPrintable(rig.log.join(u'|')));
        rig.advance(0.001);
        QCOMPARE(rig.log, (QStringList{"reposition", "reloadGrid animated=0"}));
        rig.advance(1);
        QCOMPARE(rig.log.size(), 2);
    }

    // Keys the panel reads at the moment of use cause a pass that does nothing.
    void momentKeysDoNothing_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("width") << "t2.width" << QVariant(420.0);
        QTest::newRow("scope") << "t2.scope" << QVariant(QStringLiteral("all"));
        QTest::newRow("reveal") << "t2.reveal" << QVariant(false);
    }
    void momentKeysDoNothing() {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        rig.launch();
        rig.clearLog();
        Prefs::shared().set(key.toLatin1().constData(), value);
        rig.advance(0.15);
        QVERIFY2(rig.log.isEmpty(), qPrintable(rig.log.join(u'|')));
    }

    // A thumbnail size written outside the panel (the file, tamberk-cli) reaches it.
    void editedThumbReachesPanel() {
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        rig.launch();
        rig.clearLog();
        Prefs::shared().set(Key::thumb, 300.0);
        rig.advance(0.15);
        QCOMPARE(rig.panel->thumbs.value(rig.panel->thumbs.size() - 1), 300.0);
    }

    // A new folder re-roots the library, shows the session and syncs the
    // tool once, even when the sync switch changed in the same pass.
    void folderChangeSyncsOnce() {
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(Key::syncSystem, false);
        rig.tool.info.location = rig.lib.rootPath;
        rig.launch();
        rig.clearLog();
        const QString shots = rig.env.mkdir(QStringLiteral("shots"));
        Prefs::shared().set(Key::folder, shots);
        Prefs::shared().set(Key::syncSystem, true);
        rig.advance(0.15);
        QCOMPARE(rig.log, (QStringList{"setRoot " + shots, "selectSession", "location " + shots,
                                       "watchStrays"}));
    }

    // The sync after a change: a toast only while the panel is open, the
    // wording following the outcome; no change when nothing is to be done.
    void syncOutcome_data() {
        QTest::addColumn<bool>("sync");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("moves");
        QTest::addColumn<bool>("alreadyThere");
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<QStringList>("expected");
        const QString set = QStringLiteral("location ROOT");
        QTest::newRow("moved, open")
            << true << true << true << false << true
            << QStringList{set, "watchStrays",
                           "toast Spectacle now saves screenshots to \u201cScreenshots\u201d"};
        QTest::newRow("refused, open")
            << true << true << false << false << true
            << QStringList{set, "watchStrays",
                           "toast Couldn't change Spectacle's screenshot location"};
        QTest::newRow("moved, closed")
            << true << true << true << false << false << QStringList{set, "watchStrays"};
        QTest::newRow("already there")
            << true << true << true << true << true << QStringList{"watchStrays"};
        QTest::newRow("tool not writable")
            << true << false << true << false << true << QStringList{"watchStrays"};
        QTest::newRow("sync off") << false << true << true << false << true
                                  << QStringList{"watchStrays"};
    }
    void syncOutcome() {
        QFETCH(bool, sync);
        QFETCH(bool, writable);
        QFETCH(bool, moves);
        QFETCH(bool, alreadyThere);
        QFETCH(bool, expanded);
        QFETCH(QStringList, expected);
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(Key::syncSystem, sync);
        rig.tool.info.writable = writable;
        rig.tool.moves = moves;
        rig.tool.info.location =
            alreadyThere ? rig.lib.rootPath : rig.env.mkdir(QStringLiteral("x"));
        rig.launch();
        rig.panel->isExpanded = expanded;
        rig.clearLog();
        rig.app->syncSystemLocation();
        expected.replaceInStrings(QStringLiteral("ROOT"), rig.lib.rootPath);
        QCOMPARE(rig.log, expected);
    }

    // The same folder through a link counts as already matching.
    void linkedFolderMatches() {
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        const QString link = rig.env.home() + QStringLiteral("/link");
        QVERIFY(QFile::link(rig.lib.rootPath, link));
        rig.tool.info.location = link;
        rig.launch();
        rig.clearLog();
        rig.app->syncSystemLocation();
        QCOMPARE(rig.log, QStringList{"watchStrays"});
    }

    // Only the sync switch changing runs the sync.
    void syncSwitchAlone() {
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(Key::syncSystem, false);
        rig.tool.info.location = rig.env.mkdir(QStringLiteral("elsewhere"));
        rig.launch();
        rig.clearLog();
        Prefs::shared().set(Key::syncSystem, true);
        rig.advance(0.15);
        QCOMPARE(rig.log, (QStringList{"location " + rig.lib.rootPath, "watchStrays"}));
    }

    // The tool is checked once, a second after the first finished scan; with
    // sync off that check only restarts stray watching.
    void postScanCheck_data() {
        QTest::addColumn<bool>("sync");
        QTest::newRow("sync on") << true;
        QTest::newRow("sync off") << false;
    }
    void postScanCheck() {
        QFETCH(bool, sync);
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(Key::syncSystem, sync);
        rig.tool.info.location = rig.env.mkdir(QStringLiteral("elsewhere"));
        rig.launch();
        rig.clearLog();
        rig.lib.changed(); // not scanned yet
        rig.advance(2);
        QVERIFY(rig.log.isEmpty());
        rig.lib.isScanned = true;
        rig.lib.changed();
        rig.advance(0.99);
        QVERIFY(rig.log.isEmpty());
        rig.advance(0.01);
        const QStringList once = sync ? QStringList{"location " + rig.lib.rootPath, "watchStrays"}
                                      : QStringList{"watchStrays"};
        QCOMPARE(rig.log, once);
        rig.tool.info.location = rig.env.mkdir(QStringLiteral("moved away"));
        rig.lib.changed();
        rig.advance(2);
        QCOMPARE(rig.log, once);
    }

    // The tab follows "t2.showTab" only while the panel is closed.
    void showTab_data() {
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("closed") << false << QStringList{"tab 0"};
        QTest::newRow("open") << true << QStringList{};
    }
    void showTab() {
        QFETCH(bool, expanded);
        QFETCH(QStringList, expected);
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        rig.launch();
        rig.panel->isExpanded = expanded;
        rig.clearLog();
        Prefs::shared().set(Key::showTab, false);
        rig.advance(0.15);
        QCOMPARE(rig.log, expected);
    }

    // Library-facing switches: recognition queues everything only when
    // turned on; the screenshots-only filter rescans; grid keys refill the
    // grid, animated only while it is open.
    void libraryKeys_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("before");
        QTest::addColumn<QVariant>("after");
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("ocr on") << "t2.ocr" << QVariant(false) << QVariant(true) << false
                                << QStringList{"recognizeAll"};
        QTest::newRow("ocr off") << "t2.ocr" << QVariant(true) << QVariant(false) << false
                                 << QStringList{};
        QTest::newRow("only shots") << "t2.onlyShots" << QVariant(true) << QVariant(false) << false
                                    << QStringList{"reload"};
        QTest::newRow("subfolders, open") << "t2.includeSub" << QVariant(true) << QVariant(false)
                                          << true << QStringList{"reloadGrid animated=1"};
        QTest::newRow("session mode")
            << "t2.session" << QVariant(QStringLiteral("boot")) << QVariant(QStringLiteral("today"))
            << false << QStringList{"reloadGrid animated=0"};
        QTest::newRow("session reset") << "t2.sessionReset" << QVariant(0.0) << QVariant(1.7e9)
                                       << false << QStringList{"reloadGrid animated=0"};
        QTest::newRow("hide from capture")
            << "t2.hideFromCapture" << QVariant(true) << QVariant(false) << false
            << QStringList{"captureVisibility"};
    }
    void libraryKeys() {
        QFETCH(QString, key);
        QFETCH(QVariant, before);
        QFETCH(QVariant, after);
        QFETCH(bool, expanded);
        QFETCH(QStringList, expected);
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(key.toLatin1().constData(), before);
        rig.launch();
        rig.panel->isExpanded = expanded;
        rig.clearLog();
        Prefs::shared().set(key.toLatin1().constData(), after);
        rig.advance(0.15);
        QCOMPARE(rig.log, expected);
    }

    // Pinning opens the panel; unpinning closes it unless the pointer is on it.
    void pin_data() {
        QTest::addColumn<bool>("pinned");
        QTest::addColumn<bool>("inside");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("pin") << true << false << QStringList{"updatePin 1", "expand key=0 time=0"};
        QTest::newRow("unpin, pointer away")
            << false << false << QStringList{"updatePin 0", "scheduleCollapse 0.6"};
        QTest::newRow("unpin, pointer on it") << false << true << QStringList{"updatePin 0"};
    }
    void pin() {
        QFETCH(bool, pinned);
        QFETCH(bool, inside);
        QFETCH(QStringList, expected);
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(Key::pinned, !pinned);
        rig.launch();
        rig.advance(1); // the pinned launch's opening, if any
        rig.panel->pointerInside = inside;
        rig.clearLog();
        Prefs::shared().set(Key::pinned, pinned);
        rig.advance(0.15);
        QCOMPARE(rig.log, expected);
    }

    // A new preset releases the old grab first; "None" grabs nothing (the
    // presets themselves, and their fallback, are tst_Hotkey's).
    void hotkeyPresets_data() {
        QTest::addColumn<qint64>("index");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("2") << qint64(2) << QStringList{"ungrab", "grab Super+Alt+R"};
        QTest::newRow("0") << qint64(0) << QStringList{"ungrab"};
    }
    void hotkeyPresets() {
        QFETCH(qint64, index);
        QFETCH(QStringList, expected);
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        rig.launch();
        rig.clearLog();
        Prefs::shared().set(Key::hotkey, index);
        rig.advance(0.15);
        QCOMPARE(rig.log, expected);
    }

    // The shortcut toggles the panel, handing its X time to the focus request.
    void shortcutToggles() {
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        rig.launch();
        rig.clearLog();
        rig.grab.press(77);
        rig.grab.press(78);
        QCOMPARE(rig.log, (QStringList{"expand key=1 time=77", "collapse force=1"}));
    }

    // Remote commands reach the panel; a startup id lends its time to the focus request.
    void remoteCommands() {
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        rig.launch();
        rig.clearLog();
        rig.app->hide(); // closed already: nothing
        rig.app->toggle(QStringLiteral("launcher-1-host-tamberk-0_TIME4242"));
        rig.app->show(QString());
        rig.app->hide();
        rig.app->quit();
        QCOMPARE(rig.log, (QStringList{"expand key=1 time=4242", "expand key=1 time=0",
                                       "collapse force=1"}));
        QCOMPARE(rig.quits, 1);
        QCOMPARE(rig.app->state().value(QStringLiteral("expanded")), QVariant(false));
        rig.lib.pending = 1234;
        QCOMPARE(rig.app->state().value(QStringLiteral("textPending")), QVariant(qlonglong(1234)));
    }

    // The newest screenshot's text goes to the clipboard, with a toast on an
    // open panel; without text nothing is copied and the caller hears so.
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
        const std::optional<QString> text =
            found.isEmpty() ? std::nullopt : std::optional<QString>(found);
        QFETCH(bool, expanded);
        QFETCH(QStringList, expected);
        AppRig rig;
        Prefs::shared().set(Key::launched, true);
        rig.launch();
        rig.panel->isExpanded = expanded;
        rig.lib.newest = text;
        rig.clearLog();
        std::optional<bool> copied;
        rig.app->copyText([&](bool ok) { copied = ok; });
        QCOMPARE(copied, std::optional<bool>(text.has_value()));
        QCOMPARE(rig.log, expected);
    }

    // Only a well-formed time at the end of a startup id is used.
    void tokenTimes_data() {
        QTest::addColumn<QString>("token");
        QTest::addColumn<quint32>("time");
        QTest::newRow("empty") << "" << 0u;
        QTest::newRow("startup id") << "kde-launch-12_TIME900" << 900u;
        QTest::newRow("activation token") << "0c8f2a4e-93b1" << 0u;
        QTest::newRow("no digits") << "x_TIME" << 0u;
        QTest::newRow("trailing text") << "x_TIME12b" << 0u;
        QTest::newRow("too large") << "x_TIME4294967296" << 0u;
        QTest::newRow("largest") << "x_TIME4294967295" << 4294967295u;
    }
    void tokenTimes() {
        QFETCH(QString, token);
        QFETCH(quint32, time);
        QCOMPARE(AppDelegate::timestampFromToken(token), time);
    }

    // Folders are named by their last component, the home folder as "Home".
    void displayNames() {
        TestEnv env;
        QCOMPARE(AppDelegate::displayName(env.home() + QStringLiteral("/Pictures/Shots/")),
                 QStringLiteral("Shots"));
        QCOMPARE(AppDelegate::displayName(QDir::homePath()), QStringLiteral("Home"));
        QCOMPARE(AppDelegate::displayName(QStringLiteral("/")), QStringLiteral("/"));
    }

    // Tasks replace their slot, run earliest first and never when cancelled.
    void delayedWork() {
        double now = 0;
        DelayedWork work([&] { return now; });
        QStringList ran;
        work.schedule(1, 0.5, [&] { ran << "a"; });
        work.schedule(2, 0.2, [&] { ran << "b"; });
        work.schedule(1, 0.3, [&] { ran << "a2"; });
        work.schedule(3, 0.1, [&] { ran << "c"; });
        work.cancel(3);
        QCOMPARE(work.deadline(1), 0.3);
        now = 0.25;
        work.runDue();
        QCOMPARE(ran, QStringList{"b"});
        now = 1;
        work.runDue();
        QCOMPARE(ran, (QStringList{"b", "a2"}));
        QVERIFY(!work.pending(1) && !work.pending(2) && !work.pending(3));
        work.schedule(4, 0, [&] {
            ran << "d";
            work.schedule(4, 0, [&] { ran << "e"; });
        });
        work.runDue();
        QCOMPARE(ran, (QStringList{"b", "a2", "d", "e"}));
    }
};

TAMBERK_TEST(tst_AppDelegate)
#include "tst_AppDelegate.moc"
