#include "GridSupport.h"
#include "TestEnv.h"
#include "grid/GridLayout.h"

#include <QTest>

using namespace gridtest;

namespace {

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

class tst_GridLayout : public QObject {
    Q_OBJECT
private slots:
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

    // Cell heights follow the clamped aspect, 0.625 when the size is unknown.
    void cellHeights_data() {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<bool>("captions");
        QTest::addColumn<double>("height");
        // 224 wide: 0.625 gives 140; 2.2 gives 492.8 -> 493; 0.28 gives 62.72 -> 63.
        QTest::newRow("missing size") << QSizeF(0, 0) << true << 20.0 + 140;
        QTest::newRow("one pixel counts as missing") << QSizeF(1, 500) << false << 140.0;
        QTest::newRow("tall clamps to 2.2") << QSizeF(100, 1000) << true << 20.0 + 493;
        QTest::newRow("wide clamps to 0.28") << QSizeF(1000, 100) << false << 63.0;
    }
    void cellHeights() {
        QFETCH(QSizeF, size);
        QFETCH(bool, captions);
        QFETCH(double, height);
        const auto r = GridLayout::compute({shot("a.png", size)}, {236, 224, captions, 1});
        QCOMPARE(r.frames[0].height(), height);
        QCOMPARE(r.frames[0].top(), GridLayout::topInset);
        QCOMPARE(r.contentHeight,
                 GridLayout::topInset + height + GridLayout::gap + GridLayout::endSpace);
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

TAMBERK_TEST(tst_GridLayout)
#include "tst_GridLayout.moc"
