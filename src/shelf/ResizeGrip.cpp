#include "shelf/ResizeGrip.h"

#include "shelf/Theme.h"

#include <QMouseEvent>
#include <QPainter>

ResizeGrip::ResizeGrip(QWidget* parent)
    : QWidget(parent) {
    setToolTip(QStringLiteral("Drag to resize  \u00b7  double-click: strip \u2194 board"));
    setCursor(Qt::SizeHorCursor);
}

void ResizeGrip::setSide(DockSide side) {
    m_side = side;
    refreshIcon();
}

void ResizeGrip::paintEvent(QPaintEvent*) {
    const bool active = m_hovering || m_dragging;
    QColor background = Theme::fill();
    if (m_dragging)
        background = QColor::fromRgbF(1, 1, 1, 0.2);
    else if (m_hovering)
        background = Theme::fill2();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(active ? QColor::fromRgbF(1, 1, 1, 0.22) : Theme::hair(), 0.5));
    p.setBrush(background);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 8, 8);
    Theme::paintSymbol(p, QRectF(rect()), u"arrow.left.and.right", 11,
                       active ? Theme::ink() : Theme::ink2(), QFont::DemiBold);
}

void ResizeGrip::enterEvent(QEnterEvent*) {
    m_hovering = true;
    update();
}

void ResizeGrip::leaveEvent(QEvent*) {
    m_hovering = false;
    update();
}

void ResizeGrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_startX = event->globalPosition().x();
    m_dragging = true;
    update();
    if (onBegin)
        onBegin();
}

void ResizeGrip::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a pair starts no drag; the first one already ended its
    // zero-length drag on release.
    if (event->button() == Qt::LeftButton && onDoubleClick)
        onDoubleClick();
}

void ResizeGrip::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && onDrag)
        onDrag(event->globalPosition().x() - m_startX);
}

void ResizeGrip::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    m_hovering = rect().contains(event->position().toPoint());
    update();
    if (onEnd)
        onEnd();
}
