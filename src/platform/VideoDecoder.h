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

/// Where the poster frame is taken: min(duration / 3, 0.5) s, or 0 when the
/// duration is not a positive finite number.
double sampleTime(double duration);

/// The frame at sampleTime(duration), rotated as the stream's display matrix
/// asks and shrunk to fit maxPixel × maxPixel (never enlarged).
Poster poster(const QString& path, int maxPixel);

} // namespace VideoDecoder
