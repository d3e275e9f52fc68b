#include "PanelRig.h"
#include "TestEnv.h"
#include "WidgetInput.h"
#include "grid/GridInteraction.h"
#include "grid/GridView.h"
#include "grid/PreviewWindow.h"
#include "panel/DialogPrompts.h"
#include "panel/EdgeTab.h"
#include "panel/PanelGeometry.h"
#include "panel/ScreenChoice.h"
#include "panel/ShelfPanel.h"
#include "panel/TabLayout.h"
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

// `r` in device pixels (`origin`: its frame's); empty unless every edge is on a whole pixel.
QRect onPixels(const QRectF& r, double scale, QPoint origin = {}) {
    const QRectF d(r.topLeft() * scale + QPointF(origin), r.size() * scale);
    for (double edge : {d.left(), d.top(), d.right(), d.bottom()})
        if (qAbs(edge - std::round(edge)) > 1e-6)
            return {};
    return d.toRect();
}

// The distance in device pixels from `r` to the docking edge of `bounds`.
int edgeGap(const QRect& r, const QRect& bounds, DockSide side) {
    return side == DockSide::right ? bounds.right() - r.right() : r.left() - bounds.left();
}

} // namespace

// The controller with its real card under recording windows, the tab and the dialogs.
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
        // Checked after the dialog closed, so that a failure cannot leave it open and hang.
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

using namespace PanelGeometry;

Q_DECLARE_METATYPE(ScreenFrames)

class tst_PanelGeometry : public QObject {
    Q_OBJECT
private slots:
    void placement_data() {
        QTest::addColumn<ScreenFrames>("screen");
        const QRectF wide(0, 0, 1920, 1080), wideVisible(0, 0, 1920, 1040);
        QTest::newRow("panel on top") << standardScreen();
        QTest::newRow("narrow") << ScreenFrames{QRectF(0, 0, 240, 800), QRectF(0, 0, 240, 800)};
        QTest::newRow("second screen")
            << ScreenFrames{wide.translated(1440, 0), wideVisible.translated(1440, 0)};
        // Visible frames shorter than the tab, and inset on one side only.
        QTest::newRow("tall panel")
            << ScreenFrames{QRectF(0, 0, 800, 300), QRectF(0, 200, 760, 100)};
        QTest::newRow("dock at the left")
            << ScreenFrames{QRectF(0, 0, 1440, 900), QRectF(60, 0, 1380, 900)};
        // Fractional ratios of 1440 × 900; at 1.75 the 823 × 514 points end off whole pixels.
        for (const auto& [scale, w, h] :
             {std::tuple{1.25, 1152, 720}, {1.5, 960, 600}, {1.75, 823, 514}}) {
            const QRectF full(0, 0, w, h);
            QTest::addRow("scale %g", scale) << ScreenFrames{full, full, scale};
        }
    }
    void placement() {
        QFETCH(ScreenFrames, screen);
        const double s = screen.scale;
        const QPointF o = screen.full.topLeft();
        const auto pixels = [&](const QRectF& r) {
            return QRectF((r.topLeft() - o) * s, r.size() * s).toRect();
        };
        const QRect full = pixels(screen.full), visible = pixels(screen.visible);
        for (DockSide side : {DockSide::left, DockSide::right}) {
            const QRect window = deviceRect(windowFrame(screen, side).toRect(), screen);
            QCOMPARE(QRectF(windowFrame(screen, side).toRect()), windowFrame(screen, side));
            QVERIFY(full.contains(window));
            QCOMPARE(edgeGap(window, full, side), 0);
            QCOMPARE(window.height(), full.height());
            QVERIFY(window.width() >= std::min(double(full.width()),
                                               (maxWidth(screen) + inset + windowExtra - 0.5) * s));
            for (double width : {100.0, 268.0, 300.5, 5000.0}) {
                const QRect card = onPixels(cardInWindow(screen, side, width), s, window.topLeft());
                QVERIFY2(!card.isEmpty(), "off whole pixels");
                QCOMPARE(card, onPixels(cardScreenFrame(screen, side, width).translated(-o), s));
                QVERIFY(window.contains(card));
                QVERIFY(qAbs(card.width() - clampWidth(width, screen) * s) < 1);
                QVERIFY(qAbs(edgeGap(card, visible, side) - inset * s) < 1);
                QVERIFY(qAbs(card.top() - visible.top() - inset * s) < 1);
                QVERIFY(qAbs(visible.bottom() - card.bottom() - inset * s) < 1);
            }

            // The tab: on the visible edge, centred on the screen within the visible frame.
            const QRectF tabFrame = TabLayout::windowFrame(screen, side);
            QCOMPARE(side == DockSide::left ? tabFrame.left() : tabFrame.right(),
                     side == DockSide::left ? screen.visible.left() : screen.visible.right());
            // A visible frame shorter than the tab puts it at the frame's top.
            const double top = std::max(screen.visible.top(),
                                        std::min(screen.full.center().y() - TabLayout::height / 2,
                                                 screen.visible.bottom() - TabLayout::height));
            QVERIFY(qAbs(tabFrame.top() - top) <= 0.5);
            const QRectF wanted = pixelAligned(tabFrame, screen);
            const QRect tabWindow = windowOnPixels(wanted, screen);
            const QRect tab = deviceRect(tabWindow, screen);
            QCOMPARE(edgeGap(tab, visible, side), 0);
            const QRectF idle = TabLayout::placedPill(TabLayout::pillRect(0, false, side),
                                                      inWindow(wanted, tabWindow, screen), side, s);
            const QRect pill = onPixels(idle, s, tab.topLeft());
            QVERIFY2(!pill.isEmpty(), "pill off whole pixels");
            QVERIFY(tab.contains(pill));
            QCOMPARE(edgeGap(pill, visible, side), 0);
        }
    }

    // Drags measure from the docking edge, so the sides mirror each other.
    void dragWidths() {
        const ScreenFrames screen = standardScreen();
        const QRectF& v = screen.visible;
        QVERIFY(gripWidth(268, 30, DockSide::left) > 268);
        QCOMPARE(gripWidth(268, 30, DockSide::left) - 268,
                 268 - gripWidth(268, 30, DockSide::right));
        for (double x : {400.4, 1000.0}) {
            const double left = handleWidth(x, DockSide::left, screen);
            QCOMPARE(handleWidth(v.right() - (x - v.left()), DockSide::right, screen), left);
            QVERIFY(handleWidth(x + 10, DockSide::left, screen) > left);
            const double live = liveWidth(left, screen);
            QCOMPARE(live, std::round(live));
            QVERIFY(qAbs(live - left) <= 0.5);
        }
        QCOMPARE(liveWidth(5000, screen), std::round(maxWidth(screen)));
        QCOMPARE(liveWidth(0, screen), minW);
    }

    void stripAndBoard() {
        const ScreenFrames screen = standardScreen();
        for (double thumb : {110.0, 224.0, 400.0, 720.0}) {
            const double strip = stripWidth(thumb, screen), board = boardWidth(thumb, screen);
            QVERIFY(oneColumn(strip, thumb));
            QVERIFY(!oneColumn(strip + gridGap + thumb, thumb));
            QVERIFY(board > strip && board <= maxWidth(screen));
            QCOMPARE(toggleTarget(strip, thumb, screen), board);
            if (!oneColumn(board, thumb))
                QCOMPARE(toggleTarget(board, thumb, screen), strip);
        }
        // The defaults make a strip.
        QCOMPARE(stripWidth(224, screen), 268.0);
    }

    // What tst_Screens' two screens do not show.
    void screenChoice_data() {
        QTest::addColumn<int>("primary");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<int>("picked");
        QTest::newRow("primary is second") << 1 << "primary" << QPoint(10, 10) << 1;
        QTest::newRow("pointer off screens") << 0 << "pointer" << QPoint(100, 1000) << 0;
        QTest::newRow("damaged") << 1 << "elsewhere" << QPoint(10, 10) << 1;
    }
    void screenChoice() {
        QFETCH(int, primary);
        QFETCH(QString, choice);
        QFETCH(QPoint, pointer);
        QFETCH(int, picked);
        // A 1440 × 900 laptop and a taller 1920 × 1080 monitor to its right.
        const QList<ScreenChoice::Screen> screens{{"eDP-1", QRect(0, 0, 1440, 900)},
                                                  {"HDMI-1", QRect(1440, 0, 1920, 1080)}};
        const std::optional<QPoint> at(pointer);
        QCOMPARE(ScreenChoice::pick(screens, primary, choice, at), picked);
        QCOMPARE(ScreenChoice::pick({}, 0, choice, at), -1);
    }

    // Square on the edge, round inside; grows idle < hovered < counting.
    void pill() {
        using namespace TabLayout;
        const QSizeF idle = pillSize(0, false), hovered = pillSize(0, true),
                     counting = pillSize(1, false);
        QCOMPARE(pillSize(1, true), counting);
        QVERIFY(idle.width() < hovered.width() && hovered.width() < counting.width());
        QVERIFY(idle.height() < hovered.height() && hovered.height() < counting.height());
        for (DockSide side : {DockSide::left, DockSide::right}) {
            const bool right = side == DockSide::right;
            for (int unseen : {0, 3}) {
                const QRectF pill = pillRect(unseen, false, side);
                QCOMPARE(right ? pill.right() : pill.left(), right ? width : 0.0);
                QCOMPARE(pill.center().y(), height / 2);
                const QRectF holes = holesRect(pill, unseen);
                QVERIFY(pill.contains(holes));
                QVERIFY(holeCount(holes.height()) * step >= holes.height() + 2 * step);
                if (unseen) {
                    const QRectF count = countRect(pill);
                    QVERIFY(pill.contains(count));
                    QVERIFY(count.bottom() <= holes.top());
                }
                const QPainterPath path = pillPath(pill, side);
                const QPointF inner = right ? pill.topLeft() : pill.topRight();
                const QPointF edge = right ? pill.topRight() : pill.topLeft();
                QVERIFY(!path.contains(inner + QPointF(right ? 0.3 : -0.3, 0.3)));
                QVERIFY(path.contains(edge + QPointF(right ? 0.5 : -0.5, 0.3)));
                QVERIFY(path.contains(pill.center()));
            }
        }
    }

    // The count stops at 99; the film runs one to three frames.
    void countAndAdvance() {
        QCOMPARE(TabLayout::countText(99), QStringLiteral("99"));
        QCOMPARE(TabLayout::countText(150), QStringLiteral("99"));
        QCOMPARE(TabLayout::advanceRepeats(0), 2);
        QCOMPARE(TabLayout::advanceRepeats(3), 6);
        QCOMPARE(TabLayout::advanceRepeats(8), 6);
    }
};

TAMBERK_TEST(tst_PanelCard)
TAMBERK_TEST(tst_PanelGeometry)
#include "tst_PanelCard.moc"
