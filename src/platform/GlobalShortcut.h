#pragma once

#include "platform/KeyCombo.h"

#include <QList>
#include <QObject>
#include <memory>
#include <utility>

struct xcb_key_press_event_t;

/// One system-wide shortcut: a passive key grab on the root window for the
/// key with every combination of CapsLock, NumLock and ScrollLock. The press
/// is consumed and reported with its X timestamp, which the focus request
/// needs. The grab follows keyboard mapping changes. Tests substitute a fake
/// by overriding grab() and ungrab().
class GlobalShortcut : public QObject {
    Q_OBJECT
public:
    enum class Status {
        none,        // nothing grabbed
        grabbed,     // the shortcut is active
        conflict,    // another program holds the keys (BadAccess)
        invalid,     // the text names no key, or the key is not on the keyboard
        unsupported, // not running on X11
    };

    explicit GlobalShortcut(QObject* parent = nullptr);
    ~GlobalShortcut() override;

    /// Releases any current grab, then grabs `keys` ("Ctrl+Alt+S" form). On a
    /// conflict nothing stays grabbed and a line is logged.
    virtual Status grab(const QString& keys);
    /// Releases the grab (if any).
    virtual void ungrab();

    Status status() const { return m_status; }
    /// The text of the last grab() (empty after ungrab()).
    QString keys() const { return m_keys; }

signals:
    /// The shortcut was pressed; `xTimestamp` is the key press's server time.
    void activated(quint32 xTimestamp);
    /// status() changed (also after a re-grab on a mapping change).
    void statusChanged(GlobalShortcut::Status status);
    /// The keyboard mapping changed and the grab was made again.
    void regrabbed();

protected:
    /// For a subclass that binds the shortcut elsewhere than on the X server:
    /// no key events are watched.
    struct Elsewhere {};
    GlobalShortcut(Elsewhere, QObject* parent);
    void setStatus(Status status);
    void setKeys(const QString& keys) { m_keys = keys; }

private:
    class Filter;
    Status grabNow();
    void releaseNow();
    void keyboardChanged();
    void scheduleRemap();
    bool keyEvent(const xcb_key_press_event_t& event, bool press);

    QString m_keys;
    Status m_status = Status::none;
    KeyCombo m_combo;
    quint16 m_mods = 0;
    ModifierMasks m_masks;
    // Every (keycode, modifier state) pair held, so a release after a
    // mapping change frees exactly what was grabbed.
    QList<std::pair<quint8, quint16>> m_grabs;
    bool m_down = false;
    quint32 m_releaseTime = 0;
    bool m_remapPending = false;
    std::unique_ptr<Filter> m_filter;
};
