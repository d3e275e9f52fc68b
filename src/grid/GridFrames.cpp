#include "grid/GridView.h"

#include "content/Thumbs.h"
#include "grid/GridHost.h"
#include "shelf/Motion.h"

#include <QAbstractScrollArea>
#include <QScrollBar>
#include <QWindow>
#include <algorithm>
#include <cmath>

// Where cells go and which of them are alive: layout, the scroll anchor,
// animated moves, and the band of cells that hold pictures.

using motion::Animation;
using motion::Prop;

namespace {

constexpr motion::Spring flipSpring{1, 300, 30};
constexpr motion::Spring cascadeSpring{1, 260, 24};
constexpr double liveResizeWindow = 0.42; // a resize that crossed a column keeps animating
constexpr int cascadeCells = 14;
constexpr double cascadeStep = 0.022;
constexpr double cascadeOffset = 36;
constexpr double cascadeFade = 0.22;
constexpr double waveRows = 0.07;    // top-to-bottom stagger of a column change
constexpr double waveColumns = 0.03; // left-to-right stagger
constexpr size_t bakedKept = 160;    // rendering caches kept before far ones are dropped

} // namespace

// ---- Layout --------------------------------------------------------------

void GridView::runLayout() {
    const double w = width();
    m_layout = GridLayout::compute(m_shots, {w, m_target, m_captions, m_columns});
    m_laidOut = {w, m_target, m_captions};
    m_columns = m_layout.columns;
    const double height = std::max(m_layout.contentHeight, m_viewportHeight);
    if (std::abs(height - this->height()) > 0.5)
        resize(width(), int(std::ceil(height)));
    m_endLabelFrame = QRectF(0, m_layout.bottom + 18, w, 14);
}

std::optional<GridView::Anchor> GridView::scrollAnchor() const {
    if (!scrollArea())
        return std::nullopt;
    const double top = visibleRect().top();
    if (top <= 1.0)
        return std::nullopt;
    // One candidate per column: the first cell reaching below the top edge, which
    // is the cell straddling the edge when there is one.
    const QRectF* best = nullptr;
    int bestPos = -1;
    for (const std::vector<int>& column : m_layout.byColumn) {
        auto it = std::partition_point(column.begin(), column.end(), [&](int pos) {
            return m_layout.frames[size_t(pos)].bottom() <= top;
        });
        if (it == column.end())
            continue;
        const QRectF& f = m_layout.frames[size_t(*it)];
        bool better = !best;
        if (best) {
            const bool straddles = f.top() <= top, bestStraddles = best->top() <= top;
            if (straddles != bestStraddles)
                better = straddles;
            else if (std::abs(f.top() - best->top()) > 0.5)
                better = f.top() < best->top();
            else
                better = f.left() < best->left();
        }
        if (better) {
            best = &f;
            bestPos = *it;
        }
    }
    if (!best || best->height() <= 0)
        return std::nullopt;
    return Anchor{m_shots[bestPos]->path, (top - best->top()) / best->height()};
}

void GridView::relayout(bool animated) {
    for (const ThumbPtr& cell : m_cells) {
        if (cell->captions != m_captions) {
            cell->captions = m_captions;
            cell->layoutLayers();
        }
    }
    const std::optional<Anchor> anchor = scrollAnchor();
    const int before = m_columns;
    runLayout();
    const double now = m_animator->now();
    const bool columnsChanged = m_columns != before && !m_shots.isEmpty();
    if (columnsChanged)
        m_lastColumnChange = now;
    const bool hidden = !isVisible();

    double shift = 0;
    QAbstractScrollArea* area = scrollArea();
    if (anchor && area) {
        const int pos = m_index.value(anchor->path, -1);
        if (pos >= 0) {
            const QRectF f = m_layout.frames[size_t(pos)];
            const double maxScroll = std::max(0.0, height() - double(area->viewport()->height()));
            const double wanted =
                std::min(std::max(0.0, f.top() + anchor->fraction * f.height()), maxScroll);
            const int current = area->verticalScrollBar()->value();
            // The scroll area moves in whole points; the shift the cells see is the
            // one it will really make.
            if (std::abs(wanted - current) > 0.5)
                shift = std::round(wanted) - current;
        }
    }

    bool animate = false;
    if (!hidden)
        animate = animated || columnsChanged || now - m_lastColumnChange < liveResizeWindow;
    apply(animate, columnsChanged, shift);
    if (shift != 0 && area) {
        QScrollBar* bar = area->verticalScrollBar();
        if (bar->maximum() < bar->value() + int(shift))
            bar->setMaximum(std::max(0, height() - area->viewport()->height()));
        bar->setValue(bar->value() + int(shift));
    }
    updateVisible();
}

// ---- Applying frames -------------------------------------------------------

void GridView::apply(bool animated, bool wave, double scrollShift) {
    // The cells that matter are those on screen before the scroll shift and those
    // on screen after it. For a small shift the two bands overlap and form one;
    // a long jump (a column change far down a roll) must not sweep in the whole
    // stretch between them, which nobody sees.
    const QRectF before = visibleBand(0);
    const QRectF after = scrollShift != 0 ? before.translated(0, scrollShift) : before;
    const bool joined = before.intersects(after);
    const QRectF band = joined ? (before | after) : after;
    auto near = [&](const QRectF& r) {
        return r.intersects(band) || (!joined && r.intersects(before));
    };
    int applied = 0;
    const size_t n = m_cells.size();
    for (size_t i = 0; i < n; ++i) {
        ThumbView* cell = m_cells[i].get();
        const QRectF& target = m_layout.frames[i];
        if (cell->frame() == target) {
            cell->stale = false; // compacted below
            continue;
        }
        if (!near(target) && !near(cell->frame())) {
            if (!cell->stale) {
                cell->stale = true;
                m_stale.push_back({cell, int(i), cell->frame()});
            }
            continue;
        }
        cell->stale = false;
        ++applied;
        if (!animated) {
            stopFlip(cell);
            cell->setFrame(target);
        } else {
            applyAnimated(cell, target, band, wave, scrollShift);
        }
    }
    std::erase_if(m_stale, [](const Stale& s) { return !s.cell->stale; });
    m_staleClear = joined ? band : QRectF();
    m_lastApplied = applied;
    // New frames may put another cell under a resting pointer.
    if (underMouse())
        updateHover(mapFromGlobal(QCursor::pos()));
}

void GridView::applyAnimated(ThumbView* cell, const QRectF& target, const QRectF& band, bool wave,
                             double shift) {
    // First, last, invert, play: read where the cell shows now, move its model to
    // the new frame, and let springs carry the picture from the old place.
    const QPointF oldCentre = cell->frame().center();
    const motion::Value oldPos = cell->presented(Prop::Position, {oldCentre.x(), oldCentre.y()});
    const motion::Value oldScale = cell->presented(Prop::Scale, {1, 1});
    const QSizeF oldSize = cell->frame().size();
    cell->setFrame(target);

    double delay = 0;
    if (wave && band.height() > 0) {
        const double rel = std::max(0.0, (target.top() - band.top()) / band.height());
        delay = (rel > 1 ? waveRows : rel * waveRows) +
                (target.left() / std::max(1.0, double(width()))) * waveColumns;
    }
    auto withDelay = [delay](Animation a) {
        if (delay > 0)
            a.delayed(delay).fillBackwards();
        return a;
    };

    motion::Layer& layer = cell->parts().layer;
    const QPointF to = target.center();
    const motion::Value from{oldPos[0], oldPos[1] + shift};
    if (std::hypot(from[0] - to.x(), from[1] - to.y()) <= 0.5)
        layer.remove("flip.pos");
    else
        layer.add("flip.pos",
                  withDelay(Animation::spring(Prop::Position, from, {to.x(), to.y()}, flipSpring)));

    const double sx = target.width() > 0 ? oldScale[0] * oldSize.width() / target.width() : 1;
    const double sy = target.height() > 0 ? oldScale[1] * oldSize.height() / target.height() : 1;
    if (std::abs(sx - 1) > 0.003 || std::abs(sy - 1) > 0.003)
        layer.add("flip.scale",
                  withDelay(Animation::spring(Prop::Scale, {sx, sy}, {1, 1}, flipSpring)));
    else
        layer.remove("flip.scale");
    trackAnimating(cell);
}

// ---- Visible cells ---------------------------------------------------------

QAbstractScrollArea* GridView::scrollArea() const {
    QWidget* viewport = parentWidget();
    if (!viewport)
        return nullptr;
    auto* area = qobject_cast<QAbstractScrollArea*>(viewport->parentWidget());
    return area && area->viewport() == viewport ? area : nullptr;
}

QRectF GridView::visibleRect() const {
    QAbstractScrollArea* area = scrollArea();
    if (!area)
        return rect();
    return QRectF(QPointF(-pos()), QSizeF(area->viewport()->size())) & QRectF(rect());
}

QRectF GridView::visibleBand(double extra) const {
    if (!scrollArea())
        return rect();
    QRectF r = visibleRect();
    if (extra != 0)
        r |= r.translated(0, extra);
    const double vertical = std::max(0.35 * r.height(), 200.0);
    return r.adjusted(-60, -vertical, 60, vertical);
}

double GridView::backingScale() const {
    const QWindow* handle = window()->windowHandle();
    return handle ? handle->devicePixelRatio() : 2.0;
}

void GridView::updateVisible() {
    if (!scrollArea())
        return;
    applyStale(visibleBand(0));

    const QRectF visible = visibleRect();
    const double margin = std::max(0.8 * visible.height(), 320.0);
    const QRectF loadBand = visible.adjusted(0, -margin, 0, margin);
    const double scale = backingScale();
    m_thumbs->setLimit(Thumbs::limitFor(visible.size(), scale));
    // The margin first, then the visible cells from the bottom up: the cache
    // decodes the latest request first, so the top of the viewport comes first.
    const std::vector<int> band = m_layout.intersecting(loadBand);
    std::vector<ThumbView*> shown;
    for (const int pos : band) {
        ThumbView* cell = m_cells[size_t(pos)].get();
        if (m_layout.frames[size_t(pos)].intersects(visible))
            shown.push_back(cell);
        else
            loadCell(cell, scale);
    }
    for (auto it = shown.rbegin(); it != shown.rend(); ++it)
        loadCell(*it, scale);

    // Cells a screen beyond the margin give up their requests and images; the
    // cache keeps what its limit allows for scrolling back.
    const QRectF keepBand = loadBand.adjusted(0, -visible.height(), 0, visible.height());
    std::erase_if(m_holding, [&](ThumbView* cell) {
        if (cell->frame().intersects(keepBand))
            return false;
        cell->release();
        cell->trackedHolding = false;
        return true;
    });

    // Rendering caches are only worth keeping near the viewport.
    if (m_baked.size() > bakedKept) {
        std::erase_if(m_baked, [&](ThumbView* cell) {
            if (cell->frame().intersects(loadBand))
                return false;
            cell->dropCache();
            cell->trackedBaked = false;
            return true;
        });
    }
}

void GridView::loadCell(ThumbView* cell, double scale) {
    cell->load(scale);
    if (!cell->trackedHolding && cell->listed && (cell->requested || cell->loaded)) {
        cell->trackedHolding = true;
        m_holding.push_back(cell);
    }
}

void GridView::applyStale(const QRectF& band) {
    if (m_stale.empty()) {
        m_staleClear = QRectF();
        return;
    }
    for (Stale& s : m_stale) {
        const QRectF& target = m_layout.frames[size_t(s.pos)];
        if (target.intersects(band) || s.frame.intersects(band)) {
            stopFlip(s.cell);
            s.cell->setFrame(target);
            s.cell->stale = false;
        }
    }
    std::erase_if(m_stale, [](const Stale& s) { return !s.cell->stale; });
    m_staleClear = band;
}

void GridView::cascadeIn(bool fromRight) {
    if (!scrollArea())
        return;
    const QRectF visible = visibleRect();
    std::vector<int> hits = m_layout.intersecting(visible);
    std::stable_sort(hits.begin(), hits.end(), [&](int a, int b) {
        const QRectF& fa = m_layout.frames[size_t(a)];
        const QRectF& fb = m_layout.frames[size_t(b)];
        if (fa.top() != fb.top())
            return fa.top() < fb.top();
        return fa.left() < fb.left();
    });
    const int count = std::min(int(hits.size()), cascadeCells);
    for (int i = 0; i < count; ++i) {
        ThumbView* cell = m_cells[size_t(hits[size_t(i)])].get();
        motion::Layer& layer = cell->parts().layer;
        const double begin = cascadeStep * i;
        layer.add("cascade",
                  Animation::spring(Prop::TranslationX, fromRight ? cascadeOffset : -cascadeOffset,
                                    0, cascadeSpring)
                      .delayed(begin)
                      .fillBackwards());
        layer.add("cascade.o",
                  Animation::basic(Prop::Opacity, 0, 1, cascadeFade, motion::Timing::easeOut())
                      .delayed(begin)
                      .fillBackwards());
        trackAnimating(cell);
    }
}

void GridView::develop(const QSet<QString>& paths) {
    for (const QString& path : paths) {
        if (ThumbView* c = cell(path))
            c->develop();
    }
}

// ---- Selection -------------------------------------------------------------

void GridView::setSelection(const QSet<QString>& selection) {
    if (selection == m_selection)
        return;
    m_selection = selection;
    const bool mode = !m_selection.isEmpty();
    for (const ThumbPtr& cell : m_cells) {
        const bool selected = m_selection.contains(cell->shot->path);
        if (cell->selectMode == mode && cell->selected == selected)
            continue;
        cell->selectMode = mode;
        cell->selected = selected;
        cell->updateState(true);
    }
    if (m_host)
        m_host->gridSelectionChanged(int(m_selection.size()));
    emit selectionChanged();
}

ShotList GridView::selectedShots() const {
    ShotList out;
    if (m_selection.isEmpty())
        return out;
    for (const ShotPtr& shot : m_shots) {
        if (m_selection.contains(shot->path))
            out.append(shot);
    }
    return out;
}

// ---- Lookup ----------------------------------------------------------------

std::optional<QRectF> GridView::frameOf(const QString& path) const {
    const int pos = m_index.value(path, -1);
    if (pos < 0 || size_t(pos) >= m_layout.frames.size())
        return std::nullopt;
    return m_layout.frames[size_t(pos)];
}

ThumbView* GridView::cell(const QString& path) const {
    const int pos = m_index.value(path, -1);
    return pos < 0 ? nullptr : m_cells[size_t(pos)].get();
}

ThumbView* GridView::cellAt(QPointF point) const {
    for (const int pos : m_layout.intersecting(QRectF(point, QSizeF(0.01, 0.01)))) {
        if (m_layout.frames[size_t(pos)].contains(point))
            return m_cells[size_t(pos)].get();
    }
    return nullptr;
}

// ---- Repaint bookkeeping ---------------------------------------------------

void GridView::repaintCell(const QRectF& area) {
    if (m_batch)
        return;
    update(area.toAlignedRect());
}

void GridView::trackAnimating(ThumbView* cell) {
    if (cell->trackedAnimating || !cell->listed)
        return;
    cell->trackedAnimating = true;
    m_animating.push_back(cell);
}

void GridView::noteBaked(ThumbView* cell) {
    if (cell->trackedBaked || !cell->listed)
        return;
    cell->trackedBaked = true;
    m_baked.push_back(cell);
}
