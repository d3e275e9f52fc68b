// Reading a backlog of screenshots, each figure against its anchor:
//   ocr_backlog_200: wall time until 200 screenshots of 1920×1080 with UI text
//     are all searchable, from an empty index, against the tesseract command
//     line reading the same files on one thread
//   ocr_backlog_frame: the longest frame of a board of 10,000 shots scrolled
//     offscreen while that backlog is read, against the same with recognition
//     off
// The workers run at idle priority: on a machine others are using they get
// only the time nobody else wants, which measures the others. The time is
// therefore taken with the workers at normal priority, as an otherwise idle
// machine would run them (BENCH_BACKLOG_IDLE=1 keeps the idle class); the
// frames are taken with the product's idle-priority workers. The load
// average is printed.
// BENCH_BACKLOG_COUNT overrides the number of screenshots for a quicker look.
#include "content/RecognitionPool.h"
#include "content/TextIndex.h"
#include "content/Thumbs.h"
#include "grid/GridView.h"
#include "platform/TextRecognizer.h"
#include "settings/Prefs.h"

#include "OcrHardCorpus.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

const char* const kWords[] = {
    "account", "archive",  "backup",   "battery",  "browser", "calendar", "change",   "channel",
    "client",  "comment",  "connect",  "contact",  "control", "create",   "current",  "default",
    "delete",  "desktop",  "details",  "device",   "display", "document", "download", "export",
    "feature", "filter",   "folder",   "format",   "general", "history",  "import",   "install",
    "invoice", "keyboard", "language", "library",  "message", "monitor",  "network",  "payment",
    "preview", "privacy",  "profile",  "project",  "publish", "refresh",  "release",  "request",
    "review",  "schedule", "security", "session",  "setting", "share",    "shortcut", "storage",
    "summary", "support",  "template", "terminal", "toolbar", "update",   "upload",   "weather",
};
constexpr int kWordCount = int(sizeof kWords / sizeof kWords[0]);

double threadMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').value(0).toDouble() : -1;
}

ShotList render(const QString& dir, int count) {
    ShotList shots;
    for (int i = 0; i < count; ++i) {
        const hard::Image image =
            hard::window(kWords, kWordCount, i, QSize(1920, 1080), 1.0, i % 2 == 1);
        const QString path = QStringLiteral("%1/shot-%2.png").arg(dir).arg(i);
        image.image.save(path);
        // Created a minute apart, newest last, as a folder fills up.
        shots.append(std::make_shared<Shot>(path, 1.7e9 + i * 60, 1.7e9 + i * 60,
                                            QSizeF(1920, 1080), false, true));
    }
    return shots;
}

// The anchor: the command line over the same files, one thread, one process.
double anchorSeconds(const QString& dir, const ShotList& shots) {
    QFile list(dir + QStringLiteral("/list.txt"));
    list.open(QIODevice::WriteOnly);
    for (const ShotPtr& shot : shots)
        list.write(shot->path.toUtf8() + '\n');
    list.close();
    QProcess tesseract;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    tesseract.setProcessEnvironment(env);
    tesseract.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    tesseract.start(QStringLiteral("tesseract"), {list.fileName(), QStringLiteral("stdout"),
                                                  QStringLiteral("-l"), QStringLiteral("eng")});
    tesseract.waitForFinished(3600000);
    return double(timer.nsecsElapsed()) / 1e9;
}

// The roll of 10,000 shots scrolled by a step per frame, `frames` times; the
// longest frame in ms: the scroll, what the event loop then runs (results of
// recognition handed back included) and the paint.
struct Roll {
    motion::Animator animator{0.0};
    Thumbs thumbs{[](const QString&, bool, int) { return Thumbs::Made{}; }};
    QScrollArea area;
    GridView* grid = new GridView(nullptr, &animator, &thumbs);
    QImage target{1200, 860, QImage::Format_ARGB32_Premultiplied};

    Roll() {
        ShotList shots;
        for (int i = 0; i < 10000; ++i)
            shots.append(std::make_shared<Shot>(
                QStringLiteral("/home/u/Pictures/Screenshots/shot %1.png").arg(i), 1.7e9 - i * 60,
                1.7e9 - i * 60, QSizeF(i % 3 ? 1920 : 1440, i % 3 ? 1080 : 900), false, true));
        area.setFrameShape(QFrame::NoFrame);
        area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area.resize(1200, 860);
        area.setWidget(grid);
        area.show();
        grid->setTarget(190);
        grid->setViewportHeight(area.viewport()->height());
        grid->resize(1200, area.viewport()->height());
        grid->relayout(false);
        grid->setShots(shots, false);
    }
    // The longest wall time of a frame; `cpu` gets the longest in the main
    // thread's CPU time (blind to other processes taking the core).
    double longestFrame(int frames, double* cpu = nullptr) {
        QScrollBar* bar = area.verticalScrollBar();
        double longest = 0;
        for (int frame = 0; frame < frames; ++frame) {
            QElapsedTimer t;
            t.start();
            const double cpuStart = threadMs();
            bar->setValue((bar->value() + 37) % std::max(1, bar->maximum()));
            QCoreApplication::processEvents();
            grid->updateVisible();
            const QRect visible = grid->visibleRect().toAlignedRect();
            QPainter painter(&target);
            painter.translate(-visible.topLeft());
            grid->render(&painter, visible.topLeft(), QRegion(visible), QWidget::DrawChildren);
            painter.end();
            longest = std::max(longest, double(t.nsecsElapsed()) / 1e6);
            if (cpu)
                *cpu = std::max(*cpu, threadMs() - cpuStart);
            // A 60 Hz display asks for the next frame a little later.
            QThread::msleep(4);
        }
        return longest;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    QTemporaryDir dir, home;
    // A private settings store: recognition on, the default languages.
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    Prefs::resetSharedForTesting();
    Prefs::shared().set(Key::ocr, true);
    TextRecognizer::limitThreads();

    // bench_backlog --write DIR N leaves N screenshots in DIR, for a look.
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--write")) {
        QDir().mkpath(args[2]);
        render(args[2], args[3].toInt());
        return 0;
    }
    const int count = qEnvironmentVariableIntValue("BENCH_BACKLOG_COUNT") > 0
                          ? qEnvironmentVariableIntValue("BENCH_BACKLOG_COUNT")
                          : 200;
    const ShotList shots = render(dir.path(), count);
    const double loadBefore = loadAverage();

    // Recognition off: the roll alone.
    Roll roll;
    roll.longestFrame(30); // warm up
    double quietCpu = 0, busyCpu = 0;
    // The longest of 300 frames is one frame: a single hiccup of the machine
    // decides it. Three rounds, each quiet then while the backlog is read as
    // the product reads it (at idle priority); the median round counts.
    std::vector<double> quiets, busies;
    for (int round = 0; round < 3; ++round) {
        quiets.push_back(roll.longestFrame(300, &quietCpu));
        TextIndex index(QString(), &TextIndex::read);
        index.setForeground(true); // as the open panel sets it
        index.enqueue(shots);
        busies.push_back(roll.longestFrame(300, &busyCpu));
        index.shutdown(10000);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double quiet = median(quiets), busy = median(busies);

    // The time until the backlog is searchable, from an empty index, with as
    // many readers as the product starts when the idle class is granted.
    TextIndex index(QString(), &TextIndex::read);
    const bool idle = qEnvironmentVariableIntValue("BENCH_BACKLOG_IDLE") == 1;
    index.setIdlePriority(idle);
    if (!idle)
        index.setWorkerLimit(RecognitionPool::threadsFor(count, QThread::idealThreadCount(), true));
    QElapsedTimer timer;
    timer.start();
    index.enqueue(shots);
    // Waits without taking a core from the readers.
    QEventLoop wait;
    QObject::connect(&index, &TextIndex::pendingChanged, &wait, [&](qsizetype pending) {
        if (pending == 0)
            wait.quit();
    });
    if (!index.idle())
        wait.exec();
    const double ours = double(timer.nsecsElapsed()) / 1e9;
    const int read = int(index.entries().size());
    const int peak = index.peakWorkers();

    const double anchor = anchorSeconds(dir.path(), shots);
    std::printf("ocr_backlog_%d: ours %.1f s, anchor %.1f s (tesseract CLI, one thread, one "
                "process for the whole file list, same files), ratio %.2f\n",
                count, ours, anchor, ours / anchor);
    std::printf("ocr_backlog_frame: ours %.2f ms (longest of 300 frames scrolling 10,000 shots "
                "while the backlog is read, median of 3 rounds), anchor %.2f ms (the same with "
                "recognition off), "
                "ratio %.2f\n",
                busy, quiet, busy / quiet);
    std::fprintf(
        stderr,
        "  %d of %d read; %d workers at most, %s; %d cores; load average %.2f before, "
        "%.2f after; longest frame in main-thread CPU time %.2f ms while reading (idle class), "
        "%.2f ms with recognition off\n",
        read, count, peak,
        !idle                                 ? "normal priority"
        : RecognitionPool::idleClassGranted() ? "idle scheduling class"
                                              : "nice 19",
        QThread::idealThreadCount(), loadBefore, loadAverage(), busyCpu, quietCpu);
    return 0;
}
