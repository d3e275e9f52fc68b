#pragma once

#include <QByteArray>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <QVariantMap>

/// The real application of the test build, run inside the X session of the
/// X11 tests; killed at the end if it still runs.
class RealApp {
public:
    RealApp();
    ~RealApp();
    /// Starts it and waits until its start-up has run and it answers on the bus.
    bool started(int timeoutMs = 30000);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QProcess& process() { return m_process; }
    bool running() const { return m_process.state() != QProcess::NotRunning; }

private:
    QProcess m_process;
};

namespace realapp {

/// The application's State() over the session bus; empty when it does not answer.
QVariantMap state();
bool expanded();

/// Runs `tamberk` with `arguments` to its end.
struct Run {
    int code = -1;
    QByteArray err;
};
Run tamberk(const QStringList& arguments);

/// Where the viewable window of the application titled exactly `title` is on
/// the root, and its id; empty while there is none.
QRect place(const QString& title, quint32* id = nullptr);
inline bool mapped(const QString& title) {
    return !place(title).isEmpty();
}
inline bool panelMapped() {
    return mapped("Tamberk Panel");
}

} // namespace realapp
