#pragma once

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
};
void configure(const Services& services);

/// Makes the window on the first call; every call brings it to the front.
SettingsView* show();
/// The window, or null before the first show().
SettingsView* window();
/// Destroys the window, so the next show() makes a new one. For tests.
void destroyForTesting();

} // namespace SettingsWindow
