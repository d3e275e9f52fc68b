#include "platform/ImageHeader.h"

#include <QFile>
#include <QImageReader>
#include <cstring>
#include <fcntl.h>
#include <libheif/heif.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ImageHeader {
namespace {

// Headers are read through a small window: the first read holds a whole
// PNG, GIF, BMP or WebP header and the frame header of a plain JPEG (64 bytes
// measured slower: JPEGs then needed a second read); later reads fetch 512.
constexpr size_t kFirstRead = 256;
constexpr size_t kWindow = 512;
// Bounds against hostile files: segment and entry counts are small in practice.
constexpr int kMaxJpegSegments = 512;
constexpr int kMaxTiffEntries = 1024;

uint16_t be16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}
uint16_t le16(const uint8_t* p) {
    return uint16_t(p[1] << 8 | p[0]);
}
uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint32_t le32(const uint8_t* p) {
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}
uint32_t le24(const uint8_t* p) {
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

std::optional<Info> sized(int64_t w, int64_t h, int orientation = 0) {
    if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX)
        return std::nullopt;
    return Info{int(w), int(h), orientation >= 1 && orientation <= 8 ? orientation : 0};
}

// A TIFF structure (a TIFF file, or the EXIF block of a JPEG) at `base`:
// width, height and orientation from its first directory.
struct TiffFields {
    int64_t width = 0;
    int64_t height = 0;
    int orientation = 0;
};

std::optional<TiffFields> parseTiff(Source& src, uint64_t base) {
    uint8_t head[8];
    if (!src.read(base, head, sizeof head))
        return std::nullopt;
    bool little;
    if (head[0] == 'I' && head[1] == 'I')
        little = true;
    else if (head[0] == 'M' && head[1] == 'M')
        little = false;
    else
        return std::nullopt;
    auto u16 = [&](const uint8_t* p) { return little ? le16(p) : be16(p); };
    auto u32 = [&](const uint8_t* p) { return little ? le32(p) : be32(p); };
    if (u16(head + 2) != 42)
        return std::nullopt;
    const uint64_t ifd = base + u32(head + 4);
    uint8_t countBytes[2];
    if (!src.read(ifd, countBytes, 2))
        return std::nullopt;
    const int count = std::min<int>(u16(countBytes), kMaxTiffEntries);
    TiffFields fields;
    for (int i = 0; i < count; ++i) {
        uint8_t e[12];
        if (!src.read(ifd + 2 + 12 * uint64_t(i), e, sizeof e))
            break;
        const uint16_t tag = u16(e);
        const uint16_t type = u16(e + 2);
        // Only SHORT (3) and LONG (4) values that fit in the entry are used.
        int64_t value;
        if (type == 3)
            value = u16(e + 8);
        else if (type == 4)
            value = u32(e + 8);
        else
            continue;
        if (tag == 256)
            fields.width = value;
        else if (tag == 257)
            fields.height = value;
        else if (tag == 274)
            fields.orientation = int(std::min<int64_t>(value, 255));
    }
    return fields;
}

bool isSof(uint8_t m) {
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

std::optional<Info> parseJpeg(Source& src) {
    uint64_t pos = 2;
    int orientation = 0;
    for (int n = 0; n < kMaxJpegSegments; ++n) {
        uint8_t m[2];
        if (!src.read(pos, m, 2) || m[0] != 0xFF)
            return std::nullopt;
        if (m[1] == 0xFF) { // fill byte before a marker
            ++pos;
            continue;
        }
        if (m[1] == 0x01 || (m[1] >= 0xD0 && m[1] <= 0xD7)) { // no length
            pos += 2;
            continue;
        }
        if (m[1] == 0xD9 || m[1] == 0xDA) // image data before any frame header
            return std::nullopt;
        uint8_t lenBytes[2];
        if (!src.read(pos + 2, lenBytes, 2))
            return std::nullopt;
        const uint16_t len = be16(lenBytes);
        if (len < 2)
            return std::nullopt;
        if (isSof(m[1])) {
            uint8_t f[5];
            if (len < 7 || !src.read(pos + 4, f, sizeof f))
                return std::nullopt;
            return sized(be16(f + 3), be16(f + 1), orientation);
        }
        if (m[1] == 0xE1 && orientation == 0 && len >= 2 + 6 + 8) {
            uint8_t id[6];
            if (src.read(pos + 4, id, sizeof id) && std::memcmp(id, "Exif\0\0", 6) == 0) {
                if (auto tiff = parseTiff(src, pos + 10))
                    orientation = tiff->orientation;
            }
        }
        pos += 2 + uint64_t(len);
    }
    return std::nullopt;
}

std::optional<Info> parseWebp(Source& src, const uint8_t* h) {
    if (std::memcmp(h + 12, "VP8 ", 4) == 0) {
        uint8_t f[10];
        if (!src.read(20, f, sizeof f) || f[3] != 0x9D || f[4] != 0x01 || f[5] != 0x2A)
            return std::nullopt;
        return sized(le16(f + 6) & 0x3FFF, le16(f + 8) & 0x3FFF);
    }
    if (std::memcmp(h + 12, "VP8L", 4) == 0) {
        uint8_t f[5];
        if (!src.read(20, f, sizeof f) || f[0] != 0x2F)
            return std::nullopt;
        const uint32_t bits = le32(f + 1);
        return sized((bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1);
    }
    if (std::memcmp(h + 12, "VP8X", 4) == 0) {
        uint8_t f[6];
        if (!src.read(24, f, sizeof f))
            return std::nullopt;
        return sized(int64_t(le24(f)) + 1, int64_t(le24(f + 3)) + 1);
    }
    return std::nullopt;
}

std::optional<Info> parseBmp(Source& src) {
    uint8_t f[12];
    if (!src.read(14, f, sizeof f))
        return std::nullopt;
    const uint32_t headerSize = le32(f);
    if (headerSize == 12) // the old core header: 16-bit dimensions
        return sized(le16(f + 4), le16(f + 6));
    if (headerSize < 40)
        return std::nullopt;
    // A negative height marks rows stored top-down.
    const int64_t w = int32_t(le32(f + 4));
    const int64_t h = int32_t(le32(f + 8));
    return sized(w, h < 0 ? -h : h);
}

// Reads through a small window: headers are read in short pieces close
// together, so one pread usually serves a whole header.
class FileSource final : public Source {
public:
    explicit FileSource(int fd)
        : m_fd(fd) {}
    bool read(uint64_t offset, void* into, size_t length) override {
        if (offset > uint64_t(INT64_MAX) - length)
            return false;
        if (offset >= m_start && offset + length <= m_start + m_size) {
            std::memcpy(into, m_window + (offset - m_start), length);
            return true;
        }
        if (length > kWindow)
            return ::pread(m_fd, into, length, off_t(offset)) == ssize_t(length);
        // The first read is short: it holds the whole header of most formats.
        const size_t want = m_first ? kFirstRead : kWindow;
        m_first = false;
        const ssize_t n = ::pread(m_fd, m_window, std::max(want, length), off_t(offset));
        m_start = offset;
        m_size = n > 0 ? size_t(n) : 0;
        if (m_size < length)
            return false;
        std::memcpy(into, m_window, length);
        return true;
    }

private:
    int m_fd;
    uint8_t m_window[kWindow];
    uint64_t m_start = 0;
    size_t m_size = 0;
    bool m_first = true;
};

std::optional<Info> readHeif(const QString& path) {
    heif_context* ctx = heif_context_alloc();
    if (!ctx)
        return std::nullopt;
    std::optional<Info> info;
    heif_image_handle* handle = nullptr;
    if (heif_context_read_from_file(ctx, QFile::encodeName(path).constData(), nullptr).code ==
            heif_error_Ok &&
        heif_context_get_primary_image_handle(ctx, &handle).code == heif_error_Ok) {
        // libheif reports the size with the container's rotation applied.
        info = sized(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
        heif_image_handle_release(handle);
    }
    heif_context_free(ctx);
    return info;
}

int orientationOf(QImageIOHandler::Transformations t) {
    switch (int(t)) {
    case QImageIOHandler::TransformationMirror:
        return 2;
    case QImageIOHandler::TransformationRotate180:
        return 3;
    case QImageIOHandler::TransformationFlip:
        return 4;
    case QImageIOHandler::TransformationFlipAndRotate90:
        return 5;
    case QImageIOHandler::TransformationRotate90:
        return 6;
    case QImageIOHandler::TransformationMirrorAndRotate90:
        return 7;
    case QImageIOHandler::TransformationRotate270:
        return 8;
    }
    return 0;
}

// The rare file none of the parsers knows: Qt's reader, format from the contents.
std::optional<Info> readWithQt(const QString& path) {
    QImageReader reader(path);
    const QSize size = reader.size();
    if (!size.isValid())
        return std::nullopt;
    return sized(size.width(), size.height(), orientationOf(reader.transformation()));
}

enum class Format { Png, Jpeg, Gif, Bmp, Webp, Tiff, Heif, Other };

// The format by its first bytes, whatever the file's name says.
Format formatOf(Source& src) {
    uint8_t h[12] = {};
    if (!src.read(0, h, 2))
        return Format::Other;
    if (h[0] == 0xFF && h[1] == 0xD8)
        return Format::Jpeg;
    if (h[0] == 'B' && h[1] == 'M')
        return Format::Bmp;
    if (!src.read(0, h, 4))
        return Format::Other;
    if (std::memcmp(h, "II*\0", 4) == 0 || std::memcmp(h, "MM\0*", 4) == 0)
        return Format::Tiff;
    if (!src.read(0, h, 6))
        return Format::Other;
    if (std::memcmp(h, "GIF87a", 6) == 0 || std::memcmp(h, "GIF89a", 6) == 0)
        return Format::Gif;
    if (!src.read(0, h, 8))
        return Format::Other;
    if (std::memcmp(h, "\x89PNG\r\n\x1a\n", 8) == 0)
        return Format::Png;
    // HEIF (any brand) starts with a file-type box.
    if (std::memcmp(h + 4, "ftyp", 4) == 0)
        return Format::Heif;
    if (src.read(0, h, 12) && std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WEBP", 4) == 0)
        return Format::Webp;
    return Format::Other;
}

} // namespace

std::optional<Info> parse(Source& src) {
    uint8_t h[24];
    switch (formatOf(src)) {
    case Format::Png:
        if (!src.read(0, h, 24) || std::memcmp(h + 12, "IHDR", 4) != 0)
            return std::nullopt;
        return sized(be32(h + 16), be32(h + 20));
    case Format::Jpeg:
        return parseJpeg(src);
    case Format::Gif:
        if (!src.read(0, h, 10))
            return std::nullopt;
        return sized(le16(h + 6), le16(h + 8));
    case Format::Bmp:
        return parseBmp(src);
    case Format::Webp:
        if (!src.read(0, h, 16))
            return std::nullopt;
        return parseWebp(src, h);
    case Format::Tiff:
        if (const auto tiff = parseTiff(src, 0))
            return sized(tiff->width, tiff->height, tiff->orientation);
        return std::nullopt;
    case Format::Heif:
    case Format::Other:
        break;
    }
    return std::nullopt;
}

std::optional<Info> readOpen(int fd, const QString& path) {
    Q_UNUSED(path);
    FileSource src(fd);
    // The rare readers open by name; this name reaches the file already open,
    // not whatever may have taken its place in the folder since.
    const QString self = QStringLiteral("/proc/self/fd/%1").arg(fd);
    switch (formatOf(src)) {
    case Format::Heif:
        return readHeif(self);
    case Format::Other:
        return readWithQt(self);
    default:
        // A known format whose header is broken stays unmeasured.
        return parse(src);
    }
}

std::optional<Info> read(const QString& path) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    // A FIFO or a device is no image, and a reader opening it by name would block.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    auto info = readOpen(fd, path);
    ::close(fd);
    return info;
}

} // namespace ImageHeader
