// The library's live path and its queries.
//
// arrival_latency: a root of 10,000 screenshots is loaded and watched; then a
// new screenshot is written and closed, again and again with quiet gaps
// between them, and each time the wall time from the close to the library's
// `arrived` is taken (inotify, the watcher's delivery, the 0.1 s coalescing,
// the rescan of the 10,000-entry root on the worker and the recomputation).
// Recognition is off so the figure is the library's own. Anchor: the least a
// watcher of that folder can do, a bare QFileSystemWatcher that waits out the
// same 0.1 s and lists the 10,001 names.
//
// query_50k / counts_50k: 50,000 shots in 100 folders, each with a text in
// the index; `shots(all, two words)` and `counts()` are timed as CPU time of
// the main thread (they run there and never wait), median of many runs.
// Anchors: the same question answered by brute force over plain lists (each
// path's text searched for both words; a hash of folder counts rebuilt).
#include "BenchSupport.h"
#include "content/TextIndex.h"
#include "library/Library.h"
#include "settings/Prefs.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {

double threadMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double percentile(QList<double> values, double p) {
    std::sort(values.begin(), values.end());
    const qsizetype index =
        std::min(values.size() - 1, qsizetype(p * double(values.size() - 1) + 0.5));
    return values.at(index);
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

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

std::unique_ptr<Library> loaded(const QString& root) {
    auto library = std::make_unique<Library>(root);
    library->setFeedText(false);
    library->setSystemLocation([root] { return root; });
    library->reload();
    if (!QTest::qWaitFor([&] { return library->scanned(); }, 600000))
        return nullptr;
    return library;
}

// Times 40 arrivals, each written after a quiet gap: screenshots come
// seconds apart, so each one is the first event after a quiet period. The
// watcher under test calls `seen(path)` when it reports a file.
struct ArrivalClock {
    QEventLoop loop; // blocking, so every hop is handled the moment it is due
    QElapsedTimer sinceClose;
    QString waitingFor;
    double latency = -1;

    void seen(const QString& path) {
        if (path == waitingFor && latency < 0) {
            latency = double(sinceClose.nsecsElapsed()) / 1e6;
            loop.quit();
        }
    }

    // `pattern` has one %1 for the number; empty when a write or a wait failed.
    QList<double> run(const QString& pattern, const QByteArray& bytes) {
        QList<double> samples;
        for (int i = 0; i < 40; ++i) {
            QTimer::singleShot(400, &loop, &QEventLoop::quit);
            loop.exec();
            waitingFor = pattern.arg(i);
            latency = -1;
            const int fd = open(QFile::encodeName(waitingFor).constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            const bool written =
                fd >= 0 && write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
            if (fd >= 0)
                close(fd);
            if (!written)
                return {};
            sinceClose.start();
            QTimer timeout;
            timeout.setSingleShot(true);
            QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
            timeout.start(20000);
            if (latency < 0)
                loop.exec();
            if (latency < 0)
                return {};
            samples.append(latency);
        }
        return samples;
    }
};

// One arrival seen the plainest way: the directory's change signal, the same
// 0.1 s of coalescing, then a listing that must hold the new name.
QList<double> bareArrivals(const QString& root, const QByteArray& bytes) {
    QFileSystemWatcher watcher({root});
    ArrivalClock clock;
    QTimer coalesce;
    coalesce.setSingleShot(true);
    coalesce.setInterval(100);
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &coalesce,
                     qOverload<>(&QTimer::start));
    QObject::connect(&coalesce, &QTimer::timeout, [&] {
        const QString name = QFileInfo(clock.waitingFor).fileName();
        if (QDir(root).entryList(QDir::Files).contains(name))
            clock.seen(clock.waitingFor);
    });
    return clock.run(root + QStringLiteral("/Anchor 2026-03-01 at %1.png"), bytes);
}

bool arrivalLatency(const QString& base) {
    const QString root = base + QStringLiteral("/arrival");
    QDir().mkpath(root);
    const QByteArray bytes = png();
    for (int i = 0; i < 10000; ++i) {
        if (!writeAll(root + QStringLiteral("/Screenshot 2026-01-01 at %1.png").arg(i), bytes))
            return false;
    }
    auto library = loaded(root);
    if (!library)
        return false;

    ArrivalClock clock;
    QObject::connect(library.get(), &Library::arrived, [&](const ShotList& shots) {
        for (const ShotPtr& shot : shots)
            clock.seen(shot->path);
    });
    const QList<double> samples =
        clock.run(root + QStringLiteral("/Screenshot 2026-02-01 at %1.png"), bytes);
    if (samples.isEmpty())
        return false;
    library.reset();
    const QList<double> bare = bareArrivals(root, bytes);
    if (bare.isEmpty())
        return false;
    const double ours = percentile(samples, 0.95);
    const double anchor = percentile(bare, 0.95);
    std::printf("arrival_latency: ours p50 %.0f ms, p95 %.0f ms, anchor p50 %.0f ms, p95 %.0f ms "
                "(bare watcher, same coalescing, one listing), ratio %.2f (p95)\n",
                percentile(samples, 0.5), ours, percentile(bare, 0.5), anchor,
                anchor > 0 ? ours / anchor : 0);
    std::fflush(stdout);
    return true;
}

bool queries(const QString& base) {
    const QString root = base + QStringLiteral("/query");
    const QStringList words{"invoice", "total",  "receipt", "meeting", "agenda", "error",
                            "warning", "build",  "deploy",  "budget",  "review", "draft",
                            "login",   "search", "window",  "terminal"};
    QRandomGenerator random(42);
    TextIndex::Map map;
    for (int folder = 0; folder < 100; ++folder) {
        const QString dir = root + QStringLiteral("/Folder %1/Sub").arg(folder);
        QDir().mkpath(dir);
        for (int i = 0; i < 500; ++i) {
            const QString path = dir + QStringLiteral("/Screenshot %1-%2.png").arg(folder).arg(i);
            if (!writeAll(path, QByteArray()))
                return false;
            QStringList text;
            for (int w = 0; w < 12; ++w)
                text.append(words.at(int(random.bounded(words.size()))));
            map.insert(path, {0, text.join(QLatin1Char(' ')), {}});
        }
    }
    // The library's own index reads this file at construction.
    const QString indexFile = TextIndex::defaultFile();
    QDir().mkpath(QFileInfo(indexFile).absolutePath());
    if (!writeAll(indexFile, TextIndex::encode(map)))
        return false;

    Prefs::shared().set(Key::includeSub, true);
    auto library = loaded(root);
    if (!library || library->all().size() != 50000)
        return false;

    const QString query = QStringLiteral("invoice total");
    qsizetype found = 0;
    QList<double> queryMs;
    QList<double> countsMs;
    for (int run = 0; run < 30; ++run) {
        const double start = threadMs();
        found = library->shots(Scope::all(), query).size();
        queryMs.append(threadMs() - start);
    }
    for (int run = 0; run < 30; ++run) {
        const double start = threadMs();
        const Library::Counts counts = library->counts();
        countsMs.append(threadMs() - start);
        if (counts.all != 50000)
            return false;
    }
    if (found == 0 || found == 50000)
        return false;

    // Brute force over the same texts and paths.
    QList<QPair<QString, QString>> plain;
    plain.reserve(map.size());
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        plain.append({it.key(), it.value().t});
    QList<double> scanMs;
    QList<double> tallyMs;
    qsizetype bruteFound = 0;
    for (int run = 0; run < 30; ++run) {
        const double start = threadMs();
        bruteFound = 0;
        for (const auto& [path, text] : plain) {
            if (text.contains(QLatin1String("invoice"), Qt::CaseInsensitive) &&
                text.contains(QLatin1String("total"), Qt::CaseInsensitive))
                ++bruteFound;
        }
        scanMs.append(threadMs() - start);
    }
    for (int run = 0; run < 30; ++run) {
        const double start = threadMs();
        QHash<QString, int> perFolder;
        for (const auto& entry : plain)
            ++perFolder[entry.first.section(QLatin1Char('/'), 0, -2)];
        tallyMs.append(threadMs() - start);
        if (perFolder.size() != 100)
            return false;
    }
    if (bruteFound == 0)
        return false;
    const double ourQuery = percentile(queryMs, 0.5);
    const double scan = percentile(scanMs, 0.5);
    const double counts = percentile(countsMs, 0.5);
    const double tally = percentile(tallyMs, 0.5);
    std::printf("query_50k: ours %.1f ms, anchor %.1f ms (every text searched for both words), "
                "ratio %.2f\n",
                ourQuery, scan, scan > 0 ? ourQuery / scan : 0);
    std::printf("counts_50k: ours %.1f ms, anchor %.1f ms (folder counts rebuilt from the paths), "
                "ratio %.2f\n",
                counts, tally, tally > 0 ? counts / tally : 0);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    bench::privateHome(dir.path());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Prefs::shared().set(Key::syncSystem, false);
    Prefs::shared().set(Key::ocr, false);

    bool ok = arrivalLatency(dir.path());
    ok = queries(dir.path()) && ok;
    if (!ok)
        std::fprintf(stderr, "bench_library: a measurement failed\n");
    return ok ? 0 : 1;
}
