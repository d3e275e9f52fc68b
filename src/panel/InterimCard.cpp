#include "panel/InterimCard.h"

#include "shelf/Theme.h"

#include <QDateTime>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>

InterimCard::InterimCard(QWidget* parent)
    : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void InterimCard::setComposited(bool composited) {
    m_composited = composited;
    update();
}

void InterimCard::updatePin(bool pinned) {
    m_pinned = pinned;
    update();
}

void InterimCard::setCount(qsizetype shown, qsizetype total, bool plain) {
    m_count = plain ? QString::number(shown) : QStringLiteral("%1/%2").arg(shown).arg(total);
    update();
}

void InterimCard::setEmptyState(const EmptyState& state) {
    m_empty = state;
    update();
}

void InterimCard::setShots(const ShotList& shots, bool, const QSet<QString>& fresh) {
    m_shots = shots;
    m_fresh = fresh;
    update();
}

void InterimCard::develop(const QSet<QString>& paths) {
    m_fresh = paths;
    update();
}

std::optional<QRectF> InterimCard::frameOf(const QString& path) const {
    for (qsizetype i = 0; i < m_shots.size(); ++i)
        if (m_shots[i]->path == path)
            return QRectF(16, 90 + 22.0 * double(i), width() - 32, 20);
    return std::nullopt;
}

void InterimCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
    QColor base = Theme::base();
    base.setAlphaF(m_composited ? 0.94f : 1.0f);
    p.fillPath(card, base);
    p.setPen(QPen(Theme::hair(), 1));
    p.drawPath(card);

    Theme::caps(QStringLiteral("Tamberk"), 10.5, QFont::DemiBold, Theme::ink(), 2.6)
        .paint(p, QRectF(16, 14, width() - 32, 18), Qt::AlignLeft | Qt::AlignVCenter);
    p.setFont(Theme::monoFont(10.5, QFont::Medium));
    p.setPen(Theme::ink3());
    p.drawText(QRectF(16, 14, width() - 32, 18), Qt::AlignRight | Qt::AlignVCenter,
               m_pinned ? m_count + QStringLiteral("  pinned") : m_count);
    p.setFont(Theme::font(12));

    if (m_empty.kind != EmptyState::Kind::none) {
        const char* text = m_empty.kind == EmptyState::Kind::loading ? "Loading…" : "No frames";
        p.drawText(rect(), Qt::AlignCenter, QString::fromUtf8(text));
        return;
    }
    for (qsizetype i = 0; i < m_shots.size(); ++i) {
        const QRectF row = *frameOf(m_shots[i]->path);
        if (row.top() > height() - 30)
            break;
        const bool fresh = m_fresh.contains(m_shots[i]->path);
        p.setPen(fresh ? Theme::accent() : Theme::ink2());
        const QString when =
            QDateTime::fromSecsSinceEpoch(qint64(m_shots[i]->created)).toString("HH:mm");
        p.drawText(row, Qt::AlignLeft | Qt::AlignVCenter,
                   p.fontMetrics().elidedText(QFileInfo(m_shots[i]->path).fileName(),
                                              Qt::ElideMiddle, int(row.width()) - 48));
        p.drawText(row, Qt::AlignRight | Qt::AlignVCenter, when);
    }
}
