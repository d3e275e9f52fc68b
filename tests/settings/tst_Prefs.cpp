#include "TestEnv.h"
#include "settings/Prefs.h"

#include <QTest>

class tst_Prefs : public QObject {
    Q_OBJECT
private slots:
    // A fresh store reads exactly the registered defaults.
    void freshStoreReadsDefaults()
    {
        Prefs& prefs = Prefs::shared();
        QCOMPARE(prefs.number(Key::width), 268.0);
        QCOMPARE(prefs.number(Key::thumb), 224.0);
        QCOMPARE(prefs.integer(Key::hotkey), 1);
        QCOMPARE(prefs.string(Key::scope), QStringLiteral("session"));
        QVERIFY(prefs.boolean(Key::onlyShots));
        QVERIFY(!prefs.boolean(Key::pinned));
    }
};

TAMBERK_TEST(tst_Prefs)
#include "tst_Prefs.moc"
