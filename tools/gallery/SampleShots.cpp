// The gallery's sample screenshots: real Qt widgets grabbed once.
#include "SampleShots.h"

#include "grid/GridView.h"
#include "grid/ThumbView.h"
#include "shelf/Theme.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace gallery {

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

} // namespace

const std::vector<QImage>& sampleShots() {
    static const std::vector<QImage> shots{formShot(),     tableShot(), codeShot(),
                                           calendarShot(), treeShot(),  bannerShot()};
    return shots;
}

QImage thumb(const QImage& shot) {
    return shot.scaled(640, 640, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

ShotList sampleRoll(int count) {
    const double now = double(QDateTime::currentSecsSinceEpoch());
    ShotList shots;
    for (int i = 0; i < count; ++i) {
        const QImage& sample = sampleShots()[size_t(i * 5 % 6)];
        const bool video = i % 9 == 4;
        auto s = std::make_shared<Shot>(QStringLiteral("/shots/%1.png").arg(i), now - 1800.0 * i,
                                        now, QSizeF(sample.size()), video, true);
        s->duration = video ? 12.0 + i * 7 : 0;
        shots << s;
    }
    return shots;
}

void showSamples(GridView& grid, const ShotList& shots) {
    for (int i = 0; i < shots.size(); ++i) {
        ThumbView* c = grid.cell(shots[i]->path);
        if (!c)
            continue;
        c->setImage(thumb(sampleShots()[size_t(i * 5 % 6)]), false);
        c->loaded = 640;
    }
}

} // namespace gallery
