#include "TestEnv.h"
#include "settings/Prefs.h"
#include "settings/SystemCapture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <cstdio>

namespace {

// Writes the store's file as another program would, replacing it by rename.
void replaceStore(const QString& text) {
    const QString path = Prefs::shared().storePath();
    const QString temp = path + QStringLiteral(".new");
    writeFile(temp, text.toUtf8());
    QVERIFY(::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) ==
            0);
}

} // namespace

class tst_Prefs : public QObject {
    Q_OBJECT
private slots:
    // A fresh store reads exactly the registered defaults and writes nothing.
    void freshStoreReadsDefaults() {
        TestEnv env;
        Prefs& prefs = Prefs::shared();
        QCOMPARE(prefs.number(Key::width), 268.0);
        QCOMPARE(prefs.number(Key::thumb), 224.0);
        QCOMPARE(prefs.integer(Key::hotkey), 1);
        QCOMPARE(prefs.string(Key::scope), QStringLiteral("session"));
        QCOMPARE(prefs.string(Key::side), QStringLiteral("right"));
        QCOMPARE(prefs.string(Key::session), QStringLiteral("boot"));
        QCOMPARE(prefs.string(Key::doubleClick), QStringLiteral("open"));
        QCOMPARE(prefs.string(Key::folder), QString());
        QCOMPARE(prefs.number(Key::sessionReset), 0.0);
        for (const char* key :
             {Key::reveal, Key::peek, Key::onlyShots, Key::includeSub, Key::captions,
              Key::confirmDelete, Key::ocr, Key::showTab, Key::hideFromCapture, Key::syncSystem})
            QVERIFY2(prefs.boolean(key), key);
        for (const char* key : {Key::pinned, Key::autoCopy, Key::launched})
            QVERIFY2(!prefs.boolean(key), key);
        for (const PrefKey& row : Prefs::table()) {
            QCOMPARE(prefs.value(row.key), row.fallback);
            QVERIFY(!prefs.isStored(row.key));
        }
        QCOMPARE(Prefs::table().size(), 22);
        QVERIFY(!QFile::exists(prefs.storePath()));
        QCOMPARE(prefs.storePath(), env.configHome() + QStringLiteral("/tamberk/tamberk.conf"));
    }

    // Values in the file are text; text that is not of the key's type reads
    // as false, 0, 0.0 or the registered default for strings.
    void storedTextConverts_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("bool true") << "t2.reveal"
                                   << "true" << QVariant(true);
        QTest::newRow("bool upper") << "t2.pinned"
                                    << "TRUE" << QVariant(true);
        QTest::newRow("bool false") << "t2.reveal"
                                    << "false" << QVariant(false);
        QTest::newRow("bool number") << "t2.pinned"
                                     << "1" << QVariant(true);
        QTest::newRow("bool zero") << "t2.reveal"
                                   << "0" << QVariant(false);
        QTest::newRow("bool word") << "t2.reveal"
                                   << "yes" << QVariant(false);
        QTest::newRow("bool empty") << "t2.peek"
                                    << "" << QVariant(false);
        QTest::newRow("double") << "t2.width"
                                << "300.5" << QVariant(300.5);
        QTest::newRow("double integer") << "t2.thumb"
                                        << "180" << QVariant(180.0);
        QTest::newRow("double word") << "t2.width"
                                     << "wide" << QVariant(0.0);
        QTest::newRow("double overflow") << "t2.width"
                                         << "1e400" << QVariant(0.0);
        QTest::newRow("double list") << "t2.width"
                                     << "1, 2" << QVariant(0.0);
        QTest::newRow("integer") << "t2.hotkey"
                                 << "3" << QVariant(qint64(3));
        QTest::newRow("integer fraction") << "t2.hotkey"
                                          << "2.7" << QVariant(qint64(2));
        QTest::newRow("integer word") << "t2.hotkey"
                                      << "ctrl" << QVariant(qint64(0));
        QTest::newRow("string") << "t2.side"
                                << "left" << QVariant(QStringLiteral("left"));
        QTest::newRow("string number") << "t2.scope"
                                       << "7" << QVariant(QStringLiteral("7"));
        QTest::newRow("string list") << "t2.session"
                                     << "day, boot" << QVariant(QStringLiteral("boot"));
        QTest::newRow("quoted comma") << "t2.folder"
                                      << "\"/a, b\"" << QVariant(QStringLiteral("/a, b"));
    }
    void storedTextConverts() {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(QVariant, expected);
        TestEnv env;
        writeFile(env.configHome() + QStringLiteral("/tamberk/tamberk.conf"),
                  QStringLiteral("[General]\n%1=%2\n").arg(key, text).toUtf8());
        const QByteArray name = key.toUtf8();
        QCOMPARE(Prefs::shared().value(name.constData()), expected);
        QVERIFY(Prefs::shared().isStored(name.constData()));
    }

    // Every write lands in the file at once, typed by the table, and is
    // announced once.
    void writesAreTypedAndAnnounced() {
        TestEnv env;
        Prefs& prefs = Prefs::shared();
        QSignalSpy spy(&prefs, &Prefs::changed);
        prefs.set(Key::width, 301.25);
        prefs.set(Key::pinned, true);
        prefs.set(Key::hotkey, QStringLiteral("4"));
        prefs.set(Key::side, QStringLiteral("left"));
        prefs.set(Key::sessionReset, 0.1);
        QCOMPARE(spy.count(), 5);

        QCOMPARE(prefs.value(Key::width), QVariant(301.25));
        QCOMPARE(prefs.value(Key::pinned), QVariant(true));
        QCOMPARE(prefs.value(Key::hotkey), QVariant(qint64(4)));
        QCOMPARE(toString(prefs.side()), QStringLiteral("left"));
        QCOMPARE(prefs.number(Key::sessionReset), 0.1);

        QFile file(prefs.storePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("t2.width=301.25\n"));
        QVERIFY(text.contains("t2.pinned=true\n"));
        QVERIFY(text.contains("t2.hotkey=4\n"));
        QVERIFY(text.contains("t2.sessionReset=0.1\n"));

        // Another process (or the next launch) reads the same values.
        Prefs::resetSharedForTesting();
        QCOMPARE(Prefs::shared().number(Key::width), 301.25);
        QCOMPARE(Prefs::shared().string(Key::side), QStringLiteral("left"));
    }

    // The command line checks a value against the table before writing.
    void parseChecksTypeAndChoices_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("bool") << "t2.ocr"
                              << "false" << true;
        QTest::newRow("bool word") << "t2.ocr"
                                   << "no" << false;
        QTest::newRow("double") << "t2.width"
                                << "320" << true;
        QTest::newRow("double nan") << "t2.width"
                                    << "nan" << false;
        QTest::newRow("integer") << "t2.hotkey"
                                 << "-2" << true;
        QTest::newRow("integer fraction") << "t2.hotkey"
                                          << "1.5" << false;
        QTest::newRow("side") << "t2.side"
                              << "left" << true;
        QTest::newRow("side other") << "t2.side"
                                    << "top" << false;
        QTest::newRow("session") << "t2.session"
                                 << "launch" << true;
        QTest::newRow("session case") << "t2.session"
                                      << "Boot" << false;
        QTest::newRow("scope folder") << "t2.scope"
                                      << "folder:/tmp/x" << true;
        QTest::newRow("scope bare folder") << "t2.scope"
                                           << "folder:" << false;
        QTest::newRow("free text") << "t2.folder"
                                   << "~/Shots" << true;
    }
    void parseChecksTypeAndChoices() {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const PrefKey* row = Prefs::find(key);
        QVERIFY(row);
        QCOMPARE(Prefs::parse(*row, text).has_value(), valid);
        if (valid)
            QCOMPARE(Prefs::format(*Prefs::parse(*row, text)), text.trimmed());
    }

    // A chosen folder is used when it is a directory (a leading tilde is the
    // home folder); a file or a missing path falls back to the system's
    // location without touching the setting, so a folder that comes back is
    // used again.
    void effectiveFolder() {
        TestEnv env;
        Prefs& prefs = Prefs::shared();
        const QString system = SystemCapture::location();
        QCOMPARE(prefs.folderPath(), system);

        const QString shots = env.mkdir(QStringLiteral("Shots"));
        prefs.set(Key::folder, QStringLiteral("~/Shots"));
        QCOMPARE(prefs.folderPath(), shots);
        QCOMPARE(prefs.folderURL(), QUrl::fromLocalFile(shots + QLatin1Char('/')));

        writeFile(env.home() + QStringLiteral("/notes.txt"));
        prefs.set(Key::folder, QStringLiteral("~/notes.txt"));
        QCOMPARE(prefs.folderPath(), system);

        prefs.set(Key::folder, env.home() + QStringLiteral("/Later"));
        QCOMPARE(prefs.folderPath(), system);
        QCOMPARE(prefs.string(Key::folder), env.home() + QStringLiteral("/Later"));
        env.mkdir(QStringLiteral("Later"));
        QCOMPARE(prefs.folderPath(), env.home() + QStringLiteral("/Later"));
    }

    // The session starts at the later of the mode's base and the last reset.
    void sessionStart_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<double>("resetAgo"); // seconds before now; < 0: never
        QTest::addColumn<QString>("expected");
        QTest::newRow("day, reset an hour ago") << "day" << 3600.0 << "reset";
        QTest::newRow("day, reset two days ago") << "day" << 172800.0 << "dayAgo";
        QTest::newRow("day, never reset") << "day" << -1.0 << "dayAgo";
        QTest::newRow("boot, never reset") << "boot" << -1.0 << "boot";
        QTest::newRow("boot, reset after boot") << "boot" << 1.0 << "reset";
        QTest::newRow("unknown mode is boot") << "weekly" << -1.0 << "boot";
        QTest::newRow("today") << "today" << -1.0 << "midnight";
        QTest::newRow("today, reset this morning") << "today" << 1.0 << "reset";
        QTest::newRow("launch") << "launch" << -1.0 << "launch";
    }
    void sessionStart() {
        QFETCH(QString, mode);
        QFETCH(double, resetAgo);
        QFETCH(QString, expected);
        TestEnv env;
        Prefs& prefs = Prefs::shared();
        // Noon today or later, so "today" has a morning and boot lies behind.
        const double noon = QDateTime::currentDateTime()
                                .date()
                                .startOfDay()
                                .addSecs(12 * 3600)
                                .toMSecsSinceEpoch() /
                            1000.0;
        const double now = std::max(noon, QDateTime::currentMSecsSinceEpoch() / 1000.0);
        prefs.set(Key::session, mode);
        if (resetAgo >= 0)
            prefs.set(Key::sessionReset, now - resetAgo);
        const QHash<QString, double> bases{
            {QStringLiteral("reset"), now - resetAgo},
            {QStringLiteral("dayAgo"), now - 86400.0},
            {QStringLiteral("boot"), Prefs::bootDate()},
            {QStringLiteral("launch"), Prefs::launchDate()},
            {QStringLiteral("midnight"),
             QDateTime::currentDateTime().date().startOfDay().toMSecsSinceEpoch() / 1000.0},
        };
        QCOMPARE(prefs.sessionStart(now), bases.value(expected));
    }

    // The boot time comes from the kernel and precedes this process.
    void bootPrecedesLaunch() {
        QVERIFY(Prefs::bootDate() > 1e9);
        QVERIFY(Prefs::bootDate() <= Prefs::launchDate());
        QCOMPARE(Prefs::bootDate(), Prefs::bootDate());
    }

    // Only the exact text "quicklook" asks for Quick Look; unknown sides and
    // modes read as right and boot.
    void derivedReads() {
        TestEnv env;
        Prefs& prefs = Prefs::shared();
        QVERIFY(!prefs.doubleClickQuickLook());
        prefs.set(Key::doubleClick, QStringLiteral("quicklook"));
        QVERIFY(prefs.doubleClickQuickLook());
        prefs.set(Key::doubleClick, QStringLiteral("QuickLook"));
        QVERIFY(!prefs.doubleClickQuickLook());
        prefs.set(Key::side, QStringLiteral("Left"));
        QCOMPARE(toString(prefs.side()), QStringLiteral("right"));
        prefs.set(Key::session, QStringLiteral("day"));
        QCOMPARE(toString(prefs.sessionMode()), QStringLiteral("day"));
        prefs.set(Key::session, QStringLiteral(""));
        QCOMPARE(toString(prefs.sessionMode()), QStringLiteral("boot"));
    }

    // Another program's edit of the file is announced and read, also when it
    // replaces the file by rename, again and again.
    void externalChangesAreAnnounced() {
        TestEnv env;
        Prefs& prefs = Prefs::shared();
        QSignalSpy spy(&prefs, &Prefs::changed);
        QStringList seen;
        connect(&prefs, &Prefs::changed, this, [&] { seen << prefs.string(Key::side); });

        // The first write creates the file.
        writeFile(prefs.storePath(), "[General]\nt2.side=left\n");
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 10000);

        replaceStore(QStringLiteral("[General]\nt2.side=right\nt2.width=400\n"));
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 10000);
        QCOMPARE(prefs.number(Key::width), 400.0);

        replaceStore(QStringLiteral("[General]\nt2.side=left\n"));
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 3, 10000);
        QCOMPARE(seen, (QStringList{QStringLiteral("left"), QStringLiteral("right"),
                                    QStringLiteral("left")}));
        QCOMPARE(prefs.number(Key::width), 268.0);
    }

    // Our own write is announced when made, not again when the watcher sees it.
    void ownWritesAnnouncedOnce() {
        TestEnv env;
        Prefs& prefs = Prefs::shared();
        QSignalSpy spy(&prefs, &Prefs::changed);
        prefs.set(Key::pinned, true);
        prefs.set(Key::pinned, false);
        QCOMPARE(spy.count(), 2);
        // Let the watcher deliver what it saw of those writes.
        QTest::qWait(300);
        replaceStore(QStringLiteral("[General]\nt2.pinned=true\n"));
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 3, 10000);
        QTest::qWait(300);
        QCOMPARE(spy.count(), 3);
        QVERIFY(prefs.boolean(Key::pinned));
    }
};

TAMBERK_TEST(tst_Prefs)
#include "tst_Prefs.moc"
