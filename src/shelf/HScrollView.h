#pragma once

#include <QScrollArea>

class QGraphicsOpacityEffect;

/// A chip row's scroller: sideways only, without scroll bars, and a turn of a
/// plain mouse wheel scrolls it sideways (there is nothing to scroll vertically).
/// Touchpad swipes with a scroll phase keep their own handling. An end fades
/// out while more of the row lies beyond it, so a cut chip reads as "more".
class HScrollView : public QScrollArea {
    Q_OBJECT
public:
    /// Points scrolled per wheel line.
    static constexpr double pointsPerLine = 10;

    explicit HScrollView(QWidget* parent = nullptr);

    /// The horizontal offset after a vertical wheel `delta` (points when `precise`,
    /// else lines) from `x`, for a document `documentWidth` wide seen through a
    /// clip `clipWidth` wide.
    static int scrolledX(int x, double delta, bool precise, int documentWidth, int clipWidth);

    /// Points over which an end fades.
    static constexpr double fadeWidth = 28;
    /// Whether the start and the end of the row fade now.
    bool fadesStart() const { return m_fadesStart; }
    bool fadesEnd() const { return m_fadesEnd; }

protected:
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateFades();

    QGraphicsOpacityEffect* m_fade = nullptr; // owned by the viewport
    bool m_fadesStart = false;
    bool m_fadesEnd = false;
    double m_fadedWidth = 0;
};
