#include "LibrarySupport.h"
#include "library/DirWatcher.h"
#include "platform/CaptureMark.h"

#include <QSemaphore>

using namespace LibrarySupport;

// "Nothing more happened" is checked by a later marker: the watcher reports in
// the order things happened, so once the marker is in, anything the earlier
// change would have caused is in too.
class tst_LibraryWatch : public QObject {
    Q_OBJECT
private slots:
    // A new screenshot is announced once, after the change, within the library's arrival window.
    void newScreenshotArrives() {
        LibraryRig r(true);
        QVERIFY(r.load());
        shot(r.root, "Sub/holiday.png"); // a plain image is not announced
        const QString path = shot(r.root, "Screenshot new.png");
        QTRY_COMPARE_WITH_TIMEOUT(r.events->arrived(), QStringList{path}, 20000);
        QCOMPARE(r.events->log.mid(r.events->log.size() - 2), QStringList({"changed", "arrived"}));

        double offset = 190; // a file arrives 170 s after its creation, not 190 s
        r.lib->setClock([&offset] { return double(QDateTime::currentSecsSinceEpoch()) + offset; });
        const QString late = shot(r.root, "Screenshot late.png");
        WAIT_FOR(r.lists(late));
        offset = 170;
        const QString inTime = shot(r.root, "Screenshot in time.png");
        WAIT_FOR(r.events->arrived().contains(inTime));
        QCOMPARE(r.events->arrived(), QStringList({path, inTime}));
    }

    // Directories refreshed within the coalescing delay are rescanned and
    // announced together; the watcher's own later reports add nothing.
    void refreshesCoalesce() {
        LibraryRig r(true);
        QDir().mkpath(r.root + "/A");
        QDir().mkpath(r.root + "/B");
        QVERIFY(r.load());
        const QStringList three{shot(r.root, "A/Screenshot one.png"),
                                shot(r.root, "B/Screenshot two.png"),
                                shot(r.root, "Screenshot three.png")};
        r.lib->refresh({r.root + "/A"});
        r.lib->refresh({r.root + "/B"});
        r.lib->refresh({r.root});
        WAIT_FOR(!r.events->arrivals.isEmpty());
        QCOMPARE(r.events->arrivals.first().size(), 3);
        const QString marker = shot(r.root, "Screenshot marker.png");
        WAIT_FOR(r.events->arrived().contains(marker));
        QStringList arrived = r.events->arrived();
        arrived.sort();
        QCOMPARE(arrived, QStringList({three[0], three[1], marker, three[2]}));
    }

    // A root is followed as it appears and goes; a deleted subfolder is dropped with all below it.
    void foldersComeAndGo() {
        LibraryRig r(true);
        const QString root = r.env.home() + "/NotYet";
        QVERIFY(r.load(root));
        QVERIFY(!r.lib->readable());
        QDir().mkpath(root);
        WAIT_FOR(r.lib->readable());
        const QString file = shot(root, "New/Inner/x.png");
        WAIT_FOR(r.lists(file));
        QCOMPARE(r.lib->folders(), QStringList({root + "/New", root + "/New/Inner"}));
        QVERIFY(QDir(root + "/New").removeRecursively());
        WAIT_FOR(r.lib->all().isEmpty() && r.lib->folders().isEmpty());
        QVERIFY(!r.lib->listing().contains(root + "/New/Inner"));
        QVERIFY(QDir().rename(root, r.env.home() + "/Elsewhere"));
        WAIT_FOR(!r.lib->readable());
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
        LibraryRig r(true);
        const QString target = r.env.home() + "/Target";
        QStringList files;
        for (int i = 0; i < 10; ++i)
            files << shot(target, QStringLiteral("Screenshot %1.png").arg(i));
        const QString root = linked ? r.env.home() + "/Link" : target;
        QVERIFY(!linked || QFile::link(target, root));
        QVERIFY(r.load(root));
        QCOMPARE(r.lib->all().size(), 10);
        const QString added = shot(target, "Screenshot added.png");
        const QString deleted = files.takeFirst();
        QVERIFY(QFile::remove(deleted));
        WAIT_FOR(r.lists(added) && !r.lists(deleted) && r.lib->all().size() == 10);
        QVERIFY(QDir().rename(target, r.env.home() + "/Away"));
        WAIT_FOR(r.lib->all().isEmpty());
        QVERIFY(!r.lib->readable());
        QVERIFY(QDir().rename(r.env.home() + "/Away", target));
        WAIT_FOR(r.lib->all().size() == 10 && r.lib->readable());
        QVERIFY(r.lists(added));
    }

    // A reload drops a running rescan's result unannounced and loses no file
    // landing mid-walk.
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
        const QString marker = shot(r.root, "Screenshot marker.png");
        WAIT_FOR(r.events->arrived().contains(marker));
        QCOMPARE(r.events->arrived(), QStringList{marker});

        Gate gate(*r.lib);
        r.lib->reload();
        WAIT_FOR(gate.entries.load() == 1);
        r.lib->setScanGate({});
        // Written after the walk listed the root, before its result is in. The
        // library's watcher, new with the reload, hands its first change over
        // as soon as it reads it, as a watcher of our own does.
        bool seen = false;
        DirWatcher own(r.root, 0, false, [&](const QStringList&) { seen = true; });
        const QString file = shot(r.root, "Screenshot during.png");
        WAIT_FOR(seen);
        QCoreApplication::processEvents();
        gate.open();
        WAIT_FOR(r.lists(file));
    }

    // Recent strays move into the root, numbered beside a taken name, which
    // stays untouched; a plain image and an old screenshot stay where they are.
    void strayScreenshotsArePulledIn() {
        LibraryRig r(true);
        const QString recent = shot(r.system, "Screenshot recent.png", 60);
        const QString stale = shot(r.system, "Screenshot stale.png", 300);
        QVERIFY(r.load({}, r.system));
        WAIT_FOR(QFile::exists(r.root + "/Screenshot recent.png"));
        QVERIFY(!QFile::exists(recent));
        QVERIFY(QFile::exists(stale));

        writeFile(r.root + "/Screenshot taken.png", "mine");
        writeFile(r.system + "/Screenshot taken.png", "new");
        writeFile(r.system + "/holiday.png", "photo");
        const QString numbered = r.root + "/Screenshot taken 2.png";
        WAIT_FOR(r.events->arrived().contains(numbered));
        QVERIFY(CaptureMark::has(numbered));
        QCOMPARE(contents(numbered), QByteArray("new"));
        QCOMPARE(contents(r.root + "/Screenshot taken.png"), QByteArray("mine"));
        QVERIFY(QFile::exists(r.system + "/holiday.png"));
    }

    // A tool folder inside the library is part of it: nothing is pulled out of it.
    void toolFolderInsideTheRootStaysPut() {
        LibraryRig r(true);
        const QString filed = shot(r.root, "Screenshots/Screenshot filed.png", 30);
        QVERIFY(r.load({}, r.root + "/Screenshots"));
        QVERIFY(r.lib->strayDirs().isEmpty());
        QVERIFY(r.lists(filed));
    }

    // Recordings in the tool's recordings folder are pulled in like screenshots,
    // by a worker: the main thread makes no move of its own.
    void recordingsArePulledInOffTheMainThread() {
        LibraryRig r(true);
        const QString videos = r.env.mkdir("Videos/Screencasts");
        QVERIFY(r.load());
        // The stray folders change only now, with the library's watchers
        // settled, so no earlier round of pulling in is still under way.
        r.lib->setStrayFolders([&r, videos] { return QStringList{r.system, videos}; });
        r.lib->watchStrays();
        QCOMPARE(r.lib->strayDirs(), QStringList({r.system, videos}));
        RenameSpy::watch(QFile::encodeName(r.env.home() + "/"));
        const QString recording = writeFile(videos + "/Screencast from today.webm", "frames");
        const QString screenshot = writeFile(r.system + "/Screenshot today.png", "pixels");
        WAIT_FOR(r.events->arrived().contains(r.root + "/Screencast from today.webm") &&
                 r.events->arrived().contains(r.root + "/Screenshot today.png"));
        QVERIFY(!QFile::exists(recording) && !QFile::exists(screenshot));
        QVERIFY(RenameSpy::calls() >= 2);
        QCOMPARE(RenameSpy::onMainThread(), 0);
        RenameSpy::watch({});
    }

    // Files the library renames or moves itself are never announced, not even by the later rescan.
    void ownMovesAreNotAnnounced() {
        LibraryRig r(true);
        QDir().mkpath(r.root + "/Filed");
        shot(r.root, "Screenshot a.png", 10);
        shot(r.root, "Screenshot b.png", 20);
        QVERIFY(r.load());
        const ShotList before = r.lib->all();
        QVERIFY(r.lib->rename(before.at(0), "Invoice"));
        QCOMPARE(r.lib->move({before.at(1)}, r.root + "/Filed"), 1);
        const QString marker = shot(r.root, "Screenshot marker.png");
        WAIT_FOR(r.events->arrived().contains(marker));
        QCOMPARE(r.events->arrived(), QStringList{marker});
    }

    // A stray on another file system is copied only once its writer is done.
    void strayStillBeingWrittenIsNotTaken() {
        LibraryRig r(true);
        if (!mountTmpfs(r.system))
            QSKIP("needs root and a private mount namespace for a second file system");
        QVERIFY(r.load());
        // A stray on the root's own file system is moved at once, in the same
        // round that finds the other one still being written.
        const QString near = r.env.mkdir("Near");
        r.lib->setStrayFolders([&r, near] { return QStringList{r.system, near}; });
        r.lib->watchStrays();
        const QString source = r.system + "/Screenshot slow.png";
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write("first half "), 11);
        QVERIFY(file.flush());
        writeFile(near + "/Screenshot marker.png", "whole");
        WAIT_FOR(r.events->arrived().contains(r.root + "/Screenshot marker.png"));
        QVERIFY(QFile::exists(source));
        QCOMPARE(file.write("second half"), 11);
        file.close();
        const QString target = r.root + "/Screenshot slow.png";
        WAIT_FOR(QFile::exists(target) && !QFile::exists(source));
        QCOMPARE(contents(target), QByteArray("first half second half"));
    }

    // A stray created empty and rewritten later leaves one whole file in the root, not two.
    void emptyStrayWaitsForItsContent() {
        LibraryRig r(true);
        QVERIFY(r.load({}, r.system));
        const QString source = writeFile(r.system + "/Screenshot twice.png", QByteArray());
        writeFile(r.system + "/Screenshot marker.png", "whole");
        WAIT_FOR(r.events->arrived().contains(r.root + "/Screenshot marker.png"));
        QVERIFY(QFile::exists(source));
        writeFile(source, "the picture");
        const QString target = r.root + "/Screenshot twice.png";
        WAIT_FOR(r.events->arrived().contains(target));
        QCOMPARE(contents(target), QByteArray("the picture"));
        writeFile(r.system + "/Screenshot marker 2.png", "whole");
        WAIT_FOR(r.events->arrived().contains(r.root + "/Screenshot marker 2.png"));
        QVERIFY(!QFile::exists(source) && !QFile::exists(r.root + "/Screenshot twice 2.png"));
    }

    // A library destroyed while its worker is busy waits for the running job,
    // drops the queued one, and nothing reaches it afterwards.
    void destroyedWhileScanning() {
        LibraryRig r;
        shot(r.root, "Screenshot.png");
        QSemaphore entered;
        QSemaphore never;
        std::atomic<int> jobs{0};
        auto lib = std::make_unique<Library>(r.root);
        lib->setFeedText(false);
        lib->setSystemLocation([&r] { return r.root; });
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
};

TAMBERK_TEST(tst_LibraryWatch)
#include "tst_LibraryWatch.moc"
