#include "platform/ImageShrink.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Where one source pixel lands along an axis: the target pixel `at` takes
// `first` of it, the next one `second` (zero when it falls inside one pixel).
// Measured in target pixels, so the shares a target pixel receives add up to 1.
struct Span {
    int at = 0;
    float first = 0;
    float second = 0;
};

std::vector<Span> spans(int from, int to) {
    std::vector<Span> out(static_cast<size_t>(from));
    const double s = double(to) / from;
    for (int i = 0; i < from; ++i) {
        const double a = i * s, b = (i + 1) * s;
        const int at = std::min(int(a), to - 1);
        Span span{at, float(std::min(b, double(at + 1)) - a), 0};
        if (b > at + 1 && at + 1 < to)
            span.second = float(b - (at + 1));
        out[size_t(i)] = span;
    }
    return out;
}

// One source row as premultiplied ARGB. Only single-row images are converted,
// which Qt does on the calling thread.
const QRgb* rowOf(const QImage& source, int y, QImage& scratch, bool premultiply) {
    const uchar* line = source.constScanLine(y);
    const QImage::Format format = source.format();
    if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32_Premultiplied)
        return reinterpret_cast<const QRgb*>(line);
    if (format == QImage::Format_ARGB32 && premultiply) {
        auto* out = reinterpret_cast<QRgb*>(scratch.bits());
        const auto* in = reinterpret_cast<const QRgb*>(line);
        for (int x = 0; x < source.width(); ++x)
            out[x] = qPremultiply(in[x]);
        return out;
    }
    QImage one(line, source.width(), 1, source.bytesPerLine(), format);
    // A palette image's row means nothing without its palette.
    one.setColorTable(source.colorTable());
    QImage converted = one.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    std::copy_n(reinterpret_cast<const QRgb*>(converted.constBits()), source.width(),
                reinterpret_cast<QRgb*>(scratch.bits()));
    return reinterpret_cast<const QRgb*>(scratch.constBits());
}

} // namespace

namespace ImageShrink {

QImage to(const QImage& source, QSize size) {
    if (source.isNull() || size.isEmpty())
        return {};
    const int sw = source.width(), sh = source.height();
    const int dw = std::min(size.width(), sw), dh = std::min(size.height(), sh);
    const bool alpha = source.hasAlphaChannel();
    QImage out(dw, dh, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (out.isNull())
        return {};
    const std::vector<Span> across = spans(sw, dw);
    const std::vector<Span> down = spans(sh, dh);
    QImage scratch(sw, 1, QImage::Format_ARGB32_Premultiplied);
    std::vector<float> row(size_t(dw) * 4), current(size_t(dw) * 4), next(size_t(dw) * 4);
    int target = 0;
    auto flush = [&] {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(target));
        for (int x = 0; x < dw; ++x) {
            const float* p = &current[size_t(x) * 4];
            auto c = [&](int i) { return std::clamp(int(std::lround(p[i])), 0, 255); };
            const int a = alpha ? c(3) : 255;
            line[x] = qRgba(std::min(c(0), a), std::min(c(1), a), std::min(c(2), a), a);
        }
        ++target;
        std::swap(current, next);
        std::fill(next.begin(), next.end(), 0.0f);
    };
    for (int y = 0; y < sh; ++y) {
        const QRgb* in = rowOf(source, y, scratch, alpha);
        std::fill(row.begin(), row.end(), 0.0f);
        for (int x = 0; x < sw; ++x) {
            const Span& s = across[size_t(x)];
            const QRgb p = in[x];
            const float c[4] = {float(qRed(p)), float(qGreen(p)), float(qBlue(p)),
                                float(qAlpha(p))};
            float* a = &row[size_t(s.at) * 4];
            for (int i = 0; i < 4; ++i)
                a[i] += c[i] * s.first;
            if (s.second > 0) {
                for (int i = 0; i < 4; ++i)
                    a[4 + i] += c[i] * s.second;
            }
        }
        const Span& s = down[size_t(y)];
        while (target < s.at)
            flush();
        for (size_t i = 0; i < row.size(); ++i)
            current[i] += row[i] * s.first;
        if (s.second > 0) {
            for (size_t i = 0; i < row.size(); ++i)
                next[i] += row[i] * s.second;
        }
    }
    while (target < dh)
        flush();
    return out;
}

} // namespace ImageShrink
