#include "FakeTarget.h"
#include "PrivateBus.h"
#include "TestEnv.h"
#include "X11Session.h"
#include "grid/Clip.h"
#include "platform/CompositorWatch.h"
#include "platform/GlobalShortcut.h"
#include "platform/RemoteControl.h"
#include "platform/TrayHost.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTextStream>
#include <QtConcurrent>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace {

// Plays a StatusNotifierWatcher with a registered host.
class WatcherWithHost : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
public:
    bool hostRegistered() const { return true; }
};

// The probe takes (or gives up) the screen's XEmbed tray selection, as a
// panel's tray does.
void probeOwnsTray(bool own) {
    X11Session& x = X11Session::instance();
    xcb_connection_t* c = x.probe();
    static xcb_window_t window = 0;
    if (!window) {
        window = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, x.root(), 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    }
    xcb_set_selection_owner(c, own ? window : XCB_NONE, x.atom("_NET_SYSTEM_TRAY_S0"),
                            XCB_CURRENT_TIME);
    x.sync();
}

constexpr quint16 kControlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
constexpr quint16 kNumLock = XCB_MOD_MASK_2;

// The probe's keyboard: the keycodes of a keysym and free keycodes.
struct ProbeKeyboard {
    explicit ProbeKeyboard(xcb_connection_t* c)
        : c(c) {
        const xcb_setup_t* setup = xcb_get_setup(c);
        min = setup->min_keycode;
        max = setup->max_keycode;
        reply.reset(xcb_get_keyboard_mapping_reply(
            c, xcb_get_keyboard_mapping(c, min, static_cast<uint8_t>(max - min + 1)), nullptr));
        perCode = reply ? reply->keysyms_per_keycode : 0;
    }
    const xcb_keysym_t* syms() const { return xcb_get_keyboard_mapping_keysyms(reply.get()); }
    xcb_keycode_t codeOf(xcb_keysym_t sym) const {
        for (int code = min; code <= max && reply; ++code) {
            if (syms()[(code - min) * perCode] == sym)
                return static_cast<xcb_keycode_t>(code);
        }
        return 0;
    }
    // Exchanges the keysyms of two keycodes in one request, so the server
    // announces one mapping change.
    void exchange(xcb_keycode_t a, xcb_keycode_t b) {
        const xcb_keycode_t first = std::min(a, b), last = std::max(a, b);
        QList<xcb_keysym_t> range(syms() + (first - min) * perCode,
                                  syms() + (last - min + 1) * perCode);
        for (int i = 0; i < perCode; ++i)
            std::swap(range[i], range[(last - first) * perCode + i]);
        xcb_change_keyboard_mapping(c, static_cast<uint8_t>(last - first + 1), first, perCode,
                                    range.data());
        xcb_flush(c);
    }

    xcb_connection_t* c;
    int min = 0, max = 0;
    uint8_t perCode = 0;
    std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&std::free)> reply{nullptr,
                                                                                  &std::free};
};

bool probeGrab(xcb_keycode_t code, quint16 modifiers) {
    xcb_connection_t* c = X11Session::instance().probe();
    std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(
        xcb_request_check(c, xcb_grab_key_checked(c, 0, X11Session::instance().root(), modifiers,
                                                  code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
        &std::free);
    return !error;
}

void probeUngrab(xcb_keycode_t code, quint16 modifiers) {
    xcb_connection_t* c = X11Session::instance().probe();
    xcb_ungrab_key(c, code, X11Session::instance().root(), modifiers);
    X11Session::instance().sync();
}

} // namespace

class tst_X11Services : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { X11_SESSION_REQUIRED(); }

    // A real key press reaches the grab whatever lock keys are on, carries
    // the server's time, and the keys are free again after ungrab().
    void shortcutPress() {
        GlobalShortcut shortcut;
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        QCOMPARE(shortcut.grab(QStringLiteral("Ctrl+Alt+S")), GlobalShortcut::Status::grabbed);
        QVERIFY(X11Session::xdotool({"key", "ctrl+alt+s"}));
        QTRY_COMPARE(activated.count(), 1);
        QVERIFY(activated.first().first().toUInt() != 0);
        for (const char* lock : {"Num_Lock", "Caps_Lock"}) {
            QVERIFY(X11Session::xdotool({"key", lock}));
            QVERIFY(X11Session::xdotool({"key", "ctrl+alt+s"}));
            QVERIFY(X11Session::xdotool({"key", lock}));
        }
        QTRY_COMPARE(activated.count(), 3);

        const xcb_keycode_t s = ProbeKeyboard(X11Session::instance().probe()).codeOf('s');
        QVERIFY(!probeGrab(s, kControlAlt | kNumLock));
        shortcut.ungrab();
        QVERIFY(probeGrab(s, kControlAlt | kNumLock));
        probeUngrab(s, kControlAlt | kNumLock);
    }

    // Keys another client holds are a conflict, logged, and nothing of them
    // stays grabbed by us.
    void conflict() {
        const xcb_keycode_t r = ProbeKeyboard(X11Session::instance().probe()).codeOf('r');
        QVERIFY(probeGrab(r, kControlAlt));
        GlobalShortcut shortcut;
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^Tamberk shortcut grab failed: Ctrl\\+Alt\\+R"));
        QCOMPARE(shortcut.grab(QStringLiteral("Ctrl+Alt+R")), GlobalShortcut::Status::conflict);
        QVERIFY(probeGrab(r, kControlAlt | kNumLock));
        probeUngrab(r, kControlAlt | kNumLock);
        probeUngrab(r, kControlAlt);
        QCOMPARE(shortcut.grab(QStringLiteral("Ctrl+Alt+R")), GlobalShortcut::Status::grabbed);
    }

    // When the key moves to another keycode the grab follows it.
    void followsMappingChange() {
        ProbeKeyboard keyboard(X11Session::instance().probe());
        const xcb_keycode_t original = keyboard.codeOf('s');
        const xcb_keycode_t spare = keyboard.codeOf(0);
        QVERIFY(original && spare);
        GlobalShortcut shortcut;
        QCOMPARE(shortcut.grab(QStringLiteral("Ctrl+Alt+S")), GlobalShortcut::Status::grabbed);
        QSignalSpy regrabbed(&shortcut, &GlobalShortcut::regrabbed);
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        keyboard.exchange(original, spare);
        const auto restore = qScopeGuard(
            [&] { ProbeKeyboard(X11Session::instance().probe()).exchange(original, spare); });
        QTRY_VERIFY(regrabbed.count() > 0);
        QCOMPARE(shortcut.status(), GlobalShortcut::Status::grabbed);
        QVERIFY(X11Session::xdotool({"key", "ctrl+alt+s"}));
        QTRY_COMPARE(activated.count(), 1);
    }

    // Compositors starting and stopping are seen as they happen.
    void compositorComesAndGoes() {
        CompositorWatch watch;
        QCOMPARE(watch.isComposited(), false);
        QSignalSpy changed(&watch, &CompositorWatch::compositedChanged);
        QVERIFY(X11Session::instance().startCompositor());
        QTRY_VERIFY(watch.isComposited());
        X11Session::instance().stopCompositor();
        QTRY_VERIFY(!watch.isComposited());
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(0).first().toBool(), true);
    }

    // Without a StatusNotifierItem host, an XEmbed tray on the screen is
    // used, also one that appears later; with a host, the host wins.
    void trayFoundOnEitherKind() {
        PrivateBus bus;
        QVERIFY(bus.isRunning());
        {
            TrayHost tray(bus.connect(QStringLiteral("app-1")));
            QSignalSpy available(&tray, &TrayHost::available);
            tray.start();
            QVERIFY(!tray.isAvailable());
            probeOwnsTray(true);
            QTRY_COMPARE(available.count(), 1);
            QVERIFY(tray.kind() == TrayHost::Kind::xembed);
            probeOwnsTray(false);
        }
        {
            // Present before the start, but the bus has not answered yet.
            probeOwnsTray(true);
            auto cleanup = qScopeGuard([] { probeOwnsTray(false); });
            QDBusConnection watcherBus = bus.connect(QStringLiteral("watcher"));
            WatcherWithHost watcher;
            QVERIFY(watcherBus.registerObject(QLatin1String(TrayHost::watcherPath), &watcher,
                                              QDBusConnection::ExportAllContents));
            QVERIFY(watcherBus.registerService(QLatin1String(TrayHost::watcherService)));
            TrayHost tray(bus.connect(QStringLiteral("app-2")));
            QSignalSpy available(&tray, &TrayHost::available);
            tray.start();
            QTRY_COMPARE(available.count(), 1);
            QVERIFY(tray.kind() == TrayHost::Kind::statusNotifier);
        }
    }

    // The instance answers outside callers on the session bus, and the
    // command-line forwarding reaches it and fails cleanly once it is gone.
    void remoteRoundTrip() {
        FakeTarget target;
        auto control = std::make_unique<RemoteControl>(target);
        QCOMPARE(control->start(), RemoteControl::Start::registered);
        QByteArray version;
        QVERIFY(X11Session::run("gdbus",
                                {"call", "--session", "--dest", RemoteControl::serviceName,
                                 "--object-path", RemoteControl::objectPath, "--method",
                                 QStringLiteral("%1.Version").arg(RemoteControl::interfaceName)},
                                &version));
        QVERIFY2(version.startsWith("('"), version.constData());
        QVERIFY(X11Session::run(
            "gdbus", {"call", "--session", "--dest", RemoteControl::serviceName, "--object-path",
                      RemoteControl::objectPath, "--method",
                      QStringLiteral("%1.Toggle").arg(RemoteControl::interfaceName), "startup-7"}));
        QCOMPARE(target.calls, QStringList{"toggle:startup-7"});

        auto forward = [](RemoteCommand command) {
            return QtConcurrent::run([command] {
                QString message;
                QTextStream err(&message);
                return RemoteControl::forward(command, err);
            });
        };
        QFuture<int> hide = forward(RemoteCommand::hide);
        QTRY_VERIFY(hide.isFinished());
        QCOMPARE(hide.result(), 0);
        QCOMPARE(target.calls.last(), QStringLiteral("hide"));
        control.reset();
        QFuture<int> gone = forward(RemoteCommand::show);
        QTRY_VERIFY(gone.isFinished());
        QCOMPARE(gone.result(), 1);
    }

    // Copied frames reach other programs as files and a picture, never as
    // text: a paste into a text field must not bring the drop folder's paths.
    void copiedFramesOfferNoText() {
        TestEnv env;
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString path = env.home() + QStringLiteral("/Screenshot.png");
        QVERIFY(image.save(path));
        Clip::copy({std::make_shared<Shot>(path, 1.0, 1.0, QSizeF(40, 30), false, true)});
        auto read = [](const QString& target) {
            QByteArray out;
            X11Session::run(QStringLiteral("xclip"),
                            {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                             QStringLiteral("-t"), target, QStringLiteral("-o")},
                            &out);
            return out;
        };
        const QList<QByteArray> targets = read(QStringLiteral("TARGETS")).split('\n');
        for (const char* offered : {"text/uri-list", "x-special/gnome-copied-files", "image/png"})
            QVERIFY2(targets.contains(offered), offered);
        for (const char* text : {"text/plain", "text/x-moz-url", "UTF8_STRING", "STRING", "TEXT"})
            QVERIFY2(!targets.contains(text), text);
        const QByteArray uris = read(QStringLiteral("text/uri-list"));
        QVERIFY2(uris.startsWith("file://") && uris.endsWith("/Screenshot.png\r\n"), uris);
        QGuiApplication::clipboard()->clear();
    }
};

TAMBERK_TEST(tst_X11Services)
#include "tst_X11Services.moc"
