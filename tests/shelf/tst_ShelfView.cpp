#include "ShelfRig.h"
#include "TestEnv.h"
#include "grid/GridView.h"
#include "shelf/EmptyStateView.h"
#include "shelf/FooterBar.h"
#include "shelf/HScrollView.h"
#include "shelf/IconButton.h"
#include "shelf/PerfStrip.h"
#include "shelf/ResizeGrip.h"
#include "shelf/ResizeHandle.h"
#include "shelf/SelectionBar.h"
#include "shelf/ShelfHeader.h"
#include "shelf/ShelfLayout.h"
#include "shelf/Theme.h"

#include <QMimeData>
#include <QScrollBar>

class tst_ShelfView : public QObject {
    Q_OBJECT
private slots:
    // While frames wait for text a search may still match: say so, briefly when narrow.
    void readingHint() {
        const QString reading = "Reading text \u00b7 1,234 left";
        for (const auto& [width, query, pending, placeholder, note] :
             {std::tuple{268, "dog", 0, QStringLiteral("Search text inside frames"), ""},
              {268, "", 1234, reading, ""},
              {560, "dog", 1234, reading, "Still reading 1,234 screenshots"},
              {560, "dog", 1, QStringLiteral("Reading text \u00b7 1 left"),
               "Still reading 1 screenshot"},
              {268, "dog", 1234, reading, "Still reading 1,234"}}) {
            ShelfRig rig(QSize(width, 700));
            rig.shelf->showSearch(true, query);
            rig.shelf->setReading(pending);
            QCOMPARE(rig.field()->placeholderText(), placeholder);
            QCOMPARE(rig.shelf->search()->note(), QString(note));
            QVERIFY(!*note || rig.field()->geometry().right() < rig.shelf->search()->width() - 100);
        }
    }

    // Views sit where the layout says, band changes relayout, the side waits for a full layout.
    void viewsFollowTheLayout() {
        ShelfRig rig(QSize(300, 700));
        const auto frames = [](bool sub, bool search, DockSide side) {
            return ShelfLayout::card({QSizeF(300, 700), sub, search, side});
        };
        QCOMPARE(rig.shelf->gridTop(), frames(false, false, DockSide::right).top);
        rig.shelf->showSearch(false);
        QCOMPARE(rig.shelf->gridTop(), frames(false, true, DockSide::right).top);
        rig.shelf->updateChips(ChipTree().source(), Scope::folder("/s/a"));
        const ShelfLayout::Frames f = frames(true, true, DockSide::right);
        QVERIFY(rig.shelf->subScroll()->isVisible());
        QCOMPARE(rig.shelf->gridTop(), f.top);
        QCOMPARE(QRectF(rig.shelf->roll()->geometry()), f.roll);
        QCOMPARE(QRectF(rig.shelf->empty()->geometry()), f.empty);
        QCOMPARE(QRectF(rig.shelf->perfL()->geometry()), f.perfL);
        QCOMPARE(rig.shelf->search()->geometry().y(), int(f.search.y()));
        QCOMPARE(QRectF(rig.shelf->handle()->geometry()), f.handle);
        QCOMPARE(rig.shelf->footer()->x(), int(f.footer.x()));
        rig.shelf->setSide(DockSide::left);
        QCOMPARE(QRectF(rig.shelf->grip()->geometry()), f.grip);
        rig.shelf->layoutAll();
        QCOMPARE(QRectF(rig.shelf->grip()->geometry()), frames(true, true, DockSide::left).grip);
        QVERIFY(rig.shelf->footer()->side() == DockSide::left);
    }

    // The brand yields to a long counter and does not flicker while a search narrows it.
    void counterAndBrand() {
        ShelfRig rig;
        rig.shelf->setCount(12);
        QCOMPARE(rig.shelf->countText(), QStringLiteral("12"));
        rig.shelf->setCount(3, 12);
        QCOMPARE(rig.shelf->countText(), QStringLiteral("3/12"));
        QVERIFY(!rig.shelf->header()->brandHidden());
        rig.shelf->setCount(12345, 67890);
        QVERIFY(rig.shelf->header()->brandHidden());
        rig.shelf->setCount(3, 12);
        QVERIFY(!rig.shelf->header()->brandHidden());
        for (int width = 200; width <= 320; width += 4) {
            rig.shelf->resize(width, 700);
            rig.shelf->setCount(50, 106);
            const bool hidden = rig.shelf->header()->brandHidden();
            rig.shelf->setCount(6, 106);
            QCOMPARE(rig.shelf->header()->brandHidden(), hidden);
        }
    }

    // Opens and focuses; with text it only focuses; with an empty field it closes.
    void searchButtonCycle() {
        ShelfRig rig;
        IconButton* search = rig.shelf->header()->searchB;
        click(search);
        QVERIFY(rig.shelf->searchVisible() && rig.shelf->isEditingSearch());
        QCOMPARE(rig.receiver.calls.count("makeKey()"), 1);
        QTest::keyClicks(rig.field(), "cat");
        QCOMPARE(rig.receiver.queries, (QStringList{"c", "ca", "cat"}));
        QVERIFY(rig.shelf->search()->clearButton()->isVisible());
        rig.shelf->grid()->setFocus();
        QVERIFY(!rig.shelf->isEditingSearch());
        click(search);
        QVERIFY(rig.shelf->searchVisible() && rig.shelf->isEditingSearch());
        QCOMPARE(rig.receiver.calls.count("makeKey()"), 2);
        rig.field()->clear();
        QVERIFY(!rig.shelf->search()->clearButton()->isVisible());
        click(search);
        QVERIFY(!rig.shelf->searchVisible() && !rig.shelf->isEditingSearch());
    }

    // Down and Return hand the keyboard to the grid; Escape clears, then closes.
    void keysInTheField() {
        ShelfRig rig;
        rig.shelf->showSearch(true, QStringLiteral("x"));
        for (const auto& [key, leaves] :
             {std::pair{Qt::Key_Up, false}, {Qt::Key_Down, true}, {Qt::Key_Return, true}}) {
            rig.field()->setFocus();
            rig.key(key);
            QCOMPARE(rig.shelf->isEditingSearch(), !leaves);
            QVERIFY(rig.shelf->searchVisible());
            QCOMPARE(rig.field()->text(), QStringLiteral("x"));
            QVERIFY(!leaves || rig.shelf->window()->focusWidget() == rig.shelf->grid());
        }
        rig.field()->setFocus();
        rig.receiver.queries.clear();
        rig.key(Qt::Key_Escape);
        QVERIFY(rig.shelf->searchVisible() && rig.shelf->isEditingSearch());
        QCOMPARE(rig.field()->text(), QString());
        rig.key(Qt::Key_Escape);
        QVERIFY(!rig.shelf->searchVisible());
        QCOMPARE(rig.receiver.queries, (QStringList{"", ""}));
        QCOMPARE(rig.shelf->window()->focusWidget(), rig.shelf->grid());
    }

    // A seed without focus is dropped; with focus it replaces the text once.
    void seeding() {
        ShelfRig rig;
        rig.shelf->showSearch(false, QStringLiteral("abc"));
        QVERIFY(rig.shelf->searchVisible() && !rig.shelf->isEditingSearch());
        QCOMPARE(rig.field()->text(), QString());
        QVERIFY(rig.receiver.calls.isEmpty()); // no query, no keyboard

        rig.field()->setText(QStringLiteral("old"));
        rig.receiver.queries.clear();
        const QString seed = QStringLiteral("\u00e9t\U0001F600"); // the emoji is two UTF-16 units
        rig.shelf->showSearch(true, seed);
        QCOMPARE(rig.field()->text(), seed);
        QCOMPARE(rig.field()->cursorPosition(), 4);
        QCOMPARE(rig.receiver.queries, QStringList{seed});
        QVERIFY(rig.shelf->isEditingSearch());
        rig.shelf->hideSearch();
        rig.shelf->hideSearch();
        QCOMPARE(rig.receiver.queries, (QStringList{seed, ""}));
    }

    // Buttons and pointer reach the receiver; the selection bar takes the header's clicks.
    void header() {
        ShelfRig rig;
        IconButton* pin = rig.shelf->header()->pinB;
        rig.shelf->updatePin(true);
        const IconButton::Look pinned = pin->look();
        const QString pinnedTip = pin->toolTip();
        QCOMPARE(pin->baseTint(), Theme::ink());
        rig.shelf->updatePin(false);
        QVERIFY(pin->look().symbol != pinned.symbol && pin->toolTip() != pinnedTip);
        QCOMPARE(pin->baseTint(), Theme::ink2());
        click(pin);
        click(rig.shelf->header()->gearB);
        click(rig.shelf->header()->closeB);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(rig.shelf.get(), &leave);
        QCOMPARE(rig.receiver.calls,
                 (QStringList{"togglePin()", "showSettings()", "collapse(1)", "mouseInPanel(0)"}));
        rig.shelf->setReceiver(nullptr);
        click(rig.shelf->header()->closeB);
        QCOMPARE(rig.receiver.calls.size(), 4);

        rig.shelf->updateSelection(3);
        QVERIFY(rig.shelf->selBar()->isVisible() && rig.shelf->selBar()->n() == 3);
        rig.advance(0.5);
        QVERIFY(rig.shelf->header()->testAttribute(Qt::WA_TransparentForMouseEvents));
        rig.shelf->updateSelection(0);
        rig.advance(0.5);
        QVERIFY(!rig.shelf->selBar()->isVisible());
        QVERIFY(!rig.shelf->header()->testAttribute(Qt::WA_TransparentForMouseEvents));
    }

    // A reload keeps the chip widgets; clicks select or ask for a folder; the root has no menu.
    void chips() {
        ShelfRig rig;
        ChipTree tree;
        rig.shelf->updateChips(tree.source(), Scope::session());
        const std::vector<ChipView*> before = rig.shelf->chips();
        tree.bCount = 9;
        rig.shelf->updateChips(tree.source(), Scope::session());
        QCOMPARE(rig.shelf->chips(), before);
        QCOMPARE(rig.chip("b")->count(), 9);

        rig.shelf->updateChips(tree.source(), Scope::folder("/s/a"));
        QVERIFY(rig.shelf->subVisible() && rig.chip("a")->active());
        click(rig.chip("Session"));
        click(rig.chip("a"));
        click(rig.shelf->chips().back());
        click(rig.shelf->subChips().back());
        QCOMPARE(rig.receiver.calls,
                 (QStringList{"select(session)", "select(folder:/s/a)", "newFolderPrompt(0,)",
                              "newFolderPrompt(0,/s/a)"}));
        QVERIFY(!rig.chip("Session")->onMenu && !rig.chip("s")->onMenu);
        rig.chip("b")->onMenu();
        QCOMPARE(rig.receiver.menusAsked, QStringList{"/s/b"});
        QCOMPARE(rig.chip("b")->toolTip(), QStringLiteral("/s/b"));
    }

    // Only folder chips file, only the grid's drags: another program's must not move files.
    void dropsOnlyFromTheGrid() {
        ShelfRig rig;
        rig.shelf->updateChips(ChipTree().source(), Scope::all());
        QWidget cell(rig.shelf->grid()); // cells start the grid's drags
        QWidget stranger;
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile("/s/one.png")});
        for (const auto& [chip, source] : {std::pair<const char*, const QObject*>{"b", &cell},
                                           {"b", &stranger},
                                           {"b", nullptr},
                                           {"Session", &cell}}) {
            const bool accepted = source == &cell && QString(chip) == "b";
            // The built chip's twin, its drags from `source` (hand-made events have none).
            struct Probe : ChipView {
                using ChipView::ChipView;
                const QObject* from = nullptr;
                const QObject* dragSource(const QDropEvent*) const override { return from; }
            } probe(rig.chip(chip)->def(), rig.shelf.get());
            probe.from = source;
            probe.onDrop = rig.chip(chip)->onDrop;
            probe.setDropSource(rig.shelf->grid());
            QCOMPARE(probe.acceptDrops(), rig.chip(chip)->acceptDrops());
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
            enter.ignore();
            QApplication::sendEvent(&probe, &enter);
            QCOMPARE(enter.isAccepted(), accepted);
            QCOMPARE(probe.dropHover(), accepted);
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
            drop.ignore();
            QApplication::sendEvent(&probe, &drop);
            QCOMPARE(drop.isAccepted(), accepted);
            QVERIFY(!probe.dropHover());
            QCOMPARE(rig.receiver.calls,
                     accepted ? QStringList{"dropSelection(/s/b)"} : QStringList{});
            rig.receiver.calls.clear();
        }
    }

    // The perforations travel with the roll's scroll offset.
    void perforationsFollowTheScroll() {
        ShelfRig rig;
        rig.shelf->grid()->resize(236, 3000);
        rig.shelf->roll()->verticalScrollBar()->setValue(44);
        QCOMPARE(rig.shelf->perfL()->shift(), ShelfLayout::perforationShift(44));
        QCOMPARE(rig.shelf->perfR()->shift(), ShelfLayout::perforationShift(44));
    }
};

TAMBERK_TEST(tst_ShelfView)
#include "tst_ShelfView.moc"
