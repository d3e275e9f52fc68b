#pragma once

#include "panel/PanelPorts.h"

class GridView;
class ShelfView;

/// The controller's view of the real card: the shelf's widgets behind the
/// small interface the controller drives.
class ShelfViewPort : public ShelfPort {
public:
    explicit ShelfViewPort(ShelfView& shelf)
        : m_shelf(shelf) {}

    bool isEditingSearch() const override;
    bool searchVisible() const override;
    QString searchText() const override;
    void clearSearch() override;
    void hideSearch() override;
    void updatePin(bool pinned) override;
    void setSide(DockSide side) override;
    void layoutAll() override;
    void layoutGrid(bool animated) override;
    void setSliderValue(double thumb) override;
    void updateChips(const Library& lib, const Scope& scope) override;
    void setCount(qsizetype shown, qsizetype total, bool plain) override;
    void setEmptyState(const EmptyState& state) override;
    void setReading(qsizetype pending) override;
    void updateSelection(qsizetype count) override;
    void showSearch(bool focus, const std::optional<QString>& seed) override;
    void editSearch(int key) override;
    void showToast(const QString& text, const QString& action, std::function<void()> run) override;

private:
    ShelfView& m_shelf;
};

/// The controller's view of the real roll of frames.
class GridViewPort : public GridPort {
public:
    explicit GridViewPort(GridView& grid)
        : m_grid(grid) {}

    ShotList shots() const override;
    void setShots(const ShotList& shots, bool animated, const QSet<QString>& fresh) override;
    void setTarget(double thumb) override;
    void setCaptions(bool captions) override;
    qsizetype selectionCount() const override;
    void clearSelection() override;
    void develop(const QSet<QString>& paths) override;
    void cascadeIn(bool fromRight) override;
    void updateVisible() override;
    std::optional<QRectF> frameOf(const QString& path) const override;
    void scrollToVisible(const QRectF& gridRect) override;
    void scrollToTop() override;
    void focus() override;
    void closePreview() override;
    void togglePreview() override;
    ShotList selectedShots() const override;
    void selectAll() override;
    ShotList draggedShots() const override;
    bool command(QKeyEvent* event) override;

private:
    GridView& m_grid;
};

class PanelController;

/// Hands the card's gestures to the controller: the shelf's receiver, the
/// grid's host, the footer slider, the resize handle and grip, and the five
/// buttons of the selection bar. Each callback holds the controller weakly.
void connectCard(ShelfView& shelf, PanelController& ctl);
/// Undoes connectCard before the controller goes.
void disconnectCard(ShelfView& shelf);
