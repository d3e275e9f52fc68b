#include "FileOpsSupport.h"
#include "LibrarySupport.h"
#include "RenameSpy.h"
#include "platform/CaptureMark.h"

#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>

using namespace LibrarySupport;

namespace {

// Every notification of a library, in the order it was emitted.
struct Events {
    QStringList log; // "changed" or "arrived"
    QList<ShotList> arrivals;
    QObject context; // disconnects when the test's events go

    explicit Events(Library& library) {
        QObject::connect(&library, &Library::changed, &context, [this] { log.append("changed"); });
        QObject::connect(&library, &Library::arrived, &context, [this](const ShotList& shots) {
            log.append("arrived");
            arrivals.append(shots);
        });
    }
    QStringList arrived() const {
        QStringList result;
        for (const ShotList& shots : arrivals)
            result += paths(shots);
        return result;
    }
};

// Holds a library's scan worker at its gate until released.
struct Gate {
    QSemaphore release;
    std::atomic<bool> entered{false};

    explicit Gate(Library& lib) {
        lib.setScanGate([this] {
            entered = true;
            release.acquire();
        });
    }
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

#define WAIT_FOR(condition) QTRY_VERIFY_WITH_TIMEOUT(condition, 20000)

class tst_LibraryWatch : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_root = m_dir.path() + "/Shots";
        m_system = m_dir.path() + "/System";
        QDir().mkpath(m_root);
        QDir().mkpath(m_system);
        Prefs::shared().set(Key::onlyShots, true);
        Prefs::shared().set(Key::includeSub, true);
        Prefs::shared().set(Key::syncSystem, true);
    }

    void cleanup() {
        m_lib.reset();
        FileOpsSupport::unmount(m_system); // when a test mounted one there
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    // A new screenshot is announced once, after the change, within the library's arrival window.
    void newScreenshotArrives() {
        QVERIFY(load(m_root));
        Events events(*m_lib);
        shot(m_root, "Sub/holiday.png"); // a plain image is not announced
        const QString path = shot(m_root, "Screenshot new.png");
        QTRY_COMPARE_WITH_TIMEOUT(events.arrived(), QStringList{path}, 20000);
        QCOMPARE(events.log.mid(events.log.size() - 2), QStringList({"changed", "arrived"}));

        double offset = 190; // a file arrives 170 s after its creation, not 190 s
        m_lib->setClock([&offset] { return double(QDateTime::currentSecsSinceEpoch()) + offset; });
        const QString late = shot(m_root, "Screenshot late.png");
        WAIT_FOR(lists(late));
        offset = 170;
        const QString inTime = shot(m_root, "Screenshot in time.png");
        WAIT_FOR(events.arrived().contains(inTime));
        QCOMPARE(events.arrived(), QStringList({path, inTime}));
    }

    // Directories refreshed within the coalescing delay are rescanned and announced together.
    void refreshesCoalesce() {
        QDir().mkpath(m_root + "/A");
        QDir().mkpath(m_root + "/B");
        QVERIFY(load(m_root));
        Events events(*m_lib);
        shot(m_root, "A/Screenshot one.png");
        shot(m_root, "B/Screenshot two.png");
        shot(m_root, "Screenshot three.png");
        m_lib->refresh({m_root + "/A"});
        m_lib->refresh({m_root + "/B"});
        m_lib->refresh({m_root});
        WAIT_FOR(!events.arrivals.isEmpty());
        QCOMPARE(events.arrivals.first().size(), 3);
        QTest::qWait(500); // the watcher's later reports add nothing
        QCOMPARE(events.arrivals.size(), 1);
    }

    // A root is followed as it appears and goes; a deleted subfolder is dropped with all below it.
    void foldersComeAndGo() {
        const QString root = m_dir.path() + "/NotYet";
        QVERIFY(load(root));
        QVERIFY(!m_lib->readable());
        QDir().mkpath(root);
        WAIT_FOR(m_lib->readable());
        const QString file = shot(root, "New/Inner/x.png");
        WAIT_FOR(lists(file));
        QCOMPARE(m_lib->folders(), QStringList({root + "/New", root + "/New/Inner"}));
        QVERIFY(QDir(root + "/New").removeRecursively());
        WAIT_FOR(m_lib->all().isEmpty() && m_lib->folders().isEmpty());
        QVERIFY(!m_lib->listing().contains(root + "/New/Inner"));
        QVERIFY(QDir().rename(root, m_dir.path() + "/Elsewhere"));
        WAIT_FOR(!m_lib->readable());
    }

    // A root holding frames that is renamed away empties the listing and is
    // unreadable; renamed back, its frames return. Through a link, the
    // target's added and deleted files are both followed.
    void rootMovesAndLinks_data() {
        QTest::addColumn<bool>("linked");
        QTest::newRow("folder") << false;
        QTest::newRow("link") << true;
    }
    void rootMovesAndLinks() {
        QFETCH(bool, linked);
        const QString target = m_dir.path() + "/Target";
        QStringList files;
        for (int i = 0; i < 10; ++i)
            files << shot(target, QStringLiteral("Screenshot %1.png").arg(i));
        const QString root = linked ? m_dir.path() + "/Link" : target;
        if (linked)
            QVERIFY(QFile::link(target, root));
        QVERIFY(load(root));
        QCOMPARE(m_lib->all().size(), 10);
        const QString added = shot(target, "Screenshot added.png");
        const QString deleted = files.takeFirst();
        QVERIFY(QFile::remove(deleted));
        WAIT_FOR(lists(added) && !lists(deleted) && m_lib->all().size() == 10);
        QVERIFY(QDir().rename(target, m_dir.path() + "/Away"));
        WAIT_FOR(m_lib->all().isEmpty());
        QVERIFY(!m_lib->readable());
        QVERIFY(QDir().rename(m_dir.path() + "/Away", target));
        WAIT_FOR(m_lib->all().size() == 10 && m_lib->readable());
        QVERIFY(lists(added));
    }

    // A reload drops a running rescan's result unannounced and loses no file landing mid-walk.
    void reloadRaces() {
        QVERIFY(load(m_root));
        Events events(*m_lib);
        {
            Gate gate(*m_lib);
            const QString file = shot(m_root, "Screenshot racing.png");
            m_lib->refresh({m_root});
            WAIT_FOR(gate.entered.load());
            m_lib->setScanGate({});
            m_lib->reload();
            gate.release.release(100);
            WAIT_FOR(lists(file));
            QTest::qWait(500);
            QVERIFY(events.arrivals.isEmpty());
        }
        Gate gate(*m_lib);
        m_lib->reload();
        WAIT_FOR(gate.entered.load());
        m_lib->setScanGate({});
        // Written after the walk listed the root, before its result is in.
        const QString file = shot(m_root, "Screenshot during.png");
        QTest::qWait(300);
        gate.release.release(100);
        WAIT_FOR(lists(file));
    }

    // Recent strays move into the root, numbered beside a taken name, which stays untouched.
    void strayScreenshotsArePulledIn() {
        const QString recent = shot(m_system, "Screenshot recent.png", 60);
        const QString stale = shot(m_system, "Screenshot stale.png", 300);
        QVERIFY(load(m_root, m_system));
        WAIT_FOR(QFile::exists(m_root + "/Screenshot recent.png"));
        QVERIFY(!QFile::exists(recent));
        QVERIFY(QFile::exists(stale));

        Events events(*m_lib);
        writeFile(m_root + "/Screenshot taken.png", "mine");
        writeFile(m_system + "/Screenshot taken.png", "new");
        writeFile(m_system + "/holiday.png", "photo");
        const QString numbered = m_root + "/Screenshot taken 2.png";
        WAIT_FOR(events.arrived().contains(numbered));
        QVERIFY(CaptureMark::has(numbered));
        QCOMPARE(contents(numbered), QByteArray("new"));
        QCOMPARE(contents(m_root + "/Screenshot taken.png"), QByteArray("mine"));
        QVERIFY(QFile::exists(m_system + "/holiday.png"));
    }

    // A tool folder inside the library is part of it: nothing is pulled out of it.
    void toolFolderInsideTheRootStaysPut() {
        const QString filed = shot(m_root, "Screenshots/Screenshot filed.png", 30);
        QVERIFY(load(m_root, m_root + "/Screenshots"));
        QVERIFY(m_lib->strayDirs().isEmpty());
        QVERIFY(lists(filed));
        QVERIFY(QFile::exists(filed));
    }

    // Recordings in the tool's recordings folder are pulled in like screenshots,
    // by a worker: the main thread makes no move of its own.
    void recordingsArePulledInOffTheMainThread() {
        const QString videos = m_dir.path() + "/Videos/Screencasts";
        QDir().mkpath(videos);
        RenameSpy::watch(QFile::encodeName(m_dir.path() + "/"));
        m_lib = std::make_unique<Library>(m_root);
        m_lib->setFeedText(false);
        m_lib->setStrayFolders([this, videos] { return QStringList{m_system, videos}; });
        m_lib->reload();
        WAIT_FOR(m_lib->scanned());
        QCOMPARE(m_lib->strayDirs(), QStringList({m_system, videos}));
        Events events(*m_lib);
        const QString recording = writeFile(videos + "/Screencast from today.webm", "frames");
        const QString screenshot = writeFile(m_system + "/Screenshot today.png", "pixels");
        WAIT_FOR(events.arrived().contains(m_root + "/Screencast from today.webm") &&
                 events.arrived().contains(m_root + "/Screenshot today.png"));
        QVERIFY(!QFile::exists(recording) && !QFile::exists(screenshot));
        QVERIFY(RenameSpy::calls() >= 2);
        QCOMPARE(RenameSpy::onMainThread(), 0);
        RenameSpy::watch({});
    }

    // Files the library renames or moves itself are never announced, not even by the later rescan.
    void ownMovesAreNotAnnounced() {
        QDir().mkpath(m_root + "/Filed");
        shot(m_root, "Screenshot a.png", 10);
        shot(m_root, "Screenshot b.png", 20);
        QVERIFY(load(m_root));
        Events events(*m_lib);
        const ShotList before = m_lib->all();
        QVERIFY(m_lib->rename(before.at(0), "Invoice"));
        QCOMPARE(m_lib->move({before.at(1)}, m_root + "/Filed"), 1);
        const QString marker = shot(m_root, "Screenshot marker.png");
        WAIT_FOR(events.arrived().contains(marker));
        QTest::qWait(300);
        QCOMPARE(events.arrived(), QStringList{marker});
    }

    // A stray on another file system is copied only once its writer is done.
    void strayStillBeingWrittenIsNotTaken() {
        if (!FileOpsSupport::mountTmpfs(m_system))
            QSKIP("needs root and a private mount namespace for a second file system");
        QVERIFY(load(m_root, m_system));
        const QString source = m_system + "/Screenshot slow.png";
        const QString target = m_root + "/Screenshot slow.png";
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write("first half "), 11);
            QVERIFY(file.flush());
            QTest::qWait(300);
            QCOMPARE(file.write("second half"), 11);
        }
        WAIT_FOR(QFile::exists(target) && !QFile::exists(source));
        QCOMPARE(contents(target), QByteArray("first half second half"));
    }

    // A stray created empty and rewritten later leaves one whole file in the root, not two.
    void emptyStrayWaitsForItsContent() {
        QVERIFY(load(m_root, m_system));
        const QString source = m_system + "/Screenshot twice.png";
        writeFile(source, QByteArray());
        QTest::qWait(700);
        QVERIFY(QFile::exists(source));
        writeFile(source, "the picture");
        const QString target = m_root + "/Screenshot twice.png";
        WAIT_FOR(QFile::exists(target) && !QFile::exists(source));
        QCOMPARE(contents(target), QByteArray("the picture"));
        QTest::qWait(300);
        QVERIFY(!QFile::exists(m_root + "/Screenshot twice 2.png"));
    }

    // A library destroyed while its worker is busy waits for the running job,
    // drops the queued one, and nothing reaches it afterwards.
    void destroyedWhileScanning() {
        shot(m_root, "Screenshot.png");
        QSemaphore entered;
        QSemaphore never;
        std::atomic<int> jobs{0};
        auto lib = std::make_unique<Library>(m_root);
        lib->setFeedText(false);
        lib->setSystemLocation([this] { return m_root; });
        lib->setScanGate([&] {
            ++jobs;
            entered.release();
            // Keeps the job running well into the destructor, which must wait for it.
            never.tryAcquire(1, 2000);
        });
        lib->reload();
        lib->reload(); // queued behind the first walk
        QVERIFY(entered.tryAcquire(1, 20000));
        lib.reset();
        // A result posted for the gone library must find no receiver (ASan
        // reports a use after free otherwise).
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QCOMPARE(jobs.load(), 1);
    }

private:
    bool load(const QString& root, const QString& system = {}) {
        m_lib = loaded(root, system);
        return m_lib != nullptr;
    }

    bool lists(const QString& path) const { return paths(m_lib->all()).contains(path); }

    std::unique_ptr<Library> m_lib;
    QTemporaryDir m_dir;
    QString m_root;
    QString m_system;
};

TAMBERK_TEST(tst_LibraryWatch)
#include "tst_LibraryWatch.moc"
