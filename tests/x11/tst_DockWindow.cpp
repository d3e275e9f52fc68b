#include "TestEnv.h"
#include "X11Session.h"
#include "platform/X11Window.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QWindow>
#include <vector>
#include <xcb/xcb.h>

namespace {

// A window that counts the presses it receives and remembers the last one.
class ClickWindow : public QWindow {
public:
    int presses = 0;
    quint32 lastTime = 0;

protected:
    void mousePressEvent(QMouseEvent* event) override {
        ++presses;
        lastTime = static_cast<quint32>(event->timestamp());
    }
};

// A dock as the panel makes one: frameless, not taking focus, typed and
// stated before it is first shown.
void makePanelLike(QWindow& window, const QRect& geometry) {
    window.setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    window.setGeometry(geometry);
    QVERIFY(X11Window::makeDock(&window));
}

bool contains(const QList<quint32>& values, quint32 value) {
    return values.contains(value);
}

// Waits until `holds` is true on three readings in a row, each after a
// server round trip. Openbox rewrites a window's state while it handles a
// map, so one true reading can still be overtaken by the manager; a check
// of the moment alone would then flicker.
template <class Predicate>
bool settles(Predicate holds, int timeoutMs = 5000) {
    QDeadlineTimer deadline(timeoutMs);
    int streak = 0;
    while (!deadline.hasExpired()) {
        X11Session::instance().sync();
        streak = holds() ? streak + 1 : 0;
        if (streak == 3)
            return true;
        QTest::qWait(20);
    }
    return false;
}

} // namespace

class tst_DockWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { X11_SESSION_REQUIRED(); }

    // The dock keeps its type, class, desktop and states through the window
    // manager, and gets them back after being hidden and shown again, also
    // when the manager has not yet handled the hide at the time of the show.
    void typeAndStates() {
        const X11Session& x = X11Session::instance();
        ClickWindow dock;
        makePanelLike(dock, QRect(1164, 8, 268, 859));
        const quint32 id = static_cast<quint32>(dock.winId());
        QVERIFY(contains(x.property32(id, "_NET_WM_STATE"), x.atom("_NET_WM_STATE_STICKY")));
        // A show that waited in vain for the manager to let go says so.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("^Tamberk dock show failed")));
        // Windows of another client that the manager must take on first.
        std::vector<xcb_window_t> backlog;
        auto cleanup = qScopeGuard([&] {
            x.pauseManager(false);
            for (const xcb_window_t window : backlog)
                xcb_destroy_window(x.probe(), window);
            x.sync();
        });
        // The second round shows right after the hide, while the manager may
        // still be forgetting the first; in the third the manager has a queue
        // of work before the hide when the show begins.
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
                             return contains(x.property32(id, "_NET_WM_STATE"), x.atom(state));
                         }),
                         state);
            QVERIFY2(settles([&] {
                         return x.property32(id, "_NET_WM_DESKTOP") == QList<quint32>{0xFFFFFFFFu};
                     }),
                     "_NET_WM_DESKTOP");
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

    // Outside the input region a click reaches the window below; inside it
    // reaches the dock.
    void inputPassThrough() {
        ClickWindow below;
        below.setFlags(Qt::Window | Qt::FramelessWindowHint);
        // Not the screen's size: openbox would take it for a full-screen
        // window and stack it above docks once it has focus.
        below.setGeometry(900, 50, 520, 800);
        below.show();
        QVERIFY(QTest::qWaitForWindowExposed(&below));

        ClickWindow dock;
        makePanelLike(dock, QRect(1000, 100, 300, 400));
        X11Window::showDock(&dock);
        QVERIFY(QTest::qWaitForWindowExposed(&dock));
        // The panel's card: the right two thirds. Openbox's frame ignores the
        // input shape, so the bounding shape follows it.
        const QRegion card(100, 0, 200, 400);
        QVERIFY(X11Window::setInputRegion(&dock, card));
        QVERIFY(X11Window::setBoundingRegion(&dock, card));
        X11Session::instance().sync();

        QVERIFY(X11Session::xdotool({"mousemove", "1050", "300", "click", "1"}));
        QTRY_COMPARE(below.presses, 1);
        QVERIFY(X11Session::xdotool({"mousemove", "1200", "300", "click", "1"}));
        QTRY_COMPARE(dock.presses, 1);
        QCOMPARE(below.presses, 1);

        // Cleared, the whole window takes the pointer again.
        QVERIFY(X11Window::clearShape(&dock));
        X11Session::instance().sync();
        QVERIFY(X11Session::xdotool({"mousemove", "1050", "300", "click", "1"}));
        QTRY_COMPARE(dock.presses, 2);
        QCOMPARE(below.presses, 1);
    }

    // A dock opened without focus takes it when asked with a click's time,
    // and stays a dock although its flags changed.
    void focusOnRequest() {
        const X11Session& x = X11Session::instance();
        ClickWindow other;
        other.setGeometry(100, 100, 400, 300);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        other.requestActivate();
        QTRY_COMPARE(QGuiApplication::focusWindow(), &other);

        ClickWindow dock;
        makePanelLike(dock, QRect(1300, 300, 100, 200));
        X11Window::showDock(&dock);
        QVERIFY(QTest::qWaitForWindowExposed(&dock));
        QVERIFY(X11Session::xdotool({"mousemove", "1350", "400", "click", "1"}));
        QTRY_COMPARE(dock.presses, 1);
        x.sync();
        QCOMPARE(QGuiApplication::focusWindow(), &other);

        QVERIFY(X11Window::setAcceptsFocus(&dock, true));
        QVERIFY(X11Window::activate(&dock, dock.lastTime));
        QTRY_COMPARE(QGuiApplication::focusWindow(), &dock);
        const quint32 id = static_cast<quint32>(dock.winId());
        // Qt adds fallbacks after it; the first type the manager knows counts.
        QCOMPARE(x.property32(id, "_NET_WM_WINDOW_TYPE").value(0),
                 x.atom("_NET_WM_WINDOW_TYPE_DOCK"));
        QVERIFY(X11Window::setAcceptsFocus(&dock, false));
    }

    // Blur is asked for only where the compositor announces it, with the
    // region's rectangles, and taken back again.
    void blurWhereOffered() {
        const X11Session& x = X11Session::instance();
        ClickWindow dock;
        makePanelLike(dock, QRect(0, 0, 50, 50));
        const quint32 id = static_cast<quint32>(dock.winId());
        QVERIFY(!X11Window::blurBehindAvailable());
        QVERIFY(!X11Window::setBlurBehind(&dock, QRegion(0, 0, 50, 50)));

        // Announced the way the compositor does it: the property on the root.
        const quint32 blur = x.atom("_KDE_NET_WM_BLUR_BEHIND_REGION");
        const quint32 none = 0;
        xcb_change_property(x.probe(), XCB_PROP_MODE_REPLACE, x.root(), blur, XCB_ATOM_CARDINAL, 32,
                            0, &none);
        x.sync();
        QVERIFY(X11Window::blurBehindAvailable());
        QVERIFY(X11Window::setBlurBehind(&dock, QRegion(2, 3, 40, 30) + QRegion(2, 33, 20, 10)));
        QTRY_COMPARE(x.property32(id, "_KDE_NET_WM_BLUR_BEHIND_REGION"),
                     (QList<quint32>{2, 3, 40, 30, 2, 33, 20, 10}));
        QVERIFY(X11Window::clearBlurBehind(&dock));
        QTRY_VERIFY(x.property32(id, "_KDE_NET_WM_BLUR_BEHIND_REGION").isEmpty());
        xcb_delete_property(x.probe(), x.root(), blur);
        x.sync();
    }
};

TAMBERK_TEST(tst_DockWindow)
#include "tst_DockWindow.moc"
