#include "TestEnv.h"
#include "settings/Prefs.h"
#include "settings/ui/LanguagePicker.h"

#include <QAction>
#include <QMenu>
#include <QTest>

// The languages row: what it offers, what a click writes, and that it follows the store.
class tst_LanguagePicker : public QObject {
    Q_OBJECT
private slots:
    // Codes written in list order, the last one kept, those without data dropped.
    void choosing() {
        LanguagePicker picker(nullptr, {"deu", "eng", "fra"});
        const auto names = [&](bool checkedOnly) {
            QStringList out;
            for (const QAction* action : picker.list()->actions())
                if (action->isChecked() || !checkedOnly)
                    out << action->text();
            return out;
        };
        QCOMPARE(names(false), (QStringList{"English", "French", "German"}));
        QCOMPARE(picker.chosen(), QStringList{"eng"});
        QCOMPARE(picker.text(), QStringLiteral("English"));

        picker.list()->actions().at(2)->trigger(); // German
        QCOMPARE(Prefs::shared().string(Key::ocrLanguages), QStringLiteral("eng+deu"));
        QCOMPARE(names(true), (QStringList{"English", "German"}));
        QCOMPARE(picker.text(), QStringLiteral("English, German"));
        picker.list()->actions().at(0)->trigger(); // English off
        QCOMPARE(Prefs::shared().string(Key::ocrLanguages), QStringLiteral("deu"));
        picker.list()->actions().at(2)->trigger(); // the last one: refused
        QCOMPARE(Prefs::shared().string(Key::ocrLanguages), QStringLiteral("deu"));
        QCOMPARE(names(true), QStringList{"German"});

        QTest::ignoreMessage(QtWarningMsg, "Tamberk text recognition failed: no language data "
                                           "for \"kor\"; it is left out");
        Prefs::shared().set(Key::ocrLanguages, QStringLiteral("fra+kor"));
        QCOMPARE(names(true), QStringList{"French"});
        QCOMPARE(picker.text(), QStringLiteral("French"));
    }
};

TAMBERK_TEST(tst_LanguagePicker)
#include "tst_LanguagePicker.moc"
