#include "FakePortal.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace {

constexpr char kService[] = "org.freedesktop.portal.Desktop";
constexpr char kPath[] = "/org/freedesktop/portal/desktop";
constexpr char kShortcuts[] = "org.freedesktop.portal.GlobalShortcuts";

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

} // namespace

Q_DECLARE_METATYPE(Entry)

FakePortal::FakePortal(const QDBusConnection& bus, uint version)
    : m_bus(bus)
    , m_version(version) {
    qDBusRegisterMetaType<Entry>();
    qDBusRegisterMetaType<QList<Entry>>();
    m_registered =
        m_bus.registerVirtualObject(QString::fromLatin1(kPath), this, QDBusConnection::SubPath) &&
        m_bus.registerService(QString::fromLatin1(kService));
}

FakePortal::~FakePortal() {
    m_bus.unregisterService(QString::fromLatin1(kService));
    m_bus.unregisterObject(QString::fromLatin1(kPath));
}

QString FakePortal::introspect(const QString&) const {
    return {};
}

bool FakePortal::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
        if (m_version == 0 || args.value(0).toString() != QLatin1String(kShortcuts)) {
            connection.send(message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
                QStringLiteral("no")));
            return true;
        }
        connection.send(message.createReply(QVariant::fromValue(QDBusVariant(m_version))));
        return true;
    }
    if (message.interface() == QLatin1String("org.freedesktop.portal.Session") &&
        member == QLatin1String("Close")) {
        calls << QStringLiteral("Close ") + message.path();
        connection.send(message.createReply());
        return true;
    }
    if (m_version == 0 || message.interface() != QLatin1String(kShortcuts))
        return false;
    if (member == QLatin1String("CreateSession")) {
        const QVariantMap options = qdbus_cast<QVariantMap>(args.value(0));
        session = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                      .arg(message.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_')),
                           options.value(QStringLiteral("session_handle_token")).toString());
        calls << QStringLiteral("CreateSession");
        respond(message, {{QStringLiteral("session_handle"), session}});
        return true;
    }
    if (member == QLatin1String("BindShortcuts")) {
        const QList<Entry> shortcuts = qdbus_cast<QList<Entry>>(args.value(1));
        for (const Entry& e : shortcuts)
            calls << QStringLiteral("BindShortcuts %1 %2 \"%3\"")
                         .arg(e.id,
                              e.properties.value(QStringLiteral("preferred_trigger")).toString(),
                              e.properties.value(QStringLiteral("description")).toString());
        const QString id = shortcuts.isEmpty() ? QString() : shortcuts.constFirst().id;
        respond(message, {{QStringLiteral("shortcuts"),
                           QVariant::fromValue(QList<Entry>{
                               {id,
                                {{QStringLiteral("description"), QStringLiteral("x")},
                                 {QStringLiteral("trigger_description"), assigned}}}})}});
        return true;
    }
    if (member == QLatin1String("ConfigureShortcuts")) {
        calls << QStringLiteral("ConfigureShortcuts");
        connection.send(message.createReply());
        return true;
    }
    return false;
}

void FakePortal::respond(const QDBusMessage& call, const QVariantMap& results) {
    const QVariantMap options = qdbus_cast<QVariantMap>(call.arguments().constLast());
    const QString request =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
            .arg(call.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_')),
                 options.value(QStringLiteral("handle_token")).toString());
    m_bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    QDBusMessage response = QDBusMessage::createSignal(
        request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
    response << uint(0) << results;
    m_bus.send(response);
}

void FakePortal::activate(const QString& sessionHandle, const QString& id, const QString& token) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kPath), QString::fromLatin1(kShortcuts), QStringLiteral("Activated"));
    signal << QVariant::fromValue(QDBusObjectPath(sessionHandle)) << id << qulonglong(1)
           << QVariantMap{{QStringLiteral("activation_token"), token}};
    m_bus.send(signal);
}

void FakePortal::reassign(const QString& description) {
    assigned = description;
    QDBusMessage signal =
        QDBusMessage::createSignal(QString::fromLatin1(kPath), QString::fromLatin1(kShortcuts),
                                   QStringLiteral("ShortcutsChanged"));
    signal << QVariant::fromValue(QDBusObjectPath(session))
           << QVariant::fromValue(
                  QList<Entry>{{QStringLiteral("toggle"),
                                {{QStringLiteral("trigger_description"), description}}}});
    m_bus.send(signal);
}
