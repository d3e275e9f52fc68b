#include "panel/PanelGeometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>

ScreenFrames ScreenFrames::of(const QScreen* screen) {
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return {QRectF(screen->geometry()), QRectF(screen->availableGeometry()),
            screen->devicePixelRatio()};
}

namespace PanelGeometry {

double maxWidth(const ScreenFrames& screen) {
    return std::max(minW, maxWidthFactor * screen.visible.width());
}

double clampWidth(double w, const ScreenFrames& screen) {
    return std::min(maxWidth(screen), std::max(minW, w));
}

double clampThumb(double t) {
    return std::clamp(t, minThumb, maxThumb);
}

QRectF pixelAligned(const QRectF& r, double scale) {
    const auto snap = [scale](double v) { return std::round(v * scale) / scale; };
    const double left = snap(r.left());
    const double top = snap(r.top());
    return {left, top, snap(r.right()) - left, snap(r.bottom()) - top};
}

QRectF windowFrame(const ScreenFrames& screen, DockSide side) {
    const QRectF& f = screen.full;
    const double w = std::min(maxWidth(screen) + inset + windowExtra, f.width());
    const double x = side == DockSide::left ? f.left() : f.right() - w;
    return pixelAligned({x, f.top(), w, f.height()}, screen.scale);
}

QRectF cardScreenFrame(const ScreenFrames& screen, DockSide side, double width) {
    const QRectF& v = screen.visible;
    const double w = clampWidth(width, screen);
    const double x = side == DockSide::left ? v.left() + inset : v.right() - inset - w;
    return pixelAligned({x, v.top() + inset, w, v.height() - 2 * inset}, screen.scale);
}

QRectF cardInWindow(const ScreenFrames& screen, DockSide side, double width) {
    return cardScreenFrame(screen, side, width).translated(-windowFrame(screen, side).topLeft());
}

int columns(double width, double target) {
    return std::max(1, int(std::floor((width - 2 * gridInset + gridGap) / (gridGap + target))));
}

bool oneColumn(double width, double thumb) {
    return columns(width - 2 * shelfGutter, thumb) == 1;
}

double stripWidth(double thumb, const ScreenFrames& screen) {
    return clampWidth(thumb + 2 * shelfGutter + 2 * gridInset, screen);
}

double boardWidth(double thumb, const ScreenFrames& screen) {
    const double strip = stripWidth(thumb, screen);
    return clampWidth(
        std::max(boardStripFactor * strip, boardScreenFactor * screen.visible.width()), screen);
}

double toggleTarget(double width, double thumb, const ScreenFrames& screen) {
    return oneColumn(width, thumb) ? boardWidth(thumb, screen) : stripWidth(thumb, screen);
}

double handleWidth(double pointerX, DockSide side, const ScreenFrames& screen) {
    const QRectF& v = screen.visible;
    return side == DockSide::right ? v.right() - inset - pointerX : pointerX - v.left() - inset;
}

double gripWidth(double startWidth, double dx, DockSide side) {
    return side == DockSide::right ? startWidth - dx : startWidth + dx;
}

double liveWidth(double w, const ScreenFrames& screen) {
    return std::round(clampWidth(w, screen));
}

double tweenWidth(double from, double to, double p) {
    p = std::clamp(p, 0.0, 1.0);
    const double eased = 1 - std::pow(1 - p, 3);
    return std::round(from + (to - from) * eased);
}

} // namespace PanelGeometry
