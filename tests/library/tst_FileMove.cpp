#include "LibrarySupport.h"

#include "platform/CaptureMark.h"
#include "platform/FileMove.h"

#include <QTemporaryDir>
#include <cerrno>

using namespace LibrarySupport;

namespace {

enum Route { Direct, NoFlag, NoFlagNoLink, Across };
const char* const routeNames[] = {"rename", "without the flag", "without the flag or links",
                                  "copied"};

// Forces a route: no-replace rename, its fallbacks (hard link, reservation), or a copy.
void force(Route route) {
    if (route == NoFlag || route == NoFlagNoLink)
        FileMove::injectFault(FileMove::Step::Rename, EINVAL);
    if (route == NoFlagNoLink)
        FileMove::injectFault(FileMove::Step::Link, EPERM);
    if (route == Across)
        FileMove::injectFault(FileMove::Step::Rename, EXDEV);
}

enum Kind { File, Folder, Link };
const char* const kindNames[] = {"file", "folder", "link"};

void makeItem(const QString& from, int kind, const QByteArray& bytes = "payload") {
    if (kind == Folder) {
        writeFile(from + "/a.png", "alpha");
        writeFile(from + "/sub/b.png", "beta");
        writeFile(from + "/sub/deep/c.txt", QByteArray(3 << 20, 'c')); // more than one buffer
        QDir().mkpath(from + "/empty");
        QFile::link("a.png", from + "/link.png");
    } else if (kind == File) {
        writeFile(from, bytes);
    } else if (QDir().mkpath(QFileInfo(from).path())) {
        QFile::link("elsewhere.png", from);
    }
}

} // namespace

class tst_FileMove : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { FileMove::clearFaults(); }

    // Every route moves the item whole (a link as a link) and never replaces an
    // existing target, not even an empty folder that rename(2) would replace.
    void moves_data() {
        QTest::addColumn<int>("route");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("targetFolder"); // what is already at the target
        for (int route = Direct; route <= Across; ++route)
            for (int kind = File; kind <= Link; ++kind)
                for (bool onto : {false, true})
                    QTest::addRow("%s onto %s, %s", kindNames[kind], onto ? "folder" : "file",
                                  routeNames[route])
                        << route << kind << onto;
    }

    void moves() {
        QFETCH(int, route);
        QFETCH(int, kind);
        QFETCH(bool, targetFolder);
        QTemporaryDir dir;
        const QString from = dir.path() + "/src/item", to = dir.path() + "/dst/item";
        QDir().mkpath(dir.path() + "/dst");
        makeItem(from, kind);
        if (kind == File)
            QVERIFY(setModified(from, 1e9) && CaptureMark::write(from));
        const auto before = snapshot(dir.path() + "/src");
        force(Route(route));
        const FileMove::Result result = FileMove::move(from, to);
        QVERIFY2(result.ok, qPrintable(result.message));
        QCOMPARE(names(dir.path() + "/src"), QStringList());
        QCOMPARE(snapshot(dir.path() + "/dst"), before);
        if (kind == File) // the time and the capture mark (an xattr) survive a copy too
            QVERIFY(CaptureMark::has(to) && QFileInfo(to).lastModified().toSecsSinceEpoch() == 1e9);

        QVERIFY(QDir().rename(to, dir.path() + "/src/item"));
        if (targetFolder)
            QDir().mkpath(to);
        else
            writeFile(to, "theirs");
        const auto taken = snapshot(dir.path());
        force(Route(route));
        QCOMPARE(FileMove::move(from, to).error, EEXIST);
        QCOMPARE(snapshot(dir.path()), taken);
    }

    // A copy across file systems failing at any step keeps the original whole
    // and leaves nothing at the target.
    void failedCopyKeepsSource_data() {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("skip");
        using S = FileMove::Step;
        QTest::addRow("file, disk full while writing") << false << int(S::CopyData) << ENOSPC << 0;
        QTest::addRow("file, committing") << false << int(S::Commit) << ENOSPC << 0;
        QTest::addRow("file, removing the original")
            << false << int(S::RemoveSource) << EACCES << 0;
        QTest::addRow("folder, disk full at the second file")
            << true << int(S::CopyData) << ENOSPC << 1;
    }

    void failedCopyKeepsSource() {
        QFETCH(bool, folder);
        QFETCH(int, step);
        QFETCH(int, error);
        QFETCH(int, skip);
        QTemporaryDir source, target;
        makeItem(source.path() + "/item", folder ? Folder : File, QByteArray(5 << 20, 'x'));
        const auto before = snapshot(source.path());
        force(Across);
        FileMove::injectFault(FileMove::Step(step), error, skip);
        QCOMPARE(FileMove::move(source.path() + "/item", target.path() + "/item").error, error);
        QCOMPARE(snapshot(source.path()), before);
        QCOMPARE(names(target.path()), QStringList());
    }

    // A move that cannot be done (vanished source, a missing or read-only target
    // folder, a folder into itself) fails and loses nothing.
    void refusedMoves() {
        QTemporaryDir dir;
        const QString src = dir.path() + "/src", dst = dir.path() + "/dst";
        writeFile(src + "/shot.png", "pixels");
        makeItem(src + "/Work", Folder);
        QDir().mkpath(dst);
        const auto before = snapshot(dir.path());
        const std::tuple<QString, QString, int> cases[] = {
            {"gone.png", dst + "/gone.png", ENOENT},
            {"shot.png", dst + "/no/shot.png", ENOENT},
            {"Work", src + "/Work/sub/Work", EINVAL},
        };
        for (const auto& [from, to, error] : cases) {
            const FileMove::Result result = FileMove::move(src + '/' + from, to);
            QVERIFY2(!result.ok && result.error == error, qPrintable(to + ": " + result.message));
            QCOMPARE(snapshot(dir.path()), before);
        }
        FileMove::injectFault(FileMove::Step::Rename, EROFS); // a read-only folder, never copied
        QCOMPARE(FileMove::move(src + "/shot.png", dst + "/shot.png").error, EROFS);
        QCOMPARE(snapshot(dir.path()), before);
    }
};

TAMBERK_TEST(tst_FileMove)
#include "tst_FileMove.moc"
