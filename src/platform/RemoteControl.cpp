#include "platform/RemoteControl.h"

#include "platform/RemoteControlAdaptor.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QTextStream>
#include <QTimer>

#ifndef TAMBERK_VERSION
#define TAMBERK_VERSION "0"
#endif

QString RemoteControl::Adaptor::Version() const {
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral(TAMBERK_VERSION) : version;
}

void RemoteControl::Adaptor::Quit() {
    // The reply goes out when this returns; quitting first would leave the
    // caller without an answer.
    QTimer::singleShot(0, this, [this] { m_target.quit(); });
}

bool RemoteControl::Adaptor::CopyText() {
    setDelayedReply(true);
    m_target.copyText([bus = connection(), call = message()](bool copied) {
        bus.send(call.createReply(copied));
    });
    return false; // not sent: the reply above is
}

RemoteControl::RemoteControl(RemoteTarget& target, QObject* parent)
    : QObject(parent)
    , m_adaptor(new Adaptor(target, this))
    , m_bus(QString()) {}

RemoteControl::~RemoteControl() {
    if (m_registered) {
        m_bus.unregisterService(QLatin1String(serviceName));
        m_bus.unregisterObject(QLatin1String(objectPath));
    }
}

RemoteControl::Start RemoteControl::start(const QDBusConnection& bus) {
    if (m_registered)
        return Start::registered;
    if (!bus.isConnected()) {
        logFailure("remote control", bus.lastError().message());
        return Start::failed;
    }
    m_bus = bus;
    if (!m_bus.registerObject(QLatin1String(objectPath), m_adaptor,
                              QDBusConnection::ExportAllSlots)) {
        logFailure("remote control", QStringLiteral("the object path is taken"));
        return Start::failed;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        m_bus.interface()->registerService(QLatin1String(serviceName));
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_registered = true;
        return Start::registered;
    }
    m_bus.unregisterObject(QLatin1String(objectPath));
    if (reply.isValid())
        return Start::alreadyRunning;
    logFailure("remote control", reply.error().message());
    return Start::failed;
}

std::optional<RemoteCommand> RemoteControl::commandFrom(const QStringList& arguments) {
    if (arguments.size() < 2)
        return std::nullopt;
    const QString& option = arguments[1];
    if (option == QLatin1String("--toggle"))
        return RemoteCommand::toggle;
    if (option == QLatin1String("--show"))
        return RemoteCommand::show;
    if (option == QLatin1String("--hide"))
        return RemoteCommand::hide;
    if (option == QLatin1String("--quit"))
        return RemoteCommand::quit;
    if (option == QLatin1String("--copy-text"))
        return RemoteCommand::copyText;
    return std::nullopt;
}

QString RemoteControl::activationToken() {
    const QString startupId = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    return startupId.isEmpty() ? qEnvironmentVariable("XDG_ACTIVATION_TOKEN") : startupId;
}

int RemoteControl::forward(RemoteCommand command, QTextStream& err, const QDBusConnection& bus) {
    if (!bus.isConnected()) {
        err << "Tamberk: no session bus (" << bus.lastError().message() << ").\n";
        return 1;
    }
    static const char* const methods[] = {"Toggle", "Show", "Hide", "Quit", "CopyText"};
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(serviceName), QLatin1String(objectPath), QLatin1String(interfaceName),
        QLatin1String(methods[static_cast<int>(command)]));
    if (command == RemoteCommand::toggle || command == RemoteCommand::show)
        call << activationToken();
    // No bus activation: a command must not start a second copy.
    call.setAutoStartService(false);
    // Copying may wait for the newest screenshot to be read.
    const int timeout = command == RemoteCommand::copyText ? 120000 : -1;
    const QDBusMessage reply = bus.call(call, QDBus::Block, timeout);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        if (command == RemoteCommand::copyText && !reply.arguments().value(0).toBool()) {
            err << "Tamberk found no text in the newest screenshot.\n";
            return 1;
        }
        return 0;
    }
    const QString error = reply.errorName();
    if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        err << "Tamberk is not running.\n";
        return 1;
    }
    err << "Tamberk did not take the command: " << reply.errorMessage() << "\n";
    return 1;
}
