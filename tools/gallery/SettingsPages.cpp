// Gallery pages of the settings window: the form as it opens, the tool
// saving elsewhere with a taken shortcut under Wayland, and the lower sections.
#include "Gallery.h"

#include "platform/GlobalShortcut.h"
#include "settings/CaptureTool.h"
#include "settings/Hotkey.h"
#include "settings/ui/SettingsView.h"

#include <QDir>
#include <QScrollArea>
#include <QScrollBar>

namespace {

// A tool that answers at once, so the pages need no real screenshot tool.
class PageTool : public CaptureTool {
public:
    explicit PageTool(QString location, bool writable)
        : m_location(std::move(location))
        , m_writable(writable) {}
    void read(QObject*, std::function<void(CaptureInfo)> done) override {
        CaptureInfo info;
        info.toolName = QStringLiteral("Spectacle");
        info.location = m_location;
        info.writable = m_writable;
        info.hasType = true;
        info.hasThumbnail = true;
        info.hasShadow = m_writable;
        info.openCommand = {QStringLiteral("spectacle")};
        done(info);
    }
    void readLocation(QObject*, std::function<void(QString)> done) override { done(m_location); }
    void setLocation(const QString&, std::function<void()> done) override { done(); }
    void setType(const QString&) override {}
    void setShowThumbnail(bool) override {}
    void setDisableShadow(bool) override {}
    bool open(const QStringList&) override { return false; }

private:
    QString m_location;
    bool m_writable;
};

class TakenShortcut : public GlobalShortcut {
public:
    Status grab(const QString&) override {
        setStatus(Status::conflict);
        return status();
    }
    void ungrab() override { setStatus(Status::none); }
};

// A view laid out at its window size and scrolled to `fraction` of its form.
std::unique_ptr<QWidget> makeView(CaptureTool* tool, double fraction, Hotkey* hotkey = nullptr) {
    auto view = std::make_unique<SettingsView>(tool);
    view->setHotkey(hotkey);
    view->setAttribute(Qt::WA_DontShowOnScreen);
    view->resize(560, 720);
    view->show();
    if (auto* scroll = view->findChild<QScrollArea*>()) {
        QScrollBar* bar = scroll->verticalScrollBar();
        bar->setValue(int(bar->maximum() * fraction));
    }
    return view;
}

} // namespace

GALLERY_WIDGET_PAGE(settings_window, [] {
    static PageTool tool(QDir::homePath(), true);
    return makeView(&tool, 0);
})

GALLERY_WIDGET_PAGE(settings_elsewhere_wayland, [] {
    static PageTool tool(QDir::homePath() + QStringLiteral("/Pictures/Other"), false);
    static TakenShortcut shortcut;
    static Hotkey hotkey(&shortcut);
    hotkey.registerPreset(1);
    qputenv("XDG_SESSION_TYPE", "wayland");
    auto view = makeView(&tool, 0.45, &hotkey);
    qunsetenv("XDG_SESSION_TYPE");
    return view;
})

GALLERY_WIDGET_PAGE(settings_bottom, [] {
    static PageTool tool(QDir::homePath(), true);
    return makeView(&tool, 1);
})
