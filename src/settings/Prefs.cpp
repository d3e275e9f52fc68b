#include "settings/Prefs.h"

#include "settings/SystemCapture.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QStandardPaths>
#include <ctime>

namespace {

std::unique_ptr<Prefs>& sharedSlot()
{
    static std::unique_ptr<Prefs> instance;
    return instance;
}

double nowSeconds() { return QDateTime::currentMSecsSinceEpoch() / 1000.0; }

QByteArray fileDigest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1);
}

QString expandTilde(const QString& path)
{
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

} // namespace

const QList<PrefKey>& Prefs::table()
{
    static const QList<PrefKey> keys = {
        {Key::side, QMetaType::QString, QStringLiteral("right")},
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
        {Key::session, QMetaType::QString, QStringLiteral("boot")},
        {Key::sessionReset, QMetaType::Double, 0.0},
        {Key::ocr, QMetaType::Bool, true},
        {Key::showTab, QMetaType::Bool, true},
        {Key::doubleClick, QMetaType::QString, QStringLiteral("open")},
        {Key::scope, QMetaType::QString, QStringLiteral("session")},
        {Key::hideFromCapture, QMetaType::Bool, true},
        {Key::launched, QMetaType::Bool, false},
        {Key::syncSystem, QMetaType::Bool, true},
    };
    return keys;
}

const PrefKey* Prefs::find(const QString& key)
{
    for (const PrefKey& row : table()) {
        if (key == QLatin1String(row.key))
            return &row;
    }
    return nullptr;
}

Prefs& Prefs::shared()
{
    auto& slot = sharedSlot();
    if (!slot)
        slot.reset(new Prefs());
    return *slot;
}

void Prefs::resetSharedForTesting() { sharedSlot().reset(); }

Prefs::Prefs()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    m_path = config + QStringLiteral("/tamberk/tamberk.conf");
    m_store = std::make_unique<QSettings>(m_path, QSettings::IniFormat);
    watchStore();
}

void Prefs::watchStore()
{
    // Editors and other tools replace the file by rename, so the folder is
    // watched as well as the file itself.
    m_watcher = new QFileSystemWatcher(this);
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    m_watcher->addPath(QFileInfo(m_path).absolutePath());
    if (QFileInfo::exists(m_path))
        m_watcher->addPath(m_path);
    m_digest = fileDigest(m_path);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &Prefs::reloadFromDisk);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &Prefs::reloadFromDisk);
}

void Prefs::reloadFromDisk()
{
    if (QFileInfo::exists(m_path) && !m_watcher->files().contains(m_path))
        m_watcher->addPath(m_path);
    // Our own writes are announced when made; only foreign changes count here.
    const QByteArray digest = fileDigest(m_path);
    if (digest == m_digest)
        return;
    m_digest = digest;
    m_store->sync();
    emit changed();
}

bool Prefs::isStored(const char* key) const { return m_store->contains(QLatin1String(key)); }

QVariant Prefs::value(const char* key) const
{
    const PrefKey* row = find(QLatin1String(key));
    if (!row)
        return m_store->value(QLatin1String(key));
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

bool Prefs::boolean(const char* key) const
{
    const QVariant stored = m_store->value(QLatin1String(key));
    if (!stored.isValid()) {
        const PrefKey* row = find(QLatin1String(key));
        return row && row->fallback.toBool();
    }
    if (stored.typeId() == QMetaType::Bool)
        return stored.toBool();
    // A value of another type reads as false.
    const QString text = stored.toString().trimmed().toLower();
    return text == QLatin1String("true") || text == QLatin1String("1");
}

double Prefs::number(const char* key) const
{
    const QVariant stored = m_store->value(QLatin1String(key));
    if (!stored.isValid()) {
        const PrefKey* row = find(QLatin1String(key));
        return row ? row->fallback.toDouble() : 0.0;
    }
    bool ok = false;
    const double result = stored.toString().trimmed().toDouble(&ok);
    return ok ? result : 0.0;
}

qint64 Prefs::integer(const char* key) const
{
    const QVariant stored = m_store->value(QLatin1String(key));
    if (!stored.isValid()) {
        const PrefKey* row = find(QLatin1String(key));
        return row ? row->fallback.toLongLong() : 0;
    }
    bool ok = false;
    const qint64 result = stored.toString().trimmed().toLongLong(&ok);
    return ok ? result : 0;
}

QString Prefs::string(const char* key) const
{
    const QVariant stored = m_store->value(QLatin1String(key));
    // A missing value, or one that is not a single string, reads as the default.
    if (stored.typeId() == QMetaType::QString)
        return stored.toString();
    const PrefKey* row = find(QLatin1String(key));
    return row ? row->fallback.toString() : QString();
}

void Prefs::set(const char* key, const QVariant& value)
{
    const PrefKey* row = find(QLatin1String(key));
    QVariant stored = value;
    if (row && row->type == QMetaType::Bool)
        stored = value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    else if (row && row->type == QMetaType::Double)
        stored = QString::number(value.toDouble(), 'g', 17);
    else if (row && row->type == QMetaType::LongLong)
        stored = QString::number(value.toLongLong());
    else
        stored = value.toString();
    m_store->setValue(QLatin1String(key), stored);
    m_store->sync();
    m_digest = fileDigest(m_path);
    emit changed();
}

QString Prefs::folderPath() const
{
    const QString chosen = string(Key::folder);
    if (!chosen.isEmpty()) {
        const QFileInfo info(expandTilde(chosen));
        if (info.exists() && info.isDir())
            return QDir::cleanPath(info.absoluteFilePath());
    }
    return SystemCapture::location();
}

double Prefs::sessionStart() const
{
    const QString mode = string(Key::session);
    double base = bootDate();
    if (mode == QLatin1String("today"))
        base = QDateTime(QDate::currentDate(), QTime(0, 0)).toMSecsSinceEpoch() / 1000.0;
    else if (mode == QLatin1String("day"))
        base = nowSeconds() - 86400.0;
    else if (mode == QLatin1String("launch"))
        base = launchDate();
    const double reset = number(Key::sessionReset);
    return reset >= base ? reset : base;
}

bool Prefs::doubleClickQuickLook() const
{
    return string(Key::doubleClick) == QLatin1String("quicklook");
}

double Prefs::launchDate()
{
    static const double launch = nowSeconds();
    return launch;
}

double Prefs::bootDate()
{
    static const double boot = [] {
        // The kernel records the boot time as "btime" in /proc/stat.
        QFile stat(QStringLiteral("/proc/stat"));
        if (stat.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : stat.readAll().split('\n')) {
                if (line.startsWith("btime ")) {
                    bool ok = false;
                    const qint64 seconds = line.mid(6).trimmed().toLongLong(&ok);
                    if (ok)
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
