#include "panel/CardPorts.h"

#include "grid/GridInteraction.h"
#include "grid/GridView.h"
#include "panel/PanelController.h"
#include "shelf/EmptyStateView.h"
#include "shelf/FineSlider.h"
#include "shelf/FooterBar.h"
#include "shelf/IconButton.h"
#include "shelf/ResizeGrip.h"
#include "shelf/ResizeHandle.h"
#include "shelf/SearchBox.h"
#include "shelf/SelectionBar.h"
#include "shelf/ShelfView.h"
#include "shelf/ToastView.h"

#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QPointer>
#include <QScrollBar>

// The shelf

bool ShelfViewPort::isEditingSearch() const {
    return m_shelf.isEditingSearch();
}

bool ShelfViewPort::searchVisible() const {
    return m_shelf.searchVisible();
}

QString ShelfViewPort::searchText() const {
    return m_shelf.searchText();
}

void ShelfViewPort::clearSearch() {
    m_shelf.clearSearch();
}

void ShelfViewPort::hideSearch() {
    m_shelf.hideSearch();
}

void ShelfViewPort::updatePin(bool pinned) {
    m_shelf.updatePin(pinned);
}

void ShelfViewPort::setSide(DockSide side) {
    m_shelf.setSide(side);
}

void ShelfViewPort::layoutAll() {
    m_shelf.layoutAll();
}

void ShelfViewPort::layoutGrid(bool animated) {
    m_shelf.layoutGrid(animated);
}

void ShelfViewPort::setSliderValue(double thumb) {
    m_shelf.footer()->slider()->setValue(thumb);
}

void ShelfViewPort::updateChips(const Library& lib, const Scope& scope) {
    m_shelf.updateChips(lib, scope);
}

void ShelfViewPort::setCount(qsizetype shown, qsizetype total, bool plain) {
    if (plain)
        m_shelf.setCount(shown);
    else
        m_shelf.setCount(shown, total);
}

void ShelfViewPort::setEmptyState(const EmptyState& state) {
    using Kind = EmptyState::Kind;
    using View = EmptyStateView::State;
    EmptyStateView* view = m_shelf.empty();
    std::optional<View> shown;
    switch (state.kind) {
    case Kind::none:
        break;
    case Kind::loading:
        shown = View::loading();
        break;
    case Kind::unreadable:
        shown = View::unreadable(state.text);
        break;
    case Kind::emptyFolder:
        shown = View::emptyFolder();
        break;
    case Kind::noShots:
        shown = View::noShots();
        break;
    case Kind::noMatches:
        shown = View::noMatches(state.text, state.pending);
        break;
    }
    view->setState(shown);
    view->setVisible(shown.has_value());
}

void ShelfViewPort::setReading(qsizetype pending) {
    m_shelf.setReading(pending);
}

void ShelfViewPort::updateSelection(qsizetype count) {
    m_shelf.updateSelection(int(count));
}

void ShelfViewPort::showSearch(bool focus, const std::optional<QString>& seed) {
    m_shelf.showSearch(focus, seed);
}

void ShelfViewPort::editSearch(int key) {
    QLineEdit* field = m_shelf.search()->field();
    switch (key) {
    case Qt::Key_A:
        field->selectAll();
        break;
    case Qt::Key_C:
        field->copy();
        break;
    case Qt::Key_V:
        field->paste();
        break;
    case Qt::Key_X:
        field->cut();
        break;
    case Qt::Key_Z:
        field->undo();
        break;
    default:
        break;
    }
}

void ShelfViewPort::showToast(const QString& text, const QString& action,
                              std::function<void()> run) {
    if (action.isEmpty())
        m_shelf.toast()->show(text);
    else
        m_shelf.toast()->show(text, action, std::move(run));
}

// The grid

ShotList GridViewPort::shots() const {
    return m_grid.shots();
}

void GridViewPort::setShots(const ShotList& shots, bool animated, const QSet<QString>& fresh) {
    m_grid.setShots(shots, animated, fresh);
}

void GridViewPort::setTarget(double thumb) {
    m_grid.setTarget(thumb);
}

void GridViewPort::setCaptions(bool captions) {
    m_grid.setCaptions(captions);
}

qsizetype GridViewPort::selectionCount() const {
    return m_grid.selection().size();
}

void GridViewPort::clearSelection() {
    m_grid.setSelection({});
}

void GridViewPort::develop(const QSet<QString>& paths) {
    m_grid.develop(paths);
}

void GridViewPort::cascadeIn(bool fromRight) {
    m_grid.cascadeIn(fromRight);
}

void GridViewPort::updateVisible() {
    m_grid.updateVisible();
}

std::optional<QRectF> GridViewPort::frameOf(const QString& path) const {
    return m_grid.frameOf(path);
}

void GridViewPort::scrollToVisible(const QRectF& rect) {
    m_grid.interaction().scrollToVisible(rect);
}

void GridViewPort::scrollToTop() {
    if (QAbstractScrollArea* area = m_grid.scrollArea())
        area->verticalScrollBar()->setValue(0);
}

void GridViewPort::focus() {
    m_grid.setFocus(Qt::OtherFocusReason);
}

void GridViewPort::closePreview() {
    m_grid.interaction().closePreview();
}

void GridViewPort::togglePreview() {
    m_grid.interaction().rules().toggleQuickLook();
}

ShotList GridViewPort::selectedShots() const {
    return m_grid.selectedShots();
}

void GridViewPort::selectAll() {
    QSet<QString> all;
    for (const ShotPtr& shot : m_grid.shots())
        all.insert(shot->path);
    m_grid.setSelection(all);
}

ShotList GridViewPort::draggedShots() const {
    return m_grid.interaction().draggedShots();
}

bool GridViewPort::command(QKeyEvent* event) {
    return m_grid.command(event);
}

// Wiring

void connectCard(ShelfView& shelf, PanelController& ctl) {
    shelf.setReceiver(&ctl);
    shelf.grid()->setHost(&ctl);
    QPointer<PanelController> weak(&ctl);
    auto with = [weak](auto run) {
        return [weak, run](auto... args) {
            if (weak)
                run(*weak, args...);
        };
    };
    shelf.footer()->onChange = with([](PanelController& c, double v) { c.setThumb(v, true); });
    shelf.handle()->onDrag = with([](PanelController& c, double x) { c.handleDragged(x); });
    shelf.handle()->onEnd = with([](PanelController& c) { c.widthDragEnded(); });
    shelf.grip()->onBegin = with([](PanelController& c) { c.gripBegan(); });
    shelf.grip()->onDrag = with([](PanelController& c, double dx) { c.gripDragged(dx); });
    shelf.grip()->onEnd = with([](PanelController& c) { c.widthDragEnded(); });
    shelf.grip()->onDoubleClick = with([](PanelController& c) { c.gripDoubleClicked(); });

    SelectionBar* bar = shelf.selBar();
    GridView* grid = shelf.grid();
    // The menus open under their button, 4 points below its bottom edge.
    auto below = [](const IconButton* button) {
        return button->mapToGlobal(QPoint(0, button->height() + 4));
    };
    IconButton* moveB = bar->moveB;
    bar->moveB->onClick = with([below, moveB](PanelController& c) { c.popMoveMenu(below(moveB)); });
    bar->copyB->onClick = with([grid](PanelController& c) { c.copy(grid->selectedShots()); });
    IconButton* shareB = bar->shareB;
    bar->shareB->onClick = with([shareB](PanelController& c) {
        c.share(shareB->mapToGlobal(QPoint(0, shareB->height())));
    });
    bar->trashB->onClick = with([grid](PanelController& c) { c.trash(grid->selectedShots()); });
    bar->clearB->onClick = [grid] { grid->setSelection({}); };
}

void disconnectCard(ShelfView& shelf) {
    shelf.setReceiver(nullptr);
    shelf.grid()->setHost(nullptr);
    shelf.footer()->onChange = nullptr;
    shelf.handle()->onDrag = nullptr;
    shelf.handle()->onEnd = nullptr;
    shelf.grip()->onBegin = nullptr;
    shelf.grip()->onDrag = nullptr;
    shelf.grip()->onEnd = nullptr;
    shelf.grip()->onDoubleClick = nullptr;
    SelectionBar* bar = shelf.selBar();
    for (IconButton* button : {bar->moveB, bar->copyB, bar->shareB, bar->trashB, bar->clearB})
        button->onClick = nullptr;
}
