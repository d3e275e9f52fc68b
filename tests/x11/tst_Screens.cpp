#include "RealApp.h"
#include "TestEnv.h"
#include "X11Session.h"
#include "settings/Prefs.h"

#include <QTest>

using namespace realapp;

namespace {

const QRect first(0, 0, 1440, 900), second(1440, 0, 1920, 1080);

// Whether the window titled `title` comes to dock right on `screen` (where on
// the edge is the geometry's test), waited for on the wall clock: each look
// asks the X server, so QTRY's count of its short waits falls far behind.
bool dockedOn(const char* title, const QRect& screen) {
    return QTest::qWaitFor(
        [&] {
            const QRect window = place(title);
            return screen.contains(window) && window.right() == screen.right();
        },
        10000);
}

bool hoverTab() {
    const QRect tab = place("Tamberk Tab");
    const QString y = QString::number(tab.center().y());
    return X11Session::xdotool({"mousemove", QString::number(tab.x() - 200), y}) &&
           X11Session::xdotool({"mousemove", QString::number(tab.center().x()), y});
}

} // namespace

// On a laptop's 1440 × 900 screen with a 1920 × 1080 monitor to its right.
class tst_Screens : public QObject {
    Q_OBJECT
private slots:
    // "Screen with the pointer": the tab stays on the primary screen, a hover
    // opens the panel there, the shortcut on the screen under the pointer.
    void screenWithThePointer() {
        TestEnv env;
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(Key::screen, QStringLiteral("pointer"));
        RealApp app;
        QVERIFY(app.started());
        QVERIFY(dockedOn("Tamberk Tab", first));
        QVERIFY(hoverTab());
        QTRY_VERIFY_WITH_TIMEOUT(expanded(), 10000);
        QVERIFY(dockedOn("Tamberk Panel", first));
        QCOMPARE(tamberk({"--hide"}).code, 0);
        QVERIFY(dockedOn("Tamberk Tab", first));

        QVERIFY(X11Session::xdotool({"mousemove", "2400", "540", "key", "ctrl+alt+s"}));
        QTRY_VERIFY_WITH_TIMEOUT(expanded(), 10000);
        QVERIFY(dockedOn("Tamberk Panel", second));
        QVERIFY(X11Session::xdotool({"key", "ctrl+alt+s"}));
        QTRY_VERIFY_WITH_TIMEOUT(!expanded(), 10000);
        QVERIFY(dockedOn("Tamberk Tab", first));
    }

    // A screen chosen by name takes the tab and the panel; unplugged, they
    // fall back to the primary screen, and they return with it.
    void namedScreen() {
        TestEnv env;
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(Key::screen, QStringLiteral("output:HDMI-1"));
        RealApp app;
        QVERIFY(app.started());
        QVERIFY(dockedOn("Tamberk Tab", second));
        QVERIFY(hoverTab());
        QTRY_VERIFY_WITH_TIMEOUT(expanded(), 10000);
        QVERIFY(dockedOn("Tamberk Panel", second));
        QCOMPARE(tamberk({"--hide"}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!expanded(), 10000);
        QVERIFY(X11Session::xdotool({"mousemove", "700", "450"}));

        const X11Session& x = X11Session::instance();
        QVERIFY(x.deleteMonitor("HDMI-1"));
        QVERIFY(dockedOn("Tamberk Tab", first));
        QVERIFY(x.setMonitor("HDMI-1", second, false, false));
        QVERIFY(dockedOn("Tamberk Tab", second));
    }
};

TAMBERK_TEST(tst_Screens)
#include "tst_Screens.moc"
