#include "grid/GridAccess.h"

#include "grid/GridHost.h"
#include "grid/GridInteraction.h"
#include "grid/GridView.h"
#include "grid/ThumbView.h"
#include "shelf/Announce.h"

#include <QAccessibleWidget>
#include <QDateTime>
#include <QEvent>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QWindow>
#include <cmath>

namespace {

/// A frame (the list item) or one of the buttons painted on it.
enum class Part : quint8 { frame, copy, trash };

/// Past this many frames changing at once (Ctrl+A, a rubber band), one event
/// says that the selection changed instead of one per frame.
constexpr int kEachChangeLimit = 16;

/// The frame the keyboard is on, if any.
std::optional<QString> focusedPath(const GridView& grid) {
    if (!grid.hasFocus())
        return std::nullopt;
    const std::optional<QString> path = grid.interaction().rules().cursor();
    return path && grid.indexOf(*path) >= 0 ? path : std::nullopt;
}

class GridAccessible;
GridAccessible* gridInterface(GridView* grid);

/// A frame of the roll or one of its two buttons. It names its frame by path,
/// so it stays right while frames come and go around it, and turns invalid
/// once its frame has left the listing.
class FrameAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    FrameAccessible(GridView* grid, QString path, Part part)
        : m_grid(grid)
        , m_path(std::move(path))
        , m_part(part) {}

    const QString& path() const { return m_path; }
    Part part() const { return m_part; }
    GridView* grid() const { return m_grid; }

    bool isValid() const override { return m_grid && m_grid->indexOf(m_path) >= 0; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_grid ? m_grid->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override { return m_part == Part::frame ? 2 : 0; }
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

    QString text(QAccessible::Text type) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override {
        return m_part == Part::frame ? QAccessible::ListItem : QAccessible::Button;
    }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override;
    void doAction(const QString& name) override;
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    ShotPtr shot() const {
        const int index = m_grid ? m_grid->indexOf(m_path) : -1;
        return index >= 0 ? m_grid->shots().at(index) : nullptr;
    }

    QPointer<GridView> m_grid;
    QString m_path;
    Part m_part;
};

/// The roll as a list of its frames. Items are made when first asked for and
/// kept (by the accessibility cache) while their frame is listed.
class GridAccessible final : public QAccessibleWidget {
public:
    explicit GridAccessible(GridView* grid)
        : QAccessibleWidget(grid, QAccessible::List) {}

    ~GridAccessible() override {
        for (const QAccessible::Id id : std::as_const(m_ids))
            QAccessible::deleteAccessibleInterface(id);
    }

    GridView* grid() const { return static_cast<GridView*>(widget()); }

    /// The interface of a frame or of one of its buttons.
    QAccessibleInterface* item(const QString& path, Part part) const {
        const Key key{path, part};
        if (const auto found = m_ids.constFind(key); found != m_ids.cend())
            return QAccessible::accessibleInterface(*found);
        prune();
        auto* made = new FrameAccessible(grid(), path, part);
        m_ids.insert(key, QAccessible::registerAccessibleInterface(made));
        return made;
    }

    int childCount() const override { return int(grid()->shots().size()); }
    QAccessibleInterface* child(int index) const override {
        const ShotList& shots = grid()->shots();
        if (index < 0 || index >= shots.size())
            return nullptr;
        return item(shots.at(index)->path, Part::frame);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* frame = dynamic_cast<const FrameAccessible*>(child);
        if (!frame || frame->grid() != grid() || frame->part() != Part::frame)
            return -1;
        return grid()->indexOf(frame->path());
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const ThumbView* cell = grid()->cellAt(grid()->mapFromGlobal(QPoint(x, y)));
        return cell && cell->listed ? item(cell->shot->path, Part::frame) : nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        const std::optional<QString> path = focusedPath(*grid());
        return path ? item(*path, Part::frame) : nullptr;
    }
    QString text(QAccessible::Text type) const override {
        QString text = QAccessibleWidget::text(type);
        if (type == QAccessible::Name && text.isEmpty())
            text = QStringLiteral("Frames");
        return text;
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.multiSelectable = true;
        state.extSelectable = true;
        return state;
    }

private:
    struct Key {
        QString path;
        Part part;
        bool operator==(const Key& other) const = default;
    };
    friend size_t qHash(const Key& key, size_t seed) {
        return qHashMulti(seed, key.path, quint8(key.part));
    }

    // Interfaces of frames no longer listed go once they outnumber the listing,
    // so a long session of arrivals and deletions does not keep them all.
    void prune() const {
        if (m_ids.size() < 2 * (grid()->shots().size() + 32))
            return;
        for (auto it = m_ids.begin(); it != m_ids.end();) {
            if (grid()->indexOf(it.key().path) >= 0) {
                ++it;
                continue;
            }
            QAccessible::deleteAccessibleInterface(it.value());
            it = m_ids.erase(it);
        }
    }

    mutable QHash<Key, QAccessible::Id> m_ids;
};

GridAccessible* gridInterface(GridView* grid) {
    return grid ? dynamic_cast<GridAccessible*>(QAccessible::queryAccessibleInterface(grid))
                : nullptr;
}

QAccessibleInterface* FrameAccessible::parent() const {
    GridAccessible* list = gridInterface(m_grid);
    if (!list || m_part == Part::frame)
        return list;
    return list->item(m_path, Part::frame);
}

QAccessibleInterface* FrameAccessible::child(int index) const {
    GridAccessible* list = gridInterface(m_grid);
    if (!list || m_part != Part::frame || index < 0 || index > 1)
        return nullptr;
    return list->item(m_path, index == 0 ? Part::copy : Part::trash);
}

int FrameAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const auto* button = dynamic_cast<const FrameAccessible*>(child);
    if (m_part != Part::frame || !button || button->m_grid != m_grid || button->m_path != m_path)
        return -1;
    return button->m_part == Part::copy ? 0 : button->m_part == Part::trash ? 1 : -1;
}

QAccessibleInterface* FrameAccessible::childAt(int x, int y) const {
    for (int i = 0; i < childCount(); ++i) {
        QAccessibleInterface* button = child(i);
        if (button && button->rect().contains(x, y))
            return button;
    }
    return nullptr;
}

QString FrameAccessible::text(QAccessible::Text type) const {
    const ShotPtr shown = shot();
    if (!shown)
        return {};
    switch (m_part) {
    case Part::copy:
        return type == QAccessible::Name ? QStringLiteral("Copy") : QString();
    case Part::trash:
        return type == QAccessible::Name ? QStringLiteral("Delete") : QString();
    case Part::frame:
        break;
    }
    if (type == QAccessible::Name)
        return QFileInfo(shown->path).fileName();
    if (type == QAccessible::Description) {
        GridHost* host = m_grid->host();
        return gridaccess::describe(*shown, host ? host->recognizedText(*shown) : std::nullopt);
    }
    return {};
}

QRect FrameAccessible::rect() const {
    if (!isValid())
        return {};
    QRectF area = *m_grid->frameOf(m_path);
    if (m_part != Part::frame) {
        // The buttons sit where the cell paints them, at the image's top-right.
        ThumbView* cell = m_grid->cell(m_path);
        if (!cell)
            return {};
        const ThumbView::Geometry& g = cell->geometry();
        area = (m_part == Part::copy ? g.copyB : g.trashB).translated(area.topLeft());
    }
    const QRect local = area.toAlignedRect();
    return QRect(m_grid->mapToGlobal(local.topLeft()), local.size());
}

QAccessible::State FrameAccessible::state() const {
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    const QRectF frame = *m_grid->frameOf(m_path);
    state.offscreen = !m_grid->isVisible() || !m_grid->visibleRect().intersects(frame);
    state.invisible = !m_grid->isVisible();
    if (m_part != Part::frame)
        return state;
    state.selectable = true;
    state.focusable = true;
    state.selected = m_grid->selection().contains(m_path);
    state.focused = focusedPath(*m_grid) == m_path;
    return state;
}

QStringList FrameAccessible::actionNames() const {
    if (m_part != Part::frame)
        return {pressAction()};
    return {pressAction(), toggleAction()};
}

void FrameAccessible::doAction(const QString& name) {
    if (!isValid())
        return;
    if (m_part != Part::frame) {
        if (name == pressAction())
            if (ThumbView* cell = m_grid->cell(m_path))
                cell->fire(m_part == Part::copy ? ThumbView::Button::Copy
                                                : ThumbView::Button::Trash);
        return;
    }
    if (name == pressAction()) {
        if (GridHost* host = m_grid->host())
            host->open({shot()});
    } else if (name == toggleAction()) {
        m_grid->interaction().rules().toggle(m_path);
    }
}

/// Tells assistive technologies what the roll's own events do not: which frame
/// has the keyboard and which frames became selected or unselected. It exists
/// once something asked for the roll's interface, as a child of the roll.
class GridAnnouncer final : public QObject {
public:
    explicit GridAnnouncer(GridView* grid)
        : QObject(grid)
        , m_grid(grid)
        , m_selection(grid->selection()) {
        connect(grid, &GridView::selectionChanged, this, &GridAnnouncer::selectionChanged);
        grid->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            // The roll's own focus event follows this one; the frame's comes after it,
            // so the frame ends up with the reader's focus.
            m_focus.reset();
            QMetaObject::invokeMethod(this, &GridAnnouncer::announceFocus, Qt::QueuedConnection);
        } else if (event->type() == QEvent::FocusOut) {
            m_focus.reset();
        }
        return false;
    }

private:
    void selectionChanged() {
        const QSet<QString> now = m_grid->selection();
        QStringList changed;
        for (const QString& path : now)
            if (!m_selection.contains(path))
                changed << path;
        for (const QString& path : std::as_const(m_selection))
            if (!now.contains(path))
                changed << path;
        m_selection = now;
        if (changed.size() > kEachChangeLimit) {
            QAccessibleEvent event(m_grid, QAccessible::SelectionWithin);
            announce::send(event);
        } else {
            QAccessible::State selected;
            selected.selected = true;
            for (const QString& path : std::as_const(changed)) {
                QAccessibleStateChangeEvent event(m_grid, selected);
                event.setChild(m_grid->indexOf(path));
                if (event.child() >= 0)
                    announce::send(event);
            }
        }
        announceFocus();
    }

    void announceFocus() {
        const std::optional<QString> path = focusedPath(*m_grid);
        if (path == m_focus)
            return;
        m_focus = path;
        if (!path)
            return;
        QAccessibleEvent event(m_grid, QAccessible::Focus);
        event.setChild(m_grid->indexOf(*path));
        announce::send(event);
    }

    GridView* m_grid;
    QSet<QString> m_selection;
    std::optional<QString> m_focus;
};

} // namespace

namespace gridaccess {

QAccessibleInterface* create(const QString& className, QObject* object) {
    auto* grid = className == QLatin1String("GridView") ? qobject_cast<GridView*>(object) : nullptr;
    if (!grid)
        return nullptr;
    new GridAnnouncer(grid);
    return new GridAccessible(grid);
}

QString describe(const Shot& shot, const std::optional<QString>& text) {
    QStringList parts;
    if (shot.created > kDistantPast) {
        const QDateTime when =
            QDateTime::fromMSecsSinceEpoch(qint64(std::floor(shot.created * 1000)));
        const QLocale locale;
        parts << locale.toString(when.date(), QLocale::LongFormat) + QStringLiteral(", ") +
                     locale.toString(when.time(), QLocale::ShortFormat);
    }
    if (shot.isVideo) {
        const long seconds = long(shot.duration);
        parts << (seconds > 0
                      ? QString::asprintf("recording, %ld:%02ld", seconds / 60, seconds % 60)
                      : QStringLiteral("recording"));
    }
    if (text) {
        for (const QStringView line : QStringView(*text).split(QLatin1Char('\n'))) {
            const QString trimmed = line.trimmed().toString();
            if (trimmed.isEmpty())
                continue;
            // A reader speaks the line; a paragraph set as one line is cut.
            constexpr int kMost = 120;
            parts << (trimmed.size() > kMost ? trimmed.left(kMost - 1) + QChar(0x2026) : trimmed);
            break;
        }
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace gridaccess
