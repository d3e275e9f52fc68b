#include "settings/ui/SettingsWindow.h"

#include "settings/CaptureTool.h"
#include "settings/ui/SettingsView.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

namespace {

struct State {
    SettingsWindow::Services services;
    SystemCaptureTool systemTool;
    QPointer<SettingsView> window;
};

State& state() {
    static State s;
    return s;
}

} // namespace

namespace SettingsWindow {

void configure(const Services& services) {
    state().services = services;
    if (state().window) {
        state().window->setHotkey(services.hotkey);
        state().window->setOnMatched(services.onMatched);
    }
}

SettingsView* show() {
    State& s = state();
    if (!s.window) {
        CaptureTool* tool = s.services.tool ? s.services.tool : &s.systemTool;
        auto* view = new SettingsView(tool);
        view->setWindowTitle(QStringLiteral("Tamberk Settings"));
        view->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowCloseButtonHint);
        // Closing hides the window; it never ends the application.
        view->setAttribute(Qt::WA_QuitOnClose, false);
        view->setFixedSize(560, 720);
        view->setHotkey(s.services.hotkey);
        view->setOnMatched(s.services.onMatched);
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), view->size());
            frame.moveCenter(screen->availableGeometry().center());
            view->move(frame.topLeft());
        }
        s.window = view;
    }
    s.window->show();
    s.window->raise();
    s.window->activateWindow();
    return s.window;
}

SettingsView* window() {
    return state().window;
}

void destroyForTesting() {
    delete state().window.data();
}

} // namespace SettingsWindow
