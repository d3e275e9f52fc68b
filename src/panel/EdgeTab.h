#pragma once

#include "panel/PanelPorts.h"
#include "panel/TabLayout.h"
#include "shelf/Motion.h"

#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class InputOnlyWindow;
class PanelController;

/// The tab on the docking edge while the panel is closed: its own small dock
/// window with a dark D-shaped pill and a column of film perforation. Hover
/// widens it, unseen frames widen it further and show their count, arrivals
/// run the perforation like film. Hovering or clicking opens the panel.
/// The whole 18 × 140 area takes the pointer: with a compositor through a
/// nearly transparent background, without one through an input-only window
/// over the pill-shaped tab.
class EdgeTab : public QWidget, public TabWindow {
    Q_OBJECT
public:
    explicit EdgeTab(bool composited);
    ~EdgeTab() override;

    void setController(PanelController* ctl) { m_ctl = ctl; }
    /// Makes the menu a right-click on the tab pops (none when it returns
    /// nullptr). The tab owns each menu it is given and deletes it once closed;
    /// the panel is held while it is open.
    void setMenu(std::function<QMenu*()> menu) { m_menu = std::move(menu); }
    /// The menu popped by the last right-click, while it exists.
    QMenu* openMenu() const { return m_openMenu; }
    /// A compositor started or stopped: translucent pill or a window shaped to it.
    void setComposited(bool composited);

    // TabWindow
    void show() override;
    void hide() override;
    void position() override;
    void setUnseen(int unseen) override;
    int unseen() const override { return m_unseen; }
    void advance(int arrived) override;

    /// Re-lays the pill for the current side, hover and count.
    void layoutPill(bool animated);
    /// The tab's entrance: the pill stretches open vertically.
    void pop();
    /// What a click does: opens the panel, or closes it when open.
    void click();
    /// Hovered: a pointer that moved onto the tab is on it.
    bool hovered() const { return m_hover; }
    /// The pointer is on the tab, whether or not that counts as a hover.
    bool pointerOver() const { return m_over; }
    /// The pill's rectangle as painted now (between two layouts while animating).
    QRectF currentPill() const;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createNative();
    void applyShape();
    void frameChanged();
    void updateInputWindow();
    /// Maps the window with the dock's states and checks it reached the screen.
    void mapWindow();
    /// The window should be on screen but is not: map it again.
    void checkMapped();

    // The pointer, from Qt's events on the tab or from the input window, in
    // global coordinates. pointerMoved: an enter or a move.
    void pointerMoved(const QPoint& at);
    void pointerLeft();
    void setHover(bool hover);
    void pressed(Qt::MouseButton button, const QPoint& at);
    void released(Qt::MouseButton button, const QPoint& at, quint32 time);
    /// The pointer is where it was when the tab came under it without a move.
    void noteStillPointer();

    void popMenu(const QPoint& at);

    QPointer<PanelController> m_ctl;
    std::function<QMenu*()> m_menu;
    QPointer<QMenu> m_openMenu;
    bool m_composited = false;
    DockSide m_side = DockSide::right;
    int m_unseen = 0;
    bool m_hover = false;
    bool m_over = false;
    QTimer m_mapCheck; // after a map, or a loss of the screen while shown
    int m_remaps = 0;
    // Where the pointer rested when the tab appeared under it (mapped, or its
    // menu closed): an enter there is no hover until the pointer moves.
    std::optional<QPoint> m_still;
    std::unique_ptr<InputOnlyWindow> m_input;
    double m_alpha = 0; // the window's model opacity
    QRectF m_fromPill;  // the pill before the running re-layout
    QRectF m_pill;      // the pill's laid-out rectangle
    // The screen the tab is on, and the 18 × 140 tab inside the window,
    // which can be a little larger to end on the screen's edge pixel.
    ScreenFrames m_screen;
    QRectF m_box{0, 0, TabLayout::width, TabLayout::height};
    motion::Layer m_window;     // opacity
    motion::Layer m_pillMotion; // path morph (Param), pop (ScaleY), bulge (ScaleX)
    motion::Layer m_holes;      // film advance (TranslationY)
};
