#include "shelf/SelectionBar.h"

#include "shelf/Announce.h"
#include "shelf/IconButton.h"
#include "shelf/ShelfLayout.h"
#include "shelf/Theme.h"

#include <QAccessible>
#include <QPainter>

namespace {

IconButton* barButton(const char* symbol, double point, const QColor& tint, const QColor& hoverTint,
                      const QColor& hoverBg, const char* tip, QWidget* parent,
                      motion::Animator* animator) {
    return new IconButton(QString::fromLatin1(symbol), 28, point, QFont::Normal, tint, hoverTint,
                          std::nullopt, hoverBg, 6, QString::fromUtf8(tip), parent, animator);
}

} // namespace

SelectionBar::SelectionBar(QWidget* parent, motion::Animator* animator)
    : QWidget(parent) {
    const QColor ink = Theme::ink();
    moveB = barButton("folder", 12.5, ink, ink, Theme::fill2(), "Move to folder", this, animator);
    copyB = barButton("doc.on.doc", 12, ink, ink, Theme::fill2(), "Copy  Ctrl+C", this, animator);
    shareB =
        barButton("square.and.arrow.up", 12.5, ink, ink, Theme::fill2(), "Share", this, animator);
    trashB = barButton("trash", 12.5, ink, Theme::danger(), Theme::withAlpha(Theme::danger(), 0.18),
                       "Delete  Del", this, animator);
    clearB =
        barButton("xmark", 11, Theme::ink2(), ink, Theme::fill2(), "Deselect  Esc", this, animator);
}

void SelectionBar::setN(int n) {
    if (n == m_n)
        return;
    m_n = n;
    update();
    // The count is the bar's name: a reader hears it as frames are picked.
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    announce::send(changed);
}

void SelectionBar::place() {
    const ShelfLayout::SelectionBar bar = ShelfLayout::selectionBar(size());
    moveB->setGeometry(bar.move.toAlignedRect());
    copyB->setGeometry(bar.copy.toAlignedRect());
    shareB->setGeometry(bar.share.toAlignedRect());
    trashB->setGeometry(bar.trash.toAlignedRect());
    clearB->setGeometry(bar.clear.toAlignedRect());
    m_count = bar.count;
    m_showsWord = bar.showsWord;
    update();
}

void SelectionBar::resizeEvent(QResizeEvent*) {
    place();
}

void SelectionBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.12), 0.5));
    p.setBrush(QColor::fromRgbF(1, 1, 1, 0.085));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 10, 10);

    p.save();
    p.setClipRect(m_count);
    const Theme::Caps number =
        Theme::caps(QString::number(m_n), 10.5, QFont::Bold, Theme::ink(), 0.5);
    number.paint(p, m_count, Qt::AlignLeft | Qt::AlignVCenter);
    if (m_showsWord) {
        const Theme::Caps word =
            Theme::caps(QStringLiteral("  selected"), 8.5, QFont::DemiBold, Theme::ink3(), 1.6);
        // The word shares the number's baseline region, centred on the same line.
        const QRectF rest = m_count.adjusted(number.size().width(), 0, 0, 0);
        word.paint(p, rest, Qt::AlignLeft | Qt::AlignVCenter);
    }
    p.restore();
}
