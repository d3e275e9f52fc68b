#include "TestEnv.h"
#include "panel/PanelGeometry.h"
#include "shelf/ShelfLayout.h"

#include <QTest>

using namespace ShelfLayout;

class tst_ShelfLayout : public QObject {
    Q_OBJECT
private slots:
    // The grid band starts below exactly the bands that show: 78 with neither
    // optional band, 108 and 114 with one, 144 with both; the search box follows
    // the sub row down; the roll, the empty state, the strips and the toast
    // area span the band down to the footer.
    void gridTopFollowsTheBands_data() {
        QTest::addColumn<bool>("sub");
        QTest::addColumn<bool>("search");
        QTest::addColumn<double>("top");
        QTest::addColumn<double>("searchY");
        QTest::newRow("neither") << false << false << 78.0 << 80.0;
        QTest::newRow("sub only") << true << false << 108.0 << 110.0;
        QTest::newRow("search only") << false << true << 114.0 << 80.0;
        QTest::newRow("both") << true << true << 144.0 << 110.0;
    }
    void gridTopFollowsTheBands() {
        QFETCH(bool, sub);
        QFETCH(bool, search);
        QFETCH(double, top);
        QFETCH(double, searchY);
        const Frames f = card({QSizeF(268, 700), sub, search, DockSide::right});
        QCOMPARE(f.top, top);
        QCOMPARE(f.search.y(), searchY);
        QCOMPARE(f.sepTop.bottom(), top);
        QCOMPARE(f.footer.top(), 700.0 - 46);
        for (const QRectF& band : {f.roll, f.empty, f.perfL, f.perfR, f.toastArea}) {
            QCOMPARE(band.top(), top);
            QCOMPARE(band.bottom(), f.footer.top());
        }
        QCOMPARE(f.roll.left(), f.perfL.right());
        QCOMPARE(f.roll.right(), f.perfR.left());
    }

    // For every card size, band and side no frame has a negative size, a card with
    // room for its bands holds every frame, and the layout docked left mirrors
    // the one docked right. Docked right, the grip and the resize handle sit
    // on the inner (left) side.
    void framesInsideAndMirrored() {
        const auto frames = [](const Frames& f) {
            return std::vector<QRectF>{f.chips, f.sub,    f.search,    f.sepTop, f.sepBottom,
                                       f.grip,  f.footer, f.selBar,    f.perfL,  f.perfR,
                                       f.roll,  f.empty,  f.toastArea, f.handle};
        };
        for (double w : {PanelGeometry::minW, 268.0, 835.0}) {
            for (double h : {0.0, 124.0, 700.0}) {
                for (int bands = 0; bands < 4; ++bands) {
                    Input in{QSizeF(w, h), bool(bands & 1), bool(bands & 2), DockSide::right};
                    const Frames right = card(in);
                    in.side = DockSide::left;
                    const Frames left = card(in);
                    const std::vector<QRectF> r = frames(right), l = frames(left);
                    const QString where =
                        QStringLiteral("%1 x %2, bands %3").arg(w).arg(h).arg(bands);
                    for (size_t i = 0; i < r.size(); ++i) {
                        QVERIFY2(r[i].width() >= 0 && r[i].height() >= 0,
                                 qPrintable(where + " #" + QString::number(i)));
                        if (h >= 124 + 30 * (bands & 1) + 36 * (bands >> 1))
                            QVERIFY2(r[i].left() >= 0 && r[i].top() >= 0 && r[i].right() <= w &&
                                         r[i].bottom() <= h,
                                     qPrintable(where + " #" + QString::number(i)));
                        // perfL and perfR trade places.
                        const QRectF mirrored = r[i == 8 ? 9 : i == 9 ? 8 : i];
                        QCOMPARE(l[i], QRectF(w - mirrored.right(), mirrored.top(),
                                              mirrored.width(), mirrored.height()));
                    }
                }
            }
        }
        const Frames f = card({QSizeF(300, 700), false, false, DockSide::right});
        QCOMPARE(f.grip, QRectF(8, 654 + 9, 28, 28));
        QCOMPARE(f.handle, QRectF(0, 28, 8, 700 - 56));
        QCOMPARE(f.footer, QRectF(40, 654, 260, 46));
        // The pill of the handle hugs the card's inner edge.
        QCOMPARE(handlePill(f.handle.size(), DockSide::right).x(), 2.5);
        QCOMPARE(handlePill(f.handle.size(), DockSide::left).right(), 8 - 2.5);
    }

    // The header keeps the counter before the brand: a narrow card hides the brand
    // and moves the counter to x 33; an even narrower one gives the counter zero
    // width rather than a negative one.
    void headerBrandAndCounter_data() {
        QTest::addColumn<double>("width");
        QTest::addColumn<bool>("brandHidden");
        QTest::addColumn<double>("countX");
        QTest::addColumn<double>("countWidth");
        // Buttons take 10 + 4 * 24 + 3 * 2 = 112 points at the right; the counter
        // ends at searchB.x - 8 = W - 112 - 8.
        QTest::newRow("wide") << 268.0 << false << 33.0 + 70 + 2 << 268.0 - 120 - 105;
        QTest::newRow("just fits") << 120.0 + 33 + 70 + 2 + 30 << false << 105.0 << 30.0;
        QTest::newRow("one point short") << 120.0 + 33 + 70 + 2 + 29 << true << 33.0 << 101.0;
        QTest::newRow("counter squeezed") << 140.0 << true << 33.0 << 0.0;
        QTest::newRow("narrower than the buttons") << 60.0 << true << 33.0 << 0.0;
    }
    void headerBrandAndCounter() {
        QFETCH(double, width);
        QFETCH(bool, brandHidden);
        QFETCH(double, countX);
        QFETCH(double, countWidth);
        const Header h = header(width, 69.3, 29.2); // widths are rounded up
        QCOMPARE(h.brandHidden, brandHidden);
        QCOMPARE(h.count.x(), countX);
        QCOMPARE(h.count.width(), countWidth);
        QCOMPARE(h.brand, QRectF(33, 14, 70, 16));
        QCOMPARE(h.closeB, QRectF(width - 34, 10, 24, 24));
        QCOMPARE(h.searchB.x(), width - 34 - 3 * 26);
    }

    // Chip rows: the main row puts a divider between the scopes and the folders;
    // the sub row is smaller and undivided; documents never shrink below the
    // visible width.
    void chipRows() {
        const ChipRow main = chipRow({60, 40, 70, 24}, true, 100);
        QCOMPARE(main.frames[0], QRectF(3, 3, 60, 24));
        QCOMPARE(main.frames[1], QRectF(69, 3, 40, 24));
        QCOMPARE(main.divider, QRectF(114, 9, 1, 12));
        QCOMPARE(main.frames[2], QRectF(121, 3, 70, 24));
        QCOMPARE(main.frames[3], QRectF(197, 3, 24, 24));
        QCOMPARE(main.document, QSizeF(227, 30));
        QCOMPARE(chipRow({60, 40}, true, 500).document, QSizeF(500, 30));
        QVERIFY(!chipRow({60}, true, 100).dividerPlaced);
        QCOMPARE(chipRow({}, true, 0).document, QSizeF(3, 30));

        const ChipRow sub = chipRow({50, 30, 24}, false, 10);
        QCOMPARE(sub.frames[1], QRectF(58, 3, 30, 22));
        QCOMPARE(sub.frames[2], QRectF(93, 3, 24, 22));
        QVERIFY(!sub.dividerPlaced);
        QCOMPARE(sub.document, QSizeF(122, 28));
    }

    // The footer keeps the slider group at its outer end and the column label at
    // the inner end; below 261 points there is no room for the label.
    void footerParts_data() {
        QTest::addColumn<int>("side");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("sliderX");
        QTest::addColumn<double>("colsX");
        QTest::addColumn<bool>("colsHidden");
        QTest::newRow("left, wide") << int(DockSide::left) << 300.0 << 32.0 << 300.0 - 72 << false;
        QTest::newRow("right, 261")
            << int(DockSide::right) << 261.0 << 261.0 - 177 + 20 << 6.0 << false;
        QTest::newRow("right, 260")
            << int(DockSide::right) << 260.0 << 260.0 - 177 + 20 << 6.0 << true;
    }
    void footerParts() {
        QFETCH(int, side);
        QFETCH(double, width);
        QFETCH(double, sliderX);
        QFETCH(double, colsX);
        QFETCH(bool, colsHidden);
        const Footer f = footer(QSizeF(width, 46), DockSide(side));
        QCOMPARE(f.slider, QRectF(sliderX, 13, 124, 20));
        QCOMPARE(f.small, QRectF(sliderX - 20, 15, 16, 16));
        QCOMPARE(f.large, QRectF(sliderX + 127, 14, 18, 18));
        QCOMPARE(f.cols, QRectF(colsX, 16, 66, 14));
        QCOMPARE(f.colsHidden, colsHidden);
        QCOMPARE(f.colsRightAligned, DockSide(side) == DockSide::left);
    }

    // The selection bar groups move, copy, share and trash and sets deselect
    // apart; "selected" needs 250 points.
    void selectionBarParts() {
        const SelectionBar wide = selectionBar(QSizeF(252, 34));
        QCOMPARE(wide.clear, QRectF(220, 3, 28, 28));
        QCOMPARE(wide.trash, QRectF(188, 3, 28, 28));
        QCOMPARE(wide.move, QRectF(104, 3, 28, 28));
        QCOMPARE(wide.count, QRectF(12, 10, 88, 14));
        QVERIFY(wide.showsWord);
        QVERIFY(selectionBar(QSizeF(250, 34)).showsWord);
        QVERIFY(!selectionBar(QSizeF(249, 34)).showsWord);
        QCOMPARE(selectionBar(QSizeF(100, 34)).count.width(), 0.0);
    }

    // The toast sits centred 14 points above the bottom of the grid band; a
    // message wider than the band allows wraps onto a second line, the pill
    // growing upwards and staying inside the band.
    void toastPlacement() {
        const QRectF area(0, 78, 268, 576);
        const Toast plain = toast(area, 80.4, 0);
        QCOMPARE(plain.pill, QRectF(134 - 109 / 2.0, 654 - 44, 109, 30));
        QCOMPARE(plain.label, QRectF(14, 7, 81, 16));
        QVERIFY(plain.action.isEmpty());
        const Toast undo = toast(area, 80, 30.2);
        QCOMPARE(undo.pill.width(), 80 + 28 + 45.0);
        QCOMPARE(undo.action, QRectF(80 + 22, 5, 37, 20));
        const Toast wide = toast(area, 400, 30.2);
        QCOMPARE(wide.lines, 2);
        QCOMPARE(wide.label.size(), QSizeF(268 - 40 - 45, 32));
        QCOMPARE(wide.pill.bottom(), 654 - 14.0);
        QVERIFY(area.contains(wide.pill));
        QCOMPARE(wide.action.center().y(), wide.pill.height() / 2);
        QCOMPARE(toast(QRectF(0, 0, 40, 0), 100, 0).label.width(), 0.0);
    }

    // The empty state's lines sit around 0.42 of the height from the bottom; with
    // keycaps, keys and words read as one centred line.
    void emptyStateParts() {
        const Empty plain = empty(QSizeF(200, 500), 0, 0, QSizeF(100, 24));
        // b = 210 from the bottom, so 290 from the top.
        QCOMPARE(plain.icon, QRectF(80, 500 - 240 - 36, 40, 36));
        QCOMPARE(plain.title, QRectF(12, 500 - 216 - 18, 176, 18));
        QCOMPARE(plain.sub, QRectF(18, 500 - 170 - 44, 164, 44));
        QCOMPARE(plain.button, QRectF(50, 500 - 134 - 24, 100, 24));
        const Empty keys = empty(QSizeF(200, 500), 40, 51.5, QSizeF(100, 24));
        QCOMPARE(keys.keys, QRectF((200 - (40 + 8 + 56)) / 2.0, 500 - 186 - 22, 40, 22));
        QCOMPARE(keys.sub, QRectF(keys.keys.right() + 8, 500 - 189 - 16, 56, 16));
    }

    // Perforations cover the strip with a spare step at each end, so any scroll
    // offset shifts them without a gap; a strip 0 points tall still has 4 holes.
    void perforations_data() {
        QTest::addColumn<double>("height");
        QTest::addColumn<int>("instances");
        QTest::newRow("zero") << 0.0 << 4;
        QTest::newRow("one step") << 15.0 << 5;
        QTest::newRow("tall") << 576.0 << 42; // (576 + 30) / 15 = 40.4
    }
    void perforations() {
        QFETCH(double, height);
        QFETCH(int, instances);
        const Perforation p = perforation(QSizeF(16, height));
        QCOMPARE(p.instances, instances);
        QCOMPARE(p.hole, QRectF(5, 3, 6, 8.5));
        QCOMPARE(p.replica, QRectF(0, -15, 16, height + 30));
        QCOMPARE(perforationShift(0), 0.0);
        QCOMPARE(perforationShift(44), -14.0);
        QCOMPARE(perforationShift(45), 0.0);
        QCOMPARE(perforationShift(1000.5), -10.5);
        // Shifted up by a whole step, the last hole still starts within one step of
        // the bottom, so the pattern never ends early.
        const double lastTop = p.replica.top() + (p.instances - 1) * perfStep + p.hole.top();
        QVERIFY(lastTop - perfStep >= height - perfStep);
    }

    // The search box keeps its field between the icon and the clear button, and
    // a box too narrow for both gives the field zero width.
    void searchBoxParts() {
        const SearchBox box = searchBox(QSizeF(244, 28));
        QCOMPARE(box.icon, QRectF(8, 6, 16, 16));
        QCOMPARE(box.field, QRectF(29, 5.5, 244 - 55, 17));
        QCOMPARE(box.clear, QRectF(220, 4, 20, 20));
        QCOMPARE(searchBox(QSizeF(40, 28)).field.width(), 0.0);
    }
};

TAMBERK_TEST(tst_ShelfLayout)
#include "tst_ShelfLayout.moc"
