#include "grid/GridLayout.h"

#include <algorithm>
#include <cmath>

namespace GridLayout {

namespace {

double rawColumns(double width, double target) {
    return (width - 2 * inset + gap) / (gap + target);
}

} // namespace

int columns(double width, double target) {
    return std::max(1, int(std::floor(rawColumns(width, target))));
}

int columnsWithHysteresis(double width, double target, int current, bool haveShots) {
    const double raw = rawColumns(width, target);
    int n = std::max(1, int(std::floor(raw + 0.0001)));
    if (haveShots && current >= 1) {
        if (n == current + 1 && raw < current + 1 + 0.04)
            n = current;
        else if (n == current - 1 && raw > current - 0.04)
            n = current;
    }
    return n;
}

double aspect(QSizeF pixelSize) {
    if (pixelSize.width() <= 1 || pixelSize.height() <= 1)
        return 0.625;
    return std::clamp(pixelSize.height() / pixelSize.width(), 0.28, 2.2);
}

Result compute(const ShotList& shots, const Input& input) {
    Result result;
    const double width = input.width;
    result.columns =
        columnsWithHysteresis(width, input.target, input.currentColumns, !shots.isEmpty());
    const int n = result.columns;
    const double cap = input.captions ? captionH : 0;
    result.cellWidth = std::max(40.0, std::floor((width - 2 * inset - gap * (n - 1)) / n));
    const double cellW = result.cellWidth;

    // The weights count aspect ratios only, never pixels, so a resize within one
    // column count keeps every shot in its column.
    std::vector<double> bottoms(size_t(n), topInset);
    std::vector<double> weights(size_t(n), 0.0);
    result.byColumn.assign(size_t(n), {});
    result.frames.resize(size_t(shots.size()));
    const double extraWeight = (cap + gap) / 240;
    for (qsizetype i = 0; i < shots.size(); ++i) {
        size_t column = 0;
        for (size_t c = 1; c < size_t(n); ++c) {
            if (weights[c] < weights[column] - 0.0001)
                column = c;
        }
        const double a = aspect(shots[i]->pixelSize);
        const double h = cap + std::round(cellW * a);
        result.frames[size_t(i)] =
            QRectF(inset + (cellW + gap) * double(column), bottoms[column], cellW, h);
        result.byColumn[column].push_back(int(i));
        bottoms[column] += h + gap;
        weights[column] += a + extraWeight;
    }
    result.bottom = bottoms.empty() ? topInset : *std::max_element(bottoms.begin(), bottoms.end());
    result.contentHeight = shots.isEmpty() ? 0 : result.bottom + endSpace;
    return result;
}

std::vector<int> Result::intersecting(const QRectF& rect) const {
    std::vector<int> hits;
    if (rect.isEmpty())
        return hits;
    for (const std::vector<int>& column : byColumn) {
        if (column.empty())
            continue;
        const QRectF& first = frames[size_t(column.front())];
        if (first.right() <= rect.left() || first.left() >= rect.right())
            continue;
        // The first cell whose bottom lies below the rectangle's top.
        auto it = std::partition_point(column.begin(), column.end(), [&](int pos) {
            return frames[size_t(pos)].bottom() <= rect.top();
        });
        for (; it != column.end() && frames[size_t(*it)].top() < rect.bottom(); ++it)
            hits.push_back(*it);
    }
    std::sort(hits.begin(), hits.end());
    return hits;
}

} // namespace GridLayout
