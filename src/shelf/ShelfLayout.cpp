#include "shelf/ShelfLayout.h"

#include <algorithm>
#include <cmath>

namespace ShelfLayout {

Header header(double width, double brandWidth, double countWidth) {
    const double h = headerH;
    Header out;
    out.brandIcon = QRectF(15, (h - 14) / 2, 14, 14);
    // Buttons from the right edge inward, 2 points apart.
    const double y = (h - 24) / 2;
    double x = width - 10 - 24;
    out.closeB = QRectF(x, y, 24, 24);
    x -= 2 + 24;
    out.gearB = QRectF(x, y, 24, 24);
    x -= 2 + 24;
    out.pinB = QRectF(x, y, 24, 24);
    x -= 2 + 24;
    out.searchB = QRectF(x, y, 24, 24);

    const double bw = std::ceil(brandWidth);
    const double cw = std::ceil(countWidth);
    const double limit = out.searchB.x() - 2 - 6;
    out.brandHidden = limit < 33 + bw + 2 + cw;
    out.brand = QRectF(33, (h - 15) / 2 - 0.5, bw, 16);
    const double cx = out.brandHidden ? 33 : out.brand.right() + 2;
    out.count = QRectF(cx, out.brand.top(), std::max(0.0, limit - cx), 16);
    return out;
}

Frames card(const Input& in) {
    const double W = in.size.width();
    const double H = in.size.height();
    const bool right = in.side == DockSide::right;
    Frames f;
    f.chips = QRectF(9, headerH, W - 18, 30);
    f.sub = QRectF(9, headerH + chipsH - 2, W - 18, 28);
    f.search = QRectF(12, headerH + chipsH + (in.subVisible ? subH : 0) + 2, W - 24, searchH - 8);
    f.top = headerH + chipsH + (in.subVisible ? subH : 0) + (in.searchVisible ? searchH : 0);
    f.sepTop = QRectF(0, f.top - 0.5, W, 0.5);
    f.sepBottom = QRectF(0, H - footerH, W, 0.5);
    // The grip sits in the footer's corner that faces the screen's interior.
    const double gripY = (H - footerH) + (footerH - 28) / 2;
    f.grip = QRectF(right ? 8 : W - 8 - 28, gripY, 28, 28);
    f.footer = QRectF(right ? 40 : 0, H - footerH, W - 40, footerH);
    f.selBar = QRectF(8, (headerH - 34) / 2, W - 16, 34);
    const double g = std::max(0.0, (H - footerH) - f.top);
    f.perfL = QRectF(0, f.top, gutter, g);
    f.perfR = QRectF(W - gutter, f.top, gutter, g);
    f.roll = QRectF(gutter, f.top, W - 2 * gutter, g);
    f.empty = f.roll;
    f.toastArea = QRectF(0, f.top, W, g);
    f.handle = QRectF(right ? 0 : W - 8, 28, 8, std::max(0.0, H - 56));
    return f;
}

SearchBox searchBox(QSizeF size) {
    const double w = size.width(), h = size.height();
    return SearchBox{QRectF(8, (h - 16) / 2, 16, 16),
                     QRectF(29, (h - 17) / 2, std::max(0.0, w - 29 - 26), 17),
                     QRectF(w - 24, (h - 20) / 2, 20, 20)};
}

ChipRow chipRow(const std::vector<double>& widths, bool mainRow, double visibleWidth) {
    ChipRow row;
    const double h = mainRow ? 24 : 22;
    const double gap = mainRow ? 6 : 5;
    double x = 3;
    double end = 3;
    for (size_t i = 0; i < widths.size(); ++i) {
        const QRectF frame(x, 3, widths[i], h);
        row.frames.push_back(frame);
        end = frame.right() + gap;
        if (mainRow && i == 1) {
            // A wider gap with the divider between the scopes and the folders.
            row.divider = QRectF(frame.right() + 5, 9, 1, 12);
            row.dividerPlaced = true;
            x = frame.right() + 12;
        } else {
            x = frame.right() + gap;
        }
    }
    row.document = QSizeF(std::max(end, visibleWidth), mainRow ? 30 : 28);
    return row;
}

Footer footer(QSizeF size, DockSide side) {
    const double W = size.width(), m = size.height() / 2;
    const bool left = side == DockSide::left;
    Footer f;
    const double sx = left ? 12 : W - 12 - 165;
    f.small = QRectF(sx, m - 8, 16, 16);
    f.slider = QRectF(sx + 20, m - 10, 124, 20);
    f.large = QRectF(f.slider.right() + 3, m - 9, 18, 18);
    f.colsHidden = W - 165 - 24 < 72;
    f.colsRightAligned = left;
    f.cols = QRectF(left ? W - 6 - 66 : 6, m - 7, 66, 14);
    return f;
}

SelectionBar selectionBar(QSizeF size) {
    const double W = size.width(), H = size.height();
    SelectionBar bar;
    const double y = (H - 28) / 2;
    double x = W - 4 - 28;
    bar.clear = QRectF(x, y, 28, 28);
    x -= 28 + 4; // deselect stands apart from the actions
    bar.trash = QRectF(x, y, 28, 28);
    x -= 28;
    bar.share = QRectF(x, y, 28, 28);
    x -= 28;
    bar.copy = QRectF(x, y, 28, 28);
    x -= 28;
    bar.move = QRectF(x, y, 28, 28);
    bar.count = QRectF(12, (H - 14) / 2, std::max(0.0, bar.move.x() - 16), 14);
    bar.showsWord = W >= 250;
    return bar;
}

Toast toast(const QRectF& area, double textWidth, double actionWidth) {
    const double aw = actionWidth > 0 ? std::ceil(actionWidth) + 14 : 0;
    // A message wider than the band leaves 6 points beside the pill wraps
    // onto a second line rather than being cut.
    const double widest = std::max(0.0, area.width() - 40 - aw);
    Toast t;
    t.lines = std::ceil(textWidth) > widest ? 2 : 1;
    const double tw = t.lines == 1 ? std::ceil(textWidth) : widest;
    const double w = tw + 28 + aw;
    const double h = 30 + 16 * (t.lines - 1);
    t.pill = QRectF(area.center().x() - w / 2, area.bottom() - h - 14, w, h);
    t.label = QRectF(14, 7, tw, 16 * t.lines);
    if (aw > 0)
        t.action = QRectF(tw + 14 + 8, (h - 20) / 2, aw - 8, 20);
    return t;
}

Empty empty(QSizeF size, double keysWidth, double subTextWidth, QSizeF buttonSize) {
    const double W = size.width(), H = size.height();
    const double b = 0.42 * H;
    // The rules count from the bottom; `top` turns a bottom-based rect into ours.
    auto top = [H](double y, double h) { return H - y - h; };
    Empty e;
    e.icon = QRectF((W - 40) / 2, top(b + 30, 36), 40, 36);
    e.title = QRectF(12, top(b + 6, 18), W - 24, 18);
    if (keysWidth <= 0) {
        e.sub = QRectF(18, top(b - 40, 44), W - 36, 44);
    } else {
        const double sw = std::ceil(subTextWidth) + 4;
        const double kx = (W - (keysWidth + 8 + sw)) / 2;
        e.keys = QRectF(kx, top(b - 24, 22), keysWidth, 22);
        e.sub = QRectF(e.keys.right() + 8, top(b - 21, 16), sw, 16);
    }
    e.button = QRectF((W - buttonSize.width()) / 2, top(b - 76, buttonSize.height()),
                      buttonSize.width(), buttonSize.height());
    return e;
}

QRectF handlePill(QSizeF size, DockSide side) {
    const double x = side == DockSide::right ? 2.5 : size.width() - 5.5;
    return QRectF(x, size.height() / 2 - 22, 3, 44);
}

Perforation perforation(QSizeF size) {
    const double W = size.width(), H = size.height();
    Perforation p;
    p.hole = QRectF((W - 6) / 2, 3, 6, 8.5);
    p.replica = QRectF(0, -perfStep, W, H + 2 * perfStep);
    p.instances = int(p.replica.height() / perfStep) + 2;
    return p;
}

double perforationShift(double scrollOffset) {
    const double r = std::fmod(scrollOffset, perfStep);
    return r == 0 ? 0.0 : -r;
}

} // namespace ShelfLayout
