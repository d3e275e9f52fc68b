#include "app/ui/DockedShell.h"

#include "library/Library.h"
#include "panel/DialogPrompts.h"
#include "panel/DockedPanel.h"
#include "panel/EdgeTab.h"
#include "panel/PanelController.h"
#include "panel/PanelGeometry.h"
#include "panel/PanelMenus.h"
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

// What the panel menus need when the shell asks them for a folder prompt:
// the library, dialogs that hold the panel open, and the shell's toast. The
// grid-facing calls go to the controller.
class DockedShell::Host final : public MenuHost {
public:
    Host(DockedShell& shell, DockedPanel& docked, Library& lib)
        : m_shell(shell)
        , m_ctl(docked.controller())
        , m_lib(lib)
        , m_prompts([this](bool on) { m_ctl.hold(on); }) {}

    Library& library() override { return m_lib; }
    Prompts& prompts() override { return m_prompts; }
    void toast(const QString& text, const QString&, std::function<void()>) override {
        m_shell.toast(text);
    }
    void hold(bool on) override { m_ctl.hold(on); }
    void open(const ShotList& shots) override { m_ctl.open(shots); }
    void copy(const ShotList& shots) override { m_ctl.copy(shots); }
    void trash(const ShotList& shots) override { m_ctl.trash(shots); }
    void undo() override { m_lib.undo(); }
    void togglePreview() override {}
    void selectAll() override {}
    ShotList draggedOrSelected() override { return {}; }
    Scope scope() const override { return m_ctl.scope(); }
    void replaceScope(const Scope& scope) override { m_ctl.select(scope); }

private:
    DockedShell& m_shell;
    PanelController& m_ctl;
    Library& m_lib;
    DialogPrompts m_prompts;
};

DockedShell::DockedShell(DockedPanel& docked, Library& lib)
    : m_docked(&docked)
    , m_lib(lib)
    , m_host(std::make_unique<Host>(*this, docked, lib))
    , m_menus(std::make_unique<PanelMenus>(*m_host)) {}

DockedShell::~DockedShell() = default;

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
    else
        m_menus->newFolderPrompt({});
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
