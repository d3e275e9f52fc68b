#include "TestEnv.h"
#include "grid/GridSelection.h"

#include <QTest>

namespace {

// Three columns of 100 × 80 cells, 10 apart, filled row by row: p0 p1 p2 / p3 p4 p5 / …
QList<QRectF> rows(int cells) {
    QList<QRectF> frames;
    for (int i = 0; i < cells; ++i)
        frames << QRectF(6 + (i % 3) * 110, 10 + (i / 3) * 90, 100, 80);
    return frames;
}

// A roll as the rules see it: paths p0, p1, … with frames, and a log of what was asked.
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
    void hold(bool held) override { log << (held ? "hold" : "release"); }
    void beginDrag(const QStringList& p) override { log << "drag " + p.join(','); }
    void marqueeChanged(const std::optional<QRectF>& r) override {
        log << (r ? QString::asprintf("band %g,%g %gx%g", r->x(), r->y(), r->width(), r->height())
                  : QStringLiteral("band none"));
    }
    // Names the frame the scroll shows with room above and below it.
    void scrollToVisible(const QRectF& rect) override {
        for (int i = 0; i < count(); ++i)
            if (rect.contains(frames[i]) && rect.height() > frames[i].height())
                return void(log << "scroll " + pathAt(i));
        log << "scroll elsewhere";
    }
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

    QStringList sorted() const {
        QStringList list(selected.begin(), selected.end());
        list.sort();
        return list;
    }

    // Runs space-separated steps, each an optional modifier (^ Ctrl, + Shift, # keypad, ~ Alt,
    // ! Caps Lock), a letter and its argument: cN click, wN double click, pN press, gN drag to,
    // u release, e the drag ended, mN right click (m: empty space), M keyboard menu, hN hover,
    // kName key, KName Ctrl+key, tText typed text, aName arrow in the preview; A, C and S log
    // the anchor, the cursor and the selection's size; x drops the host, q chooses the preview.
    // A step aims at a cell's centre, its top-left plus @dx,dy, or with no cell at @x,y (else
    // far off every cell).
    void run(const QString& script) {
        static const QRegularExpression step(
            R"(^([\^+#~!]?)([a-zA-Z])([^@]*)(?:@([-\d.]+),([-\d.]+))?$)");
        static const QHash<QString, Qt::KeyboardModifiers> modifiers{{"^", Qt::ControlModifier},
                                                                     {"+", Qt::ShiftModifier},
                                                                     {"#", Qt::KeypadModifier},
                                                                     {"~", Qt::AltModifier}};
        static const QStringList directions{"Left", "Right", "Up", "Down"};
        for (const QString& token : script.split(' ', Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch m = step.match(token);
            QVERIFY2(m.hasMatch(), qPrintable(token));
            const Qt::KeyboardModifiers mods = modifiers.value(m.captured(1));
            const QString arg = m.captured(3);
            bool isCell = false;
            const int cell = arg.toInt(&isCell);
            const QPointF offset(m.captured(4).toDouble(), m.captured(5).toDouble());
            const QPointF at = m.captured(4).isEmpty()
                                   ? (isCell ? frames[cell].center() : QPointF(500, 500))
                                   : (isCell ? frames[cell].topLeft() : QPointF()) + offset;
            const int key = QMetaEnum::fromType<Qt::Key>().keyToValue(qPrintable("Key_" + arg));
            const QString text = arg.size() == 1 ? arg.toLower() : QString();
            const auto handled = [&](bool done) {
                if (!done)
                    log << "unhandled";
            };
            const auto click = [&](int count) {
                rules.mouseDown(at, count, mods);
                rules.mouseUp();
            };
            const QHash<QChar, std::function<void()>> steps{
                {'c', [&] { click(1); }},
                {'w', [&] { click(2); }},
                {'p', [&] { rules.mouseDown(at, 1, mods); }},
                {'g', [&] { rules.mouseDragged(at); }},
                {'u', [&] { rules.mouseUp(); }},
                {'e', [&] { rules.dragEnded(); }},
                {'m', [&] { rules.menuRequest(at); }},
                {'M', [&] { rules.keyboardMenuRequest(); }},
                {'h', [&] { hover = pathAt(cell); }},
                {'k', [&] { handled(rules.keyDown(key, mods, text, false)); }},
                {'t', [&] { handled(rules.keyDown(Qt::Key_A, mods, arg, m.captured(1) == "!")); }},
                {'K', [&] { handled(rules.command(key)); }},
                {'a', [&] { rules.previewArrow(Direction(directions.indexOf(arg))); }},
                {'A', [&] { log << "anchor " + rules.anchor().value_or("none"); }},
                {'C', [&] { log << "cursor " + rules.cursor().value_or("none"); }},
                {'S', [&] { log << QStringLiteral("selected %1").arg(selected.size()); }},
                {'x', [&] { host = false; }},
                {'q', [&] { chosen = true; }}};
            const std::function<void()> run = steps.value(m.captured(2).at(0));
            QVERIFY2(run, qPrintable("unknown step " + token));
            run();
        }
    }
};

} // namespace

class tst_GridSelection : public QObject {
    Q_OBJECT
private slots:
    // What clicks, keys, the band and the preview do to the selection and ask of the grid.
    void scripts_data() {
        QTest::addColumn<QList<QRectF>>("frames");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("log");
        const auto on = [](const QList<QRectF>& frames, const char* name, const char* script,
                           const char* selection, const char* log) {
            QTest::newRow(name) << frames << QString(script) << QString(selection) << QString(log);
        };
        const auto row = [&](const char* name, const char* script, const char* selection,
                             const char* log) { on(rows(9), name, script, selection, log); };
        // With nothing selected a plain click selects nothing, yet aims the keys.
        row("return opens the clicked", "c4 kReturn", "", "open p4");
        row("keypad enter", "c4 kEnter", "", "open p4");
        row("delete", "c4 kDelete", "", "trash p4");
        row("backspace", "c4 kBackspace", "", "trash p4");
        row("ctrl+c", "c4 KC", "", "copy p4");
        row("ctrl+backspace", "c4 KBackspace", "", "trash p4");
        row("ctrl+r", "c4 KR", "", "reveal p4");
        row("space previews and holds", "c4 kSpace", "", "preview p4;hold");
        row("the hovered wins", "c4 h1 kReturn", "", "open p1");
        row("escape", "kEscape", "", "escape");
        // One typed letter or digit opens the search seeded with it.
        row("typing searches", "té", "", "search é");
        row("a keypad digit", "#t3", "", "search 3");
        row("punctuation", "t,", "", "unhandled");
        row("caps lock", "!tA", "", "unhandled");
        row("alt", "~ta", "", "unhandled");
        row("two characters", "tab", "", "unhandled");
        row("a right click aims the keys", "m2 kReturn", "", "menu p2;open p2");
        // The check mark (and a margin around it) selects where it shows; no drag starts there.
        row("check mark", "h1 p1@16,16 g1@46,46 u", "p1", "");
        row("inside its margin", "h1 p1@2.5,29.5 g1@32,59 u", "p1", "");
        row("past its margin", "h1 p1@16,30.5 g1@46,60 u", "", "drag p1");
        row("mark not shown", "p1@16,16 g1@46,46 u", "", "drag p1");
        // With a selection a plain click toggles on release, unless it drags first.
        row("click adds", "^c0 ^c1 c2", "p0,p1,p2", "");
        row("at the drag distance", "^c0 ^c1 p2 g2@54,40 u", "p0,p1,p2", "");
        row("past it drags the pressed", "^c0 ^c1 p2 g2@54.5,40 g2@90,99 e u", "p0,p1", "drag p2");
        row("drag of the selection", "^c0 ^c1 p1 g1@62,40 e u", "p0,p1", "drag p0,p1");
        // Shift adds the range from the anchor, both ways; Ctrl toggles and moves the anchor.
        row("shift range", "^c8 ^c2 +c6", "p2,p3,p4,p5,p6,p8", "");
        row("shift backwards", "^c8 ^c2 +c6 +c0 A", "p0,p1,p2,p3,p4,p5,p6,p8", "anchor p2");
        row("ctrl toggles off", "^c2 +c6 ^c4 A", "p2,p3,p5,p6", "anchor p4");
        row("shift without an anchor", "+c5", "", "");
        // The band selects what it touches, on top of the selection with a modifier.
        row("band", "^c6 p@340,300 g@20,20 S g@200,60 u", "p1,p2,p4,p5,p7,p8",
            "band 20,20 320x280;selected 9;band 200,60 140x240;band none");
        row("band with ctrl", "^c6 ^p@340,300 g@200,60 u", "p1,p2,p4,p5,p6,p7,p8",
            "band 200,60 140x240;band none");
        row("band with shift", "^c6 +p@340,300 g@200,60 u", "p1,p2,p4,p5,p6,p7,p8",
            "band 200,60 140x240;band none");
        // Arrows select the first frame, then move or (Shift) extend, each scrolled to.
        row("first arrow", "kDown", "p0", "scroll p0");
        row("shift extends", "kDown kDown +kRight A", "p3,p4",
            "scroll p0;scroll p3;scroll p4;anchor p4");
        row("arrow moves one", "kDown kDown +kRight kUp", "p1",
            "scroll p0;scroll p3;scroll p4;scroll p1");
        row("end and home", "kEnd kHome +kRight", "p0,p1", "scroll p8;scroll p0;scroll p1");
        row("arrow from a click", "c1 C kDown", "p4", "cursor p1;scroll p4");
        // Ctrl keys of the grid are handled even with nothing to act on; others are not.
        row("idle ctrl keys", "KC KO KR KBackspace KY", "", "");
        row("the panel's ctrl keys", "KQ", "", "unhandled");
        row("ctrl+a", "KA S", "p0,p1,p2,p3,p4,p5,p6,p7,p8", "selected 9");
        row("ctrl+o previews", "q ^c3 KO", "p3", "preview p3;hold");
        // A double click opens, or previews when that is chosen.
        row("double click", "w2", "", "open p2");
        row("double click in the selection", "^c1 ^c2 w2", "p1,p2", "open p1,p2");
        row("double click previews", "q w2", "", "preview p2;hold");
        row("it previews the selection", "q ^c0 w2", "p0", "preview p0;hold");
        // The preview's arrows move its shot, or the selection it shows.
        row("preview arrows", "c1 kSpace aDown C", "",
            "preview p1;hold;scroll p4;reload p4;cursor p4");
        row("a selection replaces the focus", "c1 kSpace ^c5 aLeft kSpace", "p4",
            "preview p1;hold;reload p5;reload p4;scroll p4;close;release");
        // The menus: of the cell, of the selection it is in, of empty space.
        row("right clicks", "^c0 ^c1 m2 m1 m", "p0,p1", "menu p2;menu p0,p1;menu ");
        row("keyboard menu", "M c3 M", "", "menu ;menu p3");
        row("without a host", "x c2 kReturn kDelete kEscape kS KC m2 M ^c3", "p3", "");
        // Arrows step by layout frames, else by listing. Uneven columns: p0 p2 p4 | p1 p3.
        const QList<QRectF> m{QRectF(0, 0, 100, 80), QRectF(110, 0, 100, 150),
                              QRectF(0, 90, 100, 120), QRectF(110, 160, 100, 80),
                              QRectF(0, 220, 100, 80)};
        // Up and down take only centres within half a width sideways.
        const QList<QRectF> offset{QRectF(40, 0, 100, 80), QRectF(60, 100, 100, 80),
                                   QRectF(0, 200, 100, 80)};
        // Sideways, a smaller vertical offset breaks the tie of equal distances.
        const QList<QRectF> tie{QRectF(0, 0, 100, 100), QRectF(0, 110, 100, 100),
                                QRectF(110, 90, 100, 100)};
        on(m, "right to an overlapping cell", "^c4 kRight", "p3", "scroll p3");
        on(m, "left to the nearer centre", "^c3 kLeft", "p2", "scroll p2");
        on(tie, "left to the level cell", "^c2 kLeft", "p1", "scroll p1");
        on(m, "up the nearer cell", "^c3 kUp", "p1", "scroll p1");
        on(offset, "up within half a width", "^c2 kUp", "p0", "scroll p0");
        on(offset, "down within half a width", "^c0 kDown", "p1", "scroll p1");
        on(m, "right at the row's end", "^c1 kRight", "p2", "scroll p2");
        on(m, "up from the first", "^c0 kUp", "p0", "");
        on(m, "down from the last", "^c4 kDown", "p4", "");
    }
    void scripts() {
        QFETCH(QList<QRectF>, frames);
        QFETCH(QString, script);
        QFETCH(QString, selection);
        QFETCH(QString, log);
        FakeGrid grid(frames);
        grid.run(script);
        QCOMPARE(grid.sorted().join(','), selection);
        QCOMPARE(grid.log.join(';'), log);
    }
};

TAMBERK_TEST(tst_GridSelection)
#include "tst_GridSelection.moc"
