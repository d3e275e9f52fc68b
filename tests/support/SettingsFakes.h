#pragma once

// Fakes of what the settings drive outside the program, logging to their own or a shared log.

#include "FakeShortcut.h"
#include "platform/GlobalShortcut.h"
#include "settings/CaptureTool.h"

/// A screenshot tool that answers at once.
class FakeTool final : public CaptureTool {
public:
    explicit FakeTool(QStringList* log = nullptr)
        : m_log(log ? log : &ownLog) {}
    FakeTool(const FakeTool&) = delete;
    FakeTool& operator=(const FakeTool&) = delete;

    CaptureInfo info;
    bool moves = true; ///< whether setLocation really changes the location
    QStringList ownLog;

    void read(QObject*, std::function<void(CaptureInfo)> done) override { done(info); }
    void readLocation(QObject*, std::function<void(QString)> done) override { done(info.location); }
    void setLocation(const QString& folder, std::function<void()> done) override {
        *m_log << QStringLiteral("location ") + folder;
        if (moves)
            info.location = folder;
        done();
    }
    void setType(const QString& type) override { *m_log << QStringLiteral("type ") + type; }
    void setShowThumbnail(bool show) override { *m_log << QStringLiteral("thumb %1").arg(show); }
    void setDisableShadow(bool disable) override {
        *m_log << QStringLiteral("shadow %1").arg(disable);
    }
    bool open(const QStringList& command) override {
        *m_log << QStringLiteral("open ") + command.join(QLatin1Char(' '));
        return true;
    }

private:
    QStringList* m_log;
};
