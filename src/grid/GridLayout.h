#pragma once

#include "library/Shot.h"

#include <QRectF>
#include <QSizeF>
#include <vector>

/// The column packing of the film roll, apart from any widget so that tests and
/// the grid call the same function: every shot goes to the column whose height,
/// measured in aspect ratios, is smallest.
namespace GridLayout {

inline constexpr double gap = 10;      ///< Between columns and between cells of a column.
inline constexpr double inset = 6;     ///< Left and right margin of the outer columns.
inline constexpr double topInset = 10; ///< Top margin of every column.
inline constexpr double captionH = 20; ///< Caption strip under each image when captions show.
inline constexpr double endSpace = 56; ///< Room under the last row for "End of roll".

/// The number of columns a width gives without hysteresis, at least 1.
int columns(double width, double target);

/// The column count for `width`, keeping `current` while the width is within
/// 0.04 of a column of the boundary so that a live resize does not flicker
/// between counts. Jumps of two or more columns are taken directly; with no
/// shots the count follows the width.
int columnsWithHysteresis(double width, double target, int current, bool haveShots);

/// Height over width of a shot, clamped to [0.28, 2.2]; 0.625 when the size is
/// missing.
double aspect(QSizeF pixelSize);

struct Input {
    double width = 0;
    double target = 224;
    bool captions = true;
    int currentColumns = 1;
};

struct Result {
    int columns = 1;
    double cellWidth = 40;
    std::vector<QRectF> frames;             ///< One per shot, in listing order.
    std::vector<std::vector<int>> byColumn; ///< Positions of each column, top to bottom.
    double bottom = topInset;               ///< The lowest column bottom.
    double contentHeight = 0;               ///< Height the shots need; 0 without shots.

    /// Positions whose frame intersects `rect`, in listing order per column,
    /// found by bisecting each column (frames of a column grow downwards).
    std::vector<int> intersecting(const QRectF& rect) const;
};

Result compute(const ShotList& shots, const Input& input);

} // namespace GridLayout
