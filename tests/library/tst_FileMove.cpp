#include "FileOpsSupport.h"
#include "TestEnv.h"

#include "platform/FileMove.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>

using namespace FileOpsSupport;

namespace {

enum Route { Direct, NoFlag, NoFlagNoLink, Across };

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

} // namespace

class tst_FileMove : public QObject {
    Q_OBJECT
private slots:
    void init() { FileMove::clearFaults(); }
    void cleanup() { FileMove::clearFaults(); }

    void moves_data();
    void moves();
    void neverReplaces_data();
    void neverReplaces();
    void movesAcrossFileSystems_data();
    void movesAcrossFileSystems();
    void failedCopyKeepsSource_data();
    void failedCopyKeepsSource();
    void readOnlyFolders();
    void refusesImpossibleMoves();
};

void tst_FileMove::moves_data() {
    QTest::addColumn<int>("route");
    QTest::addColumn<bool>("folder");
    for (bool folder : {false, true}) {
        const char* kind = folder ? "folder" : "file";
        QTest::addRow("%s, rename", kind) << int(Direct) << folder;
        QTest::addRow("%s, without the flag", kind) << int(NoFlag) << folder;
        QTest::addRow("%s, without the flag or links", kind) << int(NoFlagNoLink) << folder;
        QTest::addRow("%s, copied", kind) << int(Across) << folder;
    }
}

// Every route ends with the item under its new name, whole, and nothing left
// at the old name or beside the new one.
void tst_FileMove::moves() {
    QFETCH(int, route);
    QFETCH(bool, folder);
    QTemporaryDir dir;
    const QString from = dir.path() + "/src/item";
    const QString to = dir.path() + "/dst/item";
    QDir().mkpath(dir.path() + "/dst");
    if (folder)
        makeTree(from);
    else
        writeFile(from, "payload");
    const auto before = folder ? snapshot(from) : QMap<QString, QByteArray>{{"", "payload"}};

    force(Route(route));
    const FileMove::Result result = FileMove::move(from, to);
    QVERIFY2(result.ok, qPrintable(result.message));
    QCOMPARE(result.error, 0);
    QVERIFY(!exists(from));
    QCOMPARE(names(dir.path() + "/dst"), QStringList{"item"});
    if (folder) {
        QCOMPARE(snapshot(to), before);
    } else {
        QFile file(to);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("payload"));
    }
}

void tst_FileMove::neverReplaces_data() {
    QTest::addColumn<int>("route");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("targetFolder");
    for (bool folder : {false, true}) {
        for (bool targetFolder : {false, true}) {
            const QString kind =
                QStringLiteral("%1 onto %2")
                    .arg(folder ? "folder" : "file", targetFolder ? "folder" : "file");
            const QByteArray name = kind.toLatin1();
            QTest::addRow("%s, rename", name.constData()) << int(Direct) << folder << targetFolder;
            QTest::addRow("%s, without the flag", name.constData())
                << int(NoFlag) << folder << targetFolder;
            QTest::addRow("%s, without the flag or links", name.constData())
                << int(NoFlagNoLink) << folder << targetFolder;
            QTest::addRow("%s, copied", name.constData()) << int(Across) << folder << targetFolder;
        }
    }
}

// An existing target, even an empty folder that rename(2) would silently
// replace, is never touched: the move fails and both items stay as they were.
void tst_FileMove::neverReplaces() {
    QFETCH(int, route);
    QFETCH(bool, folder);
    QFETCH(bool, targetFolder);
    QTemporaryDir dir;
    const QString from = dir.path() + "/src/item";
    const QString to = dir.path() + "/dst/item";
    if (folder)
        QDir().mkpath(from); // an empty folder: the case rename(2) would allow
    else
        writeFile(from, "mine");
    if (targetFolder)
        QDir().mkpath(to);
    else
        writeFile(to, "theirs");
    const auto before = snapshot(dir.path());

    force(Route(route));
    const FileMove::Result result = FileMove::move(from, to);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, EEXIST);
    QVERIFY(!result.message.isEmpty());
    QCOMPARE(snapshot(dir.path()), before);
}

void tst_FileMove::movesAcrossFileSystems_data() {
    QTest::addColumn<bool>("real");
    QTest::addRow("another file system") << true;
    QTest::addRow("injected EXDEV") << false;
}

// Across file systems the copy keeps data, permissions, times and extended
// attributes (the capture mark lives in one), and the original goes only
// after the copy is complete.
void tst_FileMove::movesAcrossFileSystems() {
    QFETCH(bool, real);
    QTemporaryDir source;
    std::unique_ptr<QTemporaryDir> target;
    QString mounted;
    if (real) {
        target = std::make_unique<QTemporaryDir>("/dev/shm/tamberk-test-XXXXXX");
        if (!target->isValid() || device(target->path()) == device(source.path())) {
            target = std::make_unique<QTemporaryDir>();
            if (!mountTmpfs(target->path()))
                QSKIP("no second file system: /dev/shm is missing and tmpfs cannot be mounted");
            mounted = target->path();
        }
        QVERIFY(device(target->path()) != device(source.path()));
    } else {
        target = std::make_unique<QTemporaryDir>();
        force(Across);
    }

    const QString file = writeFile(source.path() + "/shot.png", "pixels");
    ::chmod(QFile::encodeName(file).constData(), 0640);
    QVERIFY(setModified(file, 1000000000.25));
    const bool xattrs =
        ::setxattr(QFile::encodeName(file).constData(), "user.tamberk.test", "1", 1, 0) == 0;
    const QString to = target->path() + "/shot.png";

    FileMove::Result result = FileMove::move(file, to);
    QVERIFY2(result.ok, qPrintable(result.message));
    QVERIFY(!exists(file));
    const QFileInfo info(to);
    QCOMPARE(info.size(), 6);
    QCOMPARE(int(info.permissions() & (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                       QFile::WriteGroup | QFile::ReadOther)),
             int(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QCOMPARE(info.lastModified().toMSecsSinceEpoch(), qint64(1000000000250));
    char value[4] = {};
    const bool targetTakesXattrs =
        ::setxattr(QFile::encodeName(target->path()).constData(), "user.probe", "1", 1, 0) == 0;
    if (xattrs && targetTakesXattrs)
        QCOMPARE(::getxattr(QFile::encodeName(to).constData(), "user.tamberk.test", value, 4), 1);

    // A link is moved as a link, never as what it points to.
    QVERIFY(QFile::link("shot.png", source.path() + "/link.png"));
    if (!real)
        force(Across);
    result = FileMove::move(source.path() + "/link.png", target->path() + "/link.png");
    QVERIFY2(result.ok, qPrintable(result.message));
    QVERIFY(!exists(source.path() + "/link.png"));
    QCOMPARE(snapshot(target->path()).value("link.png"), QByteArray("-> shot.png"));

    // A folder goes the same way, with its subfolders, empty folders and links.
    makeTree(source.path() + "/Work");
    const auto before = snapshot(source.path() + "/Work");
    if (!real)
        force(Across);
    result = FileMove::move(source.path() + "/Work", target->path() + "/Work");
    QVERIFY2(result.ok, qPrintable(result.message));
    QVERIFY(!exists(source.path() + "/Work"));
    QCOMPARE(snapshot(target->path() + "/Work"), before);
    QVERIFY(!names(target->path()).join(' ').contains("tamberk-move"));

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
    QTest::addRow("folder, creating it") << true << int(S::CreateTemp) << ENOSPC << 0;
    QTest::addRow("folder, creating a subfolder") << true << int(S::CreateTemp) << ENOSPC << 2;
    QTest::addRow("folder, disk full at the second file")
        << true << int(S::CopyData) << ENOSPC << 1;
    QTest::addRow("folder, sync fails") << true << int(S::Sync) << EIO << 2;
    QTest::addRow("folder, committing") << true << int(S::Commit) << ENOSPC << 0;
    QTest::addRow("folder, removing the original") << true << int(S::RemoveSource) << EACCES << 0;
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
    const QString from = source.path() + "/item";
    if (folder)
        makeTree(from);
    else
        writeFile(from, QByteArray(5 << 20, 'x'));
    const auto before = snapshot(source.path());

    force(Across);
    FileMove::injectFault(FileMove::Step(step), error, skip);
    const FileMove::Result result = FileMove::move(from, target.path() + "/item");
    QVERIFY(!result.ok);
    QCOMPARE(result.error, error);
    QCOMPARE(snapshot(source.path()), before);
    QCOMPARE(names(target.path()), QStringList());
}

// A folder that cannot be written to, as target or as source (where the
// original could not be removed after copying), stops the move before
// anything is copied; nothing is lost. As root, permission bits stop
// nothing, so the folder is made read-only by a read-only bind mount.
void tst_FileMove::readOnlyFolders() {
    QTemporaryDir dir;
    const QString from = writeFile(dir.path() + "/src/shot.png", "pixels");
    const QString dst = dir.path() + "/dst";
    QDir().mkpath(dst);
    const auto before = snapshot(dir.path());

    bool mounted = false;
    if (!makeReadOnly(dst, &mounted))
        QSKIP("cannot make a read-only folder here (root without mount namespaces)");
    FileMove::Result result = FileMove::move(from, dst + "/shot.png");
    makeWritable(dst, mounted);
    QVERIFY(!result.ok);
    QVERIFY2(result.error == EROFS || result.error == EACCES, qPrintable(result.message));
    QCOMPARE(snapshot(dir.path()), before);

    // The source folder read-only: the original could not be removed after
    // copying, so nothing is copied at all.
    QVERIFY(makeReadOnly(dir.path() + "/src", &mounted));
    result = FileMove::move(from, dst + "/shot.png");
    makeWritable(dir.path() + "/src", mounted);
    QVERIFY(!result.ok);
    QVERIFY2(result.error == EROFS || result.error == EACCES, qPrintable(result.message));
    QCOMPARE(snapshot(dir.path()), before);

    // Likewise a read-only folder deep inside a folder copied across.
    makeTree(dir.path() + "/Work");
    const auto tree = snapshot(dir.path());
    QVERIFY(makeReadOnly(dir.path() + "/Work/sub", &mounted));
    force(Across);
    result = FileMove::move(dir.path() + "/Work", dst + "/Work");
    makeWritable(dir.path() + "/Work/sub", mounted);
    QVERIFY(!result.ok);
    QVERIFY2(result.error == EROFS || result.error == EACCES, qPrintable(result.message));
    QCOMPARE(snapshot(dir.path()), tree);
}

// A vanished source, a missing target folder and a folder moved into itself
// fail cleanly.
void tst_FileMove::refusesImpossibleMoves() {
    QTemporaryDir dir;
    QCOMPARE(FileMove::move(dir.path() + "/gone.png", dir.path() + "/x.png").error, ENOENT);
    writeFile(dir.path() + "/a.png");
    QCOMPARE(FileMove::move(dir.path() + "/a.png", dir.path() + "/no/such/a.png").error, ENOENT);
    force(Across);
    QCOMPARE(FileMove::move(dir.path() + "/a.png", dir.path() + "/no/such/a.png").error, ENOENT);

    makeTree(dir.path() + "/Work");
    const auto before = snapshot(dir.path());
    for (Route route : {Direct, NoFlag}) {
        force(route);
        const FileMove::Result result =
            FileMove::move(dir.path() + "/Work", dir.path() + "/Work/sub/Work");
        QVERIFY(!result.ok);
        QCOMPARE(snapshot(dir.path()), before);
    }
}

TAMBERK_TEST(tst_FileMove)
#include "tst_FileMove.moc"
