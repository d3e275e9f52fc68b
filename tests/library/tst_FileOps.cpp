#include "LibrarySupport.h"

#include "platform/CaptureMark.h"
#include "platform/FileMove.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <cerrno>
#include <optional>

using namespace LibrarySupport;

namespace {

using Files = QMap<QString, QByteArray>;

// What undo() reports for a batch of `label` that brought files back (or none).
std::optional<Library::Undone> undone(const char* label, bool restored = true) {
    return Library::Undone{QString::fromLatin1(label), restored};
}

QRegularExpression logLine(const char* what) {
    return QRegularExpression(QStringLiteral("^Tamberk %1 failed: .+").arg(what));
}

// A library loaded on `files`; our own moves must never count as arrivals.
bool load(LibraryRig& r, const Files& files) {
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        writeFile(r.root + '/' + it.key(), *it);
    return r.load();
}

// Rescans every folder, as the watcher would, and expects `expected` and no arrivals.
bool rescannedQuietly(LibraryRig& r, const QStringList& expected) {
    const QStringList folders = r.lib->folders();
    QSignalSpy changed(r.lib.get(), &Library::changed);
    r.lib->refresh(QSet<QString>(folders.begin(), folders.end()) << r.root);
    return QTest::qWaitFor([&] { return !changed.isEmpty() && r.listed() == expected; }, 20000) &&
           r.events->arrivals.isEmpty();
}

} // namespace

class tst_FileOps : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { FileMove::clearFaults(); }

    void rename_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("result"); // empty: refused
        QTest::newRow("plain name") << "Invoice"
                                    << "Invoice.png";
        QTest::newRow("same extension, other case") << "Invoice.PNG"
                                                    << "Invoice.PNG";
        QTest::newRow("slashes, colons, spaces") << " a/b:c \n"
                                                 << "a-b-c.png";
        QTest::newRow("only spaces") << "   "
                                     << "";
        QTest::newRow("taken name") << "Screenshot 2"
                                    << "";
        QTest::newRow("hidden name") << ".Invoice"
                                     << "";
        QTest::newRow("hidden after trimming") << "  .png"
                                               << "";
    }
    // A rename keeps the extension and the capture mark and undoes; a taken or
    // empty name changes nothing.
    void rename() {
        QFETCH(QString, typed);
        QFETCH(QString, result);
        LibraryRig r;
        QVERIFY(load(r, {{"Screenshot 1.png", "one"}, {"Screenshot 2.png", "two"}}));
        const auto before = snapshot(r.root);
        QCOMPARE(r.lib->rename(r.find("Screenshot 1.png"), typed), !result.isEmpty());
        if (result.isEmpty()) {
            QCOMPARE(snapshot(r.root), before);
            QVERIFY(r.lib->undoStack().isEmpty());
            return;
        }
        QCOMPARE(snapshot(r.root).value(result), QByteArray("one"));
        QVERIFY(CaptureMark::has(r.root + '/' + result));
        QCOMPARE(r.lib->undo(), undone("Rename"));
        QCOMPARE(snapshot(r.root), before);
    }

    // Two x.png moved into one folder become x.png and x 2.png, one already there
    // is skipped, and undo never replaces a newcomer at the old name.
    void moveNumbersAndSkips() {
        LibraryRig r;
        QVERIFY(load(r, {{"A/x.png", "from A"}, {"B/x.png", "from B"}, {"C/y.png", "y"}}));
        QCOMPARE(r.lib->move({r.find("A/x.png"), r.find("B/x.png"), r.find("C/y.png")},
                             r.root + "/C/../C"),
                 2);
        QCOMPARE(snapshot(r.root + "/C"),
                 (Files{{"x.png", "from A"}, {"x 2.png", "from B"}, {"y.png", "y"}}));
        writeFile(r.root + "/A/x.png", "newcomer");
        QCOMPARE(r.lib->undo(), undone("Move"));
        QCOMPARE(snapshot(r.root + "/A"), (Files{{"x.png", "newcomer"}, {"x 2.png", "from A"}}));
        QCOMPARE(snapshot(r.root + "/B"), (Files{{"x.png", "from B"}}));
    }

    // Shots trashed together come back with one undo, even into a removed
    // folder, and the Trash keeps no entry (.trashinfo) for them; a trashed
    // folder comes back the same way. Nothing returning is announced.
    void trashThenUndo_data() {
        QTest::addColumn<QString>("folder"); // empty: the three shots
        QTest::newRow("shots") << "";
        QTest::newRow("folder") << "B";
    }
    void trashThenUndo() {
        QFETCH(QString, folder);
        LibraryRig r;
        const QStringList all{"A/two.png", "B/Sub/three.png", "Screenshot 1.png"};
        QVERIFY(load(r, {{all[0], "two"}, {all[1], "three"}, {all[2], "one"}}));
        const auto before = snapshot(r.root);
        const QString trash = r.env.dataHome() + "/Trash";
        if (folder.isEmpty()) {
            QCOMPARE(r.lib->trash({r.find(all[0]), r.find(all[1]), r.find(all[2])}), 3);
            QCOMPARE(names(trash + "/files"),
                     (QStringList{"Screenshot 1.png", "three.png", "two.png"}));
            QVERIFY(QDir(r.root + "/B").removeRecursively());
        } else {
            QVERIFY(r.lib->trashFolder(r.root + "/B"));
            QCOMPARE(r.listed(), (QStringList{all[0], all[2]}));
        }
        QCOMPARE(r.lib->undo(), undone("Trash"));
        QCOMPARE(snapshot(r.root), before);
        QCOMPARE(snapshot(trash).keys(), (QStringList{"files", "info"}));
        QVERIFY(rescannedQuietly(r, all));

        // Undo entries name files of the old tree, so another root drops them.
        QCOMPARE(r.lib->trash({r.find(all[0])}), 1);
        r.lib->setRoot(r.env.mkdir("Other"));
        QVERIFY(r.lib->undoStack().isEmpty());
    }

    // A renamed folder keeps its shots (same measurements) and their recognised
    // text under the new paths, and nothing in it is announced as new.
    void renameFolderKeepsShotsAndText() {
        LibraryRig r;
        writeFile(r.env.dataHome() + "/Tamberk/text-index.json",
                  R"({")" + QFile::encodeName(r.root) + R"(/Work/a.png":{"m":0,"t":"Invoice"}})");
        QVERIFY(load(r, {{"Work/a.png", "a"}, {"Work/Sub/b.png", "b"}}));
        QCOMPARE(r.lib->renameFolder(r.root + "/Work", "Done"), std::optional(r.root + "/Done"));
        QCOMPARE(r.listed(), (QStringList{"Done/Sub/b.png", "Done/a.png"}));
        QCOMPARE(r.lib->text().text(*r.find("Done/a.png")), std::optional<QString>("Invoice"));
        QCOMPARE(r.lib->shots(Scope::all(), "invoice").size(), 1);
        QVERIFY(rescannedQuietly(r, {"Done/Sub/b.png", "Done/a.png"}));
    }

    // The root, or a folder holding it, is never trashed or renamed, and no
    // folder is renamed onto a taken, empty or hidden name.
    void refusesTakingTheRoot() {
        LibraryRig r;
        QVERIFY(load(r, {{"Work/1.png", ""}, {"Workshop/2.png", ""}}));
        const auto before = snapshot(r.env.home());
        for (const char* refused : {"Work", "Workshop", " ", ".Work"})
            QCOMPARE(r.lib->renameFolder(r.root + "/Work", refused), std::nullopt);
        for (const QString& folder : {r.root, r.env.home(), r.root + "/"}) {
            QTest::ignoreMessage(QtWarningMsg, logLine("trash folder"));
            QVERIFY(!r.lib->trashFolder(folder));
            QTest::ignoreMessage(QtWarningMsg, logLine("rename folder"));
            QCOMPARE(r.lib->renameFolder(folder, "Elsewhere"), std::nullopt);
        }
        QCOMPARE(snapshot(r.env.home()), before);
    }

    // A full disk or a file gone before undo is logged, skips only that file,
    // and loses nothing.
    void failuresLoseNothing() {
        LibraryRig r;
        QVERIFY(load(r, {{"A/1.png", "1"}, {"A/2.png", "2"}, {"B/.keep", ""}}));
        const ShotList both{r.find("A/1.png"), r.find("A/2.png")};
        FileMove::injectFault(FileMove::Step::Rename, EACCES);
        QTest::ignoreMessage(QtWarningMsg, logLine("move"));
        QCOMPARE(r.lib->move({both[0]}, r.root + "/B"), 0);
        QVERIFY(r.lib->undoStack().isEmpty()); // nothing to undo

        FileMove::injectFault(FileMove::Step::Rename, EXDEV);
        FileMove::injectFault(FileMove::Step::CopyData, ENOSPC);
        QTest::ignoreMessage(QtWarningMsg, logLine("move"));
        QCOMPARE(r.lib->move(both, r.root + "/B"), 1);
        QCOMPARE(snapshot(r.root + "/A"), (Files{{"1.png", "1"}}));
        QCOMPARE(r.lib->undoStack().last().moves.size(), 1);

        QVERIFY(QFile::remove(r.root + "/B/2.png"));
        QTest::ignoreMessage(QtWarningMsg, logLine("undo"));
        QCOMPARE(r.lib->undo(), undone("Move", false));
        QCOMPARE(snapshot(r.root + "/A"), (Files{{"1.png", "1"}}));
    }

    // An undo whose files are all gone says so instead of reporting success, and
    // still consumes its batch.
    void undoWithNothingBack() {
        LibraryRig r;
        QVERIFY(load(r, {{"A/1.png", "1"}, {"A/2.png", "2"}, {"B/.keep", ""}}));
        QCOMPARE(r.lib->trash({r.find("A/1.png"), r.find("A/2.png")}), 2);
        QVERIFY(QDir(r.env.dataHome() + "/Trash/files").removeRecursively()); // emptied
        QTest::ignoreMessage(QtWarningMsg, logLine("undo"));
        QTest::ignoreMessage(QtWarningMsg, logLine("undo"));
        QCOMPARE(r.lib->undo(), undone("Trash", false));
        QVERIFY(r.lib->undoStack().isEmpty());
        QCOMPARE(r.lib->undo(), std::nullopt);
    }

    void createFolder_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("parent");  // relative to the root; empty: the root
        QTest::addColumn<QString>("created"); // relative to the root; empty: refused
        QTest::newRow("in the root") << " Receipts "
                                     << ""
                                     << "Receipts";
        QTest::newRow("taken name is numbered") << "Work"
                                                << ""
                                                << "Work 2";
        QTest::newRow("inside a folder") << "a/b"
                                         << "Work"
                                         << "Work/a-b";
        QTest::newRow("empty name") << "  "
                                    << ""
                                    << "";
        QTest::newRow("hidden name") << ".cache"
                                     << ""
                                     << "";
    }
    // A new folder is made under a free name, listed and counted at once without
    // a rescan, and records nothing to undo; empty and hidden names make nothing.
    void createFolder() {
        QFETCH(QString, typed);
        QFETCH(QString, parent);
        QFETCH(QString, created);
        LibraryRig r;
        QVERIFY(load(r, {{"Work/1.png", "1"}}));
        const auto before = snapshot(r.root);
        const QString in = parent.isEmpty() ? r.root : r.root + '/' + parent;
        const auto path = r.lib->createFolder(typed, parent.isEmpty() ? QString() : in);
        if (created.isEmpty()) {
            QCOMPARE(path, std::nullopt);
            QCOMPARE(snapshot(r.root), before);
            return;
        }
        QCOMPARE(path, std::optional(r.root + '/' + created));
        QVERIFY(QFileInfo(*path).isDir());
        QVERIFY(r.lib->folders().contains(*path) && r.lib->childMap().value(in).contains(*path));
        QVERIFY(r.lib->undoStack().isEmpty());
        QCOMPARE(snapshot(r.root).value("Work/1.png"), QByteArray("1"));
    }
};

TAMBERK_TEST(tst_FileOps)
#include "tst_FileOps.moc"
