#include "TestEnv.h"
#include "WidgetInput.h"
#include "shelf/BlockItem.h"
#include "shelf/EmptyStateView.h"
#include "shelf/FineSlider.h"
#include "shelf/FooterBar.h"
#include "shelf/HScrollView.h"
#include "shelf/IconButton.h"
#include "shelf/Label.h"
#include "shelf/ReadingNote.h"
#include "shelf/ResizeGrip.h"
#include "shelf/ResizeHandle.h"
#include "shelf/Scheduler.h"
#include "shelf/ToastView.h"

#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

namespace {

// A shown window holding one header-style button at (20, 20), on a manual clock.
struct ButtonHost {
    ButtonHost() {
        window.resize(80, 80);
        button = new IconButton(QStringLiteral("gearshape"), 24, 12, QFont::Normal, Theme::ink2(),
                                Theme::ink(), std::nullopt, QColor(255, 0, 0), 6,
                                QStringLiteral("Settings  Ctrl+,"), &window, &animator);
        button->move(20, 20);
        window.show();
    }

    // The colour of the button's background at its corner area, where no glyph is.
    QColor backgroundPixel() const {
        const QImage image = button->grab().toImage();
        return image.pixelColor(3, image.height() / 2);
    }

    motion::Animator animator{100.0}; // outlives the button's layer
    QWidget window;
    IconButton* button = nullptr;
};

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

class tst_Widgets : public QObject {
    Q_OBJECT
private slots:
    // A new tint shows once refreshed; hover blends without a dark fringe, unlights when hidden.
    void hoverAndTint() {
        ButtonHost host;
        QVERIFY(QTest::qWaitForWindowExposed(&host.window));
        const QImage resting = host.button->grab().toImage();
        host.button->setBaseTint(Theme::ink());
        host.button->refresh();
        QVERIFY(host.button->grab().toImage() != resting);
        double t = 100.0;
        for (const auto& [point, lit] : {std::pair{QPoint(32, 32), true}, {QPoint(5, 5), false}}) {
            QTest::mouseMove(&host.window, point);
            QTRY_COMPARE(host.button->hovering(), lit);
            host.animator.advanceTo(t += IconButton::kHoverFade / 2);
            const QColor half = host.backgroundPixel();
            QVERIFY(half.alpha() > 10 && half.alpha() < 245 && half.red() >= 250);
            host.animator.advanceTo(t += IconButton::kHoverFade / 2 + 0.01);
            QCOMPARE(host.backgroundPixel().rgba(), lit ? qRgb(255, 0, 0) : 0u);
        }
        QVERIFY(!host.animator.ticking());
        QTest::mouseMove(&host.window, QPoint(32, 32));
        QTRY_VERIFY(host.button->hovering());
        host.animator.advanceTo(t += IconButton::kHoverFade);
        host.button->hide();
        QVERIFY(!host.button->hovering() && host.button->hoverLevel() == 0.0);
    }

    // One click, one run; a press leaving it or a disabled button runs nothing; Tab-only focus.
    void clickRunsOnClick() {
        for (const auto& [release, enabled, runs] : {std::tuple{QPoint(12, 12), true, 1},
                                                     {QPoint(40, 40), true, 0},
                                                     {QPoint(12, 12), false, 0}}) {
            ButtonHost host;
            QVERIFY(QTest::qWaitForWindowExposed(&host.window));
            int clicks = 0;
            host.button->onClick = [&] { ++clicks; };
            host.button->setEnabled(enabled);
            QTest::mousePress(host.button, Qt::LeftButton, {}, QPoint(12, 12));
            QTest::mouseMove(host.button, release);
            QTest::mouseRelease(host.button, Qt::LeftButton, {}, release);
            QCOMPARE(clicks, runs);
            QCOMPARE(host.button->focusPolicy(), Qt::TabFocus);
        }
    }

    // A label over a button lets the click through; the handler may delete its own button.
    void clickThroughALabelMayDeleteTheButton() {
        ButtonHost host;
        auto* label = new Label("TAMBERK", Theme::monoFont(10.5), Theme::ink(), &host.window);
        label->setGeometry(10, 10, 60, 40);
        label->show();
        QVERIFY(QTest::qWaitForWindowExposed(&host.window));
        QPointer<IconButton> guard(host.button);
        host.button->onClick = [&] { host.button->deleteLater(); };
        QTest::mouseClick(host.window.windowHandle(), Qt::LeftButton, {}, QPoint(32, 32));
        QTRY_VERIFY(guard.isNull());
    }

    // A label truncates at the tail unless told not to elide; caps keep their text and spacing.
    void labelText() {
        const QString text = QStringLiteral("Screenshot 2026-12-05 at 15.42.10.png");
        for (const auto& [mode, width] :
             {std::pair{Qt::ElideRight, 400}, {Qt::ElideRight, 60}, {Qt::ElideNone, 60}}) {
            Label label(text, Theme::font(12.5), Theme::ink());
            label.setElideMode(mode);
            label.resize(width, label.sizeHint().height());
            const bool whole = mode == Qt::ElideNone || width == 400;
            QCOMPARE(label.shownText() == text, whole);
            QVERIFY(whole || (label.shownText().endsWith(QChar(0x2026)) &&
                              label.shownText().startsWith("Scr")));
        }
        Label label(QString(), Theme::monoFont(10.5), Theme::ink3());
        const Theme::Caps caps = Theme::caps("Tamberk", 10.5, QFont::DemiBold, Theme::ink(), 2.6);
        label.setCaps(caps);
        QVERIFY(label.text() == caps.text && label.color() == caps.color);
        QVERIFY(qAbs(label.intrinsicSize().width() - caps.size().width()) < 0.01);
    }

    // Each choice runs the handler once, on a later turn; a missing one runs nothing.
    void blockItemRunsItsHandler() {
        int runs = 0;
        QMenu menu;
        auto* item = new BlockItem(
            "Settings", "gearshape", {}, [&] { ++runs; }, &menu);
        auto* plain = new BlockItem("Quit", QString(), {}, {}, &menu);
        QVERIFY(!item->icon().isNull() && plain->icon().isNull());
        for (QAction* action : {item, item, plain})
            action->trigger();
        QCOMPARE(runs, 0);
        QCoreApplication::processEvents();
        QCOMPARE(runs, 2);
    }

    // A dialog's nested loop may delete the closed menu once the menu's code returned.
    void chosenItemMayDeleteItsMenu() {
        QPointer<QMenu> menu = new QMenu;
        bool ran = false;
        menu->addAction(new BlockItem(
            "Rename", QString(), {},
            [&] {
                delete menu.data();
                ran = true;
            },
            menu));
        menu->popup(QPoint(10, 10));
        QVERIFY(QTest::qWaitForWindowExposed(menu.data()));
        QTest::keyClick(menu.data(), Qt::Key_Down);
        QTest::keyClick(menu.data(), Qt::Key_Return);
        QTRY_VERIFY(ran);
        QVERIFY(menu.isNull());
    }

    // The knob's centre stays half a knob inside each end; values round-trip and clamp.
    void sliderRange() {
        const double w = 124, knob = FineSlider::knobDiameter / 2;
        QCOMPARE(FineSlider::valueAt(knob, w), FineSlider::minimum);
        QCOMPARE(FineSlider::valueAt(-50, w), FineSlider::minimum);
        QCOMPARE(FineSlider::valueAt(w - knob, w), FineSlider::maximum);
        QCOMPARE(FineSlider::knobCentre(5000, w), w - knob);
        for (double v = FineSlider::minimum; v <= FineSlider::maximum; v += 61)
            QCOMPARE(FineSlider::valueAt(FineSlider::knobCentre(v, w), w), v);
        QCOMPARE(FineSlider::valueAt(3, 10), FineSlider::minimum); // no travel at all
    }

    // Drags report every step, a press jumps, the controller's own setValue stays silent.
    void sliderIsContinuous() {
        FineSlider slider;
        slider.resize(124, 20);
        QList<double> reported;
        slider.onChange = [&](double v) { reported << v; };
        slider.setValue(5000);
        QCOMPARE(slider.value(), FineSlider::maximum);
        QVERIFY(reported.isEmpty());
        sendMouse(&slider, QEvent::MouseButtonPress, {6.5, 10}, {106.5, 10});
        sendMouse(&slider, QEvent::MouseMove, {7.6, 10}, {107.6, 10});
        sendMouse(&slider, QEvent::MouseMove, {62, 10}, {162, 10});
        sendMouse(&slider, QEvent::MouseButtonRelease, {62, 10}, {162, 10}, Qt::NoButton);
        QCOMPARE(reported, (QList<double>{FineSlider::minimum, FineSlider::valueAt(7.6, 124),
                                          FineSlider::valueAt(62, 124)}));
        sendMouse(&slider, QEvent::MouseMove, {100, 10}, {200, 10}, Qt::NoButton);
        QCOMPARE(reported.size(), 3); // moves after the release are not drags
    }

    // Handle: screen x; grip: distance from the drag's start; a double-click starts no drag.
    void resizeControls() {
        QWidget host;
        host.resize(300, 700);
        ResizeHandle handle(&host);
        handle.setGeometry(0, 28, 8, 644);
        ResizeGrip grip(&host);
        grip.setGeometry(8, 663, 28, 28);
        QStringList events;
        handle.onDrag = [&](double x) { events << QString("x %1").arg(x); };
        grip.onBegin = [&] { events << "begin"; };
        grip.onDrag = [&](double d) { events << QString("drag %1").arg(d); };
        grip.onDoubleClick = [&] { events << "double"; };
        handle.onEnd = grip.onEnd = [&] { events << "end"; };
        QCOMPARE(handle.cursor().shape(), Qt::SizeHorCursor);
        QCOMPARE(grip.cursor().shape(), Qt::SizeHorCursor);
        QEnterEvent enter(QPointF(4, 100), QPointF(4, 100), QPointF(1004, 100));
        QApplication::sendEvent(&handle, &enter);
        QVERIFY(handle.pillVisible());
        sendMouse(&handle, QEvent::MouseButtonPress, {4, 100}, {1004, 100});
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&handle, &leave);
        QVERIFY(handle.pillVisible());
        sendMouse(&handle, QEvent::MouseMove, {-36, 100}, {964, 100});
        sendMouse(&handle, QEvent::MouseButtonRelease, {-36, 100}, {964, 100}, Qt::NoButton);
        QVERIFY(!handle.pillVisible());

        sendMouse(&grip, QEvent::MouseButtonPress, {14, 14}, {514, 600});
        QVERIFY(grip.dragging());
        sendMouse(&grip, QEvent::MouseMove, {-26, 14}, {474, 600});
        sendMouse(&grip, QEvent::MouseMove, {-26, 20}, {474, 606});
        sendMouse(&grip, QEvent::MouseMove, {-6, 14}, {494, 600});
        sendMouse(&grip, QEvent::MouseButtonRelease, {-6, 14}, {494, 600}, Qt::NoButton);
        sendMouse(&grip, QEvent::MouseButtonPress, {14, 14}, {514, 600});
        sendMouse(&grip, QEvent::MouseButtonRelease, {14, 14}, {514, 600}, Qt::NoButton);
        sendMouse(&grip, QEvent::MouseButtonDblClick, {14, 14}, {514, 600});
        QVERIFY(!grip.dragging());
        sendMouse(&grip, QEvent::MouseButtonRelease, {14, 14}, {514, 600}, Qt::NoButton);
        QCOMPARE(events, (QStringList{"x 964", "end", "begin", "drag -40", "drag -40", "drag -20",
                                      "end", "begin", "end", "double"}));
    }

    // A plain wheel scrolls a chip row sideways (a touchpad scrolls itself); ends fade.
    void sidewaysWheelAndFades() {
        const int lines = QApplication::wheelScrollLines();
        QApplication::setWheelScrollLines(1); // one notch is 10 points
        HScrollView row;
        row.resize(200, 30);
        auto* doc = new QWidget;
        doc->resize(500, 30);
        row.setWidget(doc);
        row.show();
        QScrollBar* bar = row.horizontalScrollBar();
        for (const auto& [pixelsY, angleY, phase, startX, x] :
             {std::tuple{0, 360, Qt::NoScrollPhase, 100, 70},
              {0, 120, Qt::NoScrollPhase, 0, 0},
              {0, -1200, Qt::NoScrollPhase, 250, 300},
              {-7, -56, Qt::NoScrollPhase, 20, 27},
              {-7, -56, Qt::ScrollUpdate, 20, 20}}) {
            bar->setValue(startX);
            QWheelEvent event(QPointF(5, 5), row.mapToGlobal(QPointF(5, 5)), QPoint(0, pixelsY),
                              QPoint(0, angleY), Qt::NoButton, Qt::NoModifier, phase, false);
            QApplication::sendEvent(row.viewport(), &event);
            QCOMPARE(bar->value(), x);
            QCOMPARE(row.fadesStart(), x > 0);
            QCOMPARE(row.fadesEnd(), x < 300);
        }
        QApplication::setWheelScrollLines(lines);
        QVERIFY(row.viewport()->graphicsEffect());
        doc->resize(150, 30);
        QVERIFY(!row.fadesStart() && !row.fadesEnd() && !row.viewport()->graphicsEffect());
    }

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

TAMBERK_TEST(tst_Widgets)
#include "tst_Widgets.moc"
