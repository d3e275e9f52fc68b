#pragma once

#include "settings/Prefs.h"

#include <QWidget>
#include <functional>

/// The invisible 8-point strip along the card's inner edge that drags the panel's
/// width. It reports the pointer's absolute screen x and shows a small pill while
/// hovered or dragged; the pill stays while a drag leaves the strip.
class ResizeHandle : public QWidget {
    Q_OBJECT
public:
    explicit ResizeHandle(QWidget* parent = nullptr);

    DockSide side() const { return m_side; }
    void setSide(DockSide side);

    bool hovering() const { return m_hovering; }
    bool dragging() const { return m_dragging; }
    /// Whether the pill shows.
    bool pillVisible() const { return m_hovering || m_dragging; }

    /// The pointer's screen x on every move of a drag.
    std::function<void(double screenX)> onDrag;
    std::function<void()> onEnd;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    DockSide m_side = DockSide::right;
    bool m_hovering = false;
    bool m_dragging = false;
};
