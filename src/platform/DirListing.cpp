#include "platform/DirListing.h"

#include "library/Shot.h"
#include "platform/Log.h"

#include <QFile>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace DirListing {
namespace {

constexpr unsigned kStatMask = STATX_TYPE | STATX_MTIME | STATX_BTIME;

double seconds(const struct statx_timestamp& t) {
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

Stat fromStatx(const struct statx& st) {
    Stat s;
    s.isFile = S_ISREG(st.stx_mode);
    s.isDir = S_ISDIR(st.stx_mode);
    s.modified = (st.stx_mask & STATX_MTIME) ? seconds(st.stx_mtime) : kDistantPast;
    // Without a birth time the file system gives no creation date: use modified.
    s.created = (st.stx_mask & STATX_BTIME) ? seconds(st.stx_btime) : s.modified;
    return s;
}

// A name is safe when encoding its decoded form gives back the same bytes;
// otherwise a later open() would address a different file, or none.
bool decodeSafely(const char* raw, QString& name) {
    name = QFile::decodeName(raw);
    if (!name.contains(QChar::ReplacementCharacter))
        return true;
    return QFile::encodeName(name) == QByteArray(raw);
}

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

} // namespace

OpenFile::OpenFile(OpenFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_stat(other.m_stat) {}

OpenFile& OpenFile::operator=(OpenFile&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_stat = other.m_stat;
    }
    return *this;
}

OpenFile::~OpenFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

Listing::Listing(Listing&& other) noexcept
    : entries(std::move(other.entries))
    , m_fd(std::exchange(other.m_fd, -1)) {}

Listing& Listing::operator=(Listing&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        entries = std::move(other.entries);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

Listing::~Listing() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<Stat> Listing::stat(const Entry& entry) const {
    struct statx st;
    if (statx(m_fd, entry.raw.constData(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kStatMask, &st) !=
        0)
        return std::nullopt;
    return fromStatx(st);
}

OpenFile Listing::open(const Entry& entry) const {
    // O_NONBLOCK: an entry swapped for a pipe since the listing must not hang us.
    const int fd = ::openat(m_fd, entry.raw.constData(),
                            O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return {};
    struct statx st;
    if (statx(fd, "", AT_EMPTY_PATH, kStatMask, &st) != 0 || !S_ISREG(st.stx_mode)) {
        ::close(fd);
        return {};
    }
    return OpenFile(fd, fromStatx(st));
}

std::optional<Listing> list(const QString& dir, bool (*wantFile)(QStringView name)) {
    const int dirFd =
        ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return std::nullopt;
    Listing listing;
    listing.m_fd = dirFd;
    // The stream reads through its own descriptor; ours stays for the *at() calls.
    const int streamFd = ::dup(dirFd);
    std::unique_ptr<DIR, DirCloser> handle(streamFd >= 0 ? fdopendir(streamFd) : nullptr);
    if (!handle) {
        if (streamFd >= 0)
            ::close(streamFd);
        return std::nullopt;
    }
    while (const dirent* ent = readdir(handle.get())) {
        if (ent->d_name[0] == '.')
            continue;
        Kind kind;
        switch (ent->d_type) {
        case DT_REG:
            kind = Kind::File;
            break;
        case DT_DIR:
            kind = Kind::Dir;
            break;
        case DT_UNKNOWN:
            kind = Kind::Unknown;
            break;
        default:
            continue; // links, pipes, sockets, devices
        }
        Entry entry;
        if (!decodeSafely(ent->d_name, entry.name)) {
            qCWarning(lcTamberk).noquote()
                << "Skipping" << QByteArray(ent->d_name).toPercentEncoding("/ ") << "in" << dir
                << "(its name is not valid in the file-name encoding)";
            continue;
        }
        if (kind == Kind::File && wantFile && !wantFile(entry.name))
            continue;
        entry.raw = QByteArray(ent->d_name);
        entry.kind = kind;
        listing.entries.append(std::move(entry));
    }
    return listing;
}

} // namespace DirListing
