#include "platform/RegularFile.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFile::RegularFile(const QString& path, qint64 maxBytes) {
    // O_NONBLOCK keeps open() from waiting for a FIFO's writer; it has no
    // effect on the reads of a regular file.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxBytes) {
        ::close(fd);
        return;
    }
    m_fd = fd;
    m_size = st.st_size;
}

RegularFile::~RegularFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

QByteArray RegularFile::name() const {
    return "/proc/self/fd/" + QByteArray::number(m_fd);
}

QByteArray RegularFile::readAll() const {
    QByteArray bytes(m_size, Qt::Uninitialized);
    qint64 done = 0;
    while (done < m_size) {
        const ssize_t n = ::pread(m_fd, bytes.data() + done, size_t(m_size - done), done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {};
        if (n == 0)
            break;
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}
