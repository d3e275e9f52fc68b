#include "shelf/ResizeGrip.h"

#include "shelf/Theme.h"

#include <QMouseEvent>
#include <QPainter>

ResizeGrip::ResizeGrip(QWidget* parent)
    : ResizeControl(parent) {
    setToolTip(QStringLiteral("Drag to resize  \u00b7  double-click: strip \u2194 board"));
}

void ResizeGrip::paintEvent(QPaintEvent*) {
    const bool active = hovering() || dragging();
    QColor background = Theme::fill();
    if (dragging())
        background = QColor::fromRgbF(1, 1, 1, 0.2);
    else if (hovering())
        background = Theme::fill2();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(active ? QColor::fromRgbF(1, 1, 1, 0.22) : Theme::hair(), 0.5));
    p.setBrush(background);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 8, 8);
    Theme::paintSymbol(p, QRectF(rect()), u"arrow.left.and.right", 11,
                       active ? Theme::ink() : Theme::ink2(), QFont::DemiBold);
}

void ResizeGrip::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a pair starts no drag; the first one already ended its
    // zero-length drag on release.
    if (event->button() == Qt::LeftButton && onDoubleClick)
        onDoubleClick();
}

void ResizeGrip::dragBegan(double screenX) {
    m_startX = screenX;
    if (onBegin)
        onBegin();
}

void ResizeGrip::dragMoved(double screenX) {
    if (onDrag)
        onDrag(screenX - m_startX);
}
