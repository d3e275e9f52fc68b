#include "settings/ui/SettingsWindow.h"

#include "settings/CaptureTool.h"
#include "settings/ui/SettingsView.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <algorithm>

namespace {

// The window manager's frame before the window was first shown (its title
// bar and borders): afterwards the window knows its own.
constexpr QMargins kFrameGuess{4, 30, 4, 4};

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
        s.window = view;
    }
    SettingsView* view = s.window;
    const QRect clear = s.services.keepClear ? s.services.keepClear() : QRect();
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen && (!view->isVisible() || view->frameGeometry().intersects(clear))) {
        const QMargins known =
            view->windowHandle() ? view->windowHandle()->frameMargins() : QMargins();
        const QMargins margins = known.isNull() ? kFrameGuess : known;
        const QRect placed =
            placement(view->size().grownBy(margins), screen->availableGeometry(), clear);
        // A window's position is its frame's.
        view->move(placed.topLeft());
        // With no room beside the card the window goes over it, and the card
        // is a dock above ordinary windows: keep this one above as well.
        const bool above = placed.intersects(clear);
        if (view->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != above) {
            const Qt::WindowFlags flags =
                view->windowFlags().setFlag(Qt::WindowStaysOnTopHint, above);
            if (view->isVisible() && view->windowHandle()) {
                // Changing a shown widget's flags would unmap it.
                view->overrideWindowFlags(flags);
                view->windowHandle()->setFlags(flags);
            } else {
                view->setWindowFlags(flags);
            }
        }
    }
    s.window->show();
    s.window->raise();
    s.window->activateWindow();
    return s.window;
}

QRect placement(const QSize& frame, const QRect& available, const QRect& keepClear) {
    QRect placed(QPoint(), frame);
    placed.moveCenter(available.center());
    if (placed.top() < available.top())
        placed.moveTop(available.top());
    if (keepClear.isEmpty() || !placed.intersects(keepClear))
        return placed;
    // The room on each side of the card; the window is centred in the wider
    // one, or against the screen's far edge when it is wider than the room.
    const int leftRoom = keepClear.left() - available.left();
    const int rightRoom = available.right() - keepClear.right();
    if (leftRoom >= rightRoom)
        placed.moveLeft(available.left() + std::max(0, (leftRoom - frame.width()) / 2));
    else
        placed.moveRight(available.right() - std::max(0, (rightRoom - frame.width()) / 2));
    return placed;
}

SettingsView* window() {
    return state().window;
}

void destroyForTesting() {
    delete state().window.data();
}

} // namespace SettingsWindow
