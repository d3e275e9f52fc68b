#include "RealApp.h"

#include "X11Session.h"
#include "platform/RemoteControl.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QRegularExpression>
#include <QTest>

namespace {

// The test build's application, or another build named by TAMBERK_TEST_APP:
// heap damage inside Qt's own code shows only in a build without sanitizers.
QString program() {
    return qEnvironmentVariable("TAMBERK_TEST_APP", QStringLiteral(TAMBERK_APP));
}

} // namespace

RealApp::RealApp() {
    m_process.setProgram(program());
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
}

RealApp::~RealApp() {
    if (running()) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool RealApp::started(int timeoutMs) {
    m_process.setProcessEnvironment(env);
    m_process.start();
    return QTest::qWaitFor([] { return realapp::state().contains("scope"); }, timeoutMs);
}

namespace realapp {

QVariantMap state() {
    const QDBusReply<QVariantMap> reply = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(RemoteControl::serviceName, RemoteControl::objectPath,
                                       RemoteControl::interfaceName, "State"),
        QDBus::Block, 10000);
    return reply.isValid() ? reply.value() : QVariantMap{};
}

bool expanded() {
    return state().value("expanded").toBool();
}

Run tamberk(const QStringList& arguments) {
    Run r;
    r.code = X11Session::run(program(), arguments, nullptr, &r.err);
    return r;
}

QRect place(const QString& title, quint32* id) {
    // Each window of that title is asked: an earlier run's may linger unmapped.
    QByteArray ids;
    X11Session::run("xdotool", {"search", "--name", '^' + QRegularExpression::escape(title) + '$'},
                    &ids);
    for (const QByteArray& window : ids.trimmed().split('\n')) {
        bool viewable = false;
        const QRect at = X11Session::instance().geometry(window.toUInt(), &viewable);
        if (viewable && id)
            *id = window.toUInt();
        if (viewable)
            return at;
    }
    return {};
}

} // namespace realapp
