#pragma once

#include <QScrollArea>

/// A chip row's scroller: sideways only, without scroll bars, and a turn of a
/// plain mouse wheel scrolls it sideways (there is nothing to scroll vertically).
/// Touchpad swipes with a scroll phase keep their own handling.
class HScrollView : public QScrollArea {
    Q_OBJECT
public:
    /// Points scrolled per wheel line.
    static constexpr double pointsPerLine = 10;

    explicit HScrollView(QWidget* parent = nullptr);

    /// The horizontal offset after a vertical wheel `delta` (points when `precise`,
    /// else lines) from `x`, for a document `documentWidth` wide seen through a
    /// clip `clipWidth` wide.
    static int scrolledX(int x, double delta, bool precise, int documentWidth, int clipWidth);

protected:
    void wheelEvent(QWheelEvent* event) override;
};
