#include "FakePortal.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// One entry of the portal's a(sa{sv}) shortcut lists.
struct Entry {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& arg, const Entry& entry) {
    arg.beginStructure();
    arg << entry.id << entry.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, Entry& entry) {
    arg.beginStructure();
    arg >> entry.id >> entry.properties;
    arg.endStructure();
    return arg;
}

// The caller's unique name as the portal writes it in object paths.
QString caller(const QDBusMessage& message) {
    return message.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
}

} // namespace

Q_DECLARE_METATYPE(Entry)

FakePortal::FakePortal(const QDBusConnection& bus, uint version)
    : m_bus(bus)
    , m_version(version) {
    qDBusRegisterMetaType<Entry>();
    qDBusRegisterMetaType<QList<Entry>>();
    m_registered = m_bus.registerVirtualObject(kPath, this, QDBusConnection::SubPath) &&
                   m_bus.registerService(kService);
}

FakePortal::~FakePortal() {
    m_bus.unregisterService(kService);
    m_bus.unregisterObject(kPath);
}

QString FakePortal::introspect(const QString&) const {
    return {};
}

bool FakePortal::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
        connection.send(m_version == 0 || args.value(0).toString() != kShortcuts
                            ? message.createErrorReply(QDBusError::UnknownInterface, {})
                            : message.createReply(QVariant::fromValue(QDBusVariant(m_version))));
        return true;
    }
    if (message.interface() == QLatin1String("org.freedesktop.portal.Session")) {
        calls << QStringLiteral("Close ") + message.path();
        return connection.send(message.createReply());
    }
    if (m_version == 0 || message.interface() != kShortcuts)
        return false;
    if (member == QLatin1String("CreateSession")) {
        const QVariantMap options = qdbus_cast<QVariantMap>(args.value(0));
        session =
            kPath + QStringLiteral("/session/%1/%2")
                        .arg(caller(message), options.value("session_handle_token").toString());
        calls << member;
        respond(message, {{QStringLiteral("session_handle"), session}});
    } else if (member == QLatin1String("BindShortcuts")) {
        const QList<Entry> shortcuts = qdbus_cast<QList<Entry>>(args.value(1));
        for (const Entry& e : shortcuts)
            calls << QStringLiteral("BindShortcuts %1 %2 \"%3\"")
                         .arg(e.id, e.properties.value("preferred_trigger").toString(),
                              e.properties.value("description").toString());
        const Entry bound{shortcuts.value(0).id, {{"trigger_description", assigned}}};
        respond(message, {{QStringLiteral("shortcuts"), QVariant::fromValue(QList<Entry>{bound})}});
    } else if (member == QLatin1String("ConfigureShortcuts")) {
        calls << member;
        connection.send(message.createReply());
    } else {
        return false;
    }
    return true;
}

void FakePortal::respond(const QDBusMessage& call, const QVariantMap& results) {
    const QString token =
        qdbus_cast<QVariantMap>(call.arguments().constLast()).value("handle_token").toString();
    const QString request = kPath + QStringLiteral("/request/%1/%2").arg(caller(call), token);
    m_bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    QDBusMessage response = QDBusMessage::createSignal(
        request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
    response << uint(0) << results;
    m_bus.send(response);
}

void FakePortal::activate(const QString& sessionHandle, const QString& id, const QString& token) {
    QDBusMessage signal =
        QDBusMessage::createSignal(kPath, kShortcuts, QStringLiteral("Activated"));
    signal << QVariant::fromValue(QDBusObjectPath(sessionHandle)) << id << qulonglong(1)
           << QVariantMap{{QStringLiteral("activation_token"), token}};
    m_bus.send(signal);
}

void FakePortal::reassign(const QString& description) {
    assigned = description;
    QDBusMessage signal =
        QDBusMessage::createSignal(kPath, kShortcuts, QStringLiteral("ShortcutsChanged"));
    const Entry changed{QStringLiteral("toggle"), {{"trigger_description", description}}};
    signal << QVariant::fromValue(QDBusObjectPath(session))
           << QVariant::fromValue(QList<Entry>{changed});
    m_bus.send(signal);
}
