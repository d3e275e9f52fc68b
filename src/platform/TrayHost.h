#pragma once

#include <QDBusConnection>
#include <QObject>

class QDBusServiceWatcher;
class SelectionWatch;

/// Whether a tray exists: a StatusNotifierItem host on the session bus, or,
/// when the bus has none, an XEmbed system tray on the X screen (the trays of
/// many lightweight panels). Qt
/// decides once per process whether a tray icon can exist and remembers a
/// "no", so the application creates its QSystemTrayIcon only after available().
/// Hosts can appear well after login; the watcher's service and its
/// StatusNotifierHostRegistered signal are followed, nothing polls.
class TrayHost : public QObject {
    Q_OBJECT
public:
    enum class Kind { none, statusNotifier, xembed };

    explicit TrayHost(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                      QObject* parent = nullptr);
    ~TrayHost() override;

    /// Asks the watcher now and keeps watching; available() follows (once)
    /// as soon as a host is registered.
    void start();
    /// Whether a host has been seen.
    bool isAvailable() const { return m_kind != Kind::none; }
    /// Which tray was found first.
    Kind kind() const { return m_kind; }

    static constexpr char watcherService[] = "org.kde.StatusNotifierWatcher";
    static constexpr char watcherPath[] = "/StatusNotifierWatcher";
    static constexpr char watcherInterface[] = "org.kde.StatusNotifierWatcher";

signals:
    /// A host exists; emitted once.
    void available();

private slots:
    // QDBusConnection::connect takes only string-based slots.
    void hostRegistered();

private:
    void ask();
    void answered();
    void found(Kind kind);

    QDBusConnection m_bus;
    QDBusServiceWatcher* m_watcher = nullptr;
    bool m_started = false;
    SelectionWatch* m_xembed = nullptr;
    bool m_answered = false; // the bus has said it has no host
    Kind m_kind = Kind::none;
};
