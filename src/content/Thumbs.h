#pragma once

#include "library/Shot.h"

#include <QCache>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <array>
#include <functional>
#include <optional>
#include <utility>

/// Downscaled images of shots for the grid's cells: a memory cache limited by
/// bitmap bytes, filled by a small pool of background decodes, with concurrent
/// requests for one image served by one decode. As a side effect of decoding it
/// corrects a shot's pixel size and duration. Used on the main thread only.
class Thumbs final : public QObject {
    Q_OBJECT
public:
    /// The allowed longest sides of a produced image, ascending.
    static constexpr std::array<int, 5> buckets{160, 320, 640, 1280, 2560};
    /// Total bytes-per-line × height the cache may hold (600 MiB).
    static constexpr qsizetype costLimit = 600LL * 1024 * 1024;
    /// Decodes running at once.
    static constexpr int maxDecodes = 4;

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

    /// The process-wide instance, created on first use.
    static Thumbs& shared();

    /// A cache with its own decoder; the shared instance uses make().
    explicit Thumbs(Decoder decoder = &Thumbs::make, QObject* parent = nullptr);
    /// Waits for running decodes; their completions are dropped.
    ~Thumbs() override;

    /// The smallest bucket at least `size`, or the largest bucket.
    static int bucket(double size);
    /// The cache key: path, "|", modification seconds (shortest round trip,
    /// at least one decimal), "|", bucket.
    static QString key(const Shot& shot, int bucket);
    /// The decoder: a still image's or recording's thumbnail, longest side at
    /// most maxPixel, and a recording's duration.
    static Made make(const QString& path, bool isVideo, int maxPixel);

    /// The largest cached image not above `upTo`, else the smallest above it.
    std::optional<std::pair<QImage, int>> cached(const Shot& shot, int upTo) const;
    /// Delivers the shot's image at `bucket`, at once when cached, else after a
    /// decode; `completion` runs on the main thread exactly once.
    void load(const ShotPtr& shot, int bucket, Completion completion);

signals:
    /// A decoded image corrected the shot's pixel size.
    void aspectChanged(const ShotPtr& shot);

private:
    void finish(const QString& key, const ShotPtr& shot, const Made& made);

    Decoder m_decoder;
    QCache<QString, QImage> m_cache{costLimit};
    QHash<QString, QList<Completion>> m_waiting;
    QThreadPool m_pool;
};
