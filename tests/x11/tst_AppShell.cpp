#include "TestEnv.h"
#include "X11Session.h"
#include "platform/RemoteControl.h"
#include "settings/Prefs.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QHash>
#include <QProcess>
#include <QTest>

namespace {

// The real application, started the way a user's session starts it.
class App {
public:
    App() {
        m_process.setProgram(QStringLiteral(TAMBERK_APP));
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    }
    ~App() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    void start() { m_process.start(); }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};

bool serviceRunning() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QString::fromLatin1(RemoteControl::serviceName));
}

QVariantMap state() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(RemoteControl::serviceName),
        QString::fromLatin1(RemoteControl::objectPath),
        QString::fromLatin1(RemoteControl::interfaceName), QStringLiteral("State"));
    const QDBusReply<QVariantMap> reply = QDBusConnection::sessionBus().call(call);
    return reply.isValid() ? reply.value() : QVariantMap{};
}

bool expanded() {
    return state().value(QStringLiteral("expanded")).toBool();
}

// Runs `tamberk` with `arguments` to its end, keeping the event loop alive.
struct Run {
    int code = -1;
    QByteArray err;
};
Run tamberk(const QStringList& arguments) {
    QProcess p;
    p.start(QStringLiteral(TAMBERK_APP), arguments);
    Run r;
    if (!p.waitForStarted(10000))
        return r;
    while (p.state() != QProcess::NotRunning)
        QTest::qWait(20);
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = p.readAllStandardError();
    return r;
}

// Whether the window of that title is on screen, asked of the X server. The
// window is found by its title once; searching for visible windows each time
// can fail while other windows of the application come and go.
bool mapped(const QString& title) {
    static QHash<QString, QString> ids;
    QString& id = ids[title];
    if (id.isEmpty()) {
        QByteArray out;
        if (!X11Session::run(QStringLiteral("xdotool"),
                             {QStringLiteral("search"), QStringLiteral("--name"),
                              QLatin1Char('^') + title + QLatin1Char('$')},
                             &out))
            return false;
        id = QString::fromLatin1(out).split(QLatin1Char('\n')).value(0).trimmed();
    }
    QByteArray info;
    if (!X11Session::run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id}, &info))
        return false;
    return info.contains("Map State: IsViewable");
}

bool panelMapped() {
    return mapped(QStringLiteral("Tamberk Panel"));
}

// How many of the application's windows are on screen (a popped menu adds one).
int visibleWindows() {
    QByteArray out;
    X11Session::run(QStringLiteral("xdotool"),
                    {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--class"), QStringLiteral("tamberk")},
                    &out);
    return int(out.trimmed().isEmpty() ? 0 : out.trimmed().count('\n') + 1);
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
        App app;
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
        // The tab is back on screen once the window manager has mapped it again.
        QTRY_VERIFY_WITH_TIMEOUT(mapped(QStringLiteral("Tamberk Tab")), 10000);
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
