#include "panel/DockedPanel.h"

#include "content/Thumbs.h"
#include "grid/Clip.h"
#include "panel/EdgeTab.h"
#include "panel/InterimCard.h"
#include "panel/PanelController.h"
#include "panel/ShelfPanel.h"
#include "platform/CompositorWatch.h"
#include "platform/Log.h"

#include <QGuiApplication>
#include <QScreen>

DockedPanel::DockedPanel(Library& lib, QObject* parent)
    : QObject(parent)
    , m_compositor(std::make_unique<CompositorWatch>()) {
    const bool composited = m_compositor->isComposited();
    m_panel = std::make_unique<ShelfPanel>(composited);
    m_card = new InterimCard;
    m_card->setComposited(composited);
    m_panel->setCard(m_card);
    m_tab = std::make_unique<EdgeTab>(composited);

    PanelEnv env;
    env.copyShot = [](const ShotPtr& shot) { Clip::copy({shot}); };
    m_ctl = std::make_unique<PanelController>(
        lib, PanelParts{m_panel.get(), m_tab.get(), m_card, m_card}, env);
    m_panel->setController(m_ctl.get());
    m_tab->setController(m_ctl.get());

    connect(m_panel.get(), &ShelfPanel::resignedKey, m_ctl.get(), &PanelController::resignedKey);
    connect(&Thumbs::shared(), &Thumbs::aspectChanged, m_ctl.get(),
            &PanelController::aspectChanged);
    connect(m_compositor.get(), &CompositorWatch::compositedChanged, this, [this](bool on) {
        m_panel->setComposited(on);
        m_card->setComposited(on);
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

DockedPanel::~DockedPanel() = default;

void DockedPanel::watchScreen(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, m_ctl.get(), &PanelController::screensChanged);
    connect(screen, &QScreen::availableGeometryChanged, m_ctl.get(),
            &PanelController::screensChanged);
}
