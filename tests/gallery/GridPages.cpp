// Gallery pages of the film roll: a cell in each of its states, and a roll of
// screenshots of real Qt widgets as a strip (268 wide) and as a board (1200 wide).
#include "Gallery.h"

#include "content/Thumbs.h"
#include "grid/GridView.h"
#include "grid/ThumbView.h"
#include "shelf/Motion.h"
#include "shelf/Theme.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QImage grabbed(QWidget& w, QSize size) {
    w.resize(size);
    w.ensurePolished();
    if (w.layout())
        w.layout()->activate();
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage formShot() {
    QWidget w;
    auto* form = new QFormLayout(&w);
    form->addRow("Name", new QLineEdit("Quarterly review"));
    form->addRow("Folder", new QLineEdit("/home/ana/Documents/Reports"));
    auto* combo = new QComboBox;
    combo->addItems({"PNG image", "JPEG image"});
    form->addRow("Format", combo);
    form->addRow("", new QCheckBox("Open the file when done"));
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setValue(62);
    form->addRow("Quality", slider);
    form->addRow("", new QPushButton("Export"));
    return grabbed(w, {900, 560});
}

QImage tableShot() {
    QTableWidget t(24, 6);
    t.setHorizontalHeaderLabels({"Region", "Q1", "Q2", "Q3", "Q4", "Total"});
    const char* regions[] = {"North", "South", "East", "West", "Centre", "Coast"};
    for (int r = 0; r < 24; ++r) {
        t.setItem(r, 0, new QTableWidgetItem(QString("%1 %2").arg(regions[r % 6]).arg(r / 6 + 1)));
        int total = 0;
        for (int c = 1; c < 5; ++c) {
            const int v = (r * 37 + c * 91) % 900 + 100;
            total += v;
            t.setItem(r, c, new QTableWidgetItem(QString::number(v)));
        }
        t.setItem(r, 5, new QTableWidgetItem(QString::number(total)));
    }
    t.horizontalHeader()->setStretchLastSection(true);
    return grabbed(t, {1280, 800});
}

QImage codeShot() {
    QPlainTextEdit e;
    QString code;
    for (int i = 0; i < 12; ++i)
        code += QStringLiteral("int column%1(const std::vector<double>& weights) {\n"
                               "    size_t best = 0;\n"
                               "    for (size_t c = 1; c < weights.size(); ++c)\n"
                               "        if (weights[c] < weights[best] - 0.0001)\n"
                               "            best = c;\n"
                               "    return int(best);\n}\n\n")
                    .arg(i);
    e.setPlainText(code);
    e.setFont(Theme::monoFont(13));
    return grabbed(e, {1440, 900});
}

QImage calendarShot() {
    QCalendarWidget c;
    c.setSelectedDate(QDate(2026, 12, 6));
    return grabbed(c, {600, 450});
}

QImage treeShot() {
    QTreeWidget t;
    t.setHeaderLabels({"Name", "Size"});
    for (const char* top : {"Documents", "Pictures", "Music", "Projects", "Downloads"}) {
        auto* item = new QTreeWidgetItem(&t, {top, ""});
        for (int i = 0; i < 7; ++i)
            new QTreeWidgetItem(item, {QString("%1 item %2").arg(top).arg(i + 1),
                                       QString("%1 KB").arg((i + 3) * 41)});
        item->setExpanded(true);
    }
    return grabbed(t, {520, 980});
}

QImage bannerShot() {
    QWidget w;
    auto* v = new QVBoxLayout(&w);
    v->addWidget(new QLabel("Copying 1,204 files to Backup"));
    auto* bar = new QProgressBar;
    bar->setValue(64);
    v->addWidget(bar);
    v->addWidget(new QPushButton("Cancel"));
    return grabbed(w, {1600, 330});
}

/// Screenshots of real Qt widgets, made once: forms, tables, code, a calendar,
/// a tall tree and a wide banner, so the roll shows its usual mix of shapes.
const std::vector<QImage>& sampleShots() {
    static const std::vector<QImage> shots{formShot(),     tableShot(), codeShot(),
                                           calendarShot(), treeShot(),  bannerShot()};
    return shots;
}

QImage thumb(const QImage& shot) {
    return shot.scaled(640, 640, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// A cell painted on its own, at `frame`, with the given look.
struct CellSpec {
    QString label;
    std::function<void(ThumbView&, motion::Animator&)> setUp;
    QSizeF size{210, 170};
    bool image = true;
    bool video = false;
    bool captions = true;
};

QImage cellStatesPage(double dpr) {
    const std::vector<CellSpec> specs{
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
        {"captions off, hover",
         [](ThumbView& c, motion::Animator&) { c.setHover(true); },
         {210, 150},
         true,
         false,
         false},
    };
    const int cols = 4;
    const double cellW = 240, cellH = 220;
    const int rows = int(specs.size() + cols - 1) / cols;
    QImage image = gallery::canvas(QSize(int(cols * cellW + 20), int(rows * cellH + 20)), dpr);
    gallery::paintCardBackdrop(image);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double now = double(QDateTime::currentSecsSinceEpoch());
    for (size_t i = 0; i < specs.size(); ++i) {
        const CellSpec& spec = specs[i];
        const QPointF origin(20 + double(i % cols) * cellW, 20 + double(i / cols) * cellH);
        motion::Animator animator(0.0);
        auto s = std::make_shared<Shot>(QStringLiteral("/shots/%1.png").arg(i), now - 3600 * i, now,
                                        QSizeF(sampleShots()[i % 6].size()), spec.video, true);
        s->duration = spec.video ? 75.9 : 0;
        auto cell = std::make_shared<ThumbView>(s, nullptr, &animator);
        cell->number = int(specs.size() - i);
        cell->captions = spec.captions;
        cell->setFrame(QRectF(origin + QPointF(0, 24), spec.size));
        cell->parts();
        if (spec.image)
            cell->setImage(thumb(sampleShots()[i % 6]), false);
        if (spec.setUp)
            spec.setUp(*cell, animator);
        animator.advanceTo(animator.now() + (spec.label.startsWith("develop") ? 0 : 5));
        cell->paint(p);
        p.setFont(Theme::monoFont(10));
        p.setPen(Theme::ink2());
        p.drawText(QRectF(origin, QSizeF(cellW - 20, 18)), Qt::AlignLeft | Qt::AlignVCenter,
                   spec.label);
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

    const double now = double(QDateTime::currentSecsSinceEpoch());
    ShotList shots;
    for (int i = 0; i < 40; ++i) {
        const QImage& sample = sampleShots()[size_t(i * 5 % 6)];
        const bool video = i % 9 == 4;
        auto s = std::make_shared<Shot>(QStringLiteral("/shots/%1.png").arg(i), now - 1800.0 * i,
                                        now, QSizeF(sample.size()), video, true);
        s->duration = video ? 12.0 + i * 7 : 0;
        shots << s;
    }
    grid->setShots(shots, false);
    grid->relayout(false);
    for (int i = 0; i < shots.size(); ++i) {
        ThumbView* c = grid->cell(shots[i]->path);
        c->setImage(thumb(sampleShots()[size_t(i * 5 % 6)]), false);
        c->loaded = 640;
    }
    grid->setSelection({shots[2]->path, shots[3]->path});
    grid->cell(shots[1]->path)->setHover(true);
    animator.advanceTo(5);

    QImage image = gallery::canvas(area.size(), dpr);
    gallery::paintCardBackdrop(image);
    area.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace

GALLERY_IMAGE_PAGE(grid_cell_states, cellStatesPage)
GALLERY_IMAGE_PAGE(grid_roll_strip, [](double dpr) { return rollPage(dpr, 268); })
GALLERY_IMAGE_PAGE(grid_roll_board, [](double dpr) { return rollPage(dpr, 1200); })
