#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>

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
inline constexpr char showTab[] = "t2.showTab";
inline constexpr char doubleClick[] = "t2.doubleClick";
inline constexpr char scope[] = "t2.scope";
inline constexpr char hideFromCapture[] = "t2.hideFromCapture";
inline constexpr char launched[] = "t2.launched";
inline constexpr char syncSystem[] = "t2.syncSystem";
/// Legacy key of the first generation, read once by the migration.
inline constexpr char leftSide[] = "leftSide";
} // namespace Key

/// One row of the settings table: key, stored type and registered default.
struct PrefKey {
    const char* key;
    QMetaType::Type type; // Bool, Double, LongLong or QString
    QVariant fallback;
};

/// The one entry to the settings store: an INI file at
/// $XDG_CONFIG_HOME/tamberk/tamberk.conf with the table's defaults registered
/// in memory only. `changed()` follows every write made here and every change
/// of the file by another process.
class Prefs : public QObject {
    Q_OBJECT
public:
    static Prefs& shared();
    /// Drops the shared instance so the next shared() reopens the store under
    /// the current environment. For tests, which move HOME around.
    static void resetSharedForTesting();

    /// The complete table of "t2." keys in the documented order.
    static const QList<PrefKey>& table();
    static const PrefKey* find(const QString& key);

    bool boolean(const char* key) const;
    double number(const char* key) const;
    qint64 integer(const char* key) const;
    QString string(const char* key) const;
    /// The typed value of a key (stored or default).
    QVariant value(const char* key) const;
    /// Whether the store holds a value of its own for the key.
    bool isStored(const char* key) const;

    void set(const char* key, const QVariant& value);

    /// The effective screenshot folder: "t2.folder" when it names an existing
    /// directory (tilde expanded), else the system's screenshot location.
    QString folderPath() const;
    /// Start of the current session, seconds since 1970.
    double sessionStart() const;
    bool doubleClickQuickLook() const;

    /// Seconds since 1970, each fixed at first access.
    static double launchDate();
    static double bootDate();

    QString storePath() const { return m_path; }

signals:
    void changed();

private:
    Prefs();
    void watchStore();
    void reloadFromDisk();

    QString m_path;
    std::unique_ptr<QSettings> m_store;
    class QFileSystemWatcher* m_watcher = nullptr;
    QByteArray m_digest;
};
