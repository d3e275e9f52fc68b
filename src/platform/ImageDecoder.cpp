#include "platform/ImageDecoder.h"

#include "platform/ImageShrink.h"
#include "platform/Log.h"
#include "platform/RegularFile.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <libheif/heif.h>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

// The largest image file a decode opens; far beyond any screenshot.
constexpr qint64 kMaxFileBytes = 1LL << 30;

// What libjpeg will hold for a JPEG: the frame's size and, for progressive
// files, the whole-image coefficient arrays it keeps whatever the output scale.
struct JpegFrame {
    bool progressive = false;
    qint64 coefficientBytes = 0;
};

// Walks the marker segments up to the first start-of-frame. Only the header
// is read; nothing is decoded.
std::optional<JpegFrame> readJpegFrame(const QString& name) {
    QFile file(name);
    uchar head[2];
    if (!file.open(QIODevice::ReadOnly) || file.read(reinterpret_cast<char*>(head), 2) != 2 ||
        head[0] != 0xFF || head[1] != 0xD8)
        return std::nullopt;
    for (int segments = 0; segments < 1000; ++segments) {
        uchar marker[4];
        if (file.read(reinterpret_cast<char*>(marker), 4) != 4 || marker[0] != 0xFF)
            return std::nullopt;
        const int type = marker[1];
        const int length = qFromBigEndian<quint16>(marker + 2);
        const bool sof =
            type >= 0xC0 && type <= 0xCF && type != 0xC4 && type != 0xC8 && type != 0xCC;
        if (!sof) {
            if (length < 2 || !file.seek(file.pos() + length - 2))
                return std::nullopt;
            continue;
        }
        const QByteArray body = file.read(length - 2);
        if (body.size() < 6)
            return std::nullopt;
        const auto* p = reinterpret_cast<const uchar*>(body.constData());
        const qint64 height = qFromBigEndian<quint16>(p + 1);
        const qint64 width = qFromBigEndian<quint16>(p + 3);
        const int components = p[5];
        if (body.size() < 6 + 3 * components || components < 1)
            return std::nullopt;
        int hMax = 1, vMax = 1;
        for (int c = 0; c < components; ++c) {
            hMax = std::max(hMax, p[7 + 3 * c] >> 4);
            vMax = std::max(vMax, p[7 + 3 * c] & 15);
        }
        JpegFrame frame;
        frame.progressive = type == 0xC2 || type == 0xC6 || type == 0xCA || type == 0xCE;
        for (int c = 0; c < components; ++c) {
            const int h = std::max(1, p[7 + 3 * c] >> 4), v = std::max(1, p[7 + 3 * c] & 15);
            // 64 coefficients of 2 bytes per 8×8 block of the component's plane.
            frame.coefficientBytes += ((width * h + hMax - 1) / hMax + 7) / 8 *
                                      (((height * v + vMax - 1) / vMax + 7) / 8) * 128;
        }
        return frame;
    }
    return std::nullopt;
}

// libjpeg scales by M/8 while it decodes; Qt picks M from the size asked for
// and smooth-scales whatever libjpeg returns to that size. The size asked for
// is the exact output of the smallest M that covers `target` and that Qt picks
// again from it, so nothing is scaled after decoding; empty when there is none.
QSize jpegDecodeSize(QSize full, QSize target) {
    for (int m = 1; m < 8; ++m) {
        const QSize out((full.width() * m + 7) / 8, (full.height() * m + 7) / 8);
        if (out.width() < target.width() || out.height() < target.height())
            continue;
        const double f =
            std::min(double(full.width()) / out.width(), double(full.height()) / out.height());
        if (std::clamp(int(std::ceil(8 / f)), 1, 8) == m)
            return out;
    }
    return {};
}

// Qt's PNG reader shrinks 8-bit colour images that are not interlaced row by
// row as it reads them; every other kind it decodes whole and smooth-scales.
bool pngShrinksWhileReading(const RegularFile& source, QImage::Format format) {
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32)
        return false;
    char interlace = 1;
    return ::pread(source.fd(), &interlace, 1, 28) == 1 && interlace == 0;
}

// The bytes one decode needs at most. JPEG: the DCT-scaled bitmap plus any
// progressive coefficient arrays. A reader that shrinks while decoding: the
// target bitmap and a few rows. Otherwise: the decoded bitmap and the target.
qint64 decodeCost(QImageReader& reader, const QString& name, QSize full, QSize target,
                  QSize decoded) {
    const qint64 pixels = qint64(full.width()) * full.height();
    const qint64 out = qint64(target.width()) * target.height() * 4;
    if (reader.format() == "jpeg") {
        const std::optional<JpegFrame> frame = readJpegFrame(name);
        if (!frame)
            return pixels * 8;
        // Twice the DCT-scaled bitmap: a conservative fence for a header that
        // claims a huge frame, whatever libjpeg really holds besides.
        const QSize scaled = decoded.isValid() ? decoded : full;
        return qint64(scaled.width() + 1) * (scaled.height() + 1) * 4 * 2 +
               (frame->progressive ? frame->coefficientBytes : 0);
    }
    if (decoded.isValid())
        return out + qint64(full.width()) * 4 * 6;
    const int bytes =
        std::max(1, int(QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel()) / 8);
    return pixels * bytes + out;
}

QImage fit(const QImage& image, QSize box) {
    const QSize size = ImageDecoder::fitted(image.size(), box);
    if (size == image.size())
        return image;
    return ImageShrink::to(image, size);
}

QImage decodeWithQt(const RegularFile& source, const QString& path, QSize box) {
    QFile file;
    if (!file.open(source.fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return {};
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (!full.isValid() || full.isEmpty()) {
        qCWarning(lcTamberk) << "no image size in" << path << reader.errorString();
        return {};
    }
    // The size is the stored one; a quarter turn swaps the box's sides.
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize target = ImageDecoder::fitted(full, turned ? box.transposed() : box);
    // Only sizes the reader reaches without Qt's smooth scaling are asked
    // for: that scaling runs on Qt's global thread pool (see ImageShrink).
    QSize decoded;
    if (target != full && reader.format() == "jpeg")
        decoded = jpegDecodeSize(full, target);
    else if (target != full && reader.format() == "png" &&
             pngShrinksWhileReading(source, reader.imageFormat()))
        decoded = target;
    const QString name = QFile::decodeName(source.name());
    if (decodeCost(reader, name, full, target, decoded) > ImageDecoder::memoryBudget) {
        qCWarning(lcTamberk) << "image too large to decode:" << path << full;
        return {};
    }
    // Our own budget is the fence; Qt's default per-image limit (128 MB)
    // would refuse tall pages that fit it.
    reader.setAllocationLimit(int(ImageDecoder::memoryBudget / (1024 * 1024)));
    if (decoded.isValid())
        reader.setScaledSize(decoded);
    QImage image = reader.read();
    if (image.isNull()) {
        qCWarning(lcTamberk) << "cannot decode" << path << reader.errorString();
        return {};
    }
    return fit(image, box);
}

bool isHeif(const RegularFile& source) {
    char head[64];
    const ssize_t n = ::pread(source.fd(), head, sizeof head, 0);
    return n > 0 && heif_check_filetype(reinterpret_cast<const uint8_t*>(head), int(n)) ==
                        heif_filetype_yes_supported;
}

QImage decodeHeif(const RegularFile& source, const QString& path, QSize box) {
    using Context = std::unique_ptr<heif_context, decltype(&heif_context_free)>;
    using Handle = std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)>;
    using Image = std::unique_ptr<heif_image, decltype(&heif_image_release)>;

    Context context(heif_context_alloc(), heif_context_free);
    if (!context)
        return {};
    const QByteArray name = source.name();
    if (heif_context_read_from_file(context.get(), name.constData(), nullptr).code != heif_error_Ok)
        return {};
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok)
        return {};
    Handle handle(rawHandle, heif_image_handle_release);
    const qint64 width = heif_image_handle_get_width(handle.get());
    const qint64 height = heif_image_handle_get_height(handle.get());
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    // The codec's planes (1.5 bytes a pixel) and the interleaved RGBA, plus the
    // premultiplied copy smooth scaling makes when there is alpha.
    const qint64 bytesPerPixel = alpha ? 11 : 6;
    if (width < 1 || height < 1 || width * height * bytesPerPixel > ImageDecoder::memoryBudget) {
        qCWarning(lcTamberk) << "HEIF image too large or empty:" << path << width << height;
        return {};
    }
    heif_image* rawImage = nullptr;
    // Decoding applies the rotation and mirroring boxes by default.
    if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                          heif_chroma_interleaved_RGBA, nullptr)
            .code != heif_error_Ok)
        return {};
    Image image(rawImage, heif_image_release);
    int stride = 0;
    const uint8_t* data =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!data || w < 1 || h < 1)
        return {};
    // Without alpha the bytes scale as they are, with no converted copy.
    const QImage view(data, w, h, stride,
                      alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    QImage fitted = fit(view, box);
    // The view borrows libheif's buffer, which goes away with `image`.
    return fitted.constBits() == view.constBits() ? view.copy() : fitted;
}

} // namespace

namespace ImageDecoder {

QSize fitted(QSize size, QSize box) {
    if (size.isEmpty() || box.isEmpty())
        return {};
    if (size.width() <= box.width() && size.height() <= box.height())
        return size;
    return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QSize fitted(QSize size, int maxPixel) {
    return fitted(size, QSize(maxPixel, maxPixel));
}

QImage decode(const QString& path, QSize box) {
    if (box.isEmpty())
        return {};
    // A listed image replaced by a FIFO or a device must not hang the decoder.
    const RegularFile source(path, kMaxFileBytes);
    if (!source.isOpen())
        return {};
    return isHeif(source) ? decodeHeif(source, path, box) : decodeWithQt(source, path, box);
}

QImage thumbnail(const QString& path, int maxPixel) {
    return decode(path, QSize(maxPixel, maxPixel));
}

} // namespace ImageDecoder
