// What the panel does for its grid and card: the commands, the shortcuts, the
// menus and the prompts behind them.
#include "library/Library.h"
#include "panel/PanelController.h"
#include "panel/ShareMenu.h"
#include "platform/Log.h"

#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QTimer>

namespace {

QStringList pathsOf(const ShotList& shots) {
    QStringList paths;
    for (const ShotPtr& shot : shots)
        paths << shot->path;
    return paths;
}

// A menu the panel pops itself is gone once it closed. Its items run their
// commands on a later turn (BlockItem), so no command is on the stack of a
// menu that is being deleted.
QMenu* deletedOnClose(QMenu* menu) {
    QObject::connect(menu, &QMenu::aboutToHide, menu, [menu] { menu->deleteLater(); });
    return menu;
}

} // namespace

void PanelController::open(const ShotList& shots) {
    m_commands->open(shots);
}

void PanelController::copy(const ShotList& shots) {
    m_commands->copy(shots);
}

void PanelController::trash(const ShotList& shots) {
    m_commands->trash(shots);
}

void PanelController::undo() {
    m_commands->undo();
}

void PanelController::toast(const QString& text, const QString& action, std::function<void()> run) {
    m_parts.shelf->showToast(text, action, std::move(run));
}

QMenu* PanelController::menuFor(GridView*, const ShotList& shots) {
    return deletedOnClose(m_menus.gridMenu(shots));
}

QMenu* PanelController::folderMenu(const QString& folder) {
    return m_menus.folderMenu(folder);
}

void PanelController::newFolderPrompt(const ShotList& moving, const QString& parent) {
    m_menus.newFolderPrompt(moving, parent);
}

void PanelController::dropSelection(const QString& folder) {
    m_menus.dropSelection(folder);
}

ShotList PanelController::draggedOrSelected() {
    const ShotList dragged = m_parts.grid->draggedShots();
    return dragged.isEmpty() ? m_parts.grid->selectedShots() : dragged;
}

void PanelController::gridSelectionChanged(int count) {
    m_parts.shelf->updateSelection(count);
}

void PanelController::gridSearch(const QString& seed) {
    m_parts.shelf->showSearch(true, seed);
}

void PanelController::showSettings() {
    if (m_showSettings)
        m_showSettings();
    else
        qCInfo(lcTamberk) << "no settings window to show";
}

void PanelController::makeKey() {
    // The search band asked for the keyboard: the panel window's own last
    // user event is the action it answers.
    m_parts.panel->makeKey(0);
}

void PanelController::gridWantsKeyboard() {
    if (expanded())
        m_parts.panel->makeKey(0);
}

void PanelController::pop(QMenu* menu, const QPoint& at) {
    m_env.popup(menu, at);
}

void PanelController::share(const QPoint& below) {
    const ShotList shots = m_parts.grid->selectedShots();
    if (shots.isEmpty())
        return;
    QMenu* menu = deletedOnClose(m_menus.held(ShareMenu::create(
        pathsOf(shots), [self = QPointer<PanelController>(this)](const QString& text) {
            if (self)
                self->toast(text);
        })));
    pop(menu, below);
}

void PanelController::popMoveMenu(const QPoint& below) {
    const ShotList shots = m_parts.grid->selectedShots();
    if (shots.isEmpty())
        return;
    pop(deletedOnClose(m_menus.moveMenu(shots)), below);
}

bool PanelController::handleKeyEquivalent(QKeyEvent* event) {
    if (event->type() != QEvent::KeyPress || !(event->modifiers() & Qt::ControlModifier))
        return false;
    const int key = event->key();
    if (m_parts.shelf->isEditingSearch()) {
        switch (key) {
        case Qt::Key_A:
        case Qt::Key_C:
        case Qt::Key_V:
        case Qt::Key_X:
        case Qt::Key_Z:
            m_parts.shelf->editSearch(key);
            return true;
        default:
            break;
        }
    }
    switch (panelKey(key, event->modifiers(), event->text())) {
    case PanelKey::settings:
        showSettings();
        break;
    case PanelKey::search:
        m_parts.shelf->showSearch(true, std::nullopt);
        break;
    case PanelKey::close:
        collapse(true);
        break;
    case PanelKey::undo:
        undo();
        break;
    case PanelKey::newFolder:
    case PanelKey::moveToNew: {
        // Inside the folder shown, unless that is the screenshot folder itself.
        const QString parent =
            m_scope.kind() == Scope::Kind::folder && m_scope.path() != m_lib.root() ? m_scope.path()
                                                                                    : QString();
        const bool moving = panelKey(key, event->modifiers(), event->text()) == PanelKey::moveToNew;
        newFolderPrompt(moving ? m_parts.grid->selectedShots() : ShotList{}, parent);
        break;
    }
    case PanelKey::larger:
        stepThumb(true);
        break;
    case PanelKey::smaller:
        stepThumb(false);
        break;
    case PanelKey::session:
        select(Scope::session());
        break;
    case PanelKey::all:
        select(Scope::all());
        break;
    case PanelKey::none:
        return m_parts.grid->command(event);
    }
    return true;
}
