#include "FakeTarget.h"
#include "PrivateBus.h"
#include "TestEnv.h"
#include "platform/RemoteControl.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QtConcurrent>

namespace {

struct Forwarded {
    int code;
    QString message;
};

// The client blocks on its call as `tamberk --toggle` does; it runs on another
// thread so that the service, on this one, can answer.
QFuture<Forwarded> forwardAsync(RemoteCommand command, const QDBusConnection& bus) {
    return QtConcurrent::run([command, bus] {
        QString message;
        QTextStream err(&message);
        const int code = RemoteControl::forward(command, err, bus);
        err.flush();
        return Forwarded{code, message};
    });
}

} // namespace

class tst_RemoteControl : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (!m_bus.isRunning())
            QFAIL("dbus-daemon did not start");
        m_server = m_bus.connect(QStringLiteral("server"));
        m_client = m_bus.connect(QStringLiteral("client"));
        QVERIFY(m_server.isConnected() && m_client.isConnected());
    }

    void commands_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("call");
        QTest::newRow("toggle") << "--toggle"
                                << "toggle:launcher-42";
        QTest::newRow("show") << "--show"
                              << "show:launcher-42";
        QTest::newRow("hide") << "--hide"
                              << "hide";
        QTest::newRow("quit") << "--quit"
                              << "quit";
        QTest::newRow("copy text") << "--copy-text"
                                   << "copyText";
    }
    // Each command line option reaches the running instance as its method,
    // with the launcher's startup id for the focus request, and reports 0.
    void commands() {
        QFETCH(QString, option);
        QFETCH(QString, call);
        FakeTarget target;
        RemoteControl control(target);
        QCOMPARE(control.start(m_server), RemoteControl::Start::registered);
        qputenv("DESKTOP_STARTUP_ID", "launcher-42");
        const auto command = RemoteControl::commandFrom({QStringLiteral("tamberk"), option});
        QVERIFY(command);
        QFuture<Forwarded> result = forwardAsync(*command, m_client);
        QTRY_VERIFY(result.isFinished());
        qunsetenv("DESKTOP_STARTUP_ID");
        QCOMPARE(result.result().code, 0);
        QTRY_COMPARE(target.calls, QStringList{call});
    }

    // --copy-text with no text to copy fails with a message once the
    // instance has answered.
    void copyTextWithoutText() {
        FakeTarget target;
        target.hasText = false;
        RemoteControl control(target);
        QCOMPARE(control.start(m_server), RemoteControl::Start::registered);
        QFuture<Forwarded> result = forwardAsync(RemoteCommand::copyText, m_client);
        QTRY_VERIFY(result.isFinished());
        QCOMPARE(result.result().code, 1);
        QCOMPARE(result.result().message,
                 QStringLiteral("Tamberk found no text in the newest screenshot.\n"));
    }

    // Without a running instance the command fails with a message instead of
    // starting anything.
    void noInstance() {
        QFuture<Forwarded> result = forwardAsync(RemoteCommand::toggle, m_client);
        QTRY_VERIFY(result.isFinished());
        QCOMPARE(result.result().code, 1);
        QCOMPARE(result.result().message, QStringLiteral("Tamberk is not running.\n"));
        QVERIFY(!RemoteControl::commandFrom({QStringLiteral("tamberk")}));
        QVERIFY(!RemoteControl::commandFrom({QStringLiteral("tamberk"), QStringLiteral("-x")}));
    }

    // A second instance finds the name taken and leaves the first one working.
    void secondInstance() {
        FakeTarget first, second;
        RemoteControl one(first);
        QCOMPARE(one.start(m_server), RemoteControl::Start::registered);
        RemoteControl two(second);
        QCOMPARE(two.start(m_client), RemoteControl::Start::alreadyRunning);
        QFuture<Forwarded> result = forwardAsync(RemoteCommand::hide, m_client);
        QTRY_VERIFY(result.isFinished());
        QCOMPARE(result.result().code, 0);
        QTRY_COMPARE(first.calls, QStringList{QStringLiteral("hide")});
        QVERIFY(second.calls.isEmpty());
    }

    // Version and State answer with the types a status bar script expects.
    void versionAndState() {
        FakeTarget target;
        RemoteControl control(target);
        QCOMPARE(control.start(m_server), RemoteControl::Start::registered);
        auto call = [this](const char* method) {
            return QtConcurrent::run([this, method] {
                return m_client.call(QDBusMessage::createMethodCall(
                    QLatin1String(RemoteControl::serviceName),
                    QLatin1String(RemoteControl::objectPath),
                    QLatin1String(RemoteControl::interfaceName), QLatin1String(method)));
            });
        };
        QFuture<QDBusMessage> version = call("Version");
        QFuture<QDBusMessage> state = call("State");
        QTRY_VERIFY(version.isFinished() && state.isFinished());
        QCOMPARE(version.result().signature(), QStringLiteral("s"));
        QVERIFY(!version.result().arguments().value(0).toString().isEmpty());
        QCOMPARE(state.result().signature(), QStringLiteral("a{sv}"));
        const QDBusReply<QVariantMap> reply(state.result());
        QCOMPARE(reply.value().value(QStringLiteral("unseen")).toInt(), 3);
        QCOMPARE(reply.value().value(QStringLiteral("expanded")).toBool(), true);
    }

    // The startup id wins over the activation token; either may be missing.
    void activationToken() {
        qputenv("XDG_ACTIVATION_TOKEN", "wayland-token");
        QCOMPARE(RemoteControl::activationToken(), QStringLiteral("wayland-token"));
        qputenv("DESKTOP_STARTUP_ID", "x11-id");
        QCOMPARE(RemoteControl::activationToken(), QStringLiteral("x11-id"));
        qunsetenv("DESKTOP_STARTUP_ID");
        qunsetenv("XDG_ACTIVATION_TOKEN");
        QVERIFY(RemoteControl::activationToken().isEmpty());
    }

private:
    PrivateBus m_bus;
    QDBusConnection m_server{QString()};
    QDBusConnection m_client{QString()};
};

TAMBERK_TEST(tst_RemoteControl)
#include "tst_RemoteControl.moc"
