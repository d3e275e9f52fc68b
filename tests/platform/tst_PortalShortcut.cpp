#include "FakePortal.h"
#include "FakeShortcut.h"
#include "PrivateBus.h"
#include "TestEnv.h"
#include "platform/PortalShortcut.h"

#include <QSignalSpy>
#include <QTest>

class tst_PortalShortcut : public QObject {
    Q_OBJECT
private slots:
    // Triggers in the freedesktop shortcuts format: upper-case modifiers in its
    // order, xkbcommon key names (more in bindsThroughThePortal); no key, none.
    void triggers() {
        QCOMPARE(PortalShortcut::trigger(QStringLiteral("Super+Alt+R")), "ALT+LOGO+r");
        QCOMPARE(PortalShortcut::trigger(QStringLiteral("Shift+Super+6")), "SHIFT+LOGO+6");
        QVERIFY(PortalShortcut::trigger(QStringLiteral("Ctrl+Alt")).isEmpty());
    }

    // A session per preset, the desktop's trigger shown, the token's X time; v2 configures.
    void bindsThroughThePortal_data() {
        QTest::addColumn<uint>("version");
        QTest::newRow("version 1") << 1u;
        QTest::newRow("version 2") << 2u;
    }
    void bindsThroughThePortal() {
        QFETCH(uint, version);
        PrivateBus bus;
        QVERIFY(bus.isRunning());
        FakePortal portal(bus.connect(QStringLiteral("desktop")), version);
        QVERIFY(portal.registered());
        FakeShortcut grab;
        PortalShortcut shortcut(&grab, bus.connect(QStringLiteral("app")));
        shortcut.grab(QStringLiteral("Ctrl+Alt+S"));
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::grabbed, 5000);
        QCOMPARE(portal.calls, QStringList({QStringLiteral("CreateSession"),
                                            QStringLiteral("BindShortcuts toggle CTRL+ALT+s "
                                                           "\"Open or close Tamberk\"")}));
        QCOMPARE(shortcut.backend(), PortalShortcut::Backend::portal);
        QCOMPARE(shortcut.triggerDescription(), QStringLiteral("Super+K"));
        QCOMPARE(shortcut.canConfigure(), version >= 2);
        QVERIFY(grab.log.isEmpty());
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        portal.activate(QStringLiteral("/elsewhere"), QStringLiteral("toggle"), {});
        portal.activate(portal.session, QStringLiteral("toggle"),
                        QStringLiteral("launcher_TIME4321"));
        QVERIFY(activated.wait(5000));
        QCOMPARE(activated.size(), 1);
        QCOMPARE(activated.constFirst().constFirst().toUInt(), 4321u);
        // The user picks another trigger in the desktop's settings.
        QSignalSpy described(&shortcut, &PortalShortcut::descriptionChanged);
        portal.reassign(QStringLiteral("Ctrl+F9"));
        QVERIFY(described.wait(5000));
        QCOMPARE(shortcut.triggerDescription(), QStringLiteral("Ctrl+F9"));

        shortcut.configure();
        // Another preset: a new session with the new preferred trigger.
        const QString first = portal.session;
        shortcut.grab(QStringLiteral("Ctrl+Alt+Space"));
        QStringList expected{QStringLiteral("Close ") + first, QStringLiteral("CreateSession"),
                             QStringLiteral("BindShortcuts toggle CTRL+ALT+space \"Open or close "
                                            "Tamberk\"")};
        if (version >= 2)
            expected.prepend(QStringLiteral("ConfigureShortcuts"));
        QTRY_COMPARE_WITH_TIMEOUT(portal.calls.mid(2), expected, 5000);
        QVERIFY(portal.session != first);
    }

    // Without GlobalShortcuts the X11 grab's status and presses pass through.
    void fallsBackToTheGrab_data() {
        QTest::addColumn<bool>("portalRuns");
        QTest::newRow("no portal") << false;
        QTest::newRow("portal without shortcuts") << true;
    }
    void fallsBackToTheGrab() {
        QFETCH(bool, portalRuns);
        PrivateBus bus;
        QVERIFY(bus.isRunning());
        std::unique_ptr<FakePortal> portal;
        if (portalRuns)
            portal = std::make_unique<FakePortal>(bus.connect(QStringLiteral("desktop")), 0);
        FakeShortcut grab;
        PortalShortcut shortcut(&grab, bus.connect(QStringLiteral("app")));
        shortcut.grab(QStringLiteral("Ctrl+Alt+R"));
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::grabbed, 5000);
        QCOMPARE(shortcut.backend(), PortalShortcut::Backend::x11);
        QCOMPARE(grab.log, QStringList{QStringLiteral("grab Ctrl+Alt+R")});
        QVERIFY(!shortcut.canConfigure());
        QVERIFY(shortcut.triggerDescription().isEmpty());
        if (portal)
            QVERIFY(portal->calls.isEmpty());
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        grab.press(77);
        QCOMPARE(activated.size(), 1);
        shortcut.ungrab();
        QCOMPARE(grab.log.constLast(), QStringLiteral("ungrab"));
        QCOMPARE(shortcut.status(), GlobalShortcut::Status::none);
    }
};

TAMBERK_TEST(tst_PortalShortcut)
#include "tst_PortalShortcut.moc"
