#include "TestEnv.h"
#include "library/FolderScanner.h"
#include "settings/Prefs.h"

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

FolderScanner::Tree walk(const QString& root, const ScanOptions& opts, int budget = 400) {
    return FolderScanner::tree(root, 0, root, opts, ShotCache(), budget);
}

ShotCache cacheOf(const ShotList& shots) {
    ShotCache cache;
    for (const ShotPtr& shot : shots)
        cache.insert(shot->path, shot);
    return cache;
}

} // namespace

class tst_Scanner : public QObject {
    Q_OBJECT
private slots:
    // The prefix list is part of the file format of other systems' names: exact and in order.
    void builtInListsAreExact() {
        const QStringList expected = {
            "screenshot",
            "screen shot",
            "schermata",
            "istantanea",
            "capture d",
            "bildschirmfoto",
            "captura de pantalla",
            "schermafbeelding",
            "skärmavbild",
            "cleanshot",
            "screen recording",
            "registrazione schermo",
            "enregistrement de l",
            "bildschirmaufnahme",
            "grabación de pantalla",
            "tamberk",
        };
        QCOMPARE(FolderScanner::basePrefixes, expected);
        const ScanOptions opts = ScanOptions::current();
        QCOMPARE(opts.prefixes.mid(0, 17), expected + QStringList{"screencast"});
        QCOMPARE(opts.onlyShots, Prefs::shared().boolean(Key::onlyShots));
        Prefs::shared().set(Key::onlyShots, false);
        QVERIFY(!ScanOptions::current().onlyShots);
        Prefs::shared().set(Key::onlyShots, true);
        QVERIFY(ScanOptions::current().onlyShots);
    }

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
        QTest::newRow("any suffix") << "schermata2.tiff" << true << true << false;
        QTest::newRow("linux recording")
            << "Screencast from 2024-05-01.webm" << true << true << true;
        QTest::newRow("matroska") << "Screencast_20240501.mkv" << true << true << true;
        QTest::newRow("m4v") << "holiday.m4v" << true << false << true;
        QTest::newRow("not a prefix") << "my screenshot.png" << true << false << false;
    }

    // Screenshots are recognised by a prefix of the lower-cased name; shots by extension.
    void classification() {
        QFETCH(QString, name);
        QFETCH(bool, listed);
        QFETCH(bool, screenshot);
        QFETCH(bool, video);
        TestEnv env;
        const QString dir = env.mkdir("shots");
        writeFile(dir + "/" + name, pngBytes());
        const auto result = FolderScanner::list(dir, false, options(), {}, false, true);
        QVERIFY(result);
        QCOMPARE(result->shots.size(), listed ? 1 : 0);
        if (!listed)
            return;
        const ShotPtr shot = result->shots.first();
        QCOMPARE(shot->path, dir + "/" + name);
        QCOMPARE(shot->isScreenshot, screenshot);
        QCOMPARE(shot->isVideo, video);
        QCOMPARE(shot->duration, 0.0);
        // Videos are never measured by the scanner.
        QCOMPARE(shot->pixelSize, video ? QSizeF(0, 0) : QSizeF(8, 6));
    }

    // The system tool's own prefix counts as soon as it is in the options.
    void systemPrefixCounts() {
        TestEnv env;
        const QString dir = env.mkdir("shots");
        writeFile(dir + "/capture 1.png", pngBytes());
        ScanOptions opts = options();
        auto result = FolderScanner::list(dir, false, opts, {}, false, false);
        QVERIFY(!result->shots.first()->isScreenshot);
        opts.prefixes << "capture";
        result = FolderScanner::list(dir, false, opts, {}, false, false);
        QVERIFY(result->shots.first()->isScreenshot);
        QCOMPARE(result->shots.first()->pixelSize, QSizeF(0, 0)); // measure off
    }

    // With onlyShots, non-screenshots are left out of the root only.
    void onlyShotsFiltersRootOnly() {
        TestEnv env;
        const QString root = env.mkdir("root");
        writeFile(root + "/holiday.png", pngBytes());
        writeFile(root + "/Screenshot 1.png", pngBytes());
        writeFile(root + "/sub/holiday.png", pngBytes());
        const FolderScanner::Tree tree = walk(root, options(true));
        QVERIFY(tree.ok);
        QCOMPARE(names(tree.listing.value(root)), QStringList{"Screenshot 1.png"});
        const ShotList sub = tree.listing.value(root + "/sub");
        QCOMPARE(sub.size(), 1);
        QVERIFY(!sub.first()->isScreenshot);

        const FolderScanner::Tree all = walk(root, options(false));
        QCOMPARE(names(all.listing.value(root)), (QStringList{"Screenshot 1.png", "holiday.png"}));
    }

    // A copied file with an old modification date sorts by that date.
    void createdNeverAfterModified() {
        TestEnv env;
        const QString dir = env.mkdir("shots");
        const QString path = writeFile(dir + "/Screenshot old.png", pngBytes());
        QVERIFY(setModified(path, 1000000000.25));
        const ShotPtr shot = FolderScanner::list(dir, false, options(), {}, false, true)->shots[0];
        QCOMPARE(shot->modified, 1000000000.25);
        QCOMPARE(shot->created, shot->modified);

        const QString fresh = writeFile(dir + "/Screenshot new.png", pngBytes());
        const auto listed = FolderScanner::list(dir, false, options(), {}, false, true);
        QCOMPARE(listed->shots.size(), 2);
        for (const ShotPtr& s : listed->shots)
            QVERIFY2(s->created <= s->modified, qPrintable(s->path));
        QVERIFY(QFile::exists(fresh));
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
        const ShotList first = FolderScanner::list(dir, false, options(), {}, false, true)->shots;
        QCOMPARE(first.size(), 3);
        QCOMPARE(FolderScanner::counters().headerReads.load(), 3);
        QCOMPARE(FolderScanner::counters().markReads.load(), 1); // holiday.png only
        find(first, dir + "/Screenshot 1.png")->pixelSize = QSizeF(1234, 567);

        QVERIFY(setModified(changed, 1500000000));
        FolderScanner::counters().reset();
        const ShotList second =
            FolderScanner::list(dir, false, options(), cacheOf(first), false, true)->shots;
        QCOMPARE(second.size(), 3);
        QCOMPARE(FolderScanner::counters().markReads.load(), 0);
        QCOMPARE(FolderScanner::counters().headerReads.load(), 1);
        QCOMPARE(find(second, dir + "/holiday.png").get(), find(first, dir + "/holiday.png").get());
        const ShotPtr kept = find(second, dir + "/Screenshot 1.png");
        QCOMPARE(kept.get(), find(first, dir + "/Screenshot 1.png").get());
        QCOMPARE(kept->pixelSize, QSizeF(1234, 567));
        QVERIFY(find(second, changed).get() != find(first, changed).get());
        QCOMPARE(find(second, changed)->modified, 1500000000.0);

        // A cached non-screenshot in the filtered root stays out without a read.
        FolderScanner::counters().reset();
        const ShotList filtered =
            FolderScanner::list(dir, true, options(), cacheOf(first), false, true)->shots;
        QCOMPARE(names(filtered), (QStringList{"Screenshot 1.png", "Screenshot 2.png"}));
        QCOMPARE(FolderScanner::counters().markReads.load(), 0);
    }

    // A rescan after one new file reads exactly one header.
    void rescanReusesAllButTheNewFile() {
        TestEnv env;
        const QString root = env.mkdir("root");
        for (int i = 0; i < 20; ++i)
            writeFile(QStringLiteral("%1/Screenshot %2.png").arg(root).arg(i), pngBytes());
        writeFile(root + "/sub/Screenshot a.png", pngBytes());
        const FolderScanner::Tree tree = walk(root, options(true));
        writeFile(root + "/Screenshot new.png", pngBytes(16, 9));

        FolderScanner::Rescan job;
        job.dirs = {root};
        job.root = root;
        job.opts = options(true);
        job.depths = {{root, 0}};
        job.oldChildren = tree.children;
        job.cache = cacheOf(tree.listing.value(root));
        FolderScanner::counters().reset();
        const FolderScanner::RescanResult result = job.run();
        QCOMPARE(FolderScanner::counters().headerReads.load(), 1);
        QCOMPARE(FolderScanner::counters().markReads.load(), 0);
        QVERIFY(result.rootOK);
        QCOMPARE(result.dirs, job.dirs);
        const ShotList shots = result.updates.value(root);
        QCOMPARE(shots.size(), 21);
        for (const ShotPtr& old : tree.listing.value(root))
            QCOMPARE(find(shots, old->path).get(), old.get());
        QCOMPARE(find(shots, root + "/Screenshot new.png")->pixelSize, QSizeF(16, 9));
        QVERIFY(result.vanished.isEmpty());
        QCOMPARE(result.children.value(root), QStringList{root + "/sub"});
        QVERIFY(!result.updates.contains(root + "/sub")); // not a new subfolder
    }

    // New subfolders are walked (with their own subfolders); removed ones vanish.
    void rescanFindsNewAndVanishedFolders() {
        TestEnv env;
        const QString root = env.mkdir("root");
        env.mkdir("root/gone");
        env.mkdir("root/stays");
        const FolderScanner::Tree tree = walk(root, options());
        QVERIFY(QDir(root + "/gone").removeRecursively());
        writeFile(root + "/new/Screenshot n.png", pngBytes());
        writeFile(root + "/new/inner/deeper/pic.png", pngBytes());

        FolderScanner::Rescan job;
        job.dirs = {root, root + "/stays"};
        job.root = root;
        job.opts = options();
        job.depths = {{root, 0}, {root + "/stays", 1}};
        job.oldChildren = tree.children;
        const FolderScanner::RescanResult result = job.run();
        QCOMPARE(result.vanished, QSet<QString>{root + "/gone"});
        QCOMPARE(result.children.value(root), (QStringList{root + "/new", root + "/stays"}));
        QCOMPARE(names(result.updates.value(root + "/new")), QStringList{"Screenshot n.png"});
        QCOMPARE(result.children.value(root + "/new"), QStringList{root + "/new/inner"});
        QCOMPARE(names(result.updates.value(root + "/new/inner/deeper")), QStringList{"pic.png"});
        // deeper sits at depth 3: listed for files only.
        QVERIFY(!result.children.contains(root + "/new/inner/deeper"));
        QVERIFY(result.updates.contains(root + "/stays"));

        // A rescanned subfolder that is gone is reported as vanished.
        QVERIFY(QDir(root + "/stays").removeRecursively());
        job.dirs = {root + "/stays"};
        const FolderScanner::RescanResult again = job.run();
        QCOMPARE(again.vanished, QSet<QString>{root + "/stays"});
        QVERIFY(again.rootOK);
    }

    // One rescan enters at most 400 subfolders below new ones: the budget is
    // shared by every new subtree of the job.
    void rescanSharesOneBudget() {
        TestEnv env;
        const QString root = env.mkdir("root");
        const FolderScanner::Tree before = walk(root, options());
        for (int i = 1; i <= 450; ++i)
            QVERIFY(QDir().mkpath(QStringLiteral("%1/New %2/inner").arg(root).arg(i)));
        FolderScanner::Rescan job;
        job.dirs = {root};
        job.root = root;
        job.opts = options();
        job.oldChildren = before.children;
        const FolderScanner::RescanResult result = job.run();
        QCOMPARE(result.children.value(root).size(), 450);
        int inner = 0;
        for (auto it = result.updates.cbegin(); it != result.updates.cend(); ++it)
            inner += it.key().endsWith("/inner");
        QCOMPARE(inner, 400);
        QVERIFY(result.updates.contains(root + "/New 400/inner"));
        QVERIFY(!result.updates.contains(root + "/New 401/inner"));
        QVERIFY(result.updates.contains(root + "/New 450")); // new folders themselves are listed
    }

    // A root that cannot be listed is reported, in a walk and in a rescan.
    void unreadableRoot() {
        TestEnv env;
        const QString root = env.home() + "/missing";
        const FolderScanner::Tree tree = walk(root, options());
        QVERIFY(!tree.ok);
        QVERIFY(tree.listing.isEmpty());

        // A file where the folder should be cannot be listed either.
        writeFile(root, "not a folder");
        FolderScanner::Rescan job;
        job.dirs = {root};
        job.root = root;
        job.opts = options();
        const FolderScanner::RescanResult result = job.run();
        QVERIFY(!result.rootOK);
        QVERIFY(!result.updates.contains(root));
        QVERIFY(result.vanished.isEmpty());

        // A walk from a subfolder that fails does not touch ok.
        int budget = 400;
        QVERIFY(FolderScanner::tree(root + "/x", 1, root, options(), {}, budget).ok);
    }

    // Subfolders at depth 3 are listed for files only; deeper ones are unknown.
    void depthLimit() {
        TestEnv env;
        const QString root = env.mkdir("root");
        writeFile(root + "/A/B/C/D/E/pic.png", pngBytes());
        writeFile(root + "/A/B/C/pic.png", pngBytes());
        const FolderScanner::Tree tree = walk(root, options());
        QVERIFY(tree.listing.contains(root + "/A"));
        QVERIFY(tree.listing.contains(root + "/A/B"));
        QCOMPARE(tree.listing.value(root + "/A/B/C").size(), 1);
        QVERIFY(!tree.listing.contains(root + "/A/B/C/D"));
        QVERIFY(!tree.children.contains(root + "/A/B/C"));
        QCOMPARE(tree.children.value(root + "/A/B"), QStringList{root + "/A/B/C"});
        for (const QStringList& kids : tree.children)
            QVERIFY(!kids.contains(root + "/A/B/C/D"));
    }

    // The budget walks the first subfolders in sorted order and is shared.
    void budgetLimit() {
        TestEnv env;
        const QString root = env.mkdir("root");
        for (int i = 1; i <= 500; ++i)
            QVERIFY(QDir().mkpath(QStringLiteral("%1/Folder %2/inner").arg(root).arg(i)));
        int budget = 400;
        const FolderScanner::Tree tree = FolderScanner::tree(root, 0, root, options(), {}, budget);
        QCOMPARE(budget, 0);
        const QStringList kids = tree.children.value(root);
        QCOMPARE(kids.size(), 500);
        QCOMPARE(kids.first(), root + "/Folder 1");
        QCOMPARE(kids.last(), root + "/Folder 500");
        QCOMPARE(tree.listing.size(), 401);
        QVERIFY(tree.listing.contains(root + "/Folder 400"));
        QVERIFY(!tree.listing.contains(root + "/Folder 401"));
        QCOMPARE(tree.children.size(), 1); // the budget was spent before any subfolder

        // A small budget: only the first two in order are entered.
        budget = 2;
        const FolderScanner::Tree small = FolderScanner::tree(root, 0, root, options(), {}, budget);
        QCOMPARE(small.listing.size(), 3);
        QVERIFY(small.listing.contains(root + "/Folder 2"));
    }

    // Numeric-aware, case-insensitive and stable.
    void sortFolders() {
        QStringList folders = {"/r/Folder 10", "/r/folder 9", "/r/FOLDER 1",
                               "/r/b",         "/r/Alpha",    "/other/B"};
        FolderScanner::sortFolders(folders);
        QCOMPARE(folders, (QStringList{"/r/Alpha", "/r/b", "/other/B", "/r/FOLDER 1", "/r/folder 9",
                                       "/r/Folder 10"}));
        QStringList swapped = {"/other/B", "/r/b"};
        FolderScanner::sortFolders(swapped);
        QCOMPARE(swapped, (QStringList{"/other/B", "/r/b"}));
    }

    // Hidden entries and symbolic links (to files, folders or loops) are skipped.
    void hiddenAndLinksSkipped() {
        TestEnv env;
        const QString root = env.mkdir("root");
        const QString shot = writeFile(root + "/Screenshot 1.png", pngBytes());
        writeFile(root + "/.Screenshot hidden.png", pngBytes());
        writeFile(root + "/.hidden/Screenshot 2.png", pngBytes());
        env.mkdir("root/real");
        QVERIFY(QFile::link(shot, root + "/Screenshot link.png"));
        QVERIFY(QFile::link(root + "/real", root + "/linked"));
        QVERIFY(QFile::link(root, root + "/real/loop"));
        QVERIFY(mkfifo(QFile::encodeName(root + "/Screenshot fifo.png").constData(), 0600) == 0);
        const FolderScanner::Tree tree = walk(root, options());
        QCOMPARE(names(tree.listing.value(root)), QStringList{"Screenshot 1.png"});
        QCOMPARE(tree.children.value(root), QStringList{root + "/real"});
        QCOMPARE(tree.children.value(root + "/real"), QStringList{});
        QCOMPARE(tree.listing.size(), 2);
    }

    // A file name that is not valid UTF-8 is skipped with a log line, never
    // turned into a path that names another file; valid names round-trip.
    void nonUtf8NamesNeverMisaddressed() {
        TestEnv env;
        const QString root = env.mkdir("root");
        const QByteArray rootRaw = QFile::encodeName(root);
        const QByteArray bad = rootRaw + "/Screenshot \xff\xfe.png";
        const int fd = ::open(bad.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        // The temporary folder's own clean-up cannot name this file either.
        const auto removeBad = qScopeGuard([&] { ::unlink(bad.constData()); });
        writeFile(root + "/Screenshot é ✓.png", pngBytes());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Skipping .*%FF%FE"));
        const auto listed = FolderScanner::list(root, false, options(), {}, false, true);
        QVERIFY(listed);
        QCOMPARE(listed->shots.size(), 1);
        const QString path = listed->shots.first()->path;
        QCOMPARE(path, root + "/Screenshot é ✓.png");
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(listed->shots.first()->pixelSize, QSizeF(8, 6));
    }

    // Equal and hashed by path; moved() keeps every other field.
    void shotIdentity() {
        Shot a("/x/a.png", 1, 2, QSizeF(3, 4), false, true);
        Shot b("/x/a.png", 5, 6, QSizeF(), true, false);
        QVERIFY(a == b);
        QCOMPARE(qHash(a), qHash(b));
        a.duration = 7.5;
        const ShotPtr moved = a.moved("/y/b.png");
        QCOMPARE(moved->path, QStringLiteral("/y/b.png"));
        QCOMPARE(moved->created, 1.0);
        QCOMPARE(moved->modified, 2.0);
        QCOMPARE(moved->pixelSize, QSizeF(3, 4));
        QVERIFY(moved->isScreenshot && !moved->isVideo);
        QCOMPARE(moved->duration, 7.5);
    }
};

TAMBERK_TEST(tst_Scanner)
#include "tst_Scanner.moc"
