#include "panel/DockedPanel.h"

#include "content/Thumbs.h"
#include "grid/GridView.h"
#include "panel/CardPorts.h"
#include "panel/EdgeTab.h"
#include "panel/PanelController.h"
#include "panel/ShelfPanel.h"
#include "platform/CompositorWatch.h"
#include "platform/Log.h"
#include "shelf/ShelfView.h"

#include <QGuiApplication>
#include <QScreen>

DockedPanel::DockedPanel(Library& lib, QObject* parent)
    : QObject(parent)
    , m_compositor(std::make_unique<CompositorWatch>()) {
    const bool composited = m_compositor->isComposited();
    m_panel = std::make_unique<ShelfPanel>(composited);
    m_shelf = new ShelfView;
    m_shelf->setComposited(composited);
    m_panel->setCard(m_shelf);
    m_shelfPort = std::make_unique<ShelfViewPort>(*m_shelf);
    m_gridPort = std::make_unique<GridViewPort>(*m_shelf->grid());
    m_tab = std::make_unique<EdgeTab>(composited);

    m_ctl = std::make_unique<PanelController>(
        lib, PanelParts{m_panel.get(), m_tab.get(), m_shelfPort.get(), m_gridPort.get()});
    connectCard(*m_shelf, *m_ctl);
    m_panel->setController(m_ctl.get());
    m_tab->setController(m_ctl.get());

    connect(m_panel.get(), &ShelfPanel::resignedKey, m_ctl.get(), &PanelController::resignedKey);
    connect(&Thumbs::shared(), &Thumbs::aspectChanged, m_ctl.get(),
            &PanelController::aspectChanged);
    connect(m_compositor.get(), &CompositorWatch::compositedChanged, this, [this](bool on) {
        m_panel->setComposited(on);
        m_shelf->setComposited(on);
        m_tab->setComposited(on);
    });

    for (QScreen* screen : QGuiApplication::screens())
        watchScreen(screen);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watchScreen(screen);
        m_ctl->screensChanged();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, m_ctl.get(),
            &PanelController::screensChanged);
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, m_ctl.get(),
            &PanelController::screensChanged);
}

DockedPanel::~DockedPanel() {
    // The card outlives the controller by a moment: it must not call it then.
    disconnectCard(*m_shelf);
}

ShelfPort& DockedPanel::shelfPort() {
    return *m_shelfPort;
}

GridPort& DockedPanel::gridPort() {
    return *m_gridPort;
}

void DockedPanel::setTabMenu(std::function<QMenu*()> menu) {
    m_tab->setMenu(std::move(menu));
}

void DockedPanel::setShowSettings(std::function<void()> show) {
    m_ctl->setShowSettings(std::move(show));
}

void DockedPanel::watchScreen(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, m_ctl.get(), &PanelController::screensChanged);
    connect(screen, &QScreen::availableGeometryChanged, m_ctl.get(),
            &PanelController::screensChanged);
}
