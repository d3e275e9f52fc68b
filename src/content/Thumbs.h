#pragma once

#include "library/Shot.h"

#include <QCache>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSizeF>
#include <QString>
#include <QThreadPool>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

/// Downscaled images of shots for the grid's cells: a memory cache limited by
/// bitmap bytes, filled by a small pool of background decodes, with concurrent
/// requests for one image served by one decode. Requests wait in a queue of
/// their own, newest (or most recently bumped) first, so the cells on screen
/// are decoded before the ones scrolled past, and a request whose cell left
/// can be cancelled before its decode starts. As a side effect of decoding it
/// corrects a shot's pixel size and duration. Used on the main thread only.
class Thumbs final : public QObject {
    Q_OBJECT
public:
    /// The allowed longest sides of a produced image, ascending.
    static constexpr std::array<int, 5> buckets{160, 320, 640, 1280, 2560};
    /// The range of the byte limit: cached bitmaps plus the decodes under way.
    static constexpr qsizetype minLimit = 64LL * 1024 * 1024;
    static constexpr qsizetype maxLimit = 600LL * 1024 * 1024;
    /// Screens of images the limit holds: the one shown, the prefetch margin
    /// on both sides, and some to scroll back to.
    static constexpr int screensKept = 8;
    /// Decodes running at once, at most; the shared cache runs one per core.
    static constexpr int maxDecodes = 4;
    /// Names one request for cancelling or bumping it; 0 for none.
    using Ticket = quint64;

    /// What a decode produced: a null image when it failed.
    struct Made {
        QImage image;
        double duration = 0; ///< Seconds for a recording; 0 when unknown or a still image.
        QSize size;          ///< A recording's frame size as shown; empty when unknown.
    };
    /// Decodes one file; runs on a worker thread.
    using Decoder = std::function<Made(const QString& path, bool isVideo, int maxPixel)>;
    /// Receives the image of one load, null when none could be made.
    using Completion = std::function<void(const QImage& image)>;

    /// The process-wide instance, created on first use. It is shut down when the
    /// application is about to quit (and again, at the latest, when the
    /// application object is destroyed), never by the exit handlers.
    static Thumbs& shared();

    /// A cache with its own decoder; the shared instance uses make().
    explicit Thumbs(Decoder decoder = &Thumbs::make, QObject* parent = nullptr);
    /// Waits for running decodes; their completions are dropped.
    ~Thumbs() override;

    /// Stops taking work: drops every waiting request (their completions never
    /// run) and waits up to `timeoutMs` for the decodes running. True when none
    /// runs any more. Later loads answer with a null image at once.
    bool shutdown(int timeoutMs);
    bool stopped() const { return m_stopping->load(); }

    /// The smallest bucket at least `size`, or the largest bucket.
    static int bucket(double size);
    /// The cache key: path, "|", modification seconds (shortest round trip,
    /// at least one decimal), "|", bucket.
    static QString key(const Shot& shot, int bucket);
    /// The decoder: a still image's or recording's thumbnail, longest side at
    /// most maxPixel, and a recording's duration.
    static Made make(const QString& path, bool isVideo, int maxPixel);

    /// The byte limit for a view of `viewport` points at `ratio` device pixels
    /// per point: screensKept screens of 32-bit pixels, within min/maxLimit.
    static qsizetype limitFor(QSizeF viewport, double ratio);
    /// Bytes the cached bitmaps and the running decodes may hold together.
    qsizetype limit() const { return m_limit; }
    void setLimit(qsizetype bytes);
    /// Bytes held now: cached bitmaps plus the estimate of the running decodes.
    qsizetype held() const { return m_cache.totalCost() + m_reserved; }

    /// The largest cached image not above `upTo`, else the smallest above it.
    std::optional<std::pair<QImage, int>> cached(const Shot& shot, int upTo) const;
    /// Delivers the shot's image at `bucket`, at once when cached, else after a
    /// decode; `completion` runs on the main thread exactly once unless the
    /// request is cancelled. Returns the request's ticket, 0 when it was
    /// answered at once.
    Ticket load(const ShotPtr& shot, int bucket, Completion completion);
    /// Withdraws a request: its completion never runs, and a decode no request
    /// wants any more is not started (one already running finishes, and its
    /// image is kept only if the limit has room without evicting anything).
    void cancel(Ticket ticket);
    /// Puts a waiting request ahead of every other.
    void bump(Ticket ticket);
    /// Decodes waiting for a worker, and running.
    int waiting() const;
    int running() const { return m_running; }
    /// Decodes run at once (maxDecodes unless set lower).
    int workers() const { return m_workers; }
    void setWorkers(int count);

signals:
    /// A decoded image corrected the shot's pixel size.
    void aspectChanged(const ShotPtr& shot);

private:
    struct Job {
        ShotPtr shot;
        int bucket = 0;
        QList<std::pair<Ticket, Completion>> waiters;
        quint64 rank = 0;
        bool started = false;
        qsizetype reserved = 0; // estimated bytes of the result, while someone waits for it
    };
    void schedulePump();
    void pump();
    void start(const QString& key, Job& job);
    void finish(const QString& key, const Made& made);
    void applyLimit();

    Decoder m_decoder;
    QCache<QString, QImage> m_cache{maxLimit};
    QHash<QString, Job> m_jobs; // waiting and running, by cache key
    QHash<Ticket, QString> m_tickets;
    Ticket m_lastTicket = 0;
    quint64 m_lastRank = 0;
    int m_running = 0;
    int m_workers = maxDecodes;
    bool m_pumpScheduled = false;
    qsizetype m_limit = maxLimit;
    qsizetype m_reserved = 0;
    std::shared_ptr<std::atomic<bool>> m_stopping = std::make_shared<std::atomic<bool>>(false);
    QThreadPool m_pool;
};
