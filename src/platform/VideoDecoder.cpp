#include "platform/VideoDecoder.h"

#include "platform/ImageDecoder.h"
#include "platform/Log.h"
#include "platform/RegularFile.h"

#include <QFile>
#include <QTransform>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace {

// Frames of this many pixels or fewer stay within the decode budget: a
// decoder keeps a handful of reference frames of 1.5 bytes a pixel.
constexpr qint64 kMaxPixels = ImageDecoder::memoryBudget / 12;
// A stream whose timestamps never reach the sample time gives up here.
constexpr int kMaxFrames = 600;

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;

// Clockwise degrees, a multiple of 90, that turn the stored picture upright.
int displayRotation(const AVStream* stream) {
    const uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!data)
        return 0;
    const double ccw = av_display_rotation_get(reinterpret_cast<const int32_t*>(data));
    if (std::isnan(ccw))
        return 0;
    const int clockwise = int(std::lround(-ccw / 90.0)) * 90;
    return ((clockwise % 360) + 360) % 360;
}

double containerDuration(const AVFormatContext* format, const AVStream* stream) {
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        return double(format->duration) / AV_TIME_BASE;
    if (stream && stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        return double(stream->duration) * av_q2d(stream->time_base);
    return 0;
}

// The frame's size as shown: anamorphic streams at their display width.
QSize displaySize(const AVFrame* frame, AVRational sampleAspect) {
    int width = frame->width;
    if (sampleAspect.num > 0 && sampleAspect.den > 0 && sampleAspect.num != sampleAspect.den)
        width = int(std::lround(width * av_q2d(sampleAspect)));
    return QSize(width, frame->height);
}

int swsColorspace(VideoDecoder::Colors::Matrix matrix) {
    switch (matrix) {
    case VideoDecoder::Colors::Matrix::bt601:
        return SWS_CS_ITU601;
    case VideoDecoder::Colors::Matrix::bt2020:
        return SWS_CS_BT2020;
    case VideoDecoder::Colors::Matrix::bt709:
        break;
    }
    return SWS_CS_ITU709;
}

// The colours the stream declares, else what players assume for it.
VideoDecoder::Colors colorsOf(const AVFrame* frame) {
    VideoDecoder::Colors colors = VideoDecoder::defaultColors(frame->height);
    switch (frame->colorspace) {
    case AVCOL_SPC_BT709:
        colors.matrix = VideoDecoder::Colors::Matrix::bt709;
        break;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_FCC:
        colors.matrix = VideoDecoder::Colors::Matrix::bt601;
        break;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        colors.matrix = VideoDecoder::Colors::Matrix::bt2020;
        break;
    default:
        break;
    }
    const auto format = AVPixelFormat(frame->format);
    colors.fullRange = frame->color_range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P ||
                       format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P;
    return colors;
}

// A scaler to RGB32 that reads YUV with `colors`; RGB sources ignore them.
SwsContext* scaler(QSize from, AVPixelFormat format, QSize to, VideoDecoder::Colors colors) {
    SwsContext* sws = sws_getContext(from.width(), from.height(), format, to.width(), to.height(),
                                     AV_PIX_FMT_RGB32, SWS_AREA, nullptr, nullptr, nullptr);
    if (!sws)
        return nullptr;
    int* inverse = nullptr;
    int* table = nullptr;
    int srcRange = 0, dstRange = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(sws, &inverse, &srcRange, &table, &dstRange, &brightness,
                                 &contrast, &saturation) >= 0) {
        // YUVJ formats come in as full range whatever is set; the others follow `colors`.
        sws_setColorspaceDetails(sws, sws_getCoefficients(swsColorspace(colors.matrix)),
                                 colors.fullRange ? 1 : srcRange, table, 1, brightness, contrast,
                                 saturation);
    }
    return sws;
}

QImage toImage(const AVFrame* frame, AVRational sampleAspect, int maxPixel) {
    const QSize size = ImageDecoder::fitted(displaySize(frame, sampleAspect), maxPixel);
    if (size.isEmpty())
        return {};
    SwsContext* sws = scaler(QSize(frame->width, frame->height), AVPixelFormat(frame->format), size,
                             colorsOf(frame));
    if (!sws)
        return {};
    QImage image(size, QImage::Format_RGB32);
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    const int rows =
        sws_scale(sws, frame->data, frame->linesize, 0, frame->height, planes, strides);
    sws_freeContext(sws);
    return rows > 0 ? image : QImage();
}

// Decodes from the current read position and keeps the frame on screen at
// `at` seconds: the last one starting no later than that, else the first one.
FramePtr frameAt(AVFormatContext* format, AVCodecContext* codec, const AVStream* stream,
                 double at) {
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    FramePtr kept;
    if (!packet || !frame)
        return {};
    const double base = av_q2d(stream->time_base);
    const int64_t start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
    bool draining = false;
    for (int decoded = 0; decoded < kMaxFrames;) {
        if (!draining) {
            const int read = av_read_frame(format, packet.get());
            if (read < 0) {
                draining = true;
                avcodec_send_packet(codec, nullptr);
            } else {
                if (packet->stream_index == stream->index)
                    avcodec_send_packet(codec, packet.get());
                av_packet_unref(packet.get());
            }
        }
        while (true) {
            const int got = avcodec_receive_frame(codec, frame.get());
            if (got == AVERROR_EOF)
                return kept;
            if (got < 0)
                break;
            ++decoded;
            const int64_t pts = frame->best_effort_timestamp;
            const double time = pts == AV_NOPTS_VALUE ? 0 : double(pts - start) * base;
            if (time > at + 1e-3 && kept)
                return kept;
            kept.reset(av_frame_clone(frame.get()));
            av_frame_unref(frame.get());
            if (time > at + 1e-3)
                return kept;
        }
    }
    return kept;
}

} // namespace

namespace VideoDecoder {

Colors defaultColors(int height) {
    Colors colors;
    colors.matrix = height > 576 ? Colors::Matrix::bt709 : Colors::Matrix::bt601;
    return colors;
}

QImage convert(Layout layout, QSize size, const uchar* const planes[3], const int strides[3],
               Colors colors, QSize out) {
    if (size.isEmpty() || out.isEmpty())
        return {};
    AVPixelFormat format = AV_PIX_FMT_YUV420P;
    const uint8_t* data[4] = {planes[0], planes[1], planes[2], nullptr};
    int lines[4] = {strides[0], strides[1], strides[2], 0};
    switch (layout) {
    case Layout::i420:
        break;
    case Layout::yv12: // the chroma planes the other way round
        std::swap(data[1], data[2]);
        std::swap(lines[1], lines[2]);
        break;
    case Layout::nv12:
        format = AV_PIX_FMT_NV12;
        break;
    case Layout::nv21:
        format = AV_PIX_FMT_NV21;
        break;
    }
    SwsContext* sws = scaler(size, format, out, colors);
    if (!sws)
        return {};
    QImage image(out, QImage::Format_RGB32);
    uint8_t* target[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int targetLines[4] = {int(image.bytesPerLine()), 0, 0, 0};
    const int rows = sws_scale(sws, data, lines, 0, size.height(), target, targetLines);
    sws_freeContext(sws);
    return rows > 0 ? image : QImage();
}

double sampleTime(double duration) {
    if (!(duration > 0) || !std::isfinite(duration))
        return 0;
    return std::min(duration / 3, 0.5);
}

Poster poster(const QString& path, int maxPixel) {
    static std::once_flag once;
    // Damaged files are common in a screenshot folder; their decoder chatter is not.
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });

    Poster result;
    // A recording replaced by a FIFO or a device must not hang the decoder;
    // the demuxer then opens exactly the regular file checked here.
    const RegularFile source(path, std::numeric_limits<qint64>::max());
    if (!source.isOpen())
        return result;
    AVFormatContext* rawFormat = nullptr;
    if (avformat_open_input(&rawFormat, source.name().constData(), nullptr, nullptr) < 0)
        return result;
    FormatPtr format(rawFormat);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return result;
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVStream* stream = index < 0 ? nullptr : format->streams[index];
    const double duration = containerDuration(format.get(), stream);
    result.duration = std::isfinite(duration) ? duration : 0;
    if (!stream)
        return result;
    const AVCodecParameters* params = stream->codecpar;
    if (qint64(params->width) * params->height > kMaxPixels) {
        qCWarning(lcTamberk) << "video frame too large to decode:" << path << params->width
                             << params->height;
        return result;
    }
    const AVCodec* decoder = avcodec_find_decoder(params->codec_id);
    CodecPtr codec(decoder ? avcodec_alloc_context3(decoder) : nullptr);
    if (!codec || avcodec_parameters_to_context(codec.get(), params) < 0)
        return result;
    // Four workers already decode side by side; frame threads would only add memory.
    codec->thread_count = 1;
    codec->max_pixels = kMaxPixels;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0)
        return result;

    const double at = sampleTime(result.duration);
    if (at > 0) {
        const int64_t start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
        const int64_t target = start + int64_t(at / av_q2d(stream->time_base));
        // A failed seek leaves the reader at the start, which only costs time.
        if (av_seek_frame(format.get(), index, target, AVSEEK_FLAG_BACKWARD) >= 0)
            avcodec_flush_buffers(codec.get());
    }
    FramePtr frame = frameAt(format.get(), codec.get(), stream, at);
    if (!frame) {
        qCWarning(lcTamberk) << "no video frame in" << path;
        return result;
    }
    QImage image = toImage(frame.get(), stream->sample_aspect_ratio, maxPixel);
    if (image.isNull())
        return result;
    const QSize shown = displaySize(frame.get(), stream->sample_aspect_ratio);
    const int rotation = displayRotation(stream);
    if (rotation != 0)
        image = image.transformed(QTransform().rotate(rotation));
    result.frameSize = rotation % 180 ? shown.transposed() : shown;
    result.image = image;
    return result;
}

} // namespace VideoDecoder
