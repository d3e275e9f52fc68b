// Keeping the library in step with the disk: full reloads, watching,
// coalesced rescans, recomputation with arrivals, and pull-in of strays.
#include "library/DirWatcher.h"
#include "library/Library.h"
#include "platform/FileMove.h"
#include "platform/Log.h"
#include "settings/Prefs.h"

#include <QCollator>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QPointer>
#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace {

QString parentPath(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

// Whether `path` is `dir` or lies below it, by whole components.
bool isWithin(const QString& path, const QString& dir) {
    if (path == dir || dir == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path.size() > dir.size() && path.startsWith(dir) && path[dir.size()] == QLatin1Char('/');
}

int depthBelow(const QString& path, const QString& root) {
    if (!isWithin(path, root))
        return 0;
    return int(path.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts).size());
}

} // namespace

template <typename Work, typename Done>
void Library::submit(Work work, Done done) {
    // `this` is only the receiver of the queued hand-back: the destructor
    // waits for the worker, and a library gone by then drops the call.
    m_queue.start(
        [this, gate = m_scanGate, work = std::move(work), done = std::move(done)]() mutable {
            auto result = work();
            if (gate)
                gate();
            QMetaObject::invokeMethod(
                this, [done, result = std::move(result)]() mutable { done(std::move(result)); },
                Qt::QueuedConnection);
        });
}

void Library::reload() {
    const qint64 generation = ++m_generation;
    const QString root = m_root;
    const ScanOptions opts = ScanOptions::current();
    // The new watcher is in place before the walk starts; what it reports
    // meanwhile is held and replayed once the walk's result is applied, so a
    // file that lands during the walk is not lost.
    m_watcher.reset();
    m_held = {};
    m_reloading = true;
    m_touched.clear();
    m_rescans = 0;
    startWatcher();
    submit(
        [root, opts] {
            int budget = FolderScanner::budgetLimit;
            return FolderScanner::tree(root, 0, root, opts, ShotCache(), budget);
        },
        [this, generation](const FolderScanner::Tree& tree) {
            if (generation == m_generation)
                applyReload(tree);
        });
}

void Library::applyReload(const FolderScanner::Tree& tree) {
    m_readable = tree.ok;
    m_listing = tree.listing;
    m_childMap = tree.children;
    rebuildFolders();
    m_known.clear();
    m_scanned = true;
    m_reloading = false;
    recompute(true);
    m_text.prune();
    watchStrays();
    if (!m_held.isEmpty())
        handle(std::exchange(m_held, {}));
    // Refreshes asked for during the walk were kept back (see flush).
    if (!m_pending.isEmpty() && !m_flushScheduled) {
        m_flushScheduled = true;
        m_flushTimer.start();
    }
}

void Library::startWatcher() {
    m_watcher = std::make_unique<DirWatcher>(
        m_root, rootLatency, true,
        DirWatcher::ChangeHandler([self = QPointer<Library>(this)](const DirChanges& changes) {
            if (self)
                self->handle(changes);
        }));
}

void Library::setRoot(const QString& path) {
    const QString root = resolved(path);
    if (root == m_root)
        return;
    m_root = root;
    m_undoStack.clear();
    reload();
}

void Library::handle(const DirChanges& changes) {
    if (m_reloading) {
        m_held.merge(changes);
        return;
    }
    DirChanges marked;
    for (const QString& path : changes.dirs) {
        if (m_listing.contains(path)) {
            marked.add(changes, path);
        } else if (isWithin(m_root, path)) {
            // The root itself or one of its ancestors moved, vanished or came back.
            marked.add(m_root);
        } else if (isWithin(path, m_root)) {
            const QString parent = parentPath(path);
            if (m_listing.contains(parent))
                marked.add(parent);
        }
    }
    if (!marked.isEmpty())
        schedule(marked);
}

void Library::refresh(const QSet<QString>& dirs) {
    DirChanges changes;
    for (const QString& dir : dirs)
        changes.add(dir);
    schedule(changes);
}

void Library::schedule(const DirChanges& changes) {
    m_pending.merge(changes);
    if (m_flushScheduled)
        return;
    m_flushScheduled = true;
    m_flushTimer.start();
}

void Library::flush() {
    m_flushScheduled = false;
    // A rescan built from the listing that a running reload is about to
    // replace would be stale; the reload starts the flush when it lands.
    if (m_reloading)
        return;
    const DirChanges pending = std::exchange(m_pending, {});
    QSet<QString> dirs;
    for (const QString& path : pending.dirs) {
        if (m_listing.contains(path) || path == m_root)
            dirs.insert(path);
    }
    if (dirs.isEmpty())
        return;

    FolderScanner::Rescan job;
    job.dirs = dirs;
    // The names say what changed since the listing as it stands. A rescan
    // still in flight will change that listing, and this one, built from the
    // older state, must not keep unchecked entries from it.
    if (m_rescans == 0) {
        for (auto it = pending.names.cbegin(); it != pending.names.cend(); ++it) {
            if (dirs.contains(it.key()))
                job.changed.insert(it.key(), it.value());
        }
    }
    job.root = m_root;
    job.opts = ScanOptions::current();
    // The listings go to the worker as shared copies; the cache is keyed
    // there, off the main thread.
    QList<ShotList> cached;
    qsizetype total = 0;
    for (const QString& dir : std::as_const(dirs)) {
        job.depths.insert(dir, depthBelow(dir, m_root));
        // A child the library does not list (unreadable at the last walk, a
        // mount that did not answer) counts as new and is walked when found.
        QStringList listed = m_childMap.value(dir);
        listed.removeIf([this](const QString& child) { return !m_listing.contains(child); });
        job.oldChildren.insert(dir, listed);
        cached.append(m_listing.value(dir));
        total += cached.last().size();
    }
    const qint64 generation = m_generation;
    const quint64 since = m_touches;
    ++m_rescans;
    submit(
        [job = std::move(job), cached = std::move(cached), total]() mutable {
            job.cache.reserve(total);
            for (const ShotList& shots : std::as_const(cached)) {
                for (const ShotPtr& shot : shots)
                    job.cache.insert(shot->path, shot);
            }
            return job.run();
        },
        [this, generation, since](const FolderScanner::RescanResult& result) {
            apply(result, generation, since);
        });
}

bool Library::stale(const FolderScanner::RescanResult& result, quint64 since) const {
    if (m_touched.isEmpty())
        return false;
    const auto touched = [&](const QString& dir) { return m_touched.value(dir, 0) > since; };
    return std::any_of(result.dirs.cbegin(), result.dirs.cend(), touched) ||
           std::any_of(result.vanished.cbegin(), result.vanished.cend(), touched) ||
           std::any_of(result.updates.keyBegin(), result.updates.keyEnd(), touched) ||
           std::any_of(result.children.keyBegin(), result.children.keyEnd(), touched);
}

void Library::apply(const FolderScanner::RescanResult& result, qint64 generation, quint64 since) {
    if (generation != m_generation)
        return;
    --m_rescans;
    const bool outdated = stale(result, since);
    if (m_rescans == 0)
        m_touched.clear();
    if (outdated) {
        // Listed before one of our own changes: the old state would win.
        refresh(result.dirs);
        return;
    }
    if (result.dirs.contains(m_root)) {
        m_readable = result.rootOK;
        // A root that cannot be listed (moved away, deleted) shows nothing
        // rather than files no longer behind it; when it returns it is
        // walked afresh.
        if (!result.rootOK) {
            m_listing.clear();
            m_childMap.clear();
        }
    }
    for (const QString& path : result.vanished)
        dropSubtree(path);
    for (auto it = result.updates.cbegin(); it != result.updates.cend(); ++it)
        m_listing.insert(it.key(), it.value());
    for (auto it = result.children.cbegin(); it != result.children.cend(); ++it)
        m_childMap.insert(it.key(), it.value());
    rebuildFolders();
    recompute(false);
}

void Library::dropSubtree(const QString& path) {
    const auto inside = [&path](const QString& key) { return isWithin(key, path); };
    m_listing.removeIf([&](const auto& it) { return inside(it.key()); });
    m_childMap.removeIf([&](const auto& it) { return inside(it.key()); });
    const auto parent = m_childMap.find(parentPath(path));
    if (parent != m_childMap.end())
        parent->removeAll(path);
}

void Library::rebuildFolders() {
    QStringList folders;
    folders.reserve(m_listing.size());
    for (auto it = m_listing.cbegin(); it != m_listing.cend(); ++it) {
        if (it.key() != m_root)
            folders.append(it.key());
    }
    // The C locale's collator ignores numeric mode; fall back to English
    // there so "Folder 9" still sorts before "Folder 10".
    QCollator collator(QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale());
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(
        folders.begin(), folders.end(),
        [&collator](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    m_folders = folders;
}

void Library::recompute(bool initial) {
    ShotList sorted;
    for (auto it = m_listing.cbegin(); it != m_listing.cend(); ++it)
        sorted += it.value();
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const ShotPtr& a, const ShotPtr& b) { return a->created > b->created; });

    ShotList arrivals;
    if (!initial) {
        const double time = now();
        const bool onlyShots = Prefs::shared().boolean(Key::onlyShots);
        for (const ShotPtr& shot : std::as_const(sorted)) {
            if (m_known.contains(shot->path))
                continue;
            // The library moved or renamed this file itself.
            if (m_expected.remove(shot->path))
                continue;
            if (time - shot->created < arrivalWindow && (shot->isScreenshot || !onlyShots))
                arrivals.append(shot);
        }
    }

    QSet<QString> known;
    known.reserve(sorted.size());
    for (const ShotPtr& shot : std::as_const(sorted))
        known.insert(shot->path);
    m_known = std::move(known);
    m_all = std::move(sorted);

    emit changed();
    if (!arrivals.isEmpty())
        emit arrived(arrivals);
    if (m_feedText) {
        // New arrivals are read before the backlog: the user is about to look for them.
        m_text.enqueueFirst(arrivals);
        m_text.enqueue(m_all);
    }
}

void Library::watchStrays() {
    QStringList folders;
    if (Prefs::shared().boolean(Key::syncSystem)) {
        for (const QString& folder : m_strayFolders()) {
            const QString dir = resolved(folder);
            // A tool folder inside the library is part of it: nothing is
            // pulled out of it, or frames filed there would jump back up.
            if (dir.isEmpty() || isWithin(dir, m_root) || folders.contains(dir))
                continue;
            folders.append(dir);
        }
    }
    if (folders != m_strayDirs) {
        m_strayWatchers.clear();
        QHash<QString, double> since;
        for (const QString& dir : std::as_const(folders)) {
            since.insert(dir, m_straySince.value(dir, now() - strayLookBack));
            m_strayWatchers.push_back(std::make_unique<DirWatcher>(
                dir, strayLatency, false,
                [self = QPointer<Library>(this), dir](const QStringList& paths) {
                    // Changes in the system folder's subfolders are none of ours.
                    if (self && paths.contains(dir))
                        self->catchStrays();
                },
                0));
        }
        m_straySince = since;
        m_strayDirs = folders;
    }
    if (m_strayDirs.isEmpty()) {
        m_strayRetry.stop();
        return;
    }
    catchStrays();
}

void Library::catchStrays() {
    if (m_strayDirs.isEmpty())
        return;
    // Two rounds at once would both try to move the same files.
    if (m_strayBusy) {
        m_strayAgain = true;
        return;
    }
    m_strayBusy = true;
    const QStringList folders = m_strayDirs;
    const auto finish = [this] {
        m_strayBusy = false;
        if (std::exchange(m_strayAgain, false))
            catchStrays();
    };
    recentScreenshots(folders, m_straySince, [this, folders, finish](const QStringList& paths) {
        if (paths.isEmpty() || m_strayDirs != folders)
            finish();
        else
            pullIn(paths, finish);
    });
}

void Library::recentScreenshots(const QStringList& folders, const QHash<QString, double>& since,
                                std::function<void(const QStringList&)> done) {
    ScanOptions opts = ScanOptions::current();
    opts.onlyShots = true;
    submit(
        [folders, since, opts] {
            ShotList recent;
            for (const QString& folder : folders) {
                const double from = since.value(folder);
                if (const auto listed =
                        FolderScanner::list(folder, true, opts, ShotCache(), false, false))
                    std::copy_if(listed->shots.cbegin(), listed->shots.cend(),
                                 std::back_inserter(recent),
                                 [from](const ShotPtr& shot) { return shot->created >= from; });
            }
            std::stable_sort(recent.begin(), recent.end(), [](const ShotPtr& a, const ShotPtr& b) {
                return a->created < b->created;
            });
            QStringList paths;
            for (const ShotPtr& shot : std::as_const(recent))
                paths.append(shot->path);
            return paths;
        },
        std::move(done));
}

bool Library::settled(const QString& path, const QString& rootDir) {
    // Within one file system the move is a rename, which an open writer
    // survives. A copy to another one must not start while the file grows.
    struct stat file {};
    struct stat root {};
    if (stat(QFile::encodeName(path).constData(), &file) != 0 ||
        stat(QFile::encodeName(rootDir).constData(), &root) != 0)
        return true; // the move itself will fail and say why
    const double modified = double(file.st_mtim.tv_sec) + double(file.st_mtim.tv_nsec) / 1e9;
    const double age = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0 - modified;
    // Some tools create the file empty, close it and write it again by name;
    // taking the empty file would leave a broken frame and a second copy.
    // A file that stays empty is taken after a while all the same.
    if (file.st_size == 0 && age < emptyPatienceSeconds)
        return false;
    if (file.st_dev == root.st_dev)
        return true;
    return age >= settleSeconds;
}

void Library::pullIn(const QStringList& paths, std::function<void()> done) {
    const QString root = m_root;
    // The moves run on their own worker with value copies; the library learns
    // of the outcome through a queued call. `this` is only that call's
    // receiver, and the destructor waits for the worker.
    m_pullQueue.start([this, paths, root, done = std::move(done)] {
        int moved = 0;
        bool waiting = false;
        for (const QString& from : paths) {
            struct stat source {};
            // Gone since the listing (the user took it elsewhere): nothing to do.
            if (lstat(QFile::encodeName(from).constData(), &source) != 0 && errno == ENOENT)
                continue;
            if (!settled(from, root)) {
                waiting = true;
                continue;
            }
            const QString name = from.mid(from.lastIndexOf(QLatin1Char('/')) + 1);
            FileMove::Result result;
            QString to;
            // Another file may take the free name between the check and the move.
            for (int attempt = 0; attempt < 3; ++attempt) {
                to = unique(root + QLatin1Char('/') + name);
                result = FileMove::move(from, to);
                if (result || result.error != EEXIST)
                    break;
            }
            if (!result) {
                logFailure("pull-in", result.message);
                continue;
            }
            markScreenshot(to);
            ++moved;
        }
        QMetaObject::invokeMethod(
            this,
            [this, moved, waiting, root, done] {
                if (moved > 0 && root == m_root)
                    refresh({m_root});
                if (waiting)
                    m_strayRetry.start();
                done();
            },
            Qt::QueuedConnection);
    });
}
