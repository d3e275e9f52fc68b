#include "platform/GlobalShortcut.h"

#include "platform/Log.h"
#include "platform/X11Connection.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace {

constexpr uint8_t kBadAccess = 10;
// XKB's own event codes inside its one extension event.
constexpr uint8_t kXkbNewKeyboardNotify = 0;
constexpr uint8_t kXkbMapNotify = 1;
// The low byte of a key event's state holds the eight modifiers; button bits
// above it play no part in matching the grab.
constexpr quint16 kModifierBits = 0xff;

using KeySymbols = std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)>;

// The keysyms on each of the eight modifiers, from the server's mapping.
std::array<QList<quint32>, 8> modifierKeysyms(xcb_connection_t* c, xcb_key_symbols_t* symbols) {
    std::array<QList<quint32>, 8> result;
    std::unique_ptr<xcb_get_modifier_mapping_reply_t, decltype(&std::free)> reply(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr), &std::free);
    if (!reply)
        return result;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply.get());
    const int perModifier = reply->keycodes_per_modifier;
    for (int mod = 0; mod < 8; ++mod) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[mod * perModifier + i];
            if (code == 0)
                continue;
            for (int column = 0; column < 2; ++column) {
                if (const xcb_keysym_t sym = xcb_key_symbols_get_keysym(symbols, code, column))
                    result[static_cast<size_t>(mod)].append(sym);
            }
        }
    }
    return result;
}

} // namespace

// Sees every X event before Qt does: consumes presses and releases of the
// grabbed key and notices keyboard mapping changes.
class GlobalShortcut::Filter : public QAbstractNativeEventFilter {
public:
    explicit Filter(GlobalShortcut& owner)
        : m_owner(owner)
        , m_xkbEvent(X11Connection::firstEvent("XKEYBOARD")) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t")
            return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        const uint8_t type = event->response_type & ~0x80;
        if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE)
            return m_owner.keyEvent(*reinterpret_cast<xcb_key_press_event_t*>(event),
                                    type == XCB_KEY_PRESS);
        if (type == XCB_MAPPING_NOTIFY) {
            auto* notify = reinterpret_cast<xcb_mapping_notify_event_t*>(event);
            if (notify->request != XCB_MAPPING_POINTER)
                m_owner.scheduleRemap();
        } else if (m_xkbEvent >= 0 && type == m_xkbEvent) {
            // Clients that use XKB (Qt does) get its notifications instead of
            // the core MappingNotify; the second byte says which one it is.
            const uint8_t xkbType = reinterpret_cast<const uint8_t*>(event)[1];
            if (xkbType == kXkbNewKeyboardNotify || xkbType == kXkbMapNotify)
                m_owner.scheduleRemap();
        }
        return false;
    }

private:
    GlobalShortcut& m_owner;
    int m_xkbEvent;
};

GlobalShortcut::GlobalShortcut(QObject* parent)
    : QObject(parent) {
    if (X11Connection::connection()) {
        m_filter = std::make_unique<Filter>(*this);
        QCoreApplication::instance()->installNativeEventFilter(m_filter.get());
    }
}

GlobalShortcut::GlobalShortcut(Elsewhere, QObject* parent)
    : QObject(parent) {}

GlobalShortcut::~GlobalShortcut() {
    releaseNow();
    if (m_filter && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(m_filter.get());
}

GlobalShortcut::Status GlobalShortcut::grab(const QString& keys) {
    releaseNow();
    m_keys = keys;
    const auto combo = parseKeyCombo(keys);
    if (!combo) {
        setStatus(Status::invalid);
        return m_status;
    }
    m_combo = *combo;
    setStatus(grabNow());
    return m_status;
}

void GlobalShortcut::ungrab() {
    releaseNow();
    m_keys.clear();
    setStatus(Status::none);
}

void GlobalShortcut::setStatus(Status status) {
    if (status == m_status)
        return;
    m_status = status;
    emit statusChanged(status);
}

GlobalShortcut::Status GlobalShortcut::grabNow() {
    xcb_connection_t* c = X11Connection::connection();
    if (!c)
        return Status::unsupported;
    const KeySymbols symbols(xcb_key_symbols_alloc(c), &xcb_key_symbols_free);
    if (!symbols)
        return Status::unsupported;
    m_masks = modifierMasksFrom(modifierKeysyms(c, symbols.get()));
    m_mods = x11Modifiers(m_combo.modifiers, m_masks);
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(
        xcb_key_symbols_get_keycode(symbols.get(), m_combo.keysym), &std::free);
    if (!codes || codes.get()[0] == XCB_NO_SYMBOL)
        return Status::invalid;

    QList<std::pair<std::pair<quint8, quint16>, xcb_void_cookie_t>> requests;
    const xcb_window_t root = X11Connection::root();
    for (const xcb_keycode_t* code = codes.get(); *code != XCB_NO_SYMBOL; ++code) {
        for (quint16 state : lockVariants(m_mods, m_masks)) {
            const auto cookie = xcb_grab_key_checked(c, 0, root, state, *code, XCB_GRAB_MODE_ASYNC,
                                                     XCB_GRAB_MODE_ASYNC);
            requests.append({{*code, state}, cookie});
        }
    }
    bool conflict = false;
    for (const auto& [grab, cookie] : requests) {
        std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(
            xcb_request_check(c, cookie), &std::free);
        if (!error)
            m_grabs.append(grab);
        else if (error->error_code == kBadAccess)
            conflict = true;
    }
    if (conflict || m_grabs.isEmpty()) {
        // Half a grab would work only with some lock keys on; hold none.
        releaseNow();
        logFailure("shortcut grab", QStringLiteral("%1 is held by another program").arg(m_keys));
        return Status::conflict;
    }
    return Status::grabbed;
}

void GlobalShortcut::releaseNow() {
    xcb_connection_t* c = X11Connection::connection();
    if (c && !m_grabs.isEmpty()) {
        for (const auto& [code, state] : m_grabs)
            xcb_ungrab_key(c, code, X11Connection::root(), state);
        xcb_flush(c);
    }
    m_grabs.clear();
    m_down = false;
}

bool GlobalShortcut::keyEvent(const xcb_key_press_event_t& event, bool press) {
    const bool ours = std::any_of(m_grabs.cbegin(), m_grabs.cend(),
                                  [&](const auto& grab) { return grab.first == event.detail; });
    if (!ours || withoutLocks(event.state & kModifierBits, m_masks) != m_mods) {
        if (!press && ours) {
            // The modifiers went first; the key is up all the same.
            m_down = false;
            m_releaseTime = event.time;
        }
        return false;
    }
    if (!press) {
        m_down = false;
        m_releaseTime = event.time;
        return true;
    }
    // Auto-repeat sends further presses while the key is held: one toggle.
    // Servers that do not mark repeats send a release and a press with the
    // same time instead.
    if (!m_down && event.time != m_releaseTime)
        emit activated(event.time);
    m_down = true;
    return true;
}

void GlobalShortcut::scheduleRemap() {
    if (m_remapPending || m_keys.isEmpty())
        return;
    // A mapping change arrives as a burst of notifications; re-grab once.
    m_remapPending = true;
    QMetaObject::invokeMethod(this, &GlobalShortcut::keyboardChanged, Qt::QueuedConnection);
}

void GlobalShortcut::keyboardChanged() {
    m_remapPending = false;
    if (m_keys.isEmpty() || m_status == Status::unsupported)
        return;
    releaseNow();
    setStatus(grabNow());
    emit regrabbed();
}
