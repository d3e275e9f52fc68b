#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

/// One step of a change to the screenshot tool's settings, run in order on a
/// background thread: a program with its arguments, or an edit of one key of
/// a settings file the tool reads (a Qt INI file or a desktop key file).
struct CaptureStep {
    enum class Kind { run, iniFile, keyFile };
    Kind kind = Kind::run;
    QString program; // run: the program, found on PATH
    QStringList args;
    QString file; // edits: the file, a group ("" for none) and a key
    QString group;
    QString key;
    QString value;

    static CaptureStep command(QString program, QStringList args);
    static CaptureStep iniEdit(QString file, QString group, QString key, QString value);
    static CaptureStep keyFileEdit(QString file, QString group, QString key, QString value);
    bool operator==(const CaptureStep&) const = default;
};

/// One desktop screenshot tool's settings. Getters read the tool's own
/// configuration at the moment of the call; setters return the steps that
/// change it, empty when the tool has no such setting or nothing is
/// writable.
class CaptureBackend {
public:
    virtual ~CaptureBackend() = default;
    /// A short identifier ("gnome-shell", "spectacle", ...).
    virtual QString id() const = 0;
    /// The desktop and tool, for people.
    virtual QString toolName() const = 0;
    /// The folder the tool names for screenshots (may be empty or missing).
    virtual QString savedLocation() const = 0;
    /// Where the tool saves when it names no existing folder; created by
    /// SystemCapture::location() on first use.
    virtual QString defaultLocation() const;
    /// The folder the tool names for screen recordings; empty when none.
    virtual QString recordingLocation() const { return {}; }
    /// Further folders where screenshots may land (an installed tool that is
    /// not the one in use); watched for strays only.
    virtual QStringList otherFolders() const { return {}; }
    virtual QString type() const { return QStringLiteral("png"); }
    virtual bool showThumbnail() const { return true; }
    virtual bool disableShadow() const { return false; }
    virtual std::optional<QString> namePrefix() const { return std::nullopt; }
    /// Whether setLocation can change where the tool saves.
    virtual bool writable() const { return false; }
    /// The program and arguments that open the tool's own window or settings;
    /// empty when it has none.
    virtual QStringList openCommand() const { return {}; }

    virtual QList<CaptureStep> locationSteps(const QString&) const { return {}; }
    virtual QList<CaptureStep> typeSteps(const QString&) const { return {}; }
    virtual QList<CaptureStep> showThumbnailSteps(bool) const { return {}; }
    virtual QList<CaptureStep> disableShadowSteps(bool) const { return {}; }
};

/// The desktop's own screenshot settings: where its screenshot tool saves,
/// in which format, whether it shows a thumbnail, whether window shots get a
/// shadow, and the file-name prefix. Stateless: every call detects the tool
/// and reads its configuration afresh.
/// What the library needs of the screenshot tool, taken from one detection.
struct CaptureFacts {
    QString tool;              // the backend's id
    QString location;          // where screenshots go (an existing folder)
    QString recordingLocation; // where recordings go (may equal location)
    QStringList strayFolders;  // every folder to watch for strays, links resolved, no repeats
    std::optional<QString> namePrefix;
    bool operator==(const CaptureFacts&) const = default;
};

namespace SystemCapture {

/// One full detection (slow: scans /proc and may run gsettings); for the
/// cache in CaptureCache, which runs it off the main thread.
CaptureFacts facts();
/// The number of detections this process has made (tests).
int detections();

/// The tool in use: a running flameshot or ksnip first, then the desktop's
/// own tool by XDG_CURRENT_DESKTOP, else the generic backend.
std::unique_ptr<CaptureBackend> detect();

/// The folder where the desktop's tool saves screenshots (an existing
/// directory): the tool's folder, or XDG Pictures + "Screenshots", created
/// on first use.
QString location();
/// The folder where the tool saves screen recordings (falls back to location()).
QString recordingLocation();
/// Whether the tool saves screenshots into `folder` (links resolved).
bool matches(const QString& folder);
/// Points the tool at `folder`; `done` runs on the main thread afterwards,
/// also when the tool keeps no writable location.
void setLocation(const QString& folder, std::function<void()> done = {});
/// Runs the steps in order on a background thread, then `done` (optional) on
/// the main thread. Outcomes are judged by reading the settings again.
void write(const QList<CaptureStep>& steps, std::function<void()> done = {});
/// Runs `program` (found on PATH) with output sent to the null device and
/// returns its exit status; -1 when it cannot start or crashes.
int run(const QString& program, const QStringList& args);
/// Runs a step in the calling thread; false when it failed.
bool apply(const CaptureStep& step);

void setShowThumbnail(bool show, std::function<void()> done = {});
void setDisableShadow(bool disable, std::function<void()> done = {});
/// Sets the image format ("png", "jpg", ...) where the tool has one.
void setType(const QString& type, std::function<void()> done = {});

/// Image format in lower case, "jpeg" reported as "jpg"; "png" when unknown.
QString type();
bool showThumbnail();
bool disableShadow();
/// The tool's file-name prefix, when it has one.
std::optional<QString> namePrefix();
/// Human-readable name of the detected desktop and tool.
QString toolName();
/// Whether setLocation can change the tool's folder.
bool writable();
/// The command that opens the tool's own window or settings, when the tool
/// has one and its program is on PATH; empty otherwise.
QStringList openCommand();

/// XDG Pictures + "Screenshots": where Linux desktops save by default. Not
/// created here.
QString defaultFolder();
/// Normalises a format name: lower case, "jpeg" as "jpg", empty as "png".
QString normaliseType(const QString& type);
/// A folder named by a path, a "~/" path or a file:// URL, as a plain path.
QString pathFromSetting(const QString& setting);

} // namespace SystemCapture
