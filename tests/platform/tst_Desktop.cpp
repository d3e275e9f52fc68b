#include "FakePortal.h"
#include "FakeShortcut.h"
#include "FakeTarget.h"
#include "PrivateBus.h"
#include "TestEnv.h"
#include "platform/FileManager.h"
#include "platform/KeyCombo.h"
#include "platform/PortalShortcut.h"
#include "platform/RemoteControl.h"
#include "platform/TrayHost.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QtConcurrent>

namespace {

struct Forwarded {
    int code = -1;
    QString message;
};

// Forwards as `tamberk --toggle` does, from another thread so that the service can answer.
Forwarded forward(RemoteCommand command, const QDBusConnection& bus) {
    QFuture<Forwarded> result = QtConcurrent::run([command, bus] {
        QString message;
        QTextStream err(&message);
        const int code = RemoteControl::forward(command, err, bus);
        err.flush();
        return Forwarded{code, message};
    });
    return QTest::qWaitFor([&] { return result.isFinished(); }, 10000) ? result.result()
                                                                       : Forwarded{};
}

// Plays the tray's StatusNotifierWatcher on the private bus.
class FakeWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered MEMBER host)
public:
    bool host = false;

signals:
    void StatusNotifierHostRegistered();
};

// Answers ShowItems like a file manager and remembers what it was asked.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList uris;
    QString startupId;
public slots:
    void ShowItems(const QStringList& items, const QString& id) {
        uris = items;
        startupId = id;
    }
};

using Mods = Qt::KeyboardModifiers;
using ModifierKeysyms = std::array<QList<quint32>, 8>;
constexpr quint32 kAltL = 0xffe9, kMetaL = 0xffe7, kSuperL = 0xffeb, kHyperL = 0xffed;
constexpr quint32 kNumLock = 0xff7f, kScrollLock = 0xff14;
} // namespace

class tst_Desktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (!m_bus.isRunning())
            QFAIL("dbus-daemon did not start");
        m_server = m_bus.connect(QStringLiteral("server"));
        m_client = m_bus.connect(QStringLiteral("client"));
        QVERIFY(m_server.isConnected() && m_client.isConnected());
    }

    // Each option reaches the instance with its focus token: startup id, else activation token.
    void commands_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("call");
        QTest::addColumn<bool>("hasText");
        QTest::addColumn<int>("code");
        const auto row = [](const char* option, const char* call, bool hasText, int code) {
            QTest::newRow(QByteArray(option).append(hasText ? "" : " without text").constData())
                << QString(option) << QString(call) << hasText << code;
        };
        row("--toggle", "toggle:launcher-42", true, 0);
        row("--show", "show:wayland-token", true, 0);
        row("--hide", "hide", true, 0);
        row("--quit", "quit", true, 0);
        row("--copy-text", "copyText", true, 0);
        row("--copy-text", "copyText", false, 1);
    }
    void commands() {
        QFETCH(QString, option);
        QFETCH(QString, call);
        QFETCH(bool, hasText);
        QFETCH(int, code);
        FakeTarget target;
        target.hasText = hasText;
        RemoteControl control(target);
        QCOMPARE(control.start(m_server), RemoteControl::Start::registered);
        qputenv("XDG_ACTIVATION_TOKEN", "wayland-token");
        if (option != "--show")
            qputenv("DESKTOP_STARTUP_ID", "launcher-42");
        const auto command = RemoteControl::commandFrom({QStringLiteral("tamberk"), option});
        QVERIFY(command);
        const Forwarded result = forward(*command, m_client);
        qunsetenv("DESKTOP_STARTUP_ID");
        qunsetenv("XDG_ACTIVATION_TOKEN");
        QCOMPARE(result.code, code);
        QCOMPARE(result.message.isEmpty(), code == 0);
        QTRY_COMPARE(target.calls, QStringList{call});
    }

    // Without an instance a command fails; a second one leaves the first working.
    void oneInstance() {
        const Forwarded none = forward(RemoteCommand::toggle, m_client);
        QCOMPARE(none.code, 1);
        QVERIFY(!none.message.isEmpty());
        QVERIFY(!RemoteControl::commandFrom({QStringLiteral("tamberk")}));
        QVERIFY(!RemoteControl::commandFrom({QStringLiteral("tamberk"), QStringLiteral("-x")}));
        FakeTarget first, second;
        RemoteControl one(first);
        QCOMPARE(one.start(m_server), RemoteControl::Start::registered);
        RemoteControl two(second);
        QCOMPARE(two.start(m_client), RemoteControl::Start::alreadyRunning);
        QCOMPARE(forward(RemoteCommand::hide, m_client).code, 0);
        QTRY_COMPARE(first.calls, QStringList{QStringLiteral("hide")});
        QVERIFY(second.calls.isEmpty());
    }

    // Version and State answer with the types a status bar script expects.
    void versionAndState() {
        FakeTarget target;
        RemoteControl control(target);
        QCOMPARE(control.start(m_server), RemoteControl::Start::registered);
        const auto call = [this](const char* method) {
            return m_client.asyncCall(QDBusMessage::createMethodCall(
                RemoteControl::serviceName, RemoteControl::objectPath, RemoteControl::interfaceName,
                method));
        };
        QDBusPendingReply<QString> version = call("Version");
        QDBusPendingReply<QVariantMap> state = call("State");
        QTRY_VERIFY(version.isFinished() && state.isFinished());
        QVERIFY(!version.value().isEmpty());
        QCOMPARE(state.reply().signature(), QStringLiteral("a{sv}"));
        QCOMPARE(state.value().value(QStringLiteral("unseen")).toInt(), 3);
        QCOMPARE(state.value().value(QStringLiteral("expanded")).toBool(), true);
    }

    // A watcher or host coming up late still makes the tray available (up: tst_X11Services).
    void appears_data() {
        QTest::addColumn<bool>("watcherFirst");
        QTest::newRow("host registers later") << true;
        QTest::newRow("watcher starts later") << false;
    }
    void appears() {
        QFETCH(bool, watcherFirst);
        PrivateBus bus;
        QVERIFY(bus.isRunning());
        QDBusConnection watcherBus = bus.connect(QStringLiteral("watcher"));
        FakeWatcher watcher;
        watcher.host = !watcherFirst;
        const auto publish = [&] {
            QVERIFY(watcherBus.registerObject(QLatin1String(TrayHost::watcherPath), &watcher,
                                              QDBusConnection::ExportAllContents));
            QVERIFY(watcherBus.registerService(QLatin1String(TrayHost::watcherService)));
        };
        if (watcherFirst)
            publish();
        TrayHost tray(bus.connect(QStringLiteral("app")));
        QSignalSpy available(&tray, &TrayHost::available);
        tray.start();
        if (!watcherFirst) {
            publish();
        } else {
            QVERIFY(!tray.isAvailable());
            watcher.host = true;
            emit watcher.StatusNotifierHostRegistered();
        }
        QTRY_COMPARE(available.count(), 1);
        QCOMPARE(tray.kind(), TrayHost::Kind::statusNotifier);
    }

    // Without a file manager the first file's folder opens; one gets every file with the id.
    void reveal() {
        QStringList opened;
        bool opens = true;
        int failures = 0;
        const auto openFolder = [&](const QString& folder, const std::function<void()>&) {
            opened << folder;
            return opens;
        };
        const auto failed = [&] { ++failures; };
        const QDBusConnection none(QStringLiteral("not connected"));
        FileManager::reveal({}, {}, none, openFolder, failed);
        FileManager::reveal({"/srv/a/x.png"}, {}, none, openFolder, failed);
        QCOMPARE(opened, QStringList{"/srv/a"});
        opens = false;
        FileManager::reveal({"/srv/a/x.png"}, {}, none, openFolder, failed);
        QCOMPARE(failures, 1);

        PrivateBus bus;
        QVERIFY2(bus.isRunning(), "dbus-daemon comes from scripts/install-deps");
        const QDBusConnection client = bus.connect(QStringLiteral("fm-client"));
        const QStringList paths{"/tmp/shots/my shot.png", "/tmp/shots/Sub/b.png"};
        opened.clear();
        opens = true;
        FileManager::reveal(paths, "id-1", client, openFolder, failed);
        QTRY_COMPARE(opened, QStringList{"/tmp/shots"});
        QDBusConnection service = bus.connect(QStringLiteral("fm-service"));
        FakeFileManager fake;
        QVERIFY(service.registerObject("/org/freedesktop/FileManager1", &fake,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService("org.freedesktop.FileManager1"));
        opened.clear();
        FileManager::reveal(paths, "id-2", client, openFolder, failed);
        QTRY_COMPARE(fake.uris, (QStringList{"file:///tmp/shots/my%20shot.png",
                                             "file:///tmp/shots/Sub/b.png"}));
        QCOMPARE(fake.startupId, QStringLiteral("id-2"));
        QVERIFY(opened.isEmpty());
        QCOMPARE(failures, 1);
    }

    // The opener says "no application" only by its exit status, reported later.
    void openReportsTheOpenersFailure_data() {
        QTest::addColumn<QByteArray>("script"); // empty: no opener installed
        QTest::addColumn<bool>("fails");
        QTest::newRow("opened") << QByteArray("exit 0") << false;
        QTest::newRow("no application") << QByteArray("exit 3") << true;
        QTest::newRow("crashed") << QByteArray("kill -SEGV $$") << true;
        QTest::newRow("not installed") << QByteArray() << true;
    }
    void openReportsTheOpenersFailure() {
        QFETCH(QByteArray, script);
        QFETCH(bool, fails);
        QTemporaryDir bin;
        if (!script.isEmpty())
            QFile::setPermissions(writeFile(bin.filePath("xdg-open"), "#!/bin/sh\n" + script),
                                  QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        // The shell and kill stay reachable; no other opener is.
        qputenv("PATH", bin.path().toLocal8Bit() + (script.isEmpty() ? "" : ":/bin:/usr/bin"));
        const QStringList paths{"/s/a.png", "/s/b.png"};
        QStringList failures;
        const int opened = FileManager::open(paths, [&](const QString& p) { failures << p; });
        qputenv("PATH", path);
        QCOMPARE(opened, script.isEmpty() ? 0 : 2);
        // Every opener has ended and been handled once none is left.
        QTRY_VERIFY(QCoreApplication::instance()->findChildren<QProcess*>().isEmpty());
        failures.sort();
        QCOMPARE(failures, fails ? paths : QStringList());
    }

    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<quint32>("keysym");
        QTest::addColumn<Mods>("modifiers");
        const Mods ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
        QTest::newRow("Ctrl+Alt+S") << "Ctrl+Alt+S" << true << 0x73u << ctrlAlt;
        QTest::newRow("Shift+Super+6")
            << "Shift+Super+6" << true << 0x36u << Mods(Qt::ShiftModifier | Qt::MetaModifier);
        QTest::newRow("lower case, F key") << "control+alt+f5" << true << 0xffc2u << ctrlAlt;
        QTest::newRow("plus as the key") << "Ctrl++" << true << 0x2bu << Mods(Qt::ControlModifier);
        QTest::newRow("key alone") << "Print" << true << 0xff61u << Mods();
        QTest::newRow("no key") << "Ctrl+Alt" << false << 0u << Mods();
        QTest::newRow("unknown modifier") << "Hyper+S" << false << 0u << Mods();
        QTest::newRow("unknown key") << "Ctrl+Alt+Nope" << false << 0u << Mods();
        QTest::newRow("modifier after key") << "S+Ctrl" << false << 0u << Mods();
    }
    // Anything but a well-formed shortcut is refused rather than grabbed half-right.
    void parse() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto combo = parseKeyCombo(text);
        QCOMPARE(combo.has_value(), valid);
        if (!valid)
            return;
        QFETCH(quint32, keysym);
        QFETCH(Mods, modifiers);
        QCOMPARE(combo->keysym, keysym);
        QCOMPARE(combo->modifiers, modifiers);
    }

    // Each mask is the bit of the row holding its key, wherever that is; Super before Meta.
    void masks() {
        const QList<quint32> keys{kAltL, kSuperL, kNumLock, kScrollLock};
        for (int shift = 0; shift < 5; ++shift) {
            const auto row = [shift](int i) { return 3 + (i + shift) % 5; };
            ModifierKeysyms mapping;
            for (int i = 0; i < keys.size(); ++i)
                mapping[row(i)] = {keys[i]};
            mapping[row(0)] << kMetaL;
            mapping[row(1)] << kHyperL;
            const ModifierMasks masks = modifierMasksFrom(mapping);
            const QList<quint16> found{masks.alt, masks.super, masks.numLock, masks.scrollLock};
            for (int i = 0; i < keys.size(); ++i)
                QCOMPARE(found[i], quint16(1 << row(i)));
        }
        ModifierKeysyms metaOnly;
        metaOnly[5] = {kMetaL};
        QCOMPARE(modifierMasksFrom(metaOnly).super, quint16(1 << 5));
        QCOMPARE(modifierMasksFrom({}), ModifierMasks{});
    }

    // A press matches whatever locks are on.
    void lockVariants() {
        ModifierMasks masks;
        const quint16 ctrlAlt = x11Modifiers(Qt::ControlModifier | Qt::AltModifier, masks);
        QCOMPARE(ctrlAlt, quint16(0x0c));
        QCOMPARE(::lockVariants(ctrlAlt, masks), (QList<quint16>{0x0c, 0x0e, 0x1c, 0x1e}));
        masks.scrollLock = 0x80;
        const QList<quint16> all = ::lockVariants(ctrlAlt, masks);
        QCOMPARE(all.size(), 8);
        QCOMPARE(all.first(), ctrlAlt);
        for (quint16 state : all)
            QCOMPARE(withoutLocks(state, masks), ctrlAlt);
        QCOMPARE(x11Modifiers(Qt::ShiftModifier | Qt::MetaModifier, masks), quint16(0x41));
    }

    // Triggers in the freedesktop format: modifiers in its order, xkbcommon key names.
    void triggers() {
        QCOMPARE(PortalShortcut::trigger(QStringLiteral("Super+Alt+R")), "ALT+LOGO+r");
        QCOMPARE(PortalShortcut::trigger(QStringLiteral("Shift+Super+6")), "SHIFT+LOGO+6");
        QVERIFY(PortalShortcut::trigger(QStringLiteral("Ctrl+Alt")).isEmpty());
    }

    // A session per preset, the desktop's trigger shown, the token's X time; v2 configures.
    void bindsThroughThePortal_data() {
        QTest::addColumn<uint>("version");
        QTest::newRow("version 1") << 1u;
        QTest::newRow("version 2") << 2u;
    }
    void bindsThroughThePortal() {
        QFETCH(uint, version);
        PrivateBus bus;
        QVERIFY(bus.isRunning());
        FakePortal portal(bus.connect(QStringLiteral("desktop")), version);
        QVERIFY(portal.registered());
        FakeShortcut grab;
        PortalShortcut shortcut(&grab, bus.connect(QStringLiteral("app")));
        shortcut.grab(QStringLiteral("Ctrl+Alt+S"));
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::grabbed, 5000);
        QCOMPARE(portal.calls, QStringList({QStringLiteral("CreateSession"),
                                            QStringLiteral("BindShortcuts toggle CTRL+ALT+s "
                                                           "\"Open or close Tamberk\"")}));
        QCOMPARE(shortcut.backend(), PortalShortcut::Backend::portal);
        QCOMPARE(shortcut.triggerDescription(), QStringLiteral("Super+K"));
        QCOMPARE(shortcut.canConfigure(), version >= 2);
        QVERIFY(grab.log.isEmpty());
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        portal.activate(QStringLiteral("/elsewhere"), QStringLiteral("toggle"), {});
        portal.activate(portal.session, QStringLiteral("toggle"),
                        QStringLiteral("launcher_TIME4321"));
        QVERIFY(activated.wait(5000));
        QCOMPARE(activated.size(), 1);
        QCOMPARE(activated.constFirst().constFirst().toUInt(), 4321u);
        // The user picks another trigger in the desktop's settings.
        QSignalSpy described(&shortcut, &PortalShortcut::descriptionChanged);
        portal.reassign(QStringLiteral("Ctrl+F9"));
        QVERIFY(described.wait(5000));
        QCOMPARE(shortcut.triggerDescription(), QStringLiteral("Ctrl+F9"));

        shortcut.configure();
        // Another preset: a new session with the new preferred trigger.
        const QString first = portal.session;
        shortcut.grab(QStringLiteral("Ctrl+Alt+Space"));
        QStringList expected{QStringLiteral("Close ") + first, QStringLiteral("CreateSession"),
                             QStringLiteral("BindShortcuts toggle CTRL+ALT+space \"Open or close "
                                            "Tamberk\"")};
        if (version >= 2)
            expected.prepend(QStringLiteral("ConfigureShortcuts"));
        QTRY_COMPARE_WITH_TIMEOUT(portal.calls.mid(2), expected, 5000);
        QVERIFY(portal.session != first);
    }

    // Without GlobalShortcuts the X11 grab's status and presses pass through.
    void fallsBackToTheGrab_data() {
        QTest::addColumn<bool>("portalRuns");
        QTest::newRow("no portal") << false;
        QTest::newRow("portal without shortcuts") << true;
    }
    void fallsBackToTheGrab() {
        QFETCH(bool, portalRuns);
        PrivateBus bus;
        QVERIFY(bus.isRunning());
        std::unique_ptr<FakePortal> portal;
        if (portalRuns)
            portal = std::make_unique<FakePortal>(bus.connect(QStringLiteral("desktop")), 0);
        FakeShortcut grab;
        PortalShortcut shortcut(&grab, bus.connect(QStringLiteral("app")));
        shortcut.grab(QStringLiteral("Ctrl+Alt+R"));
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::grabbed, 5000);
        QCOMPARE(shortcut.backend(), PortalShortcut::Backend::x11);
        QCOMPARE(grab.log, QStringList{QStringLiteral("grab Ctrl+Alt+R")});
        QVERIFY(!shortcut.canConfigure());
        QVERIFY(shortcut.triggerDescription().isEmpty());
        if (portal)
            QVERIFY(portal->calls.isEmpty());
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        grab.press(77);
        QCOMPARE(activated.size(), 1);
        shortcut.ungrab();
        QCOMPARE(grab.log.constLast(), QStringLiteral("ungrab"));
        QCOMPARE(shortcut.status(), GlobalShortcut::Status::none);
    }

private:
    PrivateBus m_bus;
    QDBusConnection m_server{QString()};
    QDBusConnection m_client{QString()};
};

TAMBERK_TEST(tst_Desktop)
#include "tst_Desktop.moc"
