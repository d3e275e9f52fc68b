#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

/// One listing of a directory. Hidden entries (names beginning with a dot)
/// are skipped by the listing itself; symbolic links are neither files nor
/// directories and are never followed. The directory stays open while the
/// listing lives, so every entry is stat'ed or opened relative to it, without
/// a path walk, and the type and dates of each entry are read once.
namespace DirListing {

/// What readdir() said; `Unknown` entries need a stat to tell.
enum class Kind { File, Dir, Unknown };

struct Entry {
    QString name;
    /// The name's bytes on disk.
    QByteArray raw;
    Kind kind = Kind::File;
};

/// Type and dates of one entry, seconds since 1970.
struct Stat {
    bool isFile = false;
    bool isDir = false;
    /// The birth time, or `modified` when the file system keeps none.
    double created = 0;
    /// The content modification time; the distant past when unknown.
    double modified = 0;
};

/// A regular file opened read-only; closed with this object.
class OpenFile {
public:
    OpenFile() = default;
    OpenFile(int fd, const Stat& stat)
        : m_fd(fd)
        , m_stat(stat) {}
    OpenFile(OpenFile&& other) noexcept;
    OpenFile& operator=(OpenFile&& other) noexcept;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile();

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const Stat& stat() const { return m_stat; }

private:
    int m_fd = -1;
    Stat m_stat;
};

class Listing {
public:
    Listing() = default;
    Listing(Listing&& other) noexcept;
    Listing& operator=(Listing&& other) noexcept;
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;
    ~Listing();

    /// Files and directories in the order the file system returned them.
    QList<Entry> entries;

    /// Type and dates of an entry (links not followed); nothing when unreadable.
    std::optional<Stat> stat(const Entry& entry) const;
    /// Opens a regular file (never following a link, never blocking) and reads
    /// its type and dates through the open file; closed when that fails or the
    /// entry is not a regular file.
    OpenFile open(const Entry& entry) const;

private:
    friend std::optional<Listing> list(const QString&, bool (*)(QStringView));
    int m_fd = -1;
};

/// Lists `dir`; nothing when the directory cannot be opened. `wantFile`, when
/// given, drops files by name before anything else is done with them. Names
/// that do not survive the file-name codec unchanged are skipped with one log
/// line each, so no entry is ever mis-addressed.
std::optional<Listing> list(const QString& dir, bool (*wantFile)(QStringView name) = nullptr);

} // namespace DirListing
