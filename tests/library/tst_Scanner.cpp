#include "TestEnv.h"
#include "library/FolderScanner.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray pngBytes(int w = 8, int h = 6) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

ScanOptions options(bool onlyShots = false) {
    ScanOptions opts;
    opts.onlyShots = onlyShots;
    opts.prefixes = FolderScanner::basePrefixes + FolderScanner::linuxPrefixes;
    return opts;
}

ShotPtr find(const ShotList& shots, const QString& path) {
    for (const ShotPtr& shot : shots) {
        if (shot->path == path)
            return shot;
    }
    return nullptr;
}

QStringList names(const ShotList& shots) {
    QStringList result;
    for (const ShotPtr& shot : shots)
        result << shot->path.section(u'/', -1);
    result.sort();
    return result;
}

ShotList listed(const QString& dir, const ShotCache& cache = {}, bool onlyShots = false) {
    return FolderScanner::list(dir, onlyShots, options(), cache, false, true)->shots;
}

FolderScanner::Tree walk(const QString& root, const ScanOptions& opts, int budget = 400) {
    return FolderScanner::tree(root, 0, root, opts, ShotCache(), budget);
}

ShotCache cacheOf(const ShotList& shots) {
    ShotCache cache;
    for (const ShotPtr& shot : shots)
        cache.insert(shot->path, shot);
    return cache;
}

FolderScanner::Rescan rescan(const QString& root, const FolderScanner::Tree& before) {
    FolderScanner::Rescan job;
    job.dirs = {root};
    job.root = root;
    job.opts = options();
    job.depths = {{root, 0}};
    job.oldChildren = before.children;
    return job;
}

} // namespace

class tst_Scanner : public QObject {
    Q_OBJECT
private slots:
    void classification_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<bool>("screenshot");
        QTest::addColumn<bool>("video");
        QTest::newRow("dated") << "Screenshot 2024-05-01 at 10.00.00.png" << true << true << false;
        QTest::newRow("upper case") << "SCREEN SHOT.JPG" << true << true << false;
        QTest::newRow("plain") << "holiday.png" << true << false << false;
        QTest::newRow("wrong extension") << "Bildschirmfoto.txt" << false << false << false;
        QTest::newRow("no extension") << "Screenshot" << false << false << false;
        QTest::newRow("video") << "clip.MOV" << true << false << true;
        QTest::newRow("apostrophe") << "Capture d’écran 2024.png" << true << true << false;
        QTest::newRow("umlaut upper") << "SKÄRMAVBILD 1.heic" << true << true << false;
        QTest::newRow("linux recording")
            << "Screencast from 2024-05-01.webm" << true << true << true;
        QTest::newRow("not a prefix") << "my screenshot.png" << true << false << false;
    }

    // Screenshots are recognised by a prefix of the lower-cased name, shots by
    // extension, and videos are never measured.
    void classification() {
        QFETCH(QString, name);
        QFETCH(bool, listed);
        QFETCH(bool, screenshot);
        QFETCH(bool, video);
        TestEnv env;
        const QString dir = env.mkdir("shots");
        writeFile(dir + "/" + name, pngBytes());
        const ShotList shots = ::listed(dir);
        QCOMPARE(shots.size(), listed ? 1 : 0);
        if (!listed)
            return;
        QCOMPARE(shots.first()->isScreenshot, screenshot);
        QCOMPARE(shots.first()->isVideo, video);
        QCOMPARE(shots.first()->pixelSize, video ? QSizeF(0, 0) : QSizeF(8, 6));
    }

    // A copied file with an old modification date is never dated after it.
    void createdNeverAfterModified() {
        TestEnv env;
        const QString dir = env.mkdir("shots");
        QVERIFY(setModified(writeFile(dir + "/Screenshot old.png", pngBytes()), 1000000000.25));
        const ShotPtr shot = listed(dir).first();
        QCOMPARE(shot->modified, 1000000000.25);
        QCOMPARE(shot->created, shot->modified);
    }

    // An unchanged file comes back as the very same instance, with no attribute
    // or header read; a corrected pixel size survives; a changed file is new.
    void cacheReuseKeepsIdentity() {
        TestEnv env;
        const QString dir = env.mkdir("shots");
        writeFile(dir + "/holiday.png", pngBytes());
        writeFile(dir + "/Screenshot 1.png", pngBytes());
        const QString changed = writeFile(dir + "/Screenshot 2.png", pngBytes());
        FolderScanner::counters().reset();
        const ShotList first = listed(dir);
        QCOMPARE(FolderScanner::counters().headerReads.load(), 3);
        QCOMPARE(FolderScanner::counters().markReads.load(), 1); // holiday.png only
        find(first, dir + "/Screenshot 1.png")->pixelSize = QSizeF(1234, 567);

        QVERIFY(setModified(changed, 1500000000));
        FolderScanner::counters().reset();
        const ShotList second = listed(dir, cacheOf(first));
        QCOMPARE(FolderScanner::counters().markReads.load(), 0);
        QCOMPARE(FolderScanner::counters().headerReads.load(), 1);
        QCOMPARE(find(second, dir + "/holiday.png").get(), find(first, dir + "/holiday.png").get());
        const ShotPtr kept = find(second, dir + "/Screenshot 1.png");
        QCOMPARE(kept.get(), find(first, dir + "/Screenshot 1.png").get());
        QCOMPARE(kept->pixelSize, QSizeF(1234, 567));
        QCOMPARE(find(second, changed)->modified, 1500000000.0);

        // A cached non-screenshot in the filtered root stays out without a read.
        FolderScanner::counters().reset();
        QCOMPARE(names(listed(dir, cacheOf(first), true)),
                 (QStringList{"Screenshot 1.png", "Screenshot 2.png"}));
        QCOMPARE(FolderScanner::counters().markReads.load(), 0);
    }

    // A rescan reuses cached shots (reading only new headers), walks new
    // subfolders to the depth limit and reports removed ones.
    void rescanFindsNewAndVanished() {
        TestEnv env;
        const QString root = env.mkdir("root");
        writeFile(root + "/Screenshot 1.png", pngBytes());
        env.mkdir("root/gone");
        env.mkdir("root/stays");
        const FolderScanner::Tree tree = walk(root, options());
        QVERIFY(QDir(root + "/gone").removeRecursively());
        writeFile(root + "/Screenshot new.png", pngBytes(16, 9));
        writeFile(root + "/new/inner/deeper/pic.png", pngBytes());
        writeFile(root + "/new/inner/deeper/deepest/pic.png", pngBytes());

        FolderScanner::Rescan job = rescan(root, tree);
        job.cache = cacheOf(tree.listing.value(root));
        FolderScanner::counters().reset();
        const FolderScanner::RescanResult result = job.run();
        QCOMPARE(FolderScanner::counters().headerReads.load(), 2);
        QVERIFY(result.rootOK);
        const ShotList shots = result.updates.value(root);
        QCOMPARE(find(shots, root + "/Screenshot 1.png").get(),
                 tree.listing.value(root).first().get());
        QCOMPARE(find(shots, root + "/Screenshot new.png")->pixelSize, QSizeF(16, 9));
        QCOMPARE(result.vanished, QSet<QString>{root + "/gone"});
        QCOMPARE(result.children.value(root), (QStringList{root + "/new", root + "/stays"}));
        QCOMPARE(names(result.updates.value(root + "/new/inner/deeper")), QStringList{"pic.png"});
        // Depth 3 is listed for files only; deeper folders are unknown.
        QVERIFY(!result.children.contains(root + "/new/inner/deeper"));
        QVERIFY(!result.updates.contains(root + "/new/inner/deeper/deepest"));
        QVERIFY(!result.updates.contains(root + "/stays")); // not new, not asked for

        // A rescanned subfolder that is gone is reported as vanished.
        QVERIFY(QDir(root + "/stays").removeRecursively());
        job.dirs = {root + "/stays"};
        job.depths.insert(root + "/stays", 1);
        QCOMPARE(job.run().vanished, QSet<QString>{root + "/stays"});
    }

    // A walk and a rescan each enter at most 400 subfolders, in sorted order,
    // the budget shared by every subtree.
    void budgetLimit() {
        TestEnv env;
        const QString root = env.mkdir("root");
        const FolderScanner::Tree before = walk(root, options());
        for (int i = 1; i <= 450; ++i)
            QVERIFY(QDir().mkpath(QStringLiteral("%1/Folder %2/inner").arg(root).arg(i)));
        int budget = 400;
        const FolderScanner::Tree tree = FolderScanner::tree(root, 0, root, options(), {}, budget);
        QCOMPARE(budget, 0);
        QCOMPARE(tree.children.value(root).size(), 450);
        QCOMPARE(tree.children.value(root).last(), root + "/Folder 450");
        QCOMPARE(tree.listing.size(), 401);
        QVERIFY(tree.listing.contains(root + "/Folder 400"));
        QVERIFY(!tree.listing.contains(root + "/Folder 401"));

        const FolderScanner::RescanResult result = rescan(root, before).run();
        int inner = 0;
        for (auto it = result.updates.cbegin(); it != result.updates.cend(); ++it)
            inner += it.key().endsWith("/inner");
        QCOMPARE(inner, 400);
        QVERIFY(!result.updates.contains(root + "/Folder 401/inner"));
        QVERIFY(result.updates.contains(root + "/Folder 450")); // new folders themselves are listed
    }

    // A root that cannot be listed is reported, in a walk and in a rescan.
    void unreadableRoot() {
        TestEnv env;
        const QString root = env.home() + "/missing";
        QVERIFY(!walk(root, options()).ok);
        writeFile(root, "not a folder");
        const FolderScanner::RescanResult result = rescan(root, {}).run();
        QVERIFY(!result.rootOK);
        QVERIFY(!result.updates.contains(root));
        QVERIFY(result.vanished.isEmpty());
    }

    // Folders sort numeric-aware, case-insensitively and stably.
    void sortFolders() {
        QStringList folders = {"/r/Folder 10", "/r/folder 9", "/r/FOLDER 1",
                               "/r/b",         "/r/Alpha",    "/other/B"};
        FolderScanner::sortFolders(folders);
        QCOMPARE(folders, (QStringList{"/r/Alpha", "/r/b", "/other/B", "/r/FOLDER 1", "/r/folder 9",
                                       "/r/Folder 10"}));
    }

    // Hidden entries, pipes and symbolic links (to files, folders or loops)
    // are skipped, and so is a name that is not valid UTF-8 (with a log line),
    // never turned into a path that names another file; valid names round-trip.
    void oddEntriesSkipped() {
        TestEnv env;
        const QString root = env.mkdir("root");
        const QString shot = writeFile(root + "/Screenshot é ✓.png", pngBytes());
        writeFile(root + "/.Screenshot hidden.png", pngBytes());
        writeFile(root + "/.hidden/Screenshot 2.png", pngBytes());
        env.mkdir("root/real");
        QVERIFY(QFile::link(shot, root + "/Screenshot link.png"));
        QVERIFY(QFile::link(root + "/real", root + "/linked"));
        QVERIFY(QFile::link(root, root + "/real/loop"));
        QVERIFY(mkfifo(QFile::encodeName(root + "/Screenshot fifo.png").constData(), 0600) == 0);
        const QByteArray bad = QFile::encodeName(root) + "/Screenshot \xff\xfe.png";
        const int fd = ::open(bad.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        // The temporary folder's own clean-up cannot name this file either.
        const auto removeBad = qScopeGuard([&] { ::unlink(bad.constData()); });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Skipping .*%FF%FE"));
        const FolderScanner::Tree tree = walk(root, options());
        QCOMPARE(names(tree.listing.value(root)), QStringList{"Screenshot é ✓.png"});
        QCOMPARE(tree.children.value(root), QStringList{root + "/real"});
        QCOMPARE(tree.listing.size(), 2);
        const QString listed = tree.listing.value(root).first()->path;
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(listed).constData(), &st), 0);
    }
};

TAMBERK_TEST(tst_Scanner)
#include "tst_Scanner.moc"
