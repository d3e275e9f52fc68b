#include "settings/SystemCapture.h"

#include "platform/KeyFile.h"
#include "platform/Log.h"
#include "platform/ProcessProbe.h"
#include "settings/CaptureBackends.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>

CaptureStep CaptureStep::command(QString program, QStringList args) {
    CaptureStep step;
    step.program = std::move(program);
    step.args = std::move(args);
    return step;
}

CaptureStep CaptureStep::iniEdit(QString file, QString group, QString key, QString value) {
    CaptureStep step;
    step.kind = Kind::iniFile;
    step.file = std::move(file);
    step.group = std::move(group);
    step.key = std::move(key);
    step.value = std::move(value);
    return step;
}

CaptureStep CaptureStep::keyFileEdit(QString file, QString group, QString key, QString value) {
    CaptureStep step = iniEdit(std::move(file), std::move(group), std::move(key), std::move(value));
    step.kind = Kind::keyFile;
    return step;
}

QString CaptureBackend::defaultLocation() const {
    return SystemCapture::defaultFolder();
}

namespace {

class Generic final : public CaptureBackend {
public:
    explicit Generic(QString desktop)
        : m_desktop(std::move(desktop)) {}
    QString id() const override { return QStringLiteral("generic"); }
    QString toolName() const override {
        return m_desktop.isEmpty() ? QStringLiteral("Generic (no known desktop)")
                                   : QStringLiteral("Generic (%1)").arg(m_desktop);
    }
    QString savedLocation() const override { return SystemCapture::defaultFolder(); }

private:
    QString m_desktop;
};

bool hasDesktop(const QStringList& desktops, const char* name) {
    return desktops.contains(QLatin1String(name), Qt::CaseInsensitive);
}

} // namespace

// Shared helpers of the backends.

QString CaptureBackends::configFile(const QString& relative) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + relative;
}

std::optional<QString> CaptureBackends::output(const QString& program, const QStringList& args) {
    if (QStandardPaths::findExecutable(program).isEmpty())
        return std::nullopt;
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args);
    if (!process.waitForStarted(3000))
        return std::nullopt;
    // A hung helper must not hang a settings read on the main thread.
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

std::optional<QString> CaptureBackends::prefixBefore(const QString& pattern,
                                                     const QString& markers) {
    qsizetype end = pattern.size();
    for (const QChar marker : markers) {
        const qsizetype at = pattern.indexOf(marker);
        if (at >= 0 && at < end)
            end = at;
    }
    if (end == 0)
        return std::nullopt;
    return pattern.left(end);
}

std::optional<QString> CaptureBackends::parseVariantString(const QString& printed) {
    QString text = printed.trimmed();
    if (text.startsWith(QLatin1String("@s ")))
        text = text.mid(3).trimmed();
    if (text.size() < 2)
        return std::nullopt;
    const QChar quote = text.front();
    if ((quote != QLatin1Char('\'') && quote != QLatin1Char('"')) || text.back() != quote)
        return std::nullopt;
    QString result;
    for (qsizetype i = 1; i + 1 < text.size(); ++i) {
        QChar c = text.at(i);
        if (c == QLatin1Char('\\') && i + 2 < text.size()) {
            c = text.at(++i);
            if (c == QLatin1Char('n'))
                c = QLatin1Char('\n');
            else if (c == QLatin1Char('t'))
                c = QLatin1Char('\t');
            else if (c == QLatin1Char('u') && i + 4 < text.size()) {
                bool ok = false;
                const ushort code = text.mid(i + 1, 4).toUShort(&ok, 16);
                if (ok) {
                    c = QChar(code);
                    i += 4;
                }
            }
        }
        result.append(c);
    }
    return result;
}

QString CaptureBackends::quoteVariantString(const QString& text) {
    QString escaped = text;
    escaped.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    escaped.replace(QLatin1String("'"), QLatin1String("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

std::unique_ptr<CaptureBackend> CaptureBackends::generic(const QString& desktop) {
    return std::make_unique<Generic>(desktop);
}

namespace {

std::atomic<int> g_detections{0};

// gsettings' printed string list ("['a', 'b']", "@as []") as strings.
QStringList parseStringList(const QString& printed) {
    QString text = printed.trimmed();
    if (text.startsWith(QLatin1String("@as ")))
        text = text.mid(4).trimmed();
    if (!text.startsWith(QLatin1Char('[')) || !text.endsWith(QLatin1Char(']')))
        return {};
    QStringList items;
    for (const QString& item : text.mid(1, text.size() - 2).split(QLatin1Char(','))) {
        if (const auto value = CaptureBackends::parseVariantString(item))
            items.append(*value);
    }
    return items;
}

// Whether a custom shortcut of GNOME's settings runs gnome-screenshot.
bool gnomeScreenshotBound() {
    const QString schema = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");
    const auto list = CaptureBackends::output(
        QStringLiteral("gsettings"),
        {QStringLiteral("get"), schema, QStringLiteral("custom-keybindings")});
    if (!list)
        return false;
    for (const QString& path : parseStringList(*list)) {
        const auto command = CaptureBackends::output(
            QStringLiteral("gsettings"),
            {QStringLiteral("get"), schema + QStringLiteral(".custom-keybinding:") + path,
             QStringLiteral("command")});
        if (command && command->contains(QLatin1String("gnome-screenshot")))
            return true;
    }
    return false;
}

QString existingFolder(const QString& setting) {
    const QString named = SystemCapture::pathFromSetting(setting);
    if (!named.isEmpty() && QDir::isAbsolutePath(named) && QFileInfo(named).isDir())
        return QDir::cleanPath(named);
    return {};
}

QString locationOf(const CaptureBackend& backend) {
    const QString named = existingFolder(backend.savedLocation());
    if (!named.isEmpty())
        return named;
    const QString fallback = backend.defaultLocation();
    if (!QDir().mkpath(fallback))
        logFailure("create folder", fallback);
    return fallback;
}

} // namespace

namespace SystemCapture {

int detections() {
    return g_detections.load();
}

CaptureFacts facts() {
    const auto backend = detect();
    CaptureFacts facts;
    facts.tool = backend->id();
    facts.location = locationOf(*backend);
    const QString recordings = existingFolder(backend->recordingLocation());
    facts.recordingLocation = recordings.isEmpty() ? facts.location : recordings;
    const auto prefix = backend->namePrefix();
    if (prefix && !prefix->isEmpty())
        facts.namePrefix = prefix;
    QStringList folders{facts.location, facts.recordingLocation};
    for (const QString& other : backend->otherFolders())
        folders.append(existingFolder(other));
    for (const QString& folder : std::as_const(folders)) {
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        if (!canonical.isEmpty() && !facts.strayFolders.contains(canonical))
            facts.strayFolders.append(canonical);
    }
    return facts;
}

std::unique_ptr<CaptureBackend> detect() {
    g_detections.fetch_add(1);
    // A tool the user started outranks the desktop's own.
    if (ProcessProbe::isRunning(QStringLiteral("flameshot")))
        return CaptureBackends::flameshot();
    if (ProcessProbe::isRunning(QStringLiteral("ksnip")))
        return CaptureBackends::ksnip();

    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    const QStringList desktops = desktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (hasDesktop(desktops, "KDE")) {
        const bool plasma5 =
            QStandardPaths::findExecutable(QStringLiteral("kwriteconfig6")).isEmpty() &&
            !QStandardPaths::findExecutable(QStringLiteral("kwriteconfig5")).isEmpty();
        return CaptureBackends::spectacle(plasma5 ? 5 : 6);
    }
    if (hasDesktop(desktops, "GNOME")) {
        // Since GNOME 42 the Print key opens the shell's own screenshot UI.
        // gnome-screenshot's folder is the tool's only while gnome-screenshot
        // runs or a shortcut starts it; otherwise it is watched for strays.
        const auto saved = CaptureBackends::output(QStringLiteral("gsettings"),
                                                   {QStringLiteral("get"),
                                                    QStringLiteral("org.gnome.gnome-screenshot"),
                                                    QStringLiteral("auto-save-directory")});
        const auto folder = saved ? CaptureBackends::parseVariantString(*saved) : std::nullopt;
        if (!folder || folder->isEmpty())
            return CaptureBackends::gnomeShell();
        if (ProcessProbe::isRunning(QStringLiteral("gnome-screenshot")) || gnomeScreenshotBound())
            return CaptureBackends::gnomeScreenshot();
        return CaptureBackends::gnomeShell(pathFromSetting(*folder));
    }
    if (hasDesktop(desktops, "XFCE"))
        return CaptureBackends::xfceScreenshooter();
    return CaptureBackends::generic(desktop);
}

QString defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) +
           QStringLiteral("/Screenshots");
}

QString normaliseType(const QString& type) {
    const QString lower = type.trimmed().toLower();
    if (lower.isEmpty())
        return QStringLiteral("png");
    if (lower == QLatin1String("jpeg"))
        return QStringLiteral("jpg");
    return lower;
}

QString pathFromSetting(const QString& setting) {
    const QString text = setting.trimmed();
    if (text.startsWith(QLatin1String("file:")))
        return QUrl(text).toLocalFile();
    if (text == QLatin1String("~"))
        return QDir::homePath();
    if (text.startsWith(QLatin1String("~/")))
        return QDir::homePath() + text.mid(1);
    // Other URL schemes (a network share) are no folder we can list.
    if (text.contains(QLatin1String("://")))
        return {};
    return text;
}

QString location() {
    return locationOf(*detect());
}

QString recordingLocation() {
    const QString named = existingFolder(detect()->recordingLocation());
    return named.isEmpty() ? location() : named;
}

bool matches(const QString& folder) {
    const QString ours = QFileInfo(location()).canonicalFilePath();
    const QString theirs = QFileInfo(folder).canonicalFilePath();
    return !ours.isEmpty() && ours == theirs;
}

void setLocation(const QString& folder, std::function<void()> done) {
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    write(detect()->locationSteps(path), std::move(done));
}

void write(const QList<CaptureStep>& steps, std::function<void()> done) {
    // Every write is one background task, so its steps run in the order given.
    // The completion goes to the application object, and nowhere once it is gone.
    QPointer<QObject> mainContext = QCoreApplication::instance();
    auto task = QtConcurrent::run([steps, done = std::move(done), mainContext]() mutable {
        for (const CaptureStep& step : steps)
            apply(step);
        if (done && mainContext)
            QMetaObject::invokeMethod(mainContext, std::move(done), Qt::QueuedConnection);
    });
    Q_UNUSED(task);
}

int run(const QString& program, const QStringList& args) {
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args);
    if (!process.waitForStarted(-1))
        return -1;
    process.waitForFinished(-1);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool apply(const CaptureStep& step) {
    if (step.kind == CaptureStep::Kind::run)
        return run(step.program, step.args) == 0;

    // Two writes may run at once; edits of a file must not interleave.
    static QMutex editLock;
    QMutexLocker locker(&editLock);
    if (step.kind == CaptureStep::Kind::keyFile) {
        KeyFile file = KeyFile::load(step.file);
        file.setAnywhere(step.key, step.value, step.group);
        return file.save(step.file);
    }
    QSettings ini(step.file, QSettings::IniFormat);
    // QSettings keeps the keys of [General] at its top level.
    const bool topLevel = step.group.isEmpty() || step.group == QLatin1String("General");
    ini.setValue(topLevel ? step.key : step.group + QLatin1Char('/') + step.key, step.value);
    ini.sync();
    if (ini.status() != QSettings::NoError) {
        logFailure("settings write", step.file);
        return false;
    }
    return true;
}

void setShowThumbnail(bool show, std::function<void()> done) {
    write(detect()->showThumbnailSteps(show), std::move(done));
}

void setDisableShadow(bool disable, std::function<void()> done) {
    write(detect()->disableShadowSteps(disable), std::move(done));
}

void setType(const QString& type, std::function<void()> done) {
    write(detect()->typeSteps(type), std::move(done));
}

QString type() {
    return normaliseType(detect()->type());
}
bool showThumbnail() {
    return detect()->showThumbnail();
}
bool disableShadow() {
    return detect()->disableShadow();
}

std::optional<QString> namePrefix() {
    const auto prefix = detect()->namePrefix();
    if (prefix && prefix->isEmpty())
        return std::nullopt;
    return prefix;
}

QString toolName() {
    return detect()->toolName();
}
bool writable() {
    return detect()->writable();
}

QStringList openCommand() {
    const QStringList command = detect()->openCommand();
    if (command.isEmpty() || QStandardPaths::findExecutable(command.first()).isEmpty())
        return {};
    return command;
}

} // namespace SystemCapture
