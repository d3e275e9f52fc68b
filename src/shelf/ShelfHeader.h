#pragma once

#include <QRectF>
#include <QWidget>

class IconButton;
namespace motion {
class Animator;
}

/// The card's top band: the film glyph, the brand in spaced capitals, the frame
/// counter and the search, pin, settings and close buttons. On a narrow card the
/// counter keeps its room and the brand goes.
class ShelfHeader : public QWidget {
    Q_OBJECT
public:
    explicit ShelfHeader(QWidget* parent = nullptr, motion::Animator* animator = nullptr);

    /// Sets the counter's text; lays the header out again only when it changed.
    /// The counter; the room it takes (and whether the brand yields it) is
    /// measured on `widest`, the longest text the same total can give, so
    /// the header does not jump while a search narrows the count.
    void setCount(const QString& text, const QString& widest = {});
    QString count() const { return m_count; }
    /// Lays the brand, the counter and the buttons out for the current width.
    void place();

    bool brandHidden() const { return m_brandHidden; }
    QRectF countRect() const { return m_countRect; }
    QRectF brandRect() const { return m_brandRect; }

    IconButton* searchB;
    IconButton* pinB;
    IconButton* gearB;
    IconButton* closeB;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString m_count;
    QString m_widest; // what the counter's room is measured on
    bool m_brandHidden = false;
    QRectF m_iconRect, m_brandRect, m_countRect;
};
