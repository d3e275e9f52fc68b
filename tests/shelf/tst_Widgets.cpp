#include "TestEnv.h"
#include "WidgetInput.h"
#include "shelf/BlockItem.h"
#include "shelf/FineSlider.h"
#include "shelf/HScrollView.h"
#include "shelf/IconButton.h"
#include "shelf/Label.h"
#include "shelf/ResizeGrip.h"
#include "shelf/ResizeHandle.h"
#include "shelf/Theme.h"

#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <memory>

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

} // namespace

class tst_Widgets : public QObject {
    Q_OBJECT
private slots:
    // A new tint shows once refreshed; hover blends cleanly (no dark fringe) and unlights,
    // also when hidden under the pointer.
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

    // The handle reports screen x and keeps its pill off it; the grip reports the distance
    // from the drag's start; a double-click reports itself and starts no drag.
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
};

TAMBERK_TEST(tst_Widgets)
#include "tst_Widgets.moc"
