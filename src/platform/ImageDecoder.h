#pragma once

#include <QImage>
#include <QString>

/// Still-image thumbnails: an orientation-corrected bitmap whose longest side
/// is at most the requested size, decoded on the calling thread. Safe to call
/// from any number of threads at once.
namespace ImageDecoder {

/// The most memory one decode may use, whatever the file claims.
inline constexpr qint64 memoryBudget = 300LL * 1000 * 1000;

/// The thumbnail of the image at `path`, longest side at most `maxPixel`
/// (never enlarged); a null image when the file cannot be decoded or would
/// need more than memoryBudget.
QImage thumbnail(const QString& path, int maxPixel);

/// The image at `path` shrunk to fit `box` (never enlarged), orientation
/// applied; a null image when the file is not a regular file, cannot be
/// decoded or would need more than memoryBudget.
QImage decode(const QString& path, QSize box);

/// `size` shrunk to fit a maxPixel × maxPixel box, keeping its aspect; never enlarged.
QSize fitted(QSize size, int maxPixel);
/// `size` shrunk to fit `box`, keeping its aspect; never enlarged.
QSize fitted(QSize size, QSize box);

} // namespace ImageDecoder
