#include "shelf/HScrollView.h"

#include <QApplication>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

HScrollView::HScrollView(QWidget* parent)
    : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(false);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    setStyleSheet(QString());
    setBackgroundRole(QPalette::NoRole);
}

int HScrollView::scrolledX(int x, double delta, bool precise, int documentWidth, int clipWidth) {
    const double points = precise ? delta : pointsPerLine * delta;
    const int maxX = std::max(0, documentWidth - clipWidth);
    return std::min(maxX, std::max(0, int(std::lround(x - points))));
}

void HScrollView::wheelEvent(QWheelEvent* event) {
    const QPoint angle = event->angleDelta();
    const QPoint pixels = event->pixelDelta();
    const bool precise = !pixels.isNull();
    const QPoint d = precise ? pixels : angle;
    // A classic wheel carries no scroll phase; a touchpad gesture does.
    const bool classic = event->phase() == Qt::NoScrollPhase;
    if (!classic || std::abs(d.x()) >= std::abs(d.y()) || !widget())
        return QScrollArea::wheelEvent(event);
    // Wheel notches are 120 units; each is the desktop's lines-per-notch.
    const double delta =
        precise ? d.y() : d.y() / 120.0 * std::max(1, QApplication::wheelScrollLines());
    QScrollBar* bar = horizontalScrollBar();
    bar->setValue(scrolledX(bar->value(), delta, precise, widget()->width(), viewport()->width()));
    event->accept();
}
