#pragma once

class QAccessibleEvent;

/// Accessibility events of our painted views, sent only while someone listens:
/// building an event resolves (and caches) interfaces, which costs for nothing
/// when no screen reader runs.
namespace announce {

/// Receives every event sent here while it is set, whether or not the platform
/// passes events on (where no accessibility bridge runs, Qt drops them).
using Tap = void (*)(QAccessibleEvent* event);
void setTap(Tap tap);

/// Whether anyone listens: the platform's bridge is on, or a tap is set.
bool listening();
/// Sends `event` to the platform's bridge and the tap, when either listens.
void send(QAccessibleEvent& event);

} // namespace announce
