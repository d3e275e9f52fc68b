#include "shelf/ResizeHandle.h"

#include "shelf/ShelfLayout.h"

#include <QMouseEvent>
#include <QPainter>

ResizeHandle::ResizeHandle(QWidget* parent)
    : QWidget(parent) {
    // The widget's own cursor shows on hover and stays through a drag, because a
    // pressed widget keeps the pointer until release.
    setCursor(Qt::SizeHorCursor);
}

void ResizeHandle::setSide(DockSide side) {
    m_side = side;
    update();
}

void ResizeHandle::paintEvent(QPaintEvent*) {
    if (!pillVisible())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromRgbF(1, 1, 1, 0.45));
    p.drawRoundedRect(ShelfLayout::handlePill(size(), m_side), 1.5, 1.5);
}

void ResizeHandle::enterEvent(QEnterEvent*) {
    m_hovering = true;
    update();
}

void ResizeHandle::leaveEvent(QEvent*) {
    m_hovering = false;
    update();
}

void ResizeHandle::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_dragging = true;
    update();
}

void ResizeHandle::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && onDrag)
        onDrag(event->globalPosition().x());
}

void ResizeHandle::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    // A release outside the strip leaves no hover behind.
    m_hovering = rect().contains(event->position().toPoint());
    update();
    if (onEnd)
        onEnd();
}
