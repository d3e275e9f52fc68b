#include "GridSupport.h"
#include "ShelfRig.h"
#include "TestEnv.h"
#include "app/ui/Accessibility.h"
#include "grid/GridAccess.h"
#include "grid/GridInteraction.h"
#include "panel/EdgeTab.h"
#include "panel/PanelController.h"
#include "settings/ui/Switch.h"
#include "shelf/Announce.h"
#include "shelf/EmptyStateView.h"
#include "shelf/FineSlider.h"
#include "shelf/FooterBar.h"
#include "shelf/HScrollView.h"
#include "shelf/IconButton.h"
#include "shelf/SelectionBar.h"
#include "shelf/ShelfHeader.h"
#include "shelf/ToastView.h"

#include <QAccessible>
#include <QLabel>

namespace {

/// Each event seen, read while sent; a state change not of the selection is marked.
QList<std::pair<QAccessible::Event, QString>> g_seen;

void record(QAccessibleEvent* event) {
    QAccessibleInterface* iface = event->accessibleInterface();
    QString name = iface ? iface->text(QAccessible::Name) : QString();
    if (event->type() == QAccessible::StateChanged &&
        !static_cast<QAccessibleStateChangeEvent*>(event)->changedStates().selected)
        name.prepend("not the selection: ");
    g_seen.append({event->type(), name});
}

/// The names of the events of `type` seen so far.
QStringList seenNames(QAccessible::Event type) {
    QStringList names;
    for (const auto& [seenType, name] : std::as_const(g_seen))
        if (seenType == type)
            names << name;
    return names;
}

QAccessibleInterface* of(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

/// A host that knows the text recognised in one shot.
class TextHost : public gridtest::FakeHost {
public:
    std::optional<QString> recognizedText(const Shot& shot) const override {
        if (shot.path.endsWith(QLatin1String("s1.png")))
            return QStringLiteral("\n  Build failed: 3 errors \nsecond line");
        return std::nullopt;
    }
};

/// The shown shelf whose roll lists `count` shots, for a host that knows some text.
struct Rig : ShelfRig {
    TextHost host;
    ChipTree tree;

    explicit Rig(int count = 3)
        : ShelfRig(QSize(400, 700)) {
        grid()->setHost(&host);
        grid()->setShots(gridtest::mixed(count), false);
        shelf->layoutGrid(false);
    }
    ~Rig() { grid()->setHost(nullptr); }
    GridView* grid() const { return shelf->grid(); }
    /// Gives the roll the keyboard, as a click on it does.
    bool focusGrid() {
        shelf->activateWindow();
        if (!QTest::qWaitForWindowActive(shelf.get()))
            return false;
        grid()->setFocus();
        return grid()->hasFocus();
    }
};

} // namespace

class tst_Access : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        accessibility::install();
        // Offscreen, Qt drops events before any update handler: tap them where sent.
        announce::setTap(record);
    }
    void init() { g_seen.clear(); }
    void cleanupTestCase() { announce::setTap(nullptr); }

    // When taken, a recording's length, its text's first line.
    void describe_data() {
        QTest::addColumn<bool>("video");
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("created");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        const double created = QDateTime(QDate(2026, 3, 4), QTime(9, 41)).toSecsSinceEpoch();
        const QString when = QLocale().toString(QDate(2026, 3, 4), QLocale::LongFormat) + ", " +
                             QLocale().toString(QTime(9, 41), QLocale::ShortFormat);
        const QString never;
        QTest::newRow("still") << false << 0.0 << created << never << QStringList{when};
        QTest::newRow("recording")
            << true << 72.4 << created << never << QStringList{when, "recording, 1:12"};
        QTest::newRow("length unknown")
            << true << 0.0 << kDistantPast << never << QStringList{"recording"};
        QTest::newRow("text") << false << 0.0 << kDistantPast << "\n \n  Total: 12 \nmore"
                              << QStringList{"Total: 12"};
        QTest::newRow("long text") << false << 0.0 << kDistantPast << QString(300, 'x')
                                   << QStringList{QString(119, 'x') + QChar(0x2026)};
    }
    void describe() {
        QFETCH(bool, video);
        QFETCH(double, duration);
        QFETCH(double, created);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        Shot shot("/s/a.png", created, created, {10, 10}, video, true);
        shot.duration = duration;
        const auto recognized = text.isNull() ? std::nullopt : std::optional(text);
        QCOMPARE(gridaccess::describe(shot, recognized), expected.join("; "));
    }

    // Frames listed in order by file name, states following selection and keys, with actions.
    void gridTree() {
        Rig rig;
        QAccessibleInterface* list = of(rig.grid());
        QCOMPARE(list->role(), QAccessible::List);
        QVERIFY(list->state().multiSelectable);
        QCOMPARE(list->childCount(), 3);
        QAccessibleInterface* frame = list->child(1);
        QCOMPARE(frame->role(), QAccessible::ListItem);
        QCOMPARE(frame->text(QAccessible::Name), QStringLiteral("s1.png"));
        QVERIFY(frame->text(QAccessible::Description).endsWith("; Build failed: 3 errors"));
        QCOMPARE(frame->parent(), list);
        QCOMPARE(list->indexOfChild(frame), 1);
        QCOMPARE(list->child(1), frame); // one interface per frame
        QVERIFY(!frame->state().offscreen);
        QCOMPARE(list->childAt(frame->rect().center().x(), frame->rect().center().y()), frame);
        QAccessibleInterface* gone = list->child(0);
        rig.grid()->setShots(rig.grid()->shots().mid(1), false);
        QCOMPARE(list->childCount(), 2);
        QVERIFY(!gone->isValid());
        QCOMPARE(list->child(0), frame);
        QVERIFY(!frame->state().selected && !frame->state().focused);
        QVERIFY(rig.focusGrid());
        QTest::keyClick(rig.grid(), Qt::Key_Home);
        QVERIFY(frame->state().selected && frame->state().focused);
        QCOMPARE(list->focusChild(), frame);
        QAccessibleInterface* second = list->child(1);
        second->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(rig.grid()->selection().size(), 2);
        second->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(second->childCount(), 2);
        QAccessibleInterface* copy = second->child(0);
        QCOMPARE(copy->role(), QAccessible::Button);
        QCOMPARE(copy->text(QAccessible::Name), QStringLiteral("Copy"));
        QCOMPARE(second->child(1)->text(QAccessible::Name), QStringLiteral("Delete"));
        QCOMPARE(copy->parent(), second);
        copy->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(rig.host.log.filter(QRegularExpression("^(open|copy)")),
                 (QStringList{"open s2", "copy s2"}));
    }

    // While the roll has the keys their place shows: the first frame, then where a click puts it.
    void focusVisible() {
        Rig rig;
        GridInteraction& interaction = rig.grid()->interaction();
        QVERIFY(interaction.focusMark().isEmpty());
        QVERIFY(rig.focusGrid());
        auto around = [&](int index) {
            return interaction.focusMark().contains(
                *rig.grid()->frameOf(rig.grid()->shots().at(index)->path));
        };
        QVERIFY(around(0));
        QTest::mouseClick(rig.grid(), Qt::LeftButton, {},
                          rig.grid()->frameOf("/shots/s2.png")->center().toPoint());
        QVERIFY(around(2) && !around(0));
        rig.grid()->clearFocus();
        QVERIFY(interaction.focusMark().isEmpty());
    }

    // Key moves announce the focus and each frame whose selection changed; many frames, one event.
    void gridEvents() {
        Rig rig(20);
        QVERIFY(rig.focusGrid());
        QTest::keyClick(rig.grid(), Qt::Key_Home);
        QTRY_COMPARE(seenNames(QAccessible::Focus).value(0), QStringLiteral("s0.png"));
        QCOMPARE(seenNames(QAccessible::StateChanged), QStringList{"s0.png"});
        g_seen.clear();
        QTest::keyClick(rig.grid(), Qt::Key_Right, Qt::ShiftModifier);
        const QString next = seenNames(QAccessible::Focus).value(0);
        QVERIFY(next != "s0.png" && !next.isEmpty());
        QCOMPARE(seenNames(QAccessible::StateChanged), QStringList{next});
        g_seen.clear();
        rig.grid()->interaction().rules().command(Qt::Key_A);
        QCOMPARE(seenNames(QAccessible::StateChanged), QStringList{});
        QCOMPARE(seenNames(QAccessible::SelectionWithin).size(), 1);
    }

    // Each control has a role and a name of its own; a replacing toast is shown anew.
    void controls() {
        Rig rig;
        ShelfView& shelf = *rig.shelf;
        shelf.empty()->setState(EmptyStateView::State::noShots());
        shelf.showToast(QStringLiteral("Moved to Trash"), true);
        shelf.showToast(QStringLiteral("Moved 2 to Trash"), true);
        shelf.setCount(3);
        shelf.updateSelection(2);
        const QList<std::pair<QObject*, QAccessible::Role>> parts{
            {shelf.header()->searchB, QAccessible::Button},
            {shelf.header()->pinB, QAccessible::Button},
            {shelf.search()->field(), QAccessible::EditableText},
            {shelf.footer()->slider(), QAccessible::Slider},
            {shelf.empty(), QAccessible::StaticText},
            {shelf.toast(), QAccessible::AlertMessage},
            {shelf.header(), QAccessible::ToolBar},
            {shelf.selBar(), QAccessible::ToolBar}};
        QSet<QString> names;
        for (const auto& [part, role] : parts) {
            QCOMPARE(of(part)->role(), role);
            names << of(part)->text(QAccessible::Name);
        }
        QVERIFY(!names.contains(QString()) && names.size() == parts.size());
        QCOMPARE(of(shelf.header()->searchB)->text(QAccessible::Accelerator), "Ctrl+F");
        QVERIFY(of(shelf.header()->pinB)->text(QAccessible::Accelerator).isEmpty());
        QVERIFY(!of(shelf.footer()->slider())->text(QAccessible::Accelerator).isEmpty());
        QVERIFY(of(shelf.header())->text(QAccessible::Name).endsWith("3 frames"));
        QVERIFY(of(shelf.selBar())->text(QAccessible::Name).startsWith("2 "));
        QCOMPARE(seenNames(QAccessible::Alert),
                 (QStringList{"Moved to Trash", "Moved 2 to Trash"}));
        QCOMPARE(seenNames(QAccessible::ObjectShow), QStringList{"Moved 2 to Trash"});
        QAccessibleActionInterface* undo = of(shelf.toast())->actionInterface();
        QCOMPARE(undo->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
        undo->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(rig.receiver.calls.filter("undo()").size(), 1);
    }

    // Chips are page tabs named with their counts, the active one selected; a press selects.
    void chips() {
        Rig rig;
        ChipSource source = rig.tree.source();
        source.counts.session = 1;
        rig.shelf->updateChips(source, Scope::session());
        QAccessibleInterface* row = of(rig.shelf->chipsScroll());
        QCOMPARE(row->role(), QAccessible::PageTabList);
        QAccessibleInterface* session = row->child(0);
        QCOMPARE(session->role(), QAccessible::PageTab);
        QVERIFY(session->text(QAccessible::Name).endsWith(", 1 frame"));
        QVERIFY(session->state().selected);
        QCOMPARE(session->parent(), row);
        QCOMPARE(row->indexOfChild(session), 0);
        QAccessibleInterface* all = row->child(1);
        QVERIFY(all->text(QAccessible::Name).endsWith(", 20 frames"));
        QVERIFY(!all->state().selected);
        all->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(rig.receiver.calls.filter("select(").size(), 1);
        g_seen.clear();
        rig.shelf->updateChips(source, Scope::all());
        QVERIFY(all->state().selected);
        QVERIFY(seenNames(QAccessible::StateChanged).contains(all->text(QAccessible::Name)));
    }

    // Tab reaches the header's buttons and the chips, ringed; Return and Space press them.
    void keyboardReach() {
        Rig rig;
        rig.shelf->updateChips(rig.tree.source(), Scope::session());
        ChipView* folder = rig.chip("a");
        QVERIFY(folder);
        QVERIFY(rig.focusGrid());
        QSet<QWidget*> reached;
        for (int i = 0; i < 40 && !reached.contains(rig.grid()); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            reached << QApplication::focusWidget();
        }
        QVERIFY(reached.contains(rig.shelf->header()->pinB) && reached.contains(folder));
        // No stop in between without a ring: the scrollers scroll with their contents' keys.
        QVERIFY(!reached.contains(rig.shelf->chipsScroll()) &&
                !reached.contains(rig.shelf->roll()));
        IconButton* pin = rig.shelf->header()->pinB;
        const QImage resting = pin->grab().toImage();
        pin->setFocus(Qt::TabFocusReason);
        QVERIFY(pin->grab().toImage() != resting);
        QTest::keyClick(pin, Qt::Key_Return);
        of(pin)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(rig.receiver.calls.filter("togglePin").size(), 2);
        folder->setFocus(Qt::TabFocusReason);
        QTest::keyClick(folder, Qt::Key_Space);
        QCOMPARE(rig.receiver.calls.filter("select(folder:").size(), 1);
    }

    // Edge tab's new count, a switch as a named check box, the slider's value both ways.
    void standaloneControls() {
        EdgeTab tab(true);
        QAccessibleInterface* button = of(&tab);
        QCOMPARE(button->role(), QAccessible::Button);
        QCOMPARE(button->text(QAccessible::Name), QStringLiteral("Tamberk"));
        QCOMPARE(button->text(QAccessible::Description), QString());
        tab.setUnseen(3);
        QCOMPARE(button->text(QAccessible::Description), QStringLiteral("3 new frames"));
        QCOMPARE(seenNames(QAccessible::DescriptionChanged), QStringList{"Tamberk"});
        QWidget row;
        auto* label = new QLabel(QStringLiteral("Show the edge tab"), &row);
        auto* toggle = new Switch(&row);
        toggle->setLabel(label);
        QAccessibleInterface* box = of(toggle);
        QCOMPARE(box->role(), QAccessible::CheckBox);
        QCOMPARE(box->text(QAccessible::Name), label->text());
        QVERIFY(box->state().checkable && !box->state().checked);
        box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QVERIFY(toggle->isChecked() && box->state().checked);
        FineSlider slider;
        QList<double> changes;
        slider.onChange = [&](double value) { changes << value; };
        slider.setValue(300);
        QAccessibleValueInterface* value = of(&slider)->valueInterface();
        QCOMPARE(value->currentValue().toDouble(), 300.0);
        QCOMPARE(value->minimumValue().toDouble(), FineSlider::minimum);
        QCOMPARE(value->maximumValue().toDouble(), FineSlider::maximum);
        g_seen.clear();
        value->setCurrentValue(420.0);
        QCOMPARE(changes, QList<double>{420.0});
        QCOMPARE(seenNames(QAccessible::ValueChanged).size(), 1);
    }
};

TAMBERK_TEST(tst_Access)
#include "tst_Access.moc"
