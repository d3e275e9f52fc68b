#include "ShelfRig.h"
#include "TestEnv.h"
#include "panel/PanelGeometry.h"
#include "shelf/ShelfLayout.h"
#include "shelf/Theme.h"

using namespace ShelfLayout;

namespace {

// Whether the frames run left to right (or top to bottom) without overlapping.
bool inRow(const std::vector<QRectF>& frames, bool vertical = false) {
    for (size_t i = 1; i < frames.size(); ++i) {
        const double end = vertical ? frames[i - 1].bottom() : frames[i - 1].right();
        if ((vertical ? frames[i].top() : frames[i].left()) < end)
            return false;
    }
    return true;
}

// A row as comma-separated titles ("+" for an add chip), all or only the lit ones.
QString titles(const std::vector<ChipRows::Chip>& row, bool litOnly = false) {
    QStringList out;
    for (const auto& chip : row)
        if (chip.active || !litOnly)
            out << (chip.def.kind == ChipKind::add ? QStringLiteral("+") : chip.def.title);
    return out.join(',');
}

} // namespace

class tst_ShelfLayout : public QObject {
    Q_OBJECT
private slots:
    // No negative frame, left mirrors right; with room, inside and stacked without overlap.
    void cardFrames() {
        for (double w : {PanelGeometry::minW, 268.0, 835.0}) {
            for (double h : {0.0, 124.0, 700.0}) {
                for (int bands = 0; bands < 4; ++bands) {
                    Input in{QSizeF(w, h), bool(bands & 1), bool(bands & 2), DockSide::right};
                    const Frames f = card(in);
                    in.side = DockSide::left;
                    const Frames left = card(in);
                    const std::vector<QRectF> r{
                        f.chips,  f.sub,   f.search, f.sepTop, f.sepBottom, f.grip,      f.footer,
                        f.selBar, f.perfL, f.perfR,  f.roll,   f.empty,     f.toastArea, f.handle},
                        l{left.chips, left.sub,    left.search,    left.sepTop, left.sepBottom,
                          left.grip,  left.footer, left.selBar,    left.perfR,  left.perfL,
                          left.roll,  left.empty,  left.toastArea, left.handle};
                    const QByteArray at =
                        QStringLiteral("%1 x %2, bands %3").arg(w).arg(h).arg(bands).toUtf8();
                    const bool room = h >= 124 + subH * in.subVisible + searchH * in.searchVisible;
                    for (size_t i = 0; i < r.size(); ++i) {
                        QVERIFY2(r[i].width() >= 0 && r[i].height() >= 0, at);
                        QVERIFY2(!room || (r[i].left() >= 0 && r[i].top() >= 0 &&
                                           r[i].right() <= w && r[i].bottom() <= h),
                                 at);
                        QCOMPARE(l[i],
                                 QRectF(w - r[i].right(), r[i].top(), r[i].width(), r[i].height()));
                    }
                    if (!room)
                        continue;
                    std::vector<QRectF> column{QRectF(0, 0, w, headerH), f.chips};
                    if (in.subVisible)
                        column.push_back(f.sub);
                    if (in.searchVisible)
                        column.push_back(f.search);
                    column.insert(column.end(), {f.roll, f.footer});
                    QVERIFY2(inRow(column, true) && inRow({f.perfL, f.roll, f.perfR}), at);
                    QVERIFY2(f.selBar.bottom() <= headerH && f.sepTop.bottom() == f.top &&
                                 f.sepBottom.top() == f.footer.top(),
                             at);
                    for (const QRectF& band : {f.roll, f.empty, f.perfL, f.perfR, f.toastArea})
                        QVERIFY2(band.top() == f.top && band.bottom() == f.footer.top(), at);
                }
            }
        }
        // Docked right, the grip and the handle face the screen's interior (left).
        const Frames f = card({QSizeF(300, 700), false, false, DockSide::right});
        QCOMPARE(f.handle.left(), 0.0);
        QVERIFY(f.grip.right() < f.footer.left() && f.grip.top() >= f.footer.top());
        for (DockSide side : {DockSide::left, DockSide::right})
            QCOMPARE(handlePill(f.handle.size(), side).center(),
                     QRectF(QPointF(), f.handle.size()).center());
    }

    // The counter keeps its width; the brand goes only when it lacks room, and stays gone.
    void headerKeepsTheCounter() {
        const double brandW = 69.3, countW = 29.2; // widths are rounded up
        bool shownWider = false;
        for (double w = 400; w >= 60; w -= 0.5) {
            const Header h = header(w, brandW, countW);
            const QByteArray at = QByteArray::number(w);
            QVERIFY2(inRow({h.brandIcon, h.brand}) && h.count.width() >= 0, at);
            QVERIFY2(inRow({h.searchB, h.pinB, h.gearB, h.closeB}) && h.closeB.right() <= w, at);
            QVERIFY2(h.count.width() == 0 || h.count.right() <= h.searchB.left(), at);
            if (h.brandHidden) {
                QCOMPARE(h.count.left(), h.brand.left());
                QVERIFY2(h.searchB.left() - h.brand.right() < std::ceil(countW) + 10, at);
            } else {
                QVERIFY2(w == 400 || shownWider, at);
                QVERIFY2(inRow({h.brand, h.count}) && h.count.width() >= std::ceil(countW), at);
                QVERIFY(h.brand.width() >= brandW);
            }
            shownWider = !h.brandHidden;
        }
        QVERIFY(header(60, brandW, countW).brandHidden);
    }

    // The main row is divided after its scopes; the document spans at least the view.
    void chipRows() {
        for (bool mainRow : {true, false}) {
            const ChipRow row = chipRow({60, 40, 70, 24}, mainRow, 100);
            QVERIFY(inRow(row.frames) && row.dividerPlaced == mainRow);
            const auto gap = [&](int i) {
                return row.frames[i + 1].left() - row.frames[i].right();
            };
            QCOMPARE(gap(1) > gap(0), mainRow);
            QCOMPARE(gap(2), gap(0));
            for (const QRectF& f : row.frames)
                QVERIFY(QRectF(QPointF(), row.document).contains(f) &&
                        f.height() == row.frames[0].height());
            QCOMPARE(row.frames[2].width(), 70.0);
            QCOMPARE(chipRow({60, 40}, mainRow, 500).document.width(), 500.0);
            QVERIFY(!chipRow({60}, mainRow, 0).dividerPlaced);
        }
        const ChipRow main = chipRow({60, 40, 70}, true, 0);
        QVERIFY(inRow({main.frames[1], main.divider, main.frames[2]}));
        QVERIFY(main.frames[0].height() > chipRow({60}, false, 0).frames[0].height());
    }

    // Parts in order, with the boundaries: column label from 261 points, "selected" from 250.
    void instrumentsLineUp() {
        for (const auto& [side, width] : {std::pair{DockSide::left, 300.0},
                                          {DockSide::right, 261.0},
                                          {DockSide::right, 260.0}}) {
            const Footer f = footer(QSizeF(width, 46), side);
            QVERIFY(inRow({f.small, f.slider, f.large}));
            for (const QRectF& part : {f.small, f.slider, f.large, f.cols})
                QVERIFY(QRectF(0, 0, width, 46).contains(part));
            QCOMPARE(f.colsHidden, width < 261);
            QCOMPARE(f.colsRightAligned, side == DockSide::left);
            QVERIFY(f.colsHidden ||
                    (side == DockSide::left ? inRow({f.large, f.cols}) : inRow({f.cols, f.small})));
        }
        for (double w : {249.0, 250.0}) {
            const ShelfLayout::SelectionBar bar = selectionBar(QSizeF(w, 34));
            QVERIFY(inRow({bar.count, bar.move, bar.copy, bar.share, bar.trash, bar.clear}));
            QVERIFY(bar.clear.left() - bar.trash.right() > bar.trash.left() - bar.share.right());
            QVERIFY(bar.clear.right() <= w && bar.showsWord == (w >= 250));
        }
        QCOMPARE(selectionBar(QSizeF(100, 34)).count.width(), 0.0);
        const ShelfLayout::SearchBox box = searchBox(QSizeF(244, 28));
        QVERIFY(inRow({box.icon, box.field, box.clear}) && box.clear.right() <= 244);
        for (const QRectF& part : {box.icon, box.field, box.clear})
            QCOMPARE(part.center().y(), 14.0);
        QVERIFY(box.field.width() > 150 && searchBox(QSizeF(40, 28)).field.width() == 0);
    }

    // A wrapped message grows the pill upwards; the action never covers it.
    void toastPlacement() {
        const QRectF area(0, 78, 268, 576);
        const double bottom = toast(area, 80, 0).pill.bottom();
        for (double text : {80.4, 400.0}) {
            for (double action : {0.0, 30.2}) {
                const Toast t = toast(area, text, action);
                const QRectF pill(QPointF(), t.pill.size());
                QVERIFY(area.contains(t.pill) && pill.contains(t.label));
                QCOMPARE(t.pill.center().x(), area.center().x());
                QCOMPARE(t.pill.bottom(), bottom);
                QCOMPARE(t.lines, text > 200 ? 2 : 1);
                if (t.lines == 1)
                    QVERIFY(t.label.width() >= text);
                QCOMPARE(t.action.isEmpty(), action == 0);
                QVERIFY(action == 0 ||
                        (inRow({t.label, t.action}) && pill.contains(t.action) &&
                         t.action.width() >= action && t.action.center().y() == pill.center().y()));
            }
        }
        QCOMPARE(toast(area, 400, 0).label.height(), 2 * toast(area, 80, 0).label.height());
        QCOMPARE(toast(QRectF(0, 0, 40, 0), 100, 0).label.width(), 0.0);
    }

    // Parts stack centred; with keycaps, keys and words read as one centred line.
    void emptyStateParts() {
        const QRectF view(0, 0, 200, 500);
        const Empty plain = empty(view.size(), 0, 0, QSizeF(100, 24));
        QVERIFY(inRow({plain.icon, plain.title, plain.sub, plain.button}, true));
        for (const QRectF& part : {plain.icon, plain.title, plain.sub, plain.button}) {
            QVERIFY(view.contains(part));
            QCOMPARE(part.center().x(), view.center().x());
        }
        const Empty keys = empty(view.size(), 40, 51.5, QSizeF(100, 24));
        QVERIFY(inRow({keys.keys, keys.sub}) && keys.sub.width() >= 51.5);
        QCOMPARE(keys.keys.center().y(), keys.sub.center().y());
        QCOMPARE((keys.keys.left() + keys.sub.right()) / 2, view.center().x());
        QVERIFY(inRow({keys.title, keys.sub, keys.button}, true));
    }

    // A spare step at each end; any scroll offset shifts them by under a step.
    void perforations() {
        for (double height : {0.0, 15.0, 576.0}) {
            const Perforation p = perforation(QSizeF(16, height));
            QVERIFY(p.replica.top() <= -perfStep && p.replica.bottom() >= height + perfStep);
            QVERIFY(p.instances * perfStep >= p.replica.height());
            QVERIFY(QRectF(0, 0, 16, perfStep).contains(p.hole));
            QCOMPARE(p.hole.center().x(), 8.0);
        }
        for (double offset : {0.0, 44.0, 45.0, 1000.5}) {
            const double shift = perforationShift(offset);
            QVERIFY(shift <= 0 && shift > -perfStep);
            QCOMPARE(std::fmod(offset + shift, perfStep), 0.0);
        }
    }

    // A leaf shows its parent's level, the main ancestor lit; root and Session show none.
    void rowsPerSelection() {
        for (const auto& [scope, sub, mainLit, subLit] :
             {std::tuple{"session", "", "Session", ""},
              {"folder:/s", "", "s", ""},                         // the root
              {"folder:/s/a", "All a,x,y,+", "a", "All a"},       // first level with subfolders
              {"folder:/s/b", "", "b", ""},                       // first level without
              {"folder:/s/a/y", "All a,x,y,+", "a", "y"},         // second-level leaf
              {"folder:/s/a/x", "All x,deep,+", "a", "All x"}}) { // second level, with a subfolder
            ChipRows rows;
            rows.update(ChipTree().source(), *Scope::fromId(scope));
            QCOMPARE(titles(rows.main()), QStringLiteral("Session,All,s,a,b,+"));
            QCOMPARE(titles(rows.sub()), QString(sub));
            QCOMPARE(rows.subVisible(), *sub != 0);
            QCOMPARE(titles(rows.main(), true), QString(mainLit));
            QCOMPARE(titles(rows.sub(), true), QString(subLit));
        }
    }

    // Scopes, folders, counts, one known symbol per kind; a root without children has no sub row.
    void chipDefs() {
        ChipTree tree;
        ChipRows rows;
        rows.update(tree.source(), Scope::folder("/s/a"));
        const auto& main = rows.main();
        const auto& sub = rows.sub();
        QVERIFY(*main[0].def.scope == Scope::session() && *main[1].def.scope == Scope::all());
        QVERIFY(*main[3].def.scope == Scope::folder("/s/a"));
        QCOMPARE(main[2].def.path, QStringLiteral("/s"));
        QVERIFY(main[5].def.kind == ChipKind::add && main[5].def.path.isEmpty() &&
                !main[5].def.scope);
        QCOMPARE(sub.back().def.path, QStringLiteral("/s/a"));
        QSet<QString> symbols;
        for (const auto* chip : {&main[0], &main[1], &main[2], &main[3], &main[4], &sub[0]}) {
            QVERIFY(Theme::symbol(chip->def.symbol));
            symbols << chip->def.symbol;
        }
        QCOMPARE(symbols.size(), 6);
        QCOMPARE(sub[1].def.symbol, main[3].def.symbol); // x holds deep, a holds x
        QCOMPARE(sub[2].def.symbol, main[4].def.symbol); // y and b are leaves
        QCOMPARE((QList<qint64>{main[0].count, main[1].count, main[3].count, sub[2].count}),
                 (QList<qint64>{4, 20, 12, 0}));

        QHash<QString, QStringList> empty;
        ChipSource bare;
        bare.root = "/shots";
        bare.childMap = &empty;
        bare.listed = [](const QString&) { return true; };
        QVERIFY(rows.update(bare, Scope::folder("/shots")).mainRebuilt);
        QCOMPARE(titles(rows.main()), QStringLiteral("Session,All,shots,+"));
        QVERIFY(!rows.subVisible());
    }

    // Only a changed row is rebuilt, and only touched chips are refreshed.
    void rebuildsOnlyOnSignatureChange() {
        ChipTree tree;
        ChipRows rows;
        ChipRows::Update u = rows.update(tree.source(), Scope::folder("/s/a/x"));
        QVERIFY(u.mainRebuilt && u.subRebuilt && u.subVisibleChanged);
        u = rows.update(tree.source(), Scope::folder("/s/a/y")); // x's level gives way to a's
        QVERIFY(!u.mainRebuilt && u.subRebuilt && !u.subVisibleChanged);
        u = rows.update(tree.source(), Scope::folder("/s/a/y"));
        QVERIFY(!u.mainRebuilt && !u.subRebuilt && !u.subVisibleChanged);
        QVERIFY(u.mainChanged.empty() && u.subChanged.empty());

        ChipSource counted = tree.source();
        counted.counts.perFolder["/s/b"] = 9;
        counted.counts.session = 5;
        u = rows.update(counted, Scope::folder("/s/a/y"));
        QVERIFY(!u.mainRebuilt && !u.subRebuilt);
        QCOMPARE(u.mainChanged, (std::vector<int>{0, 4}));
        QCOMPARE(rows.main()[4].count, 9);

        u = rows.update(counted, Scope::all());
        QVERIFY(u.subRebuilt && u.subVisibleChanged);
        QVERIFY(rows.sub().empty() && rows.subSignature().isEmpty());
        QCOMPARE(u.mainChanged, (std::vector<int>{1, 3})); // All lit, a no longer

        tree.childMap["/s"].append("/s/c");
        u = rows.update(tree.source(), Scope::all());
        QVERIFY(u.mainRebuilt && !u.subRebuilt);
        QCOMPARE(rows.main().size(), size_t(7));
        QCOMPARE(rows.firstActive(true), 1);
        QCOMPARE(rows.firstActive(false), -1);
    }

    // A selected folder the library no longer lists drops the sub row.
    void unlistedSelectionDropsTheSubRow() {
        ChipTree tree;
        ChipRows rows;
        rows.update(tree.source(), Scope::folder("/s/a"));
        QVERIFY(rows.subVisible());
        tree.listed.remove("/s/a");
        const ChipRows::Update u = rows.update(tree.source(), Scope::folder("/s/a"));
        QVERIFY(!rows.subVisible());
        QVERIFY(u.subRebuilt && u.subVisibleChanged);
        QVERIFY(rows.sub().empty());
    }
};

TAMBERK_TEST(tst_ShelfLayout)
#include "tst_ShelfLayout.moc"
