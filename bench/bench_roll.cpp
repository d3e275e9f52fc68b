// The roll on real-size screenshots: 2,000 PNGs of 1920 × 1080 with desktop
// content (40 distinct pictures, each linked under 50 names), made once into
// the build folder. The panel is opened as a board, the widest card a
// 1920 × 1080 offscreen screen allows.
//
// thumbs_scroll_rss: resident memory once the decodes settled after the board
// was scrolled from top to bottom a screenful at a time and back, above the
// same process before scrolling. Anchor: the thumbnail cache's limit for this
// view; the budget is that limit + 150 MB.
//
// thumbs_scroll_settle: CPU time of the whole process from the end of that
// scroll until it is idle. Anchor: decoding just the cells visible at the end,
// one after another on this thread (the least the work can be); budget 2×.
//
// thumbs_viewport_ready: wall time from a jump to the middle of the roll until
// every visible cell shows its image and was painted. Anchor: those cells ×
// one decode's wall time ÷ the workers the machine runs at once; budget 1.5×.
//
// panel_open_idle_cpu: CPU time of the whole process over 10 s with the board
// open and nothing moving; budget 20 ms.
#include "BenchSupport.h"
#include "content/Thumbs.h"
#include "grid/GridView.h"
#include "library/Library.h"
#include "panel/DockedPanel.h"
#include "panel/PanelController.h"
#include "panel/PanelGeometry.h"
#include "panel/ShelfPanel.h"
#include "platform/Memory.h"
#include "settings/Prefs.h"
#include "shelf/ShelfView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int kPictures = 40;
constexpr int kNames = 2000;

double processCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double residentMb() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / 1048576.0
                             : -1;
}

void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until half a second passes with under 10 ms of CPU.
void settle() {
    for (int i = 0; i < 1200; ++i) {
        const double before = processCpuMs();
        idle(500);
        if (processCpuMs() - before < 10)
            return;
    }
}

// The library folder in the build tree, made on the first run.
QString realShots() {
    const QString base = QCoreApplication::applicationDirPath() + QStringLiteral("/real-shots");
    const QString lib = base + QStringLiteral("/library");
    if (QDir(lib).entryList(QDir::Files).size() == kNames)
        return lib;
    QDir(base).removeRecursively();
    QDir().mkpath(lib);
    for (int i = 0; i < kPictures; ++i) {
        const QString picture = base + QStringLiteral("/picture %1.png").arg(i);
        if (!bench::screenshot(1920, 1080, i).save(picture))
            return {};
    }
    for (int n = 0; n < kNames; ++n) {
        const QByteArray from =
            QFile::encodeName(base + QStringLiteral("/picture %1.png").arg(n % kPictures));
        const QByteArray to = QFile::encodeName(
            lib +
            QStringLiteral("/Screenshot 2026-01-01 at %1.png").arg(n, 4, 10, QLatin1Char('0')));
        if (::link(from.constData(), to.constData()) != 0 && !QFile::copy(from, to))
            return {};
    }
    return lib;
}

QList<ThumbView*> visibleCells(GridView* grid) {
    QList<ThumbView*> out;
    const QRectF visible = grid->visibleRect();
    for (const ShotPtr& shot : grid->shots()) {
        if (grid->frameOf(shot->path)->intersects(visible))
            out << grid->cell(shot->path);
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    bench::privateHome(dir.path());
    const QString screens = dir.filePath(QStringLiteral("screens.json"));
    {
        QFile json(screens);
        if (!json.open(QIODevice::WriteOnly) ||
            json.write(R"({"screens":[{"name":"bench","x":0,"y":0,"width":1920,"height":1080,)"
                       R"("logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})") < 0)
            return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screens));
    Memory::returnFreedImages();
    QApplication app(argc, argv);
    Prefs::shared().set(Key::syncSystem, false);
    Prefs::shared().set(Key::ocr, false);
    Prefs::shared().set(Key::peek, false);
    Prefs::shared().set(Key::session, QStringLiteral("launch"));
    const QString root = realShots();
    if (root.isEmpty()) {
        std::fprintf(stderr, "bench_roll: the images could not be made\n");
        return 1;
    }
    Library lib(root);
    lib.setFeedText(false);
    lib.setSystemLocation([root] { return root; });
    lib.reload();
    if (!QTest::qWaitFor([&] { return lib.scanned(); }, 600000))
        return 1;
    Prefs::shared().set(Key::scope, QStringLiteral("all"));

    DockedPanel docked(lib);
    PanelController& ctl = docked.controller();
    ShelfPanel& panel = docked.panel();
    ctl.expand(false);
    ctl.setWidthLive(PanelGeometry::maxWidth(ScreenFrames::of()));
    ctl.widthDragEnded();
    GridView* grid = docked.shelf().grid();
    panel.repaint();
    settle();
    const double rssBefore = residentMb();

    QScrollBar* bar = docked.shelf().roll()->verticalScrollBar();
    const int step = std::max(1, docked.shelf().roll()->viewport()->height());
    int screensPassed = 0;
    auto show = [&](int y) {
        bar->setValue(y);
        panel.repaint();
        QCoreApplication::processEvents();
        ++screensPassed;
    };
    for (int y = 0; y <= bar->maximum(); y += step)
        show(y);
    for (int y = bar->maximum(); y >= 0; y -= step)
        show(y);
    show(0);
    const double cpuStart = processCpuMs();
    settle();
    const double settleCpu = processCpuMs() - cpuStart - 500; // the quiet half second
    const double rssAfter = residentMb();

    // The least the settling could cost: the cells shown now, decoded once.
    const QList<ThumbView*> shown = visibleCells(grid);
    double anchorCpu = 0, anchorWall = 0;
    for (ThumbView* cell : shown) {
        const double cpu = threadCpuMs();
        QElapsedTimer wall;
        wall.start();
        Thumbs::make(cell->shot->path, false, std::max(cell->loaded, 160));
        anchorCpu += threadCpuMs() - cpu;
        anchorWall += double(wall.nsecsElapsed()) / 1e6;
    }
    const double limitMb = double(Thumbs::shared().limit()) / 1048576.0;
    std::printf("thumbs_scroll_rss: ours %.0f MB above before scrolling (%.0f MB resident), "
                "anchor %.0f MB (the thumbnail cache's limit), ratio %.2f; budget limit + 150 MB "
                "(%d columns, %d screens, %d images)\n",
                rssAfter - rssBefore, rssAfter, limitMb,
                bench::ratio(rssAfter - rssBefore, limitMb), grid->columns(), screensPassed,
                kNames);
    std::printf("thumbs_scroll_settle: ours %.0f ms CPU, anchor %.0f ms (decoding the %d cells "
                "shown at the end once), ratio %.2f; budget 2\n",
                settleCpu, anchorCpu, int(shown.size()), bench::ratio(settleCpu, anchorCpu));
    std::fflush(stdout);

    // A jump to the middle: cells the scroll passed without stopping.
    const int workers = Thumbs::shared().workers();
    bar->setValue(bar->maximum() / 2);
    QElapsedTimer ready;
    ready.start();
    // The visible cells are looked up again only when those known are all
    // ready: a walk over every frame at each turn would take from the main
    // thread what it owes the cells.
    QCoreApplication::processEvents();
    QList<ThumbView*> middle = visibleCells(grid);
    const auto allReady = [](const QList<ThumbView*>& cells) {
        return std::all_of(cells.begin(), cells.end(),
                           [](ThumbView* cell) { return !cell->image().isNull(); });
    };
    // Waiting blocks: a loop that polls would spin a core the decodes need. The
    // timer only bounds a wait that nothing else ends.
    QTimer wake;
    wake.start(100);
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (allReady(middle)) {
            middle = visibleCells(grid);
            if (allReady(middle))
                break;
        }
        if (ready.elapsed() > 120000)
            return 1;
    }
    wake.stop();
    panel.repaint();
    const double readyMs = double(ready.nsecsElapsed()) / 1e6;
    const double oneDecode = shown.isEmpty() ? 0 : anchorWall / double(shown.size());
    const double readyAnchor = double(middle.size()) * oneDecode / workers;
    std::printf("thumbs_viewport_ready: ours %.0f ms, anchor %.0f ms (%d cells × %.1f ms a decode "
                "/ %d workers), ratio %.2f; budget 1.5\n",
                readyMs, readyAnchor, int(middle.size()), oneDecode, workers,
                bench::ratio(readyMs, readyAnchor));
    std::fflush(stdout);

    settle();
    const double idleStart = processCpuMs();
    idle(10000);
    const double idleCpu = processCpuMs() - idleStart;
    std::printf("panel_open_idle_cpu: ours %.1f ms over 10 s, anchor 20 ms (the budget), ratio "
                "%.2f\n",
                idleCpu, idleCpu / 20);
    return 0;
}
