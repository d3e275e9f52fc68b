#include "RealApp.h"

#include "X11Session.h"
#include "platform/RemoteControl.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QRegularExpression>
#include <QTest>

namespace {

// The test build's application, or another build of it named by
// TAMBERK_TEST_APP: heap damage inside Qt's own (uninstrumented) code shows
// only in a build without the sanitizers.
QString program() {
    const QString other = qEnvironmentVariable("TAMBERK_TEST_APP");
    return other.isEmpty() ? QStringLiteral(TAMBERK_APP) : other;
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

void RealApp::prependPath(const QString& dir) {
    const QString path = m_process.processEnvironment().isEmpty()
                             ? qEnvironmentVariable("PATH")
                             : m_process.processEnvironment().value(QStringLiteral("PATH"));
    setEnv(QStringLiteral("PATH"), dir + QLatin1Char(':') + path);
}

void RealApp::setEnv(const QString& name, const QString& value) {
    QProcessEnvironment env = m_process.processEnvironment();
    if (env.isEmpty())
        env = QProcessEnvironment::systemEnvironment();
    env.insert(name, value);
    m_process.setProcessEnvironment(env);
}

void RealApp::start(const QStringList& arguments) {
    m_process.setArguments(arguments);
    m_process.start();
}

namespace realapp {

bool serviceRunning() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QString::fromLatin1(RemoteControl::serviceName));
}

QVariantMap state() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(RemoteControl::serviceName),
        QString::fromLatin1(RemoteControl::objectPath),
        QString::fromLatin1(RemoteControl::interfaceName), QStringLiteral("State"));
    const QDBusReply<QVariantMap> reply =
        QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
    return reply.isValid() ? reply.value() : QVariantMap{};
}

bool expanded() {
    return state().value(QStringLiteral("expanded")).toBool();
}

Run tamberk(const QStringList& arguments) {
    QProcess p;
    p.start(program(), arguments);
    Run r;
    if (!p.waitForStarted(10000))
        return r;
    while (p.state() != QProcess::NotRunning)
        QTest::qWait(20);
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = p.readAllStandardError();
    return r;
}

bool panelMapped() {
    return mapped(QStringLiteral("Tamberk Panel"));
}

bool mapped(const QString& title) {
    // Asked of each window of that title: an earlier run's window is gone,
    // and a search for visible windows alone can miss one while others of
    // the application come and go.
    QByteArray out;
    if (!X11Session::run(QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--name"),
                          QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')},
                         &out))
        return false;
    for (const QByteArray& id : out.trimmed().split('\n')) {
        QByteArray info;
        if (X11Session::run(QStringLiteral("xwininfo"),
                            {QStringLiteral("-id"), QString::fromLatin1(id)}, &info) &&
            info.contains("Map State: IsViewable"))
            return true;
    }
    return false;
}

int visibleWindows() {
    QByteArray out;
    X11Session::run(QStringLiteral("xdotool"),
                    {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--class"), QStringLiteral("tamberk")},
                    &out);
    return int(out.trimmed().isEmpty() ? 0 : out.trimmed().count('\n') + 1);
}

bool windowShown(const QString& title) {
    return X11Session::run(
        QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
         QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')});
}

bool keys(const QStringList& names) {
    return X11Session::xdotool(
        QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("80")} +
        names);
}

} // namespace realapp
