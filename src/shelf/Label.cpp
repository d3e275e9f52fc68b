#include "shelf/Label.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

Label::Label(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
    : QWidget(parent)
    , m_text(text)
    , m_color(color) {
    // Labels sit over buttons and cells; the pointer must reach those.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
    setFont(font);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void Label::setText(const QString& text) {
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    update();
}

void Label::setCaps(const Theme::Caps& caps) {
    setFont(caps.font);
    m_color = caps.color;
    m_text.clear(); // setText below always repaints and re-measures
    setText(caps.text);
}

void Label::setColor(const QColor& color) {
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void Label::setElideMode(Qt::TextElideMode mode) {
    m_elide = mode;
    update();
}

void Label::setAlignment(Qt::Alignment alignment) {
    m_alignment = alignment;
    update();
}

QSizeF Label::intrinsicSize() const {
    const QFontMetricsF fm(font());
    return {fm.horizontalAdvance(m_text), fm.height()};
}

QString Label::shownText() const {
    if (m_elide == Qt::ElideNone)
        return m_text;
    return QFontMetricsF(font()).elidedText(m_text, m_elide, width());
}

QSize Label::sizeHint() const {
    const QSizeF s = intrinsicSize();
    return {int(std::ceil(s.width())), int(std::ceil(s.height()))};
}

QSize Label::minimumSizeHint() const {
    return {0, sizeHint().height()};
}

void Label::paintEvent(QPaintEvent*) {
    if (m_text.isEmpty())
        return;
    QPainter p(this);
    p.setFont(font());
    p.setPen(m_color);
    p.setClipRect(rect());
    const QFontMetricsF fm(font());
    const QString shown = shownText();
    const double w = fm.horizontalAdvance(shown);
    double x = 0;
    if (m_alignment & Qt::AlignRight)
        x = width() - w;
    else if (m_alignment & Qt::AlignHCenter)
        x = (width() - w) / 2;
    double y = (height() - fm.height()) / 2;
    if (m_alignment & Qt::AlignTop)
        y = 0;
    else if (m_alignment & Qt::AlignBottom)
        y = height() - fm.height();
    p.drawText(QPointF(x, y + fm.ascent()), shown);
}

void Label::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange)
        updateGeometry();
    QWidget::changeEvent(event);
}
