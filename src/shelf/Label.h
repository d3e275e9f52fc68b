#pragma once

#include "shelf/Theme.h"

#include <QWidget>

/// A passive one-line text: never takes clicks or hovers from the views under
/// it, never selectable, no background, truncated at the tail unless told
/// otherwise.
class Label : public QWidget {
public:
    Label(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    /// Shows spaced capitals: their text, font (with its letter spacing) and colour.
    void setCaps(const Theme::Caps& caps);
    QColor color() const { return m_color; }
    void setColor(const QColor& color);
    /// Qt::ElideNone clips at the label's edge.
    Qt::TextElideMode elideMode() const { return m_elide; }
    void setElideMode(Qt::TextElideMode mode);
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

    /// The size the whole text needs, in fractional pixels.
    QSizeF intrinsicSize() const;
    /// The text as painted at the current width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString m_text;
    QColor m_color;
    Qt::TextElideMode m_elide = Qt::ElideRight;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
};
