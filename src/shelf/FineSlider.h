#pragma once

#include <QWidget>
#include <functional>

/// The footer's slim slider: a 2-point bar filled up to a white knob with a soft
/// shadow, continuous, on floating-point values. A press anywhere on it moves the
/// knob there and drags on; every change while dragging is reported.
class FineSlider : public QWidget {
    Q_OBJECT
public:
    static constexpr double minimum = 110;
    static constexpr double maximum = 720;
    static constexpr double knobDiameter = 13;

    explicit FineSlider(QWidget* parent = nullptr);

    double value() const { return m_value; }
    /// Sets the value (clamped to the range) without reporting it.
    void setValue(double value);

    /// Called with the value on every change the user makes.
    std::function<void(double)> onChange;

    /// The value under x in a slider `width` wide: the knob's centre travels from
    /// half a knob inside the left end to half a knob inside the right end.
    static double valueAt(double x, double width);
    /// The knob centre's x for `value` in a slider `width` wide.
    static double knobCentre(double value, double width);

    QSize sizeHint() const override { return {124, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void track(double x);
    /// Repaints and tells assistive technologies the new value.
    void changed();

    double m_value = minimum;
    bool m_dragging = false;
};
