#include "PanelRig.h"
#include "TestEnv.h"
#include "WidgetInput.h"
#include "panel/EdgeTab.h"

#include <QTest>

// The real tab window: what it makes of show and hide, and its menu.
class tst_EdgeTab : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QFile::remove(Prefs::shared().storePath());
        Prefs::resetSharedForTesting();
    }

    // A show during the hide's fade keeps the tab; a hide during the show's
    // fade ends hidden; with the tab turned off in the settings show() hides it.
    void showAndHideDuringAFade_data() {
        QTest::addColumn<bool>("showTab");
        QTest::addColumn<bool>("hideThenShow");
        QTest::addColumn<bool>("visible");
        QTest::newRow("show during hide") << true << true << true;
        QTest::newRow("hide during show") << true << false << false;
        QTest::newRow("turned off") << false << true << false;
    }
    void showAndHideDuringAFade() {
        QFETCH(bool, showTab);
        QFETCH(bool, hideThenShow);
        QFETCH(bool, visible);
        EdgeTab tab(true);
        tab.show(); // fading in
        Prefs::shared().set(Key::showTab, showTab);
        if (hideThenShow) {
            tab.hide();
            tab.show();
        } else {
            tab.hide();
        }
        // Both fades have ended once the opacity is at either end.
        if (showTab)
            QTRY_VERIFY(tab.windowOpacity() == (visible ? 1.0 : 0.0));
        QTRY_COMPARE(tab.isVisible(), visible);
    }

    // A right-click pops the menu it was given and holds the panel while that
    // menu is open; one menu at a time; the menu is gone after it closed, and
    // a tab without a menu pops nothing.
    void menuHoldsThePanel() {
        PanelLibrary shots({{"Screenshot one.png", 10}});
        PanelRig r(*shots.lib);
        EdgeTab tab(false);
        tab.setController(r.ctl.get());
        auto rightClick = [&tab] {
            sendMouse(&tab, QEvent::MouseButtonPress, QPointF(4, 60), Qt::RightButton, {},
                      Qt::RightButton);
        };
        rightClick();
        QVERIFY(!tab.openMenu());
        int asked = 0;
        tab.setMenu([&asked]() -> QMenu* {
            ++asked;
            auto* menu = new QMenu;
            menu->addAction(QStringLiteral("Open Panel"));
            return menu;
        });
        rightClick();
        QPointer<QMenu> menu = tab.openMenu();
        QVERIFY(menu);
        QCOMPARE(r.ctl->holds(), 1);
        rightClick();
        QCOMPARE(asked, 1);
        menu->hide();
        QTRY_COMPARE(r.ctl->holds(), 0);
        QTRY_VERIFY(menu.isNull());
    }
};

TAMBERK_TEST(tst_EdgeTab)
#include "tst_EdgeTab.moc"
