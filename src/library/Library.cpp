#include "library/Library.h"

#include "library/DirWatcher.h"
#include "platform/CaptureMark.h"
#include "platform/FileMove.h"
#include "settings/CaptureCache.h"
#include "settings/Prefs.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <sys/stat.h>

namespace {

// The directory part of a path ("/" for a file directly in "/"), without a copy.
QStringView parentOf(QStringView path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringView(u"/") : path.left(slash);
}

// Whether `path` lies strictly below `dir`, by whole components.
bool isBelow(QStringView path, const QString& dir) {
    if (dir == QLatin1String("/"))
        return path.size() > 1 && path.startsWith(QLatin1Char('/'));
    return path.size() > dir.size() && path.startsWith(dir) && path[dir.size()] == QLatin1Char('/');
}

bool existsAt(const QString& path) {
    struct stat st {};
    if (lstat(QFile::encodeName(path).constData(), &st) == 0)
        return true;
    // Anything but "no such entry" (say, a folder we may not search) could
    // hide a file, so the name does not count as free.
    return errno != ENOENT && errno != ENOTDIR;
}

} // namespace

QString Library::resolved(const QString& path) {
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

Library::Library(QObject* parent)
    : Library(Prefs::shared().folderPath(), parent) {}

Library::Library(const QString& root, QObject* parent)
    : QObject(parent)
    , m_root(resolved(root))
    , m_clock([] { return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0; })
    , m_strayFolders([] { return CaptureCache::shared().facts().strayFolders; }) {
    m_queue.setObjectName(QStringLiteral("tamberk.scan"));
    m_queue.setMaxThreadCount(1);
    m_pullQueue.setObjectName(QStringLiteral("tamberk.pullin"));
    m_pullQueue.setMaxThreadCount(1);
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(flushDelayMs);
    // A coarse timer may fire 5 % late, and every arrival waits on this one.
    m_flushTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_flushTimer, &QTimer::timeout, this, &Library::flush);
    m_strayRetry.setSingleShot(true);
    m_strayRetry.setInterval(int(settleSeconds * 1000) + 100);
    connect(&m_strayRetry, &QTimer::timeout, this, &Library::catchStrays);
    // A new answer about the screenshot tool may name other folders.
    connect(&CaptureCache::shared(), &CaptureCache::changed, this, [this] {
        if (m_scanned && !m_reloading)
            watchStrays();
    });
}

Library::~Library() {
    m_flushTimer.stop();
    m_strayRetry.stop();
    m_watcher.reset();
    m_strayWatchers.clear();
    // Queued scans are dropped; the running one is waited for, so no result
    // can be handed to a library that is gone. A pull-in is finished, so no
    // file is left half copied.
    m_queue.clear();
    m_queue.waitForDone();
    m_pullQueue.waitForDone();
}

void Library::setClock(Clock clock) {
    m_clock = std::move(clock);
}

void Library::setSystemLocation(std::function<QString()> location) {
    m_strayFolders = [location = std::move(location)] { return QStringList{location()}; };
}

void Library::setStrayFolders(std::function<QStringList()> folders) {
    m_strayFolders = std::move(folders);
}

double Library::now() const {
    return m_clock();
}

ShotList Library::shots(const Scope& scope, const QString& query) const {
    std::function<bool(const Shot&)> inScope;
    switch (scope.kind()) {
    case Scope::Kind::session: {
        const double start = Prefs::shared().sessionStart();
        const bool onlyShots = Prefs::shared().boolean(Key::onlyShots);
        inScope = [start, onlyShots](const Shot& shot) {
            return shot.created >= start && (shot.isScreenshot || !onlyShots);
        };
        break;
    }
    case Scope::Kind::all:
        if (Prefs::shared().boolean(Key::includeSub))
            inScope = [](const Shot&) { return true; };
        else
            inScope = [this](const Shot& shot) { return parentOf(shot.path) == m_root; };
        break;
    case Scope::Kind::folder: {
        const QString path = scope.path();
        if (path == m_root) {
            inScope = [this](const Shot& shot) { return parentOf(shot.path) == m_root; };
        } else {
            // The parent is the folder or lies below it exactly when the
            // file's own path begins with the folder and a slash.
            const QString prefix = path + QLatin1Char('/');
            inScope = [prefix](const Shot& shot) { return shot.path.startsWith(prefix); };
        }
        break;
    }
    }

    const QString trimmed = query.trimmed();
    const TextIndex::Pieces pieces = TextIndex::pieces(trimmed);
    ShotList result;
    for (const ShotPtr& shot : m_all) {
        if (!inScope(*shot))
            continue;
        if (!trimmed.isEmpty() && !m_text.matches(*shot, pieces))
            continue;
        result.append(shot);
    }
    return result;
}

Library::Counts Library::counts() const {
    const double start = Prefs::shared().sessionStart();
    const bool onlyShots = Prefs::shared().boolean(Key::onlyShots);
    Counts counts;
    for (const ShotPtr& shot : m_all) {
        if (shot->created >= start && (shot->isScreenshot || !onlyShots))
            ++counts.session;
    }
    // Every shot of a listing lies directly in its key, so one walk up the
    // parent chain per directory stands for one walk per shot.
    for (auto it = m_listing.cbegin(); it != m_listing.cend(); ++it) {
        const qint64 n = it.value().size();
        if (n == 0)
            continue;
        if (it.key() == m_root) {
            counts.perFolder[m_root] += n;
            continue;
        }
        QStringView dir = it.key();
        while (isBelow(dir, m_root)) {
            counts.perFolder[dir.toString()] += n;
            dir = parentOf(dir);
        }
    }
    if (Prefs::shared().boolean(Key::includeSub))
        counts.all = m_all.size();
    else
        counts.all = counts.perFolder.value(m_root, 0);
    return counts;
}

QString Library::name(const QString& path) const {
    if (path == QLatin1String("/"))
        return path;
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString Library::unique(const QString& path) {
    if (!existsAt(path))
        return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QByteArray name = QFile::encodeName(path.mid(slash + 1));
    QString candidate;
    for (int n = 2; n < 100000; ++n) {
        candidate = path.left(slash + 1) + QFile::decodeName(FileMove::numbered(name, n));
        if (!existsAt(candidate))
            break;
    }
    return candidate;
}

void Library::markScreenshot(const QString& path) {
    CaptureMark::write(path);
}
