#include "RealApp.h"
#include "TestEnv.h"
#include "X11Session.h"
#include "settings/Prefs.h"

#include <QTest>

using namespace realapp;

class tst_AppShell : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { X11_SESSION_REQUIRED(); }

    // The running application's shortcut opens and closes the panel from
    // the keyboard, the tab's menu opens it, and the command line forwards
    // to it: toggle, a second plain start showing it, hide, quit, and "not
    // running" afterwards.
    void shortcutAndCommandLine() {
        TestEnv env;
        // A later launch: the panel starts closed.
        Prefs::shared().set(Key::launched, true);
        // Hovering the tab must not open the panel: the menu has to.
        Prefs::shared().set(Key::reveal, false);
        RealApp app;
        app.start();
        QTRY_VERIFY_WITH_TIMEOUT(serviceRunning(), 20000);
        // The scope is answered once the start-up has run, the shortcut grabbed.
        QTRY_VERIFY_WITH_TIMEOUT(state().contains(QStringLiteral("scope")), 10000);
        QVERIFY(!expanded());

        QVERIFY(X11Session::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+s")}));
        QTRY_VERIFY_WITH_TIMEOUT(expanded(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(panelMapped(), 10000);
        QVERIFY(X11Session::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+s")}));
        QTRY_VERIFY_WITH_TIMEOUT(!expanded(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!panelMapped(), 10000);

        // Without a tray, the tab's right-click opens the menu; its first
        // row opens the panel.
        const int windows = visibleWindows();
        QVERIFY(X11Session::xdotool({"mousemove", "1437", "450", "click", "3"}));
        // Keys sent before the menu has the keyboard would go elsewhere.
        QTRY_VERIFY_WITH_TIMEOUT(visibleWindows() > windows, 10000);
        QVERIFY(X11Session::xdotool({"key", "--delay", "100", "Down", "Return"}));
        QTRY_VERIFY_WITH_TIMEOUT(expanded(), 10000);
        QCOMPARE(tamberk({QStringLiteral("--hide")}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!expanded(), 10000);
        QVERIFY(X11Session::xdotool({"mousemove", "700", "450"}));

        QCOMPARE(tamberk({QStringLiteral("--toggle")}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(expanded(), 10000);
        QCOMPARE(tamberk({QStringLiteral("--hide")}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!expanded(), 10000);
        const Run second = tamberk({});
        QCOMPARE(second.code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(expanded(), 10000);
        QCOMPARE(app.process().state(), QProcess::Running);

        QCOMPARE(tamberk({QStringLiteral("--quit")}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(app.process().state() == QProcess::NotRunning, 20000);
        QCOMPARE(app.process().exitCode(), 0);
        const Run gone = tamberk({QStringLiteral("--toggle")});
        QCOMPARE(gone.code, 1);
        QVERIFY2(gone.err.contains("Tamberk is not running."), gone.err.constData());
    }
};

TAMBERK_TEST(tst_AppShell)
#include "tst_AppShell.moc"
