#pragma once

#include <QDBusConnection>
#include <QObject>

class QDBusServiceWatcher;

/// Whether a StatusNotifierItem host (a tray) exists on the session bus. Qt
/// decides once per process whether a tray icon can exist and remembers a
/// "no", so the application creates its QSystemTrayIcon only after available().
/// Hosts can appear well after login; the watcher's service and its
/// StatusNotifierHostRegistered signal are followed, nothing polls.
class TrayHost : public QObject {
    Q_OBJECT
public:
    explicit TrayHost(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                      QObject* parent = nullptr);

    /// Asks the watcher now and keeps watching; available() follows (once)
    /// as soon as a host is registered.
    void start();
    /// Whether a host has been seen.
    bool isAvailable() const { return m_available; }

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

    QDBusConnection m_bus;
    QDBusServiceWatcher* m_watcher = nullptr;
    bool m_started = false;
    bool m_available = false;
};
