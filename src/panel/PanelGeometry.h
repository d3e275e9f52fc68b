#pragma once

#include "settings/Prefs.h"

#include <QPointF>
#include <QRect>
#include <QRectF>

class QScreen;

/// The two frames of the screen the panel docks on, in Qt's screen
/// coordinates (device-independent pixels, y growing downward). Every
/// placement rule below mirrors top and bottom alike (insets and centring),
/// so the rules read the same whichever way y grows and nothing converts.
struct ScreenFrames {
    QRectF full;      ///< the whole screen
    QRectF visible;   ///< without the desktop's panels and docks
    double scale = 1; ///< device pixels per point

    /// The frames of `screen`; of the primary screen when it is null. Empty
    /// frames when there is no screen at all.
    static ScreenFrames of(const QScreen* screen = nullptr);
};

/// Where the panel window and its card sit and how wide the card may be.
/// Pure functions: the controller and the tests call them directly.
namespace PanelGeometry {

inline constexpr double inset = 8;        ///< card to visible-frame gap on every side
inline constexpr double minW = 228;       ///< smallest card width
inline constexpr double windowExtra = 40; ///< added to the widest card for the window
inline constexpr double maxWidthFactor = 0.92;
inline constexpr double shelfGutter = 16; ///< perforation strip beside the grid
inline constexpr double gridInset = 6;    ///< inner margin of the grid
inline constexpr double gridGap = 10;     ///< gap between grid columns
inline constexpr double minThumb = 110;
inline constexpr double maxThumb = 720;
inline constexpr double resizeStep = 1.15;
inline constexpr double boardStripFactor = 2.6;
inline constexpr double boardScreenFactor = 0.58;
inline constexpr double widthAnimationSeconds = 0.34;

/// The widest card: max(228, 0.92 × the visible width).
double maxWidth(const ScreenFrames& screen);
/// `w` held between 228 and maxWidth (not rounded).
double clampWidth(double w, const ScreenFrames& screen);
/// A thumbnail width held between 110 and 720.
double clampThumb(double t);

/// `r` with each edge moved to the nearest whole device pixel of `screen`
/// (counted from the screen's origin, as Qt counts them).
QRectF pixelAligned(const QRectF& r, const ScreenFrames& screen);

/// Where Qt puts a window of whole-point geometry `r` on `screen`: in device
/// pixels from the screen's origin, position and size each rounded on their
/// own. At a fractional ratio a whole point is not a whole pixel.
QRect deviceRect(const QRect& r, const ScreenFrames& screen);
/// A window of whole points whose device pixels (as Qt rounds them) cover
/// `wanted` (on whole device pixels) and stay on the screen, so a window
/// wanted up to the screen edge ends exactly there. Windows that are whole
/// pixels at whole points are preferred, then the smallest.
QRect windowOnPixels(const QRectF& wanted, const ScreenFrames& screen);
/// `r` (whole device pixels on `screen`) inside the window `window`, in the
/// window's points: what is painted there lands on those pixels.
QRectF inWindow(const QRectF& r, const QRect& window, const ScreenFrames& screen);

/// The panel window: as wide as the widest card plus room for its shadow
/// (and for a desktop dock on that edge), on the docking edge, over the full screen height; whole
/// points that Qt maps onto pixels ending at the screen's edge.
QRectF windowFrame(const ScreenFrames& screen, DockSide side);
/// The card in screen coordinates, inset from the visible frame; on whole pixels.
QRectF cardScreenFrame(const ScreenFrames& screen, DockSide side, double width);
/// The card inside the window, on the pixels cardScreenFrame names.
QRectF cardInWindow(const ScreenFrames& screen, DockSide side, double width);

/// The grid's column count for a content width and a target cell width.
int columns(double width, double target);
/// Whether the card at `width` shows a single column of `thumb`-wide cells.
bool oneColumn(double width, double thumb);
/// The card width that fits exactly one column of `thumb`.
double stripWidth(double thumb, const ScreenFrames& screen);
/// The wide board: at least 2.6 × the strip and 0.58 × the visible width.
double boardWidth(double thumb, const ScreenFrames& screen);
/// What a double-click on the grip animates to: the board from one column,
/// else the strip.
double toggleTarget(double width, double thumb, const ScreenFrames& screen);

/// The width asked for by the resize handle at screen x `pointerX`,
/// measured from the docking edge.
double handleWidth(double pointerX, DockSide side, const ScreenFrames& screen);
/// The width asked for by the grip dragged `dx` from where it started.
double gripWidth(double startWidth, double dx, DockSide side);
/// The live width a drag sets: clamped and rounded to a whole point.
double liveWidth(double w, const ScreenFrames& screen);

/// The width `p` (0…1) of the way through a strip/board toggle: cubic
/// ease-out, rounded to a whole point.
double tweenWidth(double from, double to, double p);

} // namespace PanelGeometry
