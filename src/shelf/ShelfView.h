#pragma once

#include "library/Scope.h"
#include "settings/Prefs.h"
#include "shelf/ChipRows.h"
#include "shelf/Fade.h"

#include <QPointer>
#include <QWidget>
#include <optional>
#include <vector>

class ChipView;
class EmptyStateView;
class GridView;
class Thumbs;
class FooterBar;
class HScrollView;
class Library;
class PerfStrip;
class QGraphicsOpacityEffect;
class QScrollArea;
class ResizeGrip;
class ResizeHandle;
class Scheduler;
class SearchBox;
class SelectionBar;
class ShelfHeader;
class ShelfReceiver;
class ToastView;

/// The card of the docked panel: header, chip rows, the optional search band, the
/// roll of frames between two perforation strips, and the footer, with the
/// selection bar, toast, empty state and resize handle over them. It owns no
/// library data: the controller pushes state in and receives the user's gestures
/// through its `ShelfReceiver`.
class ShelfView : public QWidget {
    Q_OBJECT
public:
    /// `animator` and `scheduler` default to the process's own; tests pass manual ones.
    /// `thumbs` feeds the grid's cells (the shared cache by default).
    explicit ShelfView(QWidget* parent = nullptr, motion::Animator* animator = nullptr,
                       Scheduler* scheduler = nullptr, Thumbs* thumbs = nullptr);
    ~ShelfView() override;

    /// The controller. It outlives the shelf, or clears itself with nullptr first.
    void setReceiver(ShelfReceiver* receiver) { m_receiver = receiver; }
    ShelfReceiver* receiver() const { return m_receiver; }

    /// Lays out everything; also runs on every size change.
    void layoutAll();
    /// Fits the grid into the roll and refreshes the footer's column label.
    void layoutGrid(bool animated);

    /// The counter: `n` alone, or `n/total`.
    void setCount(qint64 n, std::optional<qint64> total = std::nullopt);
    QString countText() const;
    void updatePin(bool pinned);
    /// Shows the selection bar for n > 0 selected frames, hides it for 0.
    void updateSelection(int n);
    /// Rebuilds or refreshes the chip rows after a reload.
    void updateChips(const Library& library, const Scope& scope);
    void updateChips(const ChipSource& source, const Scope& scope);

    // The search band.
    void showSearch(bool focus, const std::optional<QString>& seed = std::nullopt);
    void hideSearch();
    void clearSearch();
    void toggleSearch();
    bool isEditingSearch() const;
    bool searchVisible() const { return m_searchVisible; }
    QString searchText() const;
    /// How many screenshots wait for text recognition; shown in the search band.
    void setReading(qint64 pending);

    /// A toast, with an "Undo" action that calls the controller's undo when `undo`.
    void showToast(const QString& text, bool undo);

    DockSide side() const { return m_side; }
    /// Takes effect at the next full layout.
    void setSide(DockSide side) { m_side = side; }
    /// Without a compositor the card is drawn opaque.
    void setComposited(bool composited);
    bool composited() const { return m_composited; }

    /// The card's shadow around `card`, drawn by whatever lies behind the card (the
    /// shadow falls outside it). The margin it needs on every side:
    static constexpr int shadowMargin = 24;
    static void paintShadow(QPainter& painter, const QRectF& card);

    // Sub-views the controller drives directly.
    EmptyStateView* empty() const { return m_empty; }
    ToastView* toast() const { return m_toast; }
    FooterBar* footer() const { return m_footer; }
    ResizeHandle* handle() const { return m_handle; }
    ResizeGrip* grip() const { return m_grip; }
    SelectionBar* selBar() const { return m_selBar; }
    GridView* grid() const { return m_grid; }
    QScrollArea* roll() const { return m_roll; }

    // Parts, for tests and the gallery.
    ShelfHeader* header() const { return m_header; }
    SearchBox* search() const { return m_search; }
    PerfStrip* perfL() const { return m_perfL; }
    PerfStrip* perfR() const { return m_perfR; }
    HScrollView* chipsScroll() const { return m_chipsScroll; }
    HScrollView* subScroll() const { return m_subScroll; }
    const std::vector<ChipView*>& chips() const { return m_chips; }
    const std::vector<ChipView*>& subChips() const { return m_subChips; }
    bool subVisible() const { return m_rows.subVisible(); }
    const ChipRows& chipRows() const { return m_rows; }
    const SelectionFade& selectionFade() const { return m_selection; }
    /// The grid band's top: 78 without the optional bands, 144 with both.
    double gridTop() const { return m_gridTop; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void buildViews(motion::Animator* animator, Scheduler* scheduler, Thumbs* thumbs);
    void wireHeader();
    void wireSearch();
    void scrolled();
    void applySelectionFade();
    void openSearchBand();
    void searchChanged();
    void focusGrid();
    void focusField();
    void layoutChips();
    std::vector<ChipView*> buildRow(const std::vector<ChipRows::Chip>& row, QWidget* doc);
    void wire(ChipView* chip, const QString& root);
    void revealFirstActive();

    ShelfReceiver* m_receiver = nullptr;
    DockSide m_side = DockSide::right;
    bool m_composited = true;
    bool m_searchVisible = false;
    double m_gridTop = 0;

    ShelfHeader* m_header = nullptr;
    HScrollView* m_chipsScroll = nullptr;
    QWidget* m_chipsDoc = nullptr;
    QWidget* m_chipDivider = nullptr;
    HScrollView* m_subScroll = nullptr;
    QWidget* m_subDoc = nullptr;
    std::vector<ChipView*> m_chips;
    std::vector<ChipView*> m_subChips;
    ChipRows m_rows;
    SearchBox* m_search = nullptr;
    QScrollArea* m_roll = nullptr;
    GridView* m_grid = nullptr;
    PerfStrip* m_perfL = nullptr;
    PerfStrip* m_perfR = nullptr;
    FooterBar* m_footer = nullptr;
    SelectionBar* m_selBar = nullptr;
    ToastView* m_toast = nullptr;
    EmptyStateView* m_empty = nullptr;
    ResizeHandle* m_handle = nullptr;
    ResizeGrip* m_grip = nullptr;
    QWidget* m_border = nullptr;
    QGraphicsOpacityEffect* m_headerOpacity = nullptr;
    QGraphicsOpacityEffect* m_barOpacity = nullptr;
    SelectionFade m_selection;
    QRectF m_sepTop, m_sepBottom;
};
