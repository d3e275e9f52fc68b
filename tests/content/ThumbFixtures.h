#pragma once

#include <QColor>
#include <QImage>
#include <QString>

// Generated media for the thumbnail tests: painted images, hand-made headers
// and clips encoded by the FFmpeg command line.
namespace ThumbFixtures {

/// An image whose left half is `left` and right half `right`.
QImage halves(QSize size, QColor left, QColor right);
/// Whether the pixel at the given fraction of the image is close to `color`.
bool near(const QImage& image, double fx, double fy, QColor color);
/// A JPEG of `image` carrying an Exif orientation tag; the path, or empty.
QString jpegWithOrientation(const QString& path, const QImage& image, int orientation);
/// A PNG of width × height black pixels, 8-bit grey or RGBA; with `complete`
/// false only the first rows are stored (a tiny file with a huge header).
QString blankPng(const QString& path, quint32 width, quint32 height, bool rgba, bool complete);
/// Whether the ffmpeg command line is installed.
bool haveFfmpeg();
/// Runs ffmpeg with the space-separated `args` (after "-v error -y"); true
/// when it succeeded. Paths must hold no spaces.
bool ffmpeg(const QString& args);
/// A 160×90 clip of `seconds` at 30 fps whose pixels follow the geq
/// expression `rgb` (as "r='…':g='…':b='…'").
bool clip(const QString& path, double seconds, const QString& rgb);
/// A clip green before `redFrom`, red until `redTo`, blue after, so the
/// colour of a frame tells its time.
bool timedClip(const QString& path, double seconds, double redFrom, double redTo);
/// Copies the clip `source` to `target` tagged "rotate=90".
bool turned(const QString& source, const QString& target);

} // namespace ThumbFixtures
