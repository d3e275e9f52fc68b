#pragma once

#include "panel/PanelGeometry.h"

#include <QPainterPath>
#include <QSizeF>
#include <QString>

/// The edge tab's numbers: where its window sits, how big its pill is and
/// where the perforation and the unseen count go. Pure functions in the
/// tab view's own coordinates (origin top-left, y downward).
namespace TabLayout {

inline constexpr double width = 18;
inline constexpr double height = 140;
inline constexpr double step = 7; ///< distance between two perforation holes
inline constexpr QSizeF holeSize{2.4, 3.4};
inline constexpr double pillSeconds = 0.24;
inline constexpr double showSeconds = 0.25;
inline constexpr double hideSeconds = 0.12;
inline constexpr double advanceSeconds = 0.16;

/// The tab window: on the docking edge of the visible frame, centred on the
/// full screen's height and kept inside the visible frame.
QRectF windowFrame(const ScreenFrames& screen, DockSide side);

/// `pill` (of pillRect) moved into the tab's box `box` in the view, hugging
/// the box's screen-edge side, its edges on whole device pixels of `scale`:
/// the window may be larger than the box where the screen's ratio leaves no
/// whole-point window of exactly 18 × 140 on the edge.
QRectF placedPill(const QRectF& pill, const QRectF& box, DockSide side, double scale);

/// 16 × 108 with unseen frames, else 11 × 104 hovered and 7 × 86 idle.
QSizeF pillSize(int unseen, bool hover);
/// The pill inside the tab view, hugging the screen edge, vertically centred.
QRectF pillRect(int unseen, bool hover, DockSide side);
/// The D-shaped outline: square (and one point past) on the screen edge,
/// rounded on the inner side.
QPainterPath pillPath(const QRectF& pill, DockSide side);
/// The strip the holes show through: 9 points from the bottom, and from the
/// top 22 with a count above it, else 9.
QRectF holesRect(const QRectF& pill, int unseen);
/// One hole inside the holes strip (x nudged half a point off the edge).
QRectF holeRect(const QRectF& pill, DockSide side);
/// How many holes fill the strip, with one spare above and below so a
/// shift of up to two steps never shows a gap.
int holeCount(double stripHeight);
/// The count's box: the pill's top, below a 7-point margin, 12 high.
QRectF countRect(const QRectF& pill);
/// The count as shown: the number below 100, otherwise "99".
QString countText(int unseen);
/// Repetitions of the film-advance animation for `arrived` frames:
/// two per frame, counting at least one and at most three frames.
int advanceRepeats(int arrived);

} // namespace TabLayout
