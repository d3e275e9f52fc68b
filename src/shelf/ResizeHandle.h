#pragma once

#include "shelf/ResizeControl.h"

/// The invisible 8-point strip along the card's inner edge that drags the panel's
/// width. It reports the pointer's absolute screen x and shows a small pill while
/// hovered or dragged; the pill stays while a drag leaves the strip.
class ResizeHandle : public ResizeControl {
    Q_OBJECT
public:
    explicit ResizeHandle(QWidget* parent = nullptr);

    /// Whether the pill shows.
    bool pillVisible() const { return hovering() || dragging(); }

    /// The pointer's screen x on every move of a drag.
    std::function<void(double screenX)> onDrag;

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragBegan(double) override {}
    void dragMoved(double screenX) override;
};
