#include "TestEnv.h"
#include "settings/PrefsSnapshot.h"

#include <QTest>

class tst_PrefsSnapshot : public QObject {
    Q_OBJECT
private slots:
    // Settings read at the moment of use leave the snapshot alone, so the
    // delegate's re-application does nothing when only they change.
    void unrelatedKeysKeepSnapshotsEqual_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("width") << "t2.width" << QVariant(400.0);
        QTest::newRow("thumb") << "t2.thumb" << QVariant(150.0);
        QTest::newRow("scope") << "t2.scope" << QVariant(QStringLiteral("all"));
        QTest::newRow("reveal") << "t2.reveal" << QVariant(false);
        QTest::newRow("peek") << "t2.peek" << QVariant(false);
        QTest::newRow("autoCopy") << "t2.autoCopy" << QVariant(true);
        QTest::newRow("confirmDelete") << "t2.confirmDelete" << QVariant(false);
        QTest::newRow("doubleClick") << "t2.doubleClick" << QVariant(QStringLiteral("quicklook"));
        QTest::newRow("launched") << "t2.launched" << QVariant(true);
    }
    void unrelatedKeysKeepSnapshotsEqual() {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        TestEnv env;
        const PrefsSnapshot before;
        QVERIFY(before == PrefsSnapshot());
        Prefs::shared().set(key.toUtf8().constData(), value);
        QVERIFY(before == PrefsSnapshot());
    }

    // Each setting the delegate applies makes the snapshots differ.
    void appliedKeysChangeSnapshot_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("side") << "t2.side" << QVariant(QStringLiteral("left"));
        QTest::newRow("hotkey") << "t2.hotkey" << QVariant(qint64(3));
        QTest::newRow("showTab") << "t2.showTab" << QVariant(false);
        QTest::newRow("captions") << "t2.captions" << QVariant(false);
        QTest::newRow("onlyShots") << "t2.onlyShots" << QVariant(false);
        QTest::newRow("includeSub") << "t2.includeSub" << QVariant(false);
        QTest::newRow("session") << "t2.session" << QVariant(QStringLiteral("today"));
        QTest::newRow("sessionReset") << "t2.sessionReset" << QVariant(1700000000.5);
        QTest::newRow("ocr") << "t2.ocr" << QVariant(false);
        QTest::newRow("pinned") << "t2.pinned" << QVariant(true);
        QTest::newRow("hide") << "t2.hideFromCapture" << QVariant(false);
        QTest::newRow("sync") << "t2.syncSystem" << QVariant(false);
        QTest::newRow("folder") << "t2.folder" << QVariant(QStringLiteral("~"));
    }
    void appliedKeysChangeSnapshot() {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        TestEnv env;
        const PrefsSnapshot before;
        Prefs::shared().set(key.toUtf8().constData(), value);
        const PrefsSnapshot after;
        QVERIFY(!(before == after));
    }

    // The snapshot reads the derived values, not the raw text.
    void readsDerivedValues() {
        TestEnv env;
        Prefs& prefs = Prefs::shared();
        prefs.set(Key::side, QStringLiteral("LEFT"));
        prefs.set(Key::session, QStringLiteral("weekly"));
        prefs.set(Key::folder, env.home() + QStringLiteral("/missing"));
        const PrefsSnapshot snap;
        QCOMPARE(toString(snap.side), QStringLiteral("right"));
        QCOMPARE(toString(snap.session), QStringLiteral("boot"));
        QCOMPARE(snap.folder, prefs.folderPath());
        QCOMPARE(snap.sessionReset, 0.0);
        // A vanished folder is a folder change: the fallback differs from it.
        const QString shots = env.mkdir(QStringLiteral("Shots"));
        prefs.set(Key::folder, shots);
        QCOMPARE(PrefsSnapshot().folder, shots);
    }
};

TAMBERK_TEST(tst_PrefsSnapshot)
#include "tst_PrefsSnapshot.moc"
