#include "shelf/HScrollView.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QLinearGradient>
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
    // Tab goes to the chips themselves; the row has nothing of its own to focus.
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    setStyleSheet(QString());
    setBackgroundRole(QPalette::NoRole);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { updateFades(); });
    connect(horizontalScrollBar(), &QScrollBar::rangeChanged, this, [this] { updateFades(); });
}

void HScrollView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    updateFades();
}

void HScrollView::updateFades() {
    const QScrollBar* bar = horizontalScrollBar();
    const bool start = bar->value() > bar->minimum();
    const bool end = bar->value() < bar->maximum();
    const double width = viewport()->width();
    if (start == m_fadesStart && end == m_fadesEnd && (!m_fade || width == m_fadedWidth))
        return;
    m_fadesStart = start;
    m_fadesEnd = end;
    m_fadedWidth = width;
    if (!start && !end) {
        // Nothing beyond either end: no offscreen pass for the row.
        viewport()->setGraphicsEffect(nullptr);
        m_fade = nullptr;
        return;
    }
    if (!m_fade) {
        m_fade = new QGraphicsOpacityEffect(viewport());
        m_fade->setOpacity(1); // the mask alone fades
        viewport()->setGraphicsEffect(m_fade);
    }
    // The mask's alpha fades the row's ends where more lies beyond them.
    const double edge = width > 0 ? std::min(0.25, fadeWidth / width) : 0;
    QLinearGradient mask(0, 0, width, 0);
    mask.setColorAt(0, start ? Qt::transparent : Qt::black);
    mask.setColorAt(edge, Qt::black);
    mask.setColorAt(1 - edge, Qt::black);
    mask.setColorAt(1, end ? Qt::transparent : Qt::black);
    m_fade->setOpacityMask(mask);
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
