// The search band of the shelf: opening, seeding, clearing and closing it, and
// the keys that leave the field.
#include "shelf/IconButton.h"
#include "shelf/SearchBox.h"
#include "shelf/ShelfHeader.h"
#include "shelf/ShelfReceiver.h"
#include "shelf/ShelfView.h"
#include "shelf/Theme.h"

#include <QLineEdit>
#include <QSignalBlocker>

void ShelfView::wireSearch() {
    QLineEdit* field = m_search->field();
    connect(field, &QLineEdit::textChanged, this, [this] { searchChanged(); });
    m_search->onClear = [this] { clearSearch(); };
    m_search->onEscape = [this] {
        if (m_search->field()->text().isEmpty())
            hideSearch();
        else
            clearSearch();
    };
    // Down and Return hand arrows and Return to the frames.
    m_search->onLeave = [this] { focusGrid(); };
}

QString ShelfView::searchText() const {
    return m_search->field()->text();
}

void ShelfView::setReading(qint64 pending) {
    m_search->setReading(pending);
}

void ShelfView::searchChanged() {
    m_search->syncClear();
    if (m_receiver)
        m_receiver->setQuery(m_search->field()->text());
}

void ShelfView::openSearchBand() {
    m_searchVisible = true;
    m_header->searchB->setBaseTint(Theme::ink()); // lit while the band shows
    m_header->searchB->refresh();
    layoutAll();
}

void ShelfView::focusField() {
    if (m_receiver)
        m_receiver->makeKey();
    m_search->field()->setFocus(Qt::OtherFocusReason);
}

void ShelfView::toggleSearch() {
    if (m_searchVisible && m_search->field()->text().isEmpty()) {
        hideSearch();
        return;
    }
    // A band with text stays open and only takes the keyboard.
    if (!m_searchVisible)
        openSearchBand();
    focusField();
}

void ShelfView::showSearch(bool focus, const std::optional<QString>& seed) {
    if (!m_searchVisible)
        openSearchBand();
    if (!focus)
        return; // a seed without focus is ignored
    focusField();
    if (!seed)
        return;
    QLineEdit* field = m_search->field();
    {
        const QSignalBlocker blocker(field);
        field->setText(*seed);
        field->setCursorPosition(int(seed->size())); // UTF-16 units, like QString
    }
    searchChanged();
}

void ShelfView::hideSearch() {
    if (!m_searchVisible)
        return;
    {
        const QSignalBlocker blocker(m_search->field());
        m_search->field()->clear();
    }
    searchChanged();
    m_searchVisible = false;
    m_header->searchB->setBaseTint(Theme::ink2());
    m_header->searchB->refresh();
    focusGrid();
    layoutAll();
}

void ShelfView::clearSearch() {
    {
        const QSignalBlocker blocker(m_search->field());
        m_search->field()->clear();
    }
    searchChanged();
    m_search->field()->setFocus(Qt::OtherFocusReason);
}

bool ShelfView::isEditingSearch() const {
    const QWidget* top = window();
    return m_searchVisible && top && top->isVisible() && top->focusWidget() == m_search->field();
}
