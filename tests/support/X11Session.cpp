#include "X11Session.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

namespace {
constexpr int kStartTimeoutMs = 15000;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;
} // namespace

X11Session& X11Session::instance() {
    static X11Session session;
    return session;
}

X11Session::~X11Session() {
    stop();
}

X11Session::Child X11Session::spawn(const QStringList& argv, bool keepStdout) {
    Child child;
    int pipeFds[2] = {-1, -1};
    if (keepStdout && pipe2(pipeFds, O_CLOEXEC) != 0)
        return child;
    std::vector<QByteArray> storage;
    for (const QString& arg : argv)
        storage.push_back(arg.toLocal8Bit());
    std::vector<char*> args;
    for (QByteArray& arg : storage)
        args.push_back(arg.data());
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        // The servers must not outlive a test run that crashes.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int devNull = open("/dev/null", O_RDWR);
        dup2(keepStdout ? pipeFds[1] : devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        dup2(devNull, STDIN_FILENO);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (keepStdout) {
        close(pipeFds[1]);
        child.out = pipeFds[0];
    }
    child.pid = pid;
    return child;
}

void X11Session::end(Child& child) {
    if (child.pid > 0) {
        kill(child.pid, SIGTERM);
        waitpid(child.pid, nullptr, 0);
    }
    if (child.out >= 0)
        close(child.out);
    child = Child{};
}

QByteArray X11Session::readLine(int fd, int timeoutMs) {
    QByteArray line;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(timeoutMs - clock.elapsed())) <= 0)
            break;
        char c;
        const ssize_t n = read(fd, &c, 1);
        if (n <= 0)
            break;
        if (c == '\n')
            return line;
        line.append(c);
    }
    return {};
}

X11Session::State X11Session::start(Layout layout) {
    if (m_state != State::stopped)
        return m_state;
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        m_state = State::noXvfb;
        return m_state;
    }
    auto fail = [this](const QString& why) {
        m_failure = why;
        stop();
        m_state = State::failed;
        return m_state;
    };
    // Xvfb picks a free display itself and names it once it accepts clients.
    m_xvfb = spawn({"Xvfb", "-displayfd", "1", "-screen", "0",
                    layout == Layout::twoScreens ? "3360x1080x24" : "1440x900x24", "-nolisten",
                    "tcp", "-noreset"},
                   true);
    const QByteArray number = readLine(m_xvfb.out, kStartTimeoutMs);
    if (number.isEmpty())
        return fail(QStringLiteral("Xvfb did not start"));
    m_display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
    qputenv("DISPLAY", m_display.toLatin1());
    qunsetenv("WAYLAND_DISPLAY");

    m_bus =
        spawn({"dbus-daemon", "--session", "--nofork", "--nosyslog", "--print-address=1"}, true);
    const QByteArray address = readLine(m_bus.out, kStartTimeoutMs);
    if (address.isEmpty())
        return fail(QStringLiteral("dbus-daemon did not start"));
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.trimmed());

    m_probe = xcb_connect(m_display.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(m_probe))
        return fail(QStringLiteral("cannot connect to ") + m_display);

    if (layout == Layout::twoScreens &&
        !(setMonitor("eDP-1", QRect(0, 0, 1440, 900), true, true) &&
          setMonitor("HDMI-1", QRect(1440, 0, 1920, 1080), false, false)))
        return fail(QStringLiteral("Xvfb did not take the two screens"));

    m_wm = spawn({"openbox", "--sm-disable"}, false);
    m_state = State::running;
    if (!waitForRootProperty("_NET_SUPPORTING_WM_CHECK") || !waitForManager())
        return fail(QStringLiteral("openbox did not start"));
    return m_state;
}

void X11Session::stop() {
    stopCompositor();
    end(m_wm);
    if (m_probe) {
        xcb_disconnect(m_probe);
        m_probe = nullptr;
    }
    end(m_bus);
    end(m_xvfb);
    if (m_state == State::running)
        m_state = State::stopped;
}

bool X11Session::startCompositor() {
    if (m_compositor.pid > 0)
        return true;
    m_compositor = spawn({"xcompmgr"}, false);
    return m_compositor.pid > 0;
}

void X11Session::stopCompositor() {
    end(m_compositor);
}

bool X11Session::run(const QString& program, const QStringList& arguments, QByteArray* output) {
    QProcess process;
    // Our own windows or bus service may be what the tool talks to, so the
    // event loop keeps running until it ends.
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    process.start(program, arguments);
    loop.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

namespace {

xcb_extension_t g_randr = {"RANDR", 0};

// One RandR request by its minor opcode; `body` starts with the 4 bytes of
// the header, which xcb fills in.
unsigned int randrRequest(xcb_connection_t* c, uint8_t minor, void* body, size_t size,
                          bool isVoid) {
    iovec parts[3];
    parts[2].iov_base = body;
    parts[2].iov_len = size;
    xcb_protocol_request_t request{1, &g_randr, minor, isVoid};
    return xcb_send_request(c, XCB_REQUEST_CHECKED, &parts[2], &request);
}

bool randrDone(xcb_connection_t* c, unsigned int sequence) {
    Reply<xcb_generic_error_t> error(xcb_request_check(c, xcb_void_cookie_t{sequence}), &std::free);
    return !error;
}

// RandR 1.5 is what exposes monitors; the server asks the client's version first.
bool randrVersion(xcb_connection_t* c) {
    uint32_t query[3] = {0, 1, 5};
    xcb_generic_error_t* error = nullptr;
    Reply<void> reply(xcb_wait_for_reply(c, randrRequest(c, 0, query, sizeof query, false), &error),
                      &std::free);
    std::free(error);
    return bool(reply);
}

// The output of the screen's automatic monitor (Xvfb has exactly one).
quint32 firstOutput(xcb_connection_t* c, xcb_window_t root) {
    uint32_t get[3] = {0, root, 0};
    xcb_generic_error_t* error = nullptr;
    Reply<uint8_t> reply(static_cast<uint8_t*>(xcb_wait_for_reply(
                             c, randrRequest(c, 42, get, sizeof get, false), &error)),
                         &std::free);
    std::free(error);
    if (!reply)
        return 0;
    // GetMonitors reply: 32 bytes, then MONITORINFO (24 bytes) plus its outputs.
    uint32_t monitors = 0;
    std::memcpy(&monitors, reply.get() + 12, 4);
    const uint8_t* m = reply.get() + 32;
    for (uint32_t i = 0; i < monitors; ++i) {
        uint16_t outputs = 0;
        std::memcpy(&outputs, m + 6, 2);
        if (outputs > 0) {
            uint32_t output = 0;
            std::memcpy(&output, m + 24, 4);
            return output;
        }
        m += 24 + 4 * outputs;
    }
    return 0;
}

} // namespace

bool X11Session::setMonitor(const char* name, const QRect& rect, bool primary, bool output) const {
    if (!m_probe || !randrVersion(m_probe))
        return false;
    const quint32 out = output ? firstOutput(m_probe, root()) : 0;
    if (output && !out)
        return false;
    // SetMonitor: header, window, then MONITORINFO: name, primary, automatic,
    // output count, x, y, width, height, millimetres, and the outputs.
    uint8_t body[36] = {};
    const uint32_t window = root();
    const uint32_t atomName = atom(name);
    const uint16_t outputs = out ? 1 : 0;
    const int16_t x = int16_t(rect.x()), y = int16_t(rect.y());
    const uint16_t w = uint16_t(rect.width()), h = uint16_t(rect.height());
    const uint32_t wmm = w / 4, hmm = h / 4;
    std::memcpy(body + 4, &window, 4);
    std::memcpy(body + 8, &atomName, 4);
    body[12] = primary;
    std::memcpy(body + 14, &outputs, 2);
    std::memcpy(body + 16, &x, 2);
    std::memcpy(body + 18, &y, 2);
    std::memcpy(body + 20, &w, 2);
    std::memcpy(body + 22, &h, 2);
    std::memcpy(body + 24, &wmm, 4);
    std::memcpy(body + 28, &hmm, 4);
    std::memcpy(body + 32, &out, 4);
    return randrDone(m_probe, randrRequest(m_probe, 43, body, out ? 36 : 32, true));
}

bool X11Session::deleteMonitor(const char* name) const {
    if (!m_probe || !randrVersion(m_probe))
        return false;
    uint32_t body[3] = {0, root(), atom(name)};
    return randrDone(m_probe, randrRequest(m_probe, 44, body, sizeof body, true));
}

quint32 X11Session::root() const {
    return m_probe ? xcb_setup_roots_iterator(xcb_get_setup(m_probe)).data->root : 0;
}

quint32 X11Session::atom(const char* name) const {
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(
            m_probe, xcb_intern_atom(m_probe, 0, static_cast<uint16_t>(strlen(name)), name),
            nullptr),
        &std::free);
    return reply ? reply->atom : 0;
}

QList<quint32> X11Session::property32(quint32 window, const char* name) const {
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(
            m_probe,
            xcb_get_property(m_probe, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
            nullptr),
        &std::free);
    QList<quint32> values;
    if (!reply || reply->format != 32)
        return values;
    const auto* data = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
    for (int i = 0; i < xcb_get_property_value_length(reply.get()) / 4; ++i)
        values.append(data[i]);
    return values;
}

QByteArray X11Session::property8(quint32 window, const char* name) const {
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(
            m_probe,
            xcb_get_property(m_probe, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
            nullptr),
        &std::free);
    if (!reply || reply->format != 8)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

bool X11Session::waitForRootProperty(const char* name) const {
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_probe, root(), XCB_CW_EVENT_MASK, &mask);
    QElapsedTimer clock;
    clock.start();
    // Asked after selecting the events, so a change in between wakes us.
    while (property32(root(), name).isEmpty()) {
        const int left = 10000 - static_cast<int>(clock.elapsed());
        if (left <= 0)
            return false;
        pollfd p{xcb_get_file_descriptor(m_probe), POLLIN, 0};
        poll(&p, 1, left);
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_probe))
            std::free(event);
    }
    return true;
}

bool X11Session::waitForManager() const {
    // Openbox announces itself before its event loop runs and drops the map
    // requests that arrive meanwhile. It is ready once it reparents a window
    // that asks to be mapped; a request that goes unanswered is repeated.
    const xcb_window_t window = xcb_generate_id(m_probe);
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_create_window(m_probe, XCB_COPY_FROM_PARENT, window, root(), 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &mask);
    bool reparented = false;
    QElapsedTimer clock;
    clock.start();
    while (!reparented && clock.elapsed() < kStartTimeoutMs) {
        xcb_unmap_window(m_probe, window);
        xcb_map_window(m_probe, window);
        xcb_flush(m_probe);
        QElapsedTimer attempt;
        attempt.start();
        while (!reparented && attempt.elapsed() < 200) {
            pollfd p{xcb_get_file_descriptor(m_probe), POLLIN, 0};
            poll(&p, 1, static_cast<int>(200 - attempt.elapsed()));
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_probe)) {
                if ((event->response_type & ~0x80) == XCB_REPARENT_NOTIFY)
                    reparented = true;
                std::free(event);
            }
        }
    }
    xcb_destroy_window(m_probe, window);
    xcb_flush(m_probe);
    return reparented;
}

bool X11Session::pauseManager(bool paused) const {
    return m_wm.pid > 0 && ::kill(m_wm.pid, paused ? SIGSTOP : SIGCONT) == 0;
}

void X11Session::sync() const {
    std::free(xcb_get_input_focus_reply(m_probe, xcb_get_input_focus(m_probe), nullptr));
}
