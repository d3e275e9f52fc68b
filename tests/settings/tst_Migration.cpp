#include "TestEnv.h"
#include "app/AppDelegate.h"
#include "settings/Prefs.h"

#include <QDir>
#include <QFile>
#include <QFuture>
#include <QTest>

class tst_Migration : public QObject {
    Q_OBJECT
private slots:
    // The first launch carries "leftSide" over and removes only digits-only
    // cache entries, never following a numeric link.
    void firstLaunchMigrates() {
        TestEnv env;
        const QString caches = AppDelegate::cachesPath();
        for (const QString& name :
             QStringLiteral("123|007/inner/file.bin|0|\u0661\u0662|12a|a1|1.5|Drag/00000001")
                 .split(QLatin1Char('|')))
            writeFile(caches + QLatin1Char('/') + name);
        const QString outside = env.mkdir(QStringLiteral("outside"));
        writeFile(outside + QStringLiteral("/keep.png"));
        QVERIFY(QFile::link(outside, caches + QStringLiteral("/42")));

        Prefs::shared().set(Key::leftSide, true);
        QCOMPARE(AppDelegate::migrateFromV1().result(), 5);
        QCOMPARE(Prefs::shared().string(Key::side), QStringLiteral("left"));
        QStringList left =
            QDir(caches).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
        left.sort();
        QCOMPARE(left, (QStringList{QStringLiteral("1.5"), QStringLiteral("12a"),
                                    QStringLiteral("Drag"), QStringLiteral("a1")}));
        QVERIFY(QFile::exists(outside + QStringLiteral("/keep.png")));
        QVERIFY(QFile::exists(caches + QStringLiteral("/Drag/00000001")));
    }

    // After the first launch the migration does nothing at all.
    void otherwiseNothingChanges() {
        TestEnv env;
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(Key::leftSide, true);
        writeFile(AppDelegate::cachesPath() + QStringLiteral("/123"));
        QCOMPARE(AppDelegate::migrateFromV1().result(), 0);
        QVERIFY(!Prefs::shared().isStored(Key::side));
        QVERIFY(QFile::exists(AppDelegate::cachesPath() + QStringLiteral("/123")));
    }
};

TAMBERK_TEST(tst_Migration)
#include "tst_Migration.moc"
