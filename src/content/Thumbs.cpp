#include "content/Thumbs.h"

#include "platform/ImageDecoder.h"
#include "platform/Log.h"
#include "platform/VideoDecoder.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <charconv>
#include <cmath>

namespace {

// How long quitting waits for the decodes running; a file on a stalled mount
// must not keep the process alive.
constexpr int kQuitWaitMs = 3000;

Thumbs* sharedInstance = nullptr;

// The last moment the application object is whole: the global thread pool and
// the event dispatcher still exist. A cache whose decodes all ended is deleted;
// one stuck in a read is left to the process's end rather than waited for.
void shutDownShared() {
    if (sharedInstance && sharedInstance->shutdown(kQuitWaitMs))
        delete sharedInstance;
    sharedInstance = nullptr;
}

} // namespace

Thumbs& Thumbs::shared() {
    if (!sharedInstance) {
        sharedInstance = new Thumbs;
        // More decodes than cores would only slow the first images down.
        sharedInstance->setWorkers(QThread::idealThreadCount());
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QObject::connect(app, &QCoreApplication::aboutToQuit, sharedInstance,
                             [] { sharedInstance->shutdown(kQuitWaitMs); });
            qAddPostRoutine(shutDownShared);
        }
    }
    return *sharedInstance;
}

Thumbs::Thumbs(Decoder decoder, QObject* parent)
    : QObject(parent)
    , m_decoder(std::move(decoder)) {
    m_pool.setMaxThreadCount(maxDecodes);
    m_pool.setObjectName(QStringLiteral("tamberk.thumbs"));
}

Thumbs::~Thumbs() {
    shutdown(-1);
}

bool Thumbs::shutdown(int timeoutMs) {
    m_stopping->store(true);
    m_pool.clear();
    // Waiting requests are dropped; the decodes running finish into nothing.
    m_jobs.clear();
    m_tickets.clear();
    m_running = 0;
    m_reserved = 0;
    const bool done = m_pool.waitForDone(timeoutMs);
    if (!done)
        qCWarning(lcTamberk) << "thumbnails: a decode did not end in time; not waiting for it";
    return done;
}

void Thumbs::setWorkers(int count) {
    m_workers = std::clamp(count, 1, maxDecodes);
    m_pool.setMaxThreadCount(m_workers);
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

qsizetype Thumbs::limitFor(QSizeF viewport, double ratio) {
    const double pixels = viewport.width() * viewport.height() * ratio * ratio;
    const double bytes = pixels * 4 * screensKept;
    return qsizetype(std::clamp(bytes, double(minLimit), double(maxLimit)));
}

void Thumbs::setLimit(qsizetype bytes) {
    m_limit = std::clamp(bytes, minLimit, maxLimit);
    applyLimit();
}

void Thumbs::applyLimit() {
    // What the running decodes will hand in is counted before it arrives.
    m_cache.setMaxCost(std::max<qsizetype>(m_limit - m_reserved, 0));
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

Thumbs::Ticket Thumbs::load(const ShotPtr& shot, int bucket, Completion completion) {
    if (stopped()) {
        completion(QImage());
        return 0;
    }
    const QString k = key(*shot, bucket);
    if (const QImage* image = m_cache.object(k)) {
        completion(*image);
        return 0;
    }
    const Ticket ticket = ++m_lastTicket;
    m_tickets.insert(ticket, k);
    Job& job = m_jobs[k];
    if (!job.shot) {
        job.shot = shot;
        job.bucket = bucket;
    }
    job.waiters.append({ticket, std::move(completion)});
    if (!job.started)
        job.rank = ++m_lastRank;
    schedulePump();
    return ticket;
}

void Thumbs::cancel(Ticket ticket) {
    const QString k = m_tickets.take(ticket);
    auto job = m_jobs.find(k);
    if (job == m_jobs.end())
        return;
    job->waiters.removeIf([ticket](const auto& waiter) { return waiter.first == ticket; });
    if (!job->waiters.isEmpty())
        return;
    if (!job->started) {
        m_jobs.erase(job);
        return;
    }
    // Its result no longer needs room made for it.
    m_reserved -= std::exchange(job->reserved, 0);
    applyLimit();
}

void Thumbs::bump(Ticket ticket) {
    auto job = m_jobs.find(m_tickets.value(ticket));
    if (job != m_jobs.end() && !job->started)
        job->rank = ++m_lastRank;
}

void Thumbs::schedulePump() {
    // Decodes start once the caller has asked for (and ranked) everything it
    // wants now, not with its first request.
    if (m_pumpScheduled)
        return;
    m_pumpScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_pumpScheduled = false;
            pump();
        },
        Qt::QueuedConnection);
}

int Thumbs::waiting() const {
    return int(m_jobs.size()) - m_running;
}

void Thumbs::pump() {
    while (m_running < m_workers && !stopped()) {
        auto best = m_jobs.end();
        for (auto it = m_jobs.begin(); it != m_jobs.end(); ++it) {
            if (!it->started && (best == m_jobs.end() || it->rank > best->rank))
                best = it;
        }
        if (best == m_jobs.end())
            return;
        start(best.key(), *best);
    }
}

void Thumbs::start(const QString& key, Job& job) {
    const QSizeF px = job.shot->pixelSize;
    const QSize fitted = px.width() >= 1 && px.height() >= 1
                             ? ImageDecoder::fitted(px.toSize(), job.bucket)
                             : QSize(job.bucket, job.bucket * 5 / 8);
    job.started = true;
    job.reserved = qsizetype(fitted.width()) * fitted.height() * 4;
    m_reserved += job.reserved;
    ++m_running;
    applyLimit();
    // The worker gets copies only. `this` outlives it: shutting down waits for
    // the pool (or, when that times out, leaves the cache alive for good), and
    // a stopped cache's workers post nothing.
    m_pool.start([this, decoder = m_decoder, stopping = m_stopping, path = job.shot->path,
                  isVideo = job.shot->isVideo, bucket = job.bucket, key] {
        if (stopping->load())
            return;
        Made made = decoder(path, isVideo, bucket);
        if (stopping->load())
            return;
        QMetaObject::invokeMethod(
            this, [this, key, made = std::move(made)] { finish(key, made); }, Qt::QueuedConnection);
    });
}

void Thumbs::finish(const QString& key, const Made& made) {
    auto it = m_jobs.find(key);
    if (it == m_jobs.end() || !it->started)
        return;
    Job job = std::move(*it);
    m_jobs.erase(it);
    --m_running;
    m_reserved -= job.reserved;
    applyLimit();
    const ShotPtr& shot = job.shot;
    if (!made.image.isNull()) {
        const qsizetype cost = made.image.bytesPerLine() * qsizetype(made.image.height());
        // An image nobody waits for any more only fills spare room.
        if (!job.waiters.isEmpty() || m_cache.totalCost() + cost <= m_cache.maxCost())
            m_cache.insert(key, new QImage(made.image), cost);
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
    for (const auto& [ticket, completion] : job.waiters) {
        m_tickets.remove(ticket);
        completion(made.image);
    }
    pump();
}
