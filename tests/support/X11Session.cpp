#include "X11Session.h"

#include "PrivateBus.h"

#include <QDeadlineTimer>
#include <QTest>
#include <QThread>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>
#include <sys/uio.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

namespace {
constexpr int kStartTimeoutMs = 15000;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> reply(T* value) {
    return Reply<T>(value, &std::free);
}

// Starts a server quietly; it ends with the test run, should that crash.
void launch(QProcess& server, const QString& program, const QStringList& arguments,
            bool readOutput = false) {
    server.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    server.setStandardErrorFile(QProcess::nullDevice());
    if (!readOutput)
        server.setStandardOutputFile(QProcess::nullDevice());
    server.start(program, arguments);
}

void end(QProcess& server) {
    server.terminate();
    server.waitForFinished();
}

xcb_extension_t g_randr = {"RANDR", 0};

// One RandR request by its minor opcode; `body` starts with the 4 bytes of
// the header, which xcb fills in.
unsigned int randr(xcb_connection_t* c, uint8_t minor, void* body, size_t size, bool isVoid) {
    iovec parts[3];
    parts[2] = {body, size};
    xcb_protocol_request_t request{1, &g_randr, minor, isVoid};
    return xcb_send_request(c, XCB_REQUEST_CHECKED, &parts[2], &request);
}

Reply<uint8_t> randrReply(xcb_connection_t* c, uint8_t minor, void* body, size_t size) {
    xcb_generic_error_t* error = nullptr;
    auto answer = reply(
        static_cast<uint8_t*>(xcb_wait_for_reply(c, randr(c, minor, body, size, false), &error)));
    std::free(error);
    return answer;
}

bool randrDone(xcb_connection_t* c, uint8_t minor, void* body, size_t size) {
    return !reply(xcb_request_check(c, xcb_void_cookie_t{randr(c, minor, body, size, true)}));
}

// RandR 1.5 exposes monitors; the server asks for the client's version first.
bool randrVersion(xcb_connection_t* c) {
    uint32_t query[3] = {0, 1, 5};
    return bool(randrReply(c, 0, query, sizeof query));
}

// The Xvfb screen's one output, from GetScreenResourcesCurrent: 32 bytes,
// then the CRTCs and the outputs.
quint32 firstOutput(xcb_connection_t* c, xcb_window_t root) {
    uint32_t get[2] = {0, root};
    const Reply<uint8_t> resources = randrReply(c, 25, get, sizeof get);
    uint16_t counts[2] = {0, 0}; // CRTCs, outputs
    uint32_t output = 0;
    if (resources)
        std::memcpy(counts, resources.get() + 16, 4);
    if (counts[1] > 0)
        std::memcpy(&output, resources.get() + 32 + 4 * counts[0], 4);
    return output;
}

} // namespace

X11Session& X11Session::instance() {
    static X11Session session;
    return session;
}

X11Session::X11Session() = default;

X11Session::~X11Session() {
    stop();
}

QString X11Session::start(Layout layout) {
    auto fail = [this](const QString& why) {
        stop();
        return why;
    };
    // Xvfb picks a free display itself and names it once it accepts clients.
    const bool two = layout == Layout::twoScreens;
    launch(m_xvfb, "Xvfb",
           {"-displayfd", "1", "-screen", "0", two ? "3360x1080x24" : "1440x900x24", "-nolisten",
            "tcp", "-noreset"},
           true);
    while (!m_xvfb.canReadLine() && m_xvfb.waitForReadyRead(kStartTimeoutMs)) {
    }
    const QByteArray display = ":" + m_xvfb.readLine().trimmed();
    if (display == ":")
        return fail("Xvfb did not start");
    qputenv("DISPLAY", display);
    qunsetenv("WAYLAND_DISPLAY");
    m_bus = std::make_unique<PrivateBus>();
    if (!m_bus->isRunning())
        return fail("dbus-daemon did not start");
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().toUtf8());
    m_probe = xcb_connect(display.constData(), nullptr);
    if (xcb_connection_has_error(m_probe))
        return fail("cannot connect to " + display);
    if (two && !(randrVersion(m_probe) && setMonitor("eDP-1", QRect(0, 0, 1440, 900), true, true) &&
                 setMonitor("HDMI-1", QRect(1440, 0, 1920, 1080), false, false)))
        return fail("Xvfb did not take the two screens");
    launch(m_wm, "openbox", {"--sm-disable"});
    return waitForManager() ? QString() : fail("openbox did not start");
}

void X11Session::stop() {
    end(m_compositor);
    end(m_wm);
    if (m_probe)
        xcb_disconnect(m_probe);
    m_probe = nullptr;
    m_bus.reset();
    end(m_xvfb);
}

bool X11Session::startCompositor() {
    if (m_compositor.state() == QProcess::NotRunning)
        launch(m_compositor, "xcompmgr", {});
    return m_compositor.waitForStarted();
}

void X11Session::stopCompositor() {
    end(m_compositor);
}

bool X11Session::pauseManager(bool paused) const {
    return m_wm.processId() > 0 && ::kill(pid_t(m_wm.processId()), paused ? SIGSTOP : SIGCONT) == 0;
}

int X11Session::run(const QString& program, const QStringList& arguments, QByteArray* output,
                    QByteArray* error) {
    QProcess process;
    process.start(program, arguments);
    // The event loop runs meanwhile: our own windows may be what it asks.
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output)
        *output = process.readAllStandardOutput();
    if (error)
        *error = process.readAllStandardError();
    const bool ended =
        process.exitStatus() == QProcess::NormalExit && process.error() == QProcess::UnknownError;
    return ended ? process.exitCode() : -1;
}

bool X11Session::setMonitor(const char* name, const QRect& rect, bool primary, bool output) const {
    const quint32 out = output ? firstOutput(m_probe, root()) : 0;
    // SetMonitor: its header, the root, then MONITORINFO: the name, primary
    // and automatic, the output count, x and y, width and height, millimetres
    // across and down, the output. Pairs of 16 bits, as a little-endian host
    // lays them out.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
    auto pair = [](int low, int high) { return uint32_t(uint16_t(low) | uint16_t(high) << 16); };
    uint32_t body[9] = {0,
                        root(),
                        atom(name),
                        pair(primary, out ? 1 : 0),
                        pair(rect.x(), rect.y()),
                        pair(rect.width(), rect.height()),
                        uint32_t(rect.width() / 4),
                        uint32_t(rect.height() / 4),
                        out};
    return (!output || out) && randrDone(m_probe, 43, body, out ? 36 : 32);
}

bool X11Session::deleteMonitor(const char* name) const {
    uint32_t body[3] = {0, root(), atom(name)};
    return randrDone(m_probe, 44, body, sizeof body);
}

quint32 X11Session::root() const {
    return m_probe ? xcb_setup_roots_iterator(xcb_get_setup(m_probe)).data->root : 0;
}

quint32 X11Session::atom(const char* name) const {
    const auto answer = reply(xcb_intern_atom_reply(
        m_probe, xcb_intern_atom(m_probe, 0, uint16_t(strlen(name)), name), nullptr));
    return answer ? answer->atom : 0;
}

QByteArray X11Session::property(quint32 window, const char* name, int format) const {
    const auto answer = reply(xcb_get_property_reply(
        m_probe,
        xcb_get_property(m_probe, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
        nullptr));
    if (!answer || answer->format != format)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(answer.get())),
                      xcb_get_property_value_length(answer.get()));
}

QList<quint32> X11Session::property32(quint32 window, const char* name) const {
    const QByteArray bytes = property(window, name, 32);
    const auto* first = reinterpret_cast<const quint32*>(bytes.constData());
    return QList<quint32>(first, first + bytes.size() / 4);
}

QByteArray X11Session::property8(quint32 window, const char* name) const {
    return property(window, name, 8);
}

QRect X11Session::geometry(quint32 window, bool* viewable) const {
    const auto state = reply(xcb_get_window_attributes_reply(
        m_probe, xcb_get_window_attributes(m_probe, window), nullptr));
    const auto size =
        reply(xcb_get_geometry_reply(m_probe, xcb_get_geometry(m_probe, window), nullptr));
    const auto at = reply(xcb_translate_coordinates_reply(
        m_probe, xcb_translate_coordinates(m_probe, window, root(), 0, 0), nullptr));
    if (viewable)
        *viewable = state && state->map_state == XCB_MAP_STATE_VIEWABLE;
    return size && at ? QRect(at->dst_x, at->dst_y, size->width, size->height) : QRect();
}

bool X11Session::waitForManager() const {
    // Openbox drops the map requests that arrive before its event loop runs.
    // It is ready once it reparents a window that asks to be mapped; a
    // request that goes unanswered is repeated.
    const xcb_window_t window = xcb_generate_id(m_probe);
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_create_window(m_probe, XCB_COPY_FROM_PARENT, window, root(), 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &mask);
    bool reparented = false;
    for (QDeadlineTimer deadline(kStartTimeoutMs); !reparented && !deadline.hasExpired();) {
        xcb_unmap_window(m_probe, window);
        xcb_map_window(m_probe, window);
        xcb_flush(m_probe);
        QThread::msleep(100);
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_probe)) {
            reparented = reparented || (event->response_type & ~0x80) == XCB_REPARENT_NOTIFY;
            std::free(event);
        }
    }
    xcb_destroy_window(m_probe, window);
    xcb_flush(m_probe);
    return reparented;
}

void X11Session::sync() const {
    std::free(xcb_get_input_focus_reply(m_probe, xcb_get_input_focus(m_probe), nullptr));
}
