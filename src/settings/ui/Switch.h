#pragma once

#include <QAbstractButton>

/// An on/off switch for the settings form: a pill with a knob, accent-filled
/// when on, greyed when disabled.
class Switch : public QAbstractButton {
public:
    explicit Switch(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {36, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};
