#include "PrivateBus.h"

PrivateBus::PrivateBus() {
    m_daemon.setProgram(QStringLiteral("dbus-daemon"));
    m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--nosyslog"), QStringLiteral("--print-address=1")});
    // It complains about fd limits it may not raise; nothing a test needs.
    m_daemon.setStandardErrorFile(QProcess::nullDevice());
    m_daemon.start();
    if (!m_daemon.waitForStarted())
        return;
    // The daemon prints its address once it listens.
    while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
    for (const QString& name : m_names)
        QDBusConnection::disconnectFromBus(name);
    m_daemon.terminate();
    m_daemon.waitForFinished();
}

QDBusConnection PrivateBus::connect(const QString& name) {
    m_names.append(name);
    return QDBusConnection::connectToBus(m_address, name);
}
