#include "FakePortal.h"
#include "RealApp.h"
#include "TestEnv.h"
#include "X11Session.h"
#include "content/TextIndex.h"
#include "settings/Prefs.h"

#include <QDBusConnection>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace realapp;

namespace {

// A folder of `names` real-size screenshots with lines of text: a few
// pictures, each linked under many names. False when it could not be made.
bool fillWithScreenshots(const QString& dir, int pictures, int names) {
    for (int i = 0; i < pictures; ++i) {
        QImage image(1920, 1080, QImage::Format_RGB32);
        image.fill(QColor(230, 232, 236));
        QPainter p(&image);
        p.setFont(QFont(QStringLiteral("DejaVu Sans"), 14));
        for (int line = 0; line < 40; ++line)
            p.drawText(80, 40 + line * 25,
                       QStringLiteral("Picture %1, line %2: quarterly figures").arg(i).arg(line));
        p.end();
        if (!image.save(dir + QStringLiteral("/picture%1.png").arg(i)))
            return false;
    }
    for (int n = 0; n < names; ++n) {
        const QByteArray from =
            QFile::encodeName(dir + QStringLiteral("/picture%1.png").arg(n % pictures));
        const QByteArray to = QFile::encodeName(dir + QStringLiteral("/Screenshot %1.png").arg(n));
        if (::link(from.constData(), to.constData()) != 0)
            return false;
    }
    return true;
}

} // namespace

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
        QVERIFY(QTest::qWaitFor([] { return panelMapped(); }, 10000));
        QVERIFY(X11Session::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+s")}));
        QTRY_VERIFY_WITH_TIMEOUT(!expanded(), 10000);
        QVERIFY(QTest::qWaitFor([] { return !panelMapped(); }, 10000));

        // Without a tray, the tab's right-click opens the menu; its first
        // row opens the panel.
        // The tab is back on screen once the window manager has mapped it again.
        QVERIFY(QTest::qWaitFor([] { return mapped(QStringLiteral("Tamberk Tab")); }, 10000));
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

    // In a Wayland session the desktop's portal binds the shortcut with the
    // preset as preferred trigger; its activation toggles the panel, which
    // takes the keyboard, and tamberk-cli says the portal is in use.
    void shortcutThroughThePortal() {
        TestEnv env;
        Prefs::shared().set(Key::launched, true);
        FakePortal portal(QDBusConnection::sessionBus(), 2);
        QVERIFY(portal.registered());
        RealApp app;
        app.setEnv(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        app.setEnv(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        app.start();
        QTRY_COMPARE_WITH_TIMEOUT(state().value(QStringLiteral("shortcut")).toString(),
                                  QStringLiteral("portal"), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(
            portal.calls.value(1),
            QStringLiteral("BindShortcuts toggle CTRL+ALT+s \"Open or close Tamberk\""), 10000);

        portal.activate(portal.session, QStringLiteral("toggle"), QStringLiteral("x_TIME0"));
        QTRY_VERIFY_WITH_TIMEOUT(expanded(), 10000);
        QByteArray panel;
        QVERIFY(X11Session::run(
            QStringLiteral("xdotool"),
            {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^Tamberk Panel$")},
            &panel));
        const X11Session& x = X11Session::instance();
        QTRY_COMPARE_WITH_TIMEOUT(x.property32(x.root(), "_NET_ACTIVE_WINDOW").value(0),
                                  panel.trimmed().toUInt(), 10000);

        QProcess cli;
        cli.start(QStringLiteral(TAMBERK_CLI), {QStringLiteral("system")});
        QVERIFY(QTest::qWaitFor([&] { return cli.state() == QProcess::NotRunning; }, 20000));
        QVERIFY(cli.readAllStandardOutput().contains("shortcut: portal\n"));

        portal.activate(portal.session, QStringLiteral("toggle"), {});
        QTRY_VERIFY_WITH_TIMEOUT(!expanded(), 10000);
    }

    // Quitting while the roll's thumbnails decode and text is recognised ends
    // the process normally every time, the text index whole or not written.
    void quitUnderLoad() {
        TestEnv env;
        QTemporaryDir shots;
        QVERIFY(fillWithScreenshots(shots.path(), 6, 240));
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(Key::folder, shots.path());
        Prefs::shared().set(Key::scope, QStringLiteral("all"));
        Prefs::shared().set(Key::ocr, true);
        Prefs::shared().set(Key::syncSystem, false);
        for (int run = 0; run < 3; ++run) {
            RealApp app;
            app.start();
            QTRY_VERIFY_WITH_TIMEOUT(serviceRunning(), 20000);
            QTRY_VERIFY_WITH_TIMEOUT(state().value(QStringLiteral("shown")).toInt() > 200, 20000);
            QCOMPARE(tamberk({QStringLiteral("--show")}).code, 0);
            // The start-up's own decoding and reading make this slow under the sanitizers.
            QTRY_VERIFY_WITH_TIMEOUT(expanded(), 20000);
            QVERIFY(QTest::qWaitFor([] { return panelMapped(); }, 20000));
            // To the end of the roll and back: every cell passed asks for its image.
            QVERIFY(X11Session::xdotool({"key", "End", "Home", "End"}));
            QCOMPARE(tamberk({QStringLiteral("--quit")}).code, 0);
            QTRY_VERIFY_WITH_TIMEOUT(app.process().state() == QProcess::NotRunning, 30000);
            QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
            QCOMPARE(app.process().exitCode(), 0);
            QFile index(TextIndex::defaultFile());
            if (index.open(QIODevice::ReadOnly))
                QVERIFY(TextIndex::decode(index.readAll()).has_value());
        }
    }
};

TAMBERK_TEST(tst_AppShell)
#include "tst_AppShell.moc"
