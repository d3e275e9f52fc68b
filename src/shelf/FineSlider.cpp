#include "shelf/FineSlider.h"
#include "shelf/Announce.h"

#include <QAccessible>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>
#include <cmath>

namespace {

// The knob with its shadow (black 0.5, blur 3, one point down), drawn once per
// device pixel ratio: a blurred disc is too costly to draw on every frame.
const QPixmap& knobPixmap(qreal dpr) {
    static QPixmap cached;
    static qreal cachedDpr = 0;
    if (cachedDpr == dpr && !cached.isNull())
        return cached;
    const int side = 21; // knob 13 plus room for the shadow
    QImage image(QSize(side, side) * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QPointF centre(side / 2.0, side / 2.0);
    // A few widening rings of falling alpha stand in for the gaussian blur.
    for (int i = 3; i >= 1; --i) {
        p.setBrush(QColor(0, 0, 0, int(255 * 0.5 / (i + 1.5))));
        p.drawEllipse(centre + QPointF(0, 1), 6.5 + i, 6.5 + i);
    }
    p.setBrush(Qt::white);
    p.drawEllipse(centre, FineSlider::knobDiameter / 2, FineSlider::knobDiameter / 2);
    p.end();
    cached = QPixmap::fromImage(image);
    cachedDpr = dpr;
    return cached;
}

} // namespace

FineSlider::FineSlider(QWidget* parent)
    : QWidget(parent) {
    setToolTip(QStringLiteral("Frame size  Ctrl++ / Ctrl+\u2212"));
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void FineSlider::setValue(double value) {
    const double clamped = std::clamp(value, minimum, maximum);
    if (clamped == m_value)
        return;
    m_value = clamped;
    changed();
}

void FineSlider::changed() {
    update();
    QAccessibleValueChangeEvent event(this, m_value);
    announce::send(event);
}

double FineSlider::valueAt(double x, double width) {
    const double travel = width - knobDiameter;
    if (travel <= 0)
        return minimum;
    const double f = std::clamp((x - knobDiameter / 2) / travel, 0.0, 1.0);
    return minimum + f * (maximum - minimum);
}

double FineSlider::knobCentre(double value, double width) {
    const double travel = std::max(0.0, width - knobDiameter);
    const double f = (std::clamp(value, minimum, maximum) - minimum) / (maximum - minimum);
    return knobDiameter / 2 + f * travel;
}

void FineSlider::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const double w = width(), mid = height() / 2.0;
    const QRectF track(2, mid - 1, std::max(0.0, w - 4), 2);
    p.setBrush(QColor::fromRgbF(1, 1, 1, 0.16));
    p.drawRoundedRect(track, 1, 1);
    const double knob = knobCentre(m_value, w);
    const QRectF filled(track.left(), track.top(), std::max(0.0, knob - track.left()), 2);
    p.setBrush(QColor::fromRgbF(1, 1, 1, 0.62));
    p.drawRoundedRect(filled, 1, 1);
    const QPixmap& pixmap = knobPixmap(devicePixelRatioF());
    const QSizeF size = QSizeF(pixmap.size()) / pixmap.devicePixelRatio();
    p.drawPixmap(QPointF(knob - size.width() / 2, mid - size.height() / 2), pixmap);
}

void FineSlider::track(double x) {
    const double value = valueAt(x, width());
    if (value == m_value)
        return;
    m_value = value;
    changed();
    if (onChange)
        onChange(m_value);
}

void FineSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_dragging = true;
    track(event->position().x());
}

void FineSlider::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging)
        track(event->position().x());
}

void FineSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (m_dragging && event->button() == Qt::LeftButton) {
        track(event->position().x());
        m_dragging = false;
    }
}
