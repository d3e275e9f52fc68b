#include "FileOpsSupport.h"
#include "LibrarySupport.h"
#include "TestEnv.h"

#include "content/TextIndex.h"
#include "library/Library.h"
#include "platform/CaptureMark.h"
#include "platform/FileMove.h"
#include "settings/Prefs.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <optional>

using namespace FileOpsSupport;

namespace {
// Where the next rename really puts its item, when set.
std::atomic<const char*> renameAside{nullptr};
} // namespace

// Stands in for the C library's call so a test can play a file system that
// reports a rename done while the item is not at its new name (it is put
// aside instead, so the test loses nothing).
extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to,
                         unsigned flags) __THROW {
    using Real = int (*)(int, const char*, int, const char*, unsigned);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "renameat2"));
    if (const char* aside = renameAside.exchange(nullptr))
        return real(fromDir, from, AT_FDCWD, aside, flags);
    return real(fromDir, from, toDir, to, flags);
}

namespace {

using Files = QMap<QString, QByteArray>;
using Text = std::optional<QString>;

// One test's world: a private home with a library folder and the library
// after its first scan. Arrivals are counted so a test can show that the
// library's own moves are never announced.
struct World {
    TestEnv env;
    QString root = env.mkdir("Shots");
    QString trash = env.dataHome() + "/Trash";
    std::unique_ptr<Library> lib;
    std::unique_ptr<QSignalSpy> arrivals;

    // Writes these files, gives `texted` the recognised text "receipt" in the
    // index the library loads when built, and loads the library.
    bool load(const Files& files, const QString& texted = {}) {
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            writeFile(root + '/' + it.key(), *it);
        if (!texted.isEmpty()) {
            const QString path = root + '/' + texted;
            TextIndex::Map map;
            map.insert(path, {QFileInfo(path).lastModified().toSecsSinceEpoch() * 1.0, "receipt"});
            writeFile(TextIndex::defaultFile(), TextIndex::encode(map));
        }
        // Every image then counts as an arrival, so any announcement shows.
        Prefs::shared().set(Key::onlyShots, false);
        Prefs::shared().set(Key::includeSub, true);
        lib = LibrarySupport::loaded(root);
        if (lib)
            arrivals = std::make_unique<QSignalSpy>(lib.get(), &Library::arrived);
        return bool(lib);
    }

    ShotPtr shot(const QString& relative) const {
        for (const ShotPtr& s : lib->all()) {
            if (s->path == root + '/' + relative)
                return s;
        }
        return nullptr;
    }

    Text textOf(const QString& relative) const {
        return shot(relative) ? lib->text().text(*shot(relative)) : std::nullopt;
    }

    QStringList listed() const {
        QStringList names;
        for (const ShotPtr& s : lib->all())
            names.append(s->path.mid(root.size() + 1));
        names.sort();
        return names;
    }

    // Rescans every folder (as the watcher would after our own change) and
    // tells whether the listing settles on `expected` with nothing announced.
    bool rescannedQuietly(const QStringList& expected) {
        QSet<QString> dirs{root};
        for (const QString& folder : lib->folders())
            dirs.insert(folder);
        QSignalSpy changed(lib.get(), &Library::changed);
        lib->refresh(dirs);
        return QTest::qWaitFor([&] { return !changed.isEmpty() && listed() == expected; }, 20000) &&
               arrivals->isEmpty();
    }
};

QRegularExpression logLine(const char* what) {
    return QRegularExpression(QStringLiteral("^Tamberk %1 failed: .+").arg(what));
}

} // namespace

class tst_FileOps : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { FileMove::clearFaults(); }

    void rename_data();
    void rename();
    void moveNumbersAndSkips();
    void trashThenUndo();
    void renameFolderKeepsShots();
    void trashFolderUndoIsQuiet();
    void refusesTakingTheRoot();
    void failuresLoseNothing();
    void countsOnlyWhatLanded();
};

void tst_FileOps::rename_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result"); // empty: refused
    const auto row = [](const char* name, const char* typed, const char* result) {
        QTest::newRow(name) << QString(typed) << QString(result);
    };
    row("plain name", "Invoice", "Invoice.png");
    row("same extension, other case", "Invoice.PNG", "Invoice.PNG");
    row("other extension", "Invoice.jpg", "Invoice.jpg.png");
    row("slashes, colons, spaces", " a/b:c \n", "a-b-c.png");
    row("only spaces", "   ", "");
    row("taken name", "Screenshot 2", "");
    row("taken name with extension", "Screenshot 2.png", "");
}

// A renamed screenshot keeps its extension unless the typed one matches in
// another case, keeps the capture mark (so it stays a screenshot under any
// name) and its text, is not announced, and can be undone; a taken or empty
// name changes nothing.
void tst_FileOps::rename() {
    QFETCH(QString, typed);
    QFETCH(QString, result);
    World w;
    QVERIFY(w.load({{"Screenshot 1.png", "one"}, {"Screenshot 2.png", "two"}}, "Screenshot 1.png"));
    const auto before = snapshot(w.root);
    const ShotPtr shot = w.shot("Screenshot 1.png");

    QCOMPARE(w.lib->rename(shot, typed), !result.isEmpty());
    if (result.isEmpty()) {
        QCOMPARE(snapshot(w.root), before);
        QVERIFY(w.lib->undoStack().isEmpty());
        return;
    }
    QCOMPARE(snapshot(w.root).value(result), QByteArray("one"));
    QVERIFY(CaptureMark::has(w.root + '/' + result));
    QCOMPARE(w.textOf(result), Text("receipt"));
    QStringList expected{result, "Screenshot 2.png"};
    expected.sort();
    QVERIFY(w.rescannedQuietly(expected));
    QVERIFY(w.shot(result)->isScreenshot); // by its mark now, not its name
    QCOMPARE(w.shot(result)->created, shot->created);

    QCOMPARE(w.lib->undo(), Text("Rename"));
    QCOMPARE(snapshot(w.root), before);
    QVERIFY(w.rescannedQuietly({"Screenshot 1.png", "Screenshot 2.png"}));
}

// Moving two x.png from different folders into one gives x.png and x 2.png;
// a shot already in the target folder is skipped and not counted; the text
// follows the files; undo puts both back, under the first free name where
// the old one was taken meanwhile, leaving the newcomer untouched.
void tst_FileOps::moveNumbersAndSkips() {
    World w;
    QVERIFY(w.load({{"A/x.png", "from A"}, {"B/x.png", "from B"}, {"C/y.png", "y"}}, "B/x.png"));
    QCOMPARE(w.lib->move({w.shot("C/y.png")}, w.root + "/C"), 0);
    QVERIFY(w.lib->undoStack().isEmpty());

    QCOMPARE(
        w.lib->move({w.shot("A/x.png"), w.shot("B/x.png"), w.shot("C/y.png")}, w.root + "/C/../C"),
        2);
    QCOMPARE(snapshot(w.root + "/C"),
             (Files{{"x.png", "from A"}, {"x 2.png", "from B"}, {"y.png", "y"}}));
    QCOMPARE(w.textOf("C/x 2.png"), Text("receipt"));
    QVERIFY(w.rescannedQuietly({"C/x 2.png", "C/x.png", "C/y.png"}));

    writeFile(w.root + "/A/x.png", "newcomer");
    QCOMPARE(w.lib->undo(), Text("Move"));
    QCOMPARE(snapshot(w.root + "/A"), (Files{{"x.png", "newcomer"}, {"x 2.png", "from A"}}));
    QCOMPARE(snapshot(w.root + "/B"), (Files{{"x.png", "from B"}}));
    QCOMPARE(w.textOf("B/x.png"), Text("receipt"));
}

// Three shots go to the Trash and come back with one undo, even into a
// folder removed meanwhile; the Trash keeps no entry for them. Switching the
// library folder empties the undo stack, so a later trash stays trashed.
void tst_FileOps::trashThenUndo() {
    World w;
    QVERIFY(w.load({{"Screenshot 1.png", "one"}, {"A/two.png", "two"}, {"B/three.png", "three"}}));
    const auto before = snapshot(w.root);
    const QStringList all{"A/two.png", "B/three.png", "Screenshot 1.png"};
    QCOMPARE(w.lib->trash({w.shot(all[0]), w.shot(all[1]), w.shot(all[2])}), 3);
    QCOMPARE(w.listed(), QStringList());
    QCOMPARE(names(w.trash + "/files"), (QStringList{"Screenshot 1.png", "three.png", "two.png"}));
    QVERIFY(QDir(w.root + "/B").removeRecursively());

    QCOMPARE(w.lib->undo(), Text("Trash"));
    QCOMPARE(snapshot(w.root), before);
    QCOMPARE(snapshot(w.trash).keys(), (QStringList{"files", "info"}));
    QVERIFY(w.rescannedQuietly(all));

    QCOMPARE(w.lib->trash({w.shot(all[2])}), 1);
    w.lib->setRoot(w.env.mkdir("Other"));
    QCOMPARE(w.lib->undo(), std::nullopt);
    QCOMPARE(names(w.trash + "/files"), QStringList{"Screenshot 1.png"});
}

// Renaming a folder with subfolders keeps every shot (same dates, new paths)
// and its text, refuses taken or empty names, and announces nothing.
void tst_FileOps::renameFolderKeepsShots() {
    World w;
    QVERIFY(w.load({{"Work/1.png", "1"}, {"Work/Sub/2.png", "2"}, {"Workshop/3.png", "3"}},
                   "Work/Sub/2.png"));
    const ShotPtr two = w.shot("Work/Sub/2.png");
    for (const char* refused : {"Work", "Workshop", " "})
        QCOMPARE(w.lib->renameFolder(w.root + "/Work", refused), std::nullopt);

    QCOMPARE(w.lib->renameFolder(w.root + "/Work", "Plans"),
             std::optional<QString>(w.root + "/Plans"));
    const QStringList expected{"Plans/1.png", "Plans/Sub/2.png", "Workshop/3.png"};
    QCOMPARE(w.listed(), expected);
    QCOMPARE(w.shot("Plans/Sub/2.png")->created, two->created);
    QCOMPARE(w.textOf("Plans/Sub/2.png"), Text("receipt"));
    QCOMPARE(w.lib->childMap().value(w.root + "/Plans"), QStringList{w.root + "/Plans/Sub"});
    QVERIFY(w.rescannedQuietly(expected));
}

// A trashed folder leaves the library at once; undo brings it back with its
// files, which are old news and must not be announced as arrivals.
void tst_FileOps::trashFolderUndoIsQuiet() {
    World w;
    QVERIFY(w.load({{"Work/1.png", "1"}, {"Work/Sub/2.png", "2"}, {"Screenshot 1.png", ""}}));
    const auto before = snapshot(w.root);
    QVERIFY(w.lib->trashFolder(w.root + "/Work"));
    QCOMPARE(w.listed(), QStringList{"Screenshot 1.png"});
    QCOMPARE(w.lib->folders(), QStringList());

    QCOMPARE(w.lib->undo(), Text("Trash"));
    QCOMPARE(snapshot(w.root), before);
    QVERIFY(w.rescannedQuietly({"Screenshot 1.png", "Work/1.png", "Work/Sub/2.png"}));
    QCOMPARE(names(w.trash + "/info"), QStringList());
}

// The root, or a folder that holds it, is never trashed or renamed: it would
// take the whole library with it.
void tst_FileOps::refusesTakingTheRoot() {
    World w;
    QVERIFY(w.load({{"Screenshot 1.png", ""}}));
    const auto before = snapshot(w.env.home());
    for (const QString& folder : {w.root, w.env.home(), w.root + "/"}) {
        QTest::ignoreMessage(QtWarningMsg, logLine("trash folder"));
        QVERIFY(!w.lib->trashFolder(folder));
        QTest::ignoreMessage(QtWarningMsg, logLine("rename folder"));
        QCOMPARE(w.lib->renameFolder(folder, "Elsewhere"), std::nullopt);
    }
    QCOMPARE(snapshot(w.env.home()), before);
    QVERIFY(w.lib->undoStack().isEmpty());
}

// Failures on the way (a read-only folder, a full disk, a file gone before
// undo, a Trash that refuses) are logged, skip only the file concerned, and
// never lose or overwrite anything.
void tst_FileOps::failuresLoseNothing() {
    World w;
    QVERIFY(w.load({{"A/1.png", "1"}, {"A/2.png", "2"}, {"B/.keep", ""}, {"Locked/.keep", ""}}));
    const auto before = snapshot(w.root);
    const ShotList both{w.shot("A/1.png"), w.shot("A/2.png")};

    if (makeReadOnly(w.root + "/Locked")) {
        QTest::ignoreMessage(QtWarningMsg, logLine("move"));
        QTest::ignoreMessage(QtWarningMsg, logLine("move"));
        const int moved = w.lib->move(both, w.root + "/Locked");
        makeWritable(w.root + "/Locked");
        QCOMPARE(moved, 0);
        QCOMPARE(snapshot(w.root), before);
        QVERIFY(w.lib->undoStack().isEmpty());
    } else {
        qWarning("read-only folder case skipped: cannot make one here");
    }

    // A full disk while copying the first file: the second still moves, and
    // only it is recorded for undo.
    FileMove::injectFault(FileMove::Step::Rename, EXDEV);
    FileMove::injectFault(FileMove::Step::CopyData, ENOSPC);
    QTest::ignoreMessage(QtWarningMsg, logLine("move"));
    QCOMPARE(w.lib->move(both, w.root + "/B"), 1);
    QCOMPARE(snapshot(w.root + "/A"), (Files{{"1.png", "1"}}));
    QCOMPARE(snapshot(w.root + "/B").value("2.png"), QByteArray("2"));
    QCOMPARE(w.lib->undoStack().last().moves.size(), 1);

    // The moved file vanishes before undo: undo reports the batch, logs the
    // file and leaves everything else alone.
    QVERIFY(QFile::remove(w.root + "/B/2.png"));
    QTest::ignoreMessage(QtWarningMsg, logLine("undo"));
    QCOMPARE(w.lib->undo(), Text("Move"));
    QCOMPARE(snapshot(w.root + "/A"), (Files{{"1.png", "1"}}));

    // The Trash refuses: the file stays, and neither an undo step nor a stray
    // Trash entry is left.
    FileMove::injectFault(FileMove::Step::Rename, EIO);
    QTest::ignoreMessage(QtWarningMsg, logLine("trash"));
    QCOMPARE(w.lib->trash({w.shot("A/1.png")}), 0);
    QCOMPARE(snapshot(w.root + "/A"), (Files{{"1.png", "1"}}));
    QVERIFY(w.lib->undoStack().isEmpty());
    QCOMPARE(names(w.trash + "/info"), QStringList());
}

// A move the file system reports done but whose item is not at its new name
// is logged, not counted and not recorded for undo.
void tst_FileOps::countsOnlyWhatLanded() {
    World w;
    QVERIFY(w.load({{"A/x.png", "x"}, {"B/.keep", ""}}));
    const QString aside = w.env.mkdir("Aside");
    const QByteArray asideFile = QFile::encodeName(aside + "/x.png");
    renameAside = asideFile.constData();
    QTest::ignoreMessage(QtWarningMsg, logLine("move"));
    const int moved = w.lib->move({w.shot("A/x.png")}, w.root + "/B");
    renameAside = nullptr;
    QCOMPARE(moved, 0);
    QVERIFY(w.lib->undoStack().isEmpty());
    QCOMPARE(snapshot(aside), (Files{{"x.png", "x"}}));
}

TAMBERK_TEST(tst_FileOps)
#include "tst_FileOps.moc"
