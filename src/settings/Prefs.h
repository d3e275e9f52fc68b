#pragma once

#include <QMutex>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <memory>
#include <optional>

/// The settings keys. Every reader reads its key through Prefs::shared() at
/// the moment of use; nothing caches a value.
namespace Key {
inline constexpr char side[] = "t2.side";
inline constexpr char thumb[] = "t2.thumb";
inline constexpr char width[] = "t2.width";
inline constexpr char pinned[] = "t2.pinned";
inline constexpr char folder[] = "t2.folder";
inline constexpr char reveal[] = "t2.reveal";
inline constexpr char peek[] = "t2.peek";
inline constexpr char autoCopy[] = "t2.autoCopy";
inline constexpr char onlyShots[] = "t2.onlyShots";
inline constexpr char includeSub[] = "t2.includeSub";
inline constexpr char captions[] = "t2.captions";
inline constexpr char confirmDelete[] = "t2.confirmDelete";
inline constexpr char hotkey[] = "t2.hotkey";
inline constexpr char session[] = "t2.session";
inline constexpr char sessionReset[] = "t2.sessionReset";
inline constexpr char ocr[] = "t2.ocr";
/// The languages text recognition reads, as engine codes joined by "+"
/// ("eng+deu"); empty: English plus the locale's language when installed.
inline constexpr char ocrLanguages[] = "t2.ocrLanguages";
inline constexpr char showTab[] = "t2.showTab";
/// Which screen the panel and tab dock on: "primary", "pointer" (the tab on
/// the primary screen, the user's own opens on the screen under the pointer)
/// or "output:" followed by a screen's name ("output:HDMI-1").
inline constexpr char screen[] = "t2.screen";
inline constexpr char doubleClick[] = "t2.doubleClick";
inline constexpr char scope[] = "t2.scope";
inline constexpr char hideFromCapture[] = "t2.hideFromCapture";
inline constexpr char launched[] = "t2.launched";
inline constexpr char syncSystem[] = "t2.syncSystem";
/// Legacy key of the first generation, read once by the migration.
inline constexpr char leftSide[] = "leftSide";
} // namespace Key

/// The screen edge the panel and tab dock on, stored in "t2.side".
enum class DockSide { right, left };

/// When a session starts, stored in "t2.session" by these names, in this order.
enum class SessionMode { boot, today, day, launch };

/// The stored name of a session mode ("boot", "today", "day", "launch").
QString toString(SessionMode mode);
/// The session mode stored as `name`; nothing for any other text.
std::optional<SessionMode> sessionModeFrom(const QString& name);
/// The stored name of a side ("right", "left").
QString toString(DockSide side);

/// One row of the settings table: key, stored type and registered default.
struct PrefKey {
    const char* key;
    QMetaType::Type type; // Bool, Double, LongLong or QString
    QVariant fallback;
    /// The only values a string key may take; empty for free text.
    QStringList choices = {};
};

/// The one entry to the settings store: an INI file at
/// $XDG_CONFIG_HOME/tamberk/tamberk.conf with the table's defaults registered
/// in memory only. `changed()` follows every write made here and every change
/// of the file by another process. Reads and writes are safe from any thread;
/// the instance itself lives on the thread that first asked for it (the main
/// thread in practice), where `changed()` is emitted for outside changes.
class Prefs : public QObject {
    Q_OBJECT
public:
    /// The shared instance, created (and its defaults registered) on first use.
    static Prefs& shared();
    /// Drops the shared instance so the next shared() reopens the store under
    /// the current environment. For tests, which move HOME around.
    static void resetSharedForTesting();

    /// The complete table of "t2." keys in the documented order.
    static const QList<PrefKey>& table();
    /// The table row of `key`, or null for a key outside the table.
    static const PrefKey* find(const QString& key);
    /// `text` as a value of the key's type ("true"/"false", a number, an
    /// integer, or one of the key's choices); nothing when it is not one.
    static std::optional<QVariant> parse(const PrefKey& row, const QString& text);
    /// A typed value as the store writes it (the inverse of parse).
    static QString format(const QVariant& value);

    /// A bool key; a stored value that is not a bool reads as false.
    bool boolean(const char* key) const;
    /// A double key; a stored value that is not a number reads as 0.0.
    double number(const char* key) const;
    /// An integer key; a stored value that is not a number reads as 0.
    qint64 integer(const char* key) const;
    /// A string key; a missing value or one that is not a single string reads
    /// as the registered default (empty when there is none).
    QString string(const char* key) const;
    /// The typed value of a key (stored or default).
    QVariant value(const char* key) const;
    /// Whether the store holds a value of its own for the key.
    bool isStored(const char* key) const;

    /// Writes the value now, converted to the key's type, and emits changed();
    /// false (and a log line) when the store could not be written.
    bool set(const char* key, const QVariant& value);

    /// The effective screenshot folder: "t2.folder" when it names an existing
    /// directory (tilde expanded), else the system's screenshot location.
    QString folderPath() const;
    /// folderPath() as a directory URL.
    QUrl folderURL() const;
    /// "t2.side": left only when it reads exactly "left".
    DockSide side() const;
    /// "t2.session": an unknown or missing mode reads as boot.
    SessionMode sessionMode() const;
    /// Start of the current session, seconds since 1970.
    double sessionStart() const;
    /// The same, computed for the moment `now` (seconds since 1970).
    double sessionStart(double now) const;
    /// True exactly when "t2.doubleClick" is "quicklook".
    bool doubleClickQuickLook() const;

    /// Seconds since 1970, each fixed at first access.
    static double launchDate();
    static double bootDate();

    /// The INI file behind the store.
    QString storePath() const { return m_path; }

signals:
    /// Any key changed: a write through Prefs or an edit of the file by
    /// another process.
    void changed();

private:
    Prefs();
    QVariant raw(const char* key) const;
    void watchStore();
    void reloadFromDisk();

    QString m_path;
    mutable QMutex m_lock;
    std::unique_ptr<QSettings> m_store;
    class QFileSystemWatcher* m_watcher = nullptr;
    QByteArray m_digest;
};
