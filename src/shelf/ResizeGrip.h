#pragma once

#include "settings/Prefs.h"

#include <QWidget>
#include <functional>

/// The square button in the footer's inner corner that drags the panel's width
/// and, on a double-click, switches between strip and board. A drag reports the
/// pointer's distance from where the drag began, not from the previous event.
class ResizeGrip : public QWidget {
    Q_OBJECT
public:
    explicit ResizeGrip(QWidget* parent = nullptr);

    DockSide side() const { return m_side; }
    void setSide(DockSide side);
    /// The symbol is the same on both sides; kept as the place a side change lands.
    void refreshIcon() { update(); }

    bool hovering() const { return m_hovering; }
    bool dragging() const { return m_dragging; }

    std::function<void()> onBegin;
    std::function<void(double delta)> onDrag;
    std::function<void()> onEnd;
    std::function<void()> onDoubleClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    DockSide m_side = DockSide::right;
    bool m_hovering = false;
    bool m_dragging = false;
    double m_startX = 0;
};
