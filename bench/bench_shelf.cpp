// The shelf's two hot paths.
//
// shelf_reload_10k: a reload whose listing did not change, as the controller
// runs it after every library change: the chip rows are updated (same
// signatures, so only numbers are compared), the counter is set and the grid is
// given the same 10,000 shots, spread over 50 folders. The anchor, measured in
// the same run, builds both chip rows and all the grid's cells from scratch.
//
// shelf_scroll_frame: one scroll step of a one-column roll of those shots: the
// perforations move, the grid brings its cells near the viewport up to date and
// the card repaints. The anchor is a full repaint of the card without scrolling.
//
// Times are CPU time of the main thread, median of many runs.
#include "grid/GridView.h"
#include "library/Shot.h"
#include "shelf/ChipRows.h"
#include "shelf/Motion.h"
#include "shelf/PerfStrip.h"
#include "shelf/Scheduler.h"
#include "shelf/ShelfView.h"

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

double threadMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// 10,000 shots in a root and 49 subfolders, newest first, with a mix of shapes.
struct Roll {
    QString root = QStringLiteral("/bench/Screenshots");
    QHash<QString, QStringList> childMap;
    QSet<QString> folders;
    ShotList shots;
    Library::Counts counts;

    Roll() {
        QStringList children;
        for (int f = 1; f < 50; ++f)
            children << root + QStringLiteral("/Folder %1").arg(f);
        childMap.insert(root, children);
        folders.insert(root);
        for (const QString& c : children)
            folders.insert(c);
        const QSizeF shapes[] = {{2880, 1800}, {1200, 1600}, {800, 800}, {3024, 964}};
        for (int i = 0; i < 10000; ++i) {
            const QString folder = i % 50 == 0 ? root : children[(i % 50) - 1];
            const double t = 1.7e9 - i * 60.0;
            shots.append(std::make_shared<Shot>(folder + QStringLiteral("/Shot %1.png").arg(i), t,
                                                t, shapes[i % 4], false, true));
            counts.perFolder[folder] += 1;
        }
        counts.all = shots.size();
        counts.session = 120;
        counts.perFolder[root] = shots.size();
    }

    ChipSource source() const {
        ChipSource src;
        src.root = root;
        src.childMap = &childMap;
        src.listed = [this](const QString& path) { return folders.contains(path); };
        src.counts = counts;
        src.name = [](const QString& path) { return path.mid(path.lastIndexOf('/') + 1); };
        return src;
    }
};

struct Card {
    motion::Animator animator{0.0};
    ManualScheduler scheduler{0, &animator};
    std::unique_ptr<ShelfView> shelf;

    explicit Card(QSize size) {
        shelf = std::make_unique<ShelfView>(nullptr, &animator, &scheduler);
        shelf->resize(size);
        shelf->show();
    }
    GridView* grid() const { return shelf->grid(); }
};

void reload10k() {
    Roll roll;
    const ChipSource source = roll.source();
    const Scope scope = Scope::folder(roll.root + QStringLiteral("/Folder 7"));

    Card card(QSize(268, 720));
    card.shelf->updateChips(source, scope);
    card.grid()->setShots(roll.shots, false, {});
    card.shelf->layoutGrid(false);
    std::vector<double> ours;
    for (int i = 0; i < 60; ++i) {
        const double t0 = threadMs();
        card.shelf->updateChips(source, scope);
        card.shelf->setCount(roll.shots.size(), roll.counts.all);
        card.grid()->setShots(roll.shots, false, {});
        ours.push_back(threadMs() - t0);
    }

    std::vector<double> anchor;
    for (int i = 0; i < 5; ++i) {
        Card fresh(QSize(268, 720));
        const double t0 = threadMs();
        fresh.shelf->updateChips(source, scope);
        fresh.shelf->setCount(roll.shots.size(), roll.counts.all);
        fresh.grid()->setShots(roll.shots, false, {});
        anchor.push_back(threadMs() - t0);
    }
    const double o = median(ours), a = median(anchor);
    std::printf("shelf_reload_10k: ours %.2f ms, anchor %.2f ms, ratio %.3f\n", o, a, o / a);
}

void scrollFrame() {
    Roll roll;
    Card card(QSize(268, 720));
    card.shelf->updateChips(roll.source(), Scope::all());
    card.grid()->setShots(roll.shots, false, {});
    card.shelf->layoutGrid(false);
    QScrollBar* bar = card.shelf->roll()->verticalScrollBar();
    QApplication::processEvents();

    std::vector<double> anchor;
    for (int i = 0; i < 30; ++i) {
        const double t0 = threadMs();
        card.shelf->repaint();
        anchor.push_back(threadMs() - t0);
    }
    std::vector<double> ours;
    for (int i = 0; i < 200; ++i) {
        const double t0 = threadMs();
        bar->setValue(bar->value() + 40); // one wheel notch
        card.shelf->roll()->viewport()->repaint();
        card.shelf->perfL()->repaint();
        card.shelf->perfR()->repaint();
        ours.push_back(threadMs() - t0);
    }
    const double o = median(ours), a = median(anchor);
    std::printf("shelf_scroll_frame: ours %.2f ms, anchor %.2f ms, ratio %.3f\n", o, a, o / a);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", "offscreen").toUtf8());
    QApplication app(argc, argv);
    reload10k();
    scrollFrame();
    return 0;
}
