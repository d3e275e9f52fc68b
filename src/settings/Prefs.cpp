#include "settings/Prefs.h"

#include "platform/Log.h"
#include "settings/SystemCapture.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLocale>
#include <QStandardPaths>
#include <cmath>
#include <ctime>

namespace {

std::unique_ptr<Prefs>& sharedSlot() {
    static std::unique_ptr<Prefs> instance;
    return instance;
}

double nowSeconds() {
    return QDateTime::currentMSecsSinceEpoch() / 1000.0;
}

QByteArray fileDigest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1);
}

QString expandTilde(const QString& path) {
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

// The INI file keeps every value as text, so a value has a type when its text
// parses as one. Lists (unquoted commas) and other variants have none.
std::optional<double> numberOf(const QVariant& stored) {
    if (stored.typeId() == QMetaType::Double || stored.typeId() == QMetaType::Int ||
        stored.typeId() == QMetaType::LongLong)
        return stored.toDouble();
    if (stored.typeId() != QMetaType::QString)
        return std::nullopt;
    bool ok = false;
    const double value = stored.toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<qint64> integerOf(const QVariant& stored) {
    if (stored.typeId() == QMetaType::QString) {
        bool ok = false;
        const qint64 value = stored.toString().trimmed().toLongLong(&ok);
        if (ok)
            return value;
    }
    // A number with a fraction converts toward zero, as the store's number
    // conversion does; one out of range has no integer value.
    const std::optional<double> number = numberOf(stored);
    if (!number || std::fabs(*number) >= 9.2e18)
        return std::nullopt;
    return static_cast<qint64>(*number);
}

std::optional<bool> booleanOf(const QVariant& stored) {
    if (stored.typeId() == QMetaType::Bool)
        return stored.toBool();
    if (stored.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString text = stored.toString().trimmed().toLower();
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (ok)
        return value != 0;
    return std::nullopt;
}

} // namespace

QString toString(SessionMode mode) {
    switch (mode) {
    case SessionMode::today:
        return QStringLiteral("today");
    case SessionMode::day:
        return QStringLiteral("day");
    case SessionMode::launch:
        return QStringLiteral("launch");
    case SessionMode::boot:
        break;
    }
    return QStringLiteral("boot");
}

std::optional<SessionMode> sessionModeFrom(const QString& name) {
    for (SessionMode mode :
         {SessionMode::boot, SessionMode::today, SessionMode::day, SessionMode::launch}) {
        if (name == toString(mode))
            return mode;
    }
    return std::nullopt;
}

QString toString(DockSide side) {
    return side == DockSide::left ? QStringLiteral("left") : QStringLiteral("right");
}

const QList<PrefKey>& Prefs::table() {
    static const QList<PrefKey> keys = {
        {Key::side,
         QMetaType::QString,
         QStringLiteral("right"),
         {QStringLiteral("right"), QStringLiteral("left")}},
        {Key::thumb, QMetaType::Double, 224.0},
        {Key::width, QMetaType::Double, 268.0},
        {Key::pinned, QMetaType::Bool, false},
        {Key::folder, QMetaType::QString, QString()},
        {Key::reveal, QMetaType::Bool, true},
        {Key::peek, QMetaType::Bool, true},
        {Key::autoCopy, QMetaType::Bool, false},
        {Key::onlyShots, QMetaType::Bool, true},
        {Key::includeSub, QMetaType::Bool, true},
        {Key::captions, QMetaType::Bool, true},
        {Key::confirmDelete, QMetaType::Bool, true},
        {Key::hotkey, QMetaType::LongLong, qint64(1)},
        {Key::session,
         QMetaType::QString,
         QStringLiteral("boot"),
         {QStringLiteral("boot"), QStringLiteral("today"), QStringLiteral("day"),
          QStringLiteral("launch")}},
        {Key::sessionReset, QMetaType::Double, 0.0},
        {Key::ocr, QMetaType::Bool, true},
        {Key::ocrLanguages, QMetaType::QString, QString()},
        {Key::showTab, QMetaType::Bool, true},
        {Key::screen,
         QMetaType::QString,
         QStringLiteral("primary"),
         {QStringLiteral("primary"), QStringLiteral("pointer"), QStringLiteral("output:")}},
        {Key::doubleClick,
         QMetaType::QString,
         QStringLiteral("open"),
         {QStringLiteral("open"), QStringLiteral("quicklook")}},
        // A choice ending in ':' admits any text after it.
        {Key::scope,
         QMetaType::QString,
         QStringLiteral("session"),
         {QStringLiteral("session"), QStringLiteral("all"), QStringLiteral("folder:")}},
        {Key::hideFromCapture, QMetaType::Bool, true},
        {Key::launched, QMetaType::Bool, false},
        {Key::syncSystem, QMetaType::Bool, true},
    };
    return keys;
}

const PrefKey* Prefs::find(const QString& key) {
    for (const PrefKey& row : table()) {
        if (key == QLatin1String(row.key))
            return &row;
    }
    return nullptr;
}

std::optional<QVariant> Prefs::parse(const PrefKey& row, const QString& text) {
    switch (row.type) {
    case QMetaType::Bool:
        if (text == QLatin1String("true") || text == QLatin1String("false"))
            return QVariant(text == QLatin1String("true"));
        return std::nullopt;
    case QMetaType::Double:
        if (const auto number = numberOf(text))
            return QVariant(*number);
        return std::nullopt;
    case QMetaType::LongLong: {
        bool ok = false;
        const qint64 value = text.trimmed().toLongLong(&ok);
        return ok ? std::optional<QVariant>(QVariant(value)) : std::nullopt;
    }
    default:
        break;
    }
    if (row.choices.isEmpty())
        return QVariant(text);
    for (const QString& choice : row.choices) {
        const bool prefix = choice.endsWith(QLatin1Char(':'));
        if (prefix ? text.startsWith(choice) && text.size() > choice.size() : text == choice)
            return QVariant(text);
    }
    return std::nullopt;
}

QString Prefs::format(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    default:
        return value.toString();
    }
}

Prefs& Prefs::shared() {
    auto& slot = sharedSlot();
    if (!slot)
        slot.reset(new Prefs());
    return *slot;
}

void Prefs::resetSharedForTesting() {
    sharedSlot().reset();
}

Prefs::Prefs() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    m_path = config + QStringLiteral("/tamberk/tamberk.conf");
    m_store = std::make_unique<QSettings>(m_path, QSettings::IniFormat);
    watchStore();
}

void Prefs::watchStore() {
    // Editors and other tools replace the file by rename, which ends a watch
    // on the file itself, so the folder is watched as well.
    m_watcher = new QFileSystemWatcher(this);
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    m_watcher->addPath(QFileInfo(m_path).absolutePath());
    if (QFileInfo::exists(m_path))
        m_watcher->addPath(m_path);
    m_digest = fileDigest(m_path);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &Prefs::reloadFromDisk);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &Prefs::reloadFromDisk);
}

void Prefs::reloadFromDisk() {
    if (QFileInfo::exists(m_path) && !m_watcher->files().contains(m_path))
        m_watcher->addPath(m_path);
    {
        // Our own writes were announced when made: only content we did not
        // write counts here, which also skips lock and temporary files.
        QMutexLocker locker(&m_lock);
        const QByteArray digest = fileDigest(m_path);
        if (digest == m_digest)
            return;
        m_digest = digest;
        m_store->sync();
    }
    emit changed();
}

QVariant Prefs::raw(const char* key) const {
    QMutexLocker locker(&m_lock);
    // Picks up another process's edit at the moment of use; when the file is
    // unchanged this costs one stat.
    m_store->sync();
    return m_store->value(QLatin1String(key));
}

bool Prefs::isStored(const char* key) const {
    QMutexLocker locker(&m_lock);
    m_store->sync();
    return m_store->contains(QLatin1String(key));
}

QVariant Prefs::value(const char* key) const {
    const PrefKey* row = find(QLatin1String(key));
    if (!row)
        return raw(key);
    switch (row->type) {
    case QMetaType::Bool:
        return boolean(key);
    case QMetaType::Double:
        return number(key);
    case QMetaType::LongLong:
        return integer(key);
    default:
        return string(key);
    }
}

bool Prefs::boolean(const char* key) const {
    const QVariant stored = raw(key);
    if (!stored.isValid()) {
        const PrefKey* row = find(QLatin1String(key));
        return row && row->fallback.toBool();
    }
    return booleanOf(stored).value_or(false);
}

double Prefs::number(const char* key) const {
    const QVariant stored = raw(key);
    if (!stored.isValid()) {
        const PrefKey* row = find(QLatin1String(key));
        return row ? row->fallback.toDouble() : 0.0;
    }
    return numberOf(stored).value_or(0.0);
}

qint64 Prefs::integer(const char* key) const {
    const QVariant stored = raw(key);
    if (!stored.isValid()) {
        const PrefKey* row = find(QLatin1String(key));
        return row ? row->fallback.toLongLong() : 0;
    }
    return integerOf(stored).value_or(0);
}

QString Prefs::string(const char* key) const {
    const QVariant stored = raw(key);
    if (stored.typeId() == QMetaType::QString)
        return stored.toString();
    const PrefKey* row = find(QLatin1String(key));
    return row ? row->fallback.toString() : QString();
}

bool Prefs::set(const char* key, const QVariant& value) {
    const PrefKey* row = find(QLatin1String(key));
    QVariant typed = value;
    if (row && row->type == QMetaType::Bool)
        typed = booleanOf(value.typeId() == QMetaType::Bool ? value : QVariant(value.toString()))
                    .value_or(false);
    else if (row && row->type == QMetaType::Double)
        typed = value.toDouble();
    else if (row && row->type == QMetaType::LongLong)
        typed = value.toLongLong();
    else if (!row && value.typeId() == QMetaType::Bool)
        typed = value.toBool();
    else if (!row || row->type == QMetaType::QString)
        typed = value.toString();
    bool written = true;
    {
        QMutexLocker locker(&m_lock);
        m_store->setValue(QLatin1String(key), format(typed));
        m_store->sync();
        if (m_store->status() != QSettings::NoError) {
            logFailure("settings write", m_path);
            written = false;
        }
        m_digest = fileDigest(m_path);
    }
    emit changed();
    return written;
}

QString Prefs::folderPath() const {
    const QString chosen = string(Key::folder);
    if (!chosen.isEmpty()) {
        const QFileInfo info(expandTilde(chosen));
        if (info.exists() && info.isDir())
            return QDir::cleanPath(info.absoluteFilePath());
    }
    return SystemCapture::location();
}

QUrl Prefs::folderURL() const {
    return QUrl::fromLocalFile(folderPath() + QLatin1Char('/'));
}

DockSide Prefs::side() const {
    return string(Key::side) == QLatin1String("left") ? DockSide::left : DockSide::right;
}

SessionMode Prefs::sessionMode() const {
    return sessionModeFrom(string(Key::session)).value_or(SessionMode::boot);
}

double Prefs::sessionStart() const {
    return sessionStart(nowSeconds());
}

double Prefs::sessionStart(double now) const {
    double base = bootDate();
    switch (sessionMode()) {
    case SessionMode::today: {
        const QDate day = QDateTime::fromMSecsSinceEpoch(qint64(now * 1000)).date();
        base = day.startOfDay().toMSecsSinceEpoch() / 1000.0;
        break;
    }
    case SessionMode::day:
        base = now - 86400.0;
        break;
    case SessionMode::launch:
        base = launchDate();
        break;
    case SessionMode::boot:
        break;
    }
    // "Start New Session" moves the start forward until the mode's own base
    // passes it; on a tie the reset wins.
    const double reset = number(Key::sessionReset);
    return reset >= base ? reset : base;
}

bool Prefs::doubleClickQuickLook() const {
    return string(Key::doubleClick) == QLatin1String("quicklook");
}

double Prefs::launchDate() {
    static const double launch = nowSeconds();
    return launch;
}

double Prefs::bootDate() {
    static const double boot = [] {
        // The kernel records the boot time as "btime" in /proc/stat.
        QFile stat(QStringLiteral("/proc/stat"));
        if (stat.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : stat.readAll().split('\n')) {
                if (line.startsWith("btime ")) {
                    bool ok = false;
                    const qint64 seconds = line.mid(6).trimmed().toLongLong(&ok);
                    if (ok && seconds > 0)
                        return double(seconds);
                }
            }
        }
        timespec uptime{};
        clock_gettime(CLOCK_BOOTTIME, &uptime);
        return nowSeconds() - (uptime.tv_sec + uptime.tv_nsec / 1e9);
    }();
    return boot;
}
