#include "platform/CaptureMark.h"

#include <QFile>
#include <sys/xattr.h>

namespace CaptureMark {

bool has(const QString& path) {
    return getxattr(QFile::encodeName(path).constData(), attribute, nullptr, 0) >= 0;
}

bool has(int fd) {
    return fgetxattr(fd, attribute, nullptr, 0) >= 0;
}

bool write(const QString& path) {
    const QByteArray bytes = value();
    return setxattr(QFile::encodeName(path).constData(), attribute, bytes.constData(),
                    size_t(bytes.size()), 0) == 0;
}

QByteArray value() {
    // Header, one object (0x09: true), the offset table with its one offset (8),
    // then the 32-byte trailer: 6 unused bytes, offset and reference sizes (1, 1),
    // object count (1), top object (0) and offset-table position (9), big-endian.
    static const unsigned char bytes[] = {
        'b',  'p', 'l', 'i', 's', 't', '0', '0', // header
        0x09,                                    // the boolean true
        0x08,                                    // offset table
        0,    0,   0,   0,   0,   0,   1,   1,   // trailer: unused, int sizes
        0,    0,   0,   0,   0,   0,   0,   1,   // number of objects
        0,    0,   0,   0,   0,   0,   0,   0,   // top object
        0,    0,   0,   0,   0,   0,   0,   9,   // offset table offset
    };
    static_assert(sizeof(bytes) == 42);
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof(bytes));
}

} // namespace CaptureMark
