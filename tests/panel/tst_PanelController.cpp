#include "PanelRig.h"
#include "TestEnv.h"
#include "panel/PanelGeometry.h"

#include <QSignalSpy>
#include <QTest>

class tst_PanelController : public QObject {
    Q_OBJECT

    std::unique_ptr<PanelLibrary> m_shots;
    Library* m_lib = nullptr;
    QString m_root;

    std::unique_ptr<PanelRig> rig() { return std::make_unique<PanelRig>(*m_lib); }

private slots:
    void init() {
        // Every case starts from the registered defaults.
        m_shots = std::make_unique<PanelLibrary>(
            QList<std::pair<QString, double>>{{"Screenshot one.png", 30},
                                              {"Screenshot two.png", 20},
                                              {"Work/Screenshot three.png", 10}},
            [](const QString& root) { QDir(root).mkdir("Empty"); });
        m_lib = m_shots->lib.get();
        QVERIFY(m_lib);
        m_root = m_shots->root;
    }
    void cleanup() { m_shots.reset(); }

    // Resting on the tab opens the panel only after 0.14 s; a hover open with
    // the pointer left on the tab closes 1.4 s later and never takes focus.
    void hoverOpensAfterItsDelay_data() {
        QTest::addColumn<double>("rest");
        QTest::addColumn<bool>("opens");
        QTest::newRow("0.1 s") << 0.1 << false;
        QTest::newRow("0.2 s") << 0.2 << true;
    }
    void hoverOpensAfterItsDelay() {
        QFETCH(double, rest);
        QFETCH(bool, opens);
        auto r = rig();
        r->ctl->tabHover(true);
        r->advanceBy(rest);
        if (!opens)
            r->ctl->tabHover(false);
        r->advanceBy(0.5);
        QCOMPARE(r->ctl->expanded(), opens);
        QCOMPARE(r->panel.shown, opens);
        QCOMPARE(r->tab.visible, !opens);
        if (!opens)
            return;
        QVERIFY(!r->panel.key);
        r->advanceTo(0.14 + 1.39);
        QVERIFY(r->ctl->expanded());
        r->advanceTo(0.14 + 1.41);
        QVERIFY(!r->ctl->expanded());
        QVERIFY(r->tab.visible);
    }

    // With reveal off hovering never opens; a tab click still does, takes
    // focus with the click's time, and a second click closes.
    void revealOffStillOpensOnClick() {
        Prefs::shared().set(Key::reveal, false);
        auto r = rig();
        r->ctl->tabHover(true);
        r->advanceBy(1);
        QVERIFY(!r->ctl->expanded());
        r->ctl->tabClicked(4711);
        QVERIFY(r->ctl->expanded());
        QCOMPARE(r->panel.keyTimestamps, QList<quint32>{4711});
        QCOMPARE(r->grid.focuses, 1);
        r->ctl->tabClicked(4712);
        QVERIFY(!r->ctl->expanded());
        QVERIFY(!r->panel.key);
    }

    // A press on the tab cancels the pending hover open.
    void pressCancelsHover() {
        auto r = rig();
        r->ctl->tabHover(true);
        r->advanceBy(0.1);
        r->ctl->tabPressed();
        r->advanceBy(0.5);
        QVERIFY(!r->ctl->expanded());
    }

    // An open menu holds the panel open when the pointer leaves the card;
    // the menu's close releases the hold on the next turn and the panel
    // closes 0.6 s later.
    void menuHoldsThePanel() {
        auto r = rig();
        r->pointer = QPointF(1300, 400);
        r->ctl->expand(false);
        QVERIFY(r->ctl->mouseInside());
        r->ctl->menuWillOpen();
        r->pointer = QPointF(200, 400);
        r->advanceBy(2);
        QVERIFY(r->ctl->expanded());
        // While held the panel keeps the pointer: a click outside closes the menu only.
        QVERIFY(!r->panel.ignoring);
        const double closed = r->animator.now();
        r->ctl->menuDidClose();
        QCOMPARE(r->ctl->holds(), 1);
        QTRY_COMPARE(r->ctl->holds(), 0);
        r->advanceTo(closed + 0.59);
        QVERIFY(r->ctl->expanded());
        r->advanceTo(closed + 0.61);
        QVERIFY(!r->ctl->expanded());
    }

    // A panel opened from the keyboard stays open when a dialog or menu it
    // held closes with the pointer away (its Undo toast would go with it),
    // unless it did not get the keyboard back; opened by the pointer, it
    // closes 0.6 s later.
    void releasedHoldWithThePointerAway_data() {
        QTest::addColumn<bool>("byKeyboard");
        QTest::addColumn<bool>("keyBack");
        QTest::addColumn<bool>("stays");
        QTest::newRow("keyboard, key back") << true << true << true;
        QTest::newRow("keyboard, key refused") << true << false << false;
        QTest::newRow("pointer") << false << true << false;
    }
    void releasedHoldWithThePointerAway() {
        QFETCH(bool, byKeyboard);
        QFETCH(bool, keyBack);
        QFETCH(bool, stays);
        auto r = rig();
        r->pointer = QPointF(200, 400);
        r->ctl->expand(byKeyboard, 1);
        r->ctl->hold(true);
        r->panel.key = false; // the dialog has the keyboard
        r->advanceBy(1);
        r->ctl->hold(false);
        r->panel.key = keyBack;
        r->advanceBy(1);
        QCOMPARE(r->ctl->expanded(), stays);
    }

    // Releasing a hold never taken leaves the count at 0. While the panel is
    // open, text recognition leaves a core to the roll.
    void holdsNeverGoNegative() {
        auto r = rig();
        QVERIFY(!m_lib->text().foreground());
        r->ctl->hold(false);
        r->ctl->hold(false);
        QCOMPARE(r->ctl->holds(), 0);
        r->ctl->hold(true);
        QCOMPARE(r->ctl->holds(), 1);
        r->ctl->collapse(true); // nothing to close, holds untouched
        r->ctl->expand(false);
        QVERIFY(m_lib->text().foreground());
        r->ctl->collapse(true);
        QCOMPARE(r->ctl->holds(), 0);
        QVERIFY(!m_lib->text().foreground());
    }

    // While the search field is edited, leaving the card keeps the panel
    // open; losing focus with the pointer outside closes it after 0.25 s.
    void searchEditingKeepsThePanel() {
        auto r = rig();
        r->pointer = QPointF(1300, 400);
        r->ctl->expand(true, 1);
        r->shelf.editing = true;
        r->pointer = QPointF(200, 400);
        r->advanceBy(2);
        QVERIFY(r->ctl->expanded());
        QVERIFY(!r->ctl->mouseInside());
        const double resigned = r->animator.now();
        r->ctl->resignedKey();
        r->advanceTo(resigned + 0.24);
        QVERIFY(r->ctl->expanded());
        r->advanceTo(resigned + 0.26);
        QVERIFY(!r->ctl->expanded());
    }

    // Escape clears a search, then hides the field, then clears the
    // selection, then closes the panel even when pinned.
    void escapeChain() {
        Prefs::shared().set(Key::pinned, true);
        auto r = rig();
        r->ctl->expand(true, 1);
        r->shelf.searchShown = r->shelf.editing = true;
        r->shelf.text = QStringLiteral("invoice");
        r->grid.selected = 2;

        r->ctl->escape();
        QCOMPARE(r->shelf.text, QString());
        QVERIFY(r->shelf.searchShown);
        r->ctl->escape();
        QVERIFY(!r->shelf.searchShown);
        QCOMPARE(r->grid.selected, 2);
        r->ctl->escape();
        QCOMPARE(r->grid.selected, 0);
        QVERIFY(r->ctl->expanded());
        r->ctl->escape();
        QVERIFY(!r->ctl->expanded());
    }

    // Pinned: leaving the card does not close, the shortcut's forced close does;
    // unpinning with the pointer outside closes 0.6 s later.
    void pinKeepsOpen() {
        auto r = rig();
        r->ctl->togglePin();
        QVERIFY(r->shelf.pinned);
        QVERIFY(r->ctl->expanded());
        r->pointer = r->inCard();
        r->advanceBy(0.1);
        r->pointer = QPointF(200, 400);
        r->advanceBy(2);
        QVERIFY(r->ctl->expanded());
        const double unpinned = r->animator.now();
        r->ctl->togglePin();
        QVERIFY(!Prefs::shared().boolean(Key::pinned));
        r->advanceTo(unpinned + 0.59);
        QVERIFY(r->ctl->expanded());
        r->advanceTo(unpinned + 0.61);
        QVERIFY(!r->ctl->expanded());

        Prefs::shared().set(Key::pinned, true);
        r->ctl->expand(false);
        r->ctl->collapse(false);
        QVERIFY(r->ctl->expanded());
        r->ctl->collapse(true);
        QVERIFY(!r->ctl->expanded());
    }

    // Returning to the card cancels the pending close; leaving closes 0.45 s later.
    void pointerLeavingCloses() {
        auto r = rig();
        r->pointer = r->inCard();
        r->ctl->expand(false);
        r->pointer = QPointF(200, 400);
        r->advanceBy(0.3);
        r->pointer = r->inCard();
        r->advanceBy(1);
        QVERIFY(r->ctl->expanded());
        r->pointer = QPointF(200, 400);
        r->advanceBy(0.02);
        const double left = r->animator.now();
        r->advanceTo(left + 0.43);
        QVERIFY(r->ctl->expanded());
        r->advanceTo(left + 0.47);
        QVERIFY(!r->ctl->expanded());
    }

    // Outside the card the pointer passes through; while held it does not,
    // except during a drag-out; a width drag keeps it.
    void passThrough_data() {
        QTest::addColumn<bool>("inside");
        QTest::addColumn<int>("holds");
        QTest::addColumn<bool>("dragging");
        QTest::addColumn<bool>("resizing");
        QTest::addColumn<bool>("ignores");
        QTest::newRow("inside") << true << 0 << false << false << false;
        QTest::newRow("outside") << false << 0 << false << false << true;
        QTest::newRow("outside held") << false << 1 << false << false << false;
        QTest::newRow("outside drag-out") << false << 1 << true << false << true;
        QTest::newRow("outside resizing") << false << 0 << false << true << false;
    }
    void passThrough() {
        QFETCH(bool, inside);
        QFETCH(int, holds);
        QFETCH(bool, dragging);
        QFETCH(bool, resizing);
        QFETCH(bool, ignores);
        Prefs::shared().set(Key::pinned, true); // keeps the panel open throughout
        auto r = rig();
        r->ctl->expand(false);
        for (int i = 0; i < holds; ++i)
            r->ctl->hold(true);
        if (resizing)
            r->ctl->gripBegan();
        r->ctl->gridDrag(nullptr, dragging);
        r->pointer = inside ? r->inCard() : QPointF(200, 400);
        r->advanceBy(0.05);
        QCOMPARE(r->panel.ignoring, ignores);
        QCOMPARE(r->ctl->mouseInside(), inside);
    }

    // The pointer is read only while the panel is open: at frame rate while
    // it moves, backing off to four reads a second while it rests, with no
    // animation frames meanwhile; a move is seen within that quarter second.
    void pollsOnlyWhileOpen() {
        auto r = rig();
        QVERIFY(!r->animator.ticking());
        r->ctl->expand(false);
        QVERIFY(r->ctl->polling());
        r->advanceBy(1);
        const int settled = r->pointerReads;
        r->advanceBy(10);
        QVERIFY(!r->animator.ticking());
        QVERIFY2(r->pointerReads - settled <= 41, qPrintable(QString::number(r->pointerReads)));
        r->pointer = r->inCard();
        r->advanceBy(0.26);
        QVERIFY(r->ctl->mouseInside());
        const int moving = r->pointerReads;
        for (int i = 0; i < 30; ++i) {
            r->pointer += QPointF(0, 1);
            r->advanceBy(1.0 / 60);
        }
        QVERIFY(r->pointerReads - moving >= 29);
        r->ctl->collapse(true);
        QVERIFY(!r->ctl->polling());
        const int closed = r->pointerReads;
        r->advanceBy(5);
        QCOMPARE(r->pointerReads, closed);
        QVERIFY(!r->animator.ticking());
        QVERIFY(!r->panel.ignoring);
    }

    // Expanding, collapsing and expanding again keeps the panel on screen:
    // the first fade-out's end does not unmap it. A fade-out that ends
    // collapsed does.
    void expandCollapseExpand() {
        auto r = rig();
        r->ctl->expand(false);
        r->ctl->collapse(true);
        r->ctl->expand(false);
        r->panel.finishFadeOut();
        QVERIFY(r->panel.shown);
        QCOMPARE(r->panel.presents, 2);
        r->ctl->collapse(true);
        r->panel.finishFadeOut();
        QVERIFY(!r->panel.shown);
    }

    // Arrivals while closed with peek off count on the tab and advance its
    // film; opening resets the count.
    void arrivalsCountWhileClosed() {
        Prefs::shared().set(Key::peek, false);
        auto r = rig();
        const ShotList all = m_lib->all();
        QCOMPARE(all.size(), 3);
        emit m_lib->arrived(all);
        QCOMPARE(r->tab.count, 3);
        QCOMPARE(r->tab.advances, QList<int>{3});
        QCOMPARE(r->grid.developed.size(), 1);
        QVERIFY(!r->ctl->expanded());
        emit m_lib->arrived({});
        QCOMPARE(r->tab.advances.size(), 1);
        r->ctl->expand(false);
        QCOMPARE(r->tab.count, 0);
        QCOMPARE(r->ctl->unseen(), 0);
    }

    // With peek on an arrival opens the panel and closes it 2.8 s later; an
    // arrival in the open panel scrolls to the new frame, 14 points to spare.
    void peekAndScroll() {
        auto r = rig();
        emit m_lib->changed(); // the library announces a change before every arrival
        emit m_lib->arrived({m_lib->all().first()});
        QVERIFY(r->ctl->expanded());
        QVERIFY(!r->panel.key);
        r->advanceTo(2.79);
        QVERIFY(r->ctl->expanded());
        r->advanceTo(2.81);
        QVERIFY(!r->ctl->expanded());

        r->ctl->expand(false);
        const ShotPtr second = r->grid.list.at(1);
        emit m_lib->arrived({second});
        QCOMPARE(r->grid.scrolledTo, QList<QRectF>{QRectF(6, 210 - 14, 224, 190 + 28)});
        QCOMPARE(r->tab.count, 0);
    }

    // A collapsed folder scope that does not show the new frame switches to
    // the session; an open one stays.
    void arrivalSwitchesFolderScope_data() {
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("scope");
        QTest::newRow("collapsed") << false << QStringLiteral("session");
        QTest::newRow("expanded") << true << QStringLiteral("folder:");
    }
    void arrivalSwitchesFolderScope() {
        QFETCH(bool, open);
        QFETCH(QString, scope);
        Prefs::shared().set(Key::peek, false);
        Prefs::shared().set(Key::scope, QString("folder:" + m_root + "/Empty"));
        auto r = rig();
        r->ctl->reload(false, {});
        QCOMPARE(r->shelf.empty.kind, EmptyState::Kind::emptyFolder);
        if (open)
            r->ctl->expand(false);
        emit m_lib->arrived({m_lib->all().first()});
        QVERIFY(Prefs::shared().string(Key::scope).startsWith(scope));
        QCOMPARE(r->ctl->scope().kind() == Scope::Kind::session, !open);
    }

    // Auto-copy puts the first arrived still on the clipboard, never a recording.
    void autoCopyFirstStill() {
        Prefs::shared().set(Key::autoCopy, true);
        Prefs::shared().set(Key::peek, false);
        auto r = rig();
        const ShotPtr still = m_lib->all().first();
        auto video =
            std::make_shared<Shot>(m_root + "/Screen Recording.mov", 0, 0, QSizeF(), true, true);
        emit m_lib->arrived({video, still});
        QVERIFY(r->copied.isEmpty());
        emit m_lib->arrived({still});
        QCOMPARE(r->copied, ShotList{still});
    }

    // Ctrl++ from 224 gives 257.6 and the single column widens the card to
    // 301.6 (not rounded; the card on screen takes whole pixels); the slider
    // follows; Ctrl+- goes back.
    void thumbStepsFollowTheStrip() {
        auto r = rig();
        r->ctl->stepThumb(true);
        QCOMPARE(r->ctl->thumb(), 257.6);
        QCOMPARE(r->shelf.slider, 257.6);
        QCOMPARE(r->ctl->width(), 301.6);
        QCOMPARE(r->panel.cardRect().width(), 302.0);
        QCOMPARE(r->grid.target, 257.6);
        r->ctl->stepThumb(false);
        QCOMPARE(r->ctl->thumb(), 224.0);
        QCOMPARE(r->ctl->width(), 268.0);
        // On a board the card keeps its width and the grid re-lays animated.
        r->ctl->setWidthLive(900);
        r->ctl->setThumb(300, false);
        QCOMPARE(r->ctl->width(), 900.0);
        QCOMPARE(r->shelf.gridLayouts.last(), true);
        r->ctl->setThumb(5, true);
        QCOMPARE(r->ctl->thumb(), 110.0);
        QCOMPARE(r->shelf.gridLayouts.last(), false);
    }

    // Double-clicking the grip eases to the board in 0.34 s and back again;
    // a drag during the animation stops it.
    void gripDoubleClickToggles() {
        auto r = rig();
        r->ctl->gripDoubleClicked();
        r->advanceBy(0.17);
        QVERIFY(r->ctl->width() > 268 && r->ctl->width() < 835);
        r->advanceBy(0.2);
        QCOMPARE(r->ctl->width(), 835.0);
        QVERIFY(!r->ctl->tweening());
        r->ctl->gripDoubleClicked();
        r->advanceBy(0.4);
        QCOMPARE(r->ctl->width(), 268.0);

        r->ctl->gripDoubleClicked();
        r->advanceBy(0.1);
        r->ctl->gripBegan();
        r->ctl->gripDragged(-30);
        QVERIFY(!r->ctl->tweening());
        const double dragged = r->ctl->width();
        r->advanceBy(0.5);
        QCOMPARE(r->ctl->width(), dragged);
    }

    // A stored width beyond the screen is clamped when the card is placed; a
    // grip drag resizes by the geometry's rule and ends the resize.
    void gripDragResizes() {
        Prefs::shared().set(Key::width, 5000.0);
        auto r = rig();
        QCOMPARE(r->panel.cardRect().width(), std::round(0.92 * 1440));
        r->ctl->setWidthLive(268);
        r->ctl->gripBegan();
        r->ctl->gripDragged(30);
        QCOMPARE(r->ctl->width(), PanelGeometry::gripWidth(268, 30, DockSide::right));
        QVERIFY(r->ctl->resizing());
        r->ctl->widthDragEnded();
        QVERIFY(!r->ctl->resizing());
    }

    // Two size changes within 0.4 s write the store once, 0.4 s after the last.
    void sizeSavedOnce() {
        auto r = rig();
        QSignalSpy writes(&Prefs::shared(), &Prefs::changed);
        r->ctl->setThumb(300, true);
        r->advanceBy(0.2);
        r->ctl->setThumb(320, true);
        r->advanceBy(0.39);
        QCOMPARE(writes.count(), 0);
        r->advanceBy(0.02);
        QCOMPARE(writes.count(), 2); // width and thumbnail, once each
        QCOMPARE(Prefs::shared().number(Key::thumb), 320.0);
        QCOMPARE(Prefs::shared().number(Key::width), 364.0);
    }

    // Every save comes back as a settings change. The panel's own size, and a
    // newer one still waiting to be saved, are never taken back; a size written
    // elsewhere is followed, and a board's width is not rewritten for it.
    void storedThumbFollowsOnlyOthers() {
        Prefs::shared().set(Key::width, 700.0);
        auto r = rig();
        const auto stored = [] { return Prefs::shared().number(Key::thumb); };
        r->ctl->stepThumb(true);
        const double first = r->ctl->thumb();
        r->advanceBy(0.41);
        QCOMPARE(stored(), first);
        r->ctl->stepThumb(true);
        const double second = r->ctl->thumb();
        r->ctl->followStoredThumb(stored()); // the pass after the first save
        QCOMPARE(r->ctl->thumb(), second);
        r->advanceBy(0.41);
        r->ctl->followStoredThumb(stored()); // the pass after the second
        QCOMPARE(r->ctl->thumb(), second);
        QCOMPARE(stored(), second);

        QSignalSpy writes(&Prefs::shared(), &Prefs::changed);
        Prefs::shared().set(Key::thumb, 150.0);
        r->ctl->followStoredThumb(150.0);
        QCOMPARE(r->ctl->thumb(), 150.0);
        QCOMPARE(r->shelf.slider, 150.0);
        r->advanceBy(1);
        QCOMPARE(writes.count(), 1);
        QCOMPARE(Prefs::shared().number(Key::width), 700.0);
    }

    // A burst of aspect corrections re-lays the grid once, 0.15 s after the last.
    void aspectBurstLaysOutOnce() {
        auto r = rig();
        for (int i = 0; i < 5; ++i) {
            r->ctl->aspectChanged();
            r->advanceBy(0.05);
        }
        QVERIFY(r->shelf.gridLayouts.isEmpty());
        r->advanceBy(0.11);
        QCOMPARE(r->shelf.gridLayouts, QList<bool>{true});
    }

    // A side change moves card and tab, and the window too while the panel is open.
    void repositionFollowsTheSide_data() {
        QTest::addColumn<bool>("open");
        QTest::newRow("closed") << false;
        QTest::newRow("open") << true;
    }
    void repositionFollowsTheSide() {
        QFETCH(bool, open);
        auto r = rig();
        if (open)
            r->ctl->expand(false);
        const QRectF before = r->panel.windowFrame;
        Prefs::shared().set(Key::side, QStringLiteral("left"));
        r->ctl->reposition();
        QVERIFY(r->shelf.side == DockSide::left);
        QCOMPARE(r->ctl->cardScreenFrame().left(), 8.0);
        QCOMPARE(r->tab.positions, 1);
        QVERIFY(r->ctl->windowFrame() != before);
        QCOMPARE(r->panel.windowFrame, open ? r->ctl->windowFrame() : before);
        QCOMPARE(r->ctl->expanded(), open);
    }

    // The empty state says why the grid is empty: not scanned yet, a root that
    // cannot be read (named), or no screenshots at all.
    void emptyStates_data() {
        QTest::addColumn<QString>("root");
        QTest::addColumn<bool>("scan");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("loading") << "Empty" << false << int(EmptyState::Kind::loading) << "";
        QTest::newRow("unreadable")
            << "Missing" << true << int(EmptyState::Kind::unreadable) << "Missing";
        QTest::newRow("no shots") << "Empty" << true << int(EmptyState::Kind::noShots) << "";
    }
    void emptyStates() {
        QFETCH(QString, root);
        QFETCH(bool, scan);
        QFETCH(int, kind);
        QFETCH(QString, text);
        const QString path = m_root + "/" + root;
        std::unique_ptr<Library> lib =
            scan ? LibrarySupport::loaded(path) : std::make_unique<Library>(path);
        QVERIFY(lib);
        PanelRig r(*lib);
        r.ctl->reload(false, {});
        QCOMPARE(int(r.shelf.empty.kind), kind);
        QCOMPARE(r.shelf.empty.text, text);
    }

    // A scope folder that vanished falls back to the session; a query of only
    // spaces counts as empty.
    void reloadFallsBack() {
        Prefs::shared().set(Key::scope, QStringLiteral("folder:/nowhere"));
        auto r = rig();
        r->ctl->reload(false, {});
        QCOMPARE(Prefs::shared().string(Key::scope), QStringLiteral("session"));
        QCOMPARE(r->grid.list.size(), 3);
        r->ctl->setQuery(QStringLiteral("   "));
        r->advanceBy(0.13);
        QCOMPARE(r->shelf.count, std::make_tuple(qsizetype(3), qsizetype(0), true));
        r->ctl->setQuery(QStringLiteral("zzz"));
        r->advanceBy(0.13);
        QCOMPARE(r->shelf.empty, (EmptyState{EmptyState::Kind::noMatches, "zzz"}));
        QCOMPARE(r->shelf.count, std::make_tuple(qsizetype(0), qsizetype(3), false));
    }
};

TAMBERK_TEST(tst_PanelController)
#include "tst_PanelController.moc"
