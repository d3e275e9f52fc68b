#include "PanelRig.h"
#include "TestEnv.h"
#include "WidgetInput.h"
#include "grid/GridInteraction.h"
#include "grid/GridView.h"
#include "grid/PreviewWindow.h"
#include "panel/DialogPrompts.h"
#include "panel/EdgeTab.h"
#include "panel/ShelfPanel.h"
#include "shelf/EmptyStateView.h"
#include "shelf/FooterBar.h"
#include "shelf/IconButton.h"
#include "shelf/ResizeGrip.h"
#include "shelf/SearchBox.h"
#include "shelf/SelectionBar.h"
#include "shelf/ToastView.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QTimer>

namespace {

QPushButton* button(QWidget* dialog, const QString& text) {
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

// The controller with its real widgets: the card (shelf and grid) under
// recording windows, the panel window's keys, the tab and the dialogs.
class tst_PanelCard : public QObject {
    Q_OBJECT

    std::unique_ptr<PanelLibrary> m_shots;
    std::unique_ptr<PanelRig> m_rig;

private slots:
    void init() {
        m_shots = std::make_unique<PanelLibrary>(QList<std::pair<QString, double>>{
            {"Screenshot one.png", 30}, {"Screenshot two.png", 20}, {"Screenshot three.png", 10}});
        QVERIFY(m_shots->lib);
        m_rig = std::make_unique<PanelRig>(*m_shots->lib, true);
        m_rig->ctl->expand(false);
    }
    void cleanup() {
        m_rig.reset();
        m_shots.reset();
    }

    // While the field is edited, Ctrl+C/X/Z are the field's, not the frames'.
    void ctrlCInTheSearchField() {
        PanelRig& r = *m_rig;
        r.card->show();
        r.card->showSearch(true, QStringLiteral("invoice"));
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

    // The roll filled before the card showed: the grid still spans it.
    void countAndEmptyState() {
        PanelRig& r = *m_rig;
        r.card->show(); // the panel maps the card after filling it
        QCOMPARE(r.card->grid()->width(), r.card->roll()->width());
        QCOMPARE(r.card->grid()->columns(), 1);
        QVERIFY(!r.card->empty()->isVisible());
        r.ctl->setQuery(QStringLiteral("nothing like it"));
        r.advanceBy(0.2);
        QCOMPARE(r.card->countText(), QStringLiteral("0/3"));
        QVERIFY(r.card->empty()->isVisible());
        QCOMPARE(r.card->empty()->state()->kind, EmptyStateView::State::Kind::noMatches);
    }

    // A drag's width counts from where the drag began.
    void sliderAndGrip() {
        PanelRig& r = *m_rig;
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

    void selectionBarButtons() {
        Prefs::shared().set(Key::confirmDelete, false);
        PanelRig& r = *m_rig;
        GridView* grid = r.card->grid();
        const QString one = grid->shots().first()->path;
        grid->setSelection({one});
        r.card->selBar()->copyB->onClick();
        QCOMPARE(r.copied.size(), 1);
        r.card->selBar()->trashB->onClick();
        QVERIFY(!QFile::exists(one));
        QCOMPARE(r.card->toast()->action(), std::optional<QString>(QStringLiteral("Undo")));
        grid->setSelection({grid->shots().last()->path});
        r.card->selBar()->clearB->onClick();
        QVERIFY(grid->selection().isEmpty());
        QCOMPARE(r.card->selBar()->n(), 0);
    }

    // Closed by the collapse it must not take the keyboard back (Esc: tst_PanelWindows).
    void previewClosedByCollapse() {
        PanelRig& r = *m_rig;
        r.card->show();
        GridView* grid = r.card->grid();
        grid->setSelection({grid->shots().first()->path});
        r.cardGrid->togglePreview();
        PreviewWindow* preview = grid->interaction().preview();
        QVERIFY(preview && QTest::qWaitForWindowActive(preview));
        r.panel.key = false;
        r.ctl->collapse(true);
        r.advanceBy(0.5);
        QCOMPARE(preview->state(), PreviewWindow::State::Closed);
        QVERIFY(!r.panel.key);
    }

    // Ctrl chords first, Esc only when nothing in the card took it.
    void panelWindowKeys() {
        PanelRig& r = *m_rig;
        ShelfPanel window(false);
        window.setController(r.ctl.get());
        QTest::keyClick(&window, Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(r.ctl->thumb(), PanelCommands::steppedThumb(224, true));
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!r.ctl->expanded());
    }

    // The later call wins over a running fade; a tab turned off stays hidden.
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

    // One menu at a time, none without one (its hold and end: tst_PanelWindows).
    void tabMenu() {
        EdgeTab tab(false);
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
        QVERIFY(tab.openMenu());
        rightClick();
        QCOMPARE(asked, 1);
        tab.openMenu()->hide();
    }

    // A refused name keeps the prompt open and says why (the rest: tst_MenuWalk).
    void namePrompt() {
        DialogPrompts prompts([](bool) {});
        // Observed inside, checked after the dialog closed, so a failure
        // cannot leave it open and hang the test.
        QString shown;
        bool blankEnabled = true, stillOpen = false, cleared = false;
        QTimer::singleShot(0, [&] {
            if (!QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }))
                return;
            QWidget* dialog = QApplication::activeModalWidget();
            auto* field = dialog->findChild<QLineEdit*>();
            auto* problem = dialog->findChild<QLabel*>("problem");
            field->setText("   ");
            blankEnabled = button(dialog, "Create")->isEnabled();
            field->setText(".hidden");
            button(dialog, "Create")->click();
            shown = problem->isVisible() ? problem->text() : QString();
            stillOpen = dialog->isVisible();
            field->setText("  Receipts \n");
            cleared = !problem->isVisible();
            button(dialog, "Create")->click();
        });
        QStringList tried;
        const std::optional<QString> answer =
            prompts.prompt("New Folder", "", "initial", "Create", [&](const QString& name) {
                tried << name;
                return name.startsWith('.') ? QStringLiteral("A name can't start with a dot")
                                            : QString();
            });
        QVERIFY(!blankEnabled);
        QCOMPARE(shown, QStringLiteral("A name can't start with a dot"));
        QVERIFY(stillOpen);
        QVERIFY(cleared);
        QCOMPARE(tried, (QStringList{".hidden", "Receipts"}));
        QCOMPARE(answer, std::optional<QString>(QStringLiteral("Receipts")));
    }
};

TAMBERK_TEST(tst_PanelCard)
#include "tst_PanelCard.moc"
