#include "shelf/SearchBox.h"

#include "shelf/IconButton.h"
#include "shelf/ReadingNote.h"
#include "shelf/ShelfLayout.h"
#include "shelf/Theme.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

SearchBox::SearchBox(QWidget* parent, motion::Animator* animator)
    : QWidget(parent)
    , m_field(new QLineEdit(this)) {
    m_field->setFrame(false);
    m_field->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_field->setFont(Theme::font(12.5));
    m_field->setPlaceholderText(QStringLiteral("Search text inside frames"));
    // The placeholder changes while frames wait for text; the field's name does not.
    m_field->setAccessibleName(QStringLiteral("Search frames"));
    m_field->setTextMargins(0, 0, 0, 0);
    m_field->setContentsMargins(0, 0, 0, 0);
    QPalette palette = m_field->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Window, Qt::transparent);
    palette.setColor(QPalette::Text, Theme::ink());
    palette.setColor(QPalette::PlaceholderText, Theme::ink3());
    palette.setColor(QPalette::Highlight, Theme::accentCG(0.5));
    palette.setColor(QPalette::HighlightedText, Theme::ink());
    m_field->setPalette(palette);
    m_field->setAutoFillBackground(false);
    m_field->installEventFilter(this);

    m_clear = new IconButton(QStringLiteral("xmark.circle.fill"), 20, 11, QFont::Normal,
                             Theme::ink3(), Theme::ink(), std::nullopt, Qt::transparent, 6,
                             QStringLiteral("Clear"), this, animator);
    m_clear->onClick = [this] {
        if (onClear)
            onClear();
    };
    m_clear->hide();
    connect(m_field, &QLineEdit::textChanged, this, &SearchBox::syncClear);
}

void SearchBox::syncClear() {
    m_clear->setVisible(!m_field->text().isEmpty());
    place();
}

void SearchBox::setReading(qint64 pending) {
    if (pending == m_reading)
        return;
    m_reading = pending;
    m_field->setPlaceholderText(pending > 0 ? ReadingNote::text(pending, false)
                                            : QStringLiteral("Search text inside frames"));
    place();
}

namespace {
QFont noteFont() {
    return Theme::font(10.5);
}
} // namespace

void SearchBox::place() {
    const ShelfLayout::SearchBox box = ShelfLayout::searchBox(size());
    QRectF field = box.field;
    m_noteRect = {};
    m_note.clear();
    if (m_reading > 0 && !m_field->text().isEmpty()) {
        // The note ends where the clear button begins, and gives way to the
        // field on a narrow card: the typed query matters more.
        const double right = box.clear.left() - 4;
        for (const QString& note :
             {ReadingNote::text(m_reading, true), ReadingNote::brief(m_reading)}) {
            const double width = QFontMetricsF(noteFont()).horizontalAdvance(note) + 2;
            if (width <= (right - field.left()) * 0.6) {
                m_note = note;
                m_noteRect = QRectF(right - width, box.field.top(), width, box.field.height());
                field.setRight(m_noteRect.left() - 6);
                break;
            }
        }
    }
    m_field->setGeometry(field.toAlignedRect());
    m_clear->setGeometry(box.clear.toAlignedRect());
    update();
}

void SearchBox::resizeEvent(QResizeEvent*) {
    place();
}

void SearchBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Theme::hair(), 0.5));
    p.setBrush(Theme::fill());
    p.drawRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 8, 8);
    Theme::paintSymbol(p, ShelfLayout::searchBox(size()).icon, u"text.magnifyingglass", 11.5,
                       Theme::ink3(), QFont::Medium);
    if (!m_noteRect.isEmpty()) {
        p.setFont(noteFont());
        p.setPen(Theme::ink3());
        p.drawText(m_noteRect, Qt::AlignRight | Qt::AlignVCenter, m_note);
    }
}

bool SearchBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_field)
        return false;
    const bool override = event->type() == QEvent::ShortcutOverride;
    if (!override && event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier))
        return false;
    switch (key->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Down:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        break;
    default:
        return false;
    }
    // Claim the key before any window shortcut sees it, then act on the press.
    if (override) {
        event->accept();
        return true;
    }
    if (key->key() == Qt::Key_Escape) {
        if (onEscape)
            onEscape();
    } else if (onLeave) {
        onLeave();
    }
    return true;
}
