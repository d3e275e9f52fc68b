#include "shelf/ShelfHeader.h"

#include "shelf/IconButton.h"
#include "shelf/ShelfLayout.h"
#include "shelf/Theme.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace {

Theme::Caps brandCaps() {
    return Theme::caps(QStringLiteral("Tamberk"), 10.5, QFont::DemiBold, Theme::ink(), 2.6);
}

QFont countFont() {
    return Theme::monoFont(10.5, QFont::Medium);
}

IconButton* headerButton(const char* symbol, double point, const char* tip, QWidget* parent,
                         motion::Animator* animator) {
    return new IconButton(QString::fromLatin1(symbol), 24, point, QFont::Normal, Theme::ink2(),
                          Theme::ink(), std::nullopt, Theme::fill2(), 6, QString::fromUtf8(tip),
                          parent, animator);
}

} // namespace

ShelfHeader::ShelfHeader(QWidget* parent, motion::Animator* animator)
    : QWidget(parent) {
    searchB = headerButton("magnifyingglass", 12, "Search text in frames  Ctrl+F", this, animator);
    pinB = headerButton("pin", 12, "Keep open", this, animator);
    gearB = headerButton("gearshape", 12, "Settings  Ctrl+,", this, animator);
    closeB = headerButton("xmark", 11, "Close  Esc", this, animator);
}

void ShelfHeader::setCount(const QString& text, const QString& widest) {
    const QString measured = widest.isEmpty() ? text : widest;
    if (text == m_count && measured == m_widest)
        return;
    const bool relayout = measured != m_widest;
    m_count = text;
    m_widest = measured;
    if (relayout)
        place();
    else
        update(m_countRect.toAlignedRect());
}

void ShelfHeader::place() {
    const double brandWidth = brandCaps().size().width() + 6;
    const double countWidth = QFontMetricsF(countFont()).horizontalAdvance(m_widest) + 4;
    const ShelfLayout::Header h = ShelfLayout::header(width(), brandWidth, countWidth);
    m_iconRect = h.brandIcon;
    m_brandRect = h.brand;
    m_countRect = h.count;
    m_brandHidden = h.brandHidden;
    searchB->setGeometry(h.searchB.toAlignedRect());
    pinB->setGeometry(h.pinB.toAlignedRect());
    gearB->setGeometry(h.gearB.toAlignedRect());
    closeB->setGeometry(h.closeB.toAlignedRect());
    update();
}

void ShelfHeader::resizeEvent(QResizeEvent*) {
    place();
}

void ShelfHeader::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.save();
    p.translate(m_iconRect.topLeft());
    p.fillPath(Theme::filmGlyphPath(m_iconRect.width()), Theme::ink2());
    p.restore();
    if (!m_brandHidden) {
        p.save();
        p.setClipRect(m_brandRect);
        brandCaps().paint(p, m_brandRect, Qt::AlignLeft | Qt::AlignVCenter);
        p.restore();
    }
    if (m_countRect.width() > 0) {
        const QFont font = countFont();
        p.setFont(font);
        p.setPen(Theme::ink3());
        p.drawText(m_countRect, Qt::AlignLeft | Qt::AlignVCenter,
                   QFontMetricsF(font).elidedText(m_count, Qt::ElideRight, m_countRect.width()));
    }
}
