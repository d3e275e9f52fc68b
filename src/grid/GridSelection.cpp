#include "grid/GridSelection.h"

#include <QLineF>
#include <cmath>

QRectF GridSelection::checkFrame(const QRectF& cell) {
    return QRectF(cell.x() + 7, cell.y() + 7, 18, 18);
}

bool GridSelection::listed(const std::optional<QString>& path) const {
    return path && m_client.indexOf(*path) >= 0;
}

std::optional<QString> GridSelection::keyAt(QPointF point) const {
    for (int i = 0, n = m_client.count(); i < n; ++i) {
        const QString path = m_client.pathAt(i);
        const std::optional<QRectF> frame = m_client.frameOf(path);
        if (frame && frame->contains(point))
            return path;
    }
    return std::nullopt;
}

QStringList GridSelection::selectedPaths() const {
    const QSet<QString> selection = m_client.selection();
    QStringList paths;
    if (selection.isEmpty())
        return paths;
    for (int i = 0, n = m_client.count(); i < n; ++i) {
        QString path = m_client.pathAt(i);
        if (selection.contains(path))
            paths << std::move(path);
    }
    return paths;
}

QStringList GridSelection::actionTargets() const {
    if (!m_client.selection().isEmpty())
        return selectedPaths();
    if (const std::optional<QString> hovered = m_client.hovered(); listed(hovered))
        return {*hovered};
    if (listed(m_lastClicked))
        return {*m_lastClicked};
    return {};
}

std::optional<QString> GridSelection::cursor() const {
    if (listed(m_anchor))
        return m_anchor;
    if (listed(m_lastClicked))
        return m_lastClicked;
    return std::nullopt;
}

void GridSelection::toggle(const QString& path) {
    QSet<QString> selection = m_client.selection();
    if (!selection.remove(path))
        selection.insert(path);
    m_anchor = path;
    m_client.setSelection(selection);
}

void GridSelection::openOrPreview(const QStringList& targets) {
    if (targets.isEmpty() || !m_client.hasHost())
        return;
    if (m_client.previewChosen())
        toggleQuickLook();
    else
        m_client.open(targets);
}

void GridSelection::mouseDown(QPointF point, int clickCount, Qt::KeyboardModifiers modifiers) {
    m_downPoint = point;
    m_dragging = false;
    m_pendingToggle.reset();
    m_marqueeStart.reset();
    m_downKey = keyAt(point);
    const QSet<QString> selection = m_client.selection();

    if (!m_downKey) {
        // Empty space starts a rubber band, adding to the selection with a modifier.
        m_marqueeStart = point;
        if (modifiers & (Qt::ShiftModifier | Qt::ControlModifier)) {
            m_marqueeBase = selection;
        } else {
            m_marqueeBase.clear();
            m_client.setSelection({});
        }
        return;
    }

    const QString key = *m_downKey;
    m_lastClicked = key;
    if (clickCount == 2) {
        openOrPreview(selection.contains(key) ? selectedPaths() : QStringList{key});
        m_downKey.reset();
        return;
    }
    const bool checkShown = m_client.hovered() == key || !selection.isEmpty();
    const std::optional<QRectF> frame = m_client.frameOf(key);
    if (checkShown && frame &&
        checkFrame(*frame)
            .adjusted(-checkMargin, -checkMargin, checkMargin, checkMargin)
            .contains(point)) {
        // No drag starts from the check mark.
        toggle(key);
        m_downKey.reset();
        return;
    }
    if (modifiers & Qt::ControlModifier) {
        toggle(key);
        return;
    }
    if (modifiers & Qt::ShiftModifier && listed(m_anchor)) {
        const int from = m_client.indexOf(*m_anchor);
        const int to = m_client.indexOf(key);
        QSet<QString> extended = selection;
        for (int i = std::min(from, to); i <= std::max(from, to); ++i)
            extended.insert(m_client.pathAt(i));
        m_client.setSelection(extended);
        return;
    }
    if (!selection.isEmpty())
        m_pendingToggle = key; // a drag may still take this press instead
}

void GridSelection::mouseDragged(QPointF point) {
    if (m_downKey) {
        if (m_dragging || QLineF(m_downPoint, point).length() <= dragDistance)
            return;
        m_dragging = true;
        m_pendingToggle.reset();
        const QString key = *m_downKey;
        m_client.beginDrag(m_client.selection().contains(key) ? selectedPaths() : QStringList{key});
        return;
    }
    if (!m_marqueeStart)
        return;
    const QRectF rect = QRectF(*m_marqueeStart, point).normalized();
    m_marqueeShown = true;
    m_client.marqueeChanged(rect);
    QSet<QString> selection = m_marqueeBase;
    for (int i = 0, n = m_client.count(); i < n; ++i) {
        const QString path = m_client.pathAt(i);
        const std::optional<QRectF> frame = m_client.frameOf(path);
        if (frame && frame->intersects(rect))
            selection.insert(path);
    }
    m_client.setSelection(selection);
}

void GridSelection::mouseUp() {
    const std::optional<QString> pending = m_pendingToggle;
    m_pendingToggle.reset();
    m_downKey.reset();
    m_marqueeStart.reset();
    if (m_marqueeShown) {
        m_marqueeShown = false;
        m_client.marqueeChanged(std::nullopt);
    }
    if (pending && !m_dragging)
        toggle(*pending);
}

void GridSelection::dragEnded() {
    // The drag swallowed the release, so it ends the press as well.
    m_dragging = false;
    m_downKey.reset();
    m_pendingToggle.reset();
}

void GridSelection::menuRequest(QPointF point) {
    if (!m_client.hasHost())
        return;
    const std::optional<QString> key = keyAt(point);
    if (!key) {
        m_client.menu({});
        return;
    }
    m_lastClicked = key;
    m_client.menu(m_client.selection().contains(*key) ? selectedPaths() : QStringList{*key});
}

void GridSelection::keyboardMenuRequest() {
    if (m_client.hasHost())
        m_client.menu(actionTargets());
}

bool GridSelection::keyDown(int key, Qt::KeyboardModifiers modifiers, const QString& text,
                            bool capsLock) {
    const bool host = m_client.hasHost();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        openOrPreview(actionTargets());
        return true;
    case Qt::Key_Space:
        toggleQuickLook();
        return true;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (const QStringList targets = actionTargets(); host && !targets.isEmpty())
            m_client.trash(targets);
        return true;
    case Qt::Key_Escape:
        if (host)
            m_client.escape();
        return true;
    case Qt::Key_Home:
    case Qt::Key_End:
        // The first or the last frame, as in any list.
        if (const int n = m_client.count(); n > 0) {
            const QString path = m_client.pathAt(key == Qt::Key_Home ? 0 : n - 1);
            m_anchor = path;
            m_client.setSelection({path});
            scrollTo(path);
        }
        return true;
    case Qt::Key_Left:
        moveSelection(Direction::Left, modifiers & Qt::ShiftModifier);
        return true;
    case Qt::Key_Right:
        moveSelection(Direction::Right, modifiers & Qt::ShiftModifier);
        return true;
    case Qt::Key_Up:
        moveSelection(Direction::Up, modifiers & Qt::ShiftModifier);
        return true;
    case Qt::Key_Down:
        moveSelection(Direction::Down, modifiers & Qt::ShiftModifier);
        return true;
    default:
        break;
    }
    // One typed letter or digit opens the search with it; Caps Lock counts as
    // a modifier here, so shouting at the grid does not search.
    const Qt::KeyboardModifiers others = modifiers & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    if (text.size() != 1 || others != Qt::NoModifier || capsLock || !text[0].isLetterOrNumber())
        return false;
    if (host)
        m_client.search(text);
    return true;
}

bool GridSelection::command(int key) {
    const QStringList targets = actionTargets();
    const bool act = !targets.isEmpty() && m_client.hasHost();
    switch (key) {
    case Qt::Key_Backspace:
        if (act)
            m_client.trash(targets);
        return true;
    case Qt::Key_A: {
        QSet<QString> all;
        for (int i = 0, n = m_client.count(); i < n; ++i)
            all.insert(m_client.pathAt(i));
        m_client.setSelection(all);
        return true;
    }
    case Qt::Key_C:
        if (act)
            m_client.copy(targets);
        return true;
    case Qt::Key_O:
        openOrPreview(targets);
        return true;
    case Qt::Key_Y:
        toggleQuickLook();
        return true;
    case Qt::Key_R:
        if (!targets.isEmpty())
            m_client.reveal(targets);
        return true;
    default:
        return false;
    }
}

void GridSelection::scrollTo(const QString& path) {
    if (const std::optional<QRectF> frame = m_client.frameOf(path))
        m_client.scrollToVisible(frame->adjusted(0, -scrollMargin, 0, scrollMargin));
}

void GridSelection::moveSelection(Direction direction, bool extend) {
    if (m_client.count() == 0)
        return;
    std::optional<QString> current;
    if (m_anchor && m_client.frameOf(*m_anchor)) {
        current = m_anchor;
    } else if (const QStringList selected = selectedPaths();
               !selected.isEmpty() && m_client.frameOf(selected.front())) {
        current = selected.front();
    } else if (listed(m_lastClicked) && m_client.frameOf(*m_lastClicked)) {
        // A plain click put the keyboard on a frame: the arrows go on from there.
        current = m_lastClicked;
    }
    if (!current) {
        const QString first = m_client.pathAt(0);
        m_anchor = first;
        m_client.setSelection({first});
        scrollTo(first);
        return;
    }
    const std::optional<QString> next = neighbor(*current, direction);
    if (!next)
        return;
    QSet<QString> selection = extend ? m_client.selection() : QSet<QString>{};
    selection.insert(*next);
    m_anchor = next;
    m_client.setSelection(selection);
    scrollTo(*next);
}

std::optional<QString> GridSelection::neighbor(const QString& path, Direction direction) const {
    const std::optional<QRectF> own = m_client.frameOf(path);
    if (!own)
        return std::nullopt;
    const QRectF r = *own;
    std::optional<QString> best;
    double bestScore = 0;
    for (int i = 0, n = m_client.count(); i < n; ++i) {
        const QString other = m_client.pathAt(i);
        const std::optional<QRectF> frame = other == path ? std::nullopt : m_client.frameOf(other);
        if (!frame)
            continue;
        const QRectF c = *frame;
        const double dx = c.center().x() - r.center().x();
        const double dy = c.center().y() - r.center().y();
        const bool rowOverlap = c.top() < r.bottom() && r.top() < c.bottom();
        const bool columnNear = std::abs(dx) < r.width() / 2;
        std::optional<double> score;
        switch (direction) {
        case Direction::Left:
            if (dx < -1 && rowOverlap)
                score = -dx + 0.5 * std::abs(dy);
            break;
        case Direction::Right:
            if (dx > 1 && rowOverlap)
                score = dx + 0.5 * std::abs(dy);
            break;
        case Direction::Up:
            if (dy < -1 && columnNear)
                score = -dy;
            break;
        case Direction::Down:
            if (dy > 1 && columnNear)
                score = dy;
            break;
        }
        if (score && (!best || *score < bestScore)) {
            best = other;
            bestScore = *score;
        }
    }
    if (best)
        return best;
    // Nothing in that direction: the previous or next shot of the listing.
    const int index = m_client.indexOf(path);
    const bool back = direction == Direction::Left || direction == Direction::Up;
    const int next = back ? index - 1 : index + 1;
    if (index < 0 || next < 0 || next >= m_client.count())
        return std::nullopt;
    return m_client.pathAt(next);
}

void GridSelection::toggleQuickLook() {
    if (m_client.previewVisible()) {
        m_client.closePreview();
        return;
    }
    const QStringList targets = actionTargets();
    if (targets.isEmpty())
        return;
    if (m_client.selection().isEmpty())
        m_qlFocus = targets.front();
    else
        m_qlFocus.reset();
    m_client.showPreview();
}

void GridSelection::previewBegan() {
    if (m_qlActive)
        return;
    m_qlActive = true;
    if (m_client.hasHost())
        m_client.hold(true);
}

void GridSelection::previewEnded() {
    if (!m_qlActive)
        return;
    m_qlActive = false;
    m_qlFocus.reset();
    if (m_client.hasHost())
        m_client.hold(false);
}

QStringList GridSelection::previewItems() const {
    if (listed(m_qlFocus))
        return {*m_qlFocus};
    return selectedPaths();
}

void GridSelection::previewArrow(Direction direction) {
    if (!m_qlFocus) {
        // Previewing the selection: moving it moves the preview.
        moveSelection(direction, false);
        return;
    }
    const std::optional<QString> next = neighbor(*m_qlFocus, direction);
    if (!next)
        return;
    m_qlFocus = next;
    m_lastClicked = next;
    scrollTo(*next);
    m_client.reloadPreview(previewItems());
}

void GridSelection::selectionDidChange() {
    if (!m_qlActive)
        return;
    if (!m_client.selection().isEmpty())
        m_qlFocus.reset();
    m_client.reloadPreview(previewItems());
}
