#include "app/ui/DockedShell.h"

#include "library/Library.h"
#include "panel/DockedPanel.h"
#include "panel/EdgeTab.h"
#include "panel/PanelController.h"
#include "panel/PanelGeometry.h"
#include "panel/PanelPorts.h"

#include <cmath>

DockedShell::DockedShell(DockedPanel& docked, Library& lib)
    : m_docked(&docked)
    , m_lib(lib) {}

bool DockedShell::expanded() const {
    return m_docked->controller().expanded();
}

void DockedShell::expand(bool makeKey, quint32 timestamp) {
    m_docked->controller().expand(
        makeKey, timestamp, makeKey ? PanelController::Where::choice : PanelController::Where::tab);
}

void DockedShell::collapse(bool force) {
    m_docked->controller().collapse(force);
}

void DockedShell::scheduleCollapse(double delay) {
    m_docked->controller().scheduleCollapse(delay, false);
}

bool DockedShell::mouseInside() const {
    return m_docked->controller().mouseInside();
}

void DockedShell::togglePin() {
    m_docked->controller().togglePin();
}

void DockedShell::newFolderPrompt() {
    m_docked->controller().newFolderPrompt({}, {});
}

void DockedShell::selectSession() {
    m_docked->controller().select(Scope::session());
}

void DockedShell::reposition() {
    m_docked->controller().reposition();
}

void DockedShell::setTabShown(bool shown) {
    shown ? m_docked->tab().show() : m_docked->tab().hide();
}

void DockedShell::reloadGrid(bool animated) {
    m_docked->controller().reload(animated, {});
    m_docked->shelfPort().layoutGrid(animated);
}

void DockedShell::updatePin(bool pinned) {
    m_docked->shelfPort().updatePin(pinned);
}

void DockedShell::followThumb(double thumb) {
    m_docked->controller().followStoredThumb(thumb);
}

void DockedShell::applyCaptureVisibility() {
    m_docked->controller().applyCaptureVisibility();
}

void DockedShell::toast(const QString& text) {
    m_docked->controller().toast(text);
}

QVariantMap DockedShell::state() const {
    const PanelController& ctl = m_docked->controller();
    const GridPort& grid = m_docked->gridPort();
    return {
        {QStringLiteral("expanded"), ctl.expanded()},
        {QStringLiteral("pinned"), Prefs::shared().boolean(Key::pinned)},
        {QStringLiteral("unseen"), ctl.unseen()},
        {QStringLiteral("scope"), ctl.scope().id()},
        {QStringLiteral("query"), ctl.query()},
        {QStringLiteral("shown"), int(grid.shots().size())},
        {QStringLiteral("selected"), int(grid.selectionCount())},
    };
}
