#pragma once

#include "library/FolderScanner.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <functional>

class QSocketNotifier;

/// Reports the directories of a folder tree whose entries changed (created,
/// deleted, moved in or out, written and closed, attributes changed), on the
/// main thread, in batches. The first change after a quiet period is
/// delivered at once; later ones are gathered for `latency` seconds.
///
/// Built on inotify: every directory of the tree down to `depth` levels below
/// `path` gets a watch; a directory that appears gets its watch before it is
/// reported, so nothing created inside it in the meantime is missed. When the
/// kernel refuses further watches, the unwatched directories are polled.
class DirWatcher : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const QStringList& paths)>;
    using ChangeHandler = std::function<void(const DirChanges& changes)>;

    /// Polling interval of directories the kernel would not watch.
    static constexpr int pollMs = 2000;

    /// Starts watching at once. With `watchRoot`, a move, deletion or
    /// re-creation of `path` or of one of its ancestors reports `path`.
    DirWatcher(const QString& path, double latency, bool watchRoot, Handler handler,
               int depth = FolderScanner::depthLimit, QObject* parent = nullptr);
    /// The same, with the names of the changed entries where they are known.
    DirWatcher(const QString& path, double latency, bool watchRoot, ChangeHandler handler,
               int depth = FolderScanner::depthLimit, QObject* parent = nullptr);
    /// Stops watching; the handler is never called afterwards.
    ~DirWatcher() override;

    /// Makes every watcher refuse watches beyond `limit` as if the kernel's
    /// table were full; -1 lifts it (tests).
    static void setWatchLimitForTesting(int limit);

    /// Whether inotify could be set up at all.
    bool active() const { return m_fd >= 0; }
    /// Directories currently polled instead of watched (kernel limit reached).
    int polledCount() const { return int(m_polled.size()); }

private:
    struct Watch {
        QString path;
        int depth = 0;
    };
    struct Ancestor {
        QString path;      // the watched ancestor
        QString component; // the name in it that leads to the watched path
    };

    void arm();
    void disarm();
    void watchAncestors();
    void watchTree(const QString& dir, int depth);
    void unwatchTree(const QString& dir);
    bool addWatch(const QString& dir, int depth);
    int kernelWatch(const QString& dir);
    void readEvents();
    void processEvent(int wd, quint32 mask, const QString& name);
    void report(const QString& path);
    void report(const QString& path, const QString& name);
    void deliver();
    void poll();
    void logLimitOnce(const QString& why);

    QString m_path;
    double m_latency;
    bool m_watchRoot;
    int m_depth;
    ChangeHandler m_handler;

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QHash<int, Watch> m_watches;
    QHash<QString, int> m_byPath;
    QHash<int, Ancestor> m_ancestors;
    bool m_rearm = false;

    // Directories the kernel refused to watch, with their last seen signature.
    QHash<QString, QByteArray> m_polled;
    QHash<QString, int> m_polledDepth;
    QTimer m_pollTimer;

    DirChanges m_batch;
    QTimer m_deliverTimer;
    QElapsedTimer m_sinceDelivery;
};
