#include "platform/X11Window.h"

#include "platform/Log.h"
#include "platform/X11Connection.h"

#include <QDeadlineTimer>
#include <QVariant>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <poll.h>
#include <vector>
#include <xcb/shape.h>
#include <xcb/xcb.h>

namespace {

// Qt's xcb plugin keeps the window type named by this property through every
// later flag change; 0x4 is its value for a dock.
constexpr char kWindowTypeProperty[] = "_q_xcb_wm_window_type";
constexpr int kDockType = 0x4;
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
// _NET_ACTIVE_WINDOW's source indication for pagers and other tools acting
// for the user; window managers give a dock focus only on this source.
constexpr std::uint32_t kSourcePager = 2;
constexpr std::uint32_t kStateAdd = 1;
// How long a show waits for the window manager to finish the last hide. It
// takes milliseconds; the bound only keeps a stuck manager from freezing us.
constexpr int kWithdrawalWaitMs = 2000;

// The X window of `window`, or 0 when there is none (or no X at all).
xcb_window_t handleOf(QWindow* window) {
    if (!window || !X11Connection::connection() || !window->handle())
        return 0;
    return static_cast<xcb_window_t>(window->winId());
}

std::vector<xcb_rectangle_t> rectanglesOf(const QRegion& region) {
    std::vector<xcb_rectangle_t> rects;
    rects.reserve(static_cast<size_t>(region.rectCount()));
    for (const QRect& r : region) {
        rects.push_back({static_cast<int16_t>(r.x()), static_cast<int16_t>(r.y()),
                         static_cast<uint16_t>(r.width()), static_cast<uint16_t>(r.height())});
    }
    return rects;
}

void setAtoms(xcb_window_t window, const char* property, const std::vector<xcb_atom_t>& atoms) {
    xcb_change_property(X11Connection::connection(), XCB_PROP_MODE_REPLACE, window,
                        X11Connection::atom(property), XCB_ATOM_ATOM, 32,
                        static_cast<uint32_t>(atoms.size()), atoms.data());
}

// A client message to the window manager about `id`, as EWMH defines them.
void sendToManager(xcb_window_t id, const char* type, std::initializer_list<std::uint32_t> data) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = id;
    event.type = X11Connection::atom(type);
    std::copy(data.begin(), data.end(), event.data.data32);
    xcb_send_event(X11Connection::connection(), 0, X11Connection::root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&event));
}

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

// Whether the window manager still holds `id` as a managed window: WM_STATE
// is Normal or Iconic. It deletes the property (or sets Withdrawn) when it has
// handled the unmap of a hide.
bool managed(xcb_connection_t* c, xcb_window_t id) {
    const xcb_atom_t wmState = X11Connection::atom("WM_STATE");
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, id, wmState, wmState, 0, 1), nullptr),
        &std::free);
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return false;
    return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get())) != 0;
}

// A window may be mapped again only once the manager has withdrawn it: one
// that is still busy with the unmap erases the states written for the next
// map, and openbox, handed the map request of a window it has not yet let go
// of, stalls for seconds before it shows the window. So a show right after a
// hide waits for WM_STATE to go, watching for the change on a connection of
// its own, which leaves Qt's event queue alone.
void awaitWithdrawal(xcb_window_t id) {
    xcb_connection_t* qt = X11Connection::connection();
    // Without a window manager nobody ever sets WM_STATE: nothing to wait for.
    if (!managed(qt, id))
        return;
    static bool gaveUp = false;
    if (gaveUp)
        return;
    static xcb_connection_t* const own = [] {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        return xcb_connection_has_error(c) ? (xcb_disconnect(c), nullptr) : c;
    }();
    if (!own)
        return;
    const std::uint32_t watch = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(own, id, XCB_CW_EVENT_MASK, &watch);
    // Checked after the selection, so a change in between is not missed.
    QDeadlineTimer deadline(kWithdrawalWaitMs);
    bool withdrawn = !managed(own, id);
    while (!withdrawn && !deadline.hasExpired()) {
        pollfd ready{xcb_get_file_descriptor(own), POLLIN, 0};
        if (::poll(&ready, 1, int(std::max<qint64>(1, deadline.remainingTime()))) < 0)
            break;
        bool changed = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(own)) {
            changed = changed || (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY;
            std::free(event);
        }
        if (xcb_connection_has_error(own))
            break;
        if (changed)
            withdrawn = !managed(own, id);
    }
    const std::uint32_t none = 0;
    xcb_change_window_attributes(own, id, XCB_CW_EVENT_MASK, &none);
    xcb_flush(own);
    if (!withdrawn) {
        // A manager that never withdraws would cost every show the full wait.
        gaveUp = true;
        logFailure("dock show", QStringLiteral("the window manager kept a hidden window managed"));
    }
}

bool setShape(QWindow* window, xcb_shape_kind_t kind, const QRegion& region) {
    const xcb_window_t id = handleOf(window);
    if (!id)
        return false;
    const std::vector<xcb_rectangle_t> rects = rectanglesOf(region);
    xcb_shape_rectangles(X11Connection::connection(), XCB_SHAPE_SO_SET, kind,
                         XCB_CLIP_ORDERING_UNSORTED, id, 0, 0, static_cast<uint32_t>(rects.size()),
                         rects.data());
    xcb_flush(X11Connection::connection());
    return true;
}

} // namespace

namespace X11Window {

bool available() {
    return X11Connection::connection() != nullptr;
}

bool makeDock(QWindow* window) {
    if (!window || !available())
        return false;
    window->setProperty(kWindowTypeProperty, kDockType);
    window->create();
    const xcb_window_t id = handleOf(window);
    if (!id)
        return false;
    xcb_connection_t* c = X11Connection::connection();
    // Written directly as well, for a window whose platform window existed
    // before the property was set.
    setAtoms(id, "_NET_WM_WINDOW_TYPE", {X11Connection::atom("_NET_WM_WINDOW_TYPE_DOCK")});
    static const char wmClass[] = "tamberk\0Tamberk";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        sizeof(wmClass), wmClass);
    return applyDockStates(window);
}

bool applyDockStates(QWindow* window) {
    const xcb_window_t id = handleOf(window);
    if (!id)
        return false;
    const std::vector<xcb_atom_t> states = {X11Connection::atom("_NET_WM_STATE_ABOVE"),
                                            X11Connection::atom("_NET_WM_STATE_SKIP_TASKBAR"),
                                            X11Connection::atom("_NET_WM_STATE_SKIP_PAGER"),
                                            X11Connection::atom("_NET_WM_STATE_STICKY")};
    if (!window->isVisible()) {
        awaitWithdrawal(id);
        setAtoms(id, "_NET_WM_STATE", states);
        xcb_change_property(X11Connection::connection(), XCB_PROP_MODE_REPLACE, id,
                            X11Connection::atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1,
                            &kAllDesktops);
    } else {
        // Two states per request, as the protocol carries them.
        for (size_t i = 0; i < states.size(); i += 2)
            sendToManager(id, "_NET_WM_STATE", {kStateAdd, states[i], states[i + 1], 1});
        sendToManager(id, "_NET_WM_DESKTOP", {kAllDesktops, 1});
    }
    xcb_flush(X11Connection::connection());
    return true;
}

bool showDock(QWindow* window) {
    if (!applyDockStates(window))
        return false;
    window->show();
    return applyDockStates(window);
}

bool setInputRegion(QWindow* window, const QRegion& region) {
    return setShape(window, XCB_SHAPE_SK_INPUT, region);
}

bool setBoundingRegion(QWindow* window, const QRegion& region) {
    return setShape(window, XCB_SHAPE_SK_BOUNDING, region);
}

bool clearShape(QWindow* window) {
    const xcb_window_t id = handleOf(window);
    if (!id)
        return false;
    xcb_connection_t* c = X11Connection::connection();
    // A mask of None restores the default shape: the whole window.
    xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, id, 0, 0, XCB_NONE);
    xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, id, 0, 0, XCB_NONE);
    xcb_flush(c);
    return true;
}

bool setAcceptsFocus(QWindow* window, bool accepts) {
    if (!handleOf(window))
        return false;
    window->setFlags(window->flags().setFlag(Qt::WindowDoesNotAcceptFocus, !accepts));
    return true;
}

bool activate(QWindow* window, quint32 xTimestamp) {
    const xcb_window_t id = handleOf(window);
    if (!id)
        return false;
    sendToManager(id, "_NET_ACTIVE_WINDOW", {kSourcePager, xTimestamp, XCB_NONE});
    xcb_flush(X11Connection::connection());
    return true;
}

bool blurBehindAvailable() {
    xcb_connection_t* c = X11Connection::connection();
    if (!c)
        return false;
    const xcb_atom_t blur = X11Connection::atom("_KDE_NET_WM_BLUR_BEHIND_REGION");
    // The compositor announces the effect by putting the property on the root.
    Reply<xcb_list_properties_reply_t> reply(
        xcb_list_properties_reply(c, xcb_list_properties(c, X11Connection::root()), nullptr),
        &std::free);
    if (!reply)
        return false;
    const xcb_atom_t* atoms = xcb_list_properties_atoms(reply.get());
    const int count = xcb_list_properties_atoms_length(reply.get());
    for (int i = 0; i < count; ++i) {
        if (atoms[i] == blur)
            return true;
    }
    return false;
}

bool setBlurBehind(QWindow* window, const QRegion& region) {
    const xcb_window_t id = handleOf(window);
    if (!id || !blurBehindAvailable())
        return false;
    std::vector<std::uint32_t> values;
    for (const QRect& r : region) {
        values.insert(values.end(),
                      {static_cast<std::uint32_t>(r.x()), static_cast<std::uint32_t>(r.y()),
                       static_cast<std::uint32_t>(r.width()),
                       static_cast<std::uint32_t>(r.height())});
    }
    xcb_change_property(X11Connection::connection(), XCB_PROP_MODE_REPLACE, id,
                        X11Connection::atom("_KDE_NET_WM_BLUR_BEHIND_REGION"), XCB_ATOM_CARDINAL,
                        32, static_cast<uint32_t>(values.size()), values.data());
    xcb_flush(X11Connection::connection());
    return true;
}

bool clearBlurBehind(QWindow* window) {
    const xcb_window_t id = handleOf(window);
    if (!id)
        return false;
    xcb_delete_property(X11Connection::connection(), id,
                        X11Connection::atom("_KDE_NET_WM_BLUR_BEHIND_REGION"));
    xcb_flush(X11Connection::connection());
    return true;
}

} // namespace X11Window
