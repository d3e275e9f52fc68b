#pragma once

#include "settings/Prefs.h"

#include <QWidget>
#include <functional>

/// What the two width controls share: the dock side they sit on, hover, and a
/// left-button drag from press to release. Subclasses say what a drag reports.
class ResizeControl : public QWidget {
    Q_OBJECT
public:
    DockSide side() const { return m_side; }
    void setSide(DockSide side);

    bool hovering() const { return m_hovering; }
    bool dragging() const { return m_dragging; }

    /// The drag ended (the button was released).
    std::function<void()> onEnd;

protected:
    explicit ResizeControl(QWidget* parent);

    /// A drag began with the pointer at this screen x.
    virtual void dragBegan(double screenX) = 0;
    /// The pointer moved to this screen x during a drag.
    virtual void dragMoved(double screenX) = 0;

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
