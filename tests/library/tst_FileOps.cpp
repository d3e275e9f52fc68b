#include "LibrarySupport.h"

#include "platform/CaptureMark.h"
#include "platform/FileMove.h"
#include "platform/Trash.h"

#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QUrl>
#include <cerrno>

using namespace LibrarySupport;

namespace {

using Files = QMap<QString, QByteArray>;

// What undo() reports for a batch of `label` that brought files back (or none).
std::optional<Library::Undone> undone(const char* label, bool restored = true) {
    return Library::Undone{QString::fromLatin1(label), restored};
}

void expectLog(const char* what) {
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^Tamberk %1 failed: .+").arg(what)));
}

// Rescans every folder, as the watcher would, and expects `expected` and no arrivals.
bool rescannedQuietly(LibraryRig& r, const QStringList& expected) {
    const QStringList folders = r.lib->folders();
    QSignalSpy changed(r.lib.get(), &Library::changed);
    r.lib->refresh(QSet<QString>(folders.begin(), folders.end()) << r.root);
    return QTest::qWaitFor([&] { return !changed.isEmpty() && r.listed() == expected; }, 20000) &&
           r.events->arrivals.isEmpty();
}

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

// Library file operations, and the moves and Trash under them.
class tst_FileOps : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { FileMove::clearFaults(); }

    // Renames keep extension and mark and undo; new folders get free names; bad names do nothing.
    void naming_data() {
        QTest::addColumn<bool>("folder"); // a new folder, else a rename of Screenshot 1.png
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("parent"); // of the new folder, relative to the root
        QTest::addColumn<QString>("made");   // relative to the root; empty: refused
        const auto row = [](const char* name, bool folder, const char* typed, const char* made,
                            const char* parent = "") {
            QTest::newRow(name) << folder << QString(typed) << QString(parent) << QString(made);
        };
        row("rename", false, "Invoice", "Invoice.png");
        row("rename, same extension, other case", false, "Invoice.PNG", "Invoice.PNG");
        row("rename, slashes, colons, spaces", false, " a/b:c \n", "a-b-c.png");
        row("rename to spaces", false, "   ", "");
        row("rename to a taken name", false, "Screenshot 2", "");
        row("rename to a hidden name", false, ".Invoice", "");
        row("folder in the root", true, " Receipts ", "Receipts");
        row("folder, taken name numbered", true, "Work", "Work 2");
        row("folder inside a folder", true, "a/b", "Work/a-b", "Work");
        row("folder, hidden name", true, ".cache", "");
    }
    void naming() {
        QFETCH(bool, folder);
        QFETCH(QString, typed);
        QFETCH(QString, parent);
        QFETCH(QString, made);
        LibraryRig r;
        QVERIFY(
            r.load({{"Screenshot 1.png", "one"}, {"Screenshot 2.png", "two"}, {"Work/1.png", ""}}));
        const auto before = snapshot(r.root);
        const QString in = parent.isEmpty() ? r.root : r.root + '/' + parent;
        const QString path = r.root + '/' + made;
        if (folder)
            QCOMPARE(r.lib->createFolder(typed, parent.isEmpty() ? QString() : in),
                     made.isEmpty() ? std::nullopt : std::optional(path));
        else
            QCOMPARE(r.lib->rename(r.find("Screenshot 1.png"), typed), !made.isEmpty());
        if (made.isEmpty() || folder)
            QVERIFY(r.lib->undoStack().isEmpty());
        if (made.isEmpty()) {
            QCOMPARE(snapshot(r.root), before);
        } else if (folder) {
            QVERIFY(QFileInfo(path).isDir() && r.lib->folders().contains(path));
            QVERIFY(r.lib->childMap().value(in).contains(path));
        } else {
            QVERIFY(contents(path) == "one" && CaptureMark::has(path));
            QCOMPARE(r.lib->undo(), undone("Rename"));
            QCOMPARE(snapshot(r.root), before);
        }
    }

    // Moves number clashes; undo never replaces a newcomer; a full disk skips only its file.
    void moveAndUndo() {
        LibraryRig r;
        QVERIFY(
            r.load({{"A/x.png", "from A"}, {"B/x.png", "from B"}, {"C/y.png", "y"}, {"D/z", ""}}));
        QCOMPARE(r.lib->move({r.find("A/x.png"), r.find("B/x.png"), r.find("C/y.png")},
                             r.root + "/C/../C"),
                 2);
        QCOMPARE(snapshot(r.root + "/C"),
                 (Files{{"x.png", "from A"}, {"x 2.png", "from B"}, {"y.png", "y"}}));
        writeFile(r.root + "/A/x.png", "newcomer");
        QCOMPARE(r.lib->undo(), undone("Move"));
        QCOMPARE(snapshot(r.root + "/A"), (Files{{"x.png", "newcomer"}, {"x 2.png", "from A"}}));
        QCOMPARE(snapshot(r.root + "/B"), (Files{{"x.png", "from B"}}));

        FileMove::injectFault(FileMove::Step::Rename, EXDEV);
        FileMove::injectFault(FileMove::Step::CopyData, ENOSPC);
        expectLog("move");
        QCOMPARE(r.lib->move({r.find("B/x.png"), r.find("C/y.png")}, r.root + "/D"), 1);
        QCOMPARE(snapshot(r.root + "/D"), (Files{{"z", ""}, {"y.png", "y"}}));
        QCOMPARE(r.lib->undoStack().last().moves.size(), 1);
        QVERIFY(QFile::remove(r.root + "/D/y.png"));
        expectLog("undo");
        QCOMPARE(r.lib->undo(), undone("Move", false));
        QVERIFY(r.lib->undoStack().isEmpty());
        QCOMPARE(r.lib->undo(), std::nullopt);
        QCOMPARE(snapshot(r.root + "/B"), (Files{{"x.png", "from B"}}));
    }

    // Trashed shots or a folder come back by one undo, unannounced; another root drops it.
    void trashThenUndo_data() {
        QTest::addColumn<bool>("folder");
        QTest::newRow("shots") << false;
        QTest::newRow("folder") << true;
    }
    void trashThenUndo() {
        QFETCH(bool, folder);
        LibraryRig r;
        const QStringList all{"A/two.png", "B/Sub/three.png", "Screenshot 1.png"};
        QVERIFY(r.load({{all[0], "two"}, {all[1], "three"}, {all[2], "one"}}));
        const auto before = snapshot(r.root);
        if (folder) {
            QVERIFY(r.lib->trashFolder(r.root + "/B"));
            QCOMPARE(r.listed(), (QStringList{all[0], all[2]}));
        } else {
            QCOMPARE(r.lib->trash({r.find(all[0]), r.find(all[1]), r.find(all[2])}), 3);
            QVERIFY(QDir(r.root + "/B").removeRecursively());
        }
        QCOMPARE(r.lib->undo(), undone("Trash"));
        QCOMPARE(snapshot(r.root), before);
        QCOMPARE(snapshot(r.env.dataHome() + "/Trash").keys(), (QStringList{"files", "info"}));
        QVERIFY(rescannedQuietly(r, all));
        QCOMPARE(r.lib->trash({r.find(all[0])}), 1);
        r.lib->setRoot(r.env.mkdir("Other"));
        QVERIFY(r.lib->undoStack().isEmpty());
    }

    // A renamed folder keeps its shots and their text under the new paths, unannounced.
    void renameFolderKeepsShotsAndText() {
        LibraryRig r;
        writeFile(r.env.dataHome() + "/Tamberk/text-index.json",
                  R"({")" + QFile::encodeName(r.root) + R"(/Work/a.png":{"m":0,"t":"Invoice"}})");
        QVERIFY(r.load({{"Work/a.png", "a"}, {"Work/Sub/b.png", "b"}}));
        QCOMPARE(r.lib->renameFolder(r.root + "/Work", "Done"), std::optional(r.root + "/Done"));
        QCOMPARE(r.listed(), (QStringList{"Done/Sub/b.png", "Done/a.png"}));
        QCOMPARE(r.lib->shots(Scope::all(), "invoice"), ShotList{r.find("Done/a.png")});
        QVERIFY(rescannedQuietly(r, {"Done/Sub/b.png", "Done/a.png"}));
    }

    // The root or a folder holding it is never trashed or renamed; no taken or bad names.
    void refusesTakingTheRoot() {
        LibraryRig r;
        QVERIFY(r.load({{"Work/1.png", ""}, {"Workshop/2.png", ""}}));
        const auto before = snapshot(r.env.home());
        for (const char* refused : {"Work", "Workshop", " ", ".Work"})
            QCOMPARE(r.lib->renameFolder(r.root + "/Work", refused), std::nullopt);
        for (const QString& folder : {r.root, r.env.home(), r.root + "/"}) {
            expectLog("trash folder");
            QVERIFY(!r.lib->trashFolder(folder));
            expectLog("rename folder");
            QCOMPARE(r.lib->renameFolder(folder, "Elsewhere"), std::nullopt);
        }
        QCOMPARE(snapshot(r.env.home()), before);
    }

    // Scope identifiers round-trip exactly; queries need every piece; the session from its second.
    void countsAndQueries() {
        for (const char* id : {"session", "all", "folder:/a/b c", "folder:"})
            QCOMPARE(Scope::fromId(id)->id(), QString(id));
        for (const char* id : {"Session", " all", "folder"})
            QVERIFY(!Scope::fromId(id));
        LibraryRig r(true);
        // After the boot, which may be only minutes ago on a fresh machine.
        const double start =
            std::max(double(QDateTime::currentSecsSinceEpoch()) - 1000, Prefs::bootDate() + 2);
        const QStringList all{shot(r.root, "A/B/deep.png"), shot(r.root, "AB/sibling.png"),
                              shot(r.root, "Screenshot top.png")};
        for (int i = 0; i < 3; ++i)
            setModified(all[i], start - i);
        setModified(shot(r.root, "Screenshot before.png"), start - 3);
        QVERIFY(r.load());
        QCOMPARE(r.lib->counts().perFolder.value(r.root + "/A"), 1);
        QCOMPARE(r.lib->counts().perFolder.value(r.root), 2);
        QCOMPARE(paths(r.lib->shots(Scope::folder(r.root + "/A"), {})), QStringList{all[0]});
        QCOMPARE(paths(r.lib->shots(Scope::all(), "\n \t")).mid(0, 3),
                 all); // a blank query is none
        QCOMPARE(paths(r.lib->shots(Scope::all(), "  top SCREENSHOT\n")), QStringList{all[2]});
        Prefs::shared().set(Key::sessionReset, start - 2);
        QCOMPARE(paths(r.lib->shots(Scope::session(), {})), QStringList{all[2]});
        Prefs::shared().set(Key::onlyShots, false);
        QCOMPARE(r.lib->counts().session, 3);
        Prefs::shared().set(Key::includeSub, false);
        QCOMPARE(r.lib->counts().all, 2);
    }

    // `unique` never hands out a taken name, not even a dangling link's.
    void uniqueNames() {
        TestEnv env;
        const QString dir = env.home();
        writeFile(dir + "/photo.png");
        writeFile(dir + "/photo 2.png");
        writeFile(dir + "/.hidden");
        QVERIFY(QFile::link(dir + "/nowhere", dir + "/link.png"));
        QCOMPARE(Library::unique(dir + "/photo.png"), dir + "/photo 3.png");
        QCOMPARE(Library::unique(env.mkdir("Archive")), dir + "/Archive 2");
        QCOMPARE(Library::unique(dir + "/.hidden"), dir + "/.hidden 2");
        QCOMPARE(Library::unique(dir + "/link.png"), dir + "/link 2.png");
    }

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

TAMBERK_TEST(tst_FileOps)
#include "tst_FileOps.moc"
