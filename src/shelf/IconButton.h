#pragma once

#include "shelf/Motion.h"

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <functional>
#include <optional>

/// A square symbol button that lights up under the pointer: the tint and the
/// background fade from their resting to their hover colours.
class IconButton : public QAbstractButton {
    Q_OBJECT
public:
    /// Everything that decides how a button looks, so that painted stand-ins
    /// (the buttons of a thumbnail cell) can draw the same face.
    struct Look {
        QString symbol;
        double point = 12;
        QFont::Weight weight = QFont::Normal;
        QColor tint;
        QColor hoverTint;
        std::optional<QColor> bg; // none: clear at rest
        QColor hoverBg;
        double radius = 6;
    };

    /// How long the light takes to come on or go off, in seconds.
    static constexpr double kHoverFade = 0.12;

    IconButton(const QString& symbol, int size, double point, QFont::Weight weight,
               const QColor& tint, const QColor& hoverTint, std::optional<QColor> bg,
               const QColor& hoverBg, double radius, const QString& tip = {},
               QWidget* parent = nullptr, motion::Animator* animator = nullptr);

    /// Runs when the button is clicked.
    std::function<void()> onClick;

    const Look& look() const { return m_look; }
    QColor baseTint() const { return m_look.tint; }
    /// Replaces the resting tint; it shows once `refresh()` runs.
    void setBaseTint(const QColor& tint) { m_pendingTint = tint; }
    void setSymbol(const QString& symbol);
    /// Applies the resting tint and repaints in the current hover state.
    void refresh();

    bool hovering() const { return m_hovering; }
    /// The hover light as painted now: 0 at rest, 1 lit.
    double hoverLevel() const;

    /// Paints a button face in `rect` with the light at `hover` (0 to 1).
    static void paintLook(QPainter& painter, const QRectF& rect, const Look& look, double hover,
                          bool enabled = true);

    QSize sizeHint() const override { return m_size; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setHovering(bool hovering, bool animated);

    Look m_look;
    std::optional<QColor> m_pendingTint;
    QSize m_size;
    bool m_hovering = false;
    motion::Layer m_fade;
};
