#include "grid/GridView.h"

#include "grid/GridInteraction.h"

#include "content/Thumbs.h"
#include "grid/GridHost.h"
#include "shelf/Motion.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCursor>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <QWindow>
#include <algorithm>
#include <cmath>

using motion::Animation;
using motion::Prop;

GridView::GridView(QWidget* parent, motion::Animator* animator, Thumbs* thumbs)
    : QWidget(parent)
    , m_animator(animator ? animator : &motion::Animator::shared())
    , m_thumbs(thumbs ? thumbs : &Thumbs::shared()) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    m_interaction = new GridInteraction(*this);
    // The roll is drawn over the shelf's translucent card. A scroll area turns on
    // its document's background fill, so the background itself is transparent.
    QPalette transparent = palette();
    transparent.setBrush(QPalette::Window, Qt::transparent);
    setPalette(transparent);
    resize(236, 400);
}

GridView::~GridView() {
    // Requests of cells no one will show are withdrawn; completions already
    // queued hold cells weakly.
    for (const ThumbPtr& cell : m_cells) {
        cell->cancelLoad();
        cell->grid = nullptr;
    }
    for (const ThumbPtr& cell : m_vanishing) {
        cell->cancelLoad();
        cell->grid = nullptr;
    }
}

// ---- Listing -------------------------------------------------------------

namespace {

// Whether the listing holds the same paths in the same order.
bool samePaths(const ShotList& a, const ShotList& b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && a[i]->path != b[i]->path)
            return false;
    }
    return true;
}

bool sameCaption(const Shot& a, const Shot& b) {
    return a.created == b.created && a.isVideo == b.isVideo && a.duration == b.duration;
}

} // namespace

void GridView::setShots(const ShotList& shots, bool animated, const QSet<QString>& fresh) {
    const bool live = animated && isVisible();
    if (!m_shots.isEmpty() && samePaths(shots, m_shots)) {
        refreshShots(shots, live);
        return;
    }
    // One hash serves as the new path set and the new index; the old index finds
    // the cells to keep.
    QHash<QString, int> oldIndex = std::move(m_index);
    std::vector<ThumbPtr> oldCells = std::move(m_cells);
    m_index = QHash<QString, int>();
    m_index.reserve(shots.size());
    const int n = int(shots.size());
    for (int i = 0; i < n; ++i)
        m_index.insert(shots[i]->path, i);

    m_batch = true;
    bool removedAny = false;
    for (const ThumbPtr& cell : oldCells) {
        if (!m_index.contains(cell->shot->path)) {
            removeCell(cell, live);
            removedAny = true;
        }
    }
    if (removedAny)
        forgetRemoved();

    m_shots = shots;
    m_cells.resize(size_t(n));
    std::vector<ThumbView*> created;
    for (int i = 0; i < n; ++i) {
        const ShotPtr& shot = shots[i];
        ThumbPtr& slot = m_cells[size_t(i)];
        const int old = oldIndex.isEmpty() ? -1 : oldIndex.value(shot->path, -1);
        if (old >= 0 && oldCells[size_t(old)]) {
            slot = std::move(oldCells[size_t(old)]);
            updateShot(*slot, shot);
        } else {
            slot = std::make_shared<ThumbView>(shot, this, m_animator);
            created.push_back(slot.get());
        }
        slot->position = i;
        // The newest shot carries the highest number.
        if (slot->number != n - i) {
            slot->number = n - i;
            slot->updateCaption();
        }
    }
    for (Stale& s : m_stale)
        s.pos = s.cell->position;

    QSet<QString> kept = m_selection;
    for (auto it = kept.begin(); it != kept.end();)
        it = m_index.contains(*it) ? std::next(it) : kept.erase(it);
    if (kept.size() != m_selection.size())
        setSelection(kept);

    runLayout();
    const bool anySelected = !m_selection.isEmpty();
    for (ThumbView* cell : created) {
        cell->captions = m_captions;
        cell->setFrame(m_layout.frames[size_t(cell->position)]);
        cell->selectMode = anySelected;
        cell->selected = anySelected && m_selection.contains(cell->shot->path);
    }
    m_batch = false;
    apply(live, false, 0);
    for (ThumbView* cell : created) {
        if (!fresh.isEmpty() && fresh.contains(cell->shot->path))
            cell->develop();
    }
    update();
    updateVisible();
}

void GridView::updateShot(ThumbView& cell, const ShotPtr& shot) {
    if (cell.shot == shot)
        return;
    if (cell.shot->modified != shot->modified) {
        // A new version of the file: its image is fetched afresh.
        cell.cancelLoad();
        cell.loaded = 0;
    }
    if (!sameCaption(*cell.shot, *shot))
        cell.updateCaption();
    cell.shot = shot;
}

void GridView::refreshShots(const ShotList& shots, bool live) {
    // The same listing again (a reload after an unrelated change): no cell is made
    // or removed, the numbers and the selection stand, and the layout runs again
    // only if its input changed.
    bool reshaped = m_laidOut.width != width() || m_laidOut.target != m_target ||
                    m_laidOut.captions != m_captions;
    for (qsizetype i = 0; i < shots.size(); ++i) {
        const ShotPtr& shot = shots[i];
        if (m_shots[i] == shot)
            continue;
        reshaped = reshaped || m_shots[i]->pixelSize != shot->pixelSize;
        updateShot(*m_cells[size_t(i)], shot);
    }
    m_shots = shots;
    if (reshaped) {
        runLayout();
        apply(live, false, 0);
        update();
    }
    updateVisible();
}

void GridView::removeCell(const ThumbPtr& cell, bool live) {
    cell->listed = false;
    cell->cancelLoad();
    if (cell->hover)
        hovered.reset();
    if (!live) {
        repaintCell(cell->presentationBounds());
        cell->grid = nullptr;
        return;
    }
    m_vanishing.push_back(cell);
    ThumbView* raw = cell.get();
    cell->vanish([this, raw] {
        auto it = std::find_if(m_vanishing.begin(), m_vanishing.end(),
                               [raw](const ThumbPtr& c) { return c.get() == raw; });
        if (it == m_vanishing.end())
            return;
        repaintCell(raw->presentationBounds());
        raw->grid = nullptr;
        m_vanishing.erase(it);
    });
}

void GridView::stopFlip(ThumbView* cell) {
    if (ThumbView::Parts* parts = cell->partsIfMade()) {
        parts->layer.remove("flip.pos");
        parts->layer.remove("flip.scale");
    }
}

void GridView::forgetRemoved() {
    auto gone = [](ThumbView* cell) { return !cell->listed; };
    std::erase_if(m_stale, [](const Stale& s) { return !s.cell->listed; });
    std::erase_if(m_animating, gone);
    std::erase_if(m_baked, gone);
    std::erase_if(m_holding, gone);
}

// ---- Painting --------------------------------------------------------------

void GridView::paintEvent(QPaintEvent* event) {
    const QRect exposed = event->rect();
    const QRectF area(exposed);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    // Cells at rest sit at their layout frames; the index finds those. Animating
    // cells and cells still waiting for their frame may show elsewhere, so they
    // are checked on their own (there are only as many as the band holds).
    std::erase_if(m_animating, [](ThumbView* cell) {
        if (cell->animating())
            return false;
        cell->trackedAnimating = false;
        return true;
    });
    std::vector<int> positions = m_layout.intersecting(area.adjusted(-8, -8, 8, 8));
    for (const ThumbView* cell : m_animating)
        positions.push_back(cell->position);
    // Stale cells stay away from the area last cleared of them; only a paint
    // reaching past it has to look for them.
    if (!m_stale.empty() && !m_staleClear.contains(area)) {
        for (const Stale& s : m_stale) {
            if (s.frame.adjusted(-4, -4, 4, 4).intersects(area))
                positions.push_back(s.pos);
        }
    }
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());

    for (const ThumbPtr& cell : m_vanishing) {
        if (cell->presentationBounds().intersects(area))
            cell->paint(painter);
    }
    for (const int pos : positions) {
        ThumbView* cell = m_cells[size_t(pos)].get();
        if (cell->presentationBounds().intersects(area))
            cell->paint(painter);
    }
    if (endLabelVisible() && m_endLabelFrame.intersects(area))
        paintEndLabel(painter);
    m_interaction->paint(painter);
}

// ---- Pointer ---------------------------------------------------------------

void GridView::updateHover(QPointF point) {
    ThumbView* now = rect().contains(point.toPoint()) ? cellAt(point) : nullptr;
    ThumbView* before = hovered ? cell(*hovered) : nullptr;
    if (before != now) {
        if (before)
            before->setHover(false);
        if (now)
            now->setHover(true);
    }
    if (now)
        now->setHoveredButton(now->buttonAt(point));
}

void GridView::mouseMoveEvent(QMouseEvent* event) {
    updateHover(event->position());
    if (m_pressedButton == ThumbView::Button::None && m_interaction->mouseMove(event))
        return;
    QWidget::mouseMoveEvent(event);
}

void GridView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        if (ThumbView* c = cellAt(event->position())) {
            const ThumbView::Button button = c->buttonAt(event->position());
            if (button != ThumbView::Button::None) {
                m_pressedCell = c->shot->path;
                m_pressedButton = button;
                event->accept();
                return;
            }
        }
    }
    if (m_interaction->mousePress(event))
        return;
    QWidget::mousePressEvent(event);
}

void GridView::mouseReleaseEvent(QMouseEvent* event) {
    if (m_pressedButton != ThumbView::Button::None) {
        const ThumbView::Button pressed = m_pressedButton;
        m_pressedButton = ThumbView::Button::None;
        ThumbView* c = cell(m_pressedCell);
        m_pressedCell.clear();
        if (c && c->buttonAt(event->position()) == pressed)
            c->fire(pressed);
        event->accept();
        return;
    }
    if (m_interaction->mouseRelease(event))
        return;
    QWidget::mouseReleaseEvent(event);
}

void GridView::mouseDoubleClickEvent(QMouseEvent* event) {
    // A quick second click on a cell's button is one more press of the button.
    if (ThumbView* c = cellAt(event->position());
        c && c->buttonAt(event->position()) != ThumbView::Button::None) {
        mousePressEvent(event);
        return;
    }
    if (!m_interaction->mouseDoubleClick(event))
        QWidget::mouseDoubleClickEvent(event);
}

void GridView::keyPressEvent(QKeyEvent* event) {
    if (!m_interaction->keyPress(event))
        QWidget::keyPressEvent(event);
}

bool GridView::command(QKeyEvent* event) {
    return m_interaction->command(event);
}

void GridView::contextMenuEvent(QContextMenuEvent* event) {
    m_interaction->contextMenu(event);
}

void GridView::enterEvent(QEnterEvent* event) {
    // A pointer can arrive on a cell without moving over the grid first: from
    // outside the panel in one jump, or when a window above the grid goes.
    updateHover(event->position());
    QWidget::enterEvent(event);
}

void GridView::followPointer() {
    const QPoint global = QCursor::pos();
    const QWidget* top = QApplication::widgetAt(global);
    if (isVisible() && (top == this || isAncestorOf(top))) {
        updateHover(mapFromGlobal(global));
    } else if (hovered) {
        if (ThumbView* c = cell(*hovered))
            c->setHover(false);
        hovered.reset();
    }
}

void GridView::leaveEvent(QEvent* event) {
    if (hovered) {
        if (ThumbView* c = cell(*hovered))
            c->setHover(false);
        hovered.reset();
    }
    QWidget::leaveEvent(event);
}

void GridView::moveEvent(QMoveEvent* event) {
    // Scrolling moves the document under a resting pointer: the hovered cell follows.
    if (underMouse())
        updateHover(mapFromGlobal(QCursor::pos()));
    QWidget::moveEvent(event);
}

bool GridView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QPointF p = help->pos();
        if (ThumbView* c = cellAt(p)) {
            const ThumbView::Button button = c->buttonAt(p);
            if (button != ThumbView::Button::None) {
                const QRectF r =
                    (button == ThumbView::Button::Copy ? c->geometry().copyB : c->geometry().trashB)
                        .translated(c->frame().topLeft());
                QToolTip::showText(help->globalPos(),
                                   button == ThumbView::Button::Copy ? tr("Copy") : tr("Delete"),
                                   this, r.toAlignedRect());
                return true;
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}
