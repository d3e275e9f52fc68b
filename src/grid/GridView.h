#pragma once

#include "grid/GridLayout.h"
#include "grid/ThumbView.h"
#include "library/Shot.h"

#include <QHash>
#include <QPointF>
#include <QSet>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

class GridHost;
class GridInteraction;
class QKeyEvent;
class QContextMenuEvent;
class QAbstractScrollArea;
class QMouseEvent;
class Thumbs;
namespace motion {
class Animator;
}

/// The film roll: the scrolled document inside the shelf's scroll area, one cell
/// per shot of the listing in balanced columns. It keeps one cell per shot for as
/// long as the shot is listed, loads images only near the viewport, moves cells
/// with springs when the layout changes (keeping the reader's place), and paints
/// only the cells that touch the exposed area.
class GridView : public QWidget {
    Q_OBJECT
public:
    static constexpr double gap = GridLayout::gap;
    static constexpr double inset = GridLayout::inset;
    static constexpr double topInset = GridLayout::topInset;

    /// `animator` and `thumbs` default to the process-wide ones; tests pass their own.
    explicit GridView(QWidget* parent = nullptr, motion::Animator* animator = nullptr,
                      Thumbs* thumbs = nullptr);
    ~GridView() override;

    /// The columns a panel width gives at a thumbnail size, without hysteresis.
    static int columns(double width, double target) { return GridLayout::columns(width, target); }

    void setHost(GridHost* host) { m_host = host; }
    GridHost* host() const { return m_host; }
    motion::Animator& animator() const { return *m_animator; }
    Thumbs& thumbs() const { return *m_thumbs; }

    /// Replaces the listing: keeps the cells of shots still listed, vanishes the
    /// others, creates cells for new shots, and plays the develop effect on new
    /// cells whose paths are in `fresh`.
    void setShots(const ShotList& shots, bool animated, const QSet<QString>& fresh = {});
    /// Lays the cells out again after a width, size or captions change, keeping the
    /// cell at the top edge in place.
    void relayout(bool animated);
    /// Applies frames left stale by an animated layout and loads images near the viewport.
    void updateVisible();
    /// Entrance of the visible cells when the shelf slides out.
    void cascadeIn(bool fromRight);
    /// Plays the develop effect on the cells of these paths.
    void develop(const QSet<QString>& paths);

    /// Wanted cell width (the thumbnail size setting).
    double target() const { return m_target; }
    void setTarget(double target) { m_target = target; }
    bool captions() const { return m_captions; }
    void setCaptions(bool captions) { m_captions = captions; }
    /// Height of the scroll area's visible part; the grid is never shorter.
    double viewportHeight() const { return m_viewportHeight; }
    void setViewportHeight(double height) { m_viewportHeight = height; }

    const ShotList& shots() const { return m_shots; }
    int columns() const { return m_columns; }
    double cellWidth() const { return m_layout.cellWidth; }
    /// The layout frame of a shot's cell.
    std::optional<QRectF> frameOf(const QString& path) const;
    ThumbView* cell(const QString& path) const;
    /// The cell whose layout frame contains `point`, if any.
    ThumbView* cellAt(QPointF point) const;
    /// Position in the listing, or -1.
    int indexOf(const QString& path) const { return m_index.value(path, -1); }

    const QSet<QString>& selection() const { return m_selection; }
    /// Replaces the selection; a different set updates the cells' marks and tells the host.
    void setSelection(const QSet<QString>& selection);
    /// The selected shots in listing order.
    ShotList selectedShots() const;

    /// The cell under the pointer (kept by the cells).
    std::optional<QString> hovered;
    /// Finds the cell under a pointer that has not moved, after something that
    /// was above the grid (the preview) went away.
    void followPointer();
    /// Pointer, keyboard, drag-out and preview handling of the roll.
    GridInteraction& interaction() const { return *m_interaction; }
    /// A Ctrl combination the panel did not handle itself; true when the grid did.
    bool command(QKeyEvent* event);

    bool endLabelVisible() const { return !m_shots.isEmpty(); }
    QRectF endLabelFrame() const { return m_endLabelFrame; }
    /// Cells whose layout frame waits to be applied until they come near the viewport.
    int staleCount() const { return int(m_stale.size()); }
    /// Cells whose frame the last apply set (a measure of layout cost).
    int lastAppliedCount() const { return m_lastApplied; }
    /// Number of cells that exist, vanishing ones included.
    int cellCount() const { return int(m_cells.size() + m_vanishing.size()); }

    /// The scroll area this grid is the document of, if any.
    QAbstractScrollArea* scrollArea() const;
    /// The visible part of the grid, in grid coordinates.
    QRectF visibleRect() const;
    /// The visible part widened by margins (and by `extra` downwards) where frames are
    /// applied at once.
    QRectF visibleBand(double extra) const;

    // For cells.
    void repaintCell(const QRectF& area);
    void trackAnimating(ThumbView* cell);
    void noteBaked(ThumbView* cell);

signals:
    /// The selection set changed (after the cells and the host were told).
    void selectionChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Anchor {
        QString path;
        double fraction = 0;
    };

    void refreshShots(const ShotList& shots, bool live);
    static void updateShot(ThumbView& cell, const ShotPtr& shot);
    void runLayout();
    void apply(bool animated, bool wave, double scrollShift);
    void applyAnimated(ThumbView* cell, const QRectF& target, const QRectF& band, bool wave,
                       double shift);
    std::optional<Anchor> scrollAnchor() const;
    void removeCell(const ThumbPtr& cell, bool live);
    static void stopFlip(ThumbView* cell);
    void forgetRemoved();
    void updateHover(QPointF point);
    void paintEndLabel(QPainter& painter) const;
    double backingScale() const;

    GridHost* m_host = nullptr;
    GridInteraction* m_interaction = nullptr; // a child object
    motion::Animator* m_animator;
    Thumbs* m_thumbs;

    double m_lastColumnChange = 0;
    ShotList m_shots;
    QHash<QString, int> m_index;   // position of each path in the listing
    std::vector<ThumbPtr> m_cells; // the cell of each shot, in listing order
    GridLayout::Result m_layout;   // frames in listing order and the per-column index
    struct LaidOut {
        double width = -1;
        double target = 0;
        bool captions = true;
    } m_laidOut; // what the layout was computed for
    int m_columns = 1;
    double m_target = 224;
    bool m_captions = true;
    double m_viewportHeight = 0;
    QSet<QString> m_selection;
    QRectF m_endLabelFrame;

    // A stale cell keeps its old frame until it comes near the viewport; the
    // entries carry what the checks read, so a scroll scans one compact array.
    struct Stale {
        ThumbView* cell;
        int pos;
        QRectF frame;
    };
    void applyStale(const QRectF& band);
    std::vector<Stale> m_stale;
    QRectF m_staleClear; // no stale cell's frame reaches into this area
    std::vector<ThumbView*> m_animating;
    std::vector<ThumbView*> m_baked;
    std::vector<ThumbView*> m_holding; // cells with an image or a request
    void loadCell(ThumbView* cell, double scale);
    std::vector<ThumbPtr> m_vanishing;
    int m_lastApplied = 0;
    bool m_batch = false; // inside setShots: one repaint at the end instead of one per cell

    // A press on a cell's button fires on release over the same button.
    QString m_pressedCell;
    ThumbView::Button m_pressedButton = ThumbView::Button::None;
};
