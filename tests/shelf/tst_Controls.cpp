#include "TestEnv.h"
#include "WidgetInput.h"
#include "shelf/FineSlider.h"
#include "shelf/HScrollView.h"
#include "shelf/ResizeHandle.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

namespace {

void sendWheel(QWidget* w, QPoint pixels, QPoint angle, Qt::ScrollPhase phase) {
    QWheelEvent event(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), pixels, angle, Qt::NoButton,
                      Qt::NoModifier, phase, false);
    QApplication::sendEvent(w, &event);
}

} // namespace

class tst_Controls : public QObject {
    Q_OBJECT
private slots:
    // The size slider spans 110 … 720 with the knob's centre half a knob inside
    // each end, and clamps what lies beyond.
    void sliderRange_data() {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("value");
        QTest::newRow("left end") << 6.5 << 110.0;
        QTest::newRow("before the left end") << -50.0 << 110.0;
        QTest::newRow("middle") << 62.0 << 415.0;
        QTest::newRow("right end") << 117.5 << 720.0;
    }
    void sliderRange() {
        QFETCH(double, x);
        QFETCH(double, value);
        QCOMPARE(FineSlider::valueAt(x, 124), value);
        QCOMPARE(FineSlider::knobCentre(value, 124), std::clamp(x, 6.5, 117.5));
        QCOMPARE(FineSlider::valueAt(3, 10), 110.0); // no travel at all
    }

    // The slider reports every step of a drag with continuous values, jumps to a
    // press, and stays silent when the controller sets its value.
    void sliderIsContinuous() {
        FineSlider slider;
        slider.resize(124, 20);
        QList<double> reported;
        slider.onChange = [&](double v) { reported << v; };
        slider.setValue(5000);
        QCOMPARE(slider.value(), 720.0);
        QVERIFY(reported.isEmpty());
        sendMouse(&slider, QEvent::MouseButtonPress, {6.5, 10}, {106.5, 10});
        sendMouse(&slider, QEvent::MouseMove, {7.6, 10}, {107.6, 10});
        sendMouse(&slider, QEvent::MouseMove, {62, 10}, {162, 10});
        sendMouse(&slider, QEvent::MouseButtonRelease, {62, 10}, {162, 10}, Qt::NoButton);
        QCOMPARE(reported.size(), 3);
        QCOMPARE(reported[0], 110.0);
        QCOMPARE(reported[1], 110 + 1.1 / 111 * 610); // not snapped to whole steps
        QCOMPARE(reported[2], 415.0);
        sendMouse(&slider, QEvent::MouseMove, {100, 10}, {200, 10}, Qt::NoButton);
        QCOMPARE(reported.size(), 3); // moves after the release are not drags
    }

    // The handle reports the pointer's absolute screen x; its pill shows while
    // hovered, stays while a drag leaves it, and goes once released outside.
    void handleDragAndPill() {
        QWidget host;
        host.resize(300, 700);
        ResizeHandle handle(&host);
        handle.setGeometry(0, 28, 8, 644);
        QList<double> xs;
        int ends = 0;
        handle.onDrag = [&](double x) { xs << x; };
        handle.onEnd = [&] { ++ends; };
        QCOMPARE(handle.cursor().shape(), Qt::SizeHorCursor);
        QEnterEvent enter(QPointF(4, 100), QPointF(4, 100), QPointF(1004, 100));
        QApplication::sendEvent(&handle, &enter);
        QVERIFY(handle.pillVisible());
        sendMouse(&handle, QEvent::MouseButtonPress, {4, 100}, {1004, 100});
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&handle, &leave);
        QVERIFY2(handle.pillVisible(), "the pill stays while dragging outside");
        sendMouse(&handle, QEvent::MouseMove, {-36, 100}, {964, 100});
        sendMouse(&handle, QEvent::MouseMove, {-80, 100}, {920, 100});
        QCOMPARE(xs, (QList<double>{964, 920}));
        sendMouse(&handle, QEvent::MouseButtonRelease, {-80, 100}, {920, 100}, Qt::NoButton);
        QCOMPARE(ends, 1);
        QVERIFY(!handle.pillVisible());
    }

    // A vertical turn of a plain wheel scrolls a chip row sideways, clamped to
    // the row; a touchpad gesture with a scroll phase keeps its native handling.
    void sidewaysWheel_data() {
        QTest::addColumn<QPoint>("pixels");
        QTest::addColumn<QPoint>("angle");
        QTest::addColumn<int>("phase");
        QTest::addColumn<int>("startX");
        QTest::addColumn<int>("x");
        // Wheel lines are set to 1 below: one notch is 10 points.
        const auto row = [](const char* name, int pixelsY, int angleY, int startX, int x,
                            Qt::ScrollPhase phase = Qt::NoScrollPhase) {
            QTest::newRow(name) << QPoint(0, pixelsY) << QPoint(0, angleY) << int(phase) << startX
                                << x;
        };
        row("notch down", 0, -120, 0, 10);
        row("three notches up", 0, 360, 100, 70);
        row("up at the start", 0, 120, 0, 0);
        row("down at the end", 0, -1200, 250, 300);
        row("precise pixels", -7, -56, 20, 27);
        row("touchpad gesture", -7, -56, 20, 20, Qt::ScrollUpdate);
    }
    void sidewaysWheel() {
        QFETCH(QPoint, pixels);
        QFETCH(QPoint, angle);
        QFETCH(int, phase);
        QFETCH(int, startX);
        QFETCH(int, x);
        const int lines = QApplication::wheelScrollLines();
        QApplication::setWheelScrollLines(1);
        HScrollView row;
        row.resize(200, 30);
        auto* doc = new QWidget;
        doc->resize(500, 30);
        row.setWidget(doc);
        row.show();
        row.horizontalScrollBar()->setValue(startX);
        sendWheel(row.viewport(), pixels, angle, Qt::ScrollPhase(phase));
        QApplication::setWheelScrollLines(lines);
        QCOMPARE(row.horizontalScrollBar()->value(), x);
    }

    // A row's end fades while more of it lies beyond; a row that fits fades nowhere.
    void endsFadeWhileMoreLiesBeyond() {
        HScrollView row;
        row.resize(200, 30);
        auto* doc = new QWidget;
        doc->resize(500, 30);
        row.setWidget(doc);
        row.show();
        const std::tuple<int, bool, bool> cases[] = {
            {0, false, true}, {150, true, true}, {300, true, false}};
        for (const auto& [x, start, end] : cases) {
            row.horizontalScrollBar()->setValue(x);
            QCOMPARE(row.fadesStart(), start);
            QCOMPARE(row.fadesEnd(), end);
        }
        QCOMPARE(row.viewport()->graphicsEffect() != nullptr, true);
        doc->resize(150, 30);
        QVERIFY(!row.fadesStart() && !row.fadesEnd());
        QVERIFY(!row.viewport()->graphicsEffect());
    }
};

TAMBERK_TEST(tst_Controls)
#include "tst_Controls.moc"
