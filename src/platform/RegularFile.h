#pragma once

#include <QByteArray>
#include <QString>

/// A file opened for reading only when it is a regular file of bounded size.
/// The open never blocks: a listed image replaced by a FIFO or a device is
/// refused instead of hanging the thread that decodes it. Libraries that open
/// by name are handed name(), which reaches exactly this open file.
class RegularFile {
public:
    /// Opens `path` (links followed) when it is a regular file of at most `maxBytes`.
    explicit RegularFile(const QString& path, qint64 maxBytes);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    qint64 size() const { return m_size; }
    /// "/proc/self/fd/N": a name for this open file and no other.
    QByteArray name() const;
    /// Up to size() bytes from the start; empty on a read error.
    QByteArray readAll() const;

private:
    int m_fd = -1;
    qint64 m_size = 0;
};
