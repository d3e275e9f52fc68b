#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QVariantMap>

/// The desktop's GlobalShortcuts portal on a test's bus: answers its calls
/// (through Request/Response where the portal does), records them, and can
/// press the shortcut. `version` 0 owns the name without the interface, as
/// older desktops' portals do.
class FakePortal : public QDBusVirtualObject {
    Q_OBJECT
public:
    FakePortal(const QDBusConnection& bus, uint version);
    ~FakePortal() override;
    bool registered() const { return m_registered; }

    /// Each call: "CreateSession", "BindShortcuts ID TRIGGER \"DESCRIPTION\"", "Close SESSION"...
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
};
