#pragma once

#include "platform/GlobalShortcut.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QPointer>
#include <QString>
#include <QVariantMap>

/// The system-wide shortcut in a Wayland session, where an X11 grab sees keys
/// only while one of our windows has focus: one shortcut bound through the
/// desktop's GlobalShortcuts portal, the preset as its preferred trigger. The
/// desktop decides the trigger in the end; triggerDescription() tells what it
/// chose. When the portal offers no GlobalShortcuts, `fallback` grabs the keys
/// instead and this object passes its signals on.
class PortalShortcut : public GlobalShortcut {
    Q_OBJECT
public:
    enum class Backend {
        unknown, // still asking the portal
        portal,  // the desktop's GlobalShortcuts portal
        x11,     // the key grab of `fallback`
    };

    static constexpr char service[] = "org.freedesktop.portal.Desktop";
    static constexpr char path[] = "/org/freedesktop/portal/desktop";
    static constexpr char interface[] = "org.freedesktop.portal.GlobalShortcuts";
    /// The one shortcut's id in the session.
    static constexpr char shortcutId[] = "toggle";

    /// `fallback` is not owned; it may be null (nothing grabbed without a portal).
    explicit PortalShortcut(GlobalShortcut* fallback,
                            const QDBusConnection& bus = QDBusConnection::sessionBus(),
                            QObject* parent = nullptr);
    ~PortalShortcut() override;

    /// Whether this is a Wayland session (XDG_SESSION_TYPE or WAYLAND_DISPLAY).
    static bool waylandSession();
    /// The preset's keys ("Ctrl+Alt+S") as a trigger of the freedesktop
    /// shortcuts format ("CTRL+ALT+s"); empty when they name no key.
    static QString trigger(const QString& keys);
    /// The X time inside a startup id or activation token ("…_TIME<n>"); 0
    /// when it carries none.
    static quint32 tokenTime(const QString& token);
    /// The portal's GlobalShortcuts version on `bus`, asked and waited for;
    /// 0 when it offers none (for callers that may block, like the command line).
    static uint portalVersion(const QDBusConnection& bus = QDBusConnection::sessionBus());

    /// Binds `keys` as the preferred trigger (a new session, replacing the
    /// last one), or hands them to the fallback without a portal. Answers at
    /// once; status() follows when the portal has answered.
    Status grab(const QString& keys) override;
    /// Closes the portal's session (or releases the fallback's grab).
    void ungrab() override;

    Backend backend() const { return m_backend; }
    /// How the desktop says the shortcut is triggered ("Ctrl+Alt+S", or
    /// whatever the user chose in its dialog); empty before it answered.
    QString triggerDescription() const { return m_trigger; }
    /// Whether the portal can open the desktop's own dialog for the shortcut
    /// (its version 2 and later).
    bool canConfigure() const { return m_backend == Backend::portal && m_version >= 2; }
    /// Opens the desktop's dialog for the shortcut; `activationToken` lets it
    /// take focus.
    void configure(const QString& activationToken = {});

signals:
    /// backend(), triggerDescription() or canConfigure() changed.
    void descriptionChanged();

private slots:
    void onResponse(uint response, const QVariantMap& results);
    void onActivated(const QDBusMessage& message);
    void onShortcutsChanged(const QDBusMessage& message);

private:
    enum class Step { none, createSession, bind };

    void probe();
    void probed(uint version);
    void useFallback();
    void createSession();
    void bind();
    void closeSession();
    /// Calls `method` of the portal, waiting for its Response on the request
    /// object named by a fresh handle_token in `options`.
    void request(Step step, const QString& method, QList<QVariant> args, QVariantMap options);
    void setTrigger(const QString& trigger);
    void takeShortcuts(const QVariant& shortcuts);

    QPointer<GlobalShortcut> m_fallback;
    QDBusConnection m_bus;
    Backend m_backend = Backend::unknown;
    bool m_probing = false;
    uint m_version = 0;
    QString m_wanted; // the keys last asked for (empty after ungrab)
    QString m_session;
    QString m_requestPath;
    Step m_step = Step::none;
    QString m_trigger;
    int m_tokens = 0;
};
