#pragma once

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

/// The text found inside the library's images: recognised on a background
/// worker one file at a time, kept per path, persisted in
/// $XDG_DATA_HOME/Tamberk/text-index.json and matched against search queries.
/// Every member is used on the main thread only.
class TextIndex : public QObject {
    Q_OBJECT
public:
    /// One recognised file: its modification time when it was recognised
    /// (seconds since 1970) and the recognised lines joined by "\n".
    struct Entry {
        double m = 0;
        QString t;
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

    /// Queues the shots whose text is missing or stale and starts the worker.
    void enqueue(const ShotList& shots);
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
    bool idle() const { return !busy && queue.empty(); }
    /// A delayed save is waiting to be written.
    bool savePending() const { return saveScheduled; }

signals:
    /// A recognition result was stored for `path`.
    void recognized(const QString& path);
    /// A save reached the disk (`ok`) or failed.
    void saved(bool ok);
    /// A prune scan finished, having removed `count` entries.
    void pruned(int count);

private:
    void load();
    void pump();
    void finish(const ShotPtr& shot, const std::optional<QString>& text);
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
    std::deque<ShotPtr> queue;
    QSet<QString> queued;
    bool busy = false;
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
    QThread* m_worker = nullptr;
    QObject* m_workerContext = nullptr;
    std::shared_ptr<std::atomic<bool>> m_stopping = std::make_shared<std::atomic<bool>>(false);

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
