#pragma once

#include "library/Shot.h"

#include <QHash>
#include <QSet>
#include <QSizeF>
#include <QStringList>
#include <atomic>
#include <optional>

/// The scan filter in force, built afresh for every scan.
struct ScanOptions {
    /// Leave out root-folder entries that are not screenshots.
    bool onlyShots = true;
    /// Lower-case file-name prefixes that mark a screenshot.
    QStringList prefixes;

    /// "t2.onlyShots" and the built-in prefixes plus the system tool's prefix
    /// as last detected (CaptureCache).
    static ScanOptions current();
};

/// Shots already listed, keyed by path: an unchanged file is taken from here.
using ShotCache = QHash<QString, ShotPtr>;

/// Directories reported as changed and, where the events named them, the
/// entries that changed in each. A directory without names may have changed
/// anywhere: events were lost, it was polled, or it moved itself.
struct DirChanges {
    QStringList dirs;
    QHash<QString, QSet<QString>> names;

    /// `dir` changed in ways no name covers.
    void add(const QString& dir);
    /// The entry `name` of `dir` changed.
    void add(const QString& dir, const QString& name);
    /// `dir` as `other` reports it: with its names, or as changed anywhere.
    void add(const DirChanges& other, const QString& dir);
    void merge(const DirChanges& other);
    bool isEmpty() const { return dirs.isEmpty(); }
};

/// Turns directories into shots. Pure: reads the file system, returns values,
/// and may run on any thread.
namespace FolderScanner {

/// The 16 built-in screenshot name prefixes, lower case, in order.
extern const QStringList basePrefixes;
/// Linux naming of desktop recordings ("screencast"), tested after basePrefixes.
extern const QStringList linuxPrefixes;
/// Image extensions (compared lower-cased).
extern const QStringList imageExts;
/// Video extensions: mov, mp4, m4v, plus the Linux recorders' webm and mkv.
extern const QStringList videoExts;
inline constexpr int depthLimit = 3;
inline constexpr int budgetLimit = 400;

struct Listing {
    ShotList shots;      // in listing order
    QStringList subdirs; // sorted by sortFolders; empty unless asked for
};

/// Lists one directory; nothing when it cannot be listed. With `changed`
/// (the names of the entries known to have changed since `cache` was listed),
/// a cached file whose name is not among them is taken as is, without a stat.
std::optional<Listing> list(const QString& dir, bool filter, const ScanOptions& opts,
                            const ShotCache& cache, bool wantSubdirs, bool measure,
                            const QSet<QString>* changed = nullptr);

struct Tree {
    QHash<QString, ShotList> listing;
    QHash<QString, QStringList> children;
    bool ok = true;
};

/// Breadth-first walk from `from` (at `depth` below `root`); `budget` is shared
/// by reference and decremented for every subdirectory entered.
Tree tree(const QString& from, int depth, const QString& root, const ScanOptions& opts,
          const ShotCache& cache, int& budget);

/// Numeric-aware, case-insensitive, stable order of folder paths by name.
void sortFolders(QStringList& folders);

/// Upright pixel size of an image from its header; (0, 0) when unknown.
QSizeF pixelSize(const QString& path);

/// Costly reads made by the scanner, counted so tests can show that an
/// unchanged file is reused without them. Process-wide; relaxed atomics.
struct ScanCounters {
    std::atomic<qint64> markReads{0};   // capture-mark attribute queries
    std::atomic<qint64> headerReads{0}; // image header measurements
    void reset() {
        markReads = 0;
        headerReads = 0;
    }
};
/// The process-wide counters.
ScanCounters& counters();

struct RescanResult {
    QSet<QString> dirs;
    QHash<QString, ShotList> updates;
    QHash<QString, QStringList> children;
    QSet<QString> vanished;
    bool rootOK = true;
};

/// One rescan job: built on the main thread, run on the scan worker.
struct Rescan {
    QSet<QString> dirs;
    QString root;
    ScanOptions opts;
    QHash<QString, int> depths;
    QHash<QString, QStringList> oldChildren;
    ShotCache cache;
    /// For directories whose changed entries are known, their names; the
    /// other entries of those directories are taken from `cache` unchecked.
    QHash<QString, QSet<QString>> changed;

    RescanResult run() const;
};

} // namespace FolderScanner
