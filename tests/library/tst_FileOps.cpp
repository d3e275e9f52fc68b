#include "FileOpsSupport.h"
#include "LibrarySupport.h"
#include "TestEnv.h"

#include "library/Library.h"
#include "platform/CaptureMark.h"
#include "platform/FileMove.h"
#include "settings/Prefs.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <optional>

using namespace FileOpsSupport;

namespace {

using Files = QMap<QString, QByteArray>;
using Text = std::optional<QString>;

// What undo() reports for a batch of `label` that brought files back (or none).
std::optional<Library::Undone> undone(const char* label, bool restored = true) {
    return Library::Undone{QString::fromLatin1(label), restored};
}

// A private home with a scanned library; arrivals are counted, as our own moves must not count.
struct World {
    TestEnv env;
    QString root = env.mkdir("Shots");
    QString trash = env.dataHome() + "/Trash";
    std::unique_ptr<Library> lib;
    std::unique_ptr<QSignalSpy> arrivals;

    bool load(const Files& files) {
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            writeFile(root + '/' + it.key(), *it);
        Prefs::shared().set(Key::onlyShots, false);
        Prefs::shared().set(Key::includeSub, true);
        lib = LibrarySupport::loaded(root);
        if (lib)
            arrivals = std::make_unique<QSignalSpy>(lib.get(), &Library::arrived);
        return bool(lib);
    }

    ShotPtr shot(const QString& relative) const {
        for (const ShotPtr& s : lib->all())
            if (s->path == root + '/' + relative)
                return s;
        return nullptr;
    }

    QStringList listed() const {
        QStringList names;
        for (const ShotPtr& s : lib->all())
            names.append(s->path.mid(root.size() + 1));
        names.sort();
        return names;
    }

    // Rescans every folder, as the watcher would, and expects `expected` and no arrivals.
    bool rescannedQuietly(const QStringList& expected) {
        const QStringList folders = lib->folders();
        QSignalSpy changed(lib.get(), &Library::changed);
        lib->refresh(QSet<QString>(folders.begin(), folders.end()) << root);
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
    void trashFolderUndoIsQuiet();
    void renameFolderKeepsShotsAndText();
    void refusesTakingTheRoot();
    void failuresLoseNothing();
    void undoWithNothingBack();
    void createFolder_data();
    void createFolder();
};

void tst_FileOps::rename_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result"); // empty: refused
    const auto row = [](const char* name, const char* typed, const char* result) {
        QTest::newRow(name) << QString(typed) << QString(result);
    };
    row("plain name", "Invoice", "Invoice.png");
    row("same extension, other case", "Invoice.PNG", "Invoice.PNG");
    row("slashes, colons, spaces", " a/b:c \n", "a-b-c.png");
    row("only spaces", "   ", "");
    row("taken name", "Screenshot 2", "");
    row("hidden name", ".Invoice", "");
    row("hidden after trimming", "  .png", "");
}

// A rename keeps the extension and the capture mark and undoes; a taken or
// empty name changes nothing.
void tst_FileOps::rename() {
    QFETCH(QString, typed);
    QFETCH(QString, result);
    World w;
    QVERIFY(w.load({{"Screenshot 1.png", "one"}, {"Screenshot 2.png", "two"}}));
    const auto before = snapshot(w.root);
    QCOMPARE(w.lib->rename(w.shot("Screenshot 1.png"), typed), !result.isEmpty());
    if (result.isEmpty()) {
        QCOMPARE(snapshot(w.root), before);
        QVERIFY(w.lib->undoStack().isEmpty());
        return;
    }
    QCOMPARE(snapshot(w.root).value(result), QByteArray("one"));
    QVERIFY(CaptureMark::has(w.root + '/' + result));
    QCOMPARE(w.lib->undo(), undone("Rename"));
    QCOMPARE(snapshot(w.root), before);
}

// Two x.png moved into one folder become x.png and x 2.png, one already there
// is skipped, and undo never replaces a newcomer at the old name.
void tst_FileOps::moveNumbersAndSkips() {
    World w;
    QVERIFY(w.load({{"A/x.png", "from A"}, {"B/x.png", "from B"}, {"C/y.png", "y"}}));
    QCOMPARE(
        w.lib->move({w.shot("A/x.png"), w.shot("B/x.png"), w.shot("C/y.png")}, w.root + "/C/../C"),
        2);
    QCOMPARE(snapshot(w.root + "/C"),
             (Files{{"x.png", "from A"}, {"x 2.png", "from B"}, {"y.png", "y"}}));

    writeFile(w.root + "/A/x.png", "newcomer");
    QCOMPARE(w.lib->undo(), undone("Move"));
    QCOMPARE(snapshot(w.root + "/A"), (Files{{"x.png", "newcomer"}, {"x 2.png", "from A"}}));
    QCOMPARE(snapshot(w.root + "/B"), (Files{{"x.png", "from B"}}));
}

// Shots trashed together come back with one undo, even into a removed
// folder, and the Trash keeps no entry (.trashinfo) for them.
void tst_FileOps::trashThenUndo() {
    World w;
    QVERIFY(w.load({{"Screenshot 1.png", "one"}, {"A/two.png", "two"}, {"B/three.png", "three"}}));
    const auto before = snapshot(w.root);
    const QStringList all{"A/two.png", "B/three.png", "Screenshot 1.png"};
    QCOMPARE(w.lib->trash({w.shot(all[0]), w.shot(all[1]), w.shot(all[2])}), 3);
    QCOMPARE(names(w.trash + "/files"), (QStringList{"Screenshot 1.png", "three.png", "two.png"}));
    QVERIFY(QDir(w.root + "/B").removeRecursively());

    QCOMPARE(w.lib->undo(), undone("Trash"));
    QCOMPARE(snapshot(w.root), before);
    QCOMPARE(snapshot(w.trash).keys(), (QStringList{"files", "info"}));
    QVERIFY(w.rescannedQuietly(all));

    // Undo entries name files of the old tree, so another root drops them.
    QCOMPARE(w.lib->trash({w.shot(all[0])}), 1);
    w.lib->setRoot(w.env.mkdir("Other"));
    QVERIFY(w.lib->undoStack().isEmpty());
}

// A trashed folder's undo brings its files back without announcing them as arrivals.
void tst_FileOps::trashFolderUndoIsQuiet() {
    World w;
    QVERIFY(w.load({{"Work/1.png", "1"}, {"Work/Sub/2.png", "2"}, {"Screenshot 1.png", ""}}));
    const auto before = snapshot(w.root);
    QVERIFY(w.lib->trashFolder(w.root + "/Work"));
    QCOMPARE(w.listed(), QStringList{"Screenshot 1.png"});

    QCOMPARE(w.lib->undo(), undone("Trash"));
    QCOMPARE(snapshot(w.root), before);
    QVERIFY(w.rescannedQuietly({"Screenshot 1.png", "Work/1.png", "Work/Sub/2.png"}));
    QCOMPARE(names(w.trash + "/info"), QStringList());
}

// A renamed folder keeps its shots (same measurements) and their recognised
// text under the new paths, and nothing in it is announced as new.
void tst_FileOps::renameFolderKeepsShotsAndText() {
    World w;
    writeFile(w.env.dataHome() + "/Tamberk/text-index.json",
              QByteArray(R"({")") + QFile::encodeName(w.root) +
                  R"(/Work/a.png":{"m":0,"t":"Invoice"}})");
    QVERIFY(w.load({{"Work/a.png", "a"}, {"Work/Sub/b.png", "b"}}));
    QCOMPARE(w.lib->renameFolder(w.root + "/Work", "Done"), std::optional(w.root + "/Done"));
    QCOMPARE(w.listed(), (QStringList{"Done/Sub/b.png", "Done/a.png"}));
    QCOMPARE(w.lib->text().text(*w.shot("Done/a.png")), Text("Invoice"));
    QCOMPARE(w.lib->shots(Scope::all(), "invoice").size(), 1);
    QVERIFY(w.rescannedQuietly({"Done/Sub/b.png", "Done/a.png"}));
}

// The root, or a folder holding it, is never trashed or renamed, and no
// folder is renamed onto a taken, empty or hidden name.
void tst_FileOps::refusesTakingTheRoot() {
    World w;
    QVERIFY(w.load({{"Work/1.png", ""}, {"Workshop/2.png", ""}}));
    const auto before = snapshot(w.env.home());
    for (const char* refused : {"Work", "Workshop", " ", ".Work"})
        QCOMPARE(w.lib->renameFolder(w.root + "/Work", refused), std::nullopt);
    for (const QString& folder : {w.root, w.env.home(), w.root + "/"}) {
        QTest::ignoreMessage(QtWarningMsg, logLine("trash folder"));
        QVERIFY(!w.lib->trashFolder(folder));
        QTest::ignoreMessage(QtWarningMsg, logLine("rename folder"));
        QCOMPARE(w.lib->renameFolder(folder, "Elsewhere"), std::nullopt);
    }
    QCOMPARE(snapshot(w.env.home()), before);
}

// A read-only target, a full disk or a file gone before undo is logged,
// skips only that file, and loses nothing.
void tst_FileOps::failuresLoseNothing() {
    World w;
    QVERIFY(w.load({{"A/1.png", "1"}, {"A/2.png", "2"}, {"B/.keep", ""}, {"Locked/.keep", ""}}));
    const auto before = snapshot(w.root);
    const ShotList both{w.shot("A/1.png"), w.shot("A/2.png")};

    QVERIFY(makeReadOnly(w.root + "/Locked"));
    QTest::ignoreMessage(QtWarningMsg, logLine("move"));
    QTest::ignoreMessage(QtWarningMsg, logLine("move"));
    const int moved = w.lib->move(both, w.root + "/Locked");
    makeWritable(w.root + "/Locked");
    QCOMPARE(moved, 0);
    QCOMPARE(snapshot(w.root), before);
    QVERIFY(w.lib->undoStack().isEmpty());

    FileMove::injectFault(FileMove::Step::Rename, EXDEV);
    FileMove::injectFault(FileMove::Step::CopyData, ENOSPC);
    QTest::ignoreMessage(QtWarningMsg, logLine("move"));
    QCOMPARE(w.lib->move(both, w.root + "/B"), 1);
    QCOMPARE(snapshot(w.root + "/A"), (Files{{"1.png", "1"}}));
    QCOMPARE(w.lib->undoStack().last().moves.size(), 1);

    QVERIFY(QFile::remove(w.root + "/B/2.png"));
    QTest::ignoreMessage(QtWarningMsg, logLine("undo"));
    QCOMPARE(w.lib->undo(), undone("Move", false));
    QCOMPARE(snapshot(w.root + "/A"), (Files{{"1.png", "1"}}));
}

// An undo whose files are all gone says so instead of reporting success, and
// still consumes its batch.
void tst_FileOps::undoWithNothingBack() {
    World w;
    QVERIFY(w.load({{"A/1.png", "1"}, {"A/2.png", "2"}, {"B/.keep", ""}}));
    QCOMPARE(w.lib->trash({w.shot("A/1.png"), w.shot("A/2.png")}), 2);
    QVERIFY(QDir(w.trash + "/files").removeRecursively()); // the Trash was emptied
    QTest::ignoreMessage(QtWarningMsg, logLine("undo"));
    QTest::ignoreMessage(QtWarningMsg, logLine("undo"));
    QCOMPARE(w.lib->undo(), undone("Trash", false));
    QVERIFY(w.lib->undoStack().isEmpty());
    QCOMPARE(w.lib->undo(), std::nullopt);
}

void tst_FileOps::createFolder_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("parent");  // relative to the root; empty: the root
    QTest::addColumn<QString>("created"); // relative to the root; empty: refused
    const auto row = [](const char* name, const char* typed, const char* parent,
                        const char* created) {
        QTest::newRow(name) << QString(typed) << QString(parent) << QString(created);
    };
    row("in the root", " Receipts ", "", "Receipts");
    row("taken name is numbered", "Work", "", "Work 2");
    row("inside a folder", "a/b", "Work", "Work/a-b");
    row("empty name", "  ", "", "");
    row("hidden name", ".cache", "", "");
}

// A new folder is made under a free name, listed and counted at once without
// a rescan, and records nothing to undo; empty and hidden names make nothing.
void tst_FileOps::createFolder() {
    QFETCH(QString, typed);
    QFETCH(QString, parent);
    QFETCH(QString, created);
    World w;
    QVERIFY(w.load({{"Work/1.png", "1"}}));
    const auto before = snapshot(w.root);
    const auto path =
        w.lib->createFolder(typed, parent.isEmpty() ? QString() : w.root + '/' + parent);
    if (created.isEmpty()) {
        QCOMPARE(path, std::nullopt);
        QCOMPARE(snapshot(w.root), before);
        return;
    }
    QCOMPARE(path, std::optional(w.root + '/' + created));
    QVERIFY(QFileInfo(*path).isDir());
    QVERIFY(w.lib->folders().contains(*path));
    QVERIFY(
        w.lib->childMap().value(parent.isEmpty() ? w.root : w.root + '/' + parent).contains(*path));
    QVERIFY(w.lib->undoStack().isEmpty());
    QCOMPARE(snapshot(w.root).value("Work/1.png"), QByteArray("1"));
}

TAMBERK_TEST(tst_FileOps)
#include "tst_FileOps.moc"
