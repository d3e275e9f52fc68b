#include "library/FolderScanner.h"

#include "platform/CaptureMark.h"
#include "platform/DirListing.h"
#include "platform/ImageHeader.h"
#include "platform/Log.h"
#include "settings/CaptureCache.h"
#include "settings/Prefs.h"

#include <QCollator>
#include <QLocale>
#include <QMutex>
#include <QSet>
#include <algorithm>
#include <cerrno>

namespace FolderScanner {

const QStringList basePrefixes = {
    QStringLiteral("screenshot"),
    QStringLiteral("screen shot"),
    QStringLiteral("schermata"),
    QStringLiteral("istantanea"),
    QStringLiteral("capture d"),
    QStringLiteral("bildschirmfoto"),
    QStringLiteral("captura de pantalla"),
    QStringLiteral("schermafbeelding"),
    QStringLiteral("skärmavbild"),
    QStringLiteral("cleanshot"),
    QStringLiteral("screen recording"),
    QStringLiteral("registrazione schermo"),
    QStringLiteral("enregistrement de l"),
    QStringLiteral("bildschirmaufnahme"),
    QStringLiteral("grabación de pantalla"),
    QStringLiteral("tamberk"),
};

// Linux naming: GNOME and KDE name their recordings "Screencast from …" and
// "Screencast_…", so this prefix follows the built-in ones.
const QStringList linuxPrefixes = {QStringLiteral("screencast")};

const QStringList imageExts = {
    QStringLiteral("png"),  QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("heic"),
    QStringLiteral("heif"), QStringLiteral("tif"), QStringLiteral("tiff"), QStringLiteral("gif"),
    QStringLiteral("webp"), QStringLiteral("bmp"),
};

// Linux naming: desktop recorders write WebM and Matroska besides the
// container formats of other systems.
const QStringList videoExts = {
    QStringLiteral("mov"),  QStringLiteral("mp4"), QStringLiteral("m4v"),
    QStringLiteral("webm"), QStringLiteral("mkv"),
};

namespace {

ScanCounters g_counters;

enum class MediaKind { None, Image, Video };

QSizeF upright(const std::optional<ImageHeader::Info>& info) {
    if (!info)
        return QSizeF(0, 0);
    // Orientations 5 to 8 turn the picture by a quarter turn.
    if (info->orientation >= 5)
        return QSizeF(info->height, info->width);
    return QSizeF(info->width, info->height);
}

QStringView extensionOf(QStringView name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QStringView() : name.mid(dot + 1);
}

MediaKind kindOf(QStringView name) {
    const QStringView ext = extensionOf(name);
    if (ext.isEmpty() || ext.size() > 4)
        return MediaKind::None;
    for (const QString& e : imageExts) {
        if (ext.compare(e, Qt::CaseInsensitive) == 0)
            return MediaKind::Image;
    }
    for (const QString& e : videoExts) {
        if (ext.compare(e, Qt::CaseInsensitive) == 0)
            return MediaKind::Video;
    }
    return MediaKind::None;
}

QString join(const QString& dir, const QString& name) {
    return dir.endsWith(u'/') ? dir + name : dir + u'/' + name;
}

bool hasPrefix(const QString& name, const QStringList& prefixes) {
    const QString lower = name.toLower();
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](const QString& p) { return lower.startsWith(p); });
}

// One file entry of a listing and the scan's inputs.
struct FileJob {
    const DirListing::Listing& listing;
    const DirListing::Entry& entry;
    MediaKind kind;
    bool filter;
    const ScanOptions& opts;
    const ShotCache& cache;
    bool measure;
};

bool isScreenshotByMark(const QString& path, const DirListing::OpenFile& file) {
    g_counters.markReads.fetch_add(1, std::memory_order_relaxed);
    return file.isOpen() ? CaptureMark::has(file.fd()) : CaptureMark::has(path);
}

QSizeF measureOpen(const QString& path, const DirListing::OpenFile& file) {
    g_counters.headerReads.fetch_add(1, std::memory_order_relaxed);
    if (!file.isOpen())
        return QSizeF(0, 0);
    return upright(ImageHeader::readOpen(file.fd(), path));
}

// One regular file of a listing to a shot, or nothing when it is left out.
ShotPtr classify(const FileJob& job, const QString& path, const DirListing::Stat& stat,
                 DirListing::OpenFile file) {
    const double modified = stat.modified;
    // An unchanged file costs one lookup: no attribute read, no header read.
    const auto cached = job.cache.constFind(path);
    if (cached != job.cache.cend() && *cached && (*cached)->modified == modified) {
        if (job.filter && !(*cached)->isScreenshot)
            return nullptr;
        return *cached;
    }
    const bool isVideo = job.kind == MediaKind::Video;
    const bool wantsHeader = !isVideo && job.measure;
    bool isScreenshot = hasPrefix(job.entry.name, job.opts.prefixes);
    if (!isScreenshot) {
        // Open once for both reads; an unreadable file is still asked by path.
        if (wantsHeader && !file.isOpen())
            file = job.listing.open(job.entry);
        isScreenshot = isScreenshotByMark(path, file);
    }
    if (!isScreenshot && job.filter)
        return nullptr;
    // A copied file keeps an old modification date but gets a new birth time;
    // it sorts by the older of the two.
    const double created = std::min(stat.created, modified);
    QSizeF size(0, 0);
    if (wantsHeader) {
        if (!file.isOpen())
            file = job.listing.open(job.entry);
        size = measureOpen(path, file);
    }
    return std::make_shared<Shot>(path, created, modified, size, isVideo, isScreenshot);
}

ShotPtr classifyEntry(const FileJob& job, const QString& path) {
    // A file about to be measured is opened first and stat'ed through the open
    // file: one name lookup instead of two. Files that may come from the cache,
    // and videos, are stat'ed by name and opened only when needed.
    const bool openFirst = job.kind == MediaKind::Image && job.measure &&
                           job.entry.kind == DirListing::Kind::File && !job.cache.contains(path);
    if (openFirst) {
        DirListing::OpenFile file = job.listing.open(job.entry);
        if (file.isOpen()) {
            const DirListing::Stat stat = file.stat();
            return classify(job, path, stat, std::move(file));
        }
    }
    // Not opened (unreadable, or not a regular file after all): stat by name.
    const auto stat = job.listing.stat(job.entry);
    if (!stat || !stat->isFile)
        return nullptr;
    return classify(job, path, *stat, {});
}

void reportUnreadable(const QString& dir, int error) {
    static QMutex lock;
    static QSet<QString> reported;
    {
        QMutexLocker locker(&lock);
        if (reported.contains(dir))
            return;
        reported.insert(dir);
    }
    logFailure("read folder", QStringLiteral("%1: %2").arg(dir, qt_error_string(error)));
}

} // namespace

ScanCounters& counters() {
    return g_counters;
}

std::optional<Listing> list(const QString& dir, bool filter, const ScanOptions& opts,
                            const ShotCache& cache, bool wantSubdirs, bool measure,
                            const QSet<QString>* changed) {
    const auto listing =
        DirListing::list(dir, [](QStringView name) { return kindOf(name) != MediaKind::None; });
    if (!listing) {
        // A folder that vanished meanwhile is no fault; one that cannot be read
        // shows as empty, so the log says why, once per folder.
        const int error = errno;
        if (error != ENOENT && error != ENOTDIR)
            reportUnreadable(dir, error);
        return std::nullopt;
    }
    Listing result;
    for (const DirListing::Entry& entry : listing->entries) {
        bool isDir = entry.kind == DirListing::Kind::Dir;
        if (entry.kind == DirListing::Kind::Unknown) {
            // The file system did not say; ask once.
            const auto stat = listing->stat(entry);
            if (!stat || (!stat->isDir && !stat->isFile))
                continue;
            isDir = stat->isDir;
        }
        if (isDir) {
            // Linux has no packages: every directory may be entered.
            if (wantSubdirs)
                result.subdirs.append(join(dir, entry.name));
            continue;
        }
        const MediaKind kind = kindOf(entry.name);
        if (kind == MediaKind::None)
            continue;
        QString path = join(dir, entry.name);
        if (changed && !changed->contains(entry.name)) {
            // No event named it since it was listed: a stat would only confirm
            // the cache, and on a large folder those stats are most of a rescan.
            const auto cached = cache.constFind(path);
            if (cached != cache.cend() && *cached) {
                if (!filter || (*cached)->isScreenshot)
                    result.shots.append(*cached);
                continue;
            }
        }
        const FileJob job{*listing, entry, kind, filter, opts, cache, measure};
        if (ShotPtr shot = classifyEntry(job, path))
            result.shots.append(std::move(shot));
    }
    sortFolders(result.subdirs);
    return result;
}

Tree tree(const QString& from, int depth, const QString& root, const ScanOptions& opts,
          const ShotCache& cache, int& budget) {
    Tree result;
    QList<QPair<QString, int>> work{{from, depth}};
    for (qsizetype i = 0; i < work.size(); ++i) {
        const QString dir = work[i].first;
        const int level = work[i].second;
        const bool isRoot = dir == root;
        const bool wantSubdirs = level < depthLimit && budget > 0;
        auto listed = list(dir, isRoot && opts.onlyShots, opts, cache, wantSubdirs, true);
        if (!listed) {
            if (isRoot)
                result.ok = false;
            continue;
        }
        result.listing.insert(dir, std::move(listed->shots));
        if (!wantSubdirs)
            continue;
        for (const QString& sub : listed->subdirs) {
            if (budget <= 0)
                break;
            --budget;
            work.append({sub, level + 1});
        }
        result.children.insert(dir, std::move(listed->subdirs));
    }
    return result;
}

void sortFolders(QStringList& folders) {
    if (folders.size() < 2)
        return;
    // The C locale's collator ignores numeric mode; fall back to English there.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    QList<QPair<QString, QString>> keyed;
    keyed.reserve(folders.size());
    for (const QString& f : folders) {
        QStringView trimmed(f);
        while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
            trimmed.chop(1);
        keyed.append({trimmed.mid(trimmed.lastIndexOf(u'/') + 1).toString(), f});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
        return collator.compare(a.first, b.first) < 0;
    });
    for (qsizetype i = 0; i < folders.size(); ++i)
        folders[i] = keyed[i].second;
}

QSizeF pixelSize(const QString& path) {
    g_counters.headerReads.fetch_add(1, std::memory_order_relaxed);
    return upright(ImageHeader::read(path));
}

RescanResult Rescan::run() const {
    int budget = budgetLimit;
    RescanResult result;
    result.dirs = dirs;
    for (const QString& path : dirs) {
        const int depth = depths.value(path, 0);
        const bool isRoot = path == root;
        const bool wantSubdirs = depth < depthLimit;
        const auto named = changed.constFind(path);
        auto listed = list(path, isRoot && opts.onlyShots, opts, cache, wantSubdirs, true,
                           named == changed.cend() ? nullptr : &*named);
        if (!listed) {
            if (isRoot)
                result.rootOK = false;
            else
                result.vanished.insert(path);
            continue;
        }
        result.updates.insert(path, std::move(listed->shots));
        if (!wantSubdirs)
            continue;
        const QStringList& subdirs = listed->subdirs;
        const QStringList oldList = oldChildren.value(path);
        const QSet<QString> old(oldList.begin(), oldList.end());
        const QSet<QString> now(subdirs.begin(), subdirs.end());
        for (const QString& sub : subdirs) {
            if (old.contains(sub))
                continue;
            // A newly appeared subtree is classified and measured afresh.
            Tree walked = tree(sub, depth + 1, root, opts, ShotCache(), budget);
            for (auto it = walked.listing.begin(); it != walked.listing.end(); ++it)
                result.updates.insert(it.key(), std::move(it.value()));
            for (auto it = walked.children.begin(); it != walked.children.end(); ++it)
                result.children.insert(it.key(), std::move(it.value()));
        }
        for (const QString& gone : old) {
            if (!now.contains(gone))
                result.vanished.insert(gone);
        }
        result.children.insert(path, subdirs);
    }
    return result;
}

} // namespace FolderScanner

void DirChanges::add(const QString& dir) {
    if (!dirs.contains(dir))
        dirs.append(dir);
    names.remove(dir);
}

void DirChanges::add(const QString& dir, const QString& name) {
    if (!dirs.contains(dir)) {
        dirs.append(dir);
        names[dir].insert(name);
    } else if (const auto known = names.find(dir); known != names.end()) {
        known->insert(name);
    }
}

void DirChanges::add(const DirChanges& other, const QString& dir) {
    const auto theirs = other.names.constFind(dir);
    if (theirs == other.names.cend()) {
        add(dir);
        return;
    }
    for (const QString& name : *theirs)
        add(dir, name);
}

void DirChanges::merge(const DirChanges& other) {
    for (const QString& dir : other.dirs)
        add(other, dir);
}

ScanOptions ScanOptions::current() {
    ScanOptions opts;
    opts.onlyShots = Prefs::shared().boolean(Key::onlyShots);
    opts.prefixes = FolderScanner::basePrefixes + FolderScanner::linuxPrefixes;
    // The tool's prefix comes from the cached detection: detecting here would
    // scan /proc (and on GNOME run gsettings) on the main thread for every rescan.
    if (const auto prefix = CaptureCache::shared().facts().namePrefix; prefix && !prefix->isEmpty())
        opts.prefixes.append(prefix->toLower());
    return opts;
}
