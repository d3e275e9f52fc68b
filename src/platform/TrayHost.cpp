#include "platform/TrayHost.h"

#include "platform/SelectionWatch.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

TrayHost::TrayHost(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus) {}

TrayHost::~TrayHost() = default;

void TrayHost::start() {
    if (m_started)
        return;
    m_started = true;
    // An XEmbed tray counts only once the bus has answered that it has no
    // host: a StatusNotifierItem is the better icon where both exist.
    m_xembed = new SelectionWatch(SelectionWatch::onScreen("_NET_SYSTEM_TRAY_S"), this);
    connect(m_xembed, &SelectionWatch::ownerChanged, this, [this] {
        if (m_answered && m_xembed->hasOwner())
            found(Kind::xembed);
    });
    if (!m_bus.isConnected()) {
        answered();
        return;
    }
    // A watcher that starts later, or restarts, is asked again.
    m_watcher = new QDBusServiceWatcher(QLatin1String(watcherService), m_bus,
                                        QDBusServiceWatcher::WatchForRegistration, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, &TrayHost::ask);
    // Any sender: the watcher's unique name is not known before it appears.
    m_bus.connect(QString(), QLatin1String(watcherPath), QLatin1String(watcherInterface),
                  QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(hostRegistered()));
    ask();
}

void TrayHost::ask() {
    if (isAvailable())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(watcherService), QLatin1String(watcherPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << QLatin1String(watcherInterface) << QStringLiteral("IsStatusNotifierHostRegistered");
    // Asking must not start a watcher through bus activation.
    call.setAutoStartService(false);
    auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* watcher) {
                watcher->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *watcher;
                if (!reply.isError() && reply.value().variant().toBool())
                    hostRegistered();
                else
                    answered();
            });
}

void TrayHost::hostRegistered() {
    found(Kind::statusNotifier);
}

void TrayHost::answered() {
    m_answered = true;
    if (m_xembed && m_xembed->hasOwner())
        found(Kind::xembed);
}

void TrayHost::found(Kind kind) {
    if (isAvailable())
        return;
    m_kind = kind;
    emit available();
}
