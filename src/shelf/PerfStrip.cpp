#include "shelf/PerfStrip.h"

#include "shelf/ShelfLayout.h"
#include "shelf/Theme.h"

#include <QPaintEvent>
#include <QPainter>

PerfStrip::PerfStrip(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void PerfStrip::setShift(double shift) {
    if (shift == m_shift)
        return;
    m_shift = shift;
    update();
}

void PerfStrip::paintEvent(QPaintEvent* event) {
    const ShelfLayout::Perforation perf = ShelfLayout::perforation(size());
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Theme::perf());
    const QRectF exposed = QRectF(event->rect()).adjusted(0, -1, 0, 1);
    const double step = ShelfLayout::perfStep;
    for (int i = 0; i < perf.instances; ++i) {
        const QRectF hole = perf.hole.translated(0, perf.replica.top() + i * step + m_shift);
        if (hole.intersects(exposed))
            p.drawRoundedRect(hole, 1.7, 1.7);
    }
}
