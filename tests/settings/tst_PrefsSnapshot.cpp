#include "TestEnv.h"
#include "settings/PrefsSnapshot.h"

#include <QSet>
#include <QTest>

class tst_PrefsSnapshot : public QObject {
    Q_OBJECT
private slots:
    // Each setting the delegate re-applies changes the snapshot; settings
    // read at the moment of use leave it alone, so re-application does
    // nothing when only they change.
    void snapshotFollowsAppliedKeysOnly() {
        TestEnv env;
        const QSet<QByteArray> readAtUse{Key::width,         Key::thumb,       Key::scope,
                                         Key::reveal,        Key::peek,        Key::autoCopy,
                                         Key::confirmDelete, Key::doubleClick, Key::launched};
        for (const PrefKey& row : Prefs::table()) {
            // A valid value other than the default ("~" for the folder).
            QVariant other = row.choices.isEmpty()                           ? QStringLiteral("~")
                             : row.choices.last() != row.fallback.toString() ? row.choices.last()
                                                                             : row.choices.first();
            if (row.type == QMetaType::Bool)
                other = !row.fallback.toBool();
            else if (row.type != QMetaType::QString)
                other = row.fallback.toDouble() + 2;
            const PrefsSnapshot before;
            Prefs::shared().set(row.key, other);
            QVERIFY2((before == PrefsSnapshot()) == readAtUse.contains(row.key), row.key);
        }
    }

    // The snapshot holds the derived values, not the raw text, and a chosen
    // folder that vanished reads as the fallback, so its return is a change.
    void readsDerivedValues() {
        TestEnv env;
        Prefs& prefs = Prefs::shared();
        prefs.set(Key::side, QStringLiteral("LEFT"));
        prefs.set(Key::folder, env.home() + QStringLiteral("/Shots"));
        const PrefsSnapshot missing;
        QCOMPARE(toString(missing.side), QStringLiteral("right"));
        QCOMPARE(missing.folder, prefs.folderPath());
        const QString shots = env.mkdir(QStringLiteral("Shots"));
        QCOMPARE(PrefsSnapshot().folder, shots);
    }
};

TAMBERK_TEST(tst_PrefsSnapshot)
#include "tst_PrefsSnapshot.moc"
