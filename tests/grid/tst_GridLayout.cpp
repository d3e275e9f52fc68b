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

    // A cell takes its image's shape, clamped for slivers and towers, a fallback shape when the
    // size is unknown (a pixel wide counts as unknown), and the caption strip below.
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

TAMBERK_TEST(tst_GridLayout)
#include "tst_GridLayout.moc"
