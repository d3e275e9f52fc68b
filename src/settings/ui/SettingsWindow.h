#pragma once

#include <QMargins>
#include <QRect>
#include <functional>

class CaptureTool;
class Hotkey;
class SettingsView;

/// The one settings window of the process: made on the first show(), kept
/// for the life of the process, hidden (never destroyed) when closed.
namespace SettingsWindow {

/// What the window works with; set before the first show(). Without a tool
/// the real one (SystemCapture) is used.
struct Services {
    CaptureTool* tool = nullptr; // not owned
    Hotkey* hotkey = nullptr;    // not owned
    std::function<void()> onMatched;
    /// Where the panel's card sits on the screen (empty: nowhere). The
    /// window opens beside it: the card is a dock above ordinary windows.
    std::function<QRect()> keepClear = {};
};
void configure(const Services& services);

/// Makes the window on the first call; every call brings it to the front,
/// placed anew when it was hidden or lies under the card. Placed over the
/// card (no room beside it), it is kept above other windows, as the card is.
SettingsView* show();

/// Where a window whose frame is `frame` big opens on the `available` part
/// of the screen: centred, or beside `keepClear` when the centre would
/// overlap it, on the wider side, as far from it as the screen allows. The
/// result is the frame's rectangle, always inside `available` where it fits.
QRect placement(const QSize& frame, const QRect& available, const QRect& keepClear);
/// The window, or null before the first show().
SettingsView* window();
/// Destroys the window, so the next show() makes a new one. For tests.
void destroyForTesting();

} // namespace SettingsWindow
