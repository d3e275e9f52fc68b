// Gallery pages of the film roll: a cell in each of its states, and a roll of
// screenshots of real Qt widgets as a strip (268 wide) and as a board (1200 wide).
#include "Gallery.h"
#include "SampleShots.h"

#include "content/Thumbs.h"
#include "grid/GridInteraction.h"
#include "grid/GridView.h"
#include "grid/ThumbView.h"
#include "shelf/Motion.h"
#include "shelf/Theme.h"

#include <QDateTime>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>

namespace {

using gallery::sampleShots;
using gallery::thumb;

// A cell painted on its own, at `frame`, with the given look.
struct CellLook {
    QString label;
    std::function<void(ThumbView&, motion::Animator&)> setUp;
    QSizeF size{210, 170};
    bool image = true;
    bool video = false;
    bool captions = true;
};

QImage cellStatesPage(double dpr) {
    const std::vector<CellLook> looks{
        {"rest", {}},
        {"hover", [](ThumbView& c, motion::Animator&) { c.setHover(true); }},
        {"hover on trash",
         [](ThumbView& c, motion::Animator&) {
             c.setHover(true);
             c.setHoveredButton(ThumbView::Button::Trash);
         }},
        {"hover on copy",
         [](ThumbView& c, motion::Animator&) {
             c.setHover(true);
             c.setHoveredButton(ThumbView::Button::Copy);
         }},
        {"selected",
         [](ThumbView& c, motion::Animator&) {
             c.selected = c.selectMode = true;
             c.updateState(false);
         }},
        {"select mode",
         [](ThumbView& c, motion::Animator&) {
             c.selectMode = true;
             c.updateState(false);
         }},
        {"selected, hovered",
         [](ThumbView& c, motion::Animator&) {
             c.selected = c.selectMode = true;
             c.setHover(true);
         }},
        {"recording", {}, {210, 170}, true, true},
        {"no image", {}, {210, 170}, false},
        {"develop at 0.25 s",
         [](ThumbView& c, motion::Animator& a) {
             c.develop();
             a.advanceTo(a.now() + 0.25);
         }},
        {"100 x 80: no buttons",
         [](ThumbView& c, motion::Animator&) { c.setHover(true); },
         {100, 80}},
        {"hover, light picture",
         [](ThumbView& c, motion::Animator&) {
             QImage light(420, 300, QImage::Format_RGB32);
             light.fill(QColor(246, 247, 249));
             c.setImage(light, false);
             c.setHover(true);
         }},
        {"captions off, hover",
         [](ThumbView& c, motion::Animator&) { c.setHover(true); },
         {210, 150},
         true,
         false,
         false},
    };
    const int cols = 4;
    const double cellW = 240, cellH = 220;
    const int rows = int(looks.size() + cols - 1) / cols;
    QImage image = gallery::canvas(QSize(int(cols * cellW + 20), int(rows * cellH + 20)), dpr);
    gallery::paintCardBackdrop(image);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double now = double(QDateTime::currentSecsSinceEpoch());
    for (size_t i = 0; i < looks.size(); ++i) {
        const CellLook& look = looks[i];
        const QPointF origin(20 + double(i % cols) * cellW, 20 + double(i / cols) * cellH);
        motion::Animator animator(0.0);
        auto s = std::make_shared<Shot>(QStringLiteral("/shots/%1.png").arg(i), now - 3600 * i, now,
                                        QSizeF(sampleShots()[i % 6].size()), look.video, true);
        s->duration = look.video ? 75.9 : 0;
        auto cell = std::make_shared<ThumbView>(s, nullptr, &animator);
        cell->number = int(looks.size() - i);
        cell->captions = look.captions;
        cell->setFrame(QRectF(origin + QPointF(0, 24), look.size));
        cell->parts();
        if (look.image)
            cell->setImage(thumb(sampleShots()[i % 6]), false);
        if (look.setUp)
            look.setUp(*cell, animator);
        animator.advanceTo(animator.now() + (look.label.startsWith("develop") ? 0 : 5));
        cell->paint(p);
        p.setFont(Theme::monoFont(10));
        p.setPen(Theme::ink2());
        p.drawText(QRectF(origin, QSizeF(cellW - 20, 18)), Qt::AlignLeft | Qt::AlignVCenter,
                   look.label);
    }
    return image;
}

// A roll of 40 screenshots in a scroll area as the shelf holds it.
QImage rollPage(double dpr, int width) {
    motion::Animator animator(0.0);
    Thumbs thumbs([](const QString&, bool, int) { return Thumbs::Made{}; });
    QScrollArea area;
    area.setFrameShape(QFrame::NoFrame);
    area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area.setAutoFillBackground(false);
    area.viewport()->setAutoFillBackground(false);
    auto* grid = new GridView(nullptr, &animator, &thumbs);
    area.setWidget(grid);
    area.resize(width, 860);
    area.show();
    grid->setViewportHeight(area.viewport()->height());
    grid->resize(area.viewport()->width(), area.viewport()->height());

    const ShotList shots = gallery::sampleRoll(40);
    grid->setShots(shots, false);
    grid->relayout(false);
    gallery::showSamples(*grid, shots);
    grid->setSelection({shots[2]->path, shots[3]->path});
    grid->cell(shots[1]->path)->setHover(true);
    animator.advanceTo(5);

    QImage image = gallery::canvas(area.size(), dpr);
    gallery::paintCardBackdrop(image);
    // The second paint shows the cells' composed looks, as a settled roll does.
    QImage first = image;
    area.render(&first, QPoint(), QRegion(), QWidget::DrawChildren);
    area.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace

GALLERY_IMAGE_PAGE(grid_cell_states, cellStatesPage)
GALLERY_IMAGE_PAGE(grid_roll_strip, [](double dpr) { return rollPage(dpr, 268); })
GALLERY_IMAGE_PAGE(grid_roll_board, [](double dpr) { return rollPage(dpr, 1200); })

// Three frames dragged onto a folder chip: the chip's drop highlight must stay
// in view beside the pile.
GALLERY_IMAGE_PAGE(grid_drag_pile, [](double dpr) {
    QImage image = gallery::canvas(QSize(360, 200), dpr);
    gallery::paintCardBackdrop(image);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF chip(40, 40, 120, 30);
    p.setPen(QPen(Theme::accent(), 1.5));
    p.setBrush(Theme::withAlpha(Theme::accent(), 0.3));
    p.drawRoundedRect(chip, 15, 15);
    p.setPen(Theme::ink());
    p.setFont(Theme::font(13));
    p.drawText(chip, Qt::AlignCenter, QStringLiteral("Receipts"));
    QList<QImage> shots;
    for (int i = 0; i < 3; ++i)
        shots << thumb(sampleShots()[size_t(i)]);
    const auto pile = GridInteraction::pileImage(shots, 3, dpr);
    const QPointF pointer = chip.center();
    p.drawImage(pointer - QPointF(GridInteraction::pileHotSpot), pile.image);
    // The pointer, an arrow with its tip at `pointer`.
    QPainterPath arrow;
    arrow.moveTo(pointer);
    arrow.lineTo(pointer + QPointF(0, 16));
    arrow.lineTo(pointer + QPointF(4, 12));
    arrow.lineTo(pointer + QPointF(11, 12));
    arrow.closeSubpath();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPath(arrow);
    return image;
})
