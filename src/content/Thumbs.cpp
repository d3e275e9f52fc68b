#include "content/Thumbs.h"

#include "platform/ImageDecoder.h"
#include "platform/VideoDecoder.h"

#include <QMetaObject>
#include <charconv>
#include <cmath>

Thumbs& Thumbs::shared() {
    static Thumbs instance;
    return instance;
}

Thumbs::Thumbs(Decoder decoder, QObject* parent)
    : QObject(parent)
    , m_decoder(std::move(decoder)) {
    m_pool.setMaxThreadCount(maxDecodes);
    m_pool.setObjectName(QStringLiteral("tamberk.thumbs"));
}

Thumbs::~Thumbs() {
    m_pool.clear();
    m_pool.waitForDone();
}

int Thumbs::bucket(double size) {
    for (const int b : buckets) {
        if (b >= size)
            return b;
    }
    return buckets.back();
}

QString Thumbs::key(const Shot& shot, int bucket) {
    // Fixed notation with the fewest digits that read back as the same double.
    char digits[400];
    const auto [end, error] =
        std::to_chars(digits, digits + sizeof digits - 2, shot.modified, std::chars_format::fixed);
    QByteArray seconds(digits, error == std::errc() ? int(end - digits) : 0);
    if (std::isfinite(shot.modified) && !seconds.contains('.'))
        seconds += ".0";
    return shot.path + QLatin1Char('|') + QLatin1String(seconds) + QLatin1Char('|') +
           QString::number(bucket);
}

Thumbs::Made Thumbs::make(const QString& path, bool isVideo, int maxPixel) {
    if (isVideo) {
        VideoDecoder::Poster poster = VideoDecoder::poster(path, maxPixel);
        return {std::move(poster.image), poster.duration, poster.frameSize};
    }
    return {ImageDecoder::thumbnail(path, maxPixel), 0, {}};
}

std::optional<std::pair<QImage, int>> Thumbs::cached(const Shot& shot, int upTo) const {
    for (auto b = buckets.rbegin(); b != buckets.rend(); ++b) {
        if (*b > upTo)
            continue;
        if (const QImage* image = m_cache.object(key(shot, *b)))
            return std::pair(*image, *b);
    }
    for (const int b : buckets) {
        if (b <= upTo)
            continue;
        if (const QImage* image = m_cache.object(key(shot, b)))
            return std::pair(*image, b);
    }
    return std::nullopt;
}

void Thumbs::load(const ShotPtr& shot, int bucket, Completion completion) {
    const QString k = key(*shot, bucket);
    if (const QImage* image = m_cache.object(k)) {
        completion(*image);
        return;
    }
    if (auto waiting = m_waiting.find(k); waiting != m_waiting.end()) {
        waiting->append(std::move(completion));
        return;
    }
    m_waiting.insert(k, {std::move(completion)});
    // The worker gets copies only. `this` outlives it: the destructor waits for
    // the pool, and a queued call to a destroyed receiver is dropped by Qt.
    m_pool.start(
        [this, decoder = m_decoder, path = shot->path, isVideo = shot->isVideo, bucket, k, shot] {
            Made made = decoder(path, isVideo, bucket);
            QMetaObject::invokeMethod(
                this, [this, k, shot, made = std::move(made)] { finish(k, shot, made); },
                Qt::QueuedConnection);
        });
}

void Thumbs::finish(const QString& key, const ShotPtr& shot, const Made& made) {
    if (!made.image.isNull()) {
        m_cache.insert(key, new QImage(made.image),
                       made.image.bytesPerLine() * qsizetype(made.image.height()));
        const QSizeF recorded = shot->pixelSize;
        // A recording's size is its frame's, never the poster's (a bucket's).
        const QSizeF frame = shot->isVideo && !made.size.isEmpty() ? QSizeF(made.size) : QSizeF();
        const double recordedAspect = recorded.width() > 1 && recorded.height() > 1
                                          ? recorded.height() / recorded.width()
                                          : 0.625;
        const double imageAspect = double(made.image.height()) / std::max(made.image.width(), 1);
        if (!frame.isEmpty()) {
            if (recorded != frame) {
                shot->pixelSize = frame;
                emit aspectChanged(shot);
            }
        } else if (recorded.width() < 1 ||
                   (shot->isVideo && std::abs(recordedAspect - imageAspect) > 0.01)) {
            shot->pixelSize = QSizeF(made.image.size());
            emit aspectChanged(shot);
        }
    }
    if (made.duration > 0)
        shot->duration = made.duration;
    const QList<Completion> completions = m_waiting.take(key);
    for (const Completion& completion : completions)
        completion(made.image);
}
