#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

/// What the settings window shows of the desktop's screenshot tool, read in
/// one go so that one background task answers everything.
struct CaptureInfo {
    QString toolName;
    /// False when no screenshot tool was recognised (the generic fallback).
    bool known = true;
    QString location;
    QString type = QStringLiteral("png");
    bool showThumbnail = true;
    bool disableShadow = false;
    /// Whether the tool's save location can be changed.
    bool writable = false;
    /// Which of its options the tool has at all.
    bool hasType = false;
    bool hasThumbnail = false;
    bool hasShadow = false;
    /// The command that opens the tool; empty when it has none.
    QStringList openCommand;
};

/// The screenshot tool as the settings window uses it. Every call may be
/// slow (detection runs programs), so answers come back later, on the main
/// thread, and only while `context` is alive. Tests substitute a fake.
class CaptureTool {
public:
    virtual ~CaptureTool() = default;
    /// Reads everything about the tool.
    virtual void read(QObject* context, std::function<void(CaptureInfo)> done) = 0;
    /// Reads only where the tool saves (the window polls this).
    virtual void readLocation(QObject* context, std::function<void(QString)> done) = 0;
    /// Points the tool at `folder`; `done` follows when the change was made.
    virtual void setLocation(const QString& folder, std::function<void()> done) = 0;
    virtual void setType(const QString& type) = 0;
    virtual void setShowThumbnail(bool show) = 0;
    virtual void setDisableShadow(bool disable) = 0;
    /// Starts the tool's own window or settings; false when it could not start.
    virtual bool open(const QStringList& command) = 0;
};

/// The real tool, through SystemCapture, with reads on the global thread pool.
class SystemCaptureTool final : public CaptureTool {
public:
    void read(QObject* context, std::function<void(CaptureInfo)> done) override;
    void readLocation(QObject* context, std::function<void(QString)> done) override;
    void setLocation(const QString& folder, std::function<void()> done) override;
    void setType(const QString& type) override;
    void setShowThumbnail(bool show) override;
    void setDisableShadow(bool disable) override;
    bool open(const QStringList& command) override;

    /// The detected tool's state, read in the calling thread.
    static CaptureInfo readNow();
};
