#include "PanelRig.h"
#include "TestEnv.h"
#include "grid/GridInteraction.h"
#include "grid/GridView.h"
#include "grid/PreviewWindow.h"
#include "panel/ShelfPanel.h"
#include "shelf/EmptyStateView.h"
#include "shelf/FooterBar.h"
#include "shelf/IconButton.h"
#include "shelf/ResizeGrip.h"
#include "shelf/SearchBox.h"
#include "shelf/SelectionBar.h"
#include "shelf/ToastView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScrollArea>
#include <QTest>

// The controller on the real card (shelf and grid), with recording windows.
class tst_PanelCard : public QObject {
    Q_OBJECT

    std::unique_ptr<PanelLibrary> m_shots;
    Library* m_lib = nullptr;

private slots:
    void init() {
        m_shots = std::make_unique<PanelLibrary>(QList<std::pair<QString, double>>{
            {"Screenshot one.png", 30}, {"Screenshot two.png", 20}, {"Screenshot three.png", 10}});
        m_lib = m_shots->lib.get();
        QVERIFY(m_lib);
    }
    void cleanup() { m_shots.reset(); }

    // Ctrl+C while the search field is edited copies the field's text, not
    // the frames; Ctrl+X cuts it and Ctrl+Z brings it back.
    void ctrlCInTheSearchField() {
        PanelRig r(*m_lib, true);
        r.ctl->expand(false);
        r.card->show();
        r.card->showSearch(true, QStringLiteral("invoice"));
        QVERIFY(r.card->isEditingSearch());
        QGuiApplication::clipboard()->clear();
        QVERIFY(r.press(Qt::Key_A));
        QVERIFY(r.press(Qt::Key_C));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("invoice"));
        QVERIFY(r.copied.isEmpty());
        QVERIFY(r.press(Qt::Key_X));
        QCOMPARE(r.card->search()->field()->text(), QString());
        QVERIFY(r.press(Qt::Key_Z));
        QCOMPARE(r.card->search()->field()->text(), QStringLiteral("invoice"));
    }

    // The grid spans the roll, and the counter and the empty state on the card
    // follow the query (what they say: tst_PanelController, tst_Overlays).
    void countAndEmptyState() {
        PanelRig r(*m_lib, true);
        r.ctl->expand(false);
        r.card->show(); // the panel maps the card after filling it
        // The roll was filled before the card was shown: the grid still spans it.
        QCOMPARE(r.card->grid()->width(), r.card->roll()->width());
        QCOMPARE(r.card->grid()->columns(), 1);
        QCOMPARE(r.card->countText(), QStringLiteral("3"));
        QVERIFY(!r.card->empty()->isVisible());
        r.ctl->setQuery(QStringLiteral("nothing like it"));
        r.advanceBy(0.2);
        QCOMPARE(r.card->countText(), QStringLiteral("0/3"));
        QVERIFY(r.card->empty()->isVisible());
        QCOMPARE(r.card->empty()->state()->kind, EmptyStateView::State::Kind::noMatches);
    }

    // The footer slider sets the thumbnail size live; the grip's drag moves the
    // card's width from where the drag began and ends the resize.
    void sliderAndGrip() {
        PanelRig r(*m_lib, true);
        r.ctl->expand(false);
        r.card->footer()->onChange(300);
        QCOMPARE(r.ctl->thumb(), 300.0);
        QCOMPARE(r.card->grid()->target(), 300.0);
        const double before = r.ctl->width();
        r.card->grip()->onBegin();
        QVERIFY(r.ctl->resizing());
        r.card->grip()->onDrag(-40);
        r.card->grip()->onEnd();
        QCOMPARE(r.ctl->width(), before + 40);
        QVERIFY(!r.ctl->resizing());
    }

    // The selection bar follows the grid's selection; its copy and trash
    // buttons run the commands on the selected frames with the shelf's toast
    // (whose texts and undo tst_PanelCommands checks); its clear button
    // empties the selection.
    void selectionBarButtons() {
        Prefs::shared().set(Key::confirmDelete, false);
        PanelRig r(*m_lib, true);
        r.ctl->expand(false);
        GridView* grid = r.card->grid();
        const QString one = grid->shots().first()->path;
        grid->setSelection({one});
        QCOMPARE(r.card->selBar()->n(), 1);
        r.card->selBar()->copyB->onClick();
        QCOMPARE(r.copied.size(), 1);
        QCOMPARE(r.card->toast()->text(), QStringLiteral("Copied"));
        r.card->selBar()->trashB->onClick();
        QVERIFY(!QFile::exists(one));
        QCOMPARE(r.card->toast()->action(), std::optional<QString>(QStringLiteral("Undo")));
        grid->setSelection({grid->shots().last()->path});
        r.card->selBar()->clearB->onClick();
        QVERIFY(grid->selection().isEmpty());
        QCOMPARE(r.card->selBar()->n(), 0);
    }

    // A preview that had the keyboard hands it back to the open panel and its
    // grid when Esc closes it; one closed by the panel's collapse asks for
    // nothing.
    void previewHandsTheKeysBack() {
        PanelRig r(*m_lib, true);
        r.ctl->expand(false);
        r.card->show();
        GridView* grid = r.card->grid();
        grid->setSelection({grid->shots().first()->path});
        r.cardGrid->togglePreview();
        PreviewWindow* preview = grid->interaction().preview();
        QVERIFY(preview && QTest::qWaitForWindowActive(preview));
        r.advanceBy(0.5);
        r.panel.key = false;
        QTest::keyClick(preview, Qt::Key_Escape);
        r.advanceBy(0.5);
        QCOMPARE(preview->state(), PreviewWindow::State::Closed);
        QVERIFY(r.panel.key);
        QCOMPARE(r.card->focusWidget(), grid);

        r.cardGrid->togglePreview();
        QVERIFY(QTest::qWaitForWindowActive(preview));
        r.ctl->collapse(true);
        r.advanceBy(0.5);
        QCOMPARE(preview->state(), PreviewWindow::State::Closed);
        QVERIFY(!r.panel.key);
    }

    // Keys typed in the panel window reach the controller: Ctrl chords first,
    // Esc when nothing in the card took it.
    void panelWindowKeys() {
        PanelRig r(*m_lib, true);
        ShelfPanel window(false);
        window.setController(r.ctl.get());
        r.ctl->expand(false);
        QTest::keyClick(&window, Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(r.ctl->thumb(), 257.6);
        QVERIFY(r.ctl->expanded());
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!r.ctl->expanded());
    }
};

TAMBERK_TEST(tst_PanelCard)
#include "tst_PanelCard.moc"
