#pragma once

#include "content/RecognitionPool.h"
#include "content/TextSearch.h"
#include "library/Shot.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QThread;

/// The text found inside the library's images: recognised on idle-priority
/// workers (several while a backlog waits, newest files first, new arrivals
/// ahead of all), kept per path, persisted in $XDG_DATA_HOME/Tamberk/
/// text-index.json by one writer and matched against search queries. Every
/// member is used on the main thread only.
class TextIndex : public QObject {
    Q_OBJECT
public:
    /// One recognised file: its modification time when it was recognised
    /// (seconds since 1970), the recognised lines joined by "\n" and the
    /// languages they were read with ("eng+deu").
    struct Entry {
        double m = 0;
        QString t;
        QString l;
        bool operator==(const Entry&) const = default;
    };
    using Map = QHash<QString, Entry>;
    /// Turns an image file into its text ("" when it holds none or is no
    /// image); nothing when the engine is not available, so nothing is
    /// stored. Called on the worker thread only.
    using Recognizer = std::function<std::optional<QString>(const QString& path)>;
    /// The byte pairs of a text, for ruling out most texts unread.
    using Pairs = TextSearch::Pairs;
    /// A query lower-cased and split once for one pass over a listing: its
    /// pieces in UTF-8 and the number of the pass it was made for.
    struct Pieces {
        QList<QByteArray> words;
        QList<Pairs> pairs; // of each word
        quint64 pass = 0;
        bool isEmpty() const { return words.isEmpty(); }
    };

    /// The library's index: the default file, the Tesseract recogniser.
    explicit TextIndex(QObject* parent = nullptr);
    /// An index kept in `file` (memory only when empty) that recognises with
    /// `recognizer`; for tests and tools.
    TextIndex(QString file, Recognizer recognizer, QObject* parent = nullptr);
    ~TextIndex() override;

    /// Queues the shots whose text is missing, stale or read with other
    /// languages, newest first, and starts the workers. The list is kept as
    /// the one to read again when the languages change.
    void enqueue(const ShotList& shots);
    /// Puts new arrivals ahead of everything that waits (newest first).
    void enqueueFirst(const ShotList& shots);
    /// The text of `shot`, recognised first (ahead of all, also with
    /// recognition switched off) when it is not current; `done` gets nothing
    /// when there is none. `done` runs on the main thread, perhaps at once.
    void readNow(const ShotPtr& shot, std::function<void(std::optional<QString>)> done);
    /// Files waiting for recognition or being read (0 while it is off).
    qsizetype pending() const;
    /// Whether the shot has no current text: never read, changed since, or
    /// read with other languages. Videos are never unread.
    bool unread(const Shot& shot) const;
    /// The waiting paths in the order they will be read (tests).
    QStringList queueOrder() const;
    /// How many threads read a backlog (tests, benchmarks); 0: the machine's share.
    void setWorkerLimit(int limit) { m_pool.setLimit(limit); }
    /// See RecognitionPool::setIdlePriority (benchmarks).
    void setIdlePriority(bool idle) { m_pool.setIdlePriority(idle); }
    /// Whether the roll is on screen: reading then leaves one core to it.
    void setForeground(bool on);
    bool foreground() const { return m_pool.foreground(); }
    /// The most recognitions that ran at once so far.
    int peakWorkers() const { return m_peakWorkers; }
    /// Stops recognition for good: the waiting files are dropped, the
    /// running ones told to stop early and waited for at most `waitMs`;
    /// a pending save is written now. True when every worker ended in time.
    bool shutdown(int waitMs);

    /// The languages recognition uses now ("eng+deu"), from "t2.ocrLanguages"
    /// and the installed data.
    QString languages() const { return m_languages; }
    /// The installed language data to choose from (tests fake it).
    void setAvailableLanguages(const QStringList& codes);
    /// Whether every space-separated piece of `query` occurs in the shot's
    /// lower-cased file name or recognised text.
    bool matches(const Shot& shot, const QString& query) const;
    /// Same as above with a query split by pieces(); the fast way to filter
    /// a listing: call pieces() once per pass, then this for every shot.
    bool matches(const Shot& shot, const Pieces& pieces) const;
    /// The lower-cased pieces of a query split at spaces, empty ones dropped,
    /// for one pass over a listing.
    static Pieces pieces(const QString& query);
    /// The recognised text, or nothing when there is none.
    std::optional<QString> text(const Shot& shot) const;
    /// Moves an entry after the library renamed or moved its file.
    void rekey(const QString& oldPath, const QString& newPath);
    /// Drops entries whose files no longer exist.
    void prune();

    /// $XDG_DATA_HOME/Tamberk/text-index.json (empty when there is no home).
    static QString defaultFile();
    /// Recognition of one image file with the on-device engine of the
    /// calling thread; "" on any failure.
    static QString recognize(const QString& path);
    /// The same, with nothing when the engine could not start; tall images
    /// are read in bands at full width. The index's own recogniser.
    static std::optional<QString> read(const QString& path);
    /// Whether recognition stopped because the engine is not available.
    bool unavailable() const { return m_unavailable; }
    /// The index file's content for `map`: compact JSON, one member per path.
    static QByteArray encode(const Map& map);
    /// The map of an index file, or nothing when it is not exactly that form.
    static std::optional<Map> decode(const QByteArray& json);

    /// Where the index is kept (empty: memory only).
    QString file() const { return m_file; }
    /// The whole index (tests, tools).
    const Map& entries() const { return map; }
    /// Neither a recognition in flight nor one waiting.
    bool idle() const { return m_pool.busy() == 0 && waiting() == 0; }
    /// A delayed save is waiting to be written.
    bool savePending() const { return saveScheduled; }

signals:
    /// A recognition result was stored for `path`.
    void recognized(const QString& path);
    /// A save reached the disk (`ok`) or failed.
    void saved(bool ok);
    /// A prune scan finished, having removed `count` entries.
    void pruned(int count);
    /// pending() changed.
    void pendingChanged(qsizetype pending);

private:
    void load();
    void pump();
    void finish(const ShotPtr& shot, const QString& languages, const std::optional<QString>& text);
    void prefsChanged();
    void applyLanguages();
    void notePending();
    qsizetype waiting() const {
        return qsizetype(m_urgent.size() + m_front.size() + m_backlog.size());
    }
    ShotPtr takeNext(bool ocr);
    void dropWaiting();
    bool current(const Shot& shot) const;
    void scheduleSave();
    void save();
    void store(const QString& path, Entry entry);
    void post(std::function<void()> job);
    void changed() { ++m_generation; }
    struct Haystack {
        QByteArray bytes;
        Pairs pairs{};
    };
    const Haystack& haystackFor(const Shot& shot, quint64 pass) const;
    Haystack lookupHaystack(const QString& path) const;
    static bool contains(const Haystack& hay, const Pieces& pieces);

    Map map;
    // The lower-cased haystack of each entry: file name, "\n", text, in UTF-8,
    // so a match is a byte search with nothing lowered or built per query.
    QHash<QString, Haystack> lower;
    // What waits, in the order it is read: explicit requests, then arrivals,
    // then the backlog (kept oldest first, so the newest is taken from the end).
    std::deque<ShotPtr> m_urgent;
    std::deque<ShotPtr> m_front;
    std::vector<ShotPtr> m_backlog;
    bool m_backlogSorted = true;
    // Paths waiting or being read.
    QSet<QString> queued;
    QHash<QString, std::vector<std::function<void(std::optional<QString>)>>> m_waiters;
    ShotList m_listing;
    QString m_wanted;    // "t2.ocrLanguages" as last applied
    QString m_languages; // what the engines load for it
    QStringList m_available;
    qsizetype m_shownPending = 0;
    int m_peakWorkers = 0;
    bool saveScheduled = false;
    // The engine could not start (no language data): nothing more is queued
    // this session, and nothing is stored, so a later run reads every file.
    bool m_unavailable = false;

    QString m_file;
    Recognizer m_recognizer;
    QTimer m_saveTimer;
    // Set when the file at start could not be read: it is kept as ".bad"
    // before the first save replaces it.
    bool m_keepBad = false;
    // The one writer: saves and prune scans, never behind a recognition.
    QThread* m_io = nullptr;
    QObject* m_ioContext = nullptr;
    RecognitionPool m_pool;

    // A listing is filtered by asking for its shots in the same order for
    // every query, so the haystacks are remembered in the order of the last
    // pass: the next pass reads them in sequence instead of hashing each
    // path. Rebuilt after any change of `lower`.
    struct Memo {
        QString path;
        Haystack hay;
    };
    quint64 m_generation = 0;
    mutable std::vector<Memo> m_memo;
    mutable size_t m_cursor = 0;
    mutable quint64 m_memoGeneration = 0;
    mutable quint64 m_memoPass = 0;
};
