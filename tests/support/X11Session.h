#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <memory>

class PrivateBus;

struct xcb_connection_t;

/// A private X session: Xvfb on a free display, a session bus and openbox,
/// started before the application connects. A second X connection, the
/// "probe", reads window state apart from Qt and plays the other client.
class X11Session {
public:
    /// One 1440 × 900 screen; or "eDP-1" (1440 × 900, primary) with "HDMI-1"
    /// (1920 × 1080) to its right, tops aligned: RandR monitors on one Xvfb
    /// screen, as Xvfb's own Xinerama stacks its screens at one origin.
    enum class Layout { oneScreen, twoScreens };

    static X11Session& instance();

    /// Starts Xvfb, the bus and openbox and points DISPLAY and
    /// DBUS_SESSION_BUS_ADDRESS at them, before the application exists;
    /// returns why it could not (empty when the session runs).
    QString start(Layout layout = Layout::oneScreen);
    void stop();

    /// Adds or replaces the monitor `name` (a screen, to applications); with
    /// `output` it takes over the Xvfb screen's output and its monitor.
    bool setMonitor(const char* name, const QRect& rect, bool primary, bool output) const;
    /// Removes the monitor `name`, as unplugging a screen does.
    bool deleteMonitor(const char* name) const;
    /// Stops or continues the window manager, to play one that is slow.
    bool pauseManager(bool paused) const;
    bool startCompositor();
    void stopCompositor();

    /// Runs a program to its end, the event loop running (our windows may be
    /// what it asks); its exit code, -1 when it failed to start, crashed or took 30 s.
    static int run(const QString& program, const QStringList& arguments,
                   QByteArray* output = nullptr, QByteArray* error = nullptr);
    static bool xdotool(const QStringList& arguments) { return run("xdotool", arguments) == 0; }
    /// What the clipboard offers as `target`.
    static QByteArray clipboard(const QString& target) {
        QByteArray out;
        run("xclip", {"-selection", "clipboard", "-t", target, "-o"}, &out);
        return out;
    }

    xcb_connection_t* probe() const { return m_probe; }
    quint32 root() const;
    quint32 atom(const char* name) const;
    /// A 32-bit property of `window` (atoms, cardinals, windows).
    QList<quint32> property32(quint32 window, const char* name) const;
    /// An 8-bit property of `window` as bytes.
    QByteArray property8(quint32 window, const char* name) const;
    /// Where `window` is on the root, and whether it is viewable.
    QRect geometry(quint32 window, bool* viewable = nullptr) const;
    /// A server round trip: every earlier request of every client is done.
    void sync() const;

private:
    X11Session();
    ~X11Session();
    QByteArray property(quint32 window, const char* name, int format) const;
    bool waitForManager() const;

    QProcess m_xvfb, m_wm, m_compositor;
    std::unique_ptr<PrivateBus> m_bus;
    xcb_connection_t* m_probe = nullptr;
};
