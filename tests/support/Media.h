#pragma once

// Generated pictures and recordings for the tests of decoders and scanners.

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>

namespace Media {

/// An image whose left half is `left` and right half `right`.
inline QImage halves(QSize size, QColor left, QColor right) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, size.width() / 2, size.height(), left);
    painter.fillRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height(), right);
    return image;
}

/// Whether the pixel at the given fraction of the image is close to `color`.
inline bool near(const QImage& image, double fx, double fy, QColor color) {
    if (image.isNull())
        return false;
    const QColor c =
        image.pixelColor(int(fx * (image.width() - 1)), int(fy * (image.height() - 1)));
    return std::abs(c.red() - color.red()) < 60 && std::abs(c.green() - color.green()) < 60 &&
           std::abs(c.blue() - color.blue()) < 60;
}

/// `image` encoded as `format`; empty when the format cannot be written.
inline QByteArray encoded(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    return writer.write(image) ? bytes : QByteArray();
}

inline QByteArray be16(int v) {
    return QByteArray(1, char(v >> 8)) + char(v & 0xFF);
}

/// A JPEG segment: marker, length, payload.
inline QByteArray segment(int marker, const QByteArray& payload) {
    return QByteArray(1, char(0xFF)) + char(marker) + be16(int(payload.size()) + 2) + payload;
}

/// An EXIF block holding only the orientation, in either byte order.
inline QByteArray exif(int orientation, bool bigEndian = true) {
    QByteArray tiff = bigEndian ? "MM" : "II";
    // Header, one entry: tag 0x0112, type short, count 1, the value; no next IFD.
    const std::pair<quint32, int> fields[] = {
        {42, 2}, {8, 4}, {1, 2}, {0x0112, 2}, {3, 2}, {1, 4}, {quint32(orientation), 2},
        {0, 2},  {0, 4}};
    for (auto [v, bytes] : fields)
        for (int i = 0; i < bytes; ++i)
            tiff += char(v >> (8 * (bigEndian ? bytes - 1 - i : i)));
    return QByteArray("Exif\0\0", 6) + tiff;
}

/// A JPEG with `segments` inserted right after its start marker.
inline QByteArray withSegments(const QByteArray& jpeg, const QByteArray& segments) {
    return jpeg.left(2) + segments + jpeg.mid(2);
}

/// A JPEG of `image` whose EXIF orientation is `orientation`.
inline QByteArray turnedJpeg(const QImage& image, int orientation) {
    return withSegments(encoded(image, "JPEG", 95), segment(0xE1, exif(orientation)));
}

inline bool haveFfmpeg() {
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
}

/// Runs ffmpeg with the space-separated `args` (paths without spaces).
inline bool ffmpeg(const QString& args) {
    QProcess process;
    process.start(QStringLiteral("ffmpeg"),
                  QStringLiteral("-v error -y ").append(args).split(' ', Qt::SkipEmptyParts));
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

/// A 160×90 clip of `seconds` at 30 fps whose pixels follow the geq `rgb`.
inline bool clip(const QString& path, double seconds, const QString& rgb) {
    return ffmpeg(QStringLiteral("-f lavfi -i color=c=black:s=160x90:r=30:d=%1,format=rgb24,geq=%2 "
                                 "-c:v mpeg4 -q:v 2 -pix_fmt yuv420p %3")
                      .arg(seconds)
                      .arg(rgb, path));
}

} // namespace Media
