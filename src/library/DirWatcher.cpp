#include "library/DirWatcher.h"

#include "platform/Log.h"

#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr quint32 kTreeMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                              IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR |
                              IN_DONT_FOLLOW | IN_EXCL_UNLINK;
// Ancestors only matter for the one entry that leads to the watched path.
constexpr quint32 kAncestorMask =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR | IN_DONT_FOLLOW;

QString stripSlashes(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

QString childPath(const QString& dir, const QString& name) {
    return dir == QLatin1String("/") ? dir + name : dir + QLatin1Char('/') + name;
}

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// The non-hidden subdirectories of `dir`, symbolic links not followed (the
// scanner does not follow them either, and they could form loops).
QStringList subdirectories(const QString& dir) {
    QStringList result;
    std::unique_ptr<DIR, DirCloser> handle(opendir(QFile::encodeName(dir).constData()));
    if (!handle)
        return result;
    const int fd = dirfd(handle.get());
    while (const dirent* ent = readdir(handle.get())) {
        if (ent->d_name[0] == '.')
            continue;
        bool isDir = ent->d_type == DT_DIR;
        if (ent->d_type == DT_UNKNOWN) {
            struct stat st {};
            isDir = fstatat(fd, ent->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        if (isDir)
            result.append(childPath(dir, QFile::decodeName(ent->d_name)));
    }
    return result;
}

// What a poll compares: the directory's own times and every visible entry's
// name, size and modification time. Empty when the directory is gone.
QByteArray signature(const QString& dir) {
    std::unique_ptr<DIR, DirCloser> handle(opendir(QFile::encodeName(dir).constData()));
    if (!handle)
        return {};
    const int fd = dirfd(handle.get());
    QByteArray sig;
    struct stat self {};
    if (fstat(fd, &self) == 0)
        sig.append(reinterpret_cast<const char*>(&self.st_mtim), sizeof self.st_mtim);
    QList<QByteArray> entries;
    while (const dirent* ent = readdir(handle.get())) {
        if (ent->d_name[0] == '.')
            continue;
        QByteArray entry(ent->d_name);
        struct stat st {};
        if (fstatat(fd, ent->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            entry.append(reinterpret_cast<const char*>(&st.st_mtim), sizeof st.st_mtim);
            entry.append(reinterpret_cast<const char*>(&st.st_size), sizeof st.st_size);
            entry.append(reinterpret_cast<const char*>(&st.st_mode), sizeof st.st_mode);
        }
        entries.append(entry);
    }
    std::sort(entries.begin(), entries.end());
    for (const QByteArray& entry : entries)
        sig.append(entry).append('\0');
    return sig.isEmpty() ? QByteArray("\0", 1) : sig;
}

int g_watchLimit = -1;

} // namespace

void DirWatcher::setWatchLimitForTesting(int limit) {
    g_watchLimit = limit;
}

int DirWatcher::kernelWatch(const QString& dir) {
    if (g_watchLimit >= 0 && m_watches.size() >= g_watchLimit) {
        errno = ENOSPC;
        return -1;
    }
    return inotify_add_watch(m_fd, QFile::encodeName(dir).constData(), kTreeMask);
}

DirWatcher::DirWatcher(const QString& path, double latency, bool watchRoot, Handler handler,
                       int depth, QObject* parent)
    : DirWatcher(path, latency, watchRoot,
                 ChangeHandler([handler = std::move(handler)](const DirChanges& changes) {
                     if (handler)
                         handler(changes.dirs);
                 }),
                 depth, parent) {}

DirWatcher::DirWatcher(const QString& path, double latency, bool watchRoot, ChangeHandler handler,
                       int depth, QObject* parent)
    : QObject(parent)
    , m_path(stripSlashes(path))
    , m_latency(latency)
    , m_watchRoot(watchRoot)
    , m_depth(depth)
    , m_handler(std::move(handler)) {
    m_deliverTimer.setSingleShot(true);
    connect(&m_deliverTimer, &QTimer::timeout, this, &DirWatcher::deliver);
    m_pollTimer.setInterval(pollMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &DirWatcher::poll);

    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        logLimitOnce(QStringLiteral("cannot watch %1 (%2); it is read again only at the next "
                                    "reload")
                         .arg(m_path, QString::fromLocal8Bit(strerror(errno))));
        return;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DirWatcher::readEvents);
    arm();
}

DirWatcher::~DirWatcher() {
    m_handler = nullptr;
    m_deliverTimer.stop();
    m_pollTimer.stop();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0)
        close(m_fd);
}

void DirWatcher::arm() {
    watchAncestors();
    struct stat st {};
    if (stat(QFile::encodeName(m_path).constData(), &st) == 0 && S_ISDIR(st.st_mode))
        watchTree(m_path, 0);
}

void DirWatcher::disarm() {
    for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it)
        inotify_rm_watch(m_fd, it.key());
    for (auto it = m_ancestors.cbegin(); it != m_ancestors.cend(); ++it)
        inotify_rm_watch(m_fd, it.key());
    m_watches.clear();
    m_byPath.clear();
    m_ancestors.clear();
    m_polled.clear();
    m_polledDepth.clear();
    m_pollTimer.stop();
}

void DirWatcher::watchAncestors() {
    // Watch "/" for the first component, "/a" for the second, and so on, as
    // far as the chain exists; a missing link is noticed by its parent.
    const QStringList parts = m_path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString ancestor = QStringLiteral("/");
    for (const QString& part : parts) {
        const int wd =
            inotify_add_watch(m_fd, QFile::encodeName(ancestor).constData(), kAncestorMask);
        if (wd < 0)
            break;
        m_ancestors.insert(wd, {ancestor, part});
        ancestor = childPath(ancestor, part);
    }
}

void DirWatcher::watchTree(const QString& dir, int depth) {
    if (!addWatch(dir, depth) && !m_polled.contains(dir))
        return;
    if (depth >= m_depth)
        return;
    for (const QString& sub : subdirectories(dir))
        watchTree(sub, depth + 1);
}

bool DirWatcher::addWatch(const QString& dir, int depth) {
    const int wd = kernelWatch(dir);
    if (wd < 0) {
        if (errno == ENOSPC) {
            // Out of kernel watches: keep following the directory by polling.
            if (!m_polled.contains(dir)) {
                m_polled.insert(dir, signature(dir));
                m_polledDepth.insert(dir, depth);
            }
            if (!m_pollTimer.isActive())
                m_pollTimer.start();
            logLimitOnce(QStringLiteral("the kernel allows no more inotify watches "
                                        "(fs.inotify.max_user_watches); unwatched folders "
                                        "such as %1 are rescanned every %2 s instead")
                             .arg(dir)
                             .arg(pollMs / 1000));
        }
        return false;
    }
    m_watches.insert(wd, {dir, depth});
    m_byPath.insert(dir, wd);
    return true;
}

void DirWatcher::unwatchTree(const QString& dir) {
    const QString prefix = childPath(dir, QString());
    for (auto it = m_byPath.begin(); it != m_byPath.end();) {
        if (it.key() == dir || it.key().startsWith(prefix)) {
            inotify_rm_watch(m_fd, it.value());
            m_watches.remove(it.value());
            it = m_byPath.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = m_polled.begin(); it != m_polled.end();) {
        if (it.key() == dir || it.key().startsWith(prefix)) {
            m_polledDepth.remove(it.key());
            it = m_polled.erase(it);
        } else {
            ++it;
        }
    }
}

void DirWatcher::readEvents() {
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            const QString name = event->len ? QFile::decodeName(event->name) : QString();
            processEvent(event->wd, event->mask, name);
            at += ssize_t(sizeof(inotify_event)) + event->len;
        }
    }
    if (m_rearm) {
        // The watched path or one of its ancestors moved: every watch may now
        // point somewhere else, so start over from the path as it is now.
        m_rearm = false;
        disarm();
        arm();
    }
    if (!m_batch.isEmpty() && !m_deliverTimer.isActive()) {
        const qint64 quietMs = m_sinceDelivery.isValid() ? m_sinceDelivery.elapsed() : -1;
        const qint64 latencyMs = qint64(m_latency * 1000);
        if (quietMs < 0 || quietMs >= latencyMs)
            deliver();
        else
            m_deliverTimer.start(int(latencyMs - quietMs));
    }
}

void DirWatcher::processEvent(int wd, quint32 mask, const QString& name) {
    if (mask & IN_Q_OVERFLOW) {
        // Events were lost, in any directory: report every one we follow,
        // so each is rescanned, and re-place every watch.
        m_rearm = true;
        report(m_path);
        for (const Watch& watched : std::as_const(m_watches))
            report(watched.path);
        for (auto it = m_polled.cbegin(); it != m_polled.cend(); ++it)
            report(it.key());
        return;
    }
    if (const auto ancestor = m_ancestors.constFind(wd); ancestor != m_ancestors.cend()) {
        if (mask & IN_IGNORED) {
            m_ancestors.erase(ancestor);
            return;
        }
        if (name == ancestor->component) {
            m_rearm = true;
            if (m_watchRoot)
                report(m_path);
        }
        return;
    }
    const auto found = m_watches.constFind(wd);
    if (found == m_watches.cend())
        return;
    const Watch watch = *found;
    if (mask & IN_IGNORED) {
        if (m_byPath.value(watch.path, -1) == wd)
            m_byPath.remove(watch.path);
        m_watches.remove(wd);
        return;
    }
    if (mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
        // Subfolders are reported by their parent; only the top needs care.
        if (watch.depth == 0) {
            m_rearm = true;
            if (m_watchRoot)
                report(m_path);
        }
        return;
    }
    // Hidden entries are never listed, so their changes change nothing.
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        return;
    if (mask & IN_ISDIR) {
        const QString child = childPath(watch.path, name);
        if (mask & (IN_DELETE | IN_MOVED_FROM))
            unwatchTree(child);
        // The new folder is watched before it is reported, so whatever is
        // created inside it from now on raises its own event.
        if ((mask & (IN_CREATE | IN_MOVED_TO | IN_ATTRIB)) && watch.depth < m_depth &&
            !m_byPath.contains(child))
            watchTree(child, watch.depth + 1);
    }
    report(watch.path, name);
}

void DirWatcher::report(const QString& path) {
    m_batch.add(stripSlashes(path));
}

void DirWatcher::report(const QString& path, const QString& name) {
    m_batch.add(stripSlashes(path), name);
}

void DirWatcher::deliver() {
    m_deliverTimer.stop();
    if (m_batch.isEmpty())
        return;
    const DirChanges batch = std::exchange(m_batch, {});
    m_sinceDelivery.restart();
    if (m_handler)
        m_handler(batch);
}

void DirWatcher::poll() {
    const QStringList dirs = m_polled.keys();
    for (const QString& dir : dirs) {
        const int depth = m_polledDepth.value(dir);
        // A freed kernel watch turns polling back into watching; the
        // signature taken afterwards catches what happened in between.
        const int wd = kernelWatch(dir);
        if (wd >= 0) {
            m_watches.insert(wd, {dir, depth});
            m_byPath.insert(dir, wd);
        }
        const QByteArray now = signature(dir);
        const bool changed = now != m_polled.value(dir);
        if (wd >= 0 || now.isEmpty()) {
            m_polled.remove(dir);
            m_polledDepth.remove(dir);
        } else {
            m_polled[dir] = now;
        }
        if (!changed)
            continue;
        if (!now.isEmpty() && depth < m_depth) {
            for (const QString& sub : subdirectories(dir)) {
                if (!m_byPath.contains(sub) && !m_polled.contains(sub))
                    watchTree(sub, depth + 1);
            }
        }
        // A vanished subfolder is news for its parent, which lists it.
        if (now.isEmpty() && depth > 0)
            report(dir.left(qMax(int(dir.lastIndexOf(QLatin1Char('/'))), 1)));
        else
            report(dir);
    }
    if (m_polled.isEmpty())
        m_pollTimer.stop();
    if (!m_batch.isEmpty() && !m_deliverTimer.isActive())
        deliver();
}

void DirWatcher::logLimitOnce(const QString& why) {
    // One line per process: a full kernel table would otherwise log on every
    // reload.
    static bool logged = false;
    if (logged)
        return;
    logged = true;
    logFailure("watch", why);
}
