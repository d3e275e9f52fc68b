#include "platform/TrayHost.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

TrayHost::TrayHost(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus) {}

void TrayHost::start() {
    if (m_started || !m_bus.isConnected())
        return;
    m_started = true;
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
    if (m_available)
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
            });
}

void TrayHost::hostRegistered() {
    if (m_available)
        return;
    m_available = true;
    emit available();
}
