#include "FakeShortcut.h"
#include "TestEnv.h"
#include "app/AppDelegate.h"
#include "platform/KeyCombo.h"
#include "platform/KeyFile.h"
#include "settings/Hotkey.h"
#include "settings/LoginItem.h"
#include "settings/Prefs.h"
#include "settings/SystemCapture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {
QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class tst_Prefs : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_env = std::make_unique<TestEnv>();
        // System-wide entries come from a folder of the test's own.
        m_systemDirs = m_env->mkdir(QStringLiteral("xdg"));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_systemDirs));
    }
    void cleanup() {
        qunsetenv("XDG_CONFIG_DIRS");
        m_env.reset();
    }

    // The state is read back from the entry in the user's autostart folder.
    void roundTrip() {
        const QString path = LoginItem::entryPath();
        QCOMPARE(path, m_env->configHome() + "/autostart/org.tamberk.Tamberk.desktop");
        QVERIFY(!LoginItem::isEnabled());
        QVERIFY(LoginItem::set(true));
        QVERIFY(LoginItem::isEnabled());
        QCOMPARE(readAll(path), LoginItem::entryText(LoginItem::program()));
        const KeyFile entry = KeyFile::load(path);
        QCOMPARE(entry.value("Desktop Entry", "Type"), QStringLiteral("Application"));
        QVERIFY(LoginItem::set(false));
        QVERIFY(!QFile::exists(path));
        QVERIFY(!LoginItem::isEnabled());
        QVERIFY(LoginItem::set(false));
    }

    void execQuoting_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("line");
        const auto row = [](const char* name, const char* program, const char* line) {
            QTest::newRow(name) << QString(program) << QString(line);
        };
        row("plain", "/usr/bin/tamberk", "Exec=/usr/bin/tamberk");
        row("space", "/opt/My Apps/tamberk", "Exec=\"/opt/My Apps/tamberk\"");
        row("dollar and quote", "/opt/a$b/t\"q", "Exec=\"/opt/a\\\\$b/t\\\\\"q\"");
        row("percent", "/opt/100%/tamberk", "Exec=/opt/100%%/tamberk");
    }
    // A launcher starts exactly the program, whatever its path holds.
    void execQuoting() {
        QFETCH(QString, program);
        QFETCH(QString, line);
        const QStringList lines = QString::fromUtf8(LoginItem::entryText(program)).split('\n');
        QVERIFY2(lines.contains(line), qPrintable(lines.join('|')));
    }

    // Switching on replaces an entry switched off, keeps the user's working one.
    void readBack_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("enabled");
        const QByteArray entry = "[Desktop Entry]\nType=Application\nExec=tamberk --mine\n";
        QTest::newRow("user's entry") << entry << true;
        QTest::newRow("hidden") << entry + "Hidden=true\n" << false;
        QTest::newRow("switched off") << entry + "X-GNOME-Autostart-enabled=false\n" << false;
        QTest::newRow("not an entry") << QByteArray("\x01\x02garbage") << false;
    }
    void readBack() {
        QFETCH(QByteArray, contents);
        QFETCH(bool, enabled);
        writeFile(LoginItem::entryPath(), contents);
        QCOMPARE(LoginItem::isEnabled(), enabled);
        QVERIFY(LoginItem::set(true));
        QVERIFY(LoginItem::isEnabled());
        QCOMPARE(readAll(LoginItem::entryPath()) == contents, enabled);
    }

    // A system-wide entry is hidden for this user: there is no file of ours to remove.
    void systemEntry() {
        writeFile(m_systemDirs + "/autostart/org.tamberk.Tamberk.desktop",
                  "[Desktop Entry]\nType=Application\nExec=tamberk\n");
        QVERIFY(LoginItem::isEnabled());
        QVERIFY(LoginItem::set(false));
        QVERIFY(!LoginItem::isEnabled());
        QVERIFY(QFile::exists(LoginItem::entryPath()));
        QVERIFY(LoginItem::set(true));
        QVERIFY(LoginItem::isEnabled());
    }

    // A write that cannot happen (a file where the folder goes) is logged and reported.
    void failureIsLogged() {
        writeFile(m_env->configHome() + "/autostart", "in the way");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Tamberk login item: "));
        QVERIFY(!LoginItem::set(true));
        QVERIFY(!LoginItem::isEnabled());
    }

    // Values are read per group, unescaped, ignoring key flags and translations.
    void reads() {
        TestEnv env;
        const QString path =
            writeFile(env.home() + QStringLiteral("/rc"),
                      "top=1\n# comment\n[A]\nkey = \\sspaced\\tand\\\\\n"
                      "key[de]=übersetzt\n[B][Sub]\nloc[$e]=$HOME/x\nkey=b\nkey=b2\n");
        const KeyFile file = KeyFile::load(path);
        QCOMPARE(file.value(QString(), "top"), QStringLiteral("1"));
        QCOMPARE(file.value("A", "key"), QStringLiteral(" spaced\tand\\"));
        QCOMPARE(file.value("B][Sub", "loc"), QStringLiteral("$HOME/x"));
        QCOMPARE(file.value("B][Sub", "key"), QStringLiteral("b2"));
        QVERIFY(!KeyFile::load(env.home() + QStringLiteral("/missing")).find("top"));
    }

    // Edits replace one line or append to its group, keeping the rest byte for byte.
    void editsKeepTheRest() {
        TestEnv env;
        const QByteArray original = "# mine\nx=1\n\n[A]\na=1\n\n[B]\nb=2\n";
        const QString path = writeFile(env.home() + QStringLiteral("/rc"), original);
        KeyFile file = KeyFile::load(path);
        file.set("A", "a", "two\nlines");
        file.set("A", "added", " lead");
        file.set("C", "c", "3");
        file.setAnywhere("b", "20", "A");
        file.setAnywhere("x", "10", "A");
        file.setAnywhere("fresh", "y", QString());
        QVERIFY(file.save(path));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("# mine\nx=10\nfresh=y\n\n[A]\na=two\\nlines\n"
                                             "added=\\slead\n\n[B]\nb=20\n\n[C]\nc=3\n"));
        QCOMPARE(KeyFile::load(path).value("A", "a"), QStringLiteral("two\nlines"));
    }

    // Fallbacks fit their rows and are read without creating a file; writes last.
    void defaultsAndWrites() {
        Prefs& prefs = Prefs::shared();
        for (const PrefKey& row : Prefs::table()) {
            QVERIFY2(row.fallback.typeId() == row.type, row.key);
            QCOMPARE(Prefs::parse(row, Prefs::format(row.fallback)), row.fallback);
            QCOMPARE(prefs.value(row.key), row.fallback);
        }
        QVERIFY(!QFile::exists(prefs.storePath()));
        prefs.set(Key::hotkey, QStringLiteral("4"));
        QCOMPARE(prefs.value(Key::hotkey), QVariant(qint64(4)));
        Prefs::resetSharedForTesting();
        QCOMPARE(Prefs::shared().value(Key::hotkey), QVariant(qint64(4)));
    }

    // Stored text of another type reads as false or 0, never half-parsed; parsing takes choices.
    void storedAndParsed_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("valid");
        const auto row = [](const char* line, const QVariant& stored, bool valid) {
            QTest::newRow(line) << QString(line) << stored << valid;
        };
        row("t2.reveal=yes", false, false);
        row("t2.width=wide", 0.0, false);
        row("t2.hotkey=2.7", qint64(2), false);
        row("t2.hotkey=-2", qint64(-2), true);
        row("t2.session=day, boot", QStringLiteral("boot"), false);
        row("t2.folder=\"/a, b\"", QStringLiteral("/a, b"), true);
        row("t2.scope=folder:/tmp/x", QStringLiteral("folder:/tmp/x"), true);
        row("t2.scope=folder:", QStringLiteral("folder:"), false);
    }
    void storedAndParsed() {
        QFETCH(QString, line);
        QFETCH(QVariant, stored);
        QFETCH(bool, valid);
        const QString key = line.section('=', 0, 0), text = line.section('=', 1);
        writeFile(Prefs::shared().storePath(), "[General]\n" + line.toUtf8() + '\n');
        QCOMPARE(Prefs::shared().value(key.toUtf8().constData()), stored);
        const auto parsed = Prefs::parse(*Prefs::find(key), text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(Prefs::format(*parsed), text);
    }

    // A chosen folder ("~" is home) is used while it exists, else the system's.
    void effectiveFolder() {
        Prefs& prefs = Prefs::shared();
        const QString system = SystemCapture::location();
        const QString shots = m_env->mkdir(QStringLiteral("Shots"));
        prefs.set(Key::folder, QStringLiteral("~/Shots"));
        QCOMPARE(prefs.folderPath(), shots);
        prefs.set(Key::folder, m_env->home() + QStringLiteral("/Gone"));
        QCOMPARE(prefs.folderPath(), system);
    }

    // The session starts at the later of the mode's base and the last reset.
    void sessionStart_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<double>("resetAgo"); // seconds before now; < 0: never
        QTest::addColumn<QString>("expected");
        QTest::newRow("day, reset an hour ago") << "day" << 3600.0 << "reset";
        QTest::newRow("day, reset two days ago") << "day" << 172800.0 << "dayAgo";
        QTest::newRow("unknown mode is boot") << "weekly" << -1.0 << "boot";
        QTest::newRow("today") << "today" << -1.0 << "midnight";
    }
    void sessionStart() {
        QFETCH(QString, mode);
        QFETCH(double, resetAgo);
        QFETCH(QString, expected);
        Prefs& prefs = Prefs::shared();
        const double midnight =
            QDateTime::currentDateTime().date().startOfDay().toMSecsSinceEpoch() / 1000.0;
        const double now =
            std::max(midnight + 12 * 3600, QDateTime::currentMSecsSinceEpoch() / 1000.0);
        prefs.set(Key::session, mode);
        if (resetAgo >= 0)
            prefs.set(Key::sessionReset, now - resetAgo);
        // The boot as the uptime counts it, not as the store reads it.
        QFile uptime(QStringLiteral("/proc/uptime"));
        QVERIFY(uptime.open(QIODevice::ReadOnly));
        const double boot = QDateTime::currentMSecsSinceEpoch() / 1000.0 -
                            uptime.readAll().split(' ')[0].toDouble();
        const QHash<QString, double> bases{{QStringLiteral("reset"), now - resetAgo},
                                           {QStringLiteral("dayAgo"), now - 86400.0},
                                           {QStringLiteral("boot"), boot},
                                           {QStringLiteral("midnight"), midnight}};
        QVERIFY2(std::abs(prefs.sessionStart(now) - bases.value(expected)) < 2,
                 qPrintable(QString::number(prefs.sessionStart(now) - bases.value(expected))));
    }

    // Other programs' edits (also by rename) are announced; our own writes once.
    void externalChangesAreAnnounced() {
        Prefs& prefs = Prefs::shared();
        QSignalSpy spy(&prefs, &Prefs::changed);
        writeFile(prefs.storePath(), "[General]\nt2.side=left\nt2.width=400\n");
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 10000);
        QCOMPARE(prefs.number(Key::width), 400.0);
        const QByteArray path = QFile::encodeName(prefs.storePath());
        writeFile(QFile::decodeName(path + ".new"), "[General]\nt2.side=right\n");
        QCOMPARE(::rename(path + ".new", path), 0);
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 10000);
        QCOMPARE(prefs.string(Key::side), QStringLiteral("right"));
        QCOMPARE(prefs.value(Key::width), Prefs::find(QLatin1String(Key::width))->fallback);
        prefs.set(Key::side, QStringLiteral("left"));
        QVERIFY(QMetaObject::invokeMethod(prefs.findChild<QFileSystemWatcher*>(), "fileChanged",
                                          Q_ARG(QString, prefs.storePath())));
        QCOMPARE(spy.count(), 3);
    }

    // Only the first launch migrates: "leftSide", digits-only cache entries (no links followed).
    void firstLaunchMigrates() {
        const QString caches = AppDelegate::cachesPath();
        for (const QString& name :
             QStringLiteral("123|007/inner/file.bin|0|\u0661\u0662|12a|a1|1.5|Drag/00000001")
                 .split(QLatin1Char('|')))
            writeFile(caches + QLatin1Char('/') + name);
        const QString outside = m_env->mkdir(QStringLiteral("outside"));
        writeFile(outside + QStringLiteral("/keep.png"));
        QVERIFY(QFile::link(outside, caches + QStringLiteral("/42")));

        Prefs& prefs = Prefs::shared();
        prefs.set(Key::leftSide, true);
        QCOMPARE(AppDelegate::migrateFromV1().result(), 5);
        QCOMPARE(prefs.string(Key::side), QStringLiteral("left"));
        QStringList left =
            QDir(caches).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
        left.sort();
        QCOMPARE(left, (QStringList{QStringLiteral("1.5"), QStringLiteral("12a"),
                                    QStringLiteral("Drag"), QStringLiteral("a1")}));
        QVERIFY(QFile::exists(outside + QStringLiteral("/keep.png")));
        QVERIFY(QFile::exists(caches + QStringLiteral("/Drag/00000001")));

        prefs.set(Key::launched, true);
        prefs.set(Key::side, QStringLiteral("right"));
        writeFile(caches + QStringLiteral("/123"));
        QCOMPARE(AppDelegate::migrateFromV1().result(), 0);
        QCOMPARE(prefs.string(Key::side), QStringLiteral("right"));
        QVERIFY(QFile::exists(caches + QStringLiteral("/123")));
    }

    // Presets name keys the grab and menus understand; a damaged index means the default.
    void presets() {
        const qint64 fallback = Prefs::find(QLatin1String(Key::hotkey))->fallback.toLongLong();
        const qint64 size = Hotkey::presets().size();
        for (qint64 index : {qint64(-1), size})
            QCOMPARE(&Hotkey::preset(index), &Hotkey::preset(fallback));
        QVERIFY(Hotkey::preset(0).keys.isEmpty() && Hotkey::preset(0).sequence().isEmpty());
        QVERIFY(!keyComboFrom(QKeySequence()));
        for (qint64 i = 1; i < size; ++i) {
            const HotkeyPreset& p = Hotkey::preset(i);
            QVERIFY2(parseKeyCombo(p.keys), qPrintable(p.keys));
            QCOMPARE(keyComboFrom(p.sequence()), parseKeyCombo(p.keys));
        }
    }

    // At most one shortcut is held; "None" grabs nothing.
    void registration_data() {
        QTest::addColumn<QList<qint64>>("indices");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("none") << QList<qint64>{0} << QStringList{};
        QTest::newRow("out of range") << QList<qint64>{9} << QStringList{"grab Ctrl+Alt+S"};
        QTest::newRow("switching") << QList<qint64>{2, 0, 3}
                                   << QStringList{"grab Super+Alt+R", "ungrab", "grab Ctrl+Alt+R"};
    }
    void registration() {
        QFETCH(QList<qint64>, indices);
        QFETCH(QStringList, log);
        FakeShortcut shortcut;
        Hotkey hotkey(&shortcut);
        for (qint64 index : indices)
            hotkey.registerPreset(index);
        QCOMPARE(shortcut.log, log);
    }

    // Keys held elsewhere are reported until free ones are chosen; no X11 is no conflict.
    void inUseAndPresses() {
        FakeShortcut shortcut;
        shortcut.taken = {Hotkey::preset(3).keys};
        Hotkey hotkey(&shortcut);
        QSignalSpy changed(&hotkey, &Hotkey::stateChanged);
        QSignalSpy activated(&hotkey, &Hotkey::activated);
        hotkey.registerPreset(3);
        QVERIFY(hotkey.inUse());
        QVERIFY(changed.count() > 0);
        hotkey.registerPreset(1);
        QVERIFY(!hotkey.inUse());
        shortcut.press(123456);
        QCOMPARE(activated.count(), 1);
        QCOMPARE(activated.first().first().toUInt(), 123456u);
        GlobalShortcut unsupported;
        Hotkey offX11(&unsupported);
        offX11.registerPreset(1);
        QVERIFY(!offX11.inUse());
    }

private:
    std::unique_ptr<TestEnv> m_env;
    QString m_systemDirs;
};

TAMBERK_TEST(tst_Prefs)
#include "tst_Prefs.moc"
