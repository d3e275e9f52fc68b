#include "TestEnv.h"
#include "WidgetInput.h"
#include "shelf/FineSlider.h"
#include "shelf/HScrollView.h"
#include "shelf/ResizeGrip.h"
#include "shelf/ResizeHandle.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>

class tst_Controls : public QObject {
    Q_OBJECT
private slots:
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

TAMBERK_TEST(tst_Controls)
#include "tst_Controls.moc"
