#include "grid/PlayedFrame.h"

#include "platform/VideoDecoder.h"

#include <QVideoFrame>
#include <optional>

QImage playedFrame(const QVideoFrame& played, QSizeF box) {
    QVideoFrame frame = played;
    const QVideoFrameFormat format = frame.surfaceFormat();
    std::optional<VideoDecoder::Layout> layout;
    switch (format.pixelFormat()) {
    case QVideoFrameFormat::Format_YUV420P:
        layout = VideoDecoder::Layout::i420;
        break;
    case QVideoFrameFormat::Format_YV12:
        layout = VideoDecoder::Layout::yv12;
        break;
    case QVideoFrameFormat::Format_NV12:
        layout = VideoDecoder::Layout::nv12;
        break;
    case QVideoFrameFormat::Format_NV21:
        layout = VideoDecoder::Layout::nv21;
        break;
    default:
        break;
    }
    if (!layout || !frame.map(QVideoFrame::ReadOnly))
        return frame.toImage();
    VideoDecoder::Colors colors = VideoDecoder::defaultColors(frame.height());
    switch (format.colorSpace()) {
    case QVideoFrameFormat::ColorSpace_BT601:
        colors.matrix = VideoDecoder::Colors::Matrix::bt601;
        break;
    case QVideoFrameFormat::ColorSpace_BT709:
        colors.matrix = VideoDecoder::Colors::Matrix::bt709;
        break;
    case QVideoFrameFormat::ColorSpace_BT2020:
        colors.matrix = VideoDecoder::Colors::Matrix::bt2020;
        break;
    default:
        break;
    }
    colors.fullRange = format.colorRange() == QVideoFrameFormat::ColorRange_Full;
    const uchar* planes[3] = {frame.bits(0), frame.bits(1), frame.bits(2)};
    const int strides[3] = {frame.bytesPerLine(0), frame.bytesPerLine(1), frame.bytesPerLine(2)};
    QSizeF size(frame.size());
    size.scale(box, Qt::KeepAspectRatio);
    const QImage image = VideoDecoder::convert(*layout, frame.size(), planes, strides, colors,
                                               size.toSize().expandedTo(QSize(1, 1)));
    frame.unmap();
    return image;
}
