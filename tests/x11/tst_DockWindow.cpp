#include "TestEnv.h"
#include "X11Session.h"
#include "platform/X11Window.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QWindow>
#include <vector>
#include <xcb/xcb.h>

namespace {

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

// The dock's window states through a window manager that is slow or busy.
// What a dock window is and does otherwise (input shape, focus on request,
// blur) is tested on the real panel in tst_PanelWindows.
class tst_DockWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { X11_SESSION_REQUIRED(); }

    // The dock keeps its type, class, desktop and states through the window
    // manager, and gets them back after being hidden and shown again, also
    // when the manager has not yet handled the hide at the time of the show.
    void typeAndStates() {
        const X11Session& x = X11Session::instance();
        QWindow dock;
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
};

TAMBERK_TEST(tst_DockWindow)
#include "tst_DockWindow.moc"
