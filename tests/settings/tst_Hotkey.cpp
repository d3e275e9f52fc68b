#include "FakeShortcut.h"
#include "TestEnv.h"
#include "platform/KeyCombo.h"
#include "settings/Hotkey.h"
#include "settings/Prefs.h"

#include <QSignalSpy>
#include <QTest>

class tst_Hotkey : public QObject {
    Q_OBJECT
private slots:
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
};

TAMBERK_TEST(tst_Hotkey)
#include "tst_Hotkey.moc"
