#pragma once

#include <QHash>
#include <QSizeF>
#include <QString>
#include <QUrl>
#include <memory>

/// One listed image or video. Shared by identity between the library's
/// listings, the panel and the grid; equal and hashed by its path string.
/// Dates are seconds since 1970 as doubles (the distant past when unknown).
class Shot {
public:
    Shot(QString path, double created, double modified, QSizeF pixelSize, bool isVideo,
         bool isScreenshot);

    /// The file's full path: the key of this shot everywhere.
    const QString path;
    const double created;
    const double modified;
    const bool isVideo;
    const bool isScreenshot;

    // Corrected later by the thumbnail cache, on the main thread only.
    QSizeF pixelSize;
    double duration = 0;

    QUrl url() const { return QUrl::fromLocalFile(path); }

    /// A new shot for `to` with every other field (duration included) copied.
    std::shared_ptr<Shot> moved(const QString& to) const;

    bool operator==(const Shot& other) const { return path == other.path; }
};

using ShotPtr = std::shared_ptr<Shot>;
using ShotList = QList<ShotPtr>;

/// The date the file system reports when it has none.
inline constexpr double kDistantPast = -62135769600.0;

inline size_t qHash(const Shot& shot, size_t seed = 0) {
    return qHash(shot.path, seed);
}
