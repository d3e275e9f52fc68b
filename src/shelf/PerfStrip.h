#pragma once

#include <QWidget>

/// A column of film perforation holes beside the grid. The holes travel with the
/// roll: the shelf shifts them by the scroll offset modulo one step, and a spare
/// hole beyond each end keeps any shift free of gaps.
class PerfStrip : public QWidget {
    Q_OBJECT
public:
    explicit PerfStrip(QWidget* parent = nullptr);

    /// The holes' shift, 0 up to one step.
    double shift() const { return m_shift; }
    void setShift(double shift);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_shift = 0;
};
