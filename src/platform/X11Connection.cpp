#include "platform/X11Connection.h"

#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace X11Connection {

xcb_connection_t* connection() {
    auto* app = qGuiApp;
    if (!app || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

bool displayReachable() {
    xcb_connection_t* probe = xcb_connect(nullptr, nullptr);
    const bool ok = xcb_connection_has_error(probe) == 0;
    xcb_disconnect(probe);
    return ok;
}

int screenNumber() {
    if (!connection())
        return 0;
    // Qt opens the display named by DISPLAY; its screen part is the default.
    static const int number = [] {
        int screen = 0;
        char* host = nullptr;
        int display = 0;
        if (xcb_parse_display(nullptr, &host, &display, &screen) == 0)
            screen = 0;
        std::free(host);
        return screen;
    }();
    return number;
}

std::uint32_t root() {
    xcb_connection_t* c = connection();
    if (!c)
        return 0;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem > 0; xcb_screen_next(&it), ++i) {
        if (i == screenNumber())
            return it.data->root;
    }
    return 0;
}

std::uint32_t atom(const QByteArray& name) {
    xcb_connection_t* c = connection();
    if (!c)
        return 0;
    static QMutex lock;
    static QHash<QByteArray, std::uint32_t> cache;
    QMutexLocker locker(&lock);
    if (auto found = cache.constFind(name); found != cache.constEnd())
        return *found;
    const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.constData());
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, cookie, nullptr), &std::free);
    const std::uint32_t value = reply ? reply->atom : 0;
    if (value)
        cache.insert(name, value);
    return value;
}

int firstEvent(const QByteArray& extension) {
    xcb_connection_t* c = connection();
    if (!c)
        return -1;
    const auto cookie =
        xcb_query_extension(c, static_cast<uint16_t>(extension.size()), extension.constData());
    std::unique_ptr<xcb_query_extension_reply_t, decltype(&std::free)> reply(
        xcb_query_extension_reply(c, cookie, nullptr), &std::free);
    if (!reply || !reply->present)
        return -1;
    return reply->first_event;
}

} // namespace X11Connection
