#pragma once

#include <QObject>
#include <functional>
#include <memory>

class CompositorWatch;
class EdgeTab;
class GridPort;
class GridViewPort;
class Library;
class PanelController;
class QMenu;
class QScreen;
class ShelfPanel;
class ShelfPort;
class ShelfView;
class ShelfViewPort;

/// The docked panel as it runs on the desktop: the panel window with its
/// card, the edge tab and the controller between them, kept in step with the
/// screens, the compositor and the settings.
class DockedPanel : public QObject {
    Q_OBJECT
public:
    explicit DockedPanel(Library& lib, QObject* parent = nullptr);
    ~DockedPanel() override;

    PanelController& controller() { return *m_ctl; }
    ShelfPanel& panel() { return *m_panel; }
    EdgeTab& tab() { return *m_tab; }
    ShelfView& shelf() { return *m_shelf; }
    /// The card and its grid as the controller drives them.
    ShelfPort& shelfPort();
    GridPort& gridPort();

    /// The menu a right-click on the edge tab pops (the tray's menu, for
    /// desktops without a tray); nullptr from it pops nothing.
    void setTabMenu(std::function<QMenu*()> menu);
    /// What the settings button, the empty state's button and Ctrl+, run.
    void setShowSettings(std::function<void()> show);

private:
    void watchScreen(QScreen* screen);

    std::unique_ptr<CompositorWatch> m_compositor;
    std::unique_ptr<ShelfPanel> m_panel;
    ShelfView* m_shelf = nullptr; // the card, a child of the panel
    std::unique_ptr<ShelfViewPort> m_shelfPort;
    std::unique_ptr<GridViewPort> m_gridPort;
    std::unique_ptr<EdgeTab> m_tab;
    std::unique_ptr<PanelController> m_ctl; // last: goes first
};
