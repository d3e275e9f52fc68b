#pragma once

#include <QImage>
#include <QString>

/// Poster frames of recordings through FFmpeg, decoded on the calling thread.
/// Safe to call from any number of threads at once.
namespace VideoDecoder {

/// A frame near the start of a recording and the recording's length.
struct Poster {
    QImage image;        ///< Null when no frame could be produced.
    double duration = 0; ///< Seconds; 0 when the container does not know.
    QSize frameSize;     ///< The frame as shown (display aspect, turned); empty when unknown.
};

/// How a frame's YUV samples become RGB: the matrix and whether the samples
/// use the full 0–255 range (else the video range 16–235).
struct Colors {
    enum class Matrix { bt601, bt709, bt2020 } matrix = Matrix::bt709;
    bool fullRange = false;
};
/// What a stream that does not say gets, as players decide it: BT.709 above
/// 576 lines, BT.601 up to there; the video range.
Colors defaultColors(int height);

/// The layouts of 4:2:0 frames a player hands out.
enum class Layout { i420, yv12, nv12, nv21 };
/// One frame of `size` in `layout` (its planes and bytes per line), turned to
/// RGB with `colors` and scaled to `out`. The poster and the played frames go
/// through this one conversion, so they show the same colours.
QImage convert(Layout layout, QSize size, const uchar* const planes[3], const int strides[3],
               Colors colors, QSize out);

/// Where the poster frame is taken: min(duration / 3, 0.5) s, or 0 when the
/// duration is not a positive finite number.
double sampleTime(double duration);

/// The frame at sampleTime(duration), rotated as the stream's display matrix
/// asks and shrunk to fit maxPixel × maxPixel (never enlarged).
Poster poster(const QString& path, int maxPixel);

} // namespace VideoDecoder
