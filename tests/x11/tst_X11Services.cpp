#include "PrivateBus.h"
#include "TestEnv.h"
#include "X11Session.h"
#include "grid/Clip.h"
#include "platform/CompositorWatch.h"
#include "platform/GlobalShortcut.h"
#include "platform/TrayHost.h"
#include "platform/X11Window.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <vector>
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

xcb_connection_t* probe() {
    return X11Session::instance().probe();
}

// The probe takes or gives up the XEmbed tray selection, as a panel's tray does.
void probeOwnsTray(bool own) {
    const X11Session& x = X11Session::instance();
    xcb_set_selection_owner(probe(), own ? x.root() : XCB_NONE, x.atom("_NET_SYSTEM_TRAY_S0"),
                            XCB_CURRENT_TIME);
    x.sync();
}

constexpr quint16 kControlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
constexpr quint16 kNumLock = XCB_MOD_MASK_2;

// The probe's keyboard map: `perCode` keysyms for each keycode from `min` on.
struct Keymap {
    int min = xcb_get_setup(probe())->min_keycode, perCode = 0;
    QList<xcb_keysym_t> syms;
    Keymap() {
        const auto count = uint8_t(xcb_get_setup(probe())->max_keycode - min + 1);
        auto* map = xcb_get_keyboard_mapping_reply(
            probe(), xcb_get_keyboard_mapping(probe(), xcb_keycode_t(min), count), nullptr);
        perCode = map ? map->keysyms_per_keycode : 0;
        const xcb_keysym_t* first = map ? xcb_get_keyboard_mapping_keysyms(map) : nullptr;
        syms = QList(first, first + (map ? xcb_get_keyboard_mapping_keysyms_length(map) : 0));
        std::free(map);
    }
    xcb_keycode_t codeOf(xcb_keysym_t sym) const {
        for (qsizetype at = 0; perCode > 0 && at < syms.size(); at += perCode) {
            if (syms[at] == sym)
                return xcb_keycode_t(min + at / perCode);
        }
        return 0;
    }
    // Exchanges two keycodes' keysyms in one request: one mapping change.
    void exchange(xcb_keycode_t a, xcb_keycode_t b) const {
        QList<xcb_keysym_t> all = syms;
        std::swap_ranges(all.begin() + (a - min) * perCode, all.begin() + (a - min + 1) * perCode,
                         all.begin() + (b - min) * perCode);
        xcb_change_keyboard_mapping(probe(), uint8_t(all.size() / perCode), xcb_keycode_t(min),
                                    uint8_t(perCode), all.data());
        xcb_flush(probe());
    }
};

// Whether the probe, as another client, can grab the key; it keeps the grab
// only when told to.
bool probeGrab(xcb_keycode_t code, quint16 modifiers, bool keep = false) {
    const X11Session& x = X11Session::instance();
    xcb_generic_error_t* error =
        xcb_request_check(probe(), xcb_grab_key_checked(probe(), 0, x.root(), modifiers, code,
                                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::free(error);
    if (!keep)
        xcb_ungrab_key(probe(), code, x.root(), modifiers);
    x.sync();
    return !error;
}

// Whether `holds` comes true on three readings in a row, each after a server
// round trip: openbox rewrites a window's state while it handles a map.
template <class Predicate>
bool settles(Predicate holds) {
    int streak = 0;
    return QTest::qWaitFor(
        [&] {
            X11Session::instance().sync();
            return (streak = holds() ? streak + 1 : 0) == 3;
        },
        5000);
}

} // namespace

class tst_X11Services : public QObject {
    Q_OBJECT
private slots:
    // A key press reaches the grab whatever the lock keys, with the server's
    // time; ungrab() frees the keys.
    void shortcutPress() {
        GlobalShortcut shortcut;
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        QCOMPARE(shortcut.grab(QStringLiteral("Ctrl+Alt+S")), GlobalShortcut::Status::grabbed);
        QVERIFY(X11Session::xdotool({"key", "ctrl+alt+s"}));
        QTRY_COMPARE(activated.count(), 1);
        QVERIFY(activated.first().first().toUInt() != 0);
        for (const char* lock : {"Num_Lock", "Caps_Lock"})
            QVERIFY(X11Session::xdotool({"key", lock, "key", "ctrl+alt+s", "key", lock}));
        QTRY_COMPARE(activated.count(), 3);

        const xcb_keycode_t s = Keymap().codeOf('s');
        QVERIFY(!probeGrab(s, kControlAlt | kNumLock));
        shortcut.ungrab();
        QVERIFY(probeGrab(s, kControlAlt | kNumLock));
    }

    // Keys another client holds are a conflict, logged, and none stays ours.
    void conflict() {
        const xcb_keycode_t r = Keymap().codeOf('r');
        QVERIFY(probeGrab(r, kControlAlt, true));
        GlobalShortcut shortcut;
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^Tamberk shortcut grab failed: Ctrl\\+Alt\\+R"));
        QCOMPARE(shortcut.grab(QStringLiteral("Ctrl+Alt+R")), GlobalShortcut::Status::conflict);
        QVERIFY(probeGrab(r, kControlAlt | kNumLock));
        xcb_ungrab_key(probe(), r, X11Session::instance().root(), kControlAlt);
        X11Session::instance().sync();
        QCOMPARE(shortcut.grab(QStringLiteral("Ctrl+Alt+R")), GlobalShortcut::Status::grabbed);
    }

    // When the key moves to another keycode the grab follows it.
    void followsMappingChange() {
        const Keymap keymap;
        const xcb_keycode_t original = keymap.codeOf('s'), spare = keymap.codeOf(0);
        QVERIFY(original && spare);
        GlobalShortcut shortcut;
        QCOMPARE(shortcut.grab(QStringLiteral("Ctrl+Alt+S")), GlobalShortcut::Status::grabbed);
        QSignalSpy regrabbed(&shortcut, &GlobalShortcut::regrabbed);
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        keymap.exchange(original, spare);
        const auto restore = qScopeGuard([&] { Keymap().exchange(original, spare); });
        QTRY_VERIFY(regrabbed.count() > 0);
        QCOMPARE(shortcut.status(), GlobalShortcut::Status::grabbed);
        QVERIFY(X11Session::xdotool({"key", "ctrl+alt+s"}));
        QTRY_COMPARE(activated.count(), 1);
    }

    // Compositors starting and stopping are seen as they happen.
    void compositorComesAndGoes() {
        CompositorWatch watch;
        QVERIFY(!watch.isComposited());
        QSignalSpy changed(&watch, &CompositorWatch::compositedChanged);
        QVERIFY(X11Session::instance().startCompositor());
        QTRY_VERIFY(watch.isComposited());
        X11Session::instance().stopCompositor();
        QTRY_VERIFY(!watch.isComposited());
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(0).first().toBool(), true);
    }

    // Without a StatusNotifierItem host an XEmbed tray is used, also one that
    // appears later; with a host, the host wins.
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
        }
        // Present before the start, but the bus has not answered yet.
        const auto cleanup = qScopeGuard([] { probeOwnsTray(false); });
        QDBusConnection watcherBus = bus.connect(QStringLiteral("watcher"));
        WatcherWithHost watcher;
        QVERIFY(watcherBus.registerObject(TrayHost::watcherPath, &watcher,
                                          QDBusConnection::ExportAllContents));
        QVERIFY(watcherBus.registerService(TrayHost::watcherService));
        TrayHost tray(bus.connect(QStringLiteral("app-2")));
        QSignalSpy available(&tray, &TrayHost::available);
        tray.start();
        QTRY_COMPARE(available.count(), 1);
        QVERIFY(tray.kind() == TrayHost::Kind::statusNotifier);
    }

    // A dock keeps its type, class, desktop and states through a window
    // manager that is slow or busy, and gets them back when shown again: the
    // second round shows right after the hide, while the manager may still be
    // forgetting the first; in the third it has a queue of work before the hide.
    void dockThroughABusyManager() {
        const X11Session& x = X11Session::instance();
        QWindow dock;
        dock.setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
        dock.setGeometry(QRect(1164, 8, 268, 859));
        QVERIFY(X11Window::makeDock(&dock));
        const quint32 id = quint32(dock.winId());
        QVERIFY(x.property32(id, "_NET_WM_STATE").contains(x.atom("_NET_WM_STATE_STICKY")));
        // A show that waited in vain for the manager to let go says so.
        QTest::failOnWarning(QRegularExpression("^Tamberk dock show failed"));
        std::vector<xcb_window_t> backlog; // another client's windows for the manager
        const auto cleanup = qScopeGuard([&] {
            x.pauseManager(false);
            for (const xcb_window_t window : backlog)
                xcb_destroy_window(x.probe(), window);
            x.sync();
        });
        for (int round = 0; round < 3; ++round) {
            if (round == 2) {
                x.sync();
                QVERIFY(x.pauseManager(false));
            }
            QVERIFY(X11Window::showDock(&dock));
            QVERIFY(QTest::qWaitForWindowExposed(&dock));
            QCOMPARE(x.property32(id, "_NET_WM_WINDOW_TYPE"),
                     QList<quint32>{x.atom("_NET_WM_WINDOW_TYPE_DOCK")});
            for (const char* state :
                 {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"})
                QVERIFY2(settles([&] {
                             return x.property32(id, "_NET_WM_STATE").contains(x.atom(state));
                         }),
                         state);
            QVERIFY(settles([&] {
                return x.property32(id, "_NET_WM_DESKTOP") == QList<quint32>{0xFFFFFFFFu};
            }));
            QCOMPARE(x.property8(id, "WM_CLASS"), QByteArray("tamberk\0Tamberk", 16));
            if (round == 1) {
                QVERIFY(x.pauseManager(true));
                for (int i = 0; i < 12; ++i) {
                    backlog.push_back(xcb_generate_id(x.probe()));
                    xcb_create_window(x.probe(), XCB_COPY_FROM_PARENT, backlog.back(), x.root(),
                                      int16_t(20 * i), 40, 200, 150, 0,
                                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0,
                                      nullptr);
                    xcb_map_window(x.probe(), backlog.back());
                }
                x.sync();
            }
            dock.hide();
        }
    }

    // Copied frames are files and a picture to other programs, never text: a
    // paste into a text field must not bring their paths.
    void copiedFramesOfferNoText() {
        TestEnv env;
        const QString path = writeFile(env.home() + "/Screenshot.png", pngBytes(40, 30));
        Clip::copy({std::make_shared<Shot>(path, 1.0, 1.0, QSizeF(40, 30), false, true)});
        const auto cleanup = qScopeGuard([] { QGuiApplication::clipboard()->clear(); });
        const QList<QByteArray> targets = X11Session::clipboard("TARGETS").split('\n');
        for (const char* offered : {"text/uri-list", "x-special/gnome-copied-files", "image/png"})
            QVERIFY2(targets.contains(offered), offered);
        for (const char* text : {"text/plain", "text/x-moz-url", "UTF8_STRING", "STRING", "TEXT"})
            QVERIFY2(!targets.contains(text), text);
        const QByteArray uris = X11Session::clipboard("text/uri-list");
        QVERIFY2(uris.startsWith("file://") && uris.endsWith("/Screenshot.png\r\n"), uris);
    }
};

TAMBERK_TEST(tst_X11Services)
#include "tst_X11Services.moc"
