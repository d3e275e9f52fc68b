#include "shelf/ToastView.h"

#include "shelf/Announce.h"
#include "shelf/Scheduler.h"
#include "shelf/ShelfLayout.h"
#include "shelf/Theme.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QGraphicsDropShadowEffect>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace {

QFont actionFont() {
    return Theme::font(12, QFont::Bold);
}

} // namespace

QFont ToastView::labelFont() {
    return Theme::font(12, QFont::Medium);
}

QStringList ToastView::wrapped(const QString& text, const QFont& font, double width, int lines) {
    const QFontMetricsF metrics(font);
    QStringList out;
    QString rest = text;
    while (out.size() < lines - 1 && metrics.horizontalAdvance(rest) > width) {
        // Break at the last space that fits; a single long word breaks where it must.
        qsizetype cut = rest.size();
        while (cut > 1 && metrics.horizontalAdvance(rest.left(cut)) > width)
            --cut;
        const qsizetype space = rest.lastIndexOf(QLatin1Char(' '), cut);
        if (space > 0)
            cut = space;
        out << rest.left(cut);
        rest = rest.mid(cut).trimmed();
    }
    out << metrics.elidedText(rest, Qt::ElideRight, width);
    return out;
}

ToastView::ToastView(QWidget* parent, motion::Animator* animator, Scheduler* scheduler)
    : QWidget(parent)
    , m_scheduler(scheduler ? scheduler : &Scheduler::main())
    , m_alpha(
          0, [this] { update(); }, animator) {
    // The shadow falls outside the pill; the effect draws it without widening the
    // widget, so clicks beside the pill still reach the grid.
    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor::fromRgbF(0, 0, 0, 0.5));
    shadow->setBlurRadius(20);
    shadow->setOffset(0, 3);
    setGraphicsEffect(shadow);
    setVisible(false);
}

ToastView::~ToastView() {
    cancelDismissal();
}

void ToastView::cancelDismissal() {
    if (m_hideWork != 0)
        m_scheduler->cancel(m_hideWork);
    m_hideWork = 0;
}

void ToastView::show(const QString& text, const std::optional<QString>& action,
                     std::function<void()> handler) {
    m_text = text;
    m_action = action;
    m_handler = std::move(handler);
    const bool replacing = isVisible();
    setVisible(true);
    raise();
    place();
    m_alpha.fadeTo(1, fadeInSeconds);
    // Screen readers speak an alert as it comes. Over AT-SPI an alert is spoken
    // when it shows, which Qt reports for a hidden toast only; a message that
    // replaces a shown one shows anew.
    QAccessibleEvent alert(this, QAccessible::Alert);
    announce::send(alert);
    if (replacing) {
        QAccessibleEvent shown(this, QAccessible::ObjectShow);
        announce::send(shown);
    }
    cancelDismissal();
    QPointer<ToastView> self(this);
    m_hideWork = m_scheduler->schedule(action ? actionSeconds : plainSeconds, [self] {
        if (!self)
            return;
        self->m_hideWork = 0;
        self->dismiss();
    });
    update();
}

void ToastView::dismiss() {
    cancelDismissal();
    m_alpha.fadeTo(0, fadeOutSeconds, [this](bool) {
        // A show during the fade set the target back to 1 and keeps the toast.
        if (m_alpha.target() < 0.01)
            setVisible(false);
    });
}

void ToastView::setArea(const QRectF& area) {
    m_area = area;
    if (isVisible())
        place();
}

void ToastView::place() {
    const double textWidth = QFontMetricsF(labelFont()).horizontalAdvance(m_text);
    // The borderless button's own width: its title and a little padding.
    const double actionWidth =
        m_action ? QFontMetricsF(actionFont()).horizontalAdvance(*m_action) + 4 : 0;
    const ShelfLayout::Toast t = ShelfLayout::toast(m_area, textWidth, actionWidth);
    setGeometry(t.pill.toAlignedRect());
    m_labelRect = t.label;
    m_actionRect = t.action;
    m_lines = t.lines;
    update();
}

void ToastView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(m_alpha.value());
    // A dark hairline keeps the light pill's edge where the picture behind is
    // light too; the shadow alone fades into white.
    p.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.28), 1));
    p.setBrush(QColor::fromRgbF(0.97, 0.97, 0.97, 0.96));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 14.5, 14.5);
    const QFont font = labelFont();
    p.setFont(font);
    p.setPen(QColor::fromRgbF(0.05, 0.05, 0.05, 0.9));
    const QStringList lines = wrapped(m_text, font, m_labelRect.width(), m_lines);
    QRectF line = m_labelRect;
    line.setHeight(m_labelRect.height() / std::max<qsizetype>(1, m_lines));
    for (const QString& text : lines) {
        p.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, text);
        line.translate(0, line.height());
    }
    if (m_action) {
        p.setFont(actionFont());
        p.setPen(Qt::black);
        p.drawText(m_actionRect, Qt::AlignCenter, *m_action);
    }
}

void ToastView::mousePressEvent(QMouseEvent* event) {
    m_pressedAction = m_action && m_actionRect.contains(event->position());
    event->accept();
}

void ToastView::mouseReleaseEvent(QMouseEvent* event) {
    const bool hit = m_pressedAction && m_actionRect.contains(event->position());
    m_pressedAction = false;
    if (hit)
        runAction();
}

void ToastView::runAction() {
    if (!m_action)
        return;
    // Dismiss first: the handler usually answers with a toast of its own ("Undid
    // trash"), which must replace this one rather than fade out with it.
    std::function<void()> handler = std::move(m_handler);
    m_handler = nullptr;
    dismiss();
    if (handler)
        handler();
}
