#include "FakeShortcut.h"
#include "TestEnv.h"
#include "platform/KeyCombo.h"
#include "settings/Hotkey.h"

#include <QSignalSpy>
#include <QTest>

class tst_Hotkey : public QObject {
    Q_OBJECT
private slots:
    void presets_data() {
        QTest::addColumn<qint64>("index");
        QTest::addColumn<QString>("label");
        QTest::newRow("0") << qint64(0) << "None";
        QTest::newRow("1") << qint64(1) << "Ctrl+Alt+S";
        QTest::newRow("5") << qint64(5) << "Ctrl+Alt+Space";
        QTest::newRow("6 falls back") << qint64(6) << "Ctrl+Alt+S";
        QTest::newRow("-1 falls back") << qint64(-1) << "Ctrl+Alt+S";
    }
    // The table holds six presets from "None" on, and any index outside it means
    // the default row, so a damaged setting still gives a working shortcut.
    void presets() {
        QFETCH(qint64, index);
        QFETCH(QString, label);
        QCOMPARE(Hotkey::preset(index).label, label);
    }

    // Every one of the six presets names keys the grab understands, and menus
    // get the same keys as a key sequence (Super as Meta); "None" has neither.
    void presetKeys() {
        QCOMPARE(Hotkey::presets().size(), 6);
        QVERIFY(Hotkey::preset(0).keys.isEmpty() && Hotkey::preset(0).sequence().isEmpty());
        QVERIFY(!keyComboFrom(QKeySequence()));
        for (qint64 i = 1; i < 6; ++i) {
            const HotkeyPreset& p = Hotkey::preset(i);
            QVERIFY2(parseKeyCombo(p.keys), qPrintable(p.keys));
            QCOMPARE(keyComboFrom(p.sequence()), parseKeyCombo(p.keys));
        }
    }

    void registration_data() {
        QTest::addColumn<QList<qint64>>("indices");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("none registers nothing") << QList<qint64>{0} << QStringList{};
        QTest::newRow("9 grabs the default") << QList<qint64>{9} << QStringList{"grab Ctrl+Alt+S"};
        QTest::newRow("switching releases first")
            << QList<qint64>{2, 3} << QStringList{"grab Super+Alt+R", "ungrab", "grab Ctrl+Alt+R"};
        QTest::newRow("back to none")
            << QList<qint64>{5, 0} << QStringList{"grab Ctrl+Alt+Space", "ungrab"};
    }
    // At most one shortcut is held: each registration releases the last one
    // before grabbing the next, and "None" grabs nothing.
    void registration() {
        QFETCH(QList<qint64>, indices);
        QFETCH(QStringList, log);
        FakeShortcut shortcut;
        Hotkey hotkey(&shortcut);
        for (qint64 index : indices)
            hotkey.registerPreset(index);
        QCOMPARE(shortcut.log, log);
    }

    // A shortcut another program holds is reported until a free one is chosen,
    // and presses reach the hotkey's owner with their timestamp.
    void inUseAndPresses() {
        FakeShortcut shortcut;
        shortcut.taken = {QStringLiteral("Ctrl+Alt+R")};
        Hotkey hotkey(&shortcut);
        QSignalSpy changed(&hotkey, &Hotkey::stateChanged);
        QSignalSpy activated(&hotkey, &Hotkey::activated);
        hotkey.registerPreset(3);
        QVERIFY(hotkey.inUse());
        QVERIFY(changed.count() > 0);
        hotkey.registerPreset(1);
        QVERIFY(!hotkey.inUse());
        QCOMPARE(hotkey.index(), 1);
        shortcut.press(123456);
        QCOMPARE(activated.count(), 1);
        QCOMPARE(activated.first().first().toUInt(), 123456u);
    }

    // A grab that cannot work here (no X11) is not reported as keys in use.
    void unsupportedIsNotInUse() {
        GlobalShortcut shortcut;
        Hotkey hotkey(&shortcut);
        hotkey.registerPreset(1);
        QVERIFY(!hotkey.inUse());
    }
};

TAMBERK_TEST(tst_Hotkey)
#include "tst_Hotkey.moc"
