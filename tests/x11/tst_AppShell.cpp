#include "FakePortal.h"
#include "RealApp.h"
#include "TestEnv.h"
#include "X11Session.h"
#include "content/TextIndex.h"
#include "settings/Prefs.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace realapp;

namespace {

// `names` real-size screenshots of text: a few pictures linked under many names.
bool fillWithScreenshots(const QString& dir, int pictures, int names) {
    for (int i = 0; i < pictures; ++i) {
        QImage image(1920, 1080, QImage::Format_RGB32);
        image.fill(QColor(230, 232, 236));
        QPainter p(&image);
        p.setFont(QFont(QStringLiteral("DejaVu Sans"), 14));
        for (int line = 0; line < 40; ++line)
            p.drawText(80, 40 + line * 25,
                       QStringLiteral("Picture %1, line %2: quarterly figures").arg(i).arg(line));
        p.end();
        if (!image.save(dir + QStringLiteral("/picture%1.png").arg(i)))
            return false;
    }
    for (int n = 0; n < names; ++n) {
        const QString from = dir + QStringLiteral("/picture%1.png").arg(n % pictures);
        const QString to = dir + QStringLiteral("/Screenshot %1.png").arg(n);
        if (::link(QFile::encodeName(from), QFile::encodeName(to)) != 0)
            return false;
    }
    return true;
}

/// Listens on the session's accessibility bus as a screen reader does.
class Reader : public QObject {
    Q_OBJECT
public:
    /// Asks applications for their state changes; false without a11y bus.
    bool listen() {
        const QDBusReply<QString> address =
            QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
                "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress"));
        m_bus = QDBusConnection::connectToBus(address.value(), QStringLiteral("a11y"));
        QDBusMessage call =
            QDBusMessage::createMethodCall("org.a11y.atspi.Registry", "/org/a11y/atspi/registry",
                                           "org.a11y.atspi.Registry", "RegisterEvent");
        call << QStringLiteral("object:state-changed") << QStringList() << QString();
        return address.isValid() && m_bus.call(call).type() == QDBusMessage::ReplyMessage &&
               m_bus.connect({}, {}, "org.a11y.atspi.Event.Object", "StateChanged", this,
                             SLOT(stateChanged(QDBusMessage)));
    }
    /// The states turned on so far, as "name: state".
    QStringList heard() {
        QStringList out;
        for (const QDBusMessage& change : std::as_const(m_changes)) {
            QDBusMessage get = QDBusMessage::createMethodCall(
                change.service(), change.path(), "org.freedesktop.DBus.Properties", "Get");
            get << QStringLiteral("org.a11y.atspi.Accessible") << QStringLiteral("Name");
            const QVariant name = m_bus.call(get, QDBus::Block, 5000).arguments().value(0);
            out << name.value<QDBusVariant>().variant().toString() + ": " +
                       change.arguments().value(0).toString();
        }
        return out;
    }

private slots:
    void stateChanged(const QDBusMessage& message) {
        if (message.arguments().value(1).toInt() != 0)
            m_changes << message;
    }

private:
    QDBusConnection m_bus{QStringLiteral("none")};
    QList<QDBusMessage> m_changes;
};

bool opens(bool open) {
    return QTest::qWaitFor([open] { return expanded() == open && panelMapped() == open; }, 20000);
}

} // namespace

class tst_AppShell : public QObject {
    Q_OBJECT
private slots:
    // In a Wayland session the portal binds the shortcut with the preset as
    // trigger; its activation opens the panel with the keyboard, and
    // tamberk-cli says the portal is in use.
    void shortcutThroughThePortal() {
        TestEnv env;
        Prefs::shared().set(Key::launched, true);
        FakePortal portal(QDBusConnection::sessionBus(), 2);
        QVERIFY(portal.registered());
        RealApp app;
        app.env.insert("XDG_SESSION_TYPE", "wayland");
        app.env.insert("QT_QPA_PLATFORM", "xcb");
        QVERIFY(app.started());
        QTRY_COMPARE_WITH_TIMEOUT(state().value("shortcut").toString(), "portal", 20000);
        QTRY_COMPARE_WITH_TIMEOUT(
            portal.calls.value(1),
            QStringLiteral("BindShortcuts toggle CTRL+ALT+s \"Open or close Tamberk\""), 10000);

        portal.activate(portal.session, QStringLiteral("toggle"), QStringLiteral("x_TIME0"));
        QVERIFY(opens(true));
        const X11Session& x = X11Session::instance();
        quint32 panel = 0;
        QTRY_VERIFY_WITH_TIMEOUT(place("Tamberk Panel", &panel).isValid() &&
                                     x.property32(x.root(), "_NET_ACTIVE_WINDOW").value(0) == panel,
                                 20000);

        QByteArray system;
        QCOMPARE(X11Session::run(TAMBERK_CLI, {"system"}, &system), 0);
        QVERIFY(system.contains("shortcut: portal\n"));

        portal.activate(portal.session, QStringLiteral("toggle"), {});
        QTRY_VERIFY_WITH_TIMEOUT(!expanded(), 10000);
    }

    // Quitting while thumbnails decode and text is read ends the process
    // normally every time, the text index whole or not written. A second
    // plain start shows the running one's panel; once it quit, a command
    // says it is not running.
    void quitUnderLoad() {
        TestEnv env;
        QTemporaryDir shots;
        QVERIFY(fillWithScreenshots(shots.path(), 6, 240));
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(Key::folder, shots.path());
        Prefs::shared().set(Key::scope, QStringLiteral("all"));
        Prefs::shared().set(Key::ocr, true);
        Prefs::shared().set(Key::syncSystem, false);
        for (int run = 0; run < 3; ++run) {
            RealApp app;
            QVERIFY(app.started());
            QTRY_VERIFY_WITH_TIMEOUT(state().value("shown").toInt() > 200, 20000);
            QCOMPARE(tamberk({}).code, 0);
            // The start-up's own decoding and reading make this slow under the sanitizers.
            QVERIFY(opens(true));
            // To the end of the roll and back: every cell passed asks for its image.
            QVERIFY(X11Session::xdotool({"key", "End", "Home", "End"}));
            QCOMPARE(tamberk({"--quit"}).code, 0);
            QTRY_VERIFY_WITH_TIMEOUT(!app.running(), 30000);
            QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
            QCOMPARE(app.process().exitCode(), 0);
            QFile index(TextIndex::defaultFile());
            if (index.open(QIODevice::ReadOnly))
                QVERIFY(TextIndex::decode(index.readAll()).has_value());
        }
        const Run gone = tamberk({"--toggle"});
        QCOMPARE(gone.code, 1);
        QVERIFY2(gone.err.contains("Tamberk is not running."), gone.err.constData());
    }

    // A screen reader hears over AT-SPI the frame taking the keyboard, by its
    // file name, and a toast as it shows (what views tell is tst_Access's).
    void panelOverAtSpi() {
        TestEnv env;
        Reader reader;
        if (!reader.listen())
            QSKIP("no accessibility bus in this session (at-spi2-core is not installed)");
        QTemporaryDir shots;
        for (int i = 0; i < 3; ++i)
            writeFile(shots.filePath(QStringLiteral("Screenshot %1.png").arg(i)),
                      pngBytes(640, 400));
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(Key::folder, shots.path());
        Prefs::shared().set(Key::scope, QStringLiteral("all"));
        Prefs::shared().set(Key::syncSystem, false);
        RealApp app;
        app.env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        QVERIFY(app.started());
        QTRY_COMPARE_WITH_TIMEOUT(state().value("shown").toInt(), 3, 20000);
        QCOMPARE(tamberk({"--show"}).code, 0);
        QVERIFY(QTest::qWaitFor([] { return expanded() && panelMapped(); }, 20000));
        QVERIFY(X11Session::xdotool({"key", "Home"}));
        const QRegularExpression frameFocused("^Screenshot \\d.*: focused$");
        QTRY_VERIFY_WITH_TIMEOUT(!reader.heard().filter(frameFocused).isEmpty(), 10000);
        QVERIFY(X11Session::xdotool({"key", "ctrl+c"}));
        QTRY_VERIFY_WITH_TIMEOUT(reader.heard().contains("Copied: showing"), 10000);
    }
};

TAMBERK_TEST(tst_AppShell)
#include "tst_AppShell.moc"
