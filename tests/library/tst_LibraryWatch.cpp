#include "LibrarySupport.h"
#include "library/DirWatcher.h"
#include "platform/CaptureMark.h"

#include <QMutex>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QThread>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>

using namespace LibrarySupport;

namespace {

// Replaces `path` as editors do: written under a hidden name, renamed over the old file.
bool replace(const QString& path, const QByteArray& bytes) {
    const QString part = QFileInfo(path).dir().filePath(".part");
    writeFile(part, bytes);
    return ::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) == 0;
}

// The renames of paths below a prefix, all and those on the main thread (see renameat2 below).
const pthread_t g_main = pthread_self(); // static initialisation runs on the main thread
QMutex g_lock;
QByteArray g_prefix;
std::atomic<int> g_renames{0}, g_renamesOnMain{0};

void countRenames(const QByteArray& prefix) {
    QMutexLocker locker(&g_lock);
    g_prefix = prefix;
    g_renames = g_renamesOnMain = 0;
}

} // namespace

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to,
                         unsigned flags) __THROW {
    using Real = int (*)(int, const char*, int, const char*, unsigned);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "renameat2"));
    QMutexLocker locker(&g_lock);
    if (!g_prefix.isEmpty() && QByteArray(from).startsWith(g_prefix)) {
        ++g_renames;
        g_renamesOnMain += pthread_equal(pthread_self(), g_main) ? 1 : 0;
    }
    locker.unlock();
    return real(fromDir, from, toDir, to, flags);
}

// A watched library and its races; "nothing more" is checked by a later marker (events in order).
class tst_LibraryWatch : public QObject {
    Q_OBJECT
    // Writes `name` into `dir` and waits for it to arrive in the root.
    static bool marked(LibraryRig& r, const QString& dir, const QString& name) {
        writeFile(dir + '/' + name, "whole");
        return QTest::qWaitFor([&] { return r.events->arrived().contains(r.root + '/' + name); },
                               20000);
    }

private slots:
    // A new screenshot is announced once, after the change, within the arrival window.
    void newScreenshotArrives() {
        LibraryRig r(true);
        QVERIFY(r.load());
        shot(r.root, "Sub/holiday.png"); // a plain image is not announced
        const QString path = shot(r.root, "Screenshot new.png");
        QTRY_COMPARE_WITH_TIMEOUT(r.events->arrived(), QStringList{path}, 20000);
        QCOMPARE(r.events->log.mid(r.events->log.size() - 2), QStringList({"changed", "arrived"}));
        double offset = Library::arrivalWindow + 10;
        r.lib->setClock([&offset] { return double(QDateTime::currentSecsSinceEpoch()) + offset; });
        WAIT_FOR(r.lists(shot(r.root, "Screenshot late.png")));
        offset = Library::arrivalWindow - 10;
        QVERIFY(marked(r, r.root, "Screenshot in time.png"));
        QCOMPARE(r.events->arrived().size(), 2);
    }

    // Refreshes within the coalescing delay are announced together, and only once.
    void refreshesCoalesce() {
        LibraryRig r(true);
        QVERIFY(r.load({{"A/.keep", ""}, {"B/.keep", ""}}));
        for (const char* name :
             {"A/Screenshot one.png", "B/Screenshot two.png", "Screenshot 3.png"})
            shot(r.root, name);
        r.lib->refresh({r.root + "/A"});
        r.lib->refresh({r.root + "/B"});
        r.lib->refresh({r.root});
        WAIT_FOR(!r.events->arrivals.isEmpty());
        QCOMPARE(r.events->arrivals.first().size(), 3);
        QVERIFY(marked(r, r.root, "Screenshot marker.png"));
        QCOMPARE(r.events->arrived().size(), 4);
    }

    // A root is followed as it appears; a deleted subfolder is dropped with all below it.
    void foldersComeAndGo() {
        LibraryRig r(true);
        const QString root = r.env.home() + "/NotYet";
        QVERIFY(r.load({}, root));
        QVERIFY(!r.lib->readable());
        QDir().mkpath(root);
        WAIT_FOR(r.lib->readable());
        WAIT_FOR(r.lists(shot(root, "New/Inner/x.png")));
        QCOMPARE(r.lib->folders(), QStringList({root + "/New", root + "/New/Inner"}));
        QVERIFY(QDir(root + "/New").removeRecursively());
        WAIT_FOR(r.lib->all().isEmpty() && r.lib->folders().isEmpty());
        QVERIFY(!r.lib->listing().contains(root + "/New/Inner"));
    }

    // A root reached through a link, renamed away and back, is followed with its changes.
    void rootMovesAndLinks() {
        LibraryRig r(true);
        const QString target = r.env.home() + "/Target", away = r.env.home() + "/Away";
        const QString deleted = shot(target, "Screenshot 1.png");
        shot(target, "Screenshot 2.png");
        const QString root = r.env.home() + "/Link";
        QVERIFY(QFile::link(target, root));
        QVERIFY(r.load({}, root));
        const QString added = shot(target, "Screenshot added.png");
        QVERIFY(QFile::remove(deleted));
        WAIT_FOR(r.lists(added) && r.lib->all().size() == 2);
        QVERIFY(QDir().rename(target, away));
        WAIT_FOR(r.lib->all().isEmpty() && !r.lib->readable());
        QVERIFY(QDir().rename(away, target));
        WAIT_FOR(r.lib->all().size() == 2 && r.lib->readable());
    }

    // A reload drops a running rescan's result unannounced and loses no file landing mid-walk.
    void reloadRaces() {
        LibraryRig r(true);
        QVERIFY(r.load());
        {
            Gate gate(*r.lib);
            const QString file = shot(r.root, "Screenshot racing.png");
            r.lib->refresh({r.root});
            WAIT_FOR(gate.entries.load() == 1);
            r.lib->setScanGate({});
            r.lib->reload();
            gate.open();
            WAIT_FOR(r.lists(file));
        }
        QVERIFY(marked(r, r.root, "Screenshot marker.png"));
        QCOMPARE(r.events->arrived().size(), 1);
        Gate gate(*r.lib);
        r.lib->reload();
        WAIT_FOR(gate.entries.load() == 1);
        r.lib->setScanGate({});
        // Written after the walk listed the root; the new watcher hands it over at once, as ours.
        bool seen = false;
        DirWatcher own(r.root, 0, false, [&](const QStringList&) { seen = true; });
        const QString file = shot(r.root, "Screenshot during.png");
        WAIT_FOR(seen);
        QCoreApplication::processEvents();
        gate.open();
        WAIT_FOR(r.lists(file));
    }

    // Recent strays move in by a worker, numbered beside taken names; others stay.
    void straysArePulledIn() {
        LibraryRig r(true);
        const QString stale = shot(r.system, "Screenshot stale.png", 300);
        shot(r.system, "Screenshot recent.png", 60);
        QVERIFY(r.load({}, {}, r.system));
        WAIT_FOR(QFile::exists(r.root + "/Screenshot recent.png"));
        QVERIFY(!QFile::exists(r.system + "/Screenshot recent.png") && QFile::exists(stale));
        const QString videos = r.env.mkdir("Videos/Screencasts");
        const QString filed = shot(r.root, "Screenshots/Screenshot filed.png", 30);
        r.lib->setStrayFolders([&r, videos] {
            return QStringList{r.system, videos, r.root + "/Screenshots"};
        });
        r.lib->watchStrays();
        // A tool folder inside the library is part of it: nothing is pulled out of it.
        QCOMPARE(r.lib->strayDirs(), QStringList({r.system, videos}));
        countRenames(QFile::encodeName(r.env.home() + "/"));
        writeFile(r.root + "/Screenshot taken.png", "mine");
        writeFile(r.system + "/Screenshot taken.png", "new");
        writeFile(r.system + "/holiday.png", "photo");
        const QString numbered = r.root + "/Screenshot taken 2.png";
        WAIT_FOR(r.events->arrived().contains(numbered));
        QVERIFY(marked(r, videos, "Screencast from today.webm"));
        QVERIFY(!QFile::exists(videos + "/Screencast from today.webm"));
        QVERIFY(CaptureMark::has(numbered) && contents(numbered) == "new");
        QCOMPARE(contents(r.root + "/Screenshot taken.png"), QByteArray("mine"));
        QVERIFY(QFile::exists(r.system + "/holiday.png") && QFile::exists(filed));
        QVERIFY(g_renames >= 2);
        QCOMPARE(g_renamesOnMain.load(), 0);
        countRenames({});
    }

    // A stray on another file system waits for its writer; one on the root's is moved at once.
    void strayStillBeingWrittenIsNotTaken() {
        LibraryRig r(true);
        if (!mountTmpfs(r.system))
            QSKIP("needs root and a private mount namespace for a second file system");
        QVERIFY(r.load());
        const QString near = r.env.mkdir("Near");
        r.lib->setStrayFolders([&r, near] { return QStringList{r.system, near}; });
        r.lib->watchStrays();
        QFile file(r.system + "/Screenshot slow.png");
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("first half ") == 11 && file.flush());
        QVERIFY(marked(r, near, "Screenshot marker.png"));
        QVERIFY(file.exists());
        QCOMPARE(file.write("second half"), 11);
        file.close();
        const QString target = r.root + "/Screenshot slow.png";
        WAIT_FOR(QFile::exists(target) && !file.exists());
        QCOMPARE(contents(target), QByteArray("first half second half"));
    }

    // A stray created empty and rewritten later leaves one whole file in the root, not two.
    void emptyStrayWaitsForItsContent() {
        LibraryRig r(true);
        QVERIFY(r.load({}, {}, r.system));
        const QString source = writeFile(r.system + "/Screenshot twice.png", QByteArray());
        QVERIFY(marked(r, r.system, "Screenshot marker.png"));
        QVERIFY(QFile::exists(source));
        writeFile(source, "the picture");
        WAIT_FOR(r.events->arrived().contains(r.root + "/Screenshot twice.png"));
        QVERIFY(marked(r, r.system, "Screenshot marker 2.png"));
        QCOMPARE(contents(r.root + "/Screenshot twice.png"), QByteArray("the picture"));
        QVERIFY(!QFile::exists(source) && !QFile::exists(r.root + "/Screenshot twice 2.png"));
    }

    // A library destroyed mid-scan waits for the job, drops the queued one, hears nothing after.
    void destroyedWhileScanning() {
        LibraryRig r;
        QSemaphore entered, never;
        std::atomic<int> jobs{0};
        auto lib = std::make_unique<Library>(r.root);
        lib->setFeedText(false);
        lib->setSystemLocation([&r] { return r.root; });
        lib->setScanGate([&] {
            ++jobs;
            entered.release();
            never.tryAcquire(1, 2000); // keeps the job running well into the destructor
        });
        lib->reload();
        lib->reload(); // queued behind the first walk
        QVERIFY(entered.tryAcquire(1, 20000));
        lib.reset();
        // A result posted for the gone library must find no receiver (ASan would say).
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QCOMPARE(jobs.load(), 1);
    }

    // A rescan older than an own change is made again: no old state, no ghost, no announcement.
    void ownChangesBeatOlderRescans_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("held");     // folders whose rescan is held
        QTest::addColumn<QStringList>("expected"); // listed afterwards, relative to the root
        QTest::newRow("move") << "move" << QStringList{"A", "Work"}
                              << QStringList{"Work/a.png", "Work/b.png"};
        QTest::newRow("rename") << "rename" << QStringList{"A"}
                                << QStringList{"A/Invoice.png", "Work/b.png"};
        QTest::newRow("trash") << "trash" << QStringList{"A"} << QStringList{"Work/b.png"};
        QTest::newRow("rename folder")
            << "renameFolder" << QStringList{"", "Work"} << QStringList{"A/a.png", "Done/b.png"};
        QTest::newRow("trash folder")
            << "trashFolder" << QStringList{"", "Work"} << QStringList{"A/a.png"};
    }
    void ownChangesBeatOlderRescans() {
        QFETCH(QString, operation);
        QFETCH(QStringList, held);
        QFETCH(QStringList, expected);
        LibraryRig r;
        QVERIFY(r.load({{"A/a.png", "x"}, {"Work/b.png", "x"}}));
        int ghosts = 0;
        QObject context;
        connect(r.lib.get(), &Library::changed, &context, [&] {
            for (const ShotPtr& listed : r.lib->all())
                ghosts += QFileInfo::exists(listed->path) ? 0 : 1;
        });
        Gate gate(*r.lib);
        QSet<QString> dirs;
        for (const QString& dir : held)
            dirs.insert(dir.isEmpty() ? r.root : r.root + '/' + dir);
        r.lib->refresh(dirs);
        WAIT_FOR(gate.entries.load() == 1);

        const ShotPtr a = r.find("A/a.png");
        if (operation == "move")
            QCOMPARE(r.lib->move({a}, r.root + "/Work"), 1);
        else if (operation == "rename")
            QVERIFY(r.lib->rename(a, "Invoice"));
        else if (operation == "trash")
            QCOMPARE(r.lib->trash({a}), 1);
        else if (operation == "renameFolder")
            QVERIFY(r.lib->renameFolder(r.root + "/Work", "Done"));
        else
            QVERIFY(r.lib->trashFolder(r.root + "/Work"));
        QCOMPARE(r.listed(), expected);
        gate.open();
        WAIT_FOR(gate.entries.load() >= 2 && r.listed() == expected);
        QCOMPARE(ghosts, 0);
        QVERIFY(r.events->arrivals.isEmpty());
    }

    // A folder unreadable at the reload is listed once readable (the parent's rescan walks it).
    void unreadableFolderAppearsLater() {
        LibraryRig r;
        const WithoutModeOverride asUser;
        shot(r.root, "Locked/Screenshot inside.png");
        const QByteArray locked = QFile::encodeName(r.root + "/Locked");
        QCOMPARE(::chmod(locked.constData(), 0), 0);
        const auto unlock = qScopeGuard([&] { ::chmod(locked.constData(), 0755); });
        QVERIFY(r.load());
        if (r.lib->listing().contains(r.root + "/Locked"))
            QSKIP("file modes do not hold for this user");
        QCOMPARE(::chmod(locked.constData(), 0755), 0);
        WAIT_FOR(r.listed().contains("Locked/Screenshot inside.png"));
        QVERIFY(r.lib->folders().contains(r.root + "/Locked"));
    }

    // After the kernel dropped events every listed folder and every entry is rescanned.
    void lostEventsRescanEveryFolder() {
        LibraryRig r;
        QVERIFY(r.load({{"A/edited.png", pngBytes(8, 6)}}));
        QFile limit(QStringLiteral("/proc/sys/fs/inotify/max_queued_events"));
        const int queue =
            limit.open(QIODevice::ReadOnly) ? limit.readAll().trimmed().toInt() : 16384;
        // No event loop runs meanwhile: two files closed in turn give one event each, overflowing.
        const QByteArray flood[] = {QFile::encodeName(writeFile(r.root + "/.flood1")),
                                    QFile::encodeName(writeFile(r.root + "/.flood2"))};
        for (int i = 0; i <= queue; ++i)
            ::close(::open(flood[i % 2].constData(), O_WRONLY));
        shot(r.root, "A/late.png"); // its events are among the lost ones
        QVERIFY(replace(r.root + "/A/edited.png", pngBytes(16, 12)));
        WAIT_FOR(r.listed().contains("A/late.png"));
        WAIT_FOR(r.find("A/edited.png") && r.find("A/edited.png")->pixelSize == QSizeF(16, 12));
    }

    // A rescan built while another is in flight checks every entry, undoing nothing newer.
    void laterRescanKeepsTheNewerState() {
        LibraryRig r;
        QVERIFY(r.load({{"edited.png", pngBytes(8, 6)}}));
        const int detections = SystemCapture::detections();
        Gate gate(*r.lib);
        QVERIFY(replace(r.root + "/edited.png", pngBytes(16, 12)));
        WAIT_FOR(gate.entries.load() == 1); // listed the new content, not yet applied
        shot(r.root, "other.png");
        WAIT_FOR(r.lib->rescansInFlight() == 2);
        gate.open();
        WAIT_FOR(r.lib->rescansInFlight() == 0 && r.listed().contains("other.png"));
        QCOMPARE(r.find("edited.png")->pixelSize, QSizeF(16, 12));
        QCOMPARE(SystemCapture::detections(), detections);
    }

    // The cache detects on its worker and scans use the prefix it found.
    void detectionRunsOnAWorker() {
        CaptureCache& cache = CaptureCache::shared();
        std::atomic<bool> onMain{true};
        cache.setDetectorForTesting([&onMain] {
            onMain = QThread::currentThread() == QCoreApplication::instance()->thread();
            CaptureFacts facts;
            facts.namePrefix = QStringLiteral("Grab ");
            return facts;
        });
        QSignalSpy changed(&cache, &CaptureCache::changed);
        QCOMPARE(cache.facts(), CaptureFacts());
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 20000);
        QVERIFY(!onMain);
        QVERIFY(ScanOptions::current().prefixes.contains(QStringLiteral("grab ")));
        cache.setDetectorForTesting({});
    }
};

TAMBERK_TEST(tst_LibraryWatch)
#include "tst_LibraryWatch.moc"
