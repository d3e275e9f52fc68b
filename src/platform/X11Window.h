#pragma once

#include <QRegion>
#include <QtGlobal>

class QWindow;

// X11 window management for the panel and the edge tab. Each function acts on
// the QWindow's X window and returns false, doing nothing, when the application
// does not run on xcb (the offscreen tests) or the window has no handle yet
// where one is needed. Regions are in device pixels, relative to the window.
namespace X11Window {

/// Whether the application runs on the xcb platform.
bool available();

/// Turns `window` into a dock: sets Qt's window-type property (so later flag
/// changes keep the type), creates the platform window when needed, and
/// writes _NET_WM_WINDOW_TYPE_DOCK, WM_CLASS "tamberk", "Tamberk" and the dock
/// states. Call it before the first show.
bool makeDock(QWindow* window);

/// Gives the window the states ABOVE, SKIP_TASKBAR, SKIP_PAGER, STICKY and
/// the desktop 0xFFFFFFFF. Window managers drop these on unmap, so call it
/// before every show (it writes the properties the manager reads when it
/// maps the window) and once more right after (it then asks the manager
/// directly). Before a show that follows a hide at once, it first waits, on
/// X events and for at most two seconds, until the manager has withdrawn the
/// window: a manager still busy with the unmap would erase the new states.
bool applyDockStates(QWindow* window);
/// Shows a dock with its states applied before and after, as above.
bool showDock(QWindow* window);

/// Sets the SHAPE input region: pointer events outside it reach the windows
/// below. An empty region makes the window ignore the pointer entirely.
bool setInputRegion(QWindow* window, const QRegion& region);
/// Sets the SHAPE bounding region: the window exists only inside it.
bool setBoundingRegion(QWindow* window, const QRegion& region);
/// Resets both the input and the bounding region to the whole window.
bool clearShape(QWindow* window);

/// Switches whether the shown window accepts keyboard focus (WM_HINTS input)
/// through QWindow::setFlags, which does not unmap it. A QWidget's owner also
/// calls overrideWindowFlags() with the same flags so the widget agrees.
bool setAcceptsFocus(QWindow* window, bool accepts);

/// Asks the window manager to activate the window: _NET_ACTIVE_WINDOW with
/// source 2 (a pager: docks get focus only that way) and the X timestamp of
/// the event that asked for it (QInputEvent::timestamp() on xcb).
bool activate(QWindow* window, quint32 xTimestamp);

/// Whether the compositor offers blur behind windows (the root window carries
/// _KDE_NET_WM_BLUR_BEHIND_REGION).
bool blurBehindAvailable();
/// Asks for blur behind `region` (an empty region blurs the whole window);
/// false when blur is not offered.
bool setBlurBehind(QWindow* window, const QRegion& region);
/// Removes the blur request.
bool clearBlurBehind(QWindow* window);

} // namespace X11Window
