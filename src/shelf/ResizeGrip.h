#pragma once

#include "shelf/ResizeControl.h"

/// The square button in the footer's inner corner that drags the panel's width
/// and, on a double-click, switches between strip and board. A drag reports the
/// pointer's distance from where the drag began, not from the previous event.
class ResizeGrip : public ResizeControl {
    Q_OBJECT
public:
    explicit ResizeGrip(QWidget* parent = nullptr);

    /// The symbol is the same on both sides; kept as the place a side change lands.
    void refreshIcon() { update(); }

    std::function<void()> onBegin;
    std::function<void(double delta)> onDrag;
    std::function<void()> onDoubleClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragBegan(double screenX) override;
    void dragMoved(double screenX) override;

private:
    double m_startX = 0;
};
