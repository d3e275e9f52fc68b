#include "panel/PanelGeometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <optional>

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

namespace {

// Qt rounds a window's position and size to device pixels half up.
double roundHalfUp(double v) {
    return std::floor(v + 0.5);
}

bool whole(double v) {
    return std::abs(v - std::round(v)) < 1e-9;
}

struct Span {
    int start = 0;
    int length = 0;
};

// One axis of windowOnPixels: whole points [start, start + length) whose
// device span covers [lo, hi] and stays inside [min, max] (device pixels
// from the screen's origin `origin`).
Span spanOnPixels(double from, double to, double origin, double scale, double min, double max) {
    const double lo = roundHalfUp((from - origin) * scale);
    const double hi = roundHalfUp((to - origin) * scale);
    const int first = int(std::floor(from));
    std::optional<Span> fallback;
    // A few points of slack either way always find one; beyond them the
    // window would only grow.
    for (int x = first; x >= first - 8; --x) {
        const double start = roundHalfUp((x - origin) * scale);
        if (start > lo || start < min)
            continue;
        // From the length just short of `to`: a length that rounds up to
        // the last pixel may be one point less than `to` rounded up.
        const int least = std::max(1, int(std::floor(to)) - x);
        for (int n = least; n <= least + 8; ++n) {
            const double end = start + roundHalfUp(n * scale);
            if (end < hi || end > max)
                continue;
            if (whole((x - origin) * scale) && whole(n * scale))
                return {x, n};
            if (!fallback)
                fallback = Span{x, n};
        }
    }
    return fallback.value_or(Span{first, int(std::ceil(to)) - first});
}

} // namespace

QRectF pixelAligned(const QRectF& r, const ScreenFrames& screen) {
    const double scale = screen.scale;
    const QPointF o = screen.full.topLeft();
    const auto snap = [scale](double v, double origin) {
        return std::round((v - origin) * scale) / scale + origin;
    };
    const double left = snap(r.left(), o.x());
    const double top = snap(r.top(), o.y());
    return {left, top, snap(r.right(), o.x()) - left, snap(r.bottom(), o.y()) - top};
}

QRect deviceRect(const QRect& r, const ScreenFrames& screen) {
    const double s = screen.scale;
    const QPointF o = screen.full.topLeft();
    return QRect(int(roundHalfUp((r.x() - o.x()) * s)), int(roundHalfUp((r.y() - o.y()) * s)),
                 int(roundHalfUp(r.width() * s)), int(roundHalfUp(r.height() * s)));
}

QRect windowOnPixels(const QRectF& wanted, const ScreenFrames& screen) {
    const double s = screen.scale;
    const QRectF& f = screen.full;
    const Span x =
        spanOnPixels(wanted.left(), wanted.right(), f.left(), s, 0, roundHalfUp(f.width() * s));
    const Span y =
        spanOnPixels(wanted.top(), wanted.bottom(), f.top(), s, 0, roundHalfUp(f.height() * s));
    return {x.start, y.start, x.length, y.length};
}

QRectF inWindow(const QRectF& r, const QRect& window, const ScreenFrames& screen) {
    const double s = screen.scale;
    const QPointF o = screen.full.topLeft();
    const QPoint origin = deviceRect(window, screen).topLeft();
    return {(std::round((r.left() - o.x()) * s) - origin.x()) / s,
            (std::round((r.top() - o.y()) * s) - origin.y()) / s, std::round(r.width() * s) / s,
            std::round(r.height() * s) / s};
}

QRectF windowFrame(const ScreenFrames& screen, DockSide side) {
    const QRectF& f = screen.full;
    const QRectF& v = screen.visible;
    // The card starts at the visible frame, so a desktop dock on the docking
    // edge widens the window by its own width: the widest card still fits.
    const double dock = side == DockSide::left ? v.left() - f.left() : f.right() - v.right();
    const double w =
        std::min(std::max(0.0, dock) + maxWidth(screen) + inset + windowExtra, f.width());
    const double x = side == DockSide::left ? f.left() : f.right() - w;
    return QRectF(windowOnPixels(pixelAligned({x, f.top(), w, f.height()}, screen), screen));
}

QRectF cardScreenFrame(const ScreenFrames& screen, DockSide side, double width) {
    const QRectF& v = screen.visible;
    const double w = clampWidth(width, screen);
    const double x = side == DockSide::left ? v.left() + inset : v.right() - inset - w;
    return pixelAligned({x, v.top() + inset, w, v.height() - 2 * inset}, screen);
}

QRectF cardInWindow(const ScreenFrames& screen, DockSide side, double width) {
    return inWindow(cardScreenFrame(screen, side, width), windowFrame(screen, side).toRect(),
                    screen);
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
