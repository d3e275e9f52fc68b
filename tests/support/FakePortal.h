#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QVariantMap>

/// The desktop's portal as far as global shortcuts go, on a test's bus: it
/// answers CreateSession, BindShortcuts, ConfigureShortcuts and the session's
/// Close through the Request/Response pattern, records every call, and can
/// press the shortcut. With `version` 0 it owns the name but offers no
/// GlobalShortcuts interface, as portals of older desktops do.
class FakePortal : public QDBusVirtualObject {
    Q_OBJECT
public:
    FakePortal(const QDBusConnection& bus, uint version);
    ~FakePortal() override;
    bool registered() const { return m_registered; }

    /// Each call as "Method" plus what matters of it: the preferred trigger
    /// of a bind, the session of a Close.
    QStringList calls;
    /// What the desktop answers as the shortcut's trigger_description.
    QString assigned = QStringLiteral("Super+K");
    /// The session handle of the last CreateSession.
    QString session;

    /// Emits Activated for the shortcut `id` of `sessionHandle`.
    void activate(const QString& sessionHandle, const QString& id, const QString& token);
    /// Emits ShortcutsChanged with `description` as the new trigger.
    void reassign(const QString& description);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    void respond(const QDBusMessage& call, const QVariantMap& results);

    QDBusConnection m_bus;
    uint m_version;
    bool m_registered = false;
    int m_sessions = 0;
};
