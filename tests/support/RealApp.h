#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>

/// The real application of the test build, started the way a user's session
/// starts it, inside the X session of the X11 tests. Killed at the end if it
/// is still running.
class RealApp {
public:
    RealApp();
    ~RealApp();
    void start(const QStringList& arguments = {});
    /// Puts `dir` first on the application's PATH, so its programs stand in
    /// for the desktop's (an opener that finds no application, say).
    void prependPath(const QString& dir);
    /// Sets one variable of the application's environment.
    void setEnv(const QString& name, const QString& value);
    QProcess& process() { return m_process; }
    bool running() const { return m_process.state() != QProcess::NotRunning; }

private:
    QProcess m_process;
};

namespace realapp {

/// Whether the application's service is on the session bus.
bool serviceRunning();
/// The application's State() over the session bus; empty when it does not answer.
QVariantMap state();
bool expanded();

/// Runs `tamberk` with `arguments` to its end, keeping the event loop alive.
struct Run {
    int code = -1;
    QByteArray err;
};
Run tamberk(const QStringList& arguments);

/// Whether the panel window is on screen, asked of the X server.
bool panelMapped();
/// Whether a window of the application with exactly this title is mapped.
bool mapped(const QString& title);
/// How many of the application's windows are on screen (a popped menu adds one).
int visibleWindows();
/// Whether a window of the application with exactly this title is on screen.
bool windowShown(const QString& title);
/// Presses keys with xdotool, 80 ms apart (menus need the time to follow).
bool keys(const QStringList& names);

} // namespace realapp
