#pragma once

// Helpers of the file-operation tests: snapshots of folder trees (to show
// nothing was lost or overwritten) and real mounts where the test runs as root.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileOpsSupport {

/// Every entry below `dir` (hidden ones too, links not followed) by relative
/// path: a file's bytes, "<dir>" for a folder, "-> target" for a link.
inline QMap<QString, QByteArray> snapshot(const QString& dir) {
    QMap<QString, QByteArray> entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QByteArray path = QFile::encodeName(info.filePath());
        QByteArray& entry = entries[QDir(dir).relativeFilePath(info.filePath())];
        QFile file(info.filePath());
        char target[4096];
        if (info.isSymLink())
            entry = "-> " + QByteArray(target, qMax<ssize_t>(0, ::readlink(path, target, 4096)));
        else if (info.isDir())
            entry = "<dir>";
        else
            entry = file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable>";
    }
    return entries;
}

/// The names directly inside `dir`, hidden ones included, sorted.
inline QStringList names(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

/// A private mount namespace for the test thread, once, so nothing reaches the host.
inline bool privateMounts() {
    static const bool made = ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
                             ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return made;
}

/// Mounts a small tmpfs on `dir` (another file system); false where impossible.
inline bool mountTmpfs(const QString& dir) {
    return privateMounts() && ::mount("tamberk-test", QFile::encodeName(dir).constData(), "tmpfs",
                                      0, "size=16m,mode=0755") == 0;
}

inline void unmount(const QString& dir) {
    ::umount2(QFile::encodeName(dir).constData(), MNT_DETACH);
}

/// Makes `dir` unwritable: a read-only bind mount as root (modes do not stop
/// root), else mode 0555. False when neither is possible.
inline bool makeReadOnly(const QString& dir) {
    const QByteArray path = QFile::encodeName(dir);
    if (::geteuid() != 0)
        return ::chmod(path.constData(), 0555) == 0;
    if (!privateMounts() || ::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr))
        return false;
    if (::mount(nullptr, path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0)
        return true;
    unmount(dir);
    return false;
}

/// Undoes makeReadOnly().
inline void makeWritable(const QString& dir) {
    if (::geteuid() == 0)
        unmount(dir);
    else
        ::chmod(QFile::encodeName(dir).constData(), 0755);
}

} // namespace FileOpsSupport
