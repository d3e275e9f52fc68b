#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <sys/types.h>

struct xcb_connection_t;

/// A private X session for the tests that need real windows: Xvfb at
/// 1440 × 900 (or two screens side by side) on a free display, its own
/// session bus and openbox, started
/// before the application connects and stopped at exit. Compositing
/// (xcompmgr) comes and goes on request. A second X connection, the "probe",
/// reads window state independently of Qt and plays the other client where a
/// test needs one.
class X11Session {
public:
    enum class State { stopped, running, noXvfb, failed };
    /// One 1440 × 900 screen; or the screens "eDP-1" (1440 × 900, primary)
    /// and "HDMI-1" (1920 × 1080) to its right, tops aligned. Xvfb's own
    /// Xinerama stacks its screens at one origin and Qt reads only the first,
    /// so the two are RandR monitors on one 3360 × 1080 Xvfb screen.
    enum class Layout { oneScreen, twoScreens };

    static X11Session& instance();

    /// Starts Xvfb, the bus and openbox and points DISPLAY and
    /// DBUS_SESSION_BUS_ADDRESS at them. Call before the application exists.
    State start(Layout layout = Layout::oneScreen);

    /// Adds or replaces the RandR monitor `name` at `rect` (what applications
    /// see as a screen); with `output` it stands for the Xvfb screen's one
    /// output, which then shows no monitor of its own.
    bool setMonitor(const char* name, const QRect& rect, bool primary, bool output) const;
    /// Removes the monitor `name`, as unplugging a screen does.
    bool deleteMonitor(const char* name) const;
    void stop();
    State state() const { return m_state; }
    /// Why start() failed (empty when it did not).
    QString failure() const { return m_failure; }
    QString display() const { return m_display; }

    /// Stops or continues the window manager's process, to play a manager
    /// that is slow to handle what it is sent.
    bool pauseManager(bool paused) const;

    /// Starts or stops xcompmgr.
    bool startCompositor();
    void stopCompositor();

    /// Runs an X client to completion (xdotool, xprop …); true on exit 0.
    /// The event loop keeps running meanwhile, so our windows answer it.
    static bool run(const QString& program, const QStringList& arguments,
                    QByteArray* output = nullptr);
    /// xdotool with the given arguments.
    static bool xdotool(const QStringList& arguments) {
        return run(QStringLiteral("xdotool"), arguments);
    }

    /// Saves the whole screen as an image (ImageMagick's import), for
    /// looking at what a test left on screen.
    static bool screenshot(const QString& path) {
        return run(QStringLiteral("import"),
                   {QStringLiteral("-window"), QStringLiteral("root"), path});
    }

    /// The probe connection and its view of the server.
    xcb_connection_t* probe() const { return m_probe; }
    quint32 root() const;
    quint32 atom(const char* name) const;
    /// A 32-bit property of `window` (atoms, cardinals, windows).
    QList<quint32> property32(quint32 window, const char* name) const;
    /// An 8-bit property of `window` as bytes.
    QByteArray property8(quint32 window, const char* name) const;
    /// Waits (on X events, up to 10 s) until the root window has `name`.
    bool waitForRootProperty(const char* name) const;
    /// Makes a server round trip, so that every earlier request of every
    /// client the server has read is processed.
    void sync() const;

private:
    X11Session() = default;
    ~X11Session();
    struct Child {
        pid_t pid = -1;
        int out = -1; // read end of its stdout, when kept
    };
    bool waitForManager() const;
    static Child spawn(const QStringList& argv, bool keepStdout);
    static void end(Child& child);
    static QByteArray readLine(int fd, int timeoutMs);

    State m_state = State::stopped;
    QString m_failure;
    QString m_display;
    Child m_xvfb, m_bus, m_wm, m_compositor;
    xcb_connection_t* m_probe = nullptr;
};

/// The first lines of every X11 test: skip when Xvfb is not installed, fail
/// when it is but the session could not start.
#define X11_SESSION_REQUIRED()                                                                     \
    do {                                                                                           \
        const X11Session& session_ = X11Session::instance();                                       \
        if (session_.state() == X11Session::State::noXvfb)                                         \
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");                     \
        if (session_.state() != X11Session::State::running)                                        \
            QFAIL(qPrintable(QStringLiteral("X session: ") + session_.failure()));                 \
    } while (false)
