#pragma once

#include "SettingsFakes.h"
#include "TestEnv.h"
#include "app/AppDelegate.h"
#include "app/DelayedWork.h"
#include "settings/Hotkey.h"
#include "settings/Prefs.h"

#include <QStringList>

// Fakes of all the delegate drives, logging into one list so the order of calls shows.

class FakeAppPanel final : public AppPanel {
public:
    explicit FakeAppPanel(QStringList& log)
        : m_log(log) {}

    bool isExpanded = false, pointerInside = false;
    QList<double> thumbs; ///< every size passed on; whether one is news is the panel's call

    bool expanded() const override { return isExpanded; }
    void expand(bool makeKey, quint32 timestamp) override {
        m_log << QStringLiteral("expand key=%1 time=%2").arg(makeKey).arg(timestamp);
        isExpanded = true;
    }
    void collapse(bool force) override {
        m_log << QStringLiteral("collapse force=%1").arg(force);
        isExpanded = false;
    }
    void scheduleCollapse(double delay) override {
        m_log << QStringLiteral("scheduleCollapse %1").arg(delay);
    }
    bool mouseInside() const override { return pointerInside; }
    void togglePin() override { m_log << QStringLiteral("togglePin"); }
    void newFolderPrompt() override { m_log << QStringLiteral("newFolderPrompt"); }
    void selectSession() override { m_log << QStringLiteral("selectSession"); }
    void reposition() override { m_log << QStringLiteral("reposition"); }
    void setTabShown(bool shown) override { m_log << QStringLiteral("tab %1").arg(shown); }
    void reloadGrid(bool animated) override {
        m_log << QStringLiteral("reloadGrid animated=%1").arg(animated);
    }
    void updatePin(bool pinned) override { m_log << QStringLiteral("updatePin %1").arg(pinned); }
    void followThumb(double t) override { thumbs << t; }
    void applyCaptureVisibility() override { m_log << QStringLiteral("captureVisibility"); }
    void toast(const QString& text) override { m_log << QStringLiteral("toast ") + text; }
    QVariantMap state() const override { return {{QStringLiteral("expanded"), isExpanded}}; }
    QStringList& m_log;
};

class FakeAppLibrary final : public AppLibrary {
public:
    explicit FakeAppLibrary(QStringList& log)
        : m_log(log) {}

    QString rootPath;
    bool isScanned = false;
    qint64 session = 0, pending = 0;
    std::optional<QString> newest;
    std::function<void()> changed;

    QString root() const override { return rootPath; }
    bool scanned() const override { return isScanned; }
    void setRoot(const QString& path) override {
        m_log << QStringLiteral("setRoot ") + path;
        rootPath = path;
    }
    void reload() override { m_log << QStringLiteral("reload"); }
    void watchStrays() override { m_log << QStringLiteral("watchStrays"); }
    void recognizeAll() override { m_log << QStringLiteral("recognizeAll"); }
    qint64 textPending() const override { return pending; }
    void newestText(std::function<void(std::optional<QString>)> done) override { done(newest); }
    qint64 sessionCount() const override { return session; }
    void observe(std::function<void()> c) override {
        m_log << QStringLiteral("observe");
        changed = std::move(c);
    }
    QStringList& m_log;
};

/// A delegate on fakes, a manual clock and a private home.
struct AppRig {
    TestEnv env;
    QStringList log;
    double now = 1000;
    DelayedWork work{[this] { return now; }};
    FakeAppLibrary lib{log};
    FakeTool tool{&log};
    FakeShortcut grab{&log};
    Hotkey hotkey{&grab};
    FakeAppPanel* panel = nullptr; // owned by the delegate once launched
    int quits = 0;
    std::unique_ptr<AppDelegate> app;

    AppRig() {
        lib.rootPath = env.mkdir(QStringLiteral("Pictures/Screenshots"));
        tool.info.toolName = QStringLiteral("Spectacle");
        tool.info.writable = true;
    }

    /// Makes the delegate (reading the store as it stands) and launches it.
    void launch() {
        AppDelegate::Services s;
        s.lib = &lib;
        s.hotkey = &hotkey;
        s.tool = &tool;
        s.work = &work;
        s.quit = [this] { ++quits; };
        s.setClipboard = [this](const QString& text) {
            log << QStringLiteral("clipboard ") + text;
        };
        s.makePanel = [this]() -> std::unique_ptr<AppPanel> {
            log << QStringLiteral("makePanel");
            auto p = std::make_unique<FakeAppPanel>(log);
            panel = p.get();
            return p;
        };
        s.makeTrayItem = [this] { log << QStringLiteral("makeTrayItem"); };
        app = std::make_unique<AppDelegate>(s);
        app->launch();
    }

    /// A launch after the first (no greeting), past the pinned panel's
    /// opening, with the log from then on only.
    void relaunch() {
        Prefs::shared().set(Key::launched, true);
        launch();
        advance(1);
        log.clear();
    }

    /// Moves the clock on by `seconds` and runs what came due.
    void advance(double seconds) {
        now += seconds;
        work.runDue();
    }
};
