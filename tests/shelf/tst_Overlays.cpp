#include "TestEnv.h"
#include "shelf/EmptyStateView.h"
#include "shelf/FooterBar.h"
#include "shelf/ReadingNote.h"
#include "shelf/Scheduler.h"
#include "shelf/Theme.h"
#include "shelf/ToastView.h"

#include <QFontMetricsF>
#include <QPushButton>
#include <QSet>
#include <QTest>

namespace {

// A shown host the size of the card with a toast over its grid band, on a manual clock.
struct ToastRig {
    motion::Animator animator{0.0};
    ManualScheduler scheduler{0, &animator};
    void at(double t) { scheduler.advanceTo(t); }
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
    // A toast stays its time (longer with an action), fades out; a new one restarts the time.
    void toastTimings() {
        const double plain = ToastView::plainSeconds, fadeOut = ToastView::fadeOutSeconds;
        const std::tuple<bool, double, double> cases[] = {
            {false, -1, plain},                     // no second toast
            {true, -1, ToastView::actionSeconds},   // with undo
            {false, 1, 1 + plain},                  // replaced while shown
            {false, plain + 0.1, 2 * plain + 0.1}}; // replaced during its fade-out
        for (const auto& [action, second, dismissAt] : cases) {
            ToastRig clock;
            ToastView& toast = clock.toast;
            const auto show = [&] {
                toast.show("Moved to Trash",
                           action ? std::optional(QStringLiteral("Undo")) : std::nullopt, [] {});
            };
            show();
            clock.at(ToastView::fadeInSeconds / 2);
            QVERIFY(toast.isVisible() && toast.opacity() > 0 && toast.opacity() < 1);
            if (second >= 0) {
                clock.at(second);
                show();
            }
            clock.at(dismissAt - 0.01);
            QCOMPARE(toast.opacity(), 1.0);
            QVERIFY(toast.dismissalPending());
            clock.at(dismissAt + fadeOut / 2);
            QVERIFY(!toast.dismissalPending() && toast.isVisible() && toast.opacity() < 1);
            clock.at(dismissAt + fadeOut + 0.01);
            QVERIFY(!toast.isVisible());
            QCOMPARE(clock.scheduler.pending(), 0);
        }
    }

    // The action runs once and dismisses at once; a toast shown in answer stays.
    void toastAction() {
        ToastRig clock;
        ToastView& toast = clock.toast;
        int runs = 0;
        toast.show("Moved to Trash", QStringLiteral("Undo"), [&] { ++runs; });
        clock.at(0.5);
        QTest::mouseClick(&toast, Qt::LeftButton, {}, toast.actionRect().center().toPoint());
        QCOMPARE(runs, 1);
        QVERIFY(!toast.dismissalPending());
        clock.at(0.8);
        QVERIFY(!toast.isVisible());

        toast.show("Moved to Trash", QStringLiteral("Undo"), [&] { toast.show("Undid trash"); });
        clock.at(1.0);
        QTest::mouseClick(&toast, Qt::LeftButton, {}, toast.actionRect().center().toPoint());
        clock.at(1.5);
        QVERIFY(toast.isVisible() && !toast.action());
        QCOMPARE(toast.text(), QStringLiteral("Undid trash"));
        clock.at(1.0 + ToastView::plainSeconds + ToastView::fadeOutSeconds + 0.01);
        QVERIFY(!toast.isVisible());
        toast.show("Moved to Trash", QStringLiteral("Undo"), [&] { ++runs; });
        QTest::mouseClick(&toast, Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(runs, 1);
    }

    // The longest message with an action wraps at a space, each line inside the pill.
    void toastsFitTheNarrowestCard() {
        ToastRig clock;
        const QString text = "Moved 12 frames to “Receipts 2026”";
        const QRectF area(0, 100, 228, 500);
        clock.toast.setArea(area);
        clock.toast.show(text, QString("Undo"));
        QVERIFY(area.contains(QRectF(clock.toast.geometry())));
        const QRectF label = clock.toast.labelRect();
        const QFont font = ToastView::labelFont();
        const QStringList lines = ToastView::wrapped(text, font, label.width(), 2);
        QVERIFY(lines.size() == 2 && lines.join(' ') == text);
        for (const QString& line : lines)
            QVERIFY2(QFontMetricsF(font).horizontalAdvance(line) <= label.width(),
                     qPrintable(line));
        QVERIFY(label.height() >= 16 * lines.size());
        QVERIFY(!clock.toast.actionRect().intersects(label));
    }

    // Each state names its subject, nothing lingers; clicks pass to the grid but on the button.
    void emptyStates() {
        using State = EmptyStateView::State;
        QWidget host;
        host.resize(268, 700);
        QWidget below(&host); // the grid
        below.setGeometry(16, 78, 236, 576);
        EmptyStateView empty(&host);
        empty.setGeometry(below.geometry());
        int settings = 0;
        empty.onOpenSettings = [&] { ++settings; };
        host.show();
        QSet<QString> symbols, titles;
        for (const State& state :
             {State::noShots(), State::noMatches("cat"), State::unreadable("Shots"),
              State::emptyFolder(), State::loading()}) {
            empty.setState(state);
            const bool unreadable = state.kind == State::Kind::unreadable;
            QVERIFY(Theme::symbol(empty.symbol()));
            symbols << empty.symbol();
            titles << empty.title();
            QVERIFY(empty.title().contains(state.text));
            QCOMPARE(empty.keys(),
                     state.kind == State::Kind::noShots ? QStringList{"PrtSc"} : QStringList{});
            QCOMPARE(empty.button()->isVisible(), unreadable);
            QCOMPARE(host.childAt(100, 200), &below);
            if (unreadable) {
                QCOMPARE(host.childAt(empty.button()->geometry().center()), empty.button());
                QTest::mouseClick(empty.button(), Qt::LeftButton);
                QCOMPARE(settings, 1);
            }
        }
        QCOMPARE(symbols.size(), 5);
        QCOMPARE(titles.size(), 5);
        empty.setState(State::unreadable("Shots"));
        empty.hide();
        QVERIFY(!empty.button()->isVisible());
    }

    // Rebuilt only on a change; with no state the last content stays for the fade-out.
    void emptyStateRebuildsOnChange() {
        using State = EmptyStateView::State;
        QWidget host;
        EmptyStateView empty(&host);
        for (const State& state :
             {State::noMatches("a"), State::noMatches("a"), State::noMatches("a", 1234)})
            empty.setState(state);
        QCOMPARE(empty.rebuilds(), 2);
        QCOMPARE(empty.sub(), ReadingNote::text(1234, true));
        const QString title = empty.title();
        empty.setState(std::nullopt);
        QCOMPARE(empty.rebuilds(), 2);
        QCOMPARE(empty.title(), title);
    }

    // First value at once, then cross-fades (not restarted by the same count); narrow: hidden.
    void columnLabel() {
        motion::Animator animator(0.0);
        FooterBar footer(nullptr, &animator);
        footer.resize(300, 46);
        footer.show();
        footer.setColumns(1);
        QVERIFY(!footer.crossFading() && footer.shownColumns() == 1);
        footer.setColumns(3);
        QVERIFY(footer.crossFading());
        animator.advanceTo(FooterBar::fadeSeconds / 2);
        footer.setColumns(3);
        animator.advanceTo(FooterBar::fadeSeconds + 0.01);
        QVERIFY(!footer.crossFading() && !footer.columnsHidden());
        QCOMPARE(footer.shownColumns(), 3);
        QVERIFY(FooterBar::columnText(3).contains('3'));
        footer.resize(260, 46);
        QVERIFY(footer.columnsHidden());
    }
};

TAMBERK_TEST(tst_Overlays)
#include "tst_Overlays.moc"
