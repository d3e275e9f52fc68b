#pragma once

#include <QImage>
#include <QSize>

/// Shrinks a bitmap by averaging the source pixels each target pixel covers,
/// entirely on the calling thread. Decode workers use it instead of QImage's
/// smooth scaling and whole-image conversions, which split large images into
/// jobs on Qt's global thread pool: a worker waiting there can deadlock against
/// that pool or outlive it while the application shuts down.
namespace ImageShrink {

/// `source` scaled to `size` (each side at most the source's; larger sides are
/// clamped): ARGB32_Premultiplied when the source has alpha, else RGB32. A null
/// image for a null source or an empty size.
QImage to(const QImage& source, QSize size);

} // namespace ImageShrink
