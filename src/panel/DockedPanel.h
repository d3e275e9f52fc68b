#pragma once

#include <QObject>
#include <memory>

class CompositorWatch;
class EdgeTab;
class InterimCard;
class Library;
class PanelController;
class QScreen;
class ShelfPanel;

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

private:
    void watchScreen(QScreen* screen);

    std::unique_ptr<CompositorWatch> m_compositor;
    std::unique_ptr<ShelfPanel> m_panel;
    InterimCard* m_card = nullptr; // child of the panel
    std::unique_ptr<EdgeTab> m_tab;
    std::unique_ptr<PanelController> m_ctl; // last: goes first
};
