#include "LibrarySupport.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QThread>
#include <fcntl.h>

using namespace LibrarySupport;

namespace {

// Replaces `path` as editors do: written under a hidden name, renamed over the old file.
bool replace(const QString& path, const QByteArray& bytes) {
    const QString part = QFileInfo(path).dir().filePath(".part");
    writeFile(part, bytes);
    return ::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) == 0;
}

} // namespace

class tst_LibraryRaces : public QObject {
    Q_OBJECT
private slots:
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

    // A rescan built while another is in flight checks every entry, undoing nothing newer;
    // rescans use the cached detection of the tool, never detecting it themselves.
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

TAMBERK_TEST(tst_LibraryRaces)
#include "tst_LibraryRaces.moc"
