#include "platform/InputOnlyWindow.h"

#include "platform/X11Connection.h"

#include <QCoreApplication>
#include <xcb/xcb.h>

InputOnlyWindow::InputOnlyWindow(QObject* parent)
    : QObject(parent) {
    xcb_connection_t* c = X11Connection::connection();
    if (!c)
        return;
    m_id = xcb_generate_id(c);
    // In the order of their mask bits.
    const std::uint32_t values[] = {1, XCB_EVENT_MASK_ENTER_WINDOW | XCB_EVENT_MASK_LEAVE_WINDOW |
                                           XCB_EVENT_MASK_POINTER_MOTION |
                                           XCB_EVENT_MASK_BUTTON_PRESS |
                                           XCB_EVENT_MASK_BUTTON_RELEASE};
    xcb_create_window(c, 0, m_id, X11Connection::root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_flush(c);
    // Qt knows nothing of this window and would drop its events.
    QCoreApplication::instance()->installNativeEventFilter(this);
}

InputOnlyWindow::~InputOnlyWindow() {
    if (!m_id)
        return;
    QCoreApplication::instance()->removeNativeEventFilter(this);
    if (xcb_connection_t* c = X11Connection::connection()) {
        xcb_destroy_window(c, m_id);
        xcb_flush(c);
    }
}

void InputOnlyWindow::setGeometry(const QRect& rect) {
    if (rect == m_rect || rect.isEmpty())
        return;
    m_rect = rect;
    if (!m_id)
        return;
    const std::uint32_t values[] = {std::uint32_t(rect.x()), std::uint32_t(rect.y()),
                                    std::uint32_t(rect.width()), std::uint32_t(rect.height())};
    xcb_connection_t* c = X11Connection::connection();
    xcb_configure_window(c, m_id,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    xcb_flush(c);
}

void InputOnlyWindow::show() {
    m_shown = true;
    if (!m_id)
        return;
    raise();
    xcb_map_window(X11Connection::connection(), m_id);
    xcb_flush(X11Connection::connection());
}

void InputOnlyWindow::raise() {
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(X11Connection::connection(), m_id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(X11Connection::connection());
}

void InputOnlyWindow::hide() {
    m_shown = false;
    if (!m_id)
        return;
    xcb_unmap_window(X11Connection::connection(), m_id);
    xcb_flush(X11Connection::connection());
}

bool InputOnlyWindow::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
    if (type != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
    case XCB_MAP_NOTIFY:
    case XCB_CONFIGURE_NOTIFY: {
        // Both carry the window first after the event window; a window
        // manager that maps or restacks the window below puts it on top.
        const auto* e = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
        if (m_shown && m_below && e->window == m_below)
            raise();
        return false;
    }
    case XCB_ENTER_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_enter_notify_event_t*>(event);
        if (e->event != m_id)
            return false;
        emit entered({e->root_x, e->root_y});
        return true;
    }
    case XCB_LEAVE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_leave_notify_event_t*>(event);
        if (e->event != m_id)
            return false;
        emit left();
        return true;
    }
    case XCB_MOTION_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_motion_notify_event_t*>(event);
        if (e->event != m_id)
            return false;
        emit moved({e->root_x, e->root_y});
        return true;
    }
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE: {
        const auto* e = reinterpret_cast<const xcb_button_press_event_t*>(event);
        if (e->event != m_id)
            return false;
        if ((event->response_type & 0x7f) == XCB_BUTTON_PRESS)
            emit pressed(e->detail, {e->root_x, e->root_y}, e->time);
        else
            emit released(e->detail, {e->root_x, e->root_y}, e->time);
        return true;
    }
    default:
        return false;
    }
}
