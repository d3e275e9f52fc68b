#include "settings/ui/Switch.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>

Switch::Switch(QWidget* parent)
    : QAbstractButton(parent) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(sizeHint());
    setFocusPolicy(Qt::TabFocus);
}

void Switch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const double radius = track.height() / 2;
    QColor fill =
        isChecked() ? palette().color(QPalette::Highlight) : palette().color(QPalette::Button);
    if (!isEnabled())
        fill = isChecked() ? palette().color(QPalette::Disabled, QPalette::Highlight)
                           : palette().color(QPalette::Mid);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(track, radius, radius);
    if (hasFocus()) {
        // The text colour: it stands out on the accent fill and on the grey alike.
        p.setPen(QPen(palette().color(QPalette::WindowText), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(track, radius, radius);
    }
    const double knob = track.height() - 4;
    const double x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    p.setPen(Qt::NoPen);
    p.setBrush(isEnabled() ? QColor(0xf4, 0xf4, 0xf6) : QColor(0x8a, 0x8a, 0x90));
    p.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

void Switch::setLabel(QLabel* label) {
    m_label = label;
    if (m_label)
        m_label->setEnabled(isEnabled());
}

QLabel* Switch::label() const {
    return m_label;
}

void Switch::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && m_label)
        m_label->setEnabled(isEnabled());
    QAbstractButton::changeEvent(event);
}
