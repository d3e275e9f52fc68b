#pragma once

#include <QAbstractButton>
#include <QPointer>

class QLabel;

/// An on/off switch for the settings form: a pill with a knob, accent-filled
/// when on, greyed when disabled.
class Switch : public QAbstractButton {
    Q_OBJECT
public:
    explicit Switch(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {36, 20}; }
    /// The row's text, greyed with the switch.
    void setLabel(QLabel* label);
    QLabel* label() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QPointer<QLabel> m_label;
};
