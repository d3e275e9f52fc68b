#include "panel/TabLayout.h"

#include <algorithm>
#include <cmath>

namespace TabLayout {

QRectF windowFrame(const ScreenFrames& screen, DockSide side) {
    const QRectF& v = screen.visible;
    double y = std::round(screen.full.center().y() - height / 2);
    // A visible frame shorter than the tab puts it at the frame's top.
    y = std::max(v.top(), std::min(y, v.bottom() - height));
    const double x = side == DockSide::left ? v.left() : v.right() - width;
    return {x, y, width, height};
}

QRectF placedPill(const QRectF& pill, const QRectF& box, DockSide side, double scale) {
    const auto snap = [scale](double v) { return std::round(v * scale) / scale; };
    const double w = snap(pill.width());
    const double h = snap(pill.height());
    const double x = side == DockSide::left ? snap(box.left()) : snap(box.right()) - w;
    const double y = snap(box.top() + (box.height() - h) / 2);
    return {x, y, w, h};
}

QSizeF pillSize(int unseen, bool hover) {
    if (unseen >= 1)
        return {16, 108};
    return hover ? QSizeF(11, 104) : QSizeF(7, 86);
}

QRectF pillRect(int unseen, bool hover, DockSide side) {
    const QSizeF s = pillSize(unseen, hover);
    const double x = side == DockSide::left ? 0 : width - s.width();
    return {x, (height - s.height()) / 2, s.width(), s.height()};
}

QPainterPath pillPath(const QRectF& r, DockSide side) {
    const double rad = std::min(5.0, r.width() - 0.5);
    const double d = 2 * rad;
    QPainterPath p;
    if (side == DockSide::right) {
        p.moveTo(r.right() + 1, r.bottom());
        p.lineTo(r.left() + rad, r.bottom());
        p.arcTo(r.left(), r.bottom() - d, d, d, 270, -90);
        p.lineTo(r.left(), r.top() + rad);
        p.arcTo(r.left(), r.top(), d, d, 180, -90);
        p.lineTo(r.right() + 1, r.top());
    } else {
        p.moveTo(r.left() - 1, r.bottom());
        p.lineTo(r.right() - rad, r.bottom());
        p.arcTo(r.right() - d, r.bottom() - d, d, d, 270, 90);
        p.lineTo(r.right(), r.top() + rad);
        p.arcTo(r.right() - d, r.top(), d, d, 0, 90);
        p.lineTo(r.left() - 1, r.top());
    }
    p.closeSubpath();
    return p;
}

QRectF holesRect(const QRectF& pill, int unseen) {
    const double top = unseen >= 1 ? 22 : 9;
    const double bottom = 9;
    return {pill.left(), pill.top() + top, pill.width(),
            std::max(0.0, pill.height() - bottom - top)};
}

QRectF holeRect(const QRectF& pill, DockSide side) {
    const double d = side == DockSide::right ? 0.5 : -0.5;
    return {(pill.width() - holeSize.width()) / 2 - d, 0, holeSize.width(), holeSize.height()};
}

int holeCount(double stripHeight) {
    return int((stripHeight + 2 * step) / step) + 2;
}

QRectF countRect(const QRectF& pill) {
    return {pill.left(), pill.top() + 7, pill.width(), 12};
}

QString countText(int unseen) {
    return unseen < 100 ? QString::number(unseen) : QStringLiteral("99");
}

int advanceRepeats(int arrived) {
    return 2 * std::clamp(arrived, 1, 3);
}

} // namespace TabLayout
