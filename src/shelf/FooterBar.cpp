#include "shelf/FooterBar.h"

#include "shelf/FineSlider.h"
#include "shelf/ShelfLayout.h"
#include "shelf/Theme.h"

#include <QPainter>

FooterBar::FooterBar(QWidget* parent, motion::Animator* animator)
    : QWidget(parent)
    , m_slider(new FineSlider(this))
    , m_fade([this] { update(m_cols.toAlignedRect()); }, animator) {
    m_slider->onChange = [this](double value) {
        if (onChange)
            onChange(value);
    };
    place();
}

QString FooterBar::columnText(int n) {
    return n == 1 ? QStringLiteral("STRIP") : QStringLiteral("BOARD \u00d7") + QString::number(n);
}

void FooterBar::setSide(DockSide side) {
    if (side == m_side)
        return;
    m_side = side;
    place();
}

void FooterBar::place() {
    const ShelfLayout::Footer f = ShelfLayout::footer(size(), m_side);
    m_slider->setGeometry(f.slider.toAlignedRect());
    m_small = f.small;
    m_large = f.large;
    m_cols = f.cols;
    m_colsHidden = f.colsHidden;
    m_colsRight = f.colsRightAligned;
    update();
}

void FooterBar::setColumns(int n) {
    if (n == m_shownColumns)
        return;
    const bool first = m_shownColumns == 0;
    m_shownColumns = n;
    m_oldText = m_text;
    m_text = columnText(n);
    if (!first)
        m_fade.add("fade", motion::Animation::basic(motion::Prop::Param, 0, 1, fadeSeconds));
    update(m_cols.toAlignedRect());
}

void FooterBar::resizeEvent(QResizeEvent*) {
    place();
}

void FooterBar::paintColumns(QPainter& painter, const QString& text, double opacity) const {
    if (text.isEmpty() || opacity <= 0)
        return;
    painter.setOpacity(opacity);
    Theme::caps(text, 8.5, QFont::DemiBold, Theme::ink3(), 1.4)
        .paint(painter, m_cols, (m_colsRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
}

void FooterBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    Theme::paintSymbol(p, m_small, u"photo", 9, Theme::ink3(), QFont::Medium);
    Theme::paintSymbol(p, m_large, u"photo", 13, Theme::ink3(), QFont::Medium);
    if (m_colsHidden)
        return;
    // The old text fades out under the new one.
    const double t = m_fade.value(motion::Prop::Param, 1.0);
    paintColumns(p, m_oldText, 1 - t);
    paintColumns(p, m_text, t);
}
