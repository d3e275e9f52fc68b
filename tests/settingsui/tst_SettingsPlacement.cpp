#include "TestEnv.h"
#include "settings/ui/SettingsWindow.h"

#include <QTest>

// Where the settings window opens, given the card it must not go under.
class tst_SettingsPlacement : public QObject {
    Q_OBJECT
private slots:
    // Centred unless that covers the card, then beside it, or with no room
    // there as far from it as the screen allows.
    void placement() {
        // 568 × 754 on 1440 × 900 under a 25-pixel panel: centred, it spans x 436 … 1003.
        const QRect available(0, 25, 1440, 875);
        for (const auto& [card, x] : {std::pair{QRect(), 436},
                                      {QRect(1164, 33, 268, 859), 436}, // narrow, on the right
                                      {QRect(632, 33, 800, 859), 32},
                                      {QRect(8, 33, 800, 859), 840},
                                      {QRect(107, 33, 1325, 859), 0}, // no room beside
                                      {QRect(8, 33, 1325, 859), 872}})
            QCOMPARE(SettingsWindow::placement(QSize(568, 754), available, card),
                     QRect(x, 86, 568, 754));
    }
};

TAMBERK_TEST(tst_SettingsPlacement)
#include "tst_SettingsPlacement.moc"
