#include "platform/FileMove.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMutex>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace FileMove {
namespace {

struct Fault {
    Step step;
    int error;
    int skip;
};

QMutex faultLock;
QList<Fault> faults;

// Returns the errno injected for this pass of `step`, or 0.
int fault(Step step) {
    QMutexLocker locker(&faultLock);
    for (qsizetype i = 0; i < faults.size(); ++i) {
        if (faults[i].step != step)
            continue;
        if (faults[i].skip > 0) {
            --faults[i].skip;
            return 0;
        }
        const int error = faults[i].error;
        faults.removeAt(i);
        return error;
    }
    return 0;
}

Result failure(int error, const QString& context = {}) {
    QString message = qt_error_string(error);
    if (!context.isEmpty())
        message = context + ": " + message;
    return {false, error, message};
}

QByteArray parentOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// Without RENAME_NOREPLACE (NFS, some FUSE file systems) a file is moved by
// linking it under the new name, which fails when the name is taken, then
// unlinking the old one.
int linkThenUnlink(const char* from, const char* to) {
    int error = fault(Step::Link);
    if (error == 0 && ::linkat(AT_FDCWD, from, AT_FDCWD, to, 0) == 0) {
        if (::unlink(from) == 0)
            return 0;
        error = errno;
        ::unlink(to);
        return error;
    }
    if (error == 0)
        error = errno;
    if (error != EPERM && error != EOPNOTSUPP && error != EMLINK && error != ENOSYS)
        return error;
    // No hard links either (FAT): reserve the name with an empty file of our
    // own, which rename(2) may then replace. Nobody else can have written to
    // a file created exclusively a moment ago.
    const int fd = ::open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    ::close(fd);
    if (::rename(from, to) == 0)
        return 0;
    error = errno;
    ::unlink(to);
    return error;
}

// A folder cannot be hard-linked. It is moved onto an empty folder created
// exclusively for it: rename(2) replaces a folder only when it is empty, so
// even if something lands in the reservation meanwhile, the rename fails
// (ENOTEMPTY) instead of replacing anything. That is the best available
// without the flag.
int reserveThenRename(const char* from, const char* to) {
    if (::mkdir(to, 0700) != 0)
        return errno;
    if (::rename(from, to) == 0)
        return 0;
    const int error = errno;
    ::rmdir(to);
    return error;
}

int renameNoReplaceRaw(const char* from, const char* to, int injected) {
    int error = injected;
    if (error == 0) {
        if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
            return 0;
        error = errno;
    }
    if (error != EINVAL && error != ENOSYS)
        return error;
    struct stat st;
    if (::lstat(from, &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? reserveThenRename(from, to) : linkThenUnlink(from, to);
}

int syncPath(const char* path, bool directory) {
    if (const int injected = fault(Step::Sync))
        return injected;
    const int fd = ::open(path, (directory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int result = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    // Some file systems cannot sync a folder; the data itself was synced.
    return (result == EINVAL || result == EROFS) ? 0 : result;
}

// Extended attributes carry the capture mark; they are copied where the
// target file system takes them, and silently dropped where it does not.
void copyXattrs(int from, int to) {
    ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size <= 0)
        return;
    QByteArray names(size, '\0');
    size = ::flistxattr(from, names.data(), names.size());
    if (size <= 0)
        return;
    for (const QByteArray& name : names.left(size).split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t length = ::fgetxattr(from, name.constData(), nullptr, 0);
        if (length < 0)
            continue;
        QByteArray value(length, '\0');
        const ssize_t read = ::fgetxattr(from, name.constData(), value.data(), value.size());
        if (read >= 0)
            ::fsetxattr(to, name.constData(), value.constData(), read, 0);
    }
}

int copyData(int from, int to) {
    if (const int injected = fault(Step::CopyData))
        return injected;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            return 0;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, buffer.constData() + done, got - done);
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            done += put;
        }
    }
}

void copyOwnerAndTimes(int fd, const struct stat& st) {
    // Only root can give a file away; everyone else keeps it as their own.
    const bool given = ::fchown(fd, st.st_uid, st.st_gid) == 0;
    Q_UNUSED(given);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(fd, times);
}

// `created`: `to` is an empty file reserved for the copy.
int copyFile(const char* from, const char* to, const struct stat& st, bool created) {
    if (!created) {
        if (const int injected = fault(Step::CreateTemp))
            return injected;
    }
    const int in = ::open(from, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0)
        return errno;
    const int out = ::open(to,
                           created ? O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC
                                   : O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                           0600);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    int error = copyData(in, out);
    if (error == 0) {
        copyXattrs(in, out);
        if (::fchmod(out, st.st_mode & 07777) != 0)
            error = errno;
    }
    if (error == 0) {
        copyOwnerAndTimes(out, st);
        error = fault(Step::Sync);
        if (error == 0 && ::fsync(out) != 0)
            error = errno;
    }
    ::close(in);
    if (::close(out) != 0 && error == 0)
        error = errno;
    return error;
}

int copySymlink(const char* from, const char* to, const struct stat& st) {
    if (const int injected = fault(Step::CreateTemp))
        return injected;
    QByteArray target(st.st_size > 0 ? st.st_size + 1 : 4096, '\0');
    const ssize_t length = ::readlink(from, target.data(), target.size());
    if (length < 0)
        return errno;
    target.truncate(length);
    if (::symlink(target.constData(), to) != 0)
        return errno;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, to, times, AT_SYMLINK_NOFOLLOW);
    return 0;
}

int copyEntry(const QByteArray& from, const QByteArray& to, bool created);

// Copies a folder's entries into `to`, which exists already, then gives it
// the source's permissions, attributes and times (children change mtime).
int copyFolder(const QByteArray& from, const QByteArray& to, const struct stat& st) {
    // Every folder of the source is emptied afterwards; one that cannot be is
    // found now, before anything is copied, not after half the source is gone.
    if (::access(from.constData(), W_OK) != 0)
        return errno;
    DIR* dir = ::opendir(from.constData());
    if (!dir)
        return errno;
    int error = 0;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        error = copyEntry(from + '/' + name, to + '/' + name, false);
        if (error != 0)
            break;
        errno = 0;
    }
    if (error == 0 && errno != 0)
        error = errno;
    ::closedir(dir);
    if (error != 0)
        return error;

    const int in = ::open(from.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int out = ::open(to.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (in >= 0 && out >= 0)
        copyXattrs(in, out);
    if (out >= 0) {
        if (::fchmod(out, st.st_mode & 07777) != 0)
            error = errno;
        copyOwnerAndTimes(out, st);
    } else {
        error = errno;
    }
    if (in >= 0)
        ::close(in);
    if (out >= 0)
        ::close(out);
    return error != 0 ? error : syncPath(to.constData(), true);
}

// `created`: `to` was reserved already (the temporary top entry).
int copyEntry(const QByteArray& from, const QByteArray& to, bool created) {
    struct stat st;
    if (::lstat(from.constData(), &st) != 0)
        return errno;
    if (S_ISREG(st.st_mode))
        return copyFile(from.constData(), to.constData(), st, created);
    if (S_ISLNK(st.st_mode)) {
        // A link cannot be written into the reserved file; the name is ours
        // and random, so giving it up for a moment is safe.
        if (created)
            ::unlink(to.constData());
        return copySymlink(from.constData(), to.constData(), st);
    }
    if (!S_ISDIR(st.st_mode))
        return EOPNOTSUPP; // devices, pipes and sockets are not ours to carry
    if (!created) {
        if (const int injected = fault(Step::CreateTemp))
            return injected;
        if (::mkdir(to.constData(), 0700) != 0)
            return errno;
    }
    return copyFolder(from, to, st);
}

// Removes a file or a whole tree without following links. Returns 0 or the
// first error; `removed` tells whether anything is gone.
int removeTree(const QByteArray& path, bool& removed) {
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return errno;
    if (S_ISDIR(st.st_mode)) {
        DIR* dir = ::opendir(path.constData());
        if (!dir)
            return errno;
        int error = 0;
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            error = removeTree(path + '/' + name, removed);
            if (error != 0)
                break;
        }
        ::closedir(dir);
        if (error != 0)
            return error;
        if (::rmdir(path.constData()) != 0)
            return errno;
    } else if (::unlink(path.constData()) != 0) {
        return errno;
    }
    removed = true;
    return 0;
}

void discard(const QByteArray& path) {
    bool removed = false;
    removeTree(path, removed);
}

int reserve(const QByteArray& path, bool folder) {
    if (folder)
        return ::mkdir(path.constData(), 0700) == 0 ? 0 : errno;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

// A hidden name in the target folder, so that a half-made copy is never
// mistaken for the real item and is found next to it if we crash.
QByteArray temporaryName(const QByteArray& to) {
    const QByteArray tag = QByteArray::number(QRandomGenerator::global()->generate(), 16);
    return parentOf(to) + "/.tamberk-move-" + tag + "-" + nameOf(to).left(180);
}

Result moveAcross(const QByteArray& from, const QByteArray& to, const struct stat& st) {
    struct stat existing;
    if (::lstat(to.constData(), &existing) == 0)
        return failure(EEXIST);
    // Removing the source needs write access to its folder: find out now,
    // before copying anything, rather than end with two copies.
    if (::access(parentOf(from).constData(), W_OK) != 0)
        return failure(errno, "cannot remove the original");

    // The temporary name is reserved first; only what we created ourselves
    // is ever removed again.
    QByteArray temp;
    int error = EEXIST;
    for (int attempt = 0; attempt < 16 && error == EEXIST; ++attempt) {
        temp = temporaryName(to);
        error = fault(Step::CreateTemp);
        if (error == 0)
            error = reserve(temp, S_ISDIR(st.st_mode));
    }
    if (error != 0)
        return failure(error);
    error = copyEntry(from, temp, true);
    if (error == 0) {
        error = fault(Step::Commit);
        if (error == 0)
            error = renameNoReplaceRaw(temp.constData(), to.constData(), 0);
    }
    if (error != 0) {
        discard(temp);
        return failure(error);
    }
    syncPath(parentOf(to).constData(), true);

    bool removed = false;
    error = fault(Step::RemoveSource);
    if (error == 0)
        error = removeTree(from, removed);
    if (error == 0)
        return {true, 0, {}};
    if (!removed) {
        // The original is whole: take the copy back and report the failure.
        discard(to);
        return failure(error, "cannot remove the original");
    }
    // Part of the original is gone but the copy is complete and synced:
    // keep both rather than lose anything.
    return failure(error, QStringLiteral("copied to %1, but the original is only partly removed")
                              .arg(QFile::decodeName(to)));
}

} // namespace

void injectFault(Step step, int error, int skip) {
    QMutexLocker locker(&faultLock);
    faults.append({step, error, skip});
}

void clearFaults() {
    QMutexLocker locker(&faultLock);
    faults.clear();
}

int renameNoReplace(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    return renameNoReplaceRaw(source.constData(), target.constData(), fault(Step::Rename));
}

Result move(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (source.isEmpty() || target.isEmpty())
        return failure(ENOENT);
    struct stat st;
    if (::lstat(source.constData(), &st) != 0)
        return failure(errno);

    const int error =
        renameNoReplaceRaw(source.constData(), target.constData(), fault(Step::Rename));
    if (error == 0)
        return {true, 0, {}};
    if (error != EXDEV)
        return failure(error);
    return moveAcross(source, target, st);
}

QByteArray numbered(const QByteArray& name, int n) {
    if (n == 1)
        return name;
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArray number = ' ' + QByteArray::number(n);
    if (dot <= 0)
        return name + number;
    return name.left(dot) + number + name.mid(dot);
}

} // namespace FileMove
