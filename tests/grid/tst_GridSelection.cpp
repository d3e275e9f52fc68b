#include "TestEnv.h"
#include "grid/GridSelection.h"

#include <QTest>

namespace {

// A grid as the selection rules see it: paths p0, p1, … with layout frames,
// a hovered cell, a selection set, and a log of what the rules asked for.
class FakeGrid final : public GridSelection::Client {
public:
    explicit FakeGrid(QList<QRectF> frames)
        : frames(std::move(frames)) {}

    GridSelection rules{*this};
    QList<QRectF> frames;
    std::optional<QString> hover;
    QSet<QString> selected;
    bool host = true;
    bool chosen = false;
    bool visible = false;
    QStringList log;
    std::optional<QRectF> band;
    QList<QRectF> scrolled;
    int holds = 0;

    int count() const override { return int(frames.size()); }
    QString pathAt(int i) const override { return QStringLiteral("p%1").arg(i); }
    int indexOf(const QString& path) const override {
        bool ok = false;
        const int i = path.mid(1).toInt(&ok);
        return ok && path.startsWith('p') && i >= 0 && i < count() ? i : -1;
    }
    std::optional<QRectF> frameOf(const QString& path) const override {
        const int i = indexOf(path);
        return i < 0 ? std::nullopt : std::optional<QRectF>(frames[i]);
    }
    std::optional<QString> hovered() const override { return hover; }
    QSet<QString> selection() const override { return selected; }
    void setSelection(const QSet<QString>& set) override {
        if (set == selected)
            return;
        selected = set;
        rules.selectionDidChange();
    }
    bool hasHost() const override { return host; }
    bool previewChosen() const override { return chosen; }
    void open(const QStringList& p) override { log << "open " + p.join(','); }
    void copy(const QStringList& p) override { log << "copy " + p.join(','); }
    void trash(const QStringList& p) override { log << "trash " + p.join(','); }
    void reveal(const QStringList& p) override { log << "reveal " + p.join(','); }
    void escape() override { log << "escape"; }
    void search(const QString& seed) override { log << "search " + seed; }
    void menu(const QStringList& p) override { log << "menu " + p.join(','); }
    void hold(bool held) override { holds += held ? 1 : -1; }
    void beginDrag(const QStringList& p) override { log << "drag " + p.join(','); }
    void marqueeChanged(const std::optional<QRectF>& rect) override { band = rect; }
    void scrollToVisible(const QRectF& rect) override { scrolled << rect; }
    bool previewVisible() const override { return visible; }
    void showPreview() override {
        visible = true;
        log << "preview " + rules.previewItems().join(',');
        rules.previewBegan();
    }
    void closePreview() override {
        visible = false;
        log << "close";
        rules.previewEnded();
    }
    void reloadPreview(const QStringList& items) override { log << "reload " + items.join(','); }

    QPointF centre(int i) const { return frames[i].center(); }
    void click(int i, Qt::KeyboardModifiers modifiers = {}) {
        rules.mouseDown(centre(i), 1, modifiers);
        rules.mouseUp();
    }
    QStringList sorted() const {
        QStringList list(selected.begin(), selected.end());
        list.sort();
        return list;
    }
};

// Three columns of 100 × 80 cells, 10 apart, filled row by row: p0 p1 p2 / p3 p4 p5 / …
QList<QRectF> rows(int cells) {
    QList<QRectF> frames;
    for (int i = 0; i < cells; ++i)
        frames << QRectF(6 + (i % 3) * 110, 10 + (i / 3) * 90, 100, 80);
    return frames;
}

// Two columns of uneven heights: p0 p2 p4 on the left, p1 p3 on the right.
QList<QRectF> masonry() {
    return {QRectF(0, 0, 100, 80), QRectF(110, 0, 100, 150), QRectF(0, 90, 100, 120),
            QRectF(110, 160, 100, 80), QRectF(0, 220, 100, 80)};
}

} // namespace

class tst_GridSelection : public QObject {
    Q_OBJECT
private slots:
    // With nothing selected a plain click selects nothing, yet the keyboard
    // commands act on the clicked cell, unless another cell is hovered.
    void plainClickTargetsTheKeyboard_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<QString>("hovered");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, int key, bool ctrl, const char* hovered,
                            const char* expected) {
            QTest::newRow(name) << key << ctrl << QString(hovered) << QString(expected);
        };
        row("return", Qt::Key_Return, false, "", "open p4");
        row("keypad enter", Qt::Key_Enter, false, "", "open p4");
        row("delete", Qt::Key_Delete, false, "", "trash p4");
        row("backspace", Qt::Key_Backspace, false, "", "trash p4");
        row("ctrl+c", Qt::Key_C, true, "", "copy p4");
        row("ctrl+backspace", Qt::Key_Backspace, true, "", "trash p4");
        row("ctrl+r", Qt::Key_R, true, "", "reveal p4");
        row("space", Qt::Key_Space, false, "", "preview p4");
        row("hovered wins", Qt::Key_Return, false, "p1", "open p1");
    }
    void plainClickTargetsTheKeyboard() {
        QFETCH(int, key);
        QFETCH(bool, ctrl);
        QFETCH(QString, hovered);
        QFETCH(QString, expected);
        FakeGrid grid(rows(6));
        grid.click(4);
        QVERIFY(grid.selected.isEmpty());
        QCOMPARE(grid.rules.lastClicked(), QStringLiteral("p4"));
        if (!hovered.isEmpty())
            grid.hover = hovered;
        const bool handled =
            ctrl ? grid.rules.command(key) : grid.rules.keyDown(key, {}, {}, false);
        QVERIFY(handled);
        QCOMPARE(grid.log, QStringList{expected});
    }

    // The check mark (and 5 points around it) selects with nothing selected,
    // when its cell is hovered; a press there never starts a drag.
    void checkMarkSelects_data() {
        QTest::addColumn<QPointF>("offset"); // from the cell's top-left corner
        QTest::addColumn<bool>("hovered");
        QTest::addColumn<bool>("selects");
        QTest::newRow("centre of the mark") << QPointF(16, 16) << true << true;
        QTest::newRow("inside the margin") << QPointF(2.5, 29.5) << true << true;
        QTest::newRow("past the margin") << QPointF(16, 30.5) << true << false;
        QTest::newRow("mark not shown") << QPointF(16, 16) << false << false;
    }
    void checkMarkSelects() {
        QFETCH(QPointF, offset);
        QFETCH(bool, hovered);
        QFETCH(bool, selects);
        FakeGrid grid(rows(3));
        if (hovered)
            grid.hover = "p1";
        const QPointF press = grid.frames[1].topLeft() + offset;
        grid.rules.mouseDown(press, 1, {});
        grid.rules.mouseDragged(press + QPointF(30, 30));
        grid.rules.mouseUp();
        QCOMPARE(grid.sorted(), selects ? QStringList{"p1"} : QStringList{});
        QCOMPARE(grid.log.filter("drag").isEmpty(), selects);
        QCOMPARE(grid.rules.anchor().has_value(), selects);
    }

    // With a selection, a plain click toggles on release; moving more than
    // 4 points first drags instead and leaves the selection as it was.
    void deferredToggleOrDrag_data() {
        QTest::addColumn<int>("pressed");
        QTest::addColumn<double>("distance");
        QTest::addColumn<QStringList>("selection");
        QTest::addColumn<QString>("dragged");
        const QStringList two{"p0", "p1"};
        QTest::newRow("click adds") << 2 << 0.0 << QStringList{"p0", "p1", "p2"} << "";
        QTest::newRow("click removes") << 1 << 0.0 << QStringList{"p0"} << "";
        QTest::newRow("4 points still clicks") << 2 << 4.0 << QStringList{"p0", "p1", "p2"} << "";
        QTest::newRow("drag of the unselected") << 2 << 4.5 << two << "drag p2";
        QTest::newRow("drag of the selection") << 1 << 12.0 << two << "drag p0,p1";
    }
    void deferredToggleOrDrag() {
        QFETCH(int, pressed);
        QFETCH(double, distance);
        QFETCH(QStringList, selection);
        QFETCH(QString, dragged);
        FakeGrid grid(rows(6));
        grid.click(0, Qt::ControlModifier);
        grid.click(1, Qt::ControlModifier);
        grid.log.clear();
        const QPointF press = grid.centre(pressed);
        grid.rules.mouseDown(press, 1, {});
        QCOMPARE(grid.sorted(), (QStringList{"p0", "p1"}));
        grid.rules.mouseDragged(press + QPointF(distance, 0));
        if (grid.rules.dragging()) {
            grid.rules.mouseDragged(press + QPointF(40, 60)); // still one drag
            grid.rules.dragEnded();
        }
        grid.rules.mouseUp();
        QCOMPARE(grid.sorted(), selection);
        QCOMPARE(grid.log, dragged.isEmpty() ? QStringList{} : QStringList{dragged});
    }

    // Shift-click adds the range from the anchor, keeping everything else
    // selected and the anchor where it was; Ctrl-click toggles single cells.
    void shiftClickAddsARange() {
        FakeGrid grid(rows(9));
        grid.click(8, Qt::ControlModifier);
        grid.click(2, Qt::ControlModifier);
        grid.click(6, Qt::ShiftModifier);
        QCOMPARE(grid.sorted(), (QStringList{"p2", "p3", "p4", "p5", "p6", "p8"}));
        QCOMPARE(grid.rules.anchor(), QStringLiteral("p2"));
        grid.click(0, Qt::ShiftModifier); // backwards from the anchor
        QCOMPARE(grid.sorted(), (QStringList{"p0", "p1", "p2", "p3", "p4", "p5", "p6", "p8"}));
        grid.click(4, Qt::ControlModifier);
        QVERIFY(!grid.selected.contains("p4"));
        QCOMPARE(grid.rules.anchor(), QStringLiteral("p4"));

        // Without an anchor and a selection, Shift-click is a plain click.
        FakeGrid fresh(rows(9));
        fresh.click(5, Qt::ShiftModifier);
        QVERIFY(fresh.selected.isEmpty());
    }

    // The rubber band selects every cell it touches, on top of the earlier
    // selection with Ctrl or Shift, from an empty one without; it goes on release.
    void rubberBand_data() {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QStringList>("selection");
        const QStringList touched{"p1", "p2", "p4", "p5", "p7", "p8"};
        QTest::newRow("plain") << int(Qt::NoModifier) << touched;
        QTest::newRow("ctrl") << int(Qt::ControlModifier)
                              << QStringList{"p1", "p2", "p4", "p5", "p6", "p7", "p8"};
        QTest::newRow("shift") << int(Qt::ShiftModifier)
                               << QStringList{"p1", "p2", "p4", "p5", "p6", "p7", "p8"};
    }
    void rubberBand() {
        QFETCH(int, modifiers);
        QFETCH(QStringList, selection);
        FakeGrid grid(rows(9));
        grid.click(6, Qt::ControlModifier);
        const QPointF empty(340, 300); // right of the last column, below the rows
        grid.rules.mouseDown(empty, 1, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(grid.selected.isEmpty(), modifiers == Qt::NoModifier);
        grid.rules.mouseDragged(QPointF(20, 20));
        QCOMPARE(grid.selected.size(), 9);
        grid.rules.mouseDragged(QPointF(200, 60)); // shrinking drops what it left
        QCOMPARE(grid.band, QRectF(200, 60, 140, 240));
        QCOMPARE(grid.sorted(), selection);
        grid.rules.mouseUp();
        QVERIFY(!grid.band);
        QCOMPARE(grid.sorted(), selection);
    }

    // Arrow keys step to the nearest cell in their direction by layout
    // frames, and to the listing neighbour where there is none.
    void neighbor_data() {
        QTest::addColumn<QList<QRectF>>("frames");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("expected"); // -1: none
        const QList<QRectF> m = masonry();
        QTest::newRow("right into the next column") << m << 0 << int(Direction::Right) << 1;
        QTest::newRow("right at the row's end") << m << 1 << int(Direction::Right) << 2;
        QTest::newRow("right to an overlapping cell") << m << 4 << int(Direction::Right) << 3;
        QTest::newRow("left to the nearer centre") << m << 3 << int(Direction::Left) << 2;
        QTest::newRow("up the column") << m << 4 << int(Direction::Up) << 2;
        QTest::newRow("up from the second column") << m << 3 << int(Direction::Up) << 1;
        QTest::newRow("down past the column's end") << m << 3 << int(Direction::Down) << 4;
        QTest::newRow("up from the first") << m << 0 << int(Direction::Up) << -1;
        QTest::newRow("down from the last") << m << 4 << int(Direction::Down) << -1;
        // Up takes only centres within half a width sideways, even when a
        // nearer cell lies just beyond that.
        const QList<QRectF> offset{QRectF(40, 0, 100, 80), QRectF(60, 100, 100, 80),
                                   QRectF(0, 200, 100, 80)};
        // Sideways, a smaller vertical offset breaks the tie of equal distances.
        const QList<QRectF> tie{QRectF(0, 0, 100, 100), QRectF(0, 110, 100, 100),
                                QRectF(110, 90, 100, 100)};
        QTest::newRow("left to the level cell") << tie << 2 << int(Direction::Left) << 1;
        QTest::newRow("up within half a width") << offset << 2 << int(Direction::Up) << 0;
        QTest::newRow("down within half a width") << offset << 0 << int(Direction::Down) << 1;
    }
    void neighbor() {
        QFETCH(QList<QRectF>, frames);
        QFETCH(int, from);
        QFETCH(int, direction);
        QFETCH(int, expected);
        FakeGrid grid(frames);
        const std::optional<QString> next =
            grid.rules.neighbor(grid.pathAt(from), Direction(direction));
        QCOMPARE(next, expected < 0 ? std::nullopt : std::optional<QString>(grid.pathAt(expected)));
    }

    // The first arrow press selects the first shot, or the one below a plain
    // click's; later ones move a single selection or, with Shift, extend it;
    // each scrolls its cell into view.
    void arrowsMoveTheSelection() {
        FakeGrid grid(rows(6));
        grid.rules.keyDown(Qt::Key_Down, {}, {}, false);
        QCOMPARE(grid.sorted(), QStringList{"p0"});
        QCOMPARE(grid.scrolled.last(), grid.frames[0].adjusted(0, -14, 0, 14));
        grid.rules.keyDown(Qt::Key_Down, {}, {}, false);
        QCOMPARE(grid.sorted(), QStringList{"p3"});
        grid.rules.keyDown(Qt::Key_Right, Qt::ShiftModifier, {}, false);
        QCOMPARE(grid.sorted(), (QStringList{"p3", "p4"}));
        QCOMPARE(grid.rules.anchor(), QStringLiteral("p4"));
        QCOMPARE(grid.scrolled.last(), grid.frames[4].adjusted(0, -14, 0, 14));
        grid.rules.keyDown(Qt::Key_Up, {}, {}, false);
        QCOMPARE(grid.sorted(), QStringList{"p1"});
        // Home and End jump to the ends, as in any list, and Shift+arrow
        // extends from there.
        grid.rules.keyDown(Qt::Key_End, {}, {}, false);
        QCOMPARE(grid.sorted(), QStringList{"p5"});
        QCOMPARE(grid.scrolled.last(), grid.frames[5].adjusted(0, -14, 0, 14));
        grid.rules.keyDown(Qt::Key_Home, {}, {}, false);
        grid.rules.keyDown(Qt::Key_Right, Qt::ShiftModifier, {}, false);
        QCOMPARE(grid.sorted(), (QStringList{"p0", "p1"}));

        // A plain click that selects nothing still puts the keyboard there.
        FakeGrid clicked(rows(6));
        clicked.rules.mouseDown(clicked.frames[1].center(), 1, {});
        clicked.rules.mouseUp();
        QCOMPARE(clicked.rules.cursor(), QStringLiteral("p1"));
        clicked.rules.keyDown(Qt::Key_Down, {}, {}, false);
        QCOMPARE(clicked.sorted(), QStringList{"p4"});
    }

    // One typed letter or digit opens the search seeded with it; punctuation,
    // Caps Lock and command modifiers do not.
    void typingSeedsTheSearch_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("capsLock");
        QTest::addColumn<bool>("searches");
        QTest::newRow("letter") << "a" << int(Qt::NoModifier) << false << true;
        QTest::newRow("digit") << "7" << int(Qt::NoModifier) << false << true;
        QTest::newRow("accented letter") << "é" << int(Qt::NoModifier) << false << true;
        QTest::newRow("keypad digit") << "3" << int(Qt::KeypadModifier) << false << true;
        QTest::newRow("punctuation") << "," << int(Qt::NoModifier) << false << false;
        QTest::newRow("caps lock") << "A" << int(Qt::NoModifier) << true << false;
        QTest::newRow("alt") << "a" << int(Qt::AltModifier) << false << false;
        QTest::newRow("two characters") << "ab" << int(Qt::NoModifier) << false << false;
    }
    void typingSeedsTheSearch() {
        QFETCH(QString, text);
        QFETCH(int, modifiers);
        QFETCH(bool, capsLock);
        QFETCH(bool, searches);
        FakeGrid grid(rows(3));
        const bool handled =
            grid.rules.keyDown(Qt::Key_A, Qt::KeyboardModifiers(modifiers), text, capsLock);
        QCOMPARE(handled, searches);
        QCOMPARE(grid.log, searches ? QStringList{"search " + text} : QStringList{});
    }

    // Ctrl+A selects the listing; the grid's Ctrl keys count as handled even
    // with nothing to act on, other Ctrl keys are left to the panel.
    void commands() {
        FakeGrid grid(rows(4));
        for (int key : {Qt::Key_C, Qt::Key_O, Qt::Key_R, Qt::Key_Backspace, Qt::Key_Y})
            QVERIFY(grid.rules.command(key));
        QCOMPARE(grid.log, QStringList{});
        QVERIFY(!grid.rules.command(Qt::Key_Q));
        QVERIFY(grid.rules.command(Qt::Key_A));
        QCOMPARE(grid.sorted(), (QStringList{"p0", "p1", "p2", "p3"}));
        grid.chosen = true;
        QVERIFY(grid.rules.command(Qt::Key_O));
        QCOMPARE(grid.log, QStringList{"preview p0,p1,p2,p3"});
    }

    // A double click opens the shot, or previews it (focused, nothing
    // selected) or the selection when "quicklook" is chosen.
    void doubleClick_data() {
        QTest::addColumn<bool>("chosen");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("expected");
        QTest::newRow("opens") << false << QStringList{} << "open p2";
        QTest::newRow("opens the selection") << false << QStringList{"p1", "p2"} << "open p1,p2";
        QTest::newRow("previews the cell") << true << QStringList{} << "preview p2";
        QTest::newRow("previews the selection") << true << QStringList{"p0"} << "preview p0";
    }
    void doubleClick() {
        QFETCH(bool, chosen);
        QFETCH(QStringList, before);
        QFETCH(QString, expected);
        FakeGrid grid(rows(4));
        grid.chosen = chosen;
        grid.selected = QSet<QString>(before.begin(), before.end());
        grid.rules.mouseDown(grid.centre(2), 2, {});
        grid.rules.mouseUp();
        QCOMPARE(grid.log, QStringList{expected});
        QCOMPARE(grid.rules.previewFocus().has_value(), chosen && before.isEmpty());
    }

    // The preview holds the panel while it shows; its arrows move the focused
    // shot, or the selection it shows; selection changes reload it; Space closes it.
    void previewFollowsTheGrid() {
        FakeGrid grid(rows(6));
        grid.click(1);
        grid.rules.keyDown(Qt::Key_Space, {}, {}, false);
        QCOMPARE(grid.log, QStringList{"preview p1"});
        QCOMPARE(grid.holds, 1);
        grid.rules.previewArrow(Direction::Down);
        QCOMPARE(grid.log.last(), QStringLiteral("reload p4"));
        QCOMPARE(grid.rules.lastClicked(), QStringLiteral("p4"));
        QVERIFY(grid.selected.isEmpty());

        grid.click(5, Qt::ControlModifier); // a selection replaces the focus
        QCOMPARE(grid.log.last(), QStringLiteral("reload p5"));
        QVERIFY(!grid.rules.previewFocus());
        grid.rules.previewArrow(Direction::Left);
        QCOMPARE(grid.sorted(), QStringList{"p4"});
        QCOMPARE(grid.log.last(), QStringLiteral("reload p4"));

        grid.rules.keyDown(Qt::Key_Space, {}, {}, false);
        QCOMPARE(grid.log.last(), QStringLiteral("close"));
        QCOMPARE(grid.holds, 0);
        QVERIFY(!grid.rules.previewActive());
    }

    // A right click asks for the menu of the clicked shot, or of the selection
    // when it is part of it, or of nothing on empty space; it never selects.
    void rightClickAsksForTheMenu() {
        FakeGrid grid(rows(4));
        grid.click(0, Qt::ControlModifier);
        grid.click(1, Qt::ControlModifier);
        grid.log.clear();
        grid.rules.menuRequest(grid.centre(2));
        grid.rules.menuRequest(grid.centre(1));
        grid.rules.menuRequest(QPointF(500, 500));
        QCOMPARE(grid.log, (QStringList{"menu p2", "menu p0,p1", "menu "}));
        QCOMPARE(grid.sorted(), (QStringList{"p0", "p1"}));
        QCOMPARE(grid.rules.lastClicked(), QStringLiteral("p1"));
    }

    // Without a host, actions are silently skipped while selecting still works.
    void withoutHost() {
        FakeGrid grid(rows(4));
        grid.host = false;
        grid.click(2);
        QVERIFY(grid.rules.keyDown(Qt::Key_Return, {}, {}, false));
        QVERIFY(grid.rules.keyDown(Qt::Key_Delete, {}, {}, false));
        QVERIFY(grid.rules.keyDown(Qt::Key_Escape, {}, {}, false));
        QVERIFY(grid.rules.keyDown(Qt::Key_S, {}, "s", false));
        QVERIFY(grid.rules.command(Qt::Key_C));
        grid.rules.menuRequest(grid.centre(2));
        QCOMPARE(grid.log, QStringList{});
        grid.click(3, Qt::ControlModifier);
        QCOMPARE(grid.sorted(), QStringList{"p3"});
    }
};

TAMBERK_TEST(tst_GridSelection)
#include "tst_GridSelection.moc"
