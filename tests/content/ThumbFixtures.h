#pragma once

#include <QColor>
#include <QImage>
#include <QString>

// Generated media for the thumbnail tests.
namespace ThumbFixtures {

/// An image whose left half is `left` and right half `right`.
QImage halves(QSize size, QColor left, QColor right);
/// Whether the pixel at the given fraction of the image is close to `color`.
bool near(const QImage& image, double fx, double fy, QColor color);
/// A JPEG of `image` carrying an Exif orientation tag; the path, or empty.
QString jpegWithOrientation(const QString& path, const QImage& image, int orientation);
/// Whether the ffmpeg command line is installed.
bool haveFfmpeg();
/// Runs ffmpeg with the space-separated `args` (paths without spaces).
bool ffmpeg(const QString& args);
/// A 160×90 clip of `seconds` at 30 fps whose pixels follow the geq `rgb`.
bool clip(const QString& path, double seconds, const QString& rgb);

} // namespace ThumbFixtures
