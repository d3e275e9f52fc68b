#include "FileOpsSupport.h"
#include "LibrarySupport.h"
#include "TestEnv.h"

#include "content/TextIndex.h"
#include "library/Library.h"
#include "platform/CaptureMark.h"
#include "platform/FileMove.h"
#include "settings/Prefs.h"

#include <QRegularExpression>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>

using namespace FileOpsSupport;

namespace {

// One test's world: a private home with a library folder, a text index file
// written beforehand (the library loads it when built), and the library
// after its first scan. Arrivals are counted so a test can show that the
// library's own moves are never announced.
struct World {
    TestEnv env;
    QString root = env.mkdir("Shots");
    std::unique_ptr<Library> lib;
    std::unique_ptr<QSignalSpy> arrivals;
    std::unique_ptr<QSignalSpy> changes;

    QString file(const QString& relative, const QByteArray& bytes = "x") {
        return writeFile(root + '/' + relative, bytes);
    }

    // Recognised text for these paths, in the index the library will load.
    void text(const QHash<QString, QString>& texts) {
        TextIndex::Map map;
        for (auto it = texts.cbegin(); it != texts.cend(); ++it)
            map.insert(it.key(),
                       {QFileInfo(it.key()).lastModified().toSecsSinceEpoch() * 1.0, *it});
        QDir().mkpath(QFileInfo(TextIndex::defaultFile()).absolutePath());
        QSaveFile out(TextIndex::defaultFile());
        out.open(QIODevice::WriteOnly);
        out.write(TextIndex::encode(map));
        out.commit();
    }

    bool load() {
        // Every image then counts as an arrival, so any announcement shows.
        Prefs::shared().set(Key::onlyShots, false);
        Prefs::shared().set(Key::includeSub, true);
        lib = LibrarySupport::loaded(root);
        if (!lib)
            return false;
        arrivals = std::make_unique<QSignalSpy>(lib.get(), &Library::arrived);
        changes = std::make_unique<QSignalSpy>(lib.get(), &Library::changed);
        return true;
    }

    ShotPtr shot(const QString& relative) const {
        const QString path = root + '/' + relative;
        for (const ShotPtr& s : lib->all()) {
            if (s->path == path)
                return s;
        }
        return nullptr;
    }

    QStringList listed() const {
        QStringList names;
        for (const ShotPtr& s : lib->all())
            names.append(s->path.mid(root.size() + 1));
        names.sort();
        return names;
    }

    // Rescans these folders (as the watcher would after our own change) and
    // waits for the result to be applied.
    bool rescanned(const QStringList& relatives = {""}) {
        QSet<QString> dirs;
        for (const QString& relative : relatives)
            dirs.insert(relative.isEmpty() ? root : root + '/' + relative);
        const qsizetype before = changes->size();
        lib->refresh(dirs);
        return QTest::qWaitFor([&] { return changes->size() > before; }, 20000);
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

    void renameKeepsExtension_data();
    void renameKeepsExtension();
    void renameRefusesTakenNames();
    void moveNumbersAndSkips();
    void trashThenUndo();
    void undoFindsNewName();
    void undoOnEmptyStack();
    void createFolder();
    void renameFolderKeepsShots();
    void trashFolderAndUndo();
    void refusesTakingTheRoot();
    void setRootEmptiesUndo();
    void moveAcrossFileSystems_data();
    void moveAcrossFileSystems();
    void failuresLoseNothing();
};

void tst_FileOps::renameKeepsExtension_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result"); // empty: rejected
    QTest::addRow("plain name") << "Invoice"
                                << "Invoice.png";
    QTest::addRow("same extension, other case") << "Invoice.PNG"
                                                << "Invoice.PNG";
    QTest::addRow("other extension") << "Invoice.jpg"
                                     << "Invoice.jpg.png";
    QTest::addRow("slashes and colons") << "a/b:c"
                                        << "a-b-c.png";
    QTest::addRow("spaces around") << "  Invoice \n"
                                   << "Invoice.png";
    QTest::addRow("only spaces") << "   "
                                 << "";
    QTest::addRow("only a slash") << " / "
                                  << "-.png";
}

// A renamed screenshot keeps its extension unless the typed one matches in
// another case, keeps the capture mark (so it stays a screenshot under any
// name), is not announced, and the rename can be undone.
void tst_FileOps::renameKeepsExtension() {
    QFETCH(QString, typed);
    QFETCH(QString, result);
    World w;
    w.file("Screenshot 1.png", "pixels");
    w.text({{w.root + "/Screenshot 1.png", "total due"}});
    QVERIFY(w.load());
    const ShotPtr shot = w.shot("Screenshot 1.png");
    QVERIFY(shot);

    const bool renamed = w.lib->rename(shot, typed);
    if (result.isEmpty()) {
        QVERIFY(!renamed);
        QCOMPARE(names(w.root), QStringList{"Screenshot 1.png"});
        QVERIFY(w.lib->undoStack().isEmpty());
        return;
    }
    QVERIFY(renamed);
    QCOMPARE(names(w.root), QStringList{result});
    QCOMPARE(w.listed(), QStringList{result});
    QVERIFY(CaptureMark::has(w.root + '/' + result));
    const ShotPtr now = w.shot(result);
    QVERIFY(now && now->isScreenshot);
    QCOMPARE(now->created, shot->created);
    QCOMPARE(w.lib->text().text(*now), std::optional<QString>("total due"));
    QCOMPARE(w.lib->undoStack().last().label, QString("Rename"));

    QVERIFY(w.rescanned());
    QCOMPARE(w.listed(), QStringList{result});
    QVERIFY(w.shot(result)->isScreenshot); // by its mark now, not its name
    QCOMPARE(w.arrivals->size(), 0);

    QCOMPARE(w.lib->undo(), std::optional<QString>("Rename"));
    QCOMPARE(names(w.root), QStringList{"Screenshot 1.png"});
    QCOMPARE(w.listed(), QStringList{"Screenshot 1.png"});
    QVERIFY(w.rescanned());
    QCOMPARE(w.arrivals->size(), 0);
}

// A rename onto a taken name fails and changes nothing; the current name
// succeeds without doing anything.
void tst_FileOps::renameRefusesTakenNames() {
    World w;
    w.file("Screenshot 1.png", "one");
    w.file("Screenshot 2.png", "two");
    QVERIFY(w.load());
    const auto before = snapshot(w.root);
    QVERIFY(!w.lib->rename(w.shot("Screenshot 1.png"), "Screenshot 2"));
    QVERIFY(!w.lib->rename(w.shot("Screenshot 1.png"), "Screenshot 2.png"));
    QVERIFY(w.lib->rename(w.shot("Screenshot 1.png"), "Screenshot 1"));
    QCOMPARE(snapshot(w.root), before);
    QVERIFY(w.lib->undoStack().isEmpty());
    QCOMPARE(w.changes->size(), 0);
}

// Moving two x.png from different folders into one gives x.png and x 2.png;
// a shot already in the target folder is skipped and not counted; the text
// follows the files; undo puts both back.
void tst_FileOps::moveNumbersAndSkips() {
    World w;
    w.file("A/x.png", "from A");
    w.file("B/x.png", "from B");
    w.file("C/y.png", "already there");
    QDir().mkpath(w.root + "/C");
    w.text({{w.root + "/B/x.png", "receipt"}});
    QVERIFY(w.load());

    QCOMPARE(w.lib->move({w.shot("C/y.png")}, w.root + "/C"), 0);
    QVERIFY(w.lib->undoStack().isEmpty());
    QCOMPARE(w.changes->size(), 0);

    const int moved =
        w.lib->move({w.shot("A/x.png"), w.shot("B/x.png"), w.shot("C/y.png")}, w.root + "/C/../C");
    QCOMPARE(moved, 2);
    QCOMPARE(snapshot(w.root + "/C").value("x.png"), QByteArray("from A"));
    QCOMPARE(snapshot(w.root + "/C").value("x 2.png"), QByteArray("from B"));
    QCOMPARE(w.listed(), (QStringList{"C/x 2.png", "C/x.png", "C/y.png"}));
    QCOMPARE(w.lib->text().text(*w.shot("C/x 2.png")), std::optional<QString>("receipt"));
    QVERIFY(w.rescanned({"A", "B", "C"}));
    QCOMPARE(w.listed(), (QStringList{"C/x 2.png", "C/x.png", "C/y.png"}));
    QCOMPARE(w.arrivals->size(), 0);

    QCOMPARE(w.lib->undo(), std::optional<QString>("Move"));
    QCOMPARE(snapshot(w.root + "/A").value("x.png"), QByteArray("from A"));
    QCOMPARE(snapshot(w.root + "/B").value("x.png"), QByteArray("from B"));
    QCOMPARE(w.listed(), (QStringList{"A/x.png", "B/x.png", "C/y.png"}));
    QCOMPARE(w.lib->text().text(*w.shot("B/x.png")), std::optional<QString>("receipt"));
}

// Three shots go to the Trash and come back with one undo, even into a
// folder removed meanwhile; the Trash keeps no entry for them.
void tst_FileOps::trashThenUndo() {
    World w;
    w.file("Screenshot 1.png", "one");
    w.file("A/two.png", "two");
    w.file("B/three.png", "three");
    QVERIFY(w.load());
    const auto before = snapshot(w.root);
    const ShotList shots{w.shot("Screenshot 1.png"), w.shot("A/two.png"), w.shot("B/three.png")};

    QCOMPARE(w.lib->trash(shots), 3);
    QCOMPARE(w.listed(), QStringList());
    const QString trash = w.env.dataHome() + "/Trash";
    QCOMPARE(names(trash + "/files"), (QStringList{"Screenshot 1.png", "three.png", "two.png"}));
    QCOMPARE(names(trash + "/info").size(), 3);
    const UndoBatch batch = w.lib->undoStack().last();
    QCOMPARE(batch.label, QString("Trash"));
    QCOMPARE(batch.moves.size(), 3);
    QCOMPARE(batch.moves[0].original, shots[0]->path); // in the order handled
    QCOMPARE(batch.moves[2].current, trash + "/files/three.png");
    QVERIFY(QDir(w.root + "/B").removeRecursively());

    QCOMPARE(w.lib->undo(), std::optional<QString>("Trash"));
    QCOMPARE(snapshot(w.root), before);
    QCOMPARE(names(trash + "/files"), QStringList());
    QCOMPARE(names(trash + "/info"), QStringList());
    QVERIFY(w.rescanned({"", "A"}));
    QTRY_COMPARE_WITH_TIMEOUT(w.listed(),
                              (QStringList{"A/two.png", "B/three.png", "Screenshot 1.png"}), 20000);
    QCOMPARE(w.arrivals->size(), 0);
    QVERIFY(w.lib->undoStack().isEmpty());
}

// Undo of a move whose former name was taken meanwhile restores the file
// under the first free numbered name; the newcomer is untouched.
void tst_FileOps::undoFindsNewName() {
    World w;
    w.file("A/x.png", "mine");
    QDir().mkpath(w.root + "/B");
    QVERIFY(w.load());
    QCOMPARE(w.lib->move({w.shot("A/x.png")}, w.root + "/B"), 1);
    w.file("A/x.png", "newcomer");

    QCOMPARE(w.lib->undo(), std::optional<QString>("Move"));
    const auto a = snapshot(w.root + "/A");
    QCOMPARE(a.value("x.png"), QByteArray("newcomer"));
    QCOMPARE(a.value("x 2.png"), QByteArray("mine"));
    QCOMPARE(names(w.root + "/B"), QStringList());
}

// With nothing to undo, undo reports nothing and touches nothing.
void tst_FileOps::undoOnEmptyStack() {
    World w;
    w.file("Screenshot 1.png");
    QVERIFY(w.load());
    const auto before = snapshot(w.root);
    QCOMPARE(w.lib->undo(), std::nullopt);
    QCOMPARE(snapshot(w.root), before);
    QCOMPARE(w.changes->size(), 0);
}

// A new folder gets the first free name, shows up in folders and the child
// map at once, and is cleaned like any name; an empty name makes nothing.
void tst_FileOps::createFolder() {
    World w;
    QDir().mkpath(w.root + "/Work");
    QVERIFY(w.load());

    const auto made = w.lib->createFolder(" Work ");
    QCOMPARE(made, std::optional<QString>(w.root + "/Work 2"));
    QVERIFY(QFileInfo(*made).isDir());
    QCOMPARE(w.lib->folders(), (QStringList{w.root + "/Work", w.root + "/Work 2"}));
    QCOMPARE(w.lib->childMap().value(w.root), (QStringList{w.root + "/Work", w.root + "/Work 2"}));
    QVERIFY(w.lib->listing().contains(*made));
    QCOMPARE(w.changes->size(), 1);

    QCOMPARE(w.lib->createFolder("a/b:c", w.root + "/Work"),
             std::optional<QString>(w.root + "/Work/a-b-c"));
    const auto deep = w.lib->createFolder("Deep", w.root + "/Work/a-b-c");
    QVERIFY(deep);
    QVERIFY(w.lib->childMap().contains(w.root + "/Work/a-b-c"));
    QVERIFY(!w.lib->childMap().contains(*deep)); // as deep as the scanner looks
    QCOMPARE(w.lib->createFolder(" \n "), std::nullopt);
    QVERIFY(w.lib->undoStack().isEmpty());
}

// Renaming a folder with subfolders keeps every shot (same dates, new
// paths) and its recognised text, announces nothing, and records no undo.
void tst_FileOps::renameFolderKeepsShots() {
    World w;
    w.file("Work/one.png", "one");
    w.file("Work/Sub/two.png", "two");
    w.file("Workshop/three.png", "three");
    w.text({{w.root + "/Work/Sub/two.png", "quarterly plan"}});
    QVERIFY(w.load());
    const ShotPtr two = w.shot("Work/Sub/two.png");

    QCOMPARE(w.lib->renameFolder(w.root + "/Work", "Work"), std::nullopt);
    QCOMPARE(w.lib->renameFolder(w.root + "/Work", "Workshop"), std::nullopt);
    QCOMPARE(w.lib->renameFolder(w.root + "/Work", " "), std::nullopt);
    const auto renamed = w.lib->renameFolder(w.root + "/Work", "Plans");
    QCOMPARE(renamed, std::optional<QString>(w.root + "/Plans"));
    QCOMPARE(w.listed(), (QStringList{"Plans/Sub/two.png", "Plans/one.png", "Workshop/three.png"}));
    const ShotPtr moved = w.shot("Plans/Sub/two.png");
    QCOMPARE(moved->created, two->created);
    QCOMPARE(moved->modified, two->modified);
    QCOMPARE(moved->isScreenshot, two->isScreenshot);
    QCOMPARE(w.lib->text().text(*moved), std::optional<QString>("quarterly plan"));
    QCOMPARE(w.lib->folders(),
             (QStringList{w.root + "/Plans", w.root + "/Plans/Sub", w.root + "/Workshop"}));
    QCOMPARE(w.lib->childMap().value(w.root),
             (QStringList{w.root + "/Plans", w.root + "/Workshop"}));
    QCOMPARE(w.lib->childMap().value(w.root + "/Plans"), QStringList{w.root + "/Plans/Sub"});
    QVERIFY(w.lib->undoStack().isEmpty());

    QVERIFY(w.rescanned({"", "Plans", "Plans/Sub"}));
    QCOMPARE(w.listed(), (QStringList{"Plans/Sub/two.png", "Plans/one.png", "Workshop/three.png"}));
    QCOMPARE(w.arrivals->size(), 0);
}

// A trashed folder leaves the library at once; undo brings it back with its
// files, which are not announced as new.
void tst_FileOps::trashFolderAndUndo() {
    World w;
    w.file("Work/one.png", "one");
    w.file("Work/Sub/two.png", "two");
    w.file("Screenshot 1.png");
    QVERIFY(w.load());
    const auto before = snapshot(w.root);

    QVERIFY(w.lib->trashFolder(w.root + "/Work"));
    QCOMPARE(w.listed(), QStringList{"Screenshot 1.png"});
    QCOMPARE(w.lib->folders(), QStringList());
    QCOMPARE(w.lib->undoStack().last().label, QString("Trash"));

    QCOMPARE(w.lib->undo(), std::optional<QString>("Trash"));
    QCOMPARE(snapshot(w.root), before);
    QTRY_COMPARE_WITH_TIMEOUT(
        w.listed(), (QStringList{"Screenshot 1.png", "Work/Sub/two.png", "Work/one.png"}), 20000);
    QCOMPARE(w.arrivals->size(), 0);
    QCOMPARE(names(w.env.dataHome() + "/Trash/info"), QStringList());
}

// The root, or a folder that holds it, is never trashed or renamed: it would
// take the whole library with it.
void tst_FileOps::refusesTakingTheRoot() {
    World w;
    w.file("Screenshot 1.png");
    QVERIFY(w.load());
    const auto before = snapshot(w.env.home());
    QTest::ignoreMessage(QtWarningMsg, logLine("trash folder"));
    QVERIFY(!w.lib->trashFolder(w.root));
    QTest::ignoreMessage(QtWarningMsg, logLine("trash folder"));
    QVERIFY(!w.lib->trashFolder(w.env.home()));
    QTest::ignoreMessage(QtWarningMsg, logLine("trash folder"));
    QVERIFY(!w.lib->trashFolder(w.root + "/"));
    QTest::ignoreMessage(QtWarningMsg, logLine("rename folder"));
    QCOMPARE(w.lib->renameFolder(w.root, "Elsewhere"), std::nullopt);
    QCOMPARE(snapshot(w.env.home()), before);
    QVERIFY(w.lib->undoStack().isEmpty());
    QCOMPARE(w.listed(), QStringList{"Screenshot 1.png"});
}

// Switching the library folder empties the undo stack: undo then reports
// nothing and the trashed file stays in the Trash.
void tst_FileOps::setRootEmptiesUndo() {
    World w;
    w.file("Screenshot 1.png");
    const QString other = w.env.mkdir("Other");
    QVERIFY(w.load());
    QCOMPARE(w.lib->trash({w.shot("Screenshot 1.png")}), 1);
    w.lib->setRoot(other);
    QVERIFY(w.lib->undoStack().isEmpty());
    QCOMPARE(w.lib->undo(), std::nullopt);
    QCOMPARE(names(w.env.dataHome() + "/Trash/files"), QStringList{"Screenshot 1.png"});
}

void tst_FileOps::moveAcrossFileSystems_data() {
    QTest::addColumn<bool>("real");
    QTest::addRow("another file system") << true;
    QTest::addRow("injected EXDEV") << false;
}

// A move to another file system copies, then removes the original; the
// capture mark goes along, and undo brings the file back the same way.
void tst_FileOps::moveAcrossFileSystems() {
    QFETCH(bool, real);
    World w;
    w.file("Screenshot 1.png", "pixels");
    QVERIFY(w.load());
    QTemporaryDir elsewhere(real ? "/dev/shm/tamberk-test-XXXXXX" : QDir::tempPath() + "/x-XXXXXX");
    if (real && (!elsewhere.isValid() || device(elsewhere.path()) == device(w.root)))
        QSKIP("no second file system at /dev/shm");
    QVERIFY(elsewhere.isValid());

    if (!real)
        FileMove::injectFault(FileMove::Step::Rename, EXDEV);
    QCOMPARE(w.lib->move({w.shot("Screenshot 1.png")}, elsewhere.path()), 1);
    QCOMPARE(names(w.root), QStringList());
    QCOMPARE(snapshot(elsewhere.path()).value("Screenshot 1.png"), QByteArray("pixels"));
    QCOMPARE(w.listed(), QStringList());

    if (!real)
        FileMove::injectFault(FileMove::Step::Rename, EXDEV);
    QCOMPARE(w.lib->undo(), std::optional<QString>("Move"));
    QCOMPARE(snapshot(w.root).value("Screenshot 1.png"), QByteArray("pixels"));
    QVERIFY(CaptureMark::has(w.root + "/Screenshot 1.png"));
    QCOMPARE(names(elsewhere.path()), QStringList());
    QTRY_COMPARE_WITH_TIMEOUT(w.listed(), QStringList{"Screenshot 1.png"}, 20000);
    QCOMPARE(w.arrivals->size(), 0);
}

// Failures on the way (a read-only folder, a full disk, a file gone before
// undo, a Trash that refuses) are logged, skip only the file concerned, and
// never lose or overwrite anything.
void tst_FileOps::failuresLoseNothing() {
    World w;
    w.file("A/one.png", "one");
    w.file("A/two.png", "two");
    QDir().mkpath(w.root + "/Locked");
    QDir().mkpath(w.root + "/B");
    QVERIFY(w.load());
    const auto before = snapshot(w.root);

    bool mounted = false;
    if (makeReadOnly(w.root + "/Locked", &mounted)) {
        QTest::ignoreMessage(QtWarningMsg, logLine("move"));
        QTest::ignoreMessage(QtWarningMsg, logLine("move"));
        const int moved =
            w.lib->move({w.shot("A/one.png"), w.shot("A/two.png")}, w.root + "/Locked");
        makeWritable(w.root + "/Locked", mounted);
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
    QCOMPARE(w.lib->move({w.shot("A/one.png"), w.shot("A/two.png")}, w.root + "/B"), 1);
    QCOMPARE(snapshot(w.root + "/A").value("one.png"), QByteArray("one"));
    QCOMPARE(snapshot(w.root + "/B").value("two.png"), QByteArray("two"));
    QCOMPARE(names(w.root + "/B"), QStringList{"two.png"});
    QCOMPARE(w.lib->undoStack().last().moves.size(), 1);
    QCOMPARE(w.listed(), (QStringList{"A/one.png", "B/two.png"}));

    // The moved file vanishes before undo: undo reports the batch, logs the
    // file and leaves everything else alone.
    QVERIFY(QFile::remove(w.root + "/B/two.png"));
    QTest::ignoreMessage(QtWarningMsg, logLine("undo"));
    QCOMPARE(w.lib->undo(), std::optional<QString>("Move"));
    QCOMPARE(names(w.root + "/A"), QStringList{"one.png"});
    QVERIFY(w.lib->undoStack().isEmpty());

    // The Trash refuses: the file stays and nothing is recorded.
    FileMove::injectFault(FileMove::Step::Rename, EIO);
    QTest::ignoreMessage(QtWarningMsg, logLine("trash"));
    QCOMPARE(w.lib->trash({w.shot("A/one.png")}), 0);
    QCOMPARE(snapshot(w.root + "/A").value("one.png"), QByteArray("one"));
    QVERIFY(w.lib->undoStack().isEmpty());
    QCOMPARE(names(w.env.dataHome() + "/Trash/files"), QStringList());
}

TAMBERK_TEST(tst_FileOps)
#include "tst_FileOps.moc"
