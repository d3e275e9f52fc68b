#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

class TextRecognizer;

/// Text of tall images (full-page captures), which scaled to the recogniser's
/// longest side would leave letters a few pixels high: the page is decoded
/// at full width (at most TextRecognizer::kMaxSide) and read in overlapping
/// horizontal bands.
namespace BandedText {

/// The height of one band, and how far consecutive bands overlap so a line
/// cut by one band's edge is whole in the next.
inline constexpr int bandHeight = 2600;
inline constexpr int overlap = 200;

/// Whether an image of `size` is read in bands.
bool isTall(QSize size);
/// The bands covering an image of `size`, top to bottom.
QList<QRect> bands(QSize size);
/// The tall image at `path` decoded at full width within the decoder's
/// memory budget; a null image when it is not tall or cannot be decoded.
QImage load(const QString& path);
/// The lines of the whole image in reading order, joined by "\n"; a line the
/// overlap shows in two bands is read once, from the band holding its middle.
QString recognize(TextRecognizer& engine, const QImage& image);

} // namespace BandedText
