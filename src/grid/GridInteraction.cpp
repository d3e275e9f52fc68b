#include "grid/GridInteraction.h"

#include "grid/DragPayload.h"
#include "grid/GridHost.h"
#include "grid/GridView.h"
#include "grid/PreviewWindow.h"
#include "settings/Prefs.h"
#include "shelf/Motion.h"
#include "shelf/Theme.h"

#include <QAbstractScrollArea>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDrag>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QUrl>

namespace {

// The X11 lock modifier bit of a key event's native state: Caps Lock.
constexpr quint32 kX11LockMask = 0x2;

// Each frame of a pile is at most this large, and the frames behind the top one
// step this far down and right.
// Small and see-through, so the chip or folder under the pointer shows its
// drop highlight through and beside it.
constexpr int kPileSide = 112;
constexpr int kPileStep = 6;
constexpr int kPileBehind = 3;

Direction directionOf(Qt::Key key) {
    switch (key) {
    case Qt::Key_Left:
        return Direction::Left;
    case Qt::Key_Right:
        return Direction::Right;
    case Qt::Key_Up:
        return Direction::Up;
    default:
        return Direction::Down;
    }
}

} // namespace

GridInteraction::GridInteraction(GridView& grid)
    : QObject(&grid)
    , m_grid(grid)
    , m_rules(*this) {
    connect(&grid, &GridView::selectionChanged, this, [this] {
        m_rules.selectionDidChange();
        updateFocusMark();
    });
    grid.installEventFilter(this);
}

bool GridInteraction::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
        updateFocusMark();
    return false;
}

GridInteraction::~GridInteraction() = default;

// ---- Events ------------------------------------------------------------------

bool GridInteraction::mousePress(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return false;
    m_grid.setFocus(Qt::MouseFocusReason);
    m_rules.mouseDown(event->position(), 1, event->modifiers());
    updateFocusMark(); // a click moves the keys' frame without selecting
    return true;
}

bool GridInteraction::mouseDoubleClick(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return false;
    m_rules.mouseDown(event->position(), 2, event->modifiers());
    return true;
}

bool GridInteraction::mouseMove(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton))
        return false;
    autoscroll(event->position());
    m_rules.mouseDragged(event->position());
    return true;
}

bool GridInteraction::mouseRelease(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return false;
    m_rules.mouseUp();
    return true;
}

bool GridInteraction::contextMenu(QContextMenuEvent* event) {
    if (event->reason() != QContextMenuEvent::Keyboard) {
        m_menuPos = event->globalPos();
        m_rules.menuRequest(event->pos());
        return true;
    }
    keyboardMenu();
    return true;
}

void GridInteraction::keyboardMenu() {
    // The menu of what the keyboard acts on, at that frame rather than at the
    // pointer, which may be anywhere.
    const QStringList targets = m_rules.actionTargets();
    const std::optional<QRectF> frame =
        targets.isEmpty() ? std::nullopt : m_grid.frameOf(targets.first());
    const QRectF visible = m_grid.visibleRect();
    const QPointF at = frame ? frame->center() : visible.topLeft() + QPointF(24, 24);
    m_menuPos = m_grid.mapToGlobal(at.toPoint());
    m_rules.keyboardMenuRequest();
}

bool GridInteraction::keyPress(QKeyEvent* event) {
    if (event->key() == Qt::Key_Menu ||
        (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        keyboardMenu();
        return true;
    }
    if (event->modifiers() & Qt::ControlModifier)
        return command(event);
    // Caps Lock is not among Qt's modifiers; the X11 state has it.
    const bool capsLock = event->nativeModifiers() & kX11LockMask;
    return m_rules.keyDown(event->key(), event->modifiers(), event->text(), capsLock);
}

bool GridInteraction::command(QKeyEvent* event) {
    return m_rules.command(event->key());
}

void GridInteraction::autoscroll(QPointF point) {
    // The rubber band scrolls the roll when the pointer leaves it above or below.
    if (!m_marquee)
        return;
    QAbstractScrollArea* area = m_grid.scrollArea();
    const QRectF visible = m_grid.visibleRect();
    if (!area || visible.isEmpty())
        return;
    double dy = 0;
    if (point.y() < visible.top())
        dy = point.y() - visible.top();
    else if (point.y() > visible.bottom())
        dy = point.y() - visible.bottom();
    if (dy != 0)
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->value() + int(dy));
}

QRectF GridInteraction::focusMark() const {
    if (!m_grid.hasFocus() || m_grid.shots().isEmpty())
        return {};
    const QString path = m_rules.cursor().value_or(m_grid.shots().front()->path);
    const std::optional<QRectF> frame = m_grid.frameOf(path);
    // Outside the selection ring, inside the gap to the next frame.
    return frame ? frame->adjusted(-4, -4, 4, 4) : QRectF();
}

void GridInteraction::updateFocusMark() {
    const QRectF mark = focusMark();
    if (mark == m_markShown)
        return;
    for (const QRectF& area : {m_markShown, mark})
        if (!area.isEmpty())
            m_grid.update(area.adjusted(-2, -2, 2, 2).toAlignedRect());
    m_markShown = mark;
}

void GridInteraction::paint(QPainter& painter) const {
    // The keyboard's place is always visible, selected or not.
    m_markShown = focusMark();
    if (!m_markShown.isEmpty()) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Theme::ink(), 1.5, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(m_markShown.adjusted(0.75, 0.75, -0.75, -0.75), 12, 12);
        painter.restore();
    }
    if (!m_marquee)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(m_marquee->adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    painter.fillPath(path, Theme::accentCG(0.14));
    painter.setPen(QPen(Theme::accentCG(0.8), 1));
    painter.drawPath(path);
    painter.restore();
}

// ---- Listing -----------------------------------------------------------------

int GridInteraction::count() const {
    return int(m_grid.shots().size());
}

QString GridInteraction::pathAt(int index) const {
    return m_grid.shots()[index]->path;
}

int GridInteraction::indexOf(const QString& path) const {
    return m_grid.indexOf(path);
}

std::optional<QRectF> GridInteraction::frameOf(const QString& path) const {
    return m_grid.frameOf(path);
}

std::optional<QString> GridInteraction::hovered() const {
    return m_grid.hovered;
}

QSet<QString> GridInteraction::selection() const {
    return m_grid.selection();
}

void GridInteraction::setSelection(const QSet<QString>& selection) {
    m_grid.setSelection(selection); // a change comes back through selectionChanged
}

ShotList GridInteraction::shotsFor(const QStringList& paths) const {
    ShotList shots;
    for (const QString& path : paths) {
        const int index = m_grid.indexOf(path);
        if (index >= 0)
            shots << m_grid.shots()[index];
    }
    return shots;
}

// ---- Host actions ------------------------------------------------------------

bool GridInteraction::hasHost() const {
    return m_grid.host() != nullptr;
}

bool GridInteraction::previewChosen() const {
    return Prefs::shared().doubleClickQuickLook();
}

void GridInteraction::open(const QStringList& paths) {
    if (GridHost* host = m_grid.host())
        host->open(shotsFor(paths));
}

void GridInteraction::copy(const QStringList& paths) {
    if (GridHost* host = m_grid.host())
        host->copy(shotsFor(paths));
}

void GridInteraction::trash(const QStringList& paths) {
    if (GridHost* host = m_grid.host())
        host->trash(shotsFor(paths));
}

void GridInteraction::reveal(const QStringList& paths) {
    if (GridHost* host = m_grid.host())
        host->reveal(paths);
}

void GridInteraction::escape() {
    if (GridHost* host = m_grid.host())
        host->escape();
}

void GridInteraction::search(const QString& seed) {
    if (GridHost* host = m_grid.host())
        host->gridSearch(seed);
}

void GridInteraction::menu(const QStringList& paths) {
    GridHost* host = m_grid.host();
    if (!host)
        return;
    if (QMenu* menu = host->menuFor(&m_grid, shotsFor(paths)))
        menu->popup(m_menuPos.isNull() ? QCursor::pos() : m_menuPos);
}

void GridInteraction::hold(bool held) {
    if (GridHost* host = m_grid.host())
        host->gridHold(held);
}

void GridInteraction::scrollToVisible(const QRectF& rect) {
    QAbstractScrollArea* area = m_grid.scrollArea();
    const QRectF visible = m_grid.visibleRect();
    if (!area || visible.isEmpty())
        return;
    double dy = 0;
    if (rect.top() < visible.top())
        dy = rect.top() - visible.top();
    else if (rect.bottom() > visible.bottom())
        dy = std::min(rect.bottom() - visible.bottom(), rect.top() - visible.top());
    if (dy != 0)
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->value() +
                                            int(std::lround(dy)));
}

void GridInteraction::marqueeChanged(const std::optional<QRectF>& rect) {
    if (m_marquee)
        m_grid.update(m_marquee->toAlignedRect().adjusted(-1, -1, 1, 1));
    m_marquee = rect;
    if (m_marquee)
        m_grid.update(m_marquee->toAlignedRect().adjusted(-1, -1, 1, 1));
}

// ---- Drag-out ----------------------------------------------------------------

GridInteraction::Pile GridInteraction::pileImage(const QList<QImage>& images, int count,
                                                 qreal devicePixelRatio) {
    const int behind = std::min<int>(kPileBehind, std::max<int>(0, int(images.size()) - 1));
    const QImage front = images.isEmpty() ? QImage() : images.front();
    const QSizeF natural = front.isNull() ? QSizeF(80, 60) : front.deviceIndependentSize();
    const QSize top = natural.toSize()
                          .scaled(QSize(kPileSide, kPileSide), Qt::KeepAspectRatio)
                          .boundedTo(natural.toSize().expandedTo(QSize(1, 1)))
                          .expandedTo(QSize(1, 1));
    const int badge = count > 1 ? 22 : 0;
    const QSize size(top.width() + behind * kPileStep + badge / 2,
                     top.height() + behind * kPileStep + badge / 2);
    Pile pile;
    pile.image =
        QImage((QSizeF(size) * devicePixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    pile.image.setDevicePixelRatio(devicePixelRatio);
    pile.image.fill(Qt::transparent);
    pile.top = QRect(QPoint(0, badge / 2), top);

    QPainter p(&pile.image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int i = behind; i >= 0; --i) {
        const QRect frame = pile.top.translated(i * kPileStep, i * kPileStep);
        QPainterPath path;
        path.addRoundedRect(frame, 6, 6);
        p.setOpacity(i == 0 ? 0.75 : 0.55);
        const QImage image = i < images.size() ? images[i] : QImage();
        if (image.isNull()) {
            p.fillPath(path, QColor(46, 46, 46));
        } else {
            p.save();
            p.setClipPath(path);
            p.drawImage(QRectF(frame), image);
            p.restore();
        }
    }
    p.setOpacity(1);
    if (count > 1) {
        const QRectF circle(top.width() - badge / 2, 0, badge, badge);
        p.setBrush(Theme::accentCG(1));
        p.setPen(Qt::NoPen);
        p.drawEllipse(circle);
        p.setPen(Qt::white);
        p.setFont(Theme::font(11, QFont::DemiBold));
        p.drawText(circle, Qt::AlignCenter, QString::number(count));
    }
    return pile;
}

void GridInteraction::beginDrag(const QStringList& paths) {
    const ShotList shots = shotsFor(paths);
    if (shots.isEmpty())
        return;
    DragPayload::beginSession();
    m_draggedShots = shots;

    // The pressed frame lies on top of the pile, the others behind it in order.
    const std::optional<QString> pressed = m_rules.downKey();
    QList<QImage> images;
    for (const ShotPtr& shot : shots) {
        ThumbView* cell = m_grid.cell(shot->path);
        const QImage image = cell ? cell->dragImage() : QImage();
        if (pressed && shot->path == *pressed)
            images.prepend(image);
        else
            images.append(image);
    }
    const Pile pile = pileImage(images, int(shots.size()), m_grid.devicePixelRatioF());
    QList<QUrl> urls;
    for (const ShotPtr& shot : shots)
        urls << shot->url();

    QPointer<GridView> grid(&m_grid);
    auto* drag = new QDrag(&m_grid);
    drag->setMimeData(DragPayload::mimeData(urls));
    drag->setPixmap(QPixmap::fromImage(pile.image));
    drag->setHotSpot(pileHotSpot);
    GridHost* host = m_grid.host();
    if (host) {
        host->gridHold(true);
        host->gridDrag(&m_grid, true);
    }
    // Widgets get no mouse moves while the drag runs its own loop; the pointer
    // is read on every animation frame instead.
    QPoint last = QCursor::pos();
    const int poll = m_grid.animator().addFrameCallback([grid, last](double) mutable {
        const QPoint now = QCursor::pos();
        if (now == last || !grid)
            return;
        last = now;
        if (GridHost* h = grid->host())
            h->gridDragMoved(grid.data());
    });
    // Copy is the one operation offered: a receiver never moves a user's file
    // away. Inside the app, the folder chips move the dragged shots themselves.
    drag->exec(Qt::CopyAction, Qt::CopyAction);
    if (!grid)
        return;
    m_grid.animator().removeFrameCallback(poll);
    m_draggedShots.clear();
    host = m_grid.host();
    if (host)
        host->gridDrag(&m_grid, false);
    m_rules.dragEnded();
    if (host)
        host->gridHold(false);
}

// ---- Preview -----------------------------------------------------------------

QRect GridInteraction::sourceFrame(const Shot& shot) const {
    const std::optional<QRectF> frame = m_grid.frameOf(shot.path);
    if (!frame || !m_grid.window() || !m_grid.isVisible())
        return {};
    const double cap = m_grid.captions() ? ThumbView::captionH : 0;
    const QRectF image(frame->x(), frame->y(), frame->width(),
                       std::max(1.0, frame->height() - cap));
    const QRect shown = image.intersected(m_grid.visibleRect()).toAlignedRect();
    if (shown.isEmpty())
        return {};
    return QRect(m_grid.mapToGlobal(shown.topLeft()), shown.size());
}

bool GridInteraction::previewVisible() const {
    return m_preview && m_preview->isShowing();
}

void GridInteraction::showPreview() {
    const ShotList items = shotsFor(m_rules.previewItems());
    if (items.isEmpty())
        return;
    if (!m_preview) {
        m_preview = std::make_unique<PreviewWindow>(&m_grid.animator());
        m_preview->sourceFrame = [this](const Shot& shot) { return sourceFrame(shot); };
        m_preview->transitionImage = [this](const Shot& shot) {
            ThumbView* cell = m_grid.cell(shot.path);
            return cell ? cell->dragImage() : QImage();
        };
        m_preview->keepClear = [this] {
            // The roll's visible part stands for the card: the preview opens beside it.
            const QWidget* view = m_grid.scrollArea() ? m_grid.scrollArea()->viewport()
                                                      : static_cast<QWidget*>(&m_grid);
            return QRect(view->mapToGlobal(QPoint(0, 0)), view->size());
        };
        m_preview->onArrow = [this](Qt::Key key, Qt::KeyboardModifiers) {
            m_rules.previewArrow(directionOf(key));
        };
        m_preview->onClosed = [this](bool hadKeyboard) {
            // Asked while the preview still holds the panel open.
            if (GridHost* host = m_grid.host(); host && hadKeyboard) {
                m_grid.setFocus(Qt::OtherFocusReason);
                host->gridWantsKeyboard();
            }
            m_rules.previewEnded();
            // Commands aim at the hovered frame: find it again under the still pointer.
            m_grid.followPointer();
        };
    }
    m_preview->present(items);
    m_rules.previewBegan();
}

void GridInteraction::closePreview() {
    if (m_preview)
        m_preview->dismiss();
}

void GridInteraction::reloadPreview(const QStringList& items) {
    if (m_preview)
        m_preview->setItems(shotsFor(items));
}
