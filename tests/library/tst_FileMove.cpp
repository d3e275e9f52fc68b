#include "FileOpsSupport.h"
#include "TestEnv.h"

#include "platform/FileMove.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <optional>
#include <sys/stat.h>
#include <sys/xattr.h>

using namespace FileOpsSupport;

namespace {

enum Route { Direct, NoFlag, NoFlagNoLink, Across };
const char* const routeNames[] = {"rename", "without the flag", "without the flag or links",
                                  "copied"};

// Forces the route a move takes: the plain no-replace rename, the fallback of
// a file system without the flag (hard link, or a reservation where there are
// no hard links either), or the copy across file systems.
void force(Route route) {
    if (route == NoFlag || route == NoFlagNoLink)
        FileMove::injectFault(FileMove::Step::Rename, EINVAL);
    if (route == NoFlagNoLink)
        FileMove::injectFault(FileMove::Step::Link, EPERM);
    if (route == Across)
        FileMove::injectFault(FileMove::Step::Rename, EXDEV);
}

// A small tree with the kinds of entries a screenshot folder holds.
void makeTree(const QString& dir) {
    writeFile(dir + "/a.png", "alpha");
    writeFile(dir + "/sub/b.png", "beta");
    writeFile(dir + "/sub/deep/c.txt", QByteArray(3 << 20, 'c')); // more than one buffer
    QDir().mkpath(dir + "/empty");
    QFile::link("a.png", dir + "/link.png");
}

enum Kind { File, Folder, Link };
const char* const kindNames[] = {"file", "folder", "link"};

// Makes `from` an item of this kind.
void makeItem(const QString& from, int kind, const QByteArray& bytes = "payload") {
    if (kind == Folder)
        makeTree(from);
    else if (kind == File)
        writeFile(from, bytes);
    else if (QDir().mkpath(QFileInfo(from).path()))
        QFile::link("elsewhere.png", from);
}

} // namespace

class tst_FileMove : public QObject {
    Q_OBJECT
private slots:
    void init() { FileMove::clearFaults(); }
    void cleanup() { FileMove::clearFaults(); }

    void moves_data();
    void moves();
    void copyKeepsMetadata();
    void failedCopyKeepsSource_data();
    void failedCopyKeepsSource();
    void refusedMoves();
};

void tst_FileMove::moves_data() {
    QTest::addColumn<int>("route");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("targetFolder"); // what is already at the target
    for (int route = Direct; route <= Across; ++route) {
        for (int kind = File; kind <= Link; ++kind) {
            for (bool targetFolder : {false, true}) {
                QTest::addRow("%s onto %s, %s", kindNames[kind], targetFolder ? "folder" : "file",
                              routeNames[route])
                    << route << kind << targetFolder;
            }
        }
    }
}

// Every route ends with the item whole under its new name (a link as a link)
// and nothing left beside it; an existing target, even an empty folder that
// rename(2) would silently replace, is never touched: that move fails and
// changes nothing.
void tst_FileMove::moves() {
    QFETCH(int, route);
    QFETCH(int, kind);
    QFETCH(bool, targetFolder);
    QTemporaryDir dir;
    const QString from = dir.path() + "/src/item";
    const QString to = dir.path() + "/dst/item";
    QDir().mkpath(dir.path() + "/dst");
    makeItem(from, kind);
    const auto before = snapshot(dir.path() + "/src");

    force(Route(route));
    FileMove::Result result = FileMove::move(from, to);
    QVERIFY2(result.ok, qPrintable(result.message));
    QCOMPARE(names(dir.path() + "/src"), QStringList());
    QCOMPARE(snapshot(dir.path() + "/dst"), before);

    // Back again, now onto a taken name; an empty folder is the case
    // rename(2) would allow.
    QVERIFY(QDir().rename(to, dir.path() + "/src/item"));
    if (targetFolder)
        QDir().mkpath(to);
    else
        writeFile(to, "theirs");
    const auto taken = snapshot(dir.path());
    force(Route(route));
    result = FileMove::move(from, to);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, EEXIST);
    QCOMPARE(snapshot(dir.path()), taken);
}

// Across file systems (a real one where possible) the copy keeps data,
// permissions, times and extended attributes (the capture mark lives in
// one), and the original goes only after the copy.
void tst_FileMove::copyKeepsMetadata() {
    QTemporaryDir source;
    std::optional<QTemporaryDir> target;
    target.emplace("/dev/shm/tamberk-test-XXXXXX");
    QString mounted;
    if (!target->isValid() || device(target->path()) == device(source.path())) {
        target.emplace();
        if (mountTmpfs(target->path()))
            mounted = target->path();
    }
    const QString there = target->path();
    const bool real = device(there) != device(source.path());

    const QString file = writeFile(source.path() + "/shot.png", "pixels");
    ::chmod(QFile::encodeName(file).constData(), 0640);
    QVERIFY(setModified(file, 1000000000.25));
    const bool xattrs =
        ::setxattr(QFile::encodeName(file).constData(), "user.tamberk.test", "1", 1, 0) == 0 &&
        ::setxattr(QFile::encodeName(there).constData(), "user.probe", "1", 1, 0) == 0;
    const QString to = there + "/shot.png";
    if (!real)
        force(Across);
    const FileMove::Result result = FileMove::move(file, to);
    QVERIFY2(result.ok, qPrintable(result.message));
    QCOMPARE(names(source.path()), QStringList());
    QCOMPARE(snapshot(there).value("shot.png"), QByteArray("pixels"));
    const QFileInfo info(to);
    QCOMPARE(int(info.permissions() & 0x7077),
             int(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QCOMPARE(info.lastModified().toMSecsSinceEpoch(), qint64(1000000000250));
    char value[4] = {};
    if (xattrs)
        QCOMPARE(::getxattr(QFile::encodeName(to).constData(), "user.tamberk.test", value, 4), 1);
    if (!mounted.isEmpty())
        unmount(mounted);
}

void tst_FileMove::failedCopyKeepsSource_data() {
    QTest::addColumn<bool>("folder");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("skip");
    using S = FileMove::Step;
    QTest::addRow("file, creating the copy") << false << int(S::CreateTemp) << ENOSPC << 0;
    QTest::addRow("file, disk full while writing") << false << int(S::CopyData) << ENOSPC << 0;
    QTest::addRow("file, sync fails") << false << int(S::Sync) << EIO << 0;
    QTest::addRow("file, committing") << false << int(S::Commit) << ENOSPC << 0;
    QTest::addRow("file, removing the original") << false << int(S::RemoveSource) << EACCES << 0;
    QTest::addRow("folder, creating a subfolder") << true << int(S::CreateTemp) << ENOSPC << 2;
    QTest::addRow("folder, disk full at the second file")
        << true << int(S::CopyData) << ENOSPC << 1;
    QTest::addRow("folder, sync fails") << true << int(S::Sync) << EIO << 2;
}

// A copy across file systems that fails at any step reports the error, keeps
// the original whole, and leaves neither the item nor a half-made copy at
// the target.
void tst_FileMove::failedCopyKeepsSource() {
    QFETCH(bool, folder);
    QFETCH(int, step);
    QFETCH(int, error);
    QFETCH(int, skip);
    QTemporaryDir source;
    QTemporaryDir target;
    makeItem(source.path() + "/item", folder ? Folder : File, QByteArray(5 << 20, 'x'));
    const auto before = snapshot(source.path());

    force(Across);
    FileMove::injectFault(FileMove::Step(step), error, skip);
    const FileMove::Result result =
        FileMove::move(source.path() + "/item", target.path() + "/item");
    QVERIFY(!result.ok);
    QCOMPARE(result.error, error);
    QCOMPARE(snapshot(source.path()), before);
    QCOMPARE(names(target.path()), QStringList());
}

// A move that cannot be done fails before anything is copied, and nothing
// is lost: a folder that cannot be written to (the target; the source, whose
// original could not be removed after copying; a folder deep inside one
// copied across), a vanished source, a missing target folder, a folder moved
// into itself.
void tst_FileMove::refusedMoves() {
    QTemporaryDir dir;
    const QString src = dir.path() + "/src";
    const QString dst = dir.path() + "/dst";
    writeFile(src + "/shot.png", "pixels");
    makeTree(src + "/Work");
    QDir().mkpath(dst);
    const auto before = snapshot(dir.path());

    const struct {
        QString locked, from, to;
        Route route;
        int error; // EROFS also accepts EACCES: a folder made read-only by its mode
    } cases[] = {
        {dst, "shot.png", dst + "/shot.png", Direct, EROFS},
        {src, "shot.png", dst + "/shot.png", Direct, EROFS},
        {src + "/Work/sub", "Work", dst + "/Work", Across, EROFS},
        {{}, "gone.png", dst + "/gone.png", Direct, ENOENT},
        {{}, "shot.png", dst + "/no/shot.png", Direct, ENOENT},
        {{}, "shot.png", dst + "/no/shot.png", Across, ENOENT},
        {{}, "Work", src + "/Work/sub/Work", Direct, EINVAL},
        {{}, "Work", src + "/Work/sub/Work", NoFlag, EINVAL},
    };
    for (const auto& c : cases) {
        if (!c.locked.isEmpty() && !makeReadOnly(c.locked)) {
            qWarning("read-only case skipped: cannot make a read-only folder here");
            continue;
        }
        force(c.route);
        const FileMove::Result result = FileMove::move(src + '/' + c.from, c.to);
        if (!c.locked.isEmpty())
            makeWritable(c.locked);
        FileMove::clearFaults();
        QVERIFY2(!result.ok &&
                     (result.error == c.error || (c.error == EROFS && result.error == EACCES)),
                 qPrintable(c.to + ": " + result.message));
        QCOMPARE(snapshot(dir.path()), before);
    }
}

TAMBERK_TEST(tst_FileMove)
#include "tst_FileMove.moc"
