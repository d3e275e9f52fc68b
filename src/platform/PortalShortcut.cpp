#include "platform/PortalShortcut.h"

#include "platform/Log.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QRegularExpression>

namespace {

constexpr char kRequest[] = "org.freedesktop.portal.Request";
constexpr char kSession[] = "org.freedesktop.portal.Session";
constexpr int kProbeTimeoutMs = 3000;

// One entry of the portal's a(sa{sv}) shortcut lists.
struct PortalEntry {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& arg, const PortalEntry& entry) {
    arg.beginStructure();
    arg << entry.id << entry.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, PortalEntry& entry) {
    arg.beginStructure();
    arg >> entry.id >> entry.properties;
    arg.endStructure();
    return arg;
}

} // namespace

Q_DECLARE_METATYPE(PortalEntry)

namespace {

void registerTypes() {
    static const bool done = [] {
        qDBusRegisterMetaType<PortalEntry>();
        qDBusRegisterMetaType<QList<PortalEntry>>();
        return true;
    }();
    Q_UNUSED(done);
}

QDBusMessage versionQuery() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        PortalShortcut::service, PortalShortcut::path,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QString::fromLatin1(PortalShortcut::interface) << QStringLiteral("version");
    return get;
}

uint versionFrom(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return 0;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt();
}

} // namespace

PortalShortcut::PortalShortcut(GlobalShortcut* fallback, const QDBusConnection& bus,
                               QObject* parent)
    : GlobalShortcut(Elsewhere{}, parent)
    , m_fallback(fallback)
    , m_bus(bus) {
    registerTypes();
}

PortalShortcut::~PortalShortcut() {
    closeSession();
}

bool PortalShortcut::waylandSession() {
    return qgetenv("XDG_SESSION_TYPE") == "wayland" || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

QString PortalShortcut::trigger(const QString& keys) {
    const auto combo = parseKeyCombo(keys);
    if (!combo)
        return {};
    QStringList parts;
    // The shortcuts standard's modifier names, in the order desktops write them.
    if (combo->modifiers & Qt::ShiftModifier)
        parts << QStringLiteral("SHIFT");
    if (combo->modifiers & Qt::ControlModifier)
        parts << QStringLiteral("CTRL");
    if (combo->modifiers & Qt::AltModifier)
        parts << QStringLiteral("ALT");
    if (combo->modifiers & Qt::MetaModifier)
        parts << QStringLiteral("LOGO");
    // The key is an xkbcommon keysym name: letters lower case, "space".
    const QString key = keys.section(QLatin1Char('+'), -1).trimmed();
    parts << key.toLower();
    return parts.join(QLatin1Char('+'));
}

quint32 PortalShortcut::tokenTime(const QString& token) {
    static const QRegularExpression time(QStringLiteral("_TIME([0-9]+)$"));
    const QRegularExpressionMatch m = time.match(token);
    if (!m.hasMatch())
        return 0;
    bool ok = false;
    const qulonglong value = m.captured(1).toULongLong(&ok);
    return ok && value <= 0xFFFFFFFFull ? quint32(value) : 0;
}

uint PortalShortcut::portalVersion(const QDBusConnection& bus) {
    if (!bus.isConnected())
        return 0;
    return versionFrom(bus.call(versionQuery(), QDBus::Block, kProbeTimeoutMs));
}

GlobalShortcut::Status PortalShortcut::grab(const QString& keys) {
    m_wanted = keys;
    setKeys(keys);
    switch (m_backend) {
    case Backend::unknown:
        probe();
        break;
    case Backend::x11:
        if (m_fallback)
            setStatus(m_fallback->grab(keys));
        break;
    case Backend::portal:
        // A session still being created binds what is wanted once it exists.
        if (m_step != Step::createSession) {
            closeSession();
            createSession();
        }
        break;
    }
    return status();
}

void PortalShortcut::ungrab() {
    m_wanted.clear();
    setKeys({});
    if (m_backend == Backend::x11 && m_fallback)
        m_fallback->ungrab();
    if (m_step != Step::createSession)
        closeSession();
    setTrigger({});
    setStatus(Status::none);
}

void PortalShortcut::probe() {
    if (m_probing)
        return;
    if (!m_bus.isConnected()) {
        probed(0);
        return;
    }
    m_probing = true;
    auto* watcher =
        new QDBusPendingCallWatcher(m_bus.asyncCall(versionQuery(), kProbeTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        m_probing = false;
        probed(versionFrom(w->reply()));
    });
}

void PortalShortcut::probed(uint version) {
    if (version == 0) {
        logFailure("shortcut portal",
                   QStringLiteral("the desktop offers no GlobalShortcuts portal; grabbing the "
                                  "keys on X11, which sees them only while Tamberk has focus"));
        useFallback();
        return;
    }
    m_version = version;
    m_backend = Backend::portal;
    // Signals are matched by path and interface, not by the portal's name:
    // QtDBus drops a named sender's signals until it has looked the name up.
    // The session handle in each says whether it is ours.
    m_bus.connect({}, path, interface, QStringLiteral("Activated"), this,
                  SLOT(onActivated(QDBusMessage)));
    m_bus.connect({}, path, interface, QStringLiteral("ShortcutsChanged"), this,
                  SLOT(onShortcutsChanged(QDBusMessage)));
    emit descriptionChanged();
    if (!m_wanted.isEmpty())
        createSession();
}

void PortalShortcut::useFallback() {
    m_backend = Backend::x11;
    emit descriptionChanged();
    if (!m_fallback) {
        setStatus(Status::unsupported);
        return;
    }
    connect(m_fallback, &GlobalShortcut::activated, this, &GlobalShortcut::activated);
    connect(m_fallback, &GlobalShortcut::statusChanged, this, &PortalShortcut::setStatus);
    if (!m_wanted.isEmpty())
        setStatus(m_fallback->grab(m_wanted));
}

void PortalShortcut::createSession() {
    request(Step::createSession, QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"),
              QStringLiteral("tamberk_session%1").arg(++m_tokens)}});
}

void PortalShortcut::bind() {
    const QVariantMap properties{
        {QStringLiteral("description"), QStringLiteral("Open or close Tamberk")},
        {QStringLiteral("preferred_trigger"), trigger(m_wanted)},
    };
    const QList<PortalEntry> shortcuts{{QString::fromLatin1(shortcutId), properties}};
    request(Step::bind, QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts),
             QString()},
            {});
}

void PortalShortcut::closeSession() {
    if (m_session.isEmpty())
        return;
    m_bus.asyncCall(
        QDBusMessage::createMethodCall(service, m_session, kSession, QStringLiteral("Close")));
    m_session.clear();
    if (m_step == Step::bind)
        m_step = Step::none;
}

void PortalShortcut::request(Step step, const QString& method, QList<QVariant> args,
                             QVariantMap options) {
    if (!m_requestPath.isEmpty())
        m_bus.disconnect({}, m_requestPath, kRequest, QStringLiteral("Response"), this,
                         SLOT(onResponse(uint, QVariantMap)));
    // The request object's path is known before the call, so the answer
    // cannot come before we listen for it.
    const QString token = QStringLiteral("tamberk%1").arg(++m_tokens);
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    m_requestPath =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    m_bus.connect({}, m_requestPath, kRequest, QStringLiteral("Response"), this,
                  SLOT(onResponse(uint, QVariantMap)));
    m_step = step;
    options.insert(QStringLiteral("handle_token"), token);
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    args.append(options);
    call.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, method, step](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                if (!w->isError() || m_step != step)
                    return;
                logFailure("shortcut portal", method + QStringLiteral(": ") + w->error().message());
                m_step = Step::none;
                setStatus(Status::none);
            });
}

void PortalShortcut::onResponse(uint response, const QVariantMap& results) {
    const Step step = m_step;
    m_step = Step::none;
    if (response != 0) {
        // 1: the user dismissed the desktop's dialog; 2: anything else.
        logFailure("shortcut portal",
                   QStringLiteral("the desktop did not %1 (response %2)")
                       .arg(step == Step::bind ? QStringLiteral("bind the shortcut")
                                               : QStringLiteral("create a session"))
                       .arg(response));
        setStatus(Status::none);
        return;
    }
    if (step == Step::createSession) {
        m_session = results.value(QStringLiteral("session_handle")).toString();
        if (m_session.isEmpty())
            m_session =
                results.value(QStringLiteral("session_handle")).value<QDBusObjectPath>().path();
        if (m_wanted.isEmpty())
            closeSession(); // "None" was chosen meanwhile
        else
            bind();
    } else if (step == Step::bind) {
        takeShortcuts(results.value(QStringLiteral("shortcuts")));
        setStatus(Status::grabbed);
    }
}

void PortalShortcut::onActivated(const QDBusMessage& message) {
    // (o session_handle, s shortcut_id, t timestamp, a{sv} options)
    const QList<QVariant> args = message.arguments();
    if (args.size() < 4 || args[0].value<QDBusObjectPath>().path() != m_session ||
        args[1].toString() != QLatin1String(shortcutId))
        return;
    const QVariantMap options = qdbus_cast<QVariantMap>(args[3]);
    // The portal's own timestamp is not an X time; a startup id's is.
    emit activated(tokenTime(options.value(QStringLiteral("activation_token")).toString()));
}

void PortalShortcut::onShortcutsChanged(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || args[0].value<QDBusObjectPath>().path() != m_session)
        return;
    takeShortcuts(args[1]);
}

void PortalShortcut::takeShortcuts(const QVariant& shortcuts) {
    if (!shortcuts.canConvert<QDBusArgument>())
        return;
    QList<PortalEntry> entries;
    shortcuts.value<QDBusArgument>() >> entries;
    for (const PortalEntry& entry : entries) {
        if (entry.id == QLatin1String(shortcutId))
            setTrigger(entry.properties.value(QStringLiteral("trigger_description")).toString());
    }
}

void PortalShortcut::setTrigger(const QString& trigger) {
    if (trigger == m_trigger)
        return;
    m_trigger = trigger;
    emit descriptionChanged();
}

void PortalShortcut::configure(const QString& activationToken) {
    if (!canConfigure() || m_session.isEmpty())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface,
                                                       QStringLiteral("ConfigureShortcuts"));
    QVariantMap options;
    if (!activationToken.isEmpty())
        options.insert(QStringLiteral("activation_token"), activationToken);
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QString() << options;
    m_bus.asyncCall(call);
}
