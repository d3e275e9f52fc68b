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
        m_root = m_dir.path() + QStringLiteral("/Shots");
        m_system = m_dir.path() + QStringLiteral("/System");
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

    // A new screenshot in the root is listed and announced once, after the
    // change notification and within the arrival window; the full reload and
    // later rescans announce nothing.
    void newScreenshotArrives() {
        shot(m_root, QStringLiteral("Screenshot old.png"), 30);
        m_lib = std::make_unique<Library>(m_root);
        m_lib->setFeedText(false);
        m_lib->setSystemLocation([this] { return m_root; });
        Events events(*m_lib);
        m_lib->reload();
        WAIT_FOR(m_lib->scanned());
        QCOMPARE(events.log, QStringList{"changed"});

        const QString path = shot(m_root, QStringLiteral("Screenshot new.png"));
        QTRY_COMPARE_WITH_TIMEOUT(events.arrived(), QStringList{path}, 20000);
        QCOMPARE(events.log.mid(events.log.size() - 2), QStringList({"changed", "arrived"}));

        const int changes = int(events.log.count("changed"));
        setModified(path, nowSeconds() - 5);
        WAIT_FOR(events.log.count("changed") > changes);
        QCOMPARE(events.arrived(), QStringList{path});

        // The arrival window is read on the library's clock: a new file still
        // arrives 170 s after its creation, not 190 s after it.
        double offset = 190;
        m_lib->setClock([&offset] { return nowSeconds() + offset; });
        const QString late = shot(m_root, QStringLiteral("Screenshot late.png"));
        WAIT_FOR(lists(late));
        offset = 170;
        const QString inTime = shot(m_root, QStringLiteral("Screenshot in time.png"));
        WAIT_FOR(events.arrived().contains(inTime));
        QCOMPARE(events.arrived(), QStringList({path, inTime}));
    }

    // Directories refreshed within the coalescing delay are rescanned
    // together: one recomputation lists them all and announces them once.
    void refreshesCoalesce() {
        QDir().mkpath(m_root + QStringLiteral("/A"));
        QDir().mkpath(m_root + QStringLiteral("/B"));
        QVERIFY(load(m_root));
        Events events(*m_lib);
        QStringList made{shot(m_root, QStringLiteral("A/Screenshot one.png")),
                         shot(m_root, QStringLiteral("B/Screenshot two.png")),
                         shot(m_root, QStringLiteral("Screenshot three.png"))};
        m_lib->refresh({m_root + "/A"});
        m_lib->refresh({m_root + "/B"});
        m_lib->refresh({m_root});
        WAIT_FOR(!events.arrivals.isEmpty());
        QStringList got = paths(events.arrivals.first());
        got.sort();
        made.sort();
        QCOMPARE(got, made);
        // The watcher's own reports of the same files come later and add nothing.
        QTest::qWait(500);
        QCOMPARE(events.arrivals.size(), 1);
    }

    // With "only screenshots" on, a plain image is not listed in the root and
    // not announced in a subfolder; with it off, a plain image is announced.
    void onlyShotsFiltersArrivals() {
        QDir().mkpath(m_root + QStringLiteral("/Sub"));
        QVERIFY(load(m_root));
        Events events(*m_lib);
        shot(m_root, QStringLiteral("holiday.png"));
        const QString sub = shot(m_root, QStringLiteral("Sub/beach.png"));
        const QString marker = shot(m_root, QStringLiteral("Screenshot marker.png"));
        WAIT_FOR(lists(sub) && lists(marker));
        QVERIFY(!lists(m_root + "/holiday.png"));
        QCOMPARE(events.arrived(), QStringList{marker});

        Prefs::shared().set(Key::onlyShots, false);
        const QString plain = shot(m_root, QStringLiteral("photo.png"));
        WAIT_FOR(events.arrived().contains(plain));
    }

    // A root missing at reload is unreadable and empty, and is picked up once
    // it appears; a new subfolder shows up with its files and a deleted one is
    // dropped with everything below it; a root renamed away is unreadable.
    void foldersComeAndGo() {
        const QString root = m_dir.path() + QStringLiteral("/NotYet");
        QVERIFY(load(root));
        QVERIFY(!m_lib->readable() && m_lib->listing().isEmpty());
        QDir().mkpath(root);
        WAIT_FOR(m_lib->readable());
        const QString file = shot(root, QStringLiteral("New/Inner/x.png"));
        WAIT_FOR(lists(file));
        QCOMPARE(m_lib->folders(), QStringList({root + "/New", root + "/New/Inner"}));
        QCOMPARE(m_lib->counts().perFolder.value(root + "/New"), 1);
        QVERIFY(QDir(root + QStringLiteral("/New")).removeRecursively());
        WAIT_FOR(m_lib->all().isEmpty() && m_lib->folders().isEmpty());
        QVERIFY(!m_lib->listing().contains(root + "/New/Inner"));
        QVERIFY(m_lib->childMap().value(root).isEmpty());
        QVERIFY(QDir().rename(root, m_dir.path() + QStringLiteral("/Elsewhere")));
        WAIT_FOR(!m_lib->readable());
    }

    // A reload started while a rescan is still running drops the rescan's
    // result (the file it found is listed by the reload, not announced), and a
    // file that lands while the reload walks the tree is not lost.
    void reloadRaces() {
        QVERIFY(load(m_root));
        Events events(*m_lib);
        {
            Gate gate(*m_lib);
            const QString file = shot(m_root, QStringLiteral("Screenshot racing.png"));
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
        const QString file = shot(m_root, QStringLiteral("Screenshot during.png"));
        QTest::qWait(300);
        gate.release.release(100);
        WAIT_FOR(lists(file));
    }

    // No stray watcher exists when synchronisation is off or the system saves
    // into the library's own folder. Turned on, it catches up with the files
    // saved within the look-back (60 s yes, 5 minutes no); then a screenshot
    // saved in the system folder moves into the root under its own name, or a
    // numbered one when that is taken (the file there untouched), carries the
    // capture mark and is announced. Plain images stay.
    void strayScreenshotsArePulledIn() {
        auto same = loaded(m_root, m_root);
        QVERIFY(same && !same->strayDir());
        Prefs::shared().set(Key::syncSystem, false);
        const QString recent = shot(m_system, QStringLiteral("Screenshot recent.png"), 60);
        const QString stale = shot(m_system, QStringLiteral("Screenshot stale.png"), 300);
        QVERIFY(load(m_root, m_system) && !m_lib->strayDir());
        Prefs::shared().set(Key::syncSystem, true);
        m_lib->watchStrays();
        QCOMPARE(m_lib->strayDir(), std::optional<QString>(m_system));
        WAIT_FOR(QFile::exists(m_root + "/Screenshot recent.png"));
        QVERIFY(!QFile::exists(recent));
        QVERIFY(QFile::exists(stale));
        QVERIFY(!QFile::exists(m_root + "/Screenshot stale.png"));

        Events events(*m_lib);
        writeFile(m_root + QStringLiteral("/Screenshot taken.png"), "mine");
        writeFile(m_system + QStringLiteral("/Screenshot taken.png"), "new");
        writeFile(m_system + QStringLiteral("/holiday.png"), "photo");
        const QString numbered = m_root + QStringLiteral("/Screenshot taken 2.png");
        WAIT_FOR(events.arrived().contains(numbered));
        QVERIFY(CaptureMark::has(numbered));
        QCOMPARE(contents(numbered), QByteArray("new"));
        QCOMPARE(contents(m_root + QStringLiteral("/Screenshot taken.png")), QByteArray("mine"));
        QVERIFY(QFile::exists(m_system + QStringLiteral("/holiday.png")));
        QVERIFY(!QFile::exists(m_system + QStringLiteral("/Screenshot taken.png")));
    }

    // Changing the root starts over on the new folder: its shots, not the
    // old ones, and the old tree's changes are no longer followed.
    void setRootSwitchesFolders() {
        // The old root is the system folder here; keep it out of pull-in.
        Prefs::shared().set(Key::syncSystem, false);
        const QString other = m_dir.path() + QStringLiteral("/Other");
        const QString there = shot(other, QStringLiteral("Screenshot there.png"), 30);
        shot(m_root, QStringLiteral("Screenshot here.png"), 30);
        QVERIFY(load(m_root));
        m_lib->setRoot(other + QStringLiteral("/"));
        QTRY_COMPARE_WITH_TIMEOUT(paths(m_lib->all()), QStringList{there}, 20000);
        QCOMPARE(m_lib->root(), other);
        shot(m_root, QStringLiteral("Screenshot late.png"));
        const QString newer = shot(other, QStringLiteral("Screenshot newer.png"));
        WAIT_FOR(lists(newer));
        QCOMPARE(paths(m_lib->all()), QStringList({newer, there}));
    }

    // Files the library renames or moves itself are never announced, not by
    // the operation and not by the watcher's rescan that follows it.
    void ownMovesAreNotAnnounced() {
        QDir().mkpath(m_root + QStringLiteral("/Filed"));
        shot(m_root, QStringLiteral("Screenshot a.png"), 10);
        shot(m_root, QStringLiteral("Screenshot b.png"), 20);
        QVERIFY(load(m_root));
        Events events(*m_lib);
        const ShotList before = m_lib->all();
        QVERIFY(m_lib->rename(before.at(0), QStringLiteral("Invoice")));
        QCOMPARE(m_lib->move({before.at(1)}, m_root + QStringLiteral("/Filed")), 1);
        const QString marker = shot(m_root, QStringLiteral("Screenshot marker.png"));
        WAIT_FOR(events.arrived().contains(marker));
        QTest::qWait(300);
        QCOMPARE(events.arrived(), QStringList{marker});
        QVERIFY(lists(m_root + QStringLiteral("/Invoice.png")));
        QVERIFY(lists(m_root + QStringLiteral("/Filed/Screenshot b.png")));
    }

    // A stray on another file system is copied only once its writer is done:
    // the copy in the root holds every byte.
    void strayStillBeingWrittenIsNotTaken() {
        if (!FileOpsSupport::mountTmpfs(m_system))
            QSKIP("needs root and a private mount namespace for a second file system");
        QVERIFY(load(m_root, m_system));
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
        WAIT_FOR(QFile::exists(target) && !QFile::exists(source));
        QCOMPARE(contents(target), QByteArray("first half second half"));
        QVERIFY(CaptureMark::has(target));
    }

    // A tool that creates its file empty and writes it again by name later
    // leaves one whole frame in the root, not an empty one plus a copy.
    void emptyStrayWaitsForItsContent() {
        QVERIFY(load(m_root, m_system));
        const QString source = m_system + QStringLiteral("/Screenshot twice.png");
        writeFile(source, QByteArray());
        QTest::qWait(700);
        QVERIFY(QFile::exists(source));
        writeFile(source, "the picture");
        const QString target = m_root + QStringLiteral("/Screenshot twice.png");
        WAIT_FOR(QFile::exists(target) && !QFile::exists(source));
        QCOMPARE(contents(target), QByteArray("the picture"));
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
