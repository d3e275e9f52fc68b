#include "PanelRig.h"
#include "TestEnv.h"
#include "panel/PanelGeometry.h"

#include <QSignalSpy>
#include <QTest>

using namespace PanelDelay;

/// Brings the rig to the moment a close starts counting, the pointer away.
using Start = std::function<void(PanelRig&)>;
Q_DECLARE_METATYPE(Start)

class tst_PanelController : public QObject {
    Q_OBJECT

    std::unique_ptr<PanelLibrary> m_shots;
    std::unique_ptr<PanelRig> m_rig;
    Library* m_lib = nullptr;

    // Made on first use, so a case can change the settings before.
    PanelRig& rig() {
        if (!m_rig)
            m_rig = std::make_unique<PanelRig>(*m_lib);
        return *m_rig;
    }
    static constexpr QPointF away{200, 400};

private slots:
    void init() {
        m_shots = std::make_unique<PanelLibrary>(
            QList<std::pair<QString, double>>{{"Screenshot one.png", 30},
                                              {"Screenshot two.png", 20},
                                              {"Work/Screenshot three.png", 10}},
            [](const QString& root) { QDir(root).mkdir("Empty"); });
        m_lib = m_shots->lib.get();
        QVERIFY(m_lib);
    }
    void cleanup() {
        m_rig.reset();
        m_shots.reset();
    }

    // Each row starts a close (0: stays open, -1: never opens; hover: tst_PanelWindows).
    void closesAfterItsDelay_data() {
        QTest::addColumn<Start>("start");
        QTest::addColumn<double>("delay");
        const auto inCardThenAway = [](PanelRig& r, bool key) {
            r.pointer = r.inCard();
            r.ctl->expand(key, 1);
            r.pointer = away;
        };
        QTest::newRow("pointer came back, left again") << Start([=](PanelRig& r) {
            inCardThenAway(r, false);
            r.advanceBy(pointerLeft - 0.15);
            r.pointer = r.inCard();
            r.advanceBy(1);
            r.pointer = away;
            r.advanceBy(0.02);
        }) << pointerLeft;
        QTest::newRow("search field left") << Start([=](PanelRig& r) {
            inCardThenAway(r, true);
            r.shelf.editing = true;
            r.advanceBy(2);
            r.ctl->resignedKey();
        }) << resignedKey;
        QTest::newRow("unpinned") << Start([=](PanelRig& r) {
            r.ctl->togglePin();
            inCardThenAway(r, false);
            r.advanceBy(2);
            r.ctl->togglePin();
            QVERIFY(!Prefs::shared().boolean(Key::pinned));
        }) << released;
        // Opened from the keyboard, it stays once a dialog's keys come back.
        for (const auto& [name, byKeys, keyBack, delay] :
             {std::tuple{"hold released, opened by pointer", false, true, released},
              {"hold released, keys back", true, true, 0.0},
              {"hold released, keys refused", true, false, released}})
            QTest::newRow(name) << Start([=](PanelRig& r) {
                r.pointer = away;
                r.ctl->expand(byKeys, 1);
                r.ctl->hold(true);
                r.panel.key = false; // the dialog has the keyboard
                r.advanceBy(1);
                r.ctl->hold(false);
                r.panel.key = keyBack;
            }) << delay;
        for (bool press : {false, true})
            QTest::newRow(press ? "hover, tab pressed" : "hover, tab left")
                << Start([=](PanelRig& r) {
                       r.ctl->tabHover(true);
                       r.advanceBy(hoverOpen - 0.04);
                       press ? r.ctl->tabPressed() : r.ctl->tabHover(false);
                   })
                << -1.0;
        QTest::newRow("peek") << Start([](PanelRig& r) {
            emit r.ctl->library().changed(); // as before every arrival
            emit r.ctl->library().arrived({r.ctl->library().all().first()});
            QVERIFY(!r.panel.key);
        }) << peekClose;
    }
    void closesAfterItsDelay() {
        QFETCH(Start, start);
        QFETCH(double, delay);
        PanelRig& r = rig();
        start(r);
        if (QTest::currentTestFailed())
            return;
        const double t0 = r.animator.now();
        if (delay < 0) { // never opened
            r.advanceBy(1);
            QVERIFY(!r.ctl->expanded());
            QVERIFY(r.tab.visible);
            return;
        }
        r.advanceTo(t0 + (delay ? delay : 10) - 0.02);
        QVERIFY(r.ctl->expanded());
        QVERIFY(!r.tab.visible);
        r.advanceTo(t0 + delay + 0.02);
        QCOMPARE(r.ctl->expanded(), !delay);
    }

    void revealOffStillOpensOnClick() {
        Prefs::shared().set(Key::reveal, false);
        PanelRig& r = rig();
        r.ctl->tabHover(true);
        r.advanceBy(1);
        QVERIFY(!r.ctl->expanded());
        r.ctl->tabClicked(4711);
        QVERIFY(r.ctl->expanded());
        QCOMPARE(r.panel.keyTimestamps, QList<quint32>{4711});
        QCOMPARE(r.grid.focuses, 1);
        r.ctl->tabClicked(4712);
        QVERIFY(!r.ctl->expanded());
        QVERIFY(!r.panel.key);
    }

    // While open, text recognition leaves a core to the roll.
    void holdsNeverGoNegative() {
        PanelRig& r = rig();
        QVERIFY(!m_lib->text().foreground());
        r.ctl->hold(false);
        r.ctl->hold(true);
        QCOMPARE(r.ctl->holds(), 1);
        r.ctl->expand(false);
        QVERIFY(m_lib->text().foreground());
        r.ctl->collapse(true);
        QCOMPARE(r.ctl->holds(), 0);
        QVERIFY(!m_lib->text().foreground());
    }

    // Search text, field, selection, then even a pinned panel.
    void escapeChain() {
        Prefs::shared().set(Key::pinned, true);
        PanelRig& r = rig();
        r.ctl->expand(true, 1);
        r.ctl->collapse(false);
        QVERIFY(r.ctl->expanded());
        r.shelf.searchShown = r.shelf.editing = true;
        r.shelf.text = QStringLiteral("invoice");
        r.grid.selected = 2;
        r.ctl->escape();
        QCOMPARE(r.shelf.text, QString());
        QVERIFY(r.shelf.searchShown);
        r.ctl->escape();
        QVERIFY(!r.shelf.searchShown);
        QCOMPARE(r.grid.selected, 2);
        r.ctl->escape();
        QCOMPARE(r.grid.selected, 0);
        QVERIFY(r.ctl->expanded());
        r.ctl->escape();
        QVERIFY(!r.ctl->expanded());
    }

    // Held it keeps the pointer, except for a drag-out (free: tst_PanelWindows).
    void passThrough_data() {
        QTest::addColumn<QString>("doing"); // held, drag-out (held too), resizing
        QTest::addColumn<bool>("ignores");
        QTest::newRow("held") << "held" << false;
        QTest::newRow("drag-out") << "drag-out" << true;
        QTest::newRow("resizing") << "resizing" << false;
    }
    void passThrough() {
        QFETCH(QString, doing);
        QFETCH(bool, ignores);
        Prefs::shared().set(Key::pinned, true); // keeps the panel open throughout
        PanelRig& r = rig();
        r.ctl->expand(false);
        if (doing == "held" || doing == "drag-out")
            r.ctl->hold(true);
        if (doing == "resizing")
            r.ctl->gripBegan();
        r.ctl->gridDrag(nullptr, doing == "drag-out");
        r.pointer = away;
        r.advanceBy(0.05);
        QCOMPARE(r.panel.ignoring, ignores);
    }

    // Every frame while moving, four times a second at rest.
    void pollsOnlyWhileOpen() {
        PanelRig& r = rig();
        r.ctl->expand(false);
        QVERIFY(r.ctl->polling());
        r.advanceBy(1);
        const int settled = r.pointerReads;
        r.advanceBy(10);
        QVERIFY(!r.animator.ticking());
        QVERIFY2(r.pointerReads - settled <= 41, qPrintable(QString::number(r.pointerReads)));
        r.pointer = r.inCard();
        r.advanceBy(0.26);
        QVERIFY(r.ctl->mouseInside());
        const int moving = r.pointerReads;
        for (int i = 0; i < 30; ++i) {
            r.pointer += QPointF(0, 1);
            r.advanceBy(1.0 / 60);
        }
        QVERIFY(r.pointerReads - moving >= 29);
        r.ctl->collapse(true);
        QVERIFY(!r.ctl->polling());
        const int closed = r.pointerReads;
        r.advanceBy(5);
        QCOMPARE(r.pointerReads, closed);
        QVERIFY(!r.animator.ticking());
    }

    // A stale fade-out's end must not unmap the panel opened again.
    void expandCollapseExpand() {
        PanelRig& r = rig();
        r.ctl->expand(false);
        r.ctl->collapse(true);
        r.ctl->expand(false);
        r.panel.finishFadeOut();
        QVERIFY(r.panel.shown);
        QCOMPARE(r.panel.presents, 2);
    }

    // Counted on the closed tab; scrolled to in the open panel.
    void arrivals() {
        Prefs::shared().set(Key::peek, false);
        Prefs::shared().set(Key::autoCopy, true);
        PanelRig& r = rig();
        const ShotList all = m_lib->all();
        auto video = std::make_shared<Shot>(m_shots->root + "/Screen Recording.mov", 0, 0, QSizeF(),
                                            true, true);
        emit m_lib->arrived({video, all.first()});
        QVERIFY(r.copied.isEmpty());
        emit m_lib->arrived(all);
        QCOMPARE(r.copied, ShotList{all.first()});
        QCOMPARE(r.tab.count, 5);
        QCOMPARE(r.tab.advances, (QList<int>{2, 3}));
        QCOMPARE(r.grid.developed.size(), 2);
        QVERIFY(!r.ctl->expanded());
        emit m_lib->arrived({});
        QCOMPARE(r.tab.advances.size(), 2);
        r.ctl->expand(false);
        QCOMPARE(r.tab.count, 0);

        const ShotPtr second = r.grid.list.at(1);
        emit m_lib->arrived({second});
        QCOMPARE(r.tab.count, 0);
        QCOMPARE(r.grid.scrolledTo.size(), 1);
        const QRectF frame = *r.grid.frameOf(second->path), shown = r.grid.scrolledTo.first();
        QVERIFY(shown.contains(frame));
        QVERIFY(shown.top() < frame.top() && shown.bottom() > frame.bottom());
    }

    // Only a closed panel changes scope under the user.
    void arrivalSwitchesFolderScope() {
        Prefs::shared().set(Key::peek, false);
        for (const bool open : {false, true}) {
            Prefs::shared().set(Key::scope, QString("folder:" + m_shots->root + "/Empty"));
            m_rig.reset();
            PanelRig& r = rig();
            r.ctl->reload(false, {});
            QCOMPARE(r.shelf.empty.kind, EmptyState::Kind::emptyFolder);
            if (open)
                r.ctl->expand(false);
            emit m_lib->arrived({m_lib->all().first()});
            QCOMPARE(Prefs::shared().string(Key::scope) == "session", !open);
            QCOMPARE(r.ctl->scope().kind() == Scope::Kind::session, !open);
        }
    }

    // A strip stays one column wide; a board keeps its width.
    void thumbStepsFollowTheStrip() {
        PanelRig& r = rig();
        const double width = r.ctl->width();
        r.ctl->stepThumb(true);
        const double thumb = PanelCommands::steppedThumb(224, true);
        QCOMPARE(r.ctl->thumb(), thumb);
        QCOMPARE(r.grid.target, thumb);
        QCOMPARE(r.ctl->width(), PanelGeometry::stripWidth(thumb, r.screen));
        r.ctl->stepThumb(false);
        QCOMPARE(r.ctl->width(), width);
        r.ctl->setWidthLive(900);
        r.ctl->setThumb(300, false);
        QCOMPARE(r.ctl->width(), 900.0);
        QCOMPARE(r.shelf.gridLayouts.last(), true);
        r.ctl->setThumb(5, true);
        QCOMPARE(r.ctl->thumb(), PanelGeometry::minThumb);
        QCOMPARE(r.shelf.gridLayouts.last(), false);
    }

    // Eased out to the board (and back: stripAndBoard); a drag stops it.
    void gripDoubleClickToggles() {
        PanelRig& r = rig();
        const double strip = r.ctl->width();
        const double board = std::round(PanelGeometry::toggleTarget(strip, 224, r.screen));
        const double span = PanelGeometry::widthAnimationSeconds;
        r.ctl->gripDoubleClicked();
        r.advanceBy(span / 2);
        QVERIFY(r.ctl->width() > (strip + board) / 2 && r.ctl->width() < board); // eased out
        r.advanceBy(span / 2 + 0.03);
        QCOMPARE(r.ctl->width(), board);
        QVERIFY(!r.ctl->tweening());

        r.ctl->gripDoubleClicked(); // back towards the strip
        r.advanceBy(span / 3);
        r.ctl->gripBegan();
        r.ctl->gripDragged(-30);
        QVERIFY(!r.ctl->tweening());
        const double dragged = r.ctl->width();
        r.advanceBy(0.5);
        QCOMPARE(r.ctl->width(), dragged);
    }

    void sizeSavedOnce() {
        PanelRig& r = rig();
        QSignalSpy writes(&Prefs::shared(), &Prefs::changed);
        r.ctl->setThumb(300, true);
        r.advanceBy(save / 2);
        r.ctl->setThumb(320, true);
        r.advanceBy(save - 0.01);
        QCOMPARE(writes.count(), 0);
        r.advanceBy(0.02);
        QCOMPARE(writes.count(), 2); // width and thumbnail, once each
        QCOMPARE(Prefs::shared().number(Key::width), r.ctl->width());
    }

    // The echo of the panel's own save never takes a newer size back.
    void storedThumbFollowsOnlyOthers() {
        Prefs::shared().set(Key::width, 700.0);
        PanelRig& r = rig();
        const auto stored = [] { return Prefs::shared().number(Key::thumb); };
        r.ctl->stepThumb(true);
        r.advanceBy(save + 0.01);
        r.ctl->stepThumb(true);
        const double second = r.ctl->thumb();
        r.ctl->followStoredThumb(stored()); // the pass after the first save
        QCOMPARE(r.ctl->thumb(), second);
        r.advanceBy(save + 0.01);
        r.ctl->followStoredThumb(stored()); // the pass after the second
        QCOMPARE(r.ctl->thumb(), second);
        QCOMPARE(stored(), second);

        QSignalSpy writes(&Prefs::shared(), &Prefs::changed);
        Prefs::shared().set(Key::thumb, 150.0);
        r.ctl->followStoredThumb(150.0);
        QCOMPARE(r.ctl->thumb(), 150.0);
        QCOMPARE(r.shelf.slider, 150.0);
        r.advanceBy(1);
        QCOMPARE(writes.count(), 1);
        QCOMPARE(Prefs::shared().number(Key::width), 700.0);
    }

    void aspectBurstLaysOutOnce() {
        PanelRig& r = rig();
        for (int i = 0; i < 5; ++i) {
            r.ctl->aspectChanged();
            r.advanceBy(aspect / 3);
        }
        QVERIFY(r.shelf.gridLayouts.isEmpty());
        r.advanceBy(aspect);
        QCOMPARE(r.shelf.gridLayouts, QList<bool>{true});
    }

    // The window moves only while open; a stored width past the screen is clamped.
    void repositionFollowsTheSide() {
        Prefs::shared().set(Key::width, 5000.0);
        PanelRig& r = rig();
        const auto moved = [&](const char* side) {
            const QRectF before = r.panel.windowFrame;
            Prefs::shared().set(Key::side, QString(side));
            r.ctl->reposition();
            return r.panel.windowFrame != before;
        };
        QVERIFY(!moved("left"));
        QVERIFY(r.shelf.side == DockSide::left);
        QCOMPARE(r.tab.positions, 1);
        r.ctl->expand(false);
        QCOMPARE(r.ctl->cardScreenFrame(),
                 PanelGeometry::cardScreenFrame(r.screen, DockSide::left, 5000));
        QCOMPARE(r.panel.cardRect().size(), r.ctl->cardScreenFrame().size());
        QVERIFY(moved("right"));
        QCOMPARE(r.panel.windowFrame, r.ctl->windowFrame());
        QVERIFY(r.ctl->expanded());
    }

    void emptyStates_data() {
        QTest::addColumn<QString>("root");
        QTest::addColumn<bool>("scan");
        QTest::addColumn<int>("kind");
        QTest::newRow("loading") << "Empty" << false << int(EmptyState::Kind::loading);
        QTest::newRow("unreadable") << "Missing" << true << int(EmptyState::Kind::unreadable);
        QTest::newRow("no shots") << "Empty" << true << int(EmptyState::Kind::noShots);
    }
    void emptyStates() {
        QFETCH(QString, root);
        QFETCH(bool, scan);
        QFETCH(int, kind);
        const QString path = m_shots->root + "/" + root;
        std::unique_ptr<Library> lib =
            scan ? LibrarySupport::loaded(path) : std::make_unique<Library>(path);
        QVERIFY(lib);
        PanelRig r(*lib);
        r.ctl->reload(false, {});
        QCOMPARE(int(r.shelf.empty.kind), kind);
        QCOMPARE(r.shelf.empty.text, kind == int(EmptyState::Kind::unreadable) ? root : QString());
    }

    // A vanished scope folder, a query of spaces, a query matching nothing.
    void reloadFallsBack() {
        Prefs::shared().set(Key::scope, QStringLiteral("folder:/nowhere"));
        PanelRig& r = rig();
        r.ctl->reload(false, {});
        QCOMPARE(Prefs::shared().string(Key::scope), QStringLiteral("session"));
        QCOMPARE(r.grid.list.size(), 3);
        r.ctl->setQuery(QStringLiteral("   "));
        r.advanceBy(query + 0.01);
        QCOMPARE(r.shelf.count, std::make_tuple(qsizetype(3), qsizetype(0), true));
        r.ctl->setQuery(QStringLiteral("zzz"));
        r.advanceBy(query + 0.01);
        QCOMPARE(r.shelf.empty, (EmptyState{EmptyState::Kind::noMatches, "zzz"}));
        QCOMPARE(r.shelf.count, std::make_tuple(qsizetype(0), qsizetype(3), false));
    }
};

TAMBERK_TEST(tst_PanelController)
#include "tst_PanelController.moc"
