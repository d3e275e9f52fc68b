#include "LibrarySupport.h"
#include "settings/CaptureCache.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace LibrarySupport;

namespace {

// Holds every rescan at the library's gate until released, counting them.
struct Gate {
    QSemaphore release;
    std::atomic<int> entries{0};

    explicit Gate(Library& lib) {
        lib.setScanGate([this] {
            ++entries;
            release.acquire();
        });
    }
    void open() { release.release(100000); }
};

// Puts new content at `path` the way editors and tools do: written under a
// hidden name, then renamed over the old file.
bool replace(const QString& path, const QByteArray& bytes) {
    const QString part = QFileInfo(path).dir().filePath(".part");
    writeFile(part, bytes);
    return ::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) == 0;
}

int maxQueuedEvents() {
    QFile file(QStringLiteral("/proc/sys/fs/inotify/max_queued_events"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toInt() : 16384;
}

} // namespace

#define WAIT_FOR(condition) QTRY_VERIFY_WITH_TIMEOUT(condition, 20000)

class tst_LibraryRaces : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_root = m_dir.path() + "/Shots";
        QDir().mkpath(m_root);
        Prefs::shared().set(Key::onlyShots, false);
        Prefs::shared().set(Key::includeSub, true);
    }

    void cleanup() {
        m_lib.reset();
        ::chmod(QFile::encodeName(m_root + "/Locked").constData(), 0755);
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

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

    // A rescan that listed folders before one of the library's own changes is
    // dropped and made again: the old state never comes back, no file without
    // a file behind it is listed, and nothing is announced.
    void ownChangesBeatOlderRescans() {
        QFETCH(QString, operation);
        QFETCH(QStringList, held);
        QFETCH(QStringList, expected);
        shot(m_root, "A/a.png");
        shot(m_root, "Work/b.png");
        QVERIFY(load());
        QSignalSpy arrivals(m_lib.get(), &Library::arrived);
        int ghosts = 0;
        QObject context;
        connect(m_lib.get(), &Library::changed, &context, [&] {
            for (const ShotPtr& listed : m_lib->all())
                ghosts += QFileInfo::exists(listed->path) ? 0 : 1;
        });
        Gate gate(*m_lib);
        QSet<QString> dirs;
        for (const QString& dir : held)
            dirs.insert(dir.isEmpty() ? m_root : m_root + '/' + dir);
        m_lib->refresh(dirs);
        WAIT_FOR(gate.entries.load() == 1);

        const ShotPtr a = find("A/a.png");
        if (operation == "move")
            QCOMPARE(m_lib->move({a}, m_root + "/Work"), 1);
        else if (operation == "rename")
            QVERIFY(m_lib->rename(a, "Invoice"));
        else if (operation == "trash")
            QCOMPARE(m_lib->trash({a}), 1);
        else if (operation == "renameFolder")
            QVERIFY(m_lib->renameFolder(m_root + "/Work", "Done"));
        else
            QVERIFY(m_lib->trashFolder(m_root + "/Work"));
        QCOMPARE(listed(), expected);

        gate.open();
        WAIT_FOR(gate.entries.load() >= 2 && listed() == expected);
        QCOMPARE(ghosts, 0);
        QCOMPARE(arrivals.count(), 0);
    }

    // A folder unreadable at the reload is listed once it becomes readable:
    // the parent's rescan walks a child the library does not list.
    void unreadableFolderAppearsLater() {
        const WithoutModeOverride asUser;
        const QString inside = shot(m_root, "Locked/Screenshot inside.png");
        QCOMPARE(::chmod(QFile::encodeName(m_root + "/Locked").constData(), 0), 0);
        QVERIFY(load());
        if (m_lib->listing().contains(m_root + "/Locked"))
            QSKIP("file modes do not hold for this user");
        QCOMPARE(::chmod(QFile::encodeName(m_root + "/Locked").constData(), 0755), 0);
        WAIT_FOR(listed().contains("Locked/Screenshot inside.png"));
        QVERIFY(m_lib->folders().contains(m_root + "/Locked"));
        Q_UNUSED(inside);
    }

    // After the kernel dropped events (its queue overflowed) every listed
    // folder is rescanned, not only the root, and every entry is checked.
    void lostEventsRescanEveryFolder() {
        writeFile(m_root + "/A/edited.png", pngBytes(8, 6));
        QVERIFY(load());
        // No event loop runs meanwhile: the watcher's queue fills and overflows.
        const QByteArray flood = QFile::encodeName(m_root + "/.flood");
        for (int i = 0, n = maxQueuedEvents(); i < n; ++i) {
            ::mkdir(flood.constData(), 0700);
            ::rmdir(flood.constData());
        }
        shot(m_root, "A/late.png"); // its events are among the lost ones
        QVERIFY(replace(m_root + "/A/edited.png", pngBytes(16, 12)));
        WAIT_FOR(listed().contains("A/late.png"));
        WAIT_FOR(find("A/edited.png") && find("A/edited.png")->pixelSize == QSizeF(16, 12));
    }

    // A rescan asked for while another is in flight is built from the older
    // listing; it checks every entry, so it never undoes what the first one
    // found.
    void laterRescanKeepsTheNewerState() {
        writeFile(m_root + "/edited.png", pngBytes(8, 6));
        QVERIFY(load());
        Gate gate(*m_lib);
        QVERIFY(replace(m_root + "/edited.png", pngBytes(16, 12)));
        WAIT_FOR(gate.entries.load() == 1); // listed the new content, not yet applied
        shot(m_root, "other.png");
        WAIT_FOR(m_lib->rescansInFlight() == 2);
        gate.open();
        WAIT_FOR(m_lib->rescansInFlight() == 0 && listed().contains("other.png"));
        QCOMPARE(find("edited.png")->pixelSize, QSizeF(16, 12));
    }

    // Rescans take the tool's name prefix from the cached detection and never
    // detect the tool themselves.
    void rescansNeverDetectTheTool() {
        QVERIFY(load());
        const int before = SystemCapture::detections();
        for (const char* name : {"one.png", "two.png", "three.png"}) {
            shot(m_root, name);
            WAIT_FOR(listed().contains(name));
        }
        QCOMPARE(SystemCapture::detections(), before);
    }

    // The cache detects on its worker, hands the answer to the main thread,
    // and scans use the prefix it found.
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

private:
    bool load() {
        m_lib = loaded(m_root);
        return m_lib != nullptr;
    }

    ShotPtr find(const QString& relative) const {
        for (const ShotPtr& s : m_lib->all())
            if (s->path == m_root + '/' + relative)
                return s;
        return nullptr;
    }

    QStringList listed() const {
        QStringList names;
        for (const ShotPtr& s : m_lib->all())
            names.append(s->path.mid(m_root.size() + 1));
        names.sort();
        return names;
    }

    std::unique_ptr<Library> m_lib;
    QTemporaryDir m_dir;
    QString m_root;
};

TAMBERK_TEST(tst_LibraryRaces)
#include "tst_LibraryRaces.moc"
