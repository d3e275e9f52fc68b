#include "platform/SelectionWatch.h"

#include "platform/X11Connection.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

// Receives the XFixes selection events for one selection. It never consumes
// them: other parts of Qt, or other watches, may select the same events.
class SelectionWatch::Filter : public QAbstractNativeEventFilter {
public:
    Filter(SelectionWatch& owner, int selectionNotify, xcb_atom_t selection)
        : m_owner(owner)
        , m_selectionNotify(selectionNotify)
        , m_selection(selection) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t")
            return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & ~0x80) != m_selectionNotify)
            return false;
        auto* notify = reinterpret_cast<xcb_xfixes_selection_notify_event_t*>(event);
        if (notify->selection == m_selection)
            m_owner.update(notify->owner != XCB_NONE);
        return false;
    }

private:
    SelectionWatch& m_owner;
    int m_selectionNotify;
    xcb_atom_t m_selection;
};

namespace {
bool ownerOf(xcb_connection_t* c, xcb_atom_t selection) {
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> reply(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr),
        &std::free);
    return reply && reply->owner != XCB_NONE;
}
} // namespace

QByteArray SelectionWatch::onScreen(const QByteArray& prefix) {
    return prefix + QByteArray::number(X11Connection::screenNumber());
}

SelectionWatch::SelectionWatch(const QByteArray& name, QObject* parent)
    : QObject(parent) {
    xcb_connection_t* c = X11Connection::connection();
    if (!c)
        return;
    const xcb_atom_t selection = X11Connection::atom(name);
    const int first = X11Connection::firstEvent("XFIXES");
    if (first >= 0) {
        // XFixes requests need the version handshake on this connection; Qt
        // has done it already, repeating it is harmless.
        free(xcb_xfixes_query_version_reply(
            c, xcb_xfixes_query_version(c, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
            nullptr));
        m_filter = std::make_unique<Filter>(*this, first + XCB_XFIXES_SELECTION_NOTIFY, selection);
        QCoreApplication::instance()->installNativeEventFilter(m_filter.get());
        xcb_xfixes_select_selection_input(
            c, X11Connection::root(), selection,
            XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    }
    // Asked after selecting the events, so a change in between is not lost.
    m_owned = ownerOf(c, selection);
}

SelectionWatch::~SelectionWatch() {
    if (m_filter && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(m_filter.get());
}

void SelectionWatch::update(bool owned) {
    if (owned == m_owned)
        return;
    m_owned = owned;
    emit ownerChanged(owned);
}
