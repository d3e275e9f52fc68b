#include "platform/Trash.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace Trash {
namespace {

QByteArray parentOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// An absolute path with "." and ".." resolved textually; the item itself
// (it may be a link) is never followed.
QByteArray absolute(const QString& path) {
    return QFile::encodeName(QDir::cleanPath(QDir::current().absoluteFilePath(path)));
}

QByteArray dataHome() {
    const QByteArray xdg = qgetenv("XDG_DATA_HOME");
    if (xdg.startsWith('/'))
        return xdg;
    return qgetenv("HOME") + "/.local/share";
}

// The device of a path that may not exist yet: that of its nearest
// existing ancestor, where it would be created.
dev_t deviceOf(QByteArray path) {
    struct stat st;
    while (::stat(path.constData(), &st) != 0) {
        if (path == "/")
            return 0;
        path = parentOf(path);
    }
    return st.st_dev;
}

// Identifies the mount a path lies on: a bind mount of the same file
// system is a different mount, and rename(2) cannot cross it either.
struct MountId {
    dev_t dev = 0;
    quint64 mount = 0;
    bool operator==(const MountId&) const = default;
};

std::optional<MountId> mountOf(const QByteArray& path) {
    struct statx stx;
    if (::statx(AT_FDCWD, path.constData(), AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &stx) != 0)
        return std::nullopt;
    MountId id;
    id.dev = makedev(stx.stx_dev_major, stx.stx_dev_minor);
    id.mount = (stx.stx_mask & STATX_MNT_ID) ? stx.stx_mnt_id : 0;
    return id;
}

// The top folder of the mount holding `dir`.
QByteArray topdirOf(QByteArray dir) {
    const std::optional<MountId> own = mountOf(dir);
    if (!own)
        return {};
    while (dir != "/") {
        const QByteArray up = parentOf(dir);
        const std::optional<MountId> above = mountOf(up);
        if (!above || !(*above == *own))
            break;
        dir = up;
    }
    return dir;
}

// A folder that is ours to use: a real folder, created 0700 when missing,
// owned by us when `owned`. Only the home trash itself may be a link, one the
// user made; on a shared volume a link could lead anywhere.
bool ensureFolder(const QByteArray& path, bool owned, bool follow = false) {
    struct stat st;
    const auto look = [&] {
        return follow ? ::stat(path.constData(), &st) : ::lstat(path.constData(), &st);
    };
    if (look() != 0) {
        if (errno != ENOENT || ::mkdir(path.constData(), 0700) != 0)
            return false;
        if (look() != 0)
            return false;
    }
    if (!S_ISDIR(st.st_mode))
        return false;
    return !owned || st.st_uid == ::getuid();
}

bool ensurePath(const QByteArray& path) {
    struct stat st;
    if (::stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (path == "/" || !ensurePath(parentOf(path)))
        return false;
    return ::mkdir(path.constData(), 0700) == 0 || errno == EEXIST;
}

bool ensureTrash(const QByteArray& trash, bool home) {
    return ensureFolder(trash, !home, home) && ensureFolder(trash + "/files", true) &&
           ensureFolder(trash + "/info", true);
}

// A per-volume trash: $topdir/.Trash/$uid when the administrator made
// $topdir/.Trash (a sticky folder, not a link), else $topdir/.Trash-$uid.
QByteArray volumeTrash(const QByteArray& topdir) {
    const QByteArray base = topdir == "/" ? QByteArray() : topdir;
    const QByteArray uid = QByteArray::number(::getuid());
    struct stat st;
    const QByteArray shared = base + "/.Trash";
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QByteArray mine = shared + '/' + uid;
        if (ensureTrash(mine, false))
            return mine;
    }
    const QByteArray own = base + "/.Trash-" + uid;
    return ensureTrash(own, false) ? own : QByteArray();
}

QByteArray chooseTrash(const QByteArray& item, QByteArray* topdir) {
    struct stat st;
    if (::lstat(item.constData(), &st) != 0)
        return {};
    const QByteArray home = dataHome() + "/Trash";
    if (deviceOf(home) == st.st_dev) {
        if (!ensurePath(dataHome()) || !ensureTrash(home, true))
            return {};
        return home;
    }
    const QByteArray top = topdirOf(parentOf(item));
    if (top.isEmpty())
        return {};
    if (topdir)
        *topdir = top;
    return volumeTrash(top);
}

// A name may take this many bytes on the file systems we meet (NAME_MAX).
constexpr qsizetype kNameMax = 255;
const QByteArray kInfoSuffix = ".trashinfo";

// The n-th candidate name for `name` in files/ and info/. NAME.trashinfo must
// fit the name limit as well, so a long name is shortened: the extension is
// kept and the stem cut at a character boundary. The original name lives on
// in Path=, and the pair still shares one name, so restore finds the info.
QByteArray entryName(const QByteArray& name, int n) {
    QByteArray entry = FileMove::numbered(name, n);
    const qsizetype room = kNameMax - kInfoSuffix.size();
    if (entry.size() <= room)
        return entry;
    const qsizetype dot = name.lastIndexOf('.');
    // A very long "extension" is no extension worth keeping whole.
    const bool keepExtension = dot > 0 && name.size() - dot <= 16;
    const QByteArray extension = keepExtension ? name.mid(dot) : QByteArray();
    const QByteArray stem = keepExtension ? name.left(dot) : name;
    const QByteArray number = n == 1 ? QByteArray() : ' ' + QByteArray::number(n);
    qsizetype keep = room - extension.size() - number.size();
    // Never end inside a UTF-8 sequence: back up over continuation bytes.
    while (keep > 0 && (uchar(stem.at(keep)) & 0xC0) == 0x80)
        --keep;
    return stem.left(keep) + number + extension;
}

// Creates info/NAME.trashinfo exclusively: that is what reserves NAME.
int writeInfo(const QByteArray& info, const QByteArray& text) {
    const int fd = ::open(info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    int error = 0;
    const ssize_t written = ::write(fd, text.constData(), text.size());
    if (written != text.size())
        error = written < 0 ? errno : ENOSPC;
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    ::close(fd);
    if (error != 0)
        ::unlink(info.constData());
    return error;
}

Result failure(int error, const QString& context = {}) {
    QString message = qt_error_string(error);
    if (!context.isEmpty())
        message = context + ": " + message;
    return {false, error, message, {}};
}

} // namespace

QString folderFor(const QString& path, QString* topdir) {
    QByteArray top;
    const QByteArray trash = chooseTrash(absolute(path), &top);
    if (topdir)
        *topdir = QFile::decodeName(top);
    return QFile::decodeName(trash);
}

Result trash(const QString& path) {
    const QByteArray item = absolute(path);
    struct stat st;
    if (::lstat(item.constData(), &st) != 0)
        return failure(errno);
    QByteArray topdir;
    const QByteArray folder = chooseTrash(item, &topdir);
    if (folder.isEmpty())
        return failure(errno ? errno : EACCES, QStringLiteral("no usable trash"));

    // Path= is the raw bytes of the name, percent-encoded, so that any name
    // (even one that is not valid UTF-8) is restored exactly.
    QByteArray relative = item;
    if (!topdir.isEmpty())
        relative = topdir == "/" ? item.mid(1) : item.mid(topdir.size() + 1);
    const QByteArray text =
        "[Trash Info]\nPath=" + relative.toPercentEncoding("/") + "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toLatin1() +
        "\n";

    const QByteArray name = nameOf(item);
    for (int n = 1; n < 10000; ++n) {
        const QByteArray entry = entryName(name, n);
        const QByteArray files = folder + "/files/" + entry;
        const QByteArray info = folder + "/info/" + entry + kInfoSuffix;
        struct stat existing;
        if (::lstat(files.constData(), &existing) == 0)
            continue;
        const int error = writeInfo(info, text);
        if (error == EEXIST)
            continue;
        if (error != 0)
            return failure(error, QStringLiteral("cannot write the trash info"));
        const FileMove::Result moved =
            FileMove::move(QFile::decodeName(item), QFile::decodeName(files));
        if (moved) {
            Result result;
            result.ok = true;
            result.location = QFile::decodeName(files);
            return result;
        }
        ::unlink(info.constData());
        if (moved.error != EEXIST) // taken meanwhile: try the next name
            return {false, moved.error, moved.message, {}};
    }
    return failure(EEXIST);
}

QString infoFor(const QString& trashed) {
    const QByteArray path = QFile::encodeName(trashed);
    const QByteArray files = parentOf(path);
    if (nameOf(files) != "files")
        return {};
    return QFile::decodeName(parentOf(files) + "/info/" + nameOf(path) + kInfoSuffix);
}

FileMove::Result restore(const QString& trashed, const QString& target) {
    const FileMove::Result moved = FileMove::move(trashed, target);
    if (moved) {
        const QString info = infoFor(trashed);
        if (!info.isEmpty())
            QFile::remove(info);
    }
    return moved;
}

} // namespace Trash
