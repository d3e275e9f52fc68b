#pragma once

#include "settings/Prefs.h"
#include "shelf/Motion.h"

#include <QRectF>
#include <QWidget>
#include <functional>

class FineSlider;

/// The bottom band of the card: the thumbnail-size slider between a small and a
/// large photo symbol, and a caps label saying whether the roll is a one-column
/// STRIP or a BOARD of several columns, which cross-fades when it changes.
class FooterBar : public QWidget {
    Q_OBJECT
public:
    static constexpr double fadeSeconds = 0.18;

    explicit FooterBar(QWidget* parent = nullptr, motion::Animator* animator = nullptr);

    DockSide side() const { return m_side; }
    /// Re-places the parts only when the side changed.
    void setSide(DockSide side);
    /// Lays the parts out for the current size and side.
    void place();

    /// Shows the grid's column count; the first value shows without fading.
    void setColumns(int n);
    int shownColumns() const { return m_shownColumns; }
    /// "STRIP" for one column, "BOARD ×n" for more.
    static QString columnText(int n);
    bool columnsHidden() const { return m_colsHidden; }
    bool crossFading() const { return m_fade.has("fade"); }

    FineSlider* slider() const { return m_slider; }
    /// Called with the slider value on every change the user makes.
    std::function<void(double)> onChange;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void paintColumns(QPainter& painter, const QString& text, double opacity) const;

    DockSide m_side = DockSide::right;
    FineSlider* m_slider;
    QRectF m_small, m_large, m_cols;
    bool m_colsHidden = false;
    bool m_colsRight = false;
    int m_shownColumns = 0;
    QString m_text;
    QString m_oldText;
    motion::Layer m_fade;
};
