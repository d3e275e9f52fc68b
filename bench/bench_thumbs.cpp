// Thumbnail decoding at the grid's common bucket (320) on screenshot-like
// PNGs (2880×1800 and 1920×1080) and 4000×3000 photo JPEGs, against
// vipsthumbnail run as one process over the same files with
// VIPS_CONCURRENCY=1. Both sides are pinned to one core and both are measured
// in CPU time (ours: the decoding thread; the anchor: the child process), so a
// busy neighbour on the shared machine does not count. The sides take turns
// for several rounds after an untimed warm-up; each reports its best round.
// thumbs_png_320_4w is the wall-clock rate of the cache's four workers.
#include "BenchSupport.h"
#include "content/Thumbs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sched.h>
#include <sys/resource.h>

namespace {

constexpr int kRounds = 4;
constexpr int kMaxPixel = 320;

// A photograph: smooth light over texture with sensor noise.
QImage photo(int w, int h, int seed) {
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int base = int(128 + 60 * std::sin(x / 97.0 + seed) * std::cos(y / 61.0));
            const int n = int(rng.bounded(24));
            row[x] = qRgb(std::clamp(base + n, 0, 255), std::clamp(base / 2 + 40 + n, 0, 255),
                          std::clamp(255 - base + n, 0, 255));
        }
    }
    return image;
}

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

double childrenSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void pinToCore(int core) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(core, &set);
    sched_setaffinity(0, sizeof set, &set);
}

// CPU seconds of decoding every file once on this thread; -1 on a failure.
double oursOnce(const QStringList& files) {
    const double start = threadSeconds();
    for (const QString& file : files) {
        if (Thumbs::make(file, false, kMaxPixel).image.isNull())
            return -1;
    }
    return threadSeconds() - start;
}

// CPU seconds of one vipsthumbnail process over every file; -1 on a failure.
double anchorOnce(const QStringList& files, const QString& outDir) {
    QProcess vips;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VIPS_CONCURRENCY"), QStringLiteral("1"));
    vips.setProcessEnvironment(env);
    vips.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double start = childrenSeconds();
    vips.start(QStringLiteral("taskset"),
               QStringList{QStringLiteral("-c"), QStringLiteral("0"),
                           QStringLiteral("vipsthumbnail"), QStringLiteral("--size"),
                           QString::number(kMaxPixel), QStringLiteral("-o"),
                           outDir + QStringLiteral("/tn_%s.jpg")} +
                   files);
    if (!vips.waitForFinished(300000) || vips.exitStatus() != QProcess::NormalExit ||
        vips.exitCode() != 0)
        return -1;
    return childrenSeconds() - start;
}

// Wall seconds for the shared cache's workers to load every file.
double fourWorkersOnce(const QStringList& files) {
    Thumbs thumbs;
    int done = 0, failed = 0;
    QElapsedTimer timer;
    timer.start();
    for (const QString& file : files)
        thumbs.load(std::make_shared<Shot>(file, 1.0, 1.0, QSizeF(), false, true), kMaxPixel,
                    [&](const QImage& image) {
                        ++done;
                        failed += image.isNull() ? 1 : 0;
                    });
    // Blocks between completions (each one is an event); polling would take a
    // core from the decodes.
    while (done < files.size())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return failed ? -1 : timer.nsecsElapsed() / 1e9;
}

bool compare(const char* name, const QStringList& files, const QString& outDir) {
    double ours = 1e9, anchor = 1e9;
    oursOnce(files);
    anchorOnce(files, outDir);
    for (int round = 0; round < kRounds; ++round) {
        const double o = oursOnce(files);
        const double a = anchorOnce(files, outDir);
        if (o < 0 || a < 0) {
            std::fprintf(stderr, "%s: a decode failed\n", name);
            return false;
        }
        ours = std::min(ours, o);
        anchor = std::min(anchor, a);
    }
    const double oursRate = files.size() / ours, anchorRate = files.size() / anchor;
    std::printf("%s: ours %.1f img/s, anchor %.1f img/s (vipsthumbnail, one process, same "
                "files), ratio %.2f\n",
                name, oursRate, anchorRate, oursRate / anchorRate);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("taskset")).isEmpty()) {
        std::fprintf(stderr, "bench_thumbs: vipsthumbnail and taskset are needed\n");
        return 1;
    }
    QTemporaryDir dir;
    const QString outDir = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(outDir);
    QStringList pngs, jpegs;
    for (int i = 0; i < 12; ++i) {
        const QSize size = i % 2 ? QSize(1920, 1080) : QSize(2880, 1800);
        const QString file = dir.filePath(QStringLiteral("Screenshot %1.png").arg(i));
        if (!bench::screenshot(size.width(), size.height(), i).save(file))
            return 1;
        pngs << file;
    }
    for (int i = 0; i < 6; ++i) {
        const QString file = dir.filePath(QStringLiteral("Photo %1.jpg").arg(i));
        if (!photo(4000, 3000, i).save(file, "JPEG", 90))
            return 1;
        jpegs << file;
    }

    cpu_set_t all;
    sched_getaffinity(0, sizeof all, &all);
    pinToCore(0);
    if (!compare("thumbs_png_320", pngs, outDir) || !compare("thumbs_jpeg_320", jpegs, outDir))
        return 1;
    sched_setaffinity(0, sizeof all, &all);

    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const double seconds = fourWorkersOnce(pngs);
        if (seconds < 0)
            return 1;
        best = std::min(best, seconds);
    }
    std::printf("thumbs_png_320_4w: ours %.1f img/s\n", pngs.size() / best);
    return 0;
}
