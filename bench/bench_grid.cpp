// The film roll's costs: the first listing of 10,000 shots with the first paint,
// an animated relayout across a column boundary, one painted frame of a board
// mid-animation, timer wake-ups while idle, and the memory of a cell. Anchors
// are measured in the same run: a QListView in icon mode given the same items
// and sizes (listing, relayout, memory), the 60 Hz frame budget (frame) and the
// same grid while one cell animates (wake-ups). Each timing is the best of a few
// rounds, so a busy neighbour on the shared machine counts less.
#include "content/Thumbs.h"
#include "grid/GridView.h"
#include "shelf/Motion.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLinearGradient>
#include <QListView>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <memory>

namespace {

constexpr int kShots = 10000;
constexpr int kRounds = 5;

ShotList mixedShots(int count) {
    static const QSizeF sizes[] = {{1920, 1080}, {2880, 1800}, {800, 600},  {1000, 1000},
                                   {600, 900},   {1280, 2400}, {1200, 300}, {2560, 1440}};
    ShotList out;
    out.reserve(count);
    for (int i = 0; i < count; ++i)
        out << std::make_shared<Shot>(
            QStringLiteral("/home/u/Pictures/Screenshots/shot %1.png").arg(i), 1.7e9 - i * 60,
            1.7e9 - i * 60, sizes[i % 8], i % 23 == 0, true);
    return out;
}

// A desktop-like picture for the board's cells: windows, bars and text lines.
QImage screenshot(int w, int h, int seed) {
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, w, h);
    sky.setColorAt(0, QColor(30 + seed * 7 % 90, 60, 120));
    sky.setColorAt(1, QColor(200, 120, 60 + seed * 11 % 120));
    p.fillRect(image.rect(), sky);
    for (int i = 0; i < 3; ++i) {
        const QRect frame(w / 10 + i * w / 6, h / 10 + i * h / 9, w / 2, h / 2);
        p.fillRect(frame, QColor(245, 245, 245));
        p.fillRect(QRect(frame.topLeft(), QSize(frame.width(), h / 30)), QColor(210, 210, 220));
        for (int line = 0; line < 12; ++line)
            p.fillRect(QRect(frame.left() + 12, frame.top() + h / 20 + line * h / 45,
                             (frame.width() - 24) * (5 + (line * seed) % 5) / 10, 3),
                       QColor(60, 60, 70));
    }
    return image;
}

// The cells' sizes as the grid lays them out, for the list view's items.
std::vector<QSize> cellSizes(const ShotList& shots, double width) {
    const GridLayout::Result layout = GridLayout::compute(shots, {width, 224, true, 1});
    std::vector<QSize> sizes;
    for (const QRectF& f : layout.frames)
        sizes.push_back(f.size().toSize());
    return sizes;
}

std::unique_ptr<QStandardItemModel> listModel(const std::vector<QSize>& sizes) {
    auto model = std::make_unique<QStandardItemModel>();
    model->setRowCount(0);
    QList<QStandardItem*> items;
    items.reserve(qsizetype(sizes.size()));
    for (size_t i = 0; i < sizes.size(); ++i) {
        auto* item = new QStandardItem(QString::number(sizes.size() - i));
        item->setData(sizes[i], Qt::SizeHintRole);
        items << item;
    }
    model->appendColumn(items);
    return model;
}

struct ListRig {
    QListView view;
    std::unique_ptr<QStandardItemModel> model;
    explicit ListRig(QSize size) {
        view.setViewMode(QListView::IconMode);
        view.setResizeMode(QListView::Adjust);
        view.setMovement(QListView::Static);
        view.setSpacing(10);
        view.resize(size);
        view.show();
    }
};

struct RollRig {
    motion::Animator animator{0.0};
    Thumbs thumbs{[](const QString&, bool, int) { return Thumbs::Made{}; }};
    QScrollArea area;
    GridView* grid = new GridView(nullptr, &animator, &thumbs);
    RollRig(int width, int height) {
        area.setFrameShape(QFrame::NoFrame);
        area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area.resize(width, height);
        area.setWidget(grid);
        area.show();
        fit(width, false);
    }
    void fit(int width, bool animated) {
        grid->setViewportHeight(area.viewport()->height());
        grid->resize(width, std::max(grid->height(), area.viewport()->height()));
        grid->relayout(animated);
    }
    // Paints the visible part the way the window's backing store does: one painter
    // on the target, the grid's paint event for the exposed region.
    void paint(QImage& target) {
        const QRect visible = grid->visibleRect().toAlignedRect();
        QPainter painter(&target);
        painter.translate(-visible.topLeft());
        grid->render(&painter, visible.topLeft(), QRegion(visible), QWidget::DrawChildren);
    }
};

double ms(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

void benchSetShots() {
    const ShotList shots = mixedShots(kShots);
    const std::vector<QSize> sizes = cellSizes(shots, 268);
    double ours = 1e9, anchor = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        {
            RollRig rig(268, 860);
            QImage target(268, 860, QImage::Format_ARGB32_Premultiplied);
            target.fill(Qt::black);
            QElapsedTimer t;
            t.start();
            rig.grid->setShots(shots, false);
            rig.paint(target);
            ours = std::min(ours, ms(t));
        }
        {
            ListRig list(QSize(268, 860));
            QImage target(268, 860, QImage::Format_ARGB32_Premultiplied);
            QElapsedTimer t;
            t.start();
            list.model = listModel(sizes);
            list.view.setModel(list.model.get());
            list.view.doItemsLayout();
            list.view.viewport()->render(&target);
            anchor = std::min(anchor, ms(t));
        }
    }
    std::printf("grid_setshots_10k: ours %.1f ms, anchor %.1f ms (QListView icon mode, same 10,000 "
                "items and sizes, laid out and painted once), ratio %.2f\n",
                ours, anchor, ours / anchor);
}

void benchRelayout() {
    const ShotList shots = mixedShots(kShots);
    double ours = 1e9, anchor = 1e9;
    int applied = 0;
    for (int round = 0; round < kRounds; ++round) {
        {
            RollRig rig(470, 860);
            rig.grid->setShots(shots, false);
            rig.area.verticalScrollBar()->setValue(rig.grid->height() / 2);
            rig.grid->updateVisible();
            rig.area.resize(720, 860);
            QElapsedTimer t;
            t.start();
            rig.fit(720, true);
            ours = std::min(ours, ms(t));
            applied = rig.grid->lastAppliedCount();
        }
        {
            ListRig list(QSize(470, 860));
            list.model = listModel(cellSizes(shots, 470));
            list.view.setModel(list.model.get());
            list.view.doItemsLayout();
            list.view.verticalScrollBar()->setValue(list.view.verticalScrollBar()->maximum() / 2);
            QElapsedTimer t;
            t.start();
            list.view.resize(720, 860);
            list.view.doItemsLayout();
            anchor = std::min(anchor, ms(t));
        }
    }
    std::printf("grid_relayout_10k: ours %.2f ms, %d cells applied, anchor %.2f ms (QListView "
                "relayout of the same items at the new width), ratio %.2f\n",
                ours, applied, anchor, ours / anchor);
}

void benchFrame() {
    const ShotList shots = mixedShots(400);
    double best[3] = {1e9, 1e9, 1e9};
    int visible = 0, moving = 0;
    // PROFILE_REPEAT=n paints each measured frame n more times (for a profiler).
    const int repeat = std::max(1, qEnvironmentVariableIntValue("PROFILE_REPEAT"));
    for (const int dpr : {1, 2}) {
        RollRig rig(1200, 860);
        rig.grid->setTarget(190);
        rig.fit(1200, false);
        rig.grid->setShots(shots, false);
        for (int i = 0; i < shots.size(); ++i)
            rig.grid->cell(shots[i]->path)->setImage(screenshot(640, 400, i), false);
        QImage target(1200 * dpr, 860 * dpr, QImage::Format_ARGB32_Premultiplied);
        target.setDevicePixelRatio(dpr);
        rig.paint(target); // at rest: what the roll showed before the change
        // Mid-animation: five columns become seven, every visible cell springs to its
        // new place and size; the frames fall in the first half of the springs.
        rig.grid->setTarget(160);
        rig.fit(1200, true);
        double now = 0.05;
        visible = moving = 0;
        for (int i = 0; i < shots.size(); ++i) {
            ThumbView* cell = rig.grid->cell(shots[i]->path);
            if (!rig.grid->frameOf(shots[i]->path)->intersects(rig.grid->visibleRect()))
                continue;
            ++visible;
            moving += cell->animating();
        }
        for (int frame = 0; frame < 12; ++frame) {
            now += 0.012;
            rig.animator.advanceTo(now);
            target.fill(Qt::black);
            QElapsedTimer t;
            t.start();
            rig.paint(target);
            best[dpr] = std::min(best[dpr], ms(t));
            for (int r = 1; r < repeat; ++r)
                rig.paint(target);
        }
    }
    const double budget = 1000.0 / 60;
    std::printf("grid_frame_board: ours %.2f ms at ratio 2 (%.2f ms at ratio 1, %d cells with "
                "images, %d of them moving), anchor %.1f ms (one 60 Hz frame), ratio %.2f\n",
                best[2], best[1], visible, moving, budget, best[2] / budget);
}

// Timer events delivered in the main thread during `ms` of a real event loop.
class TimerCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Timer)
            ++count;
        return false;
    }
};

int wakeupsPerSecond(bool animate) {
    QScrollArea area;
    Thumbs thumbs{[](const QString&, bool, int) { return Thumbs::Made{}; }};
    auto* grid = new GridView(nullptr, nullptr, &thumbs); // the real animator and ticker
    area.resize(470, 860);
    area.setWidget(grid);
    area.show();
    grid->setViewportHeight(area.viewport()->height());
    grid->resize(470, 860);
    const ShotList shots = mixedShots(200);
    grid->setShots(shots, false);
    grid->relayout(false);
    QEventLoop settle;
    QTimer::singleShot(300, &settle, &QEventLoop::quit);
    settle.exec();

    ThumbView* cell = grid->cell(shots[0]->path);
    if (animate) {
        cell->parts().layer.add("bench",
                                motion::Animation::basic(motion::Prop::Opacity, 0, 1, 5.0));
        grid->trackAnimating(cell);
    }
    TimerCounter counter;
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    qApp->installEventFilter(&counter);
    loop.exec();
    qApp->removeEventFilter(&counter);
    cell->parts().layer.removeAll();
    return counter.count - 1; // the single shot that ended the second
}

void benchIdle() {
    const int ours = wakeupsPerSecond(false);
    const int anchor = wakeupsPerSecond(true);
    std::printf("grid_idle_wakeups: ours %d /s, anchor %d /s (the same grid while one cell "
                "animates), ratio %.2f\n",
                ours, anchor, anchor > 0 ? double(ours) / anchor : 0.0);
}

size_t heapInUse() {
    malloc_trim(0);
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void benchBytes() {
    const ShotList shots = mixedShots(kShots);
    const std::vector<QSize> sizes = cellSizes(shots, 268);
    RollRig rig(268, 860);
    const size_t before = heapInUse();
    rig.grid->setShots(shots, false);
    const size_t after = heapInUse();
    const double ours = double(after - before) / kShots;

    ListRig list(QSize(268, 860));
    const size_t listBefore = heapInUse();
    list.model = listModel(sizes);
    list.view.setModel(list.model.get());
    list.view.doItemsLayout();
    const size_t listAfter = heapInUse();
    const double anchor = double(listAfter - listBefore) / kShots;
    std::printf("grid_bytes_per_cell: ours %.0f B, anchor %.0f B (QListView item with its model "
                "entry), ratio %.2f\n",
                ours, anchor, ours / anchor);
    std::fprintf(stderr, "  sizeof(ThumbView) = %zu B\n", sizeof(ThumbView));
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", "offscreen").toUtf8());
    QApplication app(argc, argv);
    // `bench_grid name…` runs only the named parts (for profiling one of them).
    const QStringList only = app.arguments().mid(1);
    auto wanted = [&](const char* name) { return only.isEmpty() || only.contains(name); };
    if (wanted("bytes"))
        benchBytes();
    if (wanted("setshots"))
        benchSetShots();
    if (wanted("relayout"))
        benchRelayout();
    if (wanted("frame"))
        benchFrame();
    if (wanted("idle"))
        benchIdle();
    return 0;
}
