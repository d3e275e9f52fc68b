#include "LibrarySupport.h"
#include "Media.h"
#include "library/DirWatcher.h"
#include "library/FolderScanner.h"
#include "library/ShownName.h"
#include "platform/CaptureMark.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QtEndian>
#include <algorithm>
#include <fcntl.h>

namespace {

ScanOptions options() {
    ScanOptions opts;
    opts.onlyShots = false;
    opts.prefixes = FolderScanner::basePrefixes + FolderScanner::linuxPrefixes;
    return opts;
}

QStringList names(const ShotList& shots) {
    QStringList result;
    for (const ShotPtr& shot : shots)
        result << shot->path.section(u'/', -1);
    result.sort();
    return result;
}

ShotCache cacheOf(const ShotList& shots) {
    ShotCache cache;
    for (const ShotPtr& shot : shots)
        cache.insert(shot->path, shot);
    return cache;
}

// The first bytes of a JPEG whose frame header claims `w` x `h`.
QByteArray jpegHeader(int w, int h, const QByteArray& segments) {
    using namespace Media;
    return QByteArray::fromHex("FFD8") + segments +
           segment(0xC0, QByteArray(1, 8) + be16(h) + be16(w) + QByteArray::fromHex("01011100")) +
           QByteArray::fromHex("FFD9");
}

// Collects every batch a watcher delivers, and all of them merged.
struct Recorder {
    QList<QStringList> batches;
    DirChanges all;

    DirWatcher::ChangeHandler handler() {
        return [this](const DirChanges& changes) {
            batches.append(changes.dirs);
            all.merge(changes);
        };
    }
    bool saw(const QString& path) const {
        return std::any_of(batches.begin(), batches.end(),
                           [&](const QStringList& batch) { return batch.contains(path); });
    }
};

} // namespace

// Folders listed, rescanned and watched below a fresh root.
class tst_Folders : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString root;

    QString png(const QString& relative) const {
        return writeFile(root + '/' + relative, pngBytes(8, 6));
    }
    ShotList listed(const ShotCache& cache = {}) const {
        return FolderScanner::list(root, false, options(), cache, false, true)->shots;
    }
    FolderScanner::Tree walk(const QString& from) const {
        int budget = FolderScanner::budgetLimit;
        return FolderScanner::tree(from, 0, from, options(), ShotCache(), budget);
    }
    FolderScanner::Rescan rescan(const FolderScanner::Tree& before) const {
        return {{root},
                root,
                options(),
                {{root, 0}},
                before.children,
                cacheOf(before.listing.value(root)),
                {}};
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        root = m_dir->path() + "/Parent/root";
        QDir().mkpath(root);
    }
    void cleanup() { DirWatcher::setWatchLimitForTesting(-1); }

    // Screenshots by prefix or mark, shots by extension, videos unmeasured, copies' old dates.
    void classification_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<bool>("screenshot");
        QTest::addColumn<bool>("video");
        QTest::newRow("apostrophe") << "Capture d’écran 2024.png" << true << true << false;
        QTest::newRow("wrong extension") << "Bildschirmfoto.txt" << false << false << false;
        QTest::newRow("video") << "clip.MOV" << true << false << true;
        QTest::newRow("not a prefix") << "my screenshot.png" << true << false << false;
        QTest::newRow("marked") << "holiday.png" << true << true << false;
    }
    void classification() {
        QFETCH(QString, name);
        QFETCH(bool, listed);
        QFETCH(bool, screenshot);
        QFETCH(bool, video);
        const QString path = png(name);
        QVERIFY(setModified(path, 1000000000.25));
        if (QTest::currentDataTag() == QLatin1String("marked") && !CaptureMark::write(path))
            QSKIP("this file system keeps no user attributes");
        const ShotList shots = this->listed();
        QCOMPARE(shots.size(), listed ? 1 : 0);
        if (!listed)
            return;
        QCOMPARE(shots.first()->isScreenshot, screenshot);
        QCOMPARE(shots.first()->isVideo, video);
        QCOMPARE(shots.first()->pixelSize, video ? QSizeF(0, 0) : QSizeF(8, 6));
        QCOMPARE(shots.first()->created, 1000000000.25);
    }

    // A rescan reads new and changed entries only, to depth 3; unchanged files keep their instance.
    void rescanReadsOnlyWhatChanged() {
        const QString a = png("Screenshot a.png"), b = png("Screenshot b.png");
        const QString kept = png("holiday.png");
        QDir().mkpath(root + "/gone");
        FolderScanner::Rescan job = rescan(walk(root));
        QVERIFY(QDir(root + "/gone").removeRecursively());
        QVERIFY(setModified(a, 1500000000) && setModified(b, 1500000000));
        png("Screenshot c.png");
        png("new/inner/deeper/pic.png");
        png("new/inner/deeper/deepest/pic.png");
        job.changed.insert(root, {"Screenshot b.png"});
        FolderScanner::counters().reset();
        const FolderScanner::RescanResult result = job.run();
        QCOMPARE(FolderScanner::counters().headerReads.load(), 3); // b, c and deeper/pic.png
        QCOMPARE(FolderScanner::counters().markReads.load(), 1);   // deeper/pic.png
        QCOMPARE(result.vanished, QSet<QString>{root + "/gone"});
        QCOMPARE(names(result.updates.value(root + "/new/inner/deeper")), QStringList{"pic.png"});
        QVERIFY(!result.updates.contains(root + "/new/inner/deeper/deepest"));
        const ShotCache named = cacheOf(result.updates.value(root));
        QCOMPARE(named.size(), 4);
        QCOMPARE(named.value(a).get(), job.cache.value(a).get());
        QCOMPARE(named.value(b)->modified, 1500000000.0);
        job.changed.clear();
        FolderScanner::counters().reset();
        const ShotCache all = cacheOf(job.run().updates.value(root));
        QCOMPARE(all.value(a)->modified, 1500000000.0);
        QCOMPARE(all.value(kept).get(), job.cache.value(kept).get());
        QCOMPARE(FolderScanner::counters().markReads.load(), 1); // deeper/pic.png again
    }

    // A walk enters at most its budget of subfolders, in sorted order.
    void budgetLimit() {
        const int over = FolderScanner::budgetLimit + 50;
        for (int i = 1; i <= over; ++i)
            QVERIFY(QDir().mkpath(QStringLiteral("%1/Folder %2/inner").arg(root).arg(i)));
        const FolderScanner::Tree tree = walk(root);
        QCOMPARE(tree.listing.size(), FolderScanner::budgetLimit + 1);
        QVERIFY(!tree.listing.contains(root +
                                       QString("/Folder %1").arg(FolderScanner::budgetLimit + 1)));
    }

    // An unreadable folder is listed empty, logged once; an unlistable root is reported.
    void unreadableFolders() {
        png("Locked/Screenshot 1.png");
        const QByteArray locked = QFile::encodeName(root + "/Locked");
        QCOMPARE(::chmod(locked.constData(), 0), 0);
        const auto unlock = qScopeGuard([&] { ::chmod(locked.constData(), 0755); });
        const LibrarySupport::WithoutModeOverride asUser;
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression("^Tamberk read folder failed: .*/root/Locked: Permission denied$"));
        QTest::failOnWarning(QRegularExpression("read folder failed"));
        for (int walks = 0; walks < 2; ++walks) {
            const FolderScanner::Tree tree = walk(root);
            QCOMPARE(tree.children.value(root), QStringList{root + "/Locked"});
            QVERIFY(tree.listing.value(root + "/Locked").isEmpty());
        }
        QVERIFY(!walk(root + "/missing").ok);
        writeFile(root + "/file", "not a folder");
        const FolderScanner::RescanResult result =
            FolderScanner::Rescan{{root + "/file"}, root + "/file", options(), {}, {}, {}, {}}
                .run();
        QVERIFY(!result.rootOK && result.vanished.isEmpty());
    }

    // Hidden entries, pipes, links and non-UTF-8 names are skipped, never turned into other paths.
    void oddEntriesSkipped() {
        const QString shot = png("Screenshot é ✓.png");
        png(".Screenshot hidden.png");
        png(".hidden/Screenshot 2.png");
        QDir().mkpath(root + "/real");
        QVERIFY(QFile::link(shot, root + "/Screenshot link.png"));
        QVERIFY(QFile::link(root + "/real", root + "/linked"));
        QVERIFY(QFile::link(root, root + "/real/loop"));
        QVERIFY(mkfifo(QFile::encodeName(root + "/Screenshot fifo.png").constData(), 0600) == 0);
        const QByteArray bad = QFile::encodeName(root) + "/Screenshot \xff\xfe.png";
        ::close(::open(bad.constData(), O_CREAT | O_WRONLY, 0644));
        const auto removeBad = qScopeGuard([&] { ::unlink(bad.constData()); });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Skipping .*%FF%FE"));
        const FolderScanner::Tree tree = walk(root);
        QCOMPARE(names(tree.listing.value(root)), QStringList{"Screenshot é ✓.png"});
        QCOMPARE(tree.children.value(root), QStringList{root + "/real"});
        QVERIFY(QFile::exists(tree.listing.value(root).first()->path));
    }

    // A picture's size, turned by its orientation, is read from its header; broken ones give 0×0.
    void header_data() {
        using namespace Media;
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSizeF>("size");
        const QSizeF size(37, 21), none(0, 0);
        const QImage blue = halves({37, 21}, Qt::blue, Qt::blue);
        QTest::newRow("webp lossy") << encoded(blue, "WEBP", 50) << size;
        QTest::newRow("gif") << QByteArray("GIF89a\x25\x00\x15\x00\x80\x00\x00", 13) << size;
        QByteArray topDown = encoded(blue, "BMP");
        qToLittleEndian<qint32>(-21, topDown.data() + 22);
        QTest::newRow("bmp top-down") << topDown << size;
        QTest::newRow("jpeg, big segments first")
            << withSegments(encoded(blue, "JPEG"), segment(0xE2, QByteArray(9000, 'p')) +
                                                       segment(0xFE, QByteArray(700, 'c')))
            << size;
        QTest::newRow("turned 6, big")
            << jpegHeader(4000, 3000, segment(0xE1, exif(6, true))) << QSizeF(3000, 4000);
        QTest::newRow("turned, xmp first")
            << jpegHeader(64, 48,
                          segment(0xE1, "http://ns.adobe.com/xap/1.0/") +
                              segment(0xE1, exif(6, false)))
            << QSizeF(48, 64);
        QTest::newRow("empty") << QByteArray() << none;
        QTest::newRow("jpeg cut") << jpegHeader(4000, 3000, {}).left(8) << none;
        QTest::newRow("jpeg scan first") << QByteArray::fromHex("FFD8FFDA000200") << none;
        QTest::newRow("tiff loop") << QByteArray::fromHex("49492A0008000000FFFF") << none;
    }
    void header() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSizeF, size);
        QCOMPARE(FolderScanner::pixelSize(writeFile(root + "/x.png", bytes)), size);
    }

    // Names keep letters; controls and reordering marks are replaced; RTL names are isolated.
    void shownName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        const QChar isolate(0x2068), pop(0x2069), bad(0xFFFD);
        QTest::newRow("plain") << "Screenshot 1.png"
                               << "Screenshot 1.png";
        QTest::newRow("emoji and right-to-left letters")
            << QString::fromUtf8("🎉 صورة.png") << isolate + QString::fromUtf8("🎉 صورة.png") + pop;
        QTest::newRow("controls") << QString::fromUtf8("a\nb\tc\x7f") + QChar(0x85)
                                  << QString::fromUtf8("a↵b�c��");
        QTest::newRow("marks disguising an extension")
            << "Screenshot " + QString(QChar(0x202E)) + "gnp.exe" + QChar(0x2067) + QChar(0x200F) +
                   ".png"
            << "Screenshot " + QString(bad) + "gnp.exe" + bad + bad + ".png";
    }
    void shownName() {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        QCOMPARE(::shownName(name), shown);
    }

    // A destroyed watcher never calls its handler, even with changes waiting.
    void changesAndDestruction() {
        Recorder rec, other;
        auto watcher = std::make_unique<DirWatcher>(root + "//", 0.05, false, rec.handler());
        DirWatcher witness(root, 0.05, false, other.handler());
        QVERIFY(watcher->active());
        writeFile(root + "/a.png");
        WAIT_FOR(rec.saw(root) && other.saw(root));
        writeFile(root + "/b.png");
        const qsizetype before = rec.batches.size();
        watcher.reset();
        writeFile(root + "/c.png");
        WAIT_FOR(other.all.names.value(root).contains("c.png"));
        QCOMPARE(rec.batches.size(), before);
    }

    // With watchRoot, renaming a folder above the root reports the root; without, nothing.
    void ancestorRenameReportsTheRoot() {
        Recorder rec, plain;
        DirWatcher watcher(root, 0.05, true, rec.handler());
        DirWatcher other(root, 0.05, false, plain.handler());
        QVERIFY(QDir().rename(m_dir->path() + "/Parent", m_dir->path() + "/Moved"));
        // Both read the rename in the same turn and hand a first change over at once.
        WAIT_FOR(rec.saw(root));
        QCoreApplication::processEvents();
        QVERIFY(plain.batches.isEmpty());
    }

    // A folder that appears is watched before it is reported to the handler.
    void newFolderIsWatchedBeforeItIsReported() {
        const QString sub = root + "/New";
        Recorder rec;
        bool wrote = false;
        DirWatcher watcher(root, 0.05, false, [&](const QStringList& paths) {
            rec.batches.append(paths);
            if (!wrote && paths.contains(root) && QFileInfo(sub).isDir()) {
                wrote = true;
                writeFile(sub + "/inside.png");
            }
        });
        QVERIFY(QDir().mkpath(sub));
        WAIT_FOR(wrote);
        WAIT_FOR(rec.saw(sub));
    }

    // Depth 3, no hidden folders, renamed ones by their new path; a batch names changed entries.
    void watchedFoldersAndNames() {
        const QString level3 = root + "/a/b/c", before = root + "/Before", after = root + "/After";
        QVERIFY(QDir().mkpath(level3 + "/d") && QDir().mkpath(root + "/.cache"));
        QVERIFY(QDir().mkpath(before + "/Deep"));
        Recorder rec;
        DirWatcher watcher(root, 0.05, false, rec.handler());
        QVERIFY(QDir().rename(before, after));
        WAIT_FOR(rec.saw(root));
        rec = {};
        writeFile(level3 + "/d/deep.png");
        writeFile(root + "/.cache/x.png");
        writeFile(after + "/Deep/x.png");
        writeFile(root + "/a.png");
        writeFile(root + "/.part");
        QVERIFY(QFile::rename(root + "/.part", root + "/b.png"));
        writeFile(level3 + "/shallow.png");
        WAIT_FOR(rec.saw(level3) && rec.all.names.value(after + "/Deep").contains("x.png") &&
                 rec.all.names.value(root).contains("b.png"));
        QVERIFY(!rec.saw(level3 + "/d") && !rec.saw(root + "/.cache") &&
                !rec.saw(before + "/Deep"));
        QCOMPARE(rec.all.names.value(root), (QSet<QString>{"a.png", "b.png"}));
    }

    // Folders without a watch are polled (naming no entries) until watches are free again.
    void exhaustedWatchesFallBackToPolling() {
        const QString deeper = root + "/Sub/Deeper";
        QVERIFY(QDir().mkpath(deeper));
        DirWatcher::setWatchLimitForTesting(1);
        Recorder rec;
        DirWatcher watcher(root, 0.05, false, rec.handler());
        QCOMPARE(watcher.polledCount(), 2);
        writeFile(deeper + "/x.png");
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(deeper), 15000);
        QVERIFY(!rec.all.names.contains(deeper));
        DirWatcher::setWatchLimitForTesting(-1);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.polledCount(), 0, 15000);
    }
};

TAMBERK_TEST(tst_Folders)
#include "tst_Folders.moc"
