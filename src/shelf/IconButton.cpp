#include "shelf/IconButton.h"

#include "shelf/Theme.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

const QByteArray kFadeKey = QByteArrayLiteral("hover");

QColor mix(const QColor& a, const QColor& b, double t) {
    if (t <= 0)
        return a;
    if (t >= 1)
        return b;
    // Premultiplied blending, so a clear colour fades in without a dark fringe.
    const double aa = a.alphaF(), ba = b.alphaF();
    const double alpha = aa + (ba - aa) * t;
    if (alpha <= 0)
        return QColor(0, 0, 0, 0);
    auto channel = [&](double ac, double bc) {
        return (ac * aa + (bc * ba - ac * aa) * t) / alpha;
    };
    return QColor::fromRgbF(float(channel(a.redF(), b.redF())),
                            float(channel(a.greenF(), b.greenF())),
                            float(channel(a.blueF(), b.blueF())), float(alpha));
}

} // namespace

IconButton::IconButton(const QString& symbol, int size, double point, QFont::Weight weight,
                       const QColor& tint, const QColor& hoverTint, std::optional<QColor> bg,
                       const QColor& hoverBg, double radius, const QString& tip, QWidget* parent,
                       motion::Animator* animator)
    : QAbstractButton(parent)
    , m_look{symbol, point, weight, tint, hoverTint, bg, hoverBg, radius}
    , m_size(size, size)
    , m_fade([this] { update(); }, animator) {
    resize(m_size);
    // Tab reaches the buttons, so every action has a key; a click leaves the
    // keyboard where it was (on the roll).
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_NoSystemBackground);
    setToolTip(tip);
    connect(this, &QAbstractButton::clicked, this, [this] {
        // A copy: a click handler may replace the handler or delete the button.
        if (auto run = onClick)
            run();
    });
    refresh();
}

void IconButton::setSymbol(const QString& symbol) {
    if (symbol == m_look.symbol)
        return;
    m_look.symbol = symbol;
    update();
}

void IconButton::refresh() {
    if (m_pendingTint) {
        m_look.tint = *m_pendingTint;
        m_pendingTint.reset();
    }
    update();
}

double IconButton::hoverLevel() const {
    return m_fade.value(motion::Prop::Param, m_hovering ? 1.0 : 0.0);
}

void IconButton::setHovering(bool hovering, bool animated) {
    if (hovering == m_hovering)
        return;
    const double from = hoverLevel();
    m_hovering = hovering;
    if (animated) {
        const double to = hovering ? 1.0 : 0.0;
        // A light half on fades the rest of the way in the remaining share of the time.
        const double duration = kHoverFade * std::abs(to - from);
        m_fade.add(kFadeKey, motion::Animation::basic(motion::Prop::Param, from, to, duration,
                                                      motion::Timing::easeOut()));
    } else {
        m_fade.remove(kFadeKey);
    }
    refresh();
}

void IconButton::enterEvent(QEnterEvent* event) {
    setHovering(true, true);
    QAbstractButton::enterEvent(event);
}

void IconButton::leaveEvent(QEvent* event) {
    setHovering(false, true);
    QAbstractButton::leaveEvent(event);
}

void IconButton::hideEvent(QHideEvent* event) {
    // A hidden button gets no leave event; it must not come back lit.
    setHovering(false, false);
    QAbstractButton::hideEvent(event);
}

void IconButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintLook(p, rect(), m_look, hoverLevel(), isEnabled());
    if (hasFocus())
        Theme::paintFocusRing(p, rect(), m_look.radius);
}

void IconButton::keyPressEvent(QKeyEvent* event) {
    // Space presses a button already; Return and Enter do too, as in a dialog.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void IconButton::paintLook(QPainter& painter, const QRectF& rect, const Look& look, double hover,
                           bool enabled) {
    const QColor restBg = look.bg.value_or(QColor(0, 0, 0, 0));
    const QColor bg = mix(restBg, look.hoverBg, hover);
    QColor tint = mix(look.tint, look.hoverTint, hover);
    if (!enabled)
        tint = Theme::withAlpha(tint, 0.4);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (bg.alpha() > 0) {
        QPainterPath shape;
        shape.addRoundedRect(rect, look.radius, look.radius);
        painter.fillPath(shape, bg);
    }
    Theme::paintSymbol(painter, rect, look.symbol, look.point, tint, look.weight);
    painter.restore();
}
