#pragma once

#include "shelf/Fade.h"

#include <QRectF>
#include <QWidget>
#include <functional>
#include <optional>

class Scheduler;

/// The small pill near the bottom of the grid band that confirms an action and
/// may offer one action button ("Undo"). Only one exists: a new message replaces
/// the old one and restarts its time.
class ToastView : public QWidget {
    Q_OBJECT
public:
    /// How long a toast stays, without and with an action, and its fades.
    static constexpr double plainSeconds = 1.6;
    static constexpr double actionSeconds = 4.5;
    static constexpr double fadeInSeconds = 0.18;
    static constexpr double fadeOutSeconds = 0.2;

    /// `animator` and `scheduler` default to the process's own.
    explicit ToastView(QWidget* parent = nullptr, motion::Animator* animator = nullptr,
                       Scheduler* scheduler = nullptr);
    ~ToastView() override;

    using QWidget::show;
    /// Shows `text`, with a button titled `action` that runs `handler` when given.
    void show(const QString& text, const std::optional<QString>& action = std::nullopt,
              std::function<void()> handler = {});
    /// Runs the action button's handler, as a click on it does, and fades out.
    void runAction();
    /// Fades the toast out now; it hides once the fade ends unless shown again.
    void dismiss();
    /// Re-centres the toast in its area.
    void place();

    /// The grid band in the parent's coordinates.
    void setArea(const QRectF& area);
    QRectF area() const { return m_area; }

    QString text() const { return m_text; }
    std::optional<QString> action() const { return m_action; }
    double opacity() const { return m_alpha.value(); }
    /// Whether a dismissal is pending.
    bool dismissalPending() const { return m_hideWork != 0; }
    /// The action button's rectangle in the toast's coordinates; empty without one.
    QRectF actionRect() const { return m_actionRect; }
    /// The message's rectangle in the toast's coordinates.
    QRectF labelRect() const { return m_labelRect; }

    /// The message's font.
    static QFont labelFont();
    /// `text` broken at spaces into at most `lines` lines of `width`, the last
    /// one elided.
    static QStringList wrapped(const QString& text, const QFont& font, double width, int lines);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void cancelDismissal();

    Scheduler* m_scheduler;
    Fade m_alpha;
    QString m_text;
    std::optional<QString> m_action;
    std::function<void()> m_handler;
    int m_hideWork = 0;
    QRectF m_area;
    QRectF m_labelRect;
    QRectF m_actionRect;
    int m_lines = 1;
    bool m_pressedAction = false;
};
