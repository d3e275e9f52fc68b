#pragma once

#include "content/TextIndex.h"
#include "library/FolderScanner.h"
#include "library/Scope.h"
#include "library/Shot.h"
#include "library/UndoBatch.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class DirWatcher;

/// The model of the screenshot folder: the root, its subfolders, every shot
/// in them, and the answers to "which shots are in this scope under this
/// query" and "how many shots does each scope hold". Everything here lives on
/// the main thread; scans run on the serial "tamberk.scan" worker and come
/// back as queued calls.
class Library : public QObject {
    Q_OBJECT
public:
    /// The numbers of the scope chips; a folder without shots has no entry.
    struct Counts {
        qint64 session = 0;
        qint64 all = 0;
        QHash<QString, qint64> perFolder;
    };

    /// Seconds since 1970.
    using Clock = std::function<double()>;

    /// Root watcher and stray watcher latencies, in seconds.
    static constexpr double rootLatency = 0.12;
    static constexpr double strayLatency = 0.25;
    /// Rescans wait this long after the first change of a batch.
    static constexpr int flushDelayMs = 100;
    /// New shots created less than this many seconds ago are announced.
    static constexpr double arrivalWindow = 180;
    /// Strays created this long before watching began are still pulled in.
    static constexpr double strayLookBack = 90;
    /// A stray on another file system is copied only after it has been left
    /// alone this long, so a copy never takes a file that is still written.
    static constexpr double settleSeconds = 1.0;
    /// An empty stray is left this long for its writer to fill it.
    static constexpr double emptyPatienceSeconds = 10.0;

    /// A library on the settings' effective folder. Construction does not scan.
    explicit Library(QObject* parent = nullptr);
    /// A library on `root` (links resolved, path cleaned). Does not scan.
    explicit Library(const QString& root, QObject* parent = nullptr);
    /// Cancels queued scans and waits for the running one.
    ~Library() override;

    // State, read by everyone, written only by the library.
    const QString& root() const { return m_root; }
    const QStringList& folders() const { return m_folders; }
    const ShotList& all() const { return m_all; }
    bool readable() const { return m_readable; }
    bool scanned() const { return m_scanned; }
    /// Rescans handed to the worker whose results are not applied yet.
    int rescansInFlight() const { return m_rescans; }
    const QHash<QString, ShotList>& listing() const { return m_listing; }
    const QHash<QString, QStringList>& childMap() const { return m_childMap; }
    const QList<UndoBatch>& undoStack() const { return m_undoStack; }
    TextIndex& text() { return m_text; }
    const TextIndex& text() const { return m_text; }

    /// The shots of `scope` matching `query`, newest first.
    ShotList shots(const Scope& scope, const QString& query) const;
    /// The chip numbers: session, all and every folder's subtree.
    Counts counts() const;
    /// The display name of a folder chip: the last path component.
    QString name(const QString& path) const;

    /// Full reload: walks the whole tree on the worker, then watches the root.
    void reload();
    /// Switches to another folder (links resolved), empties the undo stack, reloads.
    void setRoot(const QString& path);
    /// Starts, moves or stops the watcher on the system screenshot folder.
    void watchStrays();
    /// Schedules a rescan of these directories, coalesced 0.1 s after the first.
    void refresh(const QSet<QString>& dirs);

    /// The first free name for `path`: itself, else " 2", " 3", … before the extension.
    static QString unique(const QString& path);
    /// Writes the capture mark that keeps a renamed or pulled-in file a screenshot.
    static void markScreenshot(const QString& path);

    /// Replaces the clock used for arrivals and the stray look-back (tests).
    void setClock(Clock clock);
    /// Replaces the system screenshot location read by watchStrays (tests, CLI).
    void setSystemLocation(std::function<QString()> location);
    /// Replaces the folders watched for strays, by default the screenshot tool's
    /// folders for screenshots and recordings as last detected (tests).
    void setStrayFolders(std::function<QStringList()> folders);
    /// Whether the state handed to the text index starts recognition; off for
    /// one-shot command-line queries that must not wait for recognition.
    void setFeedText(bool feed) { m_feedText = feed; }
    /// Runs `gate` on the scan worker after each job's work, before its result
    /// is handed back (tests hold results with it).
    void setScanGate(std::function<void()> gate) { m_scanGate = std::move(gate); }
    /// The system folders watched for strays; none inside the library.
    const QStringList& strayDirs() const { return m_strayDirs; }

    // File operations (defined in LibraryFileOps.cpp)
    /// Moves the shots to the Trash; the number that went, with undo information.
    /// `failure`, when given, receives the errno of the first file that could
    /// not be trashed (0 when every one was).
    int trash(const ShotList& shots, int* failure = nullptr);
    /// Files the shots into `folder` (numbered when a name is taken); the number moved.
    int move(const ShotList& shots, const QString& folder);
    /// What undo() did with the newest batch.
    struct Undone {
        QString label;         ///< the batch's label: "Trash", "Move" or "Rename"
        bool restored = false; ///< false when not one of its files came back
        bool operator==(const Undone&) const = default;
    };
    /// Undoes the newest batch, which is consumed even when some or all of its
    /// moves fail; nothing when the stack was empty.
    std::optional<Undone> undo();
    /// Creates a folder in `parent` (empty: the root), numbered when the name is
    /// taken; the new folder's path, or nothing.
    std::optional<QString> createFolder(const QString& name, const QString& parent = {});
    /// Renames a shot, keeping its extension; true when it has that name
    /// afterwards. Empty names and names starting with "." are refused.
    bool rename(const ShotPtr& shot, const QString& name);
    /// Renames a folder, keeping its shots and their text; its new path, or nothing.
    std::optional<QString> renameFolder(const QString& folder, const QString& name);
    /// Moves a folder to the Trash; never the root or a folder that holds it.
    bool trashFolder(const QString& folder);
    /// A typed name made safe: "/" and ":" become "-", white space trimmed.
    static QString cleanName(const QString& name);

private:
    void attach(const ShotPtr& shot);
    void detach(const ShotPtr& shot);
    /// Marks a directory as changed by the library itself, so a rescan
    /// listed before the change is dropped and made again.
    void touch(const QString& dir);
    /// touch() for a directory and every listed one below it.
    void touchSubtree(const QString& dir);
    void moveSubtree(const QString& old, const QString& target);

public:
    // End of file operations

signals:
    /// After every recomputation of `all`.
    void changed();
    /// Right after changed() when new shots arrived; newest first.
    void arrived(const ShotList& shots);

private:
    using Listing = QHash<QString, ShotList>;
    using Children = QHash<QString, QStringList>;

    void handle(const DirChanges& changes);
    void schedule(const DirChanges& changes);
    void flush();
    void apply(const FolderScanner::RescanResult& result, qint64 generation, quint64 since);
    bool stale(const FolderScanner::RescanResult& result, quint64 since) const;
    void dropSubtree(const QString& path);
    void rebuildFolders();
    void recompute(bool initial);
    void catchStrays();
    void recentScreenshots(const QStringList& folders, const QHash<QString, double>& since,
                           std::function<void(const QStringList&)> done);
    void pullIn(const QStringList& paths, std::function<void()> done);
    void applyReload(const FolderScanner::Tree& tree);
    void startWatcher();
    double now() const;
    static bool settled(const QString& path, const QString& root);
    /// The path with symbolic links resolved and "." and ".." removed.
    static QString resolved(const QString& path);

    /// Runs `work` on the scan worker and hands its result to `done` on the
    /// main thread, unless the library is gone by then.
    template <typename Work, typename Done>
    void submit(Work work, Done done);

    QString m_root;
    QStringList m_folders;
    ShotList m_all;
    bool m_readable = true;
    bool m_scanned = false;
    Listing m_listing;
    Children m_childMap;
    QSet<QString> m_known;
    QSet<QString> m_expected;
    std::unique_ptr<DirWatcher> m_watcher;
    std::vector<std::unique_ptr<DirWatcher>> m_strayWatchers;
    QStringList m_strayDirs;
    QHash<QString, double> m_straySince; // per folder: strays created since then are taken
    qint64 m_generation = 0;
    DirChanges m_pending;
    // The touch count at the library's last own change of each directory,
    // kept while rescans are in flight; a result that lists a directory
    // touched after its rescan began would bring the old state back.
    QHash<QString, quint64> m_touched;
    quint64 m_touches = 0;
    int m_rescans = 0;
    bool m_flushScheduled = false;
    // Events that arrive while a full reload walks the tree wait for it.
    bool m_reloading = false;
    DirChanges m_held;
    QList<UndoBatch> m_undoStack;
    TextIndex m_text;

    QThreadPool m_queue; // "tamberk.scan": one thread, submission order
    // "tamberk.pullin": moves strays in; a copy across file systems may take
    // seconds, which must hold up neither the main thread nor rescans.
    QThreadPool m_pullQueue;
    QTimer m_flushTimer;
    QTimer m_strayRetry; // re-checks strays that were still being written
    // One stray listing at a time; checks asked for meanwhile run once after it.
    bool m_strayBusy = false;
    bool m_strayAgain = false;
    Clock m_clock;
    std::function<QStringList()> m_strayFolders;
    bool m_feedText = true;
    std::function<void()> m_scanGate;
};
