#include "shelf/ChipView.h"

#include "library/ShownName.h"

#include "shelf/Announce.h"
#include "shelf/Theme.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <cmath>
#include <memory>

namespace {

QFont titleFont() {
    return Theme::font(11.5, QFont::Medium);
}

QFont countFont() {
    return Theme::monoFont(10, QFont::Medium);
}

QString tildePath(const QString& path) {
    const QString home = QDir::homePath();
    if (path == home)
        return QStringLiteral("~");
    if (path.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}

} // namespace

ChipView::ChipView(const ChipDef& def, QWidget* parent)
    : QWidget(parent)
    , m_def(def) {
    resize(60, 24);
    setFocusPolicy(Qt::TabFocus);
    if (!m_def.path.isEmpty() || m_def.kind == ChipKind::add)
        setToolTip(m_def.kind == ChipKind::add ? QStringLiteral("New folder")
                                               : tildePath(m_def.path));
    // Only folder chips take drops; the add chip's folder is where new folders go.
    setAcceptDrops(m_def.kind != ChipKind::add && !m_def.path.isEmpty());
    refresh();
}

QString ChipView::text() const {
    return m_def.title + QStringLiteral("  ") + QString::number(m_count);
}

void ChipView::setState(qint64 count, bool active) {
    if (count == m_count && active == m_active)
        return;
    const bool activeChanged = active != m_active;
    const bool countChanged = count != m_count;
    m_count = count;
    m_active = active;
    refresh();
    // The count is part of the name a reader gives; the flag is the tab's selection.
    if (countChanged) {
        QAccessibleEvent name(this, QAccessible::NameChanged);
        announce::send(name);
    }
    if (activeChanged) {
        QAccessible::State selected;
        selected.selected = true;
        QAccessibleStateChangeEvent state(this, selected);
        announce::send(state);
    }
}

void ChipView::refresh() {
    if (m_def.kind != ChipKind::add) {
        const double w =
            QFontMetricsF(titleFont()).horizontalAdvance(shownName(m_def.title) + "  ") +
            QFontMetricsF(countFont()).horizontalAdvance(QString::number(m_count));
        m_measured = std::ceil(w + 28 + 11);
    } else {
        m_measured = 24;
    }
    update();
}

void ChipView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect());
    const double radius = r.height() / 2;
    QColor background = Theme::fill();
    if (m_dropHover)
        background = Theme::accentCG(0.38);
    else if (m_active)
        background = QColor::fromRgbF(1, 1, 1, 0.92);
    else if (m_hovering)
        background = Theme::fill2();
    p.setPen(m_dropHover ? QPen(Theme::accentCG(1.0), 1) : Qt::NoPen);
    p.setBrush(background);
    p.drawRoundedRect(m_dropHover ? r.adjusted(0.5, 0.5, -0.5, -0.5) : r, radius, radius);
    if (hasFocus())
        Theme::paintFocusRing(p, r, radius);

    const QColor dark = QColor::fromRgbF(0.04, 0.04, 0.04, 1);
    const QColor tint = m_active ? dark : (m_hovering ? Theme::ink() : Theme::ink2());
    if (m_def.kind == ChipKind::add) {
        Theme::paintSymbol(p, r, m_def.symbol, 10.5, tint, QFont::Medium);
        return;
    }
    Theme::paintSymbol(p, QRectF(9, (r.height() - 14) / 2, 14, 14), m_def.symbol, 10.5, tint,
                       QFont::Medium);
    // Title and count share one line; the count is quieter.
    const QRectF label(27, 0, std::max(0.0, r.width() - 27 - 9), r.height());
    const QFont tf = titleFont();
    const QFont cf = countFont();
    const QFontMetricsF tm(tf);
    const QString title = shownName(m_def.title) + QStringLiteral("  ");
    const double titleW = tm.horizontalAdvance(title);
    const QString count = QString::number(m_count);
    const double countW = QFontMetricsF(cf).horizontalAdvance(count);
    p.save();
    p.setClipRect(label);
    p.setFont(tf);
    p.setPen(tint);
    if (titleW + countW <= label.width() + 0.5) {
        p.drawText(label, Qt::AlignLeft | Qt::AlignVCenter, title);
        p.setFont(cf);
        p.setPen(m_active ? QColor::fromRgbF(0, 0, 0, 0.45) : Theme::ink3());
        p.drawText(label.adjusted(titleW, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, count);
    } else {
        p.drawText(label, Qt::AlignLeft | Qt::AlignVCenter,
                   tm.elidedText(text(), Qt::ElideRight, label.width()));
    }
    p.restore();
}

void ChipView::enterEvent(QEnterEvent*) {
    m_hovering = true;
    refresh();
}

void ChipView::leaveEvent(QEvent*) {
    m_hovering = false;
    refresh();
}

void ChipView::mousePressEvent(QMouseEvent* event) {
    // Taken, so the shelf behind does not move the focus to the grid.
    event->accept();
}

void ChipView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        onClick)
        onClick();
}

void ChipView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (!onMenu)
        return;
    std::unique_ptr<QMenu> menu(onMenu());
    if (menu)
        menu->exec(event->reason() == QContextMenuEvent::Keyboard ? mapToGlobal(QPoint(0, height()))
                                                                  : event->globalPos());
}

void ChipView::focusInEvent(QFocusEvent* event) {
    // A chip cut off at the row's end scrolls into view when Tab reaches it.
    for (QWidget* up = parentWidget(); up; up = up->parentWidget())
        if (auto* row = qobject_cast<QScrollArea*>(up)) {
            row->ensureWidgetVisible(this, 12, 0);
            break;
        }
    QWidget::focusInEvent(event);
}

void ChipView::keyPressEvent(QKeyEvent* event) {
    // Tab reaches the chips; these keys do what a click does. The Menu key
    // opens the folder's menu through the context menu event.
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
        event->modifiers() == Qt::NoModifier) {
        if (auto run = onClick)
            run();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool ChipView::comesFrom(const QObject* dragSource, const QObject* widget) {
    if (!widget)
        return false;
    for (const QObject* o = dragSource; o; o = o->parent())
        if (o == widget)
            return true;
    return false;
}

const QObject* ChipView::dragSource(const QDropEvent* event) const {
    return event->source();
}

namespace {

// Filing frames moves them; a drag that offers no move still files them.
void acceptAsMove(QDropEvent* event) {
    if (event->possibleActions() & Qt::MoveAction) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->acceptProposedAction();
    }
}

} // namespace

bool ChipView::acceptsDrop(const QDropEvent* event) const {
    return onDrop && comesFrom(dragSource(event), m_dropSource.data());
}

void ChipView::setDropHover(bool hover) {
    if (hover == m_dropHover)
        return;
    m_dropHover = hover;
    refresh();
}

void ChipView::dragEnterEvent(QDragEnterEvent* event) {
    if (!acceptsDrop(event)) {
        event->ignore();
        return;
    }
    acceptAsMove(event);
    setDropHover(true);
}

void ChipView::dragMoveEvent(QDragMoveEvent* event) {
    if (!acceptsDrop(event)) {
        event->ignore();
        return;
    }
    acceptAsMove(event);
}

void ChipView::dragLeaveEvent(QDragLeaveEvent*) {
    setDropHover(false);
}

void ChipView::dropEvent(QDropEvent* event) {
    setDropHover(false);
    if (!acceptsDrop(event)) {
        event->ignore();
        return;
    }
    acceptAsMove(event);
    onDrop();
}
