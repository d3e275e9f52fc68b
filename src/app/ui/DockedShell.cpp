#include "app/ui/DockedShell.h"

#include "library/Library.h"
#include "panel/DockedPanel.h"
#include "panel/EdgeTab.h"
#include "panel/PanelController.h"
#include "panel/PanelGeometry.h"
#include "panel/ShelfPanel.h"
#include "platform/Log.h"

#include <cmath>

namespace {

// The card is the shelf and its grid; the ports are how the controller sees it.
ShelfPort* shelfOf(DockedPanel& docked) {
    return dynamic_cast<ShelfPort*>(docked.panel().card());
}

const GridPort* gridOf(DockedPanel& docked) {
    return dynamic_cast<const GridPort*>(docked.panel().card());
}

} // namespace

DockedShell::DockedShell(DockedPanel& docked, Library& lib)
    : m_docked(&docked)
    , m_lib(lib) {}

bool DockedShell::expanded() const {
    return m_docked->controller().expanded();
}

void DockedShell::expand(bool makeKey, quint32 timestamp) {
    m_docked->controller().expand(makeKey, timestamp);
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
    if (newFolderHook)
        newFolderHook();
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
    if (ShelfPort* shelf = shelfOf(*m_docked))
        shelf->layoutGrid(animated);
}

void DockedShell::updatePin(bool pinned) {
    if (ShelfPort* shelf = shelfOf(*m_docked))
        shelf->updatePin(pinned);
}

void DockedShell::followThumb(double thumb) {
    PanelController& ctl = m_docked->controller();
    if (std::abs(PanelGeometry::clampThumb(thumb) - ctl.thumb()) > 0.5)
        ctl.setThumb(thumb, false);
}

void DockedShell::applyCaptureVisibility() {
    // No Linux desktop lets a window keep out of other programs' captures;
    // the panel is simply unmapped whenever it is closed.
}

void DockedShell::toast(const QString& text) {
    if (toastHook)
        toastHook(text);
    else
        qCInfo(lcTamberk).noquote() << text;
}

QVariantMap DockedShell::state() const {
    const PanelController& ctl = m_docked->controller();
    const GridPort* grid = gridOf(*m_docked);
    const qsizetype shown =
        grid ? grid->shots().size() : m_lib.shots(ctl.scope(), ctl.query()).size();
    return {
        {QStringLiteral("expanded"), ctl.expanded()},
        {QStringLiteral("pinned"), Prefs::shared().boolean(Key::pinned)},
        {QStringLiteral("unseen"), ctl.unseen()},
        {QStringLiteral("scope"), ctl.scope().id()},
        {QStringLiteral("query"), ctl.query()},
        {QStringLiteral("shown"), int(shown)},
        {QStringLiteral("selected"), grid ? int(grid->selectionCount()) : 0},
    };
}
