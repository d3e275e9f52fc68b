#include "shelf/ResizeControl.h"

#include <QMouseEvent>

ResizeControl::ResizeControl(QWidget* parent)
    : QWidget(parent) {
    // The widget's own cursor shows on hover and stays through a drag, because a
    // pressed widget keeps the pointer until release.
    setCursor(Qt::SizeHorCursor);
}

void ResizeControl::setSide(DockSide side) {
    m_side = side;
    update();
}

void ResizeControl::enterEvent(QEnterEvent*) {
    m_hovering = true;
    update();
}

void ResizeControl::leaveEvent(QEvent*) {
    m_hovering = false;
    update();
}

void ResizeControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_dragging = true;
    update();
    dragBegan(event->globalPosition().x());
}

void ResizeControl::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging)
        dragMoved(event->globalPosition().x());
}

void ResizeControl::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    // A release outside the control leaves no hover behind.
    m_hovering = rect().contains(event->position().toPoint());
    update();
    if (onEnd)
        onEnd();
}
