#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>

/// A session-type D-Bus daemon of the test's own, so bus tests neither need
/// nor touch the user's session bus. The daemon ends with this object.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    /// Whether the daemon runs and printed its address.
    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    /// A new connection to the bus under `name` (one name, one connection:
    /// a "server" and a "client" connection act as two processes would).
    QDBusConnection connect(const QString& name);

private:
    QProcess m_daemon;
    QString m_address;
    QStringList m_names;
};
