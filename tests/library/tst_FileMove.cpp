#include "LibrarySupport.h"

#include "platform/CaptureMark.h"
#include "platform/FileMove.h"

#include "platform/Trash.h"
#include <QSettings>
#include <QUrl>
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

// The value of `key` in a .trashinfo file.
QString infoValue(const QString& path, const char* key) {
    return QSettings(path, QSettings::IniFormat)
        .value(QStringLiteral("Trash Info/") + key)
        .toString();
}

} // namespace

class tst_FileMove : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { FileMove::clearFaults(); }

    // Every route moves the item whole and never replaces a target, not even an empty folder.
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

    // A copy across file systems failing at any step keeps the original and leaves no target.
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

    // A move that cannot be done fails and loses nothing.
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

    // The home Trash: encoded paths, names never reused, long names shortened, safe restores.
    void homeTrash() {
        TestEnv env;
        const QString home = env.home(), trash = home + "/fresh/share/Trash";
        qputenv("XDG_DATA_HOME", QFile::encodeName(home + "/fresh/share"));
        const Trash::Result result =
            Trash::trash(writeFile(home + "/shots/a b%c#\u00fc.png", "pixels"));
        QVERIFY2(result.ok, qPrintable(result.message));
        QCOMPARE(contents(trash + "/files/a b%c#\u00fc.png"), QByteArray("pixels"));
        QCOMPARE(infoValue(trash + "/info/a b%c#\u00fc.png.trashinfo", "Path"),
                 QString::fromLatin1(QFile::encodeName(home).toPercentEncoding("/")) +
                     "/shots/a%20b%25c%23%C3%BC.png");
        writeFile(trash + "/info/y.png.trashinfo", "[Trash Info]\n");
        for (const char* name : {"A/x.png", "B/x.png", "C/y.png"})
            QVERIFY(Trash::trash(writeFile(home + '/' + name)).ok);
        QCOMPARE(names(trash + "/files"),
                 QStringList({"a b%c#\u00fc.png", "x 2.png", "x.png", "y 2.png"}));
        QVERIFY(infoValue(trash + "/info/y 2.png.trashinfo", "Path").endsWith("/C/y.png"));
        writeFile(home + "/A/x.png", "newcomer");
        QCOMPARE(Trash::restore(trash + "/files/x.png", home + "/A/x.png").error, EEXIST);
        QVERIFY(QFileInfo::exists(trash + "/info/x.png.trashinfo"));
        QCOMPARE(contents(home + "/A/x.png"), QByteArray("newcomer"));

        // 83 three-byte characters and ".png": 253 bytes, allowed for the file itself.
        const QString name = QString(83, QChar(0x9875)) + ".png";
        const QString first = writeFile(home + "/A/" + name, "one");
        const Trash::Result one = Trash::trash(first);
        const Trash::Result two = Trash::trash(writeFile(home + "/B/" + name, "two"));
        QVERIFY2(one.ok && two.ok && one.location != two.location, qPrintable(one.message));
        for (const Trash::Result& r : {one, two}) {
            const QString entry = QFileInfo(r.location).fileName();
            QVERIFY(entry.endsWith(".png") && !entry.contains(QChar::ReplacementCharacter));
            QVERIFY(QFile::encodeName(entry + ".trashinfo").size() <= 255);
        }
        const QString info = Trash::infoFor(one.location);
        QVERIFY(infoValue(info, "Path").endsWith(QUrl::toPercentEncoding(name)));
        QVERIFY(Trash::restore(one.location, first).ok);
        QCOMPARE(contents(first), QByteArray("one"));
        QVERIFY(!QFileInfo::exists(info));
    }

    // Another volume: .Trash/$uid only in a sticky non-link .Trash, else .Trash-$uid (0700).
    void volumeTrash_data() {
        QTest::addColumn<QString>("shared"); // what $topdir/.Trash is
        QTest::addColumn<bool>("usesShared");
        QTest::addRow("no .Trash") << "" << false;
        QTest::addRow("sticky .Trash") << "sticky" << true;
        QTest::addRow(".Trash not sticky") << "plain" << false;
        QTest::addRow(".Trash is a link") << "link" << false;
    }
    void volumeTrash() {
        QFETCH(QString, shared);
        QFETCH(bool, usesShared);
        TestEnv env;
        const QString volume = env.mkdir("volume");
        if (!mountTmpfs(volume))
            QSKIP("cannot mount a second volume here (needs root and mount namespaces)");
        const QString uid = QString::number(::getuid());
        const QString elsewhere = env.mkdir("elsewhere");
        ::chmod(QFile::encodeName(elsewhere).constData(), 01777);
        if (shared == "link")
            QFile::link(elsewhere, volume + "/.Trash");
        else if (!shared.isEmpty() && QDir().mkpath(volume + "/.Trash"))
            ::chmod(QFile::encodeName(volume + "/.Trash").constData(),
                    shared == "sticky" ? 01777 : 0777);
        const Trash::Result result =
            Trash::trash(writeFile(volume + "/shots/odd name.png", "pixels"));
        const QString trash = usesShared ? volume + "/.Trash/" + uid : volume + "/.Trash-" + uid;
        const QString path = infoValue(trash + "/info/odd name.png.trashinfo", "Path");
        struct stat st;
        const int mode =
            ::lstat(QFile::encodeName(trash).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
        unmount(volume);
        QVERIFY2(result.ok, qPrintable(result.message));
        QCOMPARE(result.location, trash + "/files/odd name.png");
        QCOMPARE(path, QString("shots/odd%20name.png"));
        QCOMPARE(mode, 0700);
        QCOMPARE(names(elsewhere), QStringList()); // a linked .Trash is never followed
    }
};

TAMBERK_TEST(tst_FileMove)
#include "tst_FileMove.moc"
