#include "TestEnv.h"
#include "settings/PrefsSnapshot.h"

#include <QSet>
#include <QTest>

class tst_PrefsSnapshot : public QObject {
    Q_OBJECT
private slots:
    // Only settings the delegate re-applies change the snapshot; read-at-use ones leave it alone.
    void snapshotFollowsAppliedKeysOnly() {
        TestEnv env;
        const QSet<QByteArray> readAtUse{
            Key::width,    Key::thumb,         Key::scope,       Key::reveal,   Key::peek,
            Key::autoCopy, Key::confirmDelete, Key::doubleClick, Key::launched, Key::ocrLanguages};
        for (const PrefKey& row : Prefs::table()) {
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
};

TAMBERK_TEST(tst_PrefsSnapshot)
#include "tst_PrefsSnapshot.moc"
