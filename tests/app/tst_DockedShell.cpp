#include "TestEnv.h"
#include "app/ui/DockedShell.h"
#include "library/Library.h"
#include "panel/DockedPanel.h"
#include "panel/EdgeTab.h"
#include "panel/PanelController.h"
#include "settings/Prefs.h"
#include "shelf/ShelfView.h"
#include "shelf/ToastView.h"

#include <QTest>

class tst_DockedShell : public QObject {
    Q_OBJECT
private slots:
    // The shell's view of the real panel: state keys and types for the bus,
    // a thumbnail size from outside reaching the controller, the tab shown
    // and hidden, and toasts on the shelf without an action.
    void drivesTheRealPanel() {
        TestEnv env;
        Library lib(env.mkdir(QStringLiteral("Pictures/Screenshots")));
        DockedPanel docked(lib);
        DockedShell shell(docked, lib);

        const QVariantMap state = shell.state();
        QCOMPARE(QStringList(state.keys()), (QStringList{"expanded", "pinned", "query", "scope",
                                                         "selected", "shown", "unseen"}));
        QCOMPARE(state.value("expanded").typeId(), QMetaType::Bool);
        QCOMPARE(state.value("scope").toString(), QStringLiteral("session"));
        QCOMPARE(state.value("shown").typeId(), QMetaType::Int);

        const double before = docked.controller().thumb();
        shell.followThumb(before);
        QCOMPARE(docked.controller().thumb(), before);
        shell.followThumb(before + 40);
        QCOMPARE(docked.controller().thumb(), before + 40);

        shell.setTabShown(true);
        QVERIFY(docked.tab().isVisible());
        shell.setTabShown(false);
        QTRY_VERIFY(!docked.tab().isVisible()); // after its fade

        shell.toast(QStringLiteral("Spectacle now saves screenshots to “Shots”"));
        QCOMPARE(docked.shelf().toast()->text(),
                 QStringLiteral("Spectacle now saves screenshots to “Shots”"));
        QVERIFY(!docked.shelf().toast()->action());

        QVERIFY(!shell.expanded());
        shell.expand(false, 0);
        QVERIFY(shell.expanded());
        QCOMPARE(shell.state().value("expanded").toBool(), true);
        shell.collapse(true);
        QVERIFY(!shell.expanded());
    }
};

TAMBERK_TEST(tst_DockedShell)
#include "tst_DockedShell.moc"
