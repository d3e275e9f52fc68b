#include "FakeTarget.h"
#include "PrivateBus.h"
#include "TestEnv.h"
#include "platform/RemoteControl.h"

#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QTest>
#include <QTextStream>
#include <QtConcurrent>

namespace {

struct Forwarded {
    int code = -1;
    QString message;
};

// Forwards as `tamberk --toggle` does; the client blocks on another thread
// so that the service, on this one, can answer.
Forwarded forward(RemoteCommand command, const QDBusConnection& bus) {
    QFuture<Forwarded> result = QtConcurrent::run([command, bus] {
        QString message;
        QTextStream err(&message);
        const int code = RemoteControl::forward(command, err, bus);
        err.flush();
        return Forwarded{code, message};
    });
    return QTest::qWaitFor([&] { return result.isFinished(); }, 10000) ? result.result()
                                                                       : Forwarded{};
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

    // Each option reaches the instance with the token of its focus request: the
    // startup id, else (--show here) the activation token.
    void commands_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("call");
        QTest::addColumn<bool>("hasText");
        QTest::addColumn<int>("code");
        const auto row = [](const char* option, const char* call, bool hasText, int code) {
            QTest::newRow(QByteArray(option).append(hasText ? "" : " without text").constData())
                << QString(option) << QString(call) << hasText << code;
        };
        row("--toggle", "toggle:launcher-42", true, 0);
        row("--show", "show:wayland-token", true, 0);
        row("--hide", "hide", true, 0);
        row("--quit", "quit", true, 0);
        row("--copy-text", "copyText", true, 0);
        row("--copy-text", "copyText", false, 1);
    }
    void commands() {
        QFETCH(QString, option);
        QFETCH(QString, call);
        QFETCH(bool, hasText);
        QFETCH(int, code);
        FakeTarget target;
        target.hasText = hasText;
        RemoteControl control(target);
        QCOMPARE(control.start(m_server), RemoteControl::Start::registered);
        qputenv("XDG_ACTIVATION_TOKEN", "wayland-token");
        if (option != "--show")
            qputenv("DESKTOP_STARTUP_ID", "launcher-42");
        const auto command = RemoteControl::commandFrom({QStringLiteral("tamberk"), option});
        QVERIFY(command);
        const Forwarded result = forward(*command, m_client);
        qunsetenv("DESKTOP_STARTUP_ID");
        qunsetenv("XDG_ACTIVATION_TOKEN");
        QCOMPARE(result.code, code);
        QCOMPARE(result.message.isEmpty(), code == 0);
        QTRY_COMPARE(target.calls, QStringList{call});
    }

    // Without an instance a command fails; a second one leaves the first working.
    void oneInstance() {
        const Forwarded none = forward(RemoteCommand::toggle, m_client);
        QCOMPARE(none.code, 1);
        QVERIFY(!none.message.isEmpty());
        QVERIFY(!RemoteControl::commandFrom({QStringLiteral("tamberk")}));
        QVERIFY(!RemoteControl::commandFrom({QStringLiteral("tamberk"), QStringLiteral("-x")}));
        FakeTarget first, second;
        RemoteControl one(first);
        QCOMPARE(one.start(m_server), RemoteControl::Start::registered);
        RemoteControl two(second);
        QCOMPARE(two.start(m_client), RemoteControl::Start::alreadyRunning);
        QCOMPARE(forward(RemoteCommand::hide, m_client).code, 0);
        QTRY_COMPARE(first.calls, QStringList{QStringLiteral("hide")});
        QVERIFY(second.calls.isEmpty());
    }

    // Version and State answer with the types a status bar script expects.
    void versionAndState() {
        FakeTarget target;
        RemoteControl control(target);
        QCOMPARE(control.start(m_server), RemoteControl::Start::registered);
        const auto call = [this](const char* method) {
            return m_client.asyncCall(QDBusMessage::createMethodCall(
                RemoteControl::serviceName, RemoteControl::objectPath, RemoteControl::interfaceName,
                method));
        };
        QDBusPendingReply<QString> version = call("Version");
        QDBusPendingReply<QVariantMap> state = call("State");
        QTRY_VERIFY(version.isFinished() && state.isFinished());
        QVERIFY(!version.value().isEmpty());
        QCOMPARE(state.reply().signature(), QStringLiteral("a{sv}"));
        QCOMPARE(state.value().value(QStringLiteral("unseen")).toInt(), 3);
        QCOMPARE(state.value().value(QStringLiteral("expanded")).toBool(), true);
    }

private:
    PrivateBus m_bus;
    QDBusConnection m_server{QString()};
    QDBusConnection m_client{QString()};
};

TAMBERK_TEST(tst_RemoteControl)
#include "tst_RemoteControl.moc"
