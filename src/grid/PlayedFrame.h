#pragma once

#include <QImage>
#include <QSizeF>

class QVideoFrame;

/// A frame of a playing recording as a picture fitting `box` (device pixels),
/// turned to RGB by the decoder's conversion, the one posters go through, so
/// both show the same colours (Qt's own shows BT.709 frames with wrong greens).
/// Layouts the decoder does not read go through Qt's conversion.
QImage playedFrame(const QVideoFrame& frame, QSizeF box);
