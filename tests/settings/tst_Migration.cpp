#include "TestEnv.h"
#include "app/AppDelegate.h"
#include "settings/Prefs.h"

#include <QDir>
#include <QFile>
#include <QTest>

class tst_Migration : public QObject {
    Q_OBJECT
private slots:
    // The first launch carries "leftSide" over and clears the digits-only
    // entries from the caches folder, keeping everything else.
    void firstLaunchMigrates() {
        TestEnv env;
        QCOMPARE(AppDelegate::cachesPath(), env.cacheHome() + QStringLiteral("/tamberk"));
        const QString caches = AppDelegate::cachesPath();
        writeFile(caches + QStringLiteral("/123"));
        writeFile(caches + QStringLiteral("/007/inner/file.bin"));
        writeFile(caches + QStringLiteral("/0"));
        writeFile(caches + QStringLiteral("/\u0661\u0662")); // Arabic-Indic digits
        writeFile(caches + QStringLiteral("/12a"));
        writeFile(caches + QStringLiteral("/a1"));
        writeFile(caches + QStringLiteral("/1.5"));
        writeFile(caches + QStringLiteral("/Drag/00000001"));
        // A numeric link goes; what it points to stays.
        const QString outside = env.mkdir(QStringLiteral("outside"));
        writeFile(outside + QStringLiteral("/keep.png"));
        QVERIFY(QFile::link(outside, caches + QStringLiteral("/42")));

        Prefs::shared().set(Key::leftSide, true);
        QFuture<int> cleanup = AppDelegate::migrateFromV1();
        QCOMPARE(Prefs::shared().string(Key::side), QStringLiteral("left"));
        cleanup.waitForFinished();
        QCOMPARE(cleanup.result(), 5);

        QDir dir(caches);
        QStringList left = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
        left.sort();
        QCOMPARE(left, (QStringList{QStringLiteral("1.5"), QStringLiteral("12a"),
                                    QStringLiteral("Drag"), QStringLiteral("a1")}));
        QVERIFY(QFile::exists(outside + QStringLiteral("/keep.png")));
        QVERIFY(QFile::exists(caches + QStringLiteral("/Drag/00000001")));
        // The start-up, not the migration, marks the launch.
        QVERIFY(!Prefs::shared().boolean(Key::launched));
    }

    // After the first launch the migration does nothing at all.
    void laterLaunchesDoNothing() {
        TestEnv env;
        Prefs& prefs = Prefs::shared();
        prefs.set(Key::launched, true);
        prefs.set(Key::leftSide, true);
        writeFile(AppDelegate::cachesPath() + QStringLiteral("/123"));
        QFuture<int> cleanup = AppDelegate::migrateFromV1();
        cleanup.waitForFinished();
        QCOMPARE(cleanup.result(), 0);
        QVERIFY(!prefs.isStored(Key::side));
        QVERIFY(QFile::exists(AppDelegate::cachesPath() + QStringLiteral("/123")));
    }

    // Without the legacy key nothing is written; a missing caches folder is
    // no error.
    void nothingToMigrate() {
        TestEnv env;
        QFuture<int> cleanup = AppDelegate::migrateFromV1();
        cleanup.waitForFinished();
        QCOMPARE(cleanup.result(), 0);
        QVERIFY(!Prefs::shared().isStored(Key::side));
        QVERIFY(!QFile::exists(Prefs::shared().storePath()));
    }
};

TAMBERK_TEST(tst_Migration)
#include "tst_Migration.moc"
