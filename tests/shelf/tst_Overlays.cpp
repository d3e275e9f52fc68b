#include "TestEnv.h"
#include "WidgetInput.h"
#include "shelf/EmptyStateView.h"
#include "shelf/FooterBar.h"
#include "shelf/ResizeGrip.h"
#include "shelf/Scheduler.h"
#include "shelf/SelectionBar.h"
#include "shelf/ToastView.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

namespace {

struct Clock {
    motion::Animator animator{0.0};
    ManualScheduler scheduler{0, &animator};
    void at(double t) { scheduler.advanceTo(t); }
};

// A shown host the size of the card with a toast over its grid band, on the clock.
struct ToastRig : Clock {
    QWidget host;
    ToastView toast{&host, &animator, &scheduler};
    ToastRig() {
        host.resize(268, 700);
        toast.setArea(QRectF(0, 78, 268, 576));
        host.show();
    }
};

} // namespace

class tst_Overlays : public QObject {
    Q_OBJECT
private slots:
    // A toast stays 1.6 s without an action and 4.5 s with one, then fades out
    // over 0.2 s and hides; a second toast restarts the time from itself.
    void toastTimings_data() {
        QTest::addColumn<bool>("action");
        QTest::addColumn<double>("second"); // when a second toast comes, or < 0 for none
        QTest::addColumn<double>("dismissAt");
        QTest::newRow("plain") << false << -1.0 << 1.6;
        QTest::newRow("with undo") << true << -1.0 << 4.5;
        QTest::newRow("replaced after 1 s") << false << 1.0 << 2.6;
        QTest::newRow("replaced during its fade-out") << false << 1.7 << 3.3;
    }
    void toastTimings() {
        QFETCH(bool, action);
        QFETCH(double, second);
        QFETCH(double, dismissAt);
        ToastRig clock;
        ToastView& toast = clock.toast;
        auto show = [&] {
            if (action)
                toast.show("Moved to Trash", QStringLiteral("Undo"), [] {});
            else
                toast.show("Copied");
        };
        show();
        QVERIFY(toast.isVisible());
        clock.at(0.09);
        QVERIFY(toast.opacity() > 0 && toast.opacity() < 1); // fading in over 0.18 s
        if (second >= 0) {
            clock.at(second);
            show();
        }
        clock.at(dismissAt - 0.01);
        QCOMPARE(toast.opacity(), 1.0);
        QVERIFY(toast.dismissalPending());
        clock.at(dismissAt + 0.1);
        QVERIFY(!toast.dismissalPending());
        QVERIFY(toast.isVisible()); // still fading out
        QVERIFY(toast.opacity() < 1);
        clock.at(dismissAt + 0.21);
        QVERIFY(!toast.isVisible());
        QCOMPARE(clock.scheduler.pending(), 0);
    }

    // Clicking the action runs its handler once and dismisses the toast at once;
    // a toast the handler shows in answer stays up.
    void toastAction() {
        ToastRig clock;
        ToastView& toast = clock.toast;
        int runs = 0;
        toast.show("Moved to Trash", QStringLiteral("Undo"), [&] { ++runs; });
        clock.at(0.5);
        const QPointF inside = toast.actionRect().center();
        QVERIFY(!toast.actionRect().isEmpty());
        QTest::mouseClick(&toast, Qt::LeftButton, Qt::NoModifier, inside.toPoint());
        QCOMPARE(runs, 1);
        QVERIFY(!toast.dismissalPending());
        clock.at(0.8);
        QVERIFY(!toast.isVisible());

        toast.show("Moved to Trash", QStringLiteral("Undo"),
                   [&] { toast.show("Undid trash"); }); // the controller's answer
        clock.at(1.0);
        QTest::mouseClick(&toast, Qt::LeftButton, Qt::NoModifier,
                          toast.actionRect().center().toPoint());
        clock.at(1.5);
        QVERIFY(toast.isVisible());
        QCOMPARE(toast.text(), QStringLiteral("Undid trash"));
        QVERIFY(!toast.action());
        clock.at(1.0 + 1.6 + 0.21);
        QVERIFY(!toast.isVisible());
        QTest::mouseClick(&toast, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
        QCOMPARE(runs, 1);
    }

    // Every message the panel says is read whole at the narrowest card: it
    // wraps onto a second line at spaces, each line inside the pill.
    void toastsFitTheNarrowestCard_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("action");
        const auto row = [](const char* text, const char* action) {
            QTest::newRow(text) << QString(text) << QString(action);
        };
        row("Couldn't undo trash: the files are gone", "");
        row("Moved 3 frames to Trash", "Undo");
        row("Moved 12 of 13 frames to Trash", "Undo");
        row("Couldn't move them to the Trash: the disk is full", "");
        row("Moved 12 frames to “Receipts 2026”", "Undo");
        row("No file manager to show it in", "");
        row("Couldn't start an email", "");
    }
    void toastsFitTheNarrowestCard() {
        QFETCH(QString, text);
        QFETCH(QString, action);
        ToastRig clock;
        ToastView& toast = clock.toast;
        const QRectF area(0, 100, 228, 500);
        toast.setArea(area);
        toast.show(text, action.isEmpty() ? std::nullopt : std::optional<QString>(action));
        QVERIFY(area.contains(QRectF(toast.geometry())));
        const QRectF label = toast.labelRect();
        const QStringList lines =
            ToastView::wrapped(text, ToastView::labelFont(), label.width(), 2);
        QCOMPARE(lines.join(' '), text);
        const QFontMetricsF metrics(ToastView::labelFont());
        for (const QString& line : lines)
            QVERIFY2(metrics.horizontalAdvance(line) <= label.width(), qPrintable(line));
        QVERIFY(label.height() >= 16 * lines.size());
        if (!action.isEmpty())
            QVERIFY(!toast.actionRect().intersects(label));
    }

    // Each empty state shows its own symbol and words with the Linux wording;
    // only the unreadable state has the button, only "no frames" the keycap.
    // Clicks pass through to the grid below except on the button.
    void emptyStates_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("sub");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<bool>("button");
        using K = EmptyStateView::State::Kind;
        const auto row = [](const char* name, K kind, const char* text, const char* symbol,
                            const char* title, const char* sub, QStringList keys, bool button) {
            QTest::newRow(name) << int(kind) << QString(text) << QString(symbol) << QString(title)
                                << QString(sub) << keys << button;
        };
        row("no matches", K::noMatches, "cat", "text.magnifyingglass",
            "Nothing matches \u201ccat\u201d",
            "Search looks at file names and the text inside your frames.", {}, false);
        row("unreadable", K::unreadable, "Shots", "lock", "Can't read \u201cShots\u201d",
            "Check the folder's permissions, or choose another folder.", {}, true);
        row("no shots", K::noShots, "", "camera.viewfinder", "No frames yet", "to shoot", {"PrtSc"},
            false);
        row("empty folder", K::emptyFolder, "", "folder", "Empty folder",
            "Drag frames onto a folder chip to file them here.", {}, false);
        row("loading", K::loading, "", "film", "Loading roll\u2026", "", {}, false);
    }
    void emptyStates() {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QString, symbol);
        QFETCH(QString, title);
        QFETCH(QString, sub);
        QFETCH(QStringList, keys);
        QFETCH(bool, button);
        QWidget host;
        host.resize(268, 700);
        QWidget below(&host); // the grid
        below.setGeometry(16, 78, 236, 576);
        EmptyStateView empty(&host);
        empty.setGeometry(16, 78, 236, 576);
        int settings = 0;
        empty.onOpenSettings = [&] { ++settings; };
        host.show();
        // Start from the state with the most extras so leftovers would show.
        empty.setState(EmptyStateView::State::unreadable("Other"));
        empty.setState(EmptyStateView::State::noShots());
        empty.setState(EmptyStateView::State{EmptyStateView::State::Kind(kind), text});
        QCOMPARE(empty.symbol(), symbol);
        QCOMPARE(empty.title(), title);
        QCOMPARE(empty.sub(), sub);
        QCOMPARE(empty.keys(), keys);
        QCOMPARE(empty.buttonShown(), button);
        QCOMPARE(empty.button()->isVisible(), button);
        // Clicks reach the grid below; only the button takes them.
        QCOMPARE(host.childAt(100, 200), &below);
        if (button) {
            QCOMPARE(host.childAt(empty.button()->geometry().center()), empty.button());
            QTest::mouseClick(empty.button(), Qt::LeftButton);
            QCOMPARE(settings, 1);
        }
        empty.hide();
        QVERIFY(!empty.button()->isVisible());
    }

    // The content changes only on a real change: the same search text twice
    // rebuilds once, a different text rebuilds again, no state keeps the content.
    void emptyStateRebuildsOnChange() {
        QWidget host;
        EmptyStateView empty(&host);
        empty.setState(EmptyStateView::State::noMatches("a"));
        empty.setState(EmptyStateView::State::noMatches("a"));
        QCOMPARE(empty.rebuilds(), 1);
        empty.setState(EmptyStateView::State::noMatches("b"));
        QCOMPARE(empty.rebuilds(), 2);
        // While frames wait for text, the answer may still change, and says so.
        empty.setState(EmptyStateView::State::noMatches("b", 1234));
        QCOMPARE(empty.rebuilds(), 3);
        QCOMPARE(empty.sub(), QStringLiteral("Still reading 1,234 screenshots"));
        empty.setState(EmptyStateView::State::noMatches("b"));
        empty.setState(EmptyStateView::State::noShots());
        empty.setState(EmptyStateView::State::noShots());
        QCOMPARE(empty.rebuilds(), 5);
        empty.setState(std::nullopt);
        QCOMPARE(empty.rebuilds(), 5);
        QCOMPARE(empty.title(), QStringLiteral("No frames yet"));
    }

    // The column label: the first value shows at once, a change cross-fades over
    // 0.18 s, the same count does nothing, and a narrow footer hides the label.
    void columnLabel() {
        motion::Animator animator(0.0);
        FooterBar footer(nullptr, &animator);
        footer.resize(300, 46);
        footer.show();
        QCOMPARE(footer.shownColumns(), 0);
        footer.setColumns(1);
        QCOMPARE(FooterBar::columnText(1), QStringLiteral("STRIP"));
        QVERIFY(!footer.crossFading());
        footer.setColumns(3);
        QCOMPARE(FooterBar::columnText(3), QStringLiteral("BOARD \u00d73"));
        QVERIFY(footer.crossFading());
        animator.advanceTo(0.1);
        QVERIFY(footer.crossFading());
        footer.setColumns(3);
        animator.advanceTo(0.19);
        QVERIFY(!footer.crossFading());
        QCOMPARE(footer.shownColumns(), 3);
        QVERIFY(!footer.columnsHidden());
        footer.resize(260, 46);
        QVERIFY(footer.columnsHidden());
    }

    // A grip drag reports the distance from where it began on every move, however
    // many moves came before; a double-click reports itself and starts no drag.
    void gripDeltaAndDoubleClick() {
        ResizeGrip grip;
        grip.resize(28, 28);
        QStringList events;
        grip.onBegin = [&] { events << "begin"; };
        grip.onDrag = [&](double d) { events << QString("drag %1").arg(d); };
        grip.onEnd = [&] { events << "end"; };
        grip.onDoubleClick = [&] { events << "double"; };
        QCOMPARE(grip.cursor().shape(), Qt::SizeHorCursor);
        sendMouse(&grip, QEvent::MouseButtonPress, {14, 14}, {514, 600});
        QVERIFY(grip.dragging());
        sendMouse(&grip, QEvent::MouseMove, {-26, 14}, {474, 600});
        sendMouse(&grip, QEvent::MouseMove, {-26, 20}, {474, 606});
        sendMouse(&grip, QEvent::MouseMove, {-6, 14}, {494, 600});
        sendMouse(&grip, QEvent::MouseButtonRelease, {-6, 14}, {494, 600}, Qt::NoButton);
        QCOMPARE(events, (QStringList{"begin", "drag -40", "drag -40", "drag -20", "end"}));
        events.clear();
        sendMouse(&grip, QEvent::MouseButtonPress, {14, 14}, {514, 600});
        sendMouse(&grip, QEvent::MouseButtonRelease, {14, 14}, {514, 600}, Qt::NoButton);
        sendMouse(&grip, QEvent::MouseButtonDblClick, {14, 14}, {514, 600});
        QVERIFY(!grip.dragging());
        sendMouse(&grip, QEvent::MouseButtonRelease, {14, 14}, {514, 600}, Qt::NoButton);
        QCOMPARE(events, (QStringList{"begin", "end", "double"}));
    }
};

TAMBERK_TEST(tst_Overlays)
#include "tst_Overlays.moc"
