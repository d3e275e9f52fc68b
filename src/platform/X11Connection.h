#pragma once

#include <QByteArray>
#include <cstdint>

// The application's own X connection, shared by the X11 facilities in this
// folder. Everything here answers "nothing" (null, 0, false) when the
// application does not run on the xcb platform, so callers need no separate
// platform check.

struct xcb_connection_t;

namespace X11Connection {
/// Qt's xcb connection, or null on any other platform.
xcb_connection_t* connection();
/// The root window of the default screen (0 without X).
std::uint32_t root();
/// The default screen's number (the N of "_NET_WM_CM_SN").
int screenNumber();
/// The atom named `name`, interned once and cached (0 without X).
std::uint32_t atom(const QByteArray& name);
/// The first event code of an extension ("XFIXES", "XKEYBOARD"), or -1 when
/// the server lacks it.
int firstEvent(const QByteArray& extension);
/// Whether the X server named by DISPLAY accepts a connection. Needs no
/// application object: the start-up asks it before creating one.
bool displayReachable();
} // namespace X11Connection
