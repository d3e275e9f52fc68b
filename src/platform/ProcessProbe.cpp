#include "platform/ProcessProbe.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QMutex& probeLock() {
    static QMutex lock;
    return lock;
}

ProcessProbe::Probe& override() {
    static ProcessProbe::Probe probe;
    return probe;
}

// Reading /proc directly costs a fraction of a millisecond, where starting
// pgrep for every settings read would cost a process launch.
bool scanProc(const QString& name) {
    const QByteArray wanted = name.toLocal8Bit().left(15); // comm holds 15 bytes
    const uid_t me = getuid();
    const QStringList pids =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        if (pid.isEmpty() || !pid.front().isDigit())
            continue;
        const QByteArray dir = "/proc/" + pid.toLatin1();
        struct stat info {};
        if (stat(dir.constData(), &info) != 0 || info.st_uid != me)
            continue;
        QFile comm(QString::fromLatin1(dir + "/comm"));
        if (!comm.open(QIODevice::ReadOnly))
            continue;
        if (comm.readAll().trimmed() == wanted)
            return true;
    }
    return false;
}

} // namespace

namespace ProcessProbe {

bool isRunning(const QString& name) {
    Probe probe;
    {
        QMutexLocker locker(&probeLock());
        probe = override();
    }
    return probe ? probe(name) : scanProc(name);
}

void setProbeForTesting(Probe probe) {
    QMutexLocker locker(&probeLock());
    override() = std::move(probe);
}

} // namespace ProcessProbe
