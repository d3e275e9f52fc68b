#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <optional>

class QTextStream;

/// What the running application does for remote commands; the application
/// shell implements it.
class RemoteTarget {
public:
    virtual ~RemoteTarget() = default;
    /// Opens or closes the panel; `token` is the launcher's startup id or
    /// activation token (may be empty) for the focus request.
    virtual void toggle(const QString& token) = 0;
    virtual void show(const QString& token) = 0;
    virtual void hide() = 0;
    /// Ends the application. Called after the D-Bus reply has gone out.
    virtual void quit() = 0;
    /// expanded, pinned, unseen, scope, query, shown, selected, textPending.
    virtual QVariantMap state() const = 0;
    /// Puts the text of the newest screenshot on the clipboard (reading it
    /// first when needed); `done` tells whether there was text to copy.
    virtual void copyText(std::function<void(bool copied)> done) = 0;
};

/// The commands `tamberk --toggle|--show|--hide|--quit|--copy-text` forward.
enum class RemoteCommand { toggle, show, hide, quit, copyText };

/// The single-instance service on the session bus: org.tamberk.Tamberk,
/// object /org/tamberk/Tamberk, interface org.tamberk.Tamberk1 with Toggle(s),
/// Show(s), Hide(), Quit(), Version() -> s, State() -> a{sv} and
/// CopyText() -> b.
class RemoteControl : public QObject {
    Q_OBJECT
public:
    static constexpr char serviceName[] = "org.tamberk.Tamberk";
    static constexpr char objectPath[] = "/org/tamberk/Tamberk";
    static constexpr char interfaceName[] = "org.tamberk.Tamberk1";

    enum class Start {
        registered,     // this process is the instance
        alreadyRunning, // another process owns the name
        failed,         // no bus, or registration refused (logged)
    };

    /// `target` must outlive this object.
    explicit RemoteControl(RemoteTarget& target, QObject* parent = nullptr);
    ~RemoteControl() override;

    /// Registers the object, then claims the name (in that order, so a caller
    /// that sees the name can always reach the object).
    Start start(const QDBusConnection& bus = QDBusConnection::sessionBus());

    /// The command named by the first argument after the program name
    /// (--toggle, --show, --hide, --quit); nothing for none or another one.
    static std::optional<RemoteCommand> commandFrom(const QStringList& arguments);
    /// DESKTOP_STARTUP_ID, else XDG_ACTIVATION_TOKEN, else empty.
    static QString activationToken();
    /// Sends `command` to the running instance: 0 when delivered, 1 (and a
    /// message on `err`) when none runs or the call failed, or when there was
    /// no text to copy.
    static int forward(RemoteCommand command, QTextStream& err,
                       const QDBusConnection& bus = QDBusConnection::sessionBus());

private:
    class Adaptor;
    Adaptor* m_adaptor = nullptr;
    QDBusConnection m_bus;
    bool m_registered = false;
};
