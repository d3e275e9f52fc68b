#include "shelf/Announce.h"

#include <QAccessible>

namespace {

announce::Tap g_tap = nullptr;

} // namespace

namespace announce {

void setTap(Tap tap) {
    g_tap = tap;
}

bool listening() {
    return g_tap || QAccessible::isActive();
}

void send(QAccessibleEvent& event) {
    if (g_tap)
        g_tap(&event);
    if (QAccessible::isActive())
        QAccessible::updateAccessibility(&event);
}

} // namespace announce
