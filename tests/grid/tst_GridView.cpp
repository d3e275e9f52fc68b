#include "GridSupport.h"
#include "TestEnv.h"
#include "grid/GridView.h"

#include <QTest>

using namespace gridtest;
using motion::Prop;

namespace {

constexpr double settle = 2.0; // longer than every spring and fade of the grid

QPointF centreShown(const Roll& roll, const QString& path) {
    return roll.grid->cell(path)->presentationBounds().center() - QPointF(0, roll.scroll());
}

// The width at which the unrounded column count is `raw` for thumbnails of 224.
double widthFor(double raw) {
    return raw * (GridLayout::gap + 224) + 2 * GridLayout::inset - GridLayout::gap;
}

int columnOf(const GridLayout::Result& r, int pos) {
    for (size_t c = 0; c < r.byColumn.size(); ++c)
        for (int p : r.byColumn[c])
            if (p == pos)
                return int(c);
    return -1;
}

} // namespace

class tst_GridView : public QObject {
    Q_OBJECT
private slots:
    // Numbers count down; the end label spans the roll below the columns; an empty roll has none.
    void numbersAndEndLabel() {
        Roll roll;
        const ShotList shots = roll.fill(30);
        double bottom = 0;
        for (int i = 0; i < shots.size(); ++i) {
            QCOMPARE(roll.grid->cell(shots[i]->path)->number, 30 - i);
            bottom = std::max(bottom, roll.grid->frameOf(shots[i]->path)->bottom());
        }
        const QRectF label = roll.grid->endLabelFrame();
        QVERIFY(label.top() > bottom && label.bottom() < roll.grid->height());
        QCOMPARE(label.width(), 470.0);
        roll.grid->setShots(shots.mid(1), false);
        QCOMPARE(roll.grid->cell(shots[1]->path)->number, 29);
        roll.grid->setShots({}, false);
        QVERIFY(!roll.grid->endLabelVisible());
        QCOMPARE(roll.grid->height(), 600);
        QCOMPARE(roll.grid->cellCount(), 0);
    }

    // The same listing again makes no cell and no animation, yet its new values reach the cells.
    void sameListing() {
        Roll roll;
        ShotList shots = mixed(40);
        shots[2] = shot("rec.mp4", {1920, 1080}, 1000, true);
        roll.grid->setShots(shots, true);
        roll.advance(settle);
        ThumbView* first = roll.grid->cell(shots[0]->path);
        ShotList same = mixed(40); // equal paths, new Shot values
        same[2] = std::make_shared<Shot>(*shots[2]);
        roll.grid->setShots(same, true);
        QCOMPARE(roll.grid->cell(shots[0]->path), first);
        QCOMPARE(roll.grid->cellCount(), 40);
        QVERIFY(!roll.animator.ticking());
        QCOMPARE(roll.grid->lastAppliedCount(), 0);
        ThumbView* rec = roll.grid->cell(shots[2]->path);
        const QString unknown = rec->badgeText();
        const double before = roll.grid->frameOf(shots[0]->path)->height();
        ShotList next = same;
        next[0] = shot("s0.png", {1000, 1000});
        next[2] = std::make_shared<Shot>(*shots[2]);
        next[2]->duration = 75.9;
        roll.grid->setShots(next, false);
        QVERIFY(roll.grid->frameOf(shots[0]->path)->height() > before);
        QCOMPARE(first->frame(), *roll.grid->frameOf(shots[0]->path));
        QCOMPARE(rec->shot, next[2]);
        QVERIFY(rec->badgeText() != unknown);
    }

    // A scrolled roll (an offset between painter and device) paints alike once composed.
    void composedCellsKeepTheirPlace() {
        Roll roll;
        const ShotList shots = roll.fill(30);
        QImage red(400, 300, QImage::Format_RGB32);
        red.fill(Qt::red);
        for (const ShotPtr& s : shots)
            roll.grid->cell(s->path)->setImage(red, false);
        roll.scrollTo(230);
        auto render = [&] {
            QImage out(roll.area.size(), QImage::Format_ARGB32_Premultiplied);
            out.fill(Qt::black);
            roll.area.render(&out, QPoint(), QRegion(), QWidget::DrawChildren);
            return out;
        };
        const QImage parts = render(), composed = render();
        QVERIFY(roll.grid->cell(shots[4]->path)->partsIfMade()->composedValid);
        QVERIFY(worstDifference(parts, composed) <= 2);
    }

    // A new modification date throws the old image away and loads the file again.
    void newModificationReloads() {
        Roll roll;
        ShotList shots = roll.fill(3);
        ThumbView* cell = roll.grid->cell(shots[1]->path);
        QTRY_COMPARE(*roll.cache.decodes, 3);
        QTRY_VERIFY(cell->loaded > 0);
        roll.fill(3); // same dates: nothing to load
        QVERIFY(cell->loaded > 0);
        shots[1] = shot("s1.png", shots[1]->pixelSize, 5000);
        roll.grid->setShots(shots, false);
        QCOMPARE(cell->shot, shots[1]);
        QTRY_COMPARE(*roll.cache.decodes, 4);
        QTRY_VERIFY(cell->loaded > 0);
    }

    // A listing without a selected shot unselects it, telling the host; new cells join the mode.
    void droppedSelectionNotifies() {
        Roll roll;
        const ShotList shots = roll.fill(6);
        roll.grid->setSelection({shots[2]->path, shots[4]->path});
        QVERIFY(roll.grid->cell(shots[0]->path)->selectMode);
        roll.grid->setShots({shots[0], shots[1], shots[3], shots[4]}, false);
        roll.grid->setShots({shots[0], shots[4]}, false); // unchanged selection: no call
        QCOMPARE(roll.host.log, (QStringList{"count 2", "count 1"}));
        QCOMPARE(roll.grid->selection(), QSet<QString>{shots[4]->path});
        roll.grid->setShots({shots[5], shots[0], shots[4]}, false);
        QVERIFY(roll.grid->cell(shots[5]->path)->selectMode);
        QVERIFY(!roll.grid->cell(shots[5]->path)->selected);
        QVERIFY(roll.grid->cell(shots[4]->path)->selected);
    }

    // A relayout keeps the top cell in place; a column change animates only the near cells.
    void relayoutKeepsThePlace_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("scroll");
        QTest::addColumn<bool>("animated");
        QTest::newRow("2 to 3 columns") << 470 << 720 << 6003 << false;
        QTest::newRow("3 to 2 columns") << 720 << 470 << 4011 << false;
        QTest::newRow("wider, same columns, animated") << 470 << 600 << 7777 << true;
    }
    void relayoutKeepsThePlace() {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, scroll);
        QFETCH(bool, animated);
        Roll roll(from);
        const ShotList shots = roll.fill(300);
        roll.scrollTo(scroll);
        QCOMPARE(roll.scroll(), scroll);
        // The anchor: the topmost, then leftmost, cell straddling the top edge.
        QString anchor;
        QRectF best;
        for (const ShotPtr& s : shots) {
            const QRectF f = *roll.grid->frameOf(s->path);
            if (f.top() > scroll || f.bottom() <= scroll)
                continue;
            if (anchor.isEmpty() || f.top() < best.top() - 0.5 ||
                (std::abs(f.top() - best.top()) <= 0.5 && f.left() < best.left())) {
                anchor = s->path;
                best = f;
            }
        }
        QVERIFY(!anchor.isEmpty());
        const double fraction = (scroll - best.top()) / best.height();
        const QPointF shownBefore = centreShown(roll, anchor);
        roll.area.resize(to, 600);
        roll.fit(to, animated);
        const QRectF after = *roll.grid->frameOf(anchor);
        const double expected = after.top() + fraction * after.height();
        QVERIFY2(std::abs(roll.scroll() - expected) <= 0.5, qPrintable(anchor));
        QVERIFY(roll.grid->lastAppliedCount() > 0 && roll.grid->lastAppliedCount() < 100);
        QVERIFY(roll.grid->staleCount() > 150);
        // At the start the cell shows where it was on screen, scroll shift included.
        QVERIFY(QLineF(centreShown(roll, anchor), shownBefore).length() < 1);
        roll.advance(settle);
        QCOMPARE(roll.grid->cell(anchor)->presentationBounds().center(), after.center());
        QVERIFY(!roll.animator.ticking());
        ThumbView* far = roll.grid->cell(shots[0]->path);
        QVERIFY(far->frame() != *roll.grid->frameOf(shots[0]->path));
        roll.scrollTo(0);
        QCOMPARE(far->frame(), *roll.grid->frameOf(shots[0]->path));
        QVERIFY(!far->animating());
    }

    // The hovered cell is the one under a pointer that jumped there or that a listing slid under.
    void hoverFollowsAStillPointer() {
        Roll roll;
        ShotList shots = roll.fill(6);
        const QPointF at = roll.centre(0);
        QEnterEvent enter(at, at, roll.grid->mapToGlobal(at));
        QCoreApplication::sendEvent(roll.grid, &enter);
        QCOMPARE(roll.grid->hovered, std::optional(shots[0]->path));
        QVERIFY(roll.grid->cell(shots[0]->path)->hover);
        QCursor::setPos(roll.grid->mapToGlobal(at.toPoint()));
        QTRY_VERIFY(roll.grid->underMouse());
        shots.removeFirst();
        roll.grid->setShots(shots, false);
        const ThumbView* under = roll.grid->cellAt(at);
        QVERIFY(under);
        QCOMPARE(roll.grid->hovered, std::optional(under->shot->path));
        QVERIFY(under->hover);
    }

    // A live resize across a column boundary animates a short while; later ones jump.
    void liveResizeWindow() {
        Roll roll(470);
        const ShotList shots = roll.fill(20);
        ThumbView* cell = roll.grid->cell(shots[1]->path);
        roll.area.resize(720, 600);
        roll.fit(720);
        roll.advance(0.2);
        roll.fit(730);
        QVERIFY(cell->parts().layer.has("flip.scale"));
        roll.advance(0.3);
        roll.fit(740);
        QVERIFY(!cell->parts().layer.has("flip.scale"));
        QCOMPARE(cell->frame(), *roll.grid->frameOf(shots[1]->path));
    }

    // Images load in a band around the viewport; cells a screen beyond it let theirs go.
    void loadBand() {
        Roll roll(470, 600);
        const ShotList shots = roll.fill(400);
        QVERIFY(roll.cache.thumbs.waiting() > Thumbs::maxDecodes);
        QTRY_COMPARE(roll.cache.thumbs.running(), Thumbs::maxDecodes);
        roll.scrollTo(10000);
        // The band reaches max(0.8 * 600, 320) = 480 points above and below.
        const QRectF band = roll.grid->visibleRect().adjusted(0, -480, 0, 480);
        const QRectF keep = band.adjusted(0, -600, 0, 600);
        int asked = 0;
        for (const ShotPtr& s : shots) {
            const ThumbView* cell = roll.grid->cell(s->path);
            const QRectF f = *roll.grid->frameOf(s->path);
            const bool holds = cell->loaded > 0 || cell->requested > 0;
            if (f.intersects(band))
                QVERIFY(holds);
            else if (!f.intersects(keep))
                QVERIFY(!holds && cell->ticket == 0 && cell->image().isNull());
            asked += f.intersects(band);
        }
        QVERIFY(asked > 10 && asked < 60);
        // Besides the decodes already running for the top, each band cell decoded once.
        QTRY_COMPARE(roll.cache.thumbs.running() + roll.cache.thumbs.waiting(), 0);
        QCOMPARE(roll.cache.decodes->loadAcquire(), Thumbs::maxDecodes + asked);
        roll.scrollTo(0); // the released cells load again
        for (const ShotPtr& s : shots)
            if (roll.grid->frameOf(s->path)->intersects(roll.grid->visibleRect()))
                QVERIFY(roll.grid->cell(s->path)->requested || roll.grid->cell(s->path)->loaded);
    }

    // The cascade staggers visible cells up to a cap, top-left first, from the side it comes from.
    void cascade_data() {
        QTest::addColumn<bool>("fromRight");
        QTest::newRow("from the right") << true;
        QTest::newRow("from the left") << false;
    }
    void cascade() {
        QFETCH(bool, fromRight);
        Roll roll(1200, 860);
        const ShotList shots = roll.fill(200);
        roll.grid->cascadeIn(fromRight);
        const auto x = [](ThumbView* c) { return c->parts().layer.value(Prop::TranslationX, 0.0); };
        QList<ThumbView*> cascading;
        int visible = 0;
        for (const ShotPtr& s : shots) {
            ThumbView* c = roll.grid->cell(s->path);
            visible += c->frame().intersects(roll.grid->visibleRect());
            if (c->partsIfMade() && c->partsIfMade()->layer.has("cascade"))
                cascading << c;
        }
        QVERIFY(cascading.size() > 1 && cascading.size() < visible);
        const double offset = x(cascading[0]);
        QVERIFY(fromRight ? offset > 0 : offset < 0);
        for (ThumbView* c : cascading) {
            QVERIFY(c->frame().intersects(roll.grid->visibleRect()));
            QCOMPARE(x(c), offset);
            QCOMPARE(c->parts().layer.value(Prop::Opacity, 1.0), 0.0);
        }
        roll.advance(0.1);
        QVERIFY(std::abs(x(roll.grid->cellAt(roll.centre(0)))) < std::abs(offset));
        QVERIFY(std::any_of(cascading.begin(), cascading.end(),
                            [&](ThumbView* c) { return x(c) == offset; }));
        roll.advance(settle);
        QVERIFY(!roll.animator.ticking());
    }

    // Only new shots develop; removed cells stay until their vanish ends (unanimated: at once).
    void developAndVanish() {
        Roll roll;
        const ShotList shots = mixed(5);
        roll.grid->setShots(shots.mid(1), false);
        roll.grid->setShots(shots, true, {shots[0]->path, shots[1]->path});
        QVERIFY(roll.grid->cell(shots[0]->path)->parts().flashLayer.has("develop"));
        QVERIFY(!roll.grid->cell(shots[1]->path)->parts().flashLayer.has("develop")); // not new
        roll.advance(settle);
        roll.grid->develop({shots[3]->path, QStringLiteral("/nowhere")});
        QVERIFY(roll.grid->cell(shots[3]->path)->parts().flashLayer.has("develop"));
        roll.grid->setShots(shots.mid(2), true);
        QCOMPARE(roll.grid->cellCount(), 5); // two still fading
        QVERIFY(!roll.grid->cell(shots[0]->path));
        roll.advance(settle);
        QCOMPARE(roll.grid->cellCount(), 3);
        roll.grid->setShots({}, false);
        QCOMPARE(roll.grid->cellCount(), 0);
    }

    // Column changes wait a little past the boundary both ways; jumps and empty rolls do not.
    void hysteresis_data() {
        QTest::addColumn<double>("raw");
        QTest::addColumn<int>("current");
        QTest::addColumn<bool>("haveShots");
        QTest::addColumn<int>("expected");
        QTest::newRow("growing, just short of 3.04") << 3.039 << 2 << true << 2;
        QTest::newRow("growing, past 3.04") << 3.041 << 2 << true << 3;
        QTest::newRow("shrinking, just above 1.96") << 1.961 << 2 << true << 2;
        QTest::newRow("shrinking, 1.96 or less") << 1.959 << 2 << true << 1;
        QTest::newRow("jump of two columns") << 3.01 << 1 << true << 3;
        QTest::newRow("jump of two down") << 1.99 << 3 << true << 1;
        QTest::newRow("no shots follow the width") << 3.01 << 2 << false << 3;
        QTest::newRow("exact boundary counts") << 2.99995 << 3 << true << 3;
        QTest::newRow("one cell wide") << 1.0 << 1 << true << 1;
        QTest::newRow("narrower than a cell") << 0.4 << 2 << false << 1;
    }
    void hysteresis() {
        QFETCH(double, raw);
        QFETCH(int, current);
        QFETCH(bool, haveShots);
        QFETCH(int, expected);
        QCOMPARE(GridLayout::columnsWithHysteresis(widthFor(raw), 224, current, haveShots),
                 expected);
        const auto r = GridLayout::compute(haveShots ? mixed(4) : ShotList{},
                                           {widthFor(raw), 224, true, current});
        QCOMPARE(r.columns, expected);
        if (!haveShots) { // nor any height: the columns' bottom is their top
            QCOMPARE(GridLayout::columns(widthFor(raw), 224), expected);
            QVERIFY(r.contentHeight == 0 && r.bottom == GridLayout::topInset);
        }
    }

    // A cell takes its image's shape, clamped; unknown (or a pixel wide) takes a fallback.
    void cellHeights() {
        const auto height = [](QSizeF size, bool captions = false) {
            const auto r = GridLayout::compute({shot("a.png", size)}, {236, 224, captions, 1});
            return r.frames[0].top() == GridLayout::topInset ? r.frames[0].height() : -1;
        };
        QCOMPARE(height({800, 600}), 168.0);
        QVERIFY(height({800, 600}, true) > 168);
        QCOMPARE(height({1000, 3000}), height({100, 3000}));
        QVERIFY(height({100, 3000}) < 224 * 30);
        QCOMPARE(height({4000, 1000}), height({3000, 100}));
        QVERIFY(height({3000, 100}) > 224.0 / 30);
        QCOMPARE(height({1, 500}), height({}));
        QVERIFY(height({}) > 0);
    }

    // A shot goes to the lightest column, ties to the left; a resize keeps shots in their columns.
    void columnsByWeight() {
        ShotList squares;
        for (int i = 0; i < 5; ++i)
            squares << shot(QString::number(i), QSizeF(500, 500));
        const auto r = GridLayout::compute(squares, {widthFor(2.0), 224, true, 2});
        QList<int> columns;
        for (int i = 0; i < 5; ++i)
            columns << columnOf(r, i);
        QCOMPARE(columns, (QList<int>{0, 1, 0, 1, 0}));
        QCOMPARE(r.frames[2].top(), r.frames[0].bottom() + GridLayout::gap);
        QCOMPARE(r.frames[1].left(), GridLayout::inset + 224 + GridLayout::gap);
        const ShotList shots = mixed(60);
        const auto narrow = GridLayout::compute(shots, {widthFor(2.05), 224, true, 2});
        const auto wide = GridLayout::compute(shots, {widthFor(2.9), 224, true, 2});
        QVERIFY(narrow.columns == 2 && wide.columns == 2);
        QVERIFY(wide.cellWidth > narrow.cellWidth + 90);
        for (int i = 0; i < shots.size(); ++i)
            QCOMPARE(columnOf(wide, i), columnOf(narrow, i));
    }

    // The column index finds exactly the frames a brute-force scan finds.
    void intersectingMatchesScan() {
        const auto r = GridLayout::compute(mixed(500), {widthFor(3.5), 224, true, 3});
        const QList<QRectF> probes{{0, 0, 800, 900},       {0, 5000, 800, 400},
                                   {300, 12000, 10, 10},   {0, r.bottom - 50, 800, 500},
                                   {-100, -100, 50, 50},   {5, 2000.5, 1, 0.5},
                                   {240, 7000, 250, 10000}};
        for (const QRectF& probe : probes) {
            std::vector<int> expected;
            for (size_t i = 0; i < r.frames.size(); ++i)
                if (r.frames[i].intersects(probe))
                    expected.push_back(int(i));
            QCOMPARE(r.intersecting(probe), expected);
        }
    }
};

TAMBERK_TEST(tst_GridView)
#include "tst_GridView.moc"
