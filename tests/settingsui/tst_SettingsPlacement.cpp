#include "TestEnv.h"
#include "settings/ui/SettingsWindow.h"

#include <QTest>

// Where the settings window opens, given the card it must not go under.
class tst_SettingsPlacement : public QObject {
    Q_OBJECT
private slots:
    void placement_data() {
        QTest::addColumn<QRect>("card");
        QTest::addColumn<QRect>("placed");
        // 568 × 754 on 1440 × 900 under a 25-pixel panel: centred, it spans x 436 … 1003.
        QTest::newRow("no card") << QRect() << QRect(436, 86, 568, 754);
        QTest::newRow("narrow card on the right")
            << QRect(1164, 33, 268, 859) << QRect(436, 86, 568, 754);
        QTest::newRow("wide card on the right")
            << QRect(632, 33, 800, 859) << QRect(32, 86, 568, 754);
        QTest::newRow("wide card on the left")
            << QRect(8, 33, 800, 859) << QRect(840, 86, 568, 754);
        // No room beside the widest card: as far from it as the screen allows.
        QTest::newRow("widest card on the right")
            << QRect(107, 33, 1325, 859) << QRect(0, 86, 568, 754);
        QTest::newRow("widest card on the left")
            << QRect(8, 33, 1325, 859) << QRect(872, 86, 568, 754);
    }
    void placement() {
        QFETCH(QRect, card);
        QFETCH(QRect, placed);
        const QRect available(0, 25, 1440, 875);
        QCOMPARE(SettingsWindow::placement(QSize(568, 754), available, card), placed);
    }
};

TAMBERK_TEST(tst_SettingsPlacement)
#include "tst_SettingsPlacement.moc"
