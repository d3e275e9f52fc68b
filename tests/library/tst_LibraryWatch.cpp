#include "FileOpsSupport.h"
#include "LibrarySupport.h"
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

    explicit Events(Library& library) {
        QObject::connect(&library, &Library::changed, [this] { log.append("changed"); });
        QObject::connect(&library, &Library::arrived, [this](const ShotList& shots) {
            log.append("arrived");
            arrivals.append(shots);
        });
    }
    int changes() const { return int(log.count("changed")); }
    QStringList arrived() const {
        QStringList result;
        for (const ShotList& shots : arrivals)
            result += paths(shots);
        return result;
    }
};

} // namespace

class tst_LibraryWatch : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_root = m_dir.path() + QStringLiteral("/Shots");
        m_system = m_dir.path() + QStringLiteral("/System");
        QDir().mkpath(m_root);
        QDir().mkpath(m_system);
        Prefs::shared().set(Key::onlyShots, true);
        Prefs::shared().set(Key::includeSub, true);
        Prefs::shared().set(Key::syncSystem, true);
    }

    void cleanup() {
        FileOpsSupport::unmount(m_system); // when a test mounted one there
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    // A new screenshot in the root is listed and announced, after the change
    // notification, once; the full reload itself announces nothing.
    void newScreenshotArrives() {
        shot(m_root, QStringLiteral("Screenshot old.png"), 30);
        auto lib = std::make_unique<Library>(m_root);
        lib->setFeedText(false);
        lib->setSystemLocation([this] { return m_root; });
        Events events(*lib);
        lib->reload();
        QTRY_VERIFY_WITH_TIMEOUT(lib->scanned(), 20000);
        QCOMPARE(events.log, QStringList{"changed"});

        const QString path = shot(m_root, QStringLiteral("Screenshot new.png"));
        QTRY_COMPARE_WITH_TIMEOUT(events.arrived(), QStringList{path}, 20000);
        QCOMPARE(events.log.last(), QStringLiteral("arrived"));
        QCOMPARE(events.log.at(events.log.size() - 2), QStringLiteral("changed"));
        QCOMPARE(lib->all().first()->path, path);

        // Later rescans of the same folder never announce it again.
        shot(m_root, QStringLiteral("holiday.png"));
        const int changes = events.changes();
        setModified(path, nowSeconds() - 5);
        QTRY_VERIFY_WITH_TIMEOUT(events.changes() > changes, 20000);
        QCOMPARE(events.arrived(), QStringList{path});
    }

    // Directories refreshed within the coalescing delay are rescanned
    // together: one recomputation lists them all and announces them once.
    void refreshesCoalesce() {
        QDir().mkpath(m_root + QStringLiteral("/A"));
        QDir().mkpath(m_root + QStringLiteral("/B"));
        auto lib = loaded(m_root);
        QVERIFY(lib);
        Events events(*lib);
        const QStringList made{shot(m_root, QStringLiteral("A/Screenshot one.png")),
                               shot(m_root, QStringLiteral("B/Screenshot two.png")),
                               shot(m_root, QStringLiteral("Screenshot three.png"))};
        lib->refresh({m_root + "/A"});
        lib->refresh({m_root + "/B"});
        lib->refresh({m_root});
        QTRY_VERIFY_WITH_TIMEOUT(!events.arrivals.isEmpty(), 20000);
        QCOMPARE(events.arrivals.size(), 1);
        QStringList got = paths(events.arrivals.first());
        QStringList want = made;
        got.sort();
        want.sort();
        QCOMPARE(got, want);
        // The watcher's own reports of the same files come later and add nothing.
        QTest::qWait(500);
        QCOMPARE(events.arrivals.size(), 1);
    }

    // The arrival window is read on the library's clock: a new file still
    // arrives 170 s after its creation, not 190 s after it.
    void arrivalWindowFollowsTheClock() {
        auto lib = loaded(m_root);
        QVERIFY(lib);
        Events events(*lib);
        double offset = 190;
        lib->setClock([&offset] { return nowSeconds() + offset; });
        const QString late = shot(m_root, QStringLiteral("Screenshot late.png"));
        QTRY_VERIFY_WITH_TIMEOUT(paths(lib->all()).contains(late), 20000);
        offset = 170;
        const QString inTime = shot(m_root, QStringLiteral("Screenshot in time.png"));
        QTRY_VERIFY_WITH_TIMEOUT(events.arrived().contains(inTime), 20000);
        QCOMPARE(events.arrived(), QStringList{inTime});
    }

    // An old file copied in is listed but not announced; a recent one is.
    // With "only screenshots" off, a plain image is announced too.
    void onlyRecentFilesArrive() {
        auto lib = loaded(m_root);
        QVERIFY(lib);
        Events events(*lib);
        const QString old = shot(m_root, QStringLiteral("Screenshot old.png"), 200);
        QTRY_VERIFY_WITH_TIMEOUT(paths(lib->all()).contains(old), 20000);
        const QString recent = shot(m_root, QStringLiteral("Screenshot recent.png"), 10);
        QTRY_VERIFY_WITH_TIMEOUT(paths(lib->all()).contains(recent), 20000);
        QCOMPARE(events.arrived(), QStringList{recent});

        Prefs::shared().set(Key::onlyShots, false);
        const QString plain = shot(m_root, QStringLiteral("holiday.png"));
        QTRY_VERIFY_WITH_TIMEOUT(paths(lib->all()).contains(plain), 20000);
        QCOMPARE(events.arrived(), QStringList({recent, plain}));
    }

    // With "only screenshots" on, a plain image in the root is not listed at
    // all, so it cannot be announced; in a subfolder it is listed but, not
    // being a screenshot, not announced.
    void onlyShotsFiltersArrivals() {
        QDir().mkpath(m_root + QStringLiteral("/Sub"));
        auto lib = loaded(m_root);
        QVERIFY(lib);
        Events events(*lib);
        shot(m_root, QStringLiteral("holiday.png"));
        const QString sub = shot(m_root, QStringLiteral("Sub/beach.png"));
        const QString marker = shot(m_root, QStringLiteral("Screenshot marker.png"));
        QTRY_VERIFY_WITH_TIMEOUT(
            paths(lib->all()).contains(sub) && paths(lib->all()).contains(marker), 20000);
        QVERIFY(!paths(lib->all()).contains(m_root + "/holiday.png"));
        QCOMPARE(events.arrived(), QStringList{marker});
    }

    // A new subfolder shows up with its files; a deleted one is dropped with
    // everything below it.
    void foldersComeAndGo() {
        auto lib = loaded(m_root);
        QVERIFY(lib);
        const QString file = shot(m_root, QStringLiteral("New/Inner/x.png"));
        QTRY_VERIFY_WITH_TIMEOUT(paths(lib->all()).contains(file), 20000);
        QCOMPARE(lib->folders(), QStringList({m_root + "/New", m_root + "/New/Inner"}));
        QCOMPARE(lib->childMap().value(m_root), QStringList{m_root + "/New"});
        QCOMPARE(lib->counts().perFolder.value(m_root + "/New"), 1);

        QVERIFY(QDir(m_root + QStringLiteral("/New")).removeRecursively());
        QTRY_VERIFY_WITH_TIMEOUT(lib->all().isEmpty(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(lib->folders().isEmpty(), 20000);
        QVERIFY(!lib->listing().contains(m_root + "/New/Inner"));
        QVERIFY(lib->childMap().value(m_root).isEmpty());
    }

    // Renaming the root folder away makes the library unreadable; bringing it
    // back makes it readable again.
    void rootRenamedBecomesUnreadable() {
        shot(m_root, QStringLiteral("Screenshot 1.png"), 30);
        auto lib = loaded(m_root);
        QVERIFY(lib);
        QVERIFY(lib->readable());
        QVERIFY(QDir().rename(m_root, m_dir.path() + QStringLiteral("/Elsewhere")));
        QTRY_VERIFY_WITH_TIMEOUT(!lib->readable(), 20000);
        QVERIFY(QDir().rename(m_dir.path() + QStringLiteral("/Elsewhere"), m_root));
        QTRY_VERIFY_WITH_TIMEOUT(lib->readable(), 20000);
    }

    // A root that cannot be listed at reload is unreadable and empty, and is
    // picked up once it appears.
    void missingRootAtReload() {
        const QString missing = m_dir.path() + QStringLiteral("/NotYet");
        auto lib = loaded(missing);
        QVERIFY(lib);
        QVERIFY(!lib->readable());
        QVERIFY(lib->listing().isEmpty());
        QDir().mkpath(missing);
        QTRY_VERIFY_WITH_TIMEOUT(lib->readable(), 20000);
        const QString file = shot(missing, QStringLiteral("Screenshot.png"));
        QTRY_VERIFY_WITH_TIMEOUT(paths(lib->all()).contains(file), 20000);
    }

    // A reload started while a rescan is still running drops the rescan's
    // result: the file it found is listed by the reload, not announced.
    void reloadDropsAnOlderRescan() {
        auto lib = loaded(m_root);
        QVERIFY(lib);
        Events events(*lib);
        QSemaphore release;
        std::atomic<bool> entered{false};
        lib->setScanGate([&] {
            entered = true;
            release.acquire();
        });
        const QString file = shot(m_root, QStringLiteral("Screenshot racing.png"));
        lib->refresh({m_root});
        QTRY_VERIFY_WITH_TIMEOUT(entered.load(), 20000);
        lib->setScanGate({});
        lib->reload();
        release.release(100);
        QTRY_VERIFY_WITH_TIMEOUT(paths(lib->all()).contains(file), 20000);
        QTest::qWait(500);
        QVERIFY(events.arrivals.isEmpty());
    }

    // A file that lands while the full reload walks the tree is not lost.
    void filesDuringReloadAreNotLost() {
        auto lib = loaded(m_root);
        QVERIFY(lib);
        QSemaphore release;
        std::atomic<bool> entered{false};
        lib->setScanGate([&] {
            entered = true;
            release.acquire();
        });
        lib->reload();
        QTRY_VERIFY_WITH_TIMEOUT(entered.load(), 20000);
        lib->setScanGate({});
        // Written after the walk listed the root, before its result is in.
        const QString file = shot(m_root, QStringLiteral("Screenshot during.png"));
        QTest::qWait(300);
        release.release(100);
        QTRY_VERIFY_WITH_TIMEOUT(paths(lib->all()).contains(file), 20000);
    }

    // With the system folder elsewhere, a screenshot saved there moves into
    // the root under its own name, or a numbered one when that is taken,
    // carries the capture mark and is announced. Plain images stay.
    void strayScreenshotsArePulledIn() {
        writeFile(m_root + QStringLiteral("/Screenshot taken.png"), "mine");
        auto lib = loaded(m_root, m_system);
        QVERIFY(lib);
        QCOMPARE(lib->strayDir(), std::optional<QString>(m_system));
        Events events(*lib);

        writeFile(m_system + QStringLiteral("/Screenshot taken.png"), "new");
        writeFile(m_system + QStringLiteral("/Screenshot fresh.png"), "fresh");
        writeFile(m_system + QStringLiteral("/holiday.png"), "photo");
        const QString numbered = m_root + QStringLiteral("/Screenshot taken 2.png");
        const QString fresh = m_root + QStringLiteral("/Screenshot fresh.png");
        QTRY_VERIFY_WITH_TIMEOUT(events.arrived().contains(numbered), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(events.arrived().contains(fresh), 20000);
        QVERIFY(CaptureMark::has(numbered));
        QVERIFY(CaptureMark::has(fresh));
        QFile kept(m_root + QStringLiteral("/Screenshot taken.png"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("mine"));
        QVERIFY(QFile::exists(m_system + QStringLiteral("/holiday.png")));
        QVERIFY(!QFile::exists(m_system + QStringLiteral("/Screenshot taken.png")));
    }

    // Files in the system folder from before the watching began are pulled in
    // only within the look-back: 60 s yes, 5 minutes no.
    void strayLookBack() {
        const QString recent = shot(m_system, QStringLiteral("Screenshot recent.png"), 60);
        const QString stale = shot(m_system, QStringLiteral("Screenshot stale.png"), 300);
        auto lib = loaded(m_root, m_system);
        QVERIFY(lib);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_root + "/Screenshot recent.png"), 20000);
        QVERIFY(!QFile::exists(recent));
        QVERIFY(QFile::exists(stale));
        QVERIFY(!QFile::exists(m_root + "/Screenshot stale.png"));
    }

    // No stray watcher exists when synchronisation is off or the system
    // saves into the library's own folder; nothing is moved then.
    void strayWatcherOnlyWhenNeeded() {
        auto same = loaded(m_root, m_root);
        QVERIFY(same);
        QVERIFY(!same->strayDir());

        Prefs::shared().set(Key::syncSystem, false);
        auto off = loaded(m_root, m_system);
        QVERIFY(off);
        QVERIFY(!off->strayDir());
        const QString left = shot(m_system, QStringLiteral("Screenshot left.png"));
        QTest::qWait(600);
        QVERIFY(QFile::exists(left));

        // Turning it on and asking again starts watching and catches up.
        Prefs::shared().set(Key::syncSystem, true);
        off->watchStrays();
        QCOMPARE(off->strayDir(), std::optional<QString>(m_system));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_root + "/Screenshot left.png"), 20000);
        QVERIFY(!QFile::exists(left));
    }

    // Changing the root starts over on the new folder: its shots, not the
    // old ones, and the old tree's changes are no longer followed.
    void setRootSwitchesFolders() {
        // The old root is the system folder here; keep it out of pull-in.
        Prefs::shared().set(Key::syncSystem, false);
        const QString other = m_dir.path() + QStringLiteral("/Other");
        const QString there = shot(other, QStringLiteral("Screenshot there.png"), 30);
        shot(m_root, QStringLiteral("Screenshot here.png"), 30);
        auto lib = loaded(m_root);
        QVERIFY(lib);
        lib->setRoot(other + QStringLiteral("/"));
        QTRY_COMPARE_WITH_TIMEOUT(paths(lib->all()), QStringList{there}, 20000);
        QCOMPARE(lib->root(), other);
        shot(m_root, QStringLiteral("Screenshot late.png"));
        const QString newer = shot(other, QStringLiteral("Screenshot newer.png"));
        QTRY_VERIFY_WITH_TIMEOUT(paths(lib->all()).contains(newer), 20000);
        QCOMPARE(paths(lib->all()), QStringList({newer, there}));
    }

    // Files the library renames or moves itself are never announced, not by
    // the operation and not by the watcher's rescan that follows it.
    void ownMovesAreNotAnnounced() {
        QDir().mkpath(m_root + QStringLiteral("/Filed"));
        shot(m_root, QStringLiteral("Screenshot a.png"), 10);
        shot(m_root, QStringLiteral("Screenshot b.png"), 20);
        auto lib = loaded(m_root);
        QVERIFY(lib);
        Events events(*lib);
        const ShotList before = lib->all();
        QCOMPARE(before.size(), 2);
        QVERIFY(lib->rename(before.at(0), QStringLiteral("Invoice")));
        QCOMPARE(lib->move({before.at(1)}, m_root + QStringLiteral("/Filed")), 1);
        const QString marker = shot(m_root, QStringLiteral("Screenshot marker.png"));
        QTRY_VERIFY_WITH_TIMEOUT(events.arrived().contains(marker), 20000);
        QTest::qWait(300);
        QCOMPARE(events.arrived(), QStringList{marker});
        QVERIFY(paths(lib->all()).contains(m_root + QStringLiteral("/Invoice.png")));
        QVERIFY(paths(lib->all()).contains(m_root + QStringLiteral("/Filed/Screenshot b.png")));
    }

    // A stray on another file system is copied only once its writer is done:
    // the copy in the root holds every byte.
    void strayStillBeingWrittenIsNotTaken() {
        if (!FileOpsSupport::mountTmpfs(m_system))
            QSKIP("needs root and a private mount namespace for a second file system");
        auto lib = loaded(m_root, m_system);
        QVERIFY(lib);
        const QString source = m_system + QStringLiteral("/Screenshot slow.png");
        const QString target = m_root + QStringLiteral("/Screenshot slow.png");
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write("first half "), 11);
            QVERIFY(file.flush());
            QTest::qWait(300);
            QCOMPARE(file.write("second half"), 11);
        }
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(target) && !QFile::exists(source), 20000);
        QFile moved(target);
        QVERIFY(moved.open(QIODevice::ReadOnly));
        QCOMPARE(moved.readAll(), QByteArray("first half second half"));
        QVERIFY(CaptureMark::has(target));
    }

    // A tool that creates its file empty and writes it again by name later
    // leaves one whole frame in the root, not an empty one plus a copy.
    void emptyStrayWaitsForItsContent() {
        auto lib = loaded(m_root, m_system);
        QVERIFY(lib);
        const QString source = m_system + QStringLiteral("/Screenshot twice.png");
        writeFile(source, QByteArray());
        QTest::qWait(700);
        QVERIFY(QFile::exists(source));
        writeFile(source, "the picture");
        const QString target = m_root + QStringLiteral("/Screenshot twice.png");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(target) && !QFile::exists(source), 20000);
        QFile moved(target);
        QVERIFY(moved.open(QIODevice::ReadOnly));
        QCOMPARE(moved.readAll(), QByteArray("the picture"));
        QTest::qWait(300);
        QVERIFY(!QFile::exists(m_root + QStringLiteral("/Screenshot twice 2.png")));
    }

    // A library destroyed while its worker is busy waits for it and hands
    // nothing back afterwards.
    void destroyedWhileScanning() {
        shot(m_root, QStringLiteral("Screenshot.png"));
        bool changed = false;
        {
            Library lib(m_root);
            lib.setFeedText(false);
            lib.setSystemLocation([this] { return m_root; });
            QObject::connect(&lib, &Library::changed, [&] { changed = true; });
            lib.setScanGate([] { QThread::msleep(200); });
            lib.reload();
            lib.refresh({m_root});
        }
        QTest::qWait(300);
        QVERIFY(!changed);
    }

private:
    QTemporaryDir m_dir;
    QString m_root;
    QString m_system;
};

TAMBERK_TEST(tst_LibraryWatch)
#include "tst_LibraryWatch.moc"
