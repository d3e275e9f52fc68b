#pragma once

#include "settings/Prefs.h"

#include <QRectF>
#include <QSizeF>
#include <vector>

/// The geometry of the shelf card and its small instruments as pure functions of
/// sizes and flags, so the layout rules are tested without building a widget.
/// Coordinates have their origin at the card's top-left corner, y down.
namespace ShelfLayout {

// Bands and margins of the card, in points.
inline constexpr double gutter = 16;
inline constexpr double radius = 14;
inline constexpr double headerH = 44;
inline constexpr double chipsH = 34;
inline constexpr double subH = 30;
inline constexpr double searchH = 36;
inline constexpr double footerH = 46;
/// Distance between consecutive perforation holes.
inline constexpr double perfStep = 15;

struct Header {
    QRectF brandIcon;
    QRectF brand;
    QRectF count;
    bool brandHidden = false;
    QRectF searchB, pinB, gearB, closeB;
};

/// The header for a card `width` wide whose brand and counter want these widths.
/// The counter wins over the brand when both do not fit.
Header header(double width, double brandWidth, double countWidth);

struct Input {
    QSizeF size;
    bool subVisible = false;
    bool searchVisible = false;
    DockSide side = DockSide::right;
};

struct Frames {
    QRectF chips, sub, search;
    QRectF sepTop, sepBottom;
    QRectF grip, footer, selBar;
    QRectF perfL, perfR, roll, empty;
    QRectF toastArea;
    QRectF handle;
    /// The top of the grid band: 78 with neither optional band, 144 with both.
    double top = 0;
};

/// Every frame of the card below the header.
Frames card(const Input& in);

/// The search box's icon, field and clear button inside a box of `size`.
struct SearchBox {
    QRectF icon, field, clear;
};
SearchBox searchBox(QSizeF size);

/// One row of chips: each chip's frame and the document's size.
struct ChipRow {
    std::vector<QRectF> frames;
    QRectF divider; // only meaningful in the main row with at least two chips
    bool dividerPlaced = false;
    QSizeF document;
};
/// `widths` are the chips' wanted widths in display order. The main row has 24-point
/// chips, a divider after the second and gaps of 6; the sub row 22-point chips and
/// gaps of 5. The document is at least `visibleWidth` wide.
ChipRow chipRow(const std::vector<double>& widths, bool mainRow, double visibleWidth);

/// The footer's parts in a footer of `size`.
struct Footer {
    QRectF small, slider, large, cols;
    bool colsHidden = false;
    bool colsRightAligned = false;
};
Footer footer(QSizeF size, DockSide side);

/// The selection bar's buttons (move, copy, share, trash, clear) and its count.
struct SelectionBar {
    QRectF count;
    QRectF move, copy, share, trash, clear;
    bool showsWord = false; // room for "selected" after the number
};
SelectionBar selectionBar(QSizeF size);

/// The toast pill in the grid band `area`, for a message `textWidth` wide and an
/// action button `actionWidth` wide (0 without an action).
struct Toast {
    QRectF pill;   // in the card's coordinates
    QRectF label;  // in the pill's coordinates
    QRectF action; // in the pill's coordinates; empty without an action
    int lines = 1; // of the message: 2 when it does not fit on one
};
Toast toast(const QRectF& area, double textWidth, double actionWidth);

/// The empty state's parts in a view of `size` (y down, unlike the layout rules,
/// which count from the bottom). `keysWidth` is 0 when no keycaps show.
struct Empty {
    QRectF icon, title, sub, keys, button;
};
Empty empty(QSizeF size, double keysWidth, double subTextWidth, QSizeF buttonSize);

/// The visible pill of the resize handle.
QRectF handlePill(QSizeF size, DockSide side);

/// The perforation pattern of a strip: one hole every step, one spare step beyond
/// each end so an offset of up to one step never leaves a gap.
struct Perforation {
    QRectF hole;    // the first hole, before the offset
    QRectF replica; // the area the repeated holes cover
    int instances = 0;
};
Perforation perforation(QSizeF size);
/// The pattern's vertical shift for a scroll offset: up by the offset modulo one
/// step, so the holes travel with the content and wrap every step.
double perforationShift(double scrollOffset);

} // namespace ShelfLayout
