#include "PanelRig.h"
#include "TestEnv.h"

#include <QTest>

// The keys and buttons of the panel reach their commands; what the commands
// do is tested with the commands and the menus.
class tst_PanelShortcuts : public QObject {
    Q_OBJECT

    std::unique_ptr<PanelLibrary> m_shots;
    std::unique_ptr<PanelRig> m_rig;

private slots:
    void init() {
        m_shots = std::make_unique<PanelLibrary>(
            QList<std::pair<QString, double>>{{"Screenshot one.png", 30},
                                              {"Screenshot two.png", 20},
                                              {"Work/Screenshot three.png", 10},
                                              {"Work/Old/Screenshot four.png", 5}});
        QVERIFY(m_shots->lib);
        m_rig = std::make_unique<PanelRig>(*m_shots->lib);
    }
    void cleanup() {
        m_rig.reset();
        m_shots.reset();
    }

    // While the search field is edited, Ctrl+A/C/V/X/Z edit the field and
    // nothing else; other chords and an unedited field keep the panel's meaning.
    void searchFieldFirst_data() {
        QTest::addColumn<bool>("editing");
        QTest::addColumn<int>("key");
        QTest::addColumn<QList<int>>("edits");
        QTest::addColumn<int>("gridCommands");
        QTest::addColumn<QString>("toast");
        QTest::addColumn<bool>("open");
        QTest::newRow("copy in field")
            << true << int(Qt::Key_C) << QList<int>{Qt::Key_C} << 0 << "" << true;
        QTest::newRow("copy frames") << false << int(Qt::Key_C) << QList<int>{} << 1 << "" << true;
        QTest::newRow("undo in field")
            << true << int(Qt::Key_Z) << QList<int>{Qt::Key_Z} << 0 << "" << true;
        QTest::newRow("undo the library")
            << false << int(Qt::Key_Z) << QList<int>{} << 0 << "Nothing to undo" << true;
        QTest::newRow("select all in field")
            << true << int(Qt::Key_A) << QList<int>{Qt::Key_A} << 0 << "" << true;
        QTest::newRow("close while editing")
            << true << int(Qt::Key_W) << QList<int>{} << 0 << "" << false;
    }
    void searchFieldFirst() {
        QFETCH(bool, editing);
        QFETCH(int, key);
        QFETCH(QList<int>, edits);
        QFETCH(int, gridCommands);
        QFETCH(QString, toast);
        QFETCH(bool, open);
        PanelRig& r = *m_rig;
        r.ctl->expand(true);
        r.shelf.editing = editing;
        r.shelf.searchShown = editing;
        r.grid.takesCommands = true;
        QVERIFY(r.press(key));
        QCOMPARE(r.shelf.edits, edits);
        QCOMPARE(r.grid.commands, gridCommands);
        QCOMPARE(r.shelf.toasts.value(0), toast);
        QCOMPARE(r.ctl->expanded(), open);
    }

    // Keys without Ctrl are never the panel's; an unknown chord is the grid's,
    // and handled exactly when the grid used it; a letter typed on the grid
    // opens the search seeded with it.
    void chordsReachTheGrid() {
        PanelRig& r = *m_rig;
        QVERIFY(!r.press(Qt::Key_F, Qt::NoModifier, "f"));
        QCOMPARE(r.grid.commands, 0);
        QVERIFY(!r.press(Qt::Key_O));
        QCOMPARE(r.grid.commands, 1);
        r.grid.takesCommands = true;
        QVERIFY(r.press(Qt::Key_O));
        QVERIFY(r.press(Qt::Key_F));
        QVERIFY(r.shelf.editing);
        r.ctl->gridSearch("k");
        QCOMPARE(r.shelf.searches, (QStringList{"<none>", "k"}));
        QCOMPARE(r.shelf.text, QStringLiteral("k"));
    }

    // The panel's chords reach their commands: size, new folder (holding the
    // selection with Shift) and scope.
    void chordsReachTheirCommands() {
        PanelRig& r = *m_rig;
        QVERIFY(r.press(Qt::Key_Equal));
        QCOMPARE(r.ctl->thumb(), 257.6);
        QCOMPARE(r.shelf.slider, 257.6);
        QVERIFY(r.press(Qt::Key_N));
        QCOMPARE(r.prompts.asked.last(), QStringLiteral("New Folder|It goes inside “Shots”.|"));
        r.grid.chosen = {m_shots->byName("Screenshot one.png")};
        QVERIFY(r.press(Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier));
        QCOMPARE(r.prompts.asked.last(),
                 QStringLiteral("New Folder|The selected frame will move into it.|"));
        QVERIFY(r.press(Qt::Key_2));
        QCOMPARE(r.ctl->scope().kind(), Scope::Kind::all);
    }

    // Switching the scope stores it and lists it; the scope already shown
    // neither reloads nor keeps its scroll.
    void scopeKeys() {
        PanelRig& r = *m_rig;
        QVERIFY(r.press(Qt::Key_2));
        QCOMPARE(Prefs::shared().string(Key::scope), QStringLiteral("all"));
        QCOMPARE(r.grid.list.size(), 4);
        const int chips = r.shelf.chipUpdates;
        QVERIFY(r.press(Qt::Key_2));
        QCOMPARE(r.shelf.chipUpdates, chips);
        QCOMPARE(r.grid.topScrolls, 1);
        QVERIFY(r.press(Qt::Key_1));
        QCOMPARE(r.ctl->scope().kind(), Scope::Kind::session);
        QCOMPARE(r.grid.topScrolls, 2);
    }

    // The share button pops the share menu at the point under itself for the
    // selection, nothing without one; the move button pops the folders; a
    // menu the panel popped is deleted once it closed.
    void buttonMenus() {
        PanelRig& r = *m_rig;
        r.ctl->share(QPoint(10, 20));
        QVERIFY(r.popped.isEmpty());
        r.grid.chosen = {m_shots->byName("Screenshot one.png")};
        r.ctl->share(QPoint(10, 20));
        r.ctl->popMoveMenu(QPoint(5, 6));
        QCOMPARE(r.poppedAt, (QList<QPoint>{QPoint(10, 20), QPoint(5, 6)}));
        QMenu* share = r.popped.first();
        QCOMPARE(share->title(), QStringLiteral("Share"));
        emit share->aboutToShow();
        QVERIFY(menuTitles(share).contains("Email…"));
        const QStringList folders = menuTitles(r.popped.last());
        QCOMPARE(folders.first(), QStringLiteral("Shots"));
        QVERIFY(folders.contains("Work"));

        QPointer<QMenu> grid = r.ctl->menuFor(nullptr, {});
        menuRow(grid, "Select All")->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(r.grid.chosen.size(), r.grid.list.size());
        for (QMenu* menu : {share, grid.data()}) {
            emit menu->aboutToShow();
            emit menu->aboutToHide();
        }
        QTRY_VERIFY(grid.isNull() && r.popped.first().isNull());
    }
};

TAMBERK_TEST(tst_PanelShortcuts)
#include "tst_PanelShortcuts.moc"
