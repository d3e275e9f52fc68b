#include "TestEnv.h"
#include "library/DirWatcher.h"

#include <QDir>
#include <QTest>
#include <algorithm>

namespace {

// Collects every batch a watcher delivers, and all of them merged.
struct Recorder {
    QList<QStringList> batches;
    DirChanges all;

    DirWatcher::ChangeHandler handler() {
        return [this](const DirChanges& changes) {
            batches.append(changes.dirs);
            all.merge(changes);
        };
    }
    bool saw(const QString& path) const {
        return std::any_of(batches.begin(), batches.end(),
                           [&](const QStringList& batch) { return batch.contains(path); });
    }
};

} // namespace

#define WAIT_FOR(condition) QTRY_VERIFY_WITH_TIMEOUT(condition, 10000)

// "Nothing was reported" is checked by a later report: a watcher delivers in order.
class tst_DirWatcher : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString root;

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        root = m_dir->path() + "/Parent/root";
        QDir().mkpath(root);
    }
    void cleanup() { DirWatcher::setWatchLimitForTesting(-1); }

    // A destroyed watcher never calls its handler, even with changes waiting.
    void changesAndDestruction() {
        Recorder rec, other;
        auto watcher = std::make_unique<DirWatcher>(root + "//", 0.05, false, rec.handler());
        DirWatcher witness(root, 0.05, false, other.handler());
        QVERIFY(watcher->active());
        writeFile(root + "/a.png");
        WAIT_FOR(rec.saw(root) && other.saw(root));
        writeFile(root + "/b.png");
        const qsizetype before = rec.batches.size();
        watcher.reset();
        writeFile(root + "/c.png");
        WAIT_FOR(other.all.names.value(root).contains("c.png"));
        QCOMPARE(rec.batches.size(), before);
    }

    // With watchRoot, renaming a folder above the root reports the root; without, nothing.
    void ancestorRenameReportsTheRoot() {
        Recorder rec, plain;
        DirWatcher watcher(root, 0.05, true, rec.handler());
        DirWatcher other(root, 0.05, false, plain.handler());
        QVERIFY(QDir().rename(m_dir->path() + "/Parent", m_dir->path() + "/Moved"));
        // Both read the rename in the same turn and hand a first change over at once.
        WAIT_FOR(rec.saw(root));
        QCoreApplication::processEvents();
        QVERIFY(plain.batches.isEmpty());
    }

    // A folder that appears is watched before it is reported to the handler.
    void newFolderIsWatchedBeforeItIsReported() {
        const QString sub = root + "/New";
        Recorder rec;
        bool wrote = false;
        DirWatcher watcher(root, 0.05, false, [&](const QStringList& paths) {
            rec.batches.append(paths);
            if (!wrote && paths.contains(root) && QFileInfo(sub).isDir()) {
                wrote = true;
                writeFile(sub + "/inside.png");
            }
        });
        QVERIFY(QDir().mkpath(sub));
        WAIT_FOR(wrote);
        WAIT_FOR(rec.saw(sub));
    }

    // Depth 3, no hidden folders, renamed ones by their new path; a batch names changed entries.
    void watchedFoldersAndNames() {
        const QString level3 = root + "/a/b/c", before = root + "/Before", after = root + "/After";
        QVERIFY(QDir().mkpath(level3 + "/d") && QDir().mkpath(root + "/.cache"));
        QVERIFY(QDir().mkpath(before + "/Deep"));
        Recorder rec;
        DirWatcher watcher(root, 0.05, false, rec.handler());
        QVERIFY(QDir().rename(before, after));
        WAIT_FOR(rec.saw(root));
        rec = {};
        writeFile(level3 + "/d/deep.png");
        writeFile(root + "/.cache/x.png");
        writeFile(after + "/Deep/x.png");
        writeFile(root + "/a.png");
        writeFile(root + "/.part");
        QVERIFY(QFile::rename(root + "/.part", root + "/b.png"));
        writeFile(level3 + "/shallow.png");
        WAIT_FOR(rec.saw(level3) && rec.all.names.value(after + "/Deep").contains("x.png") &&
                 rec.all.names.value(root).contains("b.png"));
        QVERIFY(!rec.saw(level3 + "/d") && !rec.saw(root + "/.cache") &&
                !rec.saw(before + "/Deep"));
        QCOMPARE(rec.all.names.value(root), (QSet<QString>{"a.png", "b.png"}));
    }

    // Folders without a watch are polled (naming no entries) until watches are free again.
    void exhaustedWatchesFallBackToPolling() {
        const QString deeper = root + "/Sub/Deeper";
        QVERIFY(QDir().mkpath(deeper));
        DirWatcher::setWatchLimitForTesting(1);
        Recorder rec;
        DirWatcher watcher(root, 0.05, false, rec.handler());
        QCOMPARE(watcher.polledCount(), 2);
        writeFile(deeper + "/x.png");
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(deeper), 15000);
        QVERIFY(!rec.all.names.contains(deeper));
        DirWatcher::setWatchLimitForTesting(-1);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.polledCount(), 0, 15000);
    }
};

TAMBERK_TEST(tst_DirWatcher)
#include "tst_DirWatcher.moc"
