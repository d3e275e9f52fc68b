#include "PrivateBus.h"

#include <csignal>
#include <sys/prctl.h>

PrivateBus::PrivateBus() {
    // The daemon must not outlive a test run that crashes; it complains of
    // fd limits it may not raise, nothing a test needs.
    m_daemon.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_daemon.setStandardErrorFile(QProcess::nullDevice());
    m_daemon.start("dbus-daemon", {"--session", "--nofork", "--nosyslog", "--print-address=1"});
    // It prints its address once it listens.
    while (m_daemon.waitForStarted() && !m_daemon.canReadLine() &&
           m_daemon.waitForReadyRead(10000)) {
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
