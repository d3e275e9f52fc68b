#include "RealApp.h"
#include "TestEnv.h"
#include "X11Session.h"
#include "settings/Prefs.h"

#include <QRegularExpression>
#include <QTest>

using namespace realapp;

namespace {

// Where the mapped window of the application titled `title` is on the root,
// as the X server says; empty while there is none.
QRect place(const QString& title) {
    QByteArray ids;
    if (!X11Session::run(QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--name"),
                          QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')},
                         &ids))
        return {};
    for (const QByteArray& id : ids.trimmed().split('\n')) {
        QByteArray out;
        X11Session::run(QStringLiteral("xwininfo"),
                        {QStringLiteral("-id"), QString::fromLatin1(id)}, &out);
        const QString text = QString::fromLocal8Bit(out);
        if (!text.contains(QStringLiteral("IsViewable")))
            continue;
        auto number = [&](const char* label) {
            const QRegularExpression re(QString::fromLatin1(label) +
                                        QStringLiteral(":\\s+(-?\\d+)"));
            return re.match(text).captured(1).toInt();
        };
        return {number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"),
                number("Height")};
    }
    return {};
}

QRect tab() {
    return place(QStringLiteral("Tamberk Tab"));
}
QRect panel() {
    return place(QStringLiteral("Tamberk Panel"));
}

// The tab's and the panel's places docked right on each screen: the tab in
// the middle of the edge, the panel as wide as its widest card (0.92 of the
// screen plus 48) over the screen's height.
const QRect tabOnFirst(1422, 380, 18, 140);
const QRect panelOnFirst(67, 0, 1373, 900);
const QRect tabOnSecond(3342, 470, 18, 140);
const QRect panelOnSecond(1546, 0, 1814, 1080);

// Waits on the wall clock until `where` gives `want` and returns the last
// look: each look asks the X server, so QTRY's count of its own short waits
// falls far behind the time that has passed.
QRect settled(QRect (*where)(), const QRect& want) {
    QRect now;
    // The last look says what went wrong when it never came.
    static_cast<void>(QTest::qWaitFor(
        [&] {
            now = where();
            return now == want;
        },
        10000));
    return now;
}

bool started(RealApp& app) {
    app.start();
    return QTest::qWaitFor([] { return state().contains(QStringLiteral("scope")); }, 20000);
}

bool hoverTab(const QRect& where) {
    const QPoint c = where.center();
    return X11Session::xdotool({QStringLiteral("mousemove"), QString::number(c.x() - 200),
                                QString::number(c.y())}) &&
           X11Session::xdotool(
               {QStringLiteral("mousemove"), QString::number(c.x()), QString::number(c.y())});
}

} // namespace

// On a laptop's 1440 × 900 screen with a 1920 × 1080 monitor to its right.
class tst_Screens : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { X11_SESSION_REQUIRED(); }

    // "Screen with the pointer": the tab stays on the primary screen and a
    // hover opens the panel there; the shortcut opens it at the edge of the
    // screen under the pointer.
    void screenWithThePointer() {
        TestEnv env;
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(Key::screen, QStringLiteral("pointer"));
        RealApp app;
        QVERIFY(started(app));
        QCOMPARE(settled(tab, tabOnFirst), tabOnFirst);
        QVERIFY(hoverTab(tabOnFirst));
        QTRY_VERIFY_WITH_TIMEOUT(expanded(), 10000);
        QCOMPARE(settled(panel, panelOnFirst), panelOnFirst);
        QCOMPARE(tamberk({QStringLiteral("--hide")}).code, 0);
        QCOMPARE(settled(tab, tabOnFirst), tabOnFirst);

        QVERIFY(X11Session::xdotool({"mousemove", "2400", "540"}));
        QVERIFY(X11Session::xdotool({"key", "ctrl+alt+s"}));
        QTRY_VERIFY_WITH_TIMEOUT(expanded(), 10000);
        QCOMPARE(settled(panel, panelOnSecond), panelOnSecond);
        QVERIFY(X11Session::xdotool({"key", "ctrl+alt+s"}));
        QTRY_VERIFY_WITH_TIMEOUT(!expanded(), 10000);
        QCOMPARE(settled(tab, tabOnFirst), tabOnFirst);
    }

    // A screen chosen by name takes the tab and the panel. Unplugged, they
    // fall back to the primary screen, and they return with it.
    void namedScreen() {
        TestEnv env;
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(Key::screen, QStringLiteral("output:HDMI-1"));
        RealApp app;
        QVERIFY(started(app));
        QCOMPARE(settled(tab, tabOnSecond), tabOnSecond);
        QVERIFY(hoverTab(tabOnSecond));
        QTRY_VERIFY_WITH_TIMEOUT(expanded(), 10000);
        QCOMPARE(settled(panel, panelOnSecond), panelOnSecond);
        QCOMPARE(tamberk({QStringLiteral("--hide")}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!expanded(), 10000);
        QVERIFY(X11Session::xdotool({"mousemove", "700", "450"}));

        const X11Session& x = X11Session::instance();
        QVERIFY(x.deleteMonitor("HDMI-1"));
        QCOMPARE(settled(tab, tabOnFirst), tabOnFirst);
        QVERIFY(x.setMonitor("HDMI-1", QRect(1440, 0, 1920, 1080), false, false));
        QCOMPARE(settled(tab, tabOnSecond), tabOnSecond);
    }
};

TAMBERK_TEST(tst_Screens)
#include "tst_Screens.moc"
