#include "shelf/ResizeHandle.h"

#include "shelf/ShelfLayout.h"

#include <QPainter>

ResizeHandle::ResizeHandle(QWidget* parent)
    : ResizeControl(parent) {}

void ResizeHandle::paintEvent(QPaintEvent*) {
    if (!pillVisible())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromRgbF(1, 1, 1, 0.45));
    p.drawRoundedRect(ShelfLayout::handlePill(size(), side()), 1.5, 1.5);
}

void ResizeHandle::dragMoved(double screenX) {
    if (onDrag)
        onDrag(screenX);
}
