#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>

/// Pixel size and orientation of an image from its header, without decoding.
/// PNG, JPEG, GIF, BMP, WebP and TIFF headers are parsed here (one open, one
/// short read for most files); HEIF goes through libheif, and anything not
/// understood through Qt's image reader.
namespace ImageHeader {

struct Info {
    int width = 0;
    int height = 0;
    /// EXIF orientation 1..8; 0 when the file has none.
    int orientation = 0;
};

/// Reads the header of the image at `path`, its format told by its first
/// bytes (not its name); nothing when unreadable, not a regular file or not
/// understood. Never blocks on a FIFO.
std::optional<Info> read(const QString& path);

/// The same for a regular file already open as `fd` (read with pread, offset
/// left alone); `path` is never opened again, the readers of rare formats
/// reach the open file through /proc/self/fd.
std::optional<Info> readOpen(int fd, const QString& path);

/// Random access to the bytes of one image; false when the range is not there.
class Source {
public:
    virtual ~Source() = default;
    virtual bool read(uint64_t offset, void* into, size_t length) = 0;
};

/// The hand-written parsers over any byte source (exposed for the fuzzer):
/// nothing when the bytes are none of the formats above or are malformed.
std::optional<Info> parse(Source& source);

} // namespace ImageHeader
