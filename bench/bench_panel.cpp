// The docked panel's cost.
//
// panel_expand_frame: a library of 10,000 screenshots; from `expand` to the end
// of the panel's first painted frame (offscreen platform), median of many
// open/close cycles. Anchor: a bare window of the same size shown and painted.
//
// panel_idle_cpu: CPU time of the whole process over 10 s with the panel
// closed and the tab shown. Anchor: the same process idle for 10 s before the
// panel existed (the library watching its folder, nothing else).
//
// panel_rss_10k: resident memory with the 10,000 shots listed and the panel
// open at the top. Anchor: the process with the library loaded, before the
// panel was built.
//
// Scrolling real-size images is measured by bench_roll.
#include "BenchSupport.h"
#include "grid/GridView.h"
#include "library/Library.h"
#include "panel/DockedPanel.h"
#include "panel/PanelController.h"
#include "panel/ShelfPanel.h"
#include "settings/Prefs.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double processCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double residentMb() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / 1048576.0
                             : -1;
}

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values.at(values.size() / 2);
}

void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QByteArray png() {
    QImage image(64, 40, QImage::Format_RGB32);
    image.fill(qRgb(40, 90, 160));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

std::unique_ptr<Library> library(const QString& root) {
    QDir().mkpath(root);
    const QByteArray bytes = png();
    for (int i = 0; i < 10000; ++i) {
        QFile file(root + QStringLiteral("/Screenshot 2026-01-01 at %1.png").arg(i));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return nullptr;
    }
    auto lib = std::make_unique<Library>(root);
    lib->setFeedText(false);
    lib->setSystemLocation([root] { return root; });
    lib->reload();
    if (!QTest::qWaitFor([&] { return lib->scanned(); }, 600000))
        return nullptr;
    return lib;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    bench::privateHome(dir.path());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Prefs::shared().set(Key::syncSystem, false);
    Prefs::shared().set(Key::ocr, false);
    Prefs::shared().set(Key::peek, false);
    Prefs::shared().set(Key::session, QStringLiteral("launch"));

    auto lib = library(dir.path() + QStringLiteral("/shots"));
    if (!lib) {
        std::fprintf(stderr, "bench_panel: the library did not load\n");
        return 1;
    }
    // Everything in view: the session would be empty for files made before launch.
    Prefs::shared().set(Key::scope, QStringLiteral("all"));
    idle(500);
    const double rssAnchor = residentMb();
    const double cpuAnchorStart = processCpuMs();
    idle(10000);
    const double cpuAnchor = processCpuMs() - cpuAnchorStart;

    DockedPanel docked(*lib);
    PanelController& ctl = docked.controller();
    ShelfPanel& panel = docked.panel();

    // The bare-window anchor: a window of the panel's size, shown and painted.
    QList<double> bare;
    {
        QWidget plain(nullptr, Qt::Window | Qt::FramelessWindowHint);
        plain.setGeometry(ctl.windowFrame().toAlignedRect());
        for (int i = 0; i < 200; ++i) {
            QElapsedTimer t;
            t.start();
            plain.show();
            plain.repaint();
            bare.append(double(t.nsecsElapsed()) / 1e6);
            plain.hide();
        }
    }
    QList<double> expands;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer t;
        t.start();
        ctl.expand(false);
        panel.repaint();
        expands.append(double(t.nsecsElapsed()) / 1e6);
        if (i == 0) {
            idle(300);
            const double rss = residentMb();
            std::printf("panel_rss_10k: ours %.0f MB, anchor %.0f MB (library loaded, no "
                        "panel), ratio %.2f; budget 200 MB\n",
                        rss, rssAnchor, bench::ratio(rss, rssAnchor));
            std::fflush(stdout);
        }
        ctl.collapse(true);
        panel.orderOut();
    }
    const double expand = median(expands);
    const double bareMs = median(bare);
    std::printf("panel_expand_frame: ours %.2f ms, anchor %.2f ms (bare window of the same "
                "size), ratio %.1f; budget 16 ms\n",
                expand, bareMs, bench::ratio(expand, bareMs));
    std::fflush(stdout);

    idle(2500); // the tab's entrance (its pop spring lasts about 1.4 s) settles
    const double cpuStart = processCpuMs();
    idle(10000);
    const double cpu = processCpuMs() - cpuStart;
    std::printf("panel_idle_cpu: ours %.1f ms, anchor %.1f ms (same process before the panel), "
                "ratio %.2f; budget 10 ms\n",
                cpu, cpuAnchor, bench::ratio(cpu, cpuAnchor));
    return 0;
}
