#include "TestEnv.h"
#include "library/DirWatcher.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

// Collects every batch a watcher delivers.
struct Recorder {
    QList<QStringList> batches;

    DirWatcher::Handler handler() {
        return [this](const QStringList& paths) { batches.append(paths); };
    }
    bool saw(const QString& path) const {
        for (const QStringList& batch : batches) {
            if (batch.contains(path))
                return true;
        }
        return false;
    }
    int count(const QString& path) const {
        int n = 0;
        for (const QStringList& batch : batches)
            n += int(batch.count(path));
        return n;
    }
};

bool makeDir(const QString& path) {
    return QDir().mkpath(path);
}

} // namespace

class tst_DirWatcher : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_root = m_dir.path() + QStringLiteral("/root");
        QVERIFY(makeDir(m_root));
    }

    void cleanup() {
        DirWatcher::setWatchLimitForTesting(-1);
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    // A file written in the root reports the root, without the trailing slash
    // the caller may have given.
    void reportsTheChangedDirectory() {
        Recorder rec;
        DirWatcher watcher(m_root + QStringLiteral("//"), 0.05, false, rec.handler());
        QVERIFY(watcher.active());
        writeFile(m_root + QStringLiteral("/Screenshot 1.png"));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(m_root), 10000);
        for (const QStringList& batch : rec.batches) {
            for (const QString& path : batch)
                QVERIFY2(!path.endsWith(QLatin1Char('/')), qPrintable(path));
        }
    }

    // Writing into an existing file and closing it is a change of its folder
    // too, and so is a change of an entry's attributes.
    void writesAndAttributesAreChanges() {
        const QString file = writeFile(m_root + QStringLiteral("/a.png"));
        Recorder rec;
        DirWatcher watcher(m_root, 0.05, false, rec.handler());
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::Append));
            f.write("more");
        }
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(m_root), 10000);
        rec.batches.clear();
        QVERIFY(setModified(file, 1000));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(m_root), 10000);
    }

    // A folder that appears is watched before it is reported: a file the
    // handler creates in it at once is reported under the new folder.
    void newFolderIsWatchedBeforeItIsReported() {
        const QString sub = m_root + QStringLiteral("/New");
        Recorder rec;
        bool wrote = false;
        DirWatcher watcher(m_root, 0.05, false, [&](const QStringList& paths) {
            rec.batches.append(paths);
            if (!wrote && paths.contains(m_root) && QFileInfo(sub).isDir()) {
                wrote = true;
                writeFile(sub + QStringLiteral("/inside.png"));
            }
        });
        QVERIFY(makeDir(sub));
        QTRY_VERIFY_WITH_TIMEOUT(wrote, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(sub), 10000);
    }

    // A subfolder moved to another name reports later changes under its new
    // path, never under the old one; a deleted one stops reporting.
    void movedFolderReportsItsNewPath() {
        const QString before = m_root + QStringLiteral("/Before");
        const QString after = m_root + QStringLiteral("/After");
        QVERIFY(makeDir(before + QStringLiteral("/Deep")));
        Recorder rec;
        DirWatcher watcher(m_root, 0.05, false, rec.handler());
        QVERIFY(QDir().rename(before, after));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(m_root), 10000);
        rec.batches.clear();
        writeFile(after + QStringLiteral("/Deep/x.png"));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(after + QStringLiteral("/Deep")), 10000);
        QVERIFY(!rec.saw(before + QStringLiteral("/Deep")));

        // The same name can come back as a new folder and is watched again.
        QVERIFY(QDir(after).removeRecursively());
        QVERIFY(makeDir(before));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(m_root), 10000);
        rec.batches.clear();
        writeFile(before + QStringLiteral("/y.png"));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(before), 10000);
    }

    // Folders are watched to the scanner's depth: three levels below the
    // root, not four.
    void watchesDownToTheDepthLimit() {
        const QString level3 = m_root + QStringLiteral("/a/b/c");
        const QString level4 = level3 + QStringLiteral("/d");
        QVERIFY(makeDir(level4));
        Recorder rec;
        DirWatcher watcher(m_root, 0.05, false, rec.handler());
        writeFile(level4 + QStringLiteral("/deep.png"));
        writeFile(level3 + QStringLiteral("/shallow.png"));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(level3), 10000);
        QVERIFY(!rec.saw(level4));
    }

    // Hidden entries are never listed, so their changes are not reported.
    void hiddenEntriesAreIgnored() {
        Recorder rec;
        DirWatcher watcher(m_root, 0.05, false, rec.handler());
        writeFile(m_root + QStringLiteral("/.partial"));
        QVERIFY(makeDir(m_root + QStringLiteral("/.cache")));
        writeFile(m_root + QStringLiteral("/.cache/x.png"));
        writeFile(m_root + QStringLiteral("/visible.png"));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(m_root), 10000);
        QTest::qWait(300);
        QCOMPARE(rec.count(m_root), 1);
        QVERIFY(!rec.saw(m_root + QStringLiteral("/.cache")));
    }

    // With watchRoot, renaming the root or an ancestor reports the root, and
    // a root that comes back is watched again.
    void rootMovesAreReportedWithWatchRoot() {
        Recorder rec;
        DirWatcher watcher(m_root, 0.05, true, rec.handler());
        const QString moved = m_dir.path() + QStringLiteral("/moved");
        QVERIFY(QDir().rename(m_root, moved));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(m_root), 10000);

        rec.batches.clear();
        QVERIFY(makeDir(m_root));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(m_root), 10000);
        rec.batches.clear();
        writeFile(m_root + QStringLiteral("/again.png"));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(m_root), 10000);
        // The moved-away tree is no longer ours.
        rec.batches.clear();
        writeFile(moved + QStringLiteral("/elsewhere.png"));
        QTest::qWait(300);
        QVERIFY(!rec.saw(m_root));
    }

    void ancestorRenameIsReported() {
        const QString parent = m_dir.path() + QStringLiteral("/p");
        const QString root = parent + QStringLiteral("/root");
        QVERIFY(makeDir(root));
        Recorder rec;
        DirWatcher watcher(root, 0.05, true, rec.handler());
        QVERIFY(QDir().rename(parent, m_dir.path() + QStringLiteral("/q")));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(root), 10000);
    }

    // Without watchRoot, the root's own disappearance is not reported.
    void rootMovesAreSilentWithoutWatchRoot() {
        Recorder rec;
        DirWatcher watcher(m_root, 0.05, false, rec.handler());
        QVERIFY(QDir().rename(m_root, m_dir.path() + QStringLiteral("/gone")));
        QTest::qWait(300);
        QVERIFY(!rec.saw(m_root));
    }

    // The first change after a quiet period comes at once; changes that
    // follow within the latency are gathered into one batch.
    void laterChangesAreBatchedByTheLatency() {
        const QString a = m_root + QStringLiteral("/A");
        const QString b = m_root + QStringLiteral("/B");
        QVERIFY(makeDir(a));
        QVERIFY(makeDir(b));
        Recorder rec;
        DirWatcher watcher(m_root, 8.0, false, rec.handler());
        writeFile(m_root + QStringLiteral("/first.png"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.batches.size(), 1, 5000);
        QCOMPARE(rec.batches.first(), QStringList{m_root});
        writeFile(a + QStringLiteral("/x.png"));
        writeFile(b + QStringLiteral("/y.png"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.batches.size(), 2, 30000);
        QVERIFY(rec.batches.at(1).contains(a));
        QVERIFY(rec.batches.at(1).contains(b));
    }

    // A destroyed watcher never calls its handler, even with changes waiting.
    void nothingAfterDestruction() {
        Recorder rec;
        auto watcher = std::make_unique<DirWatcher>(m_root, 0.05, false, rec.handler());
        writeFile(m_root + QStringLiteral("/a.png"));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(m_root), 10000);
        writeFile(m_root + QStringLiteral("/b.png"));
        writeFile(m_root + QStringLiteral("/c.png"));
        const int before = int(rec.batches.size());
        watcher.reset();
        QTest::qWait(300);
        QCOMPARE(int(rec.batches.size()), before);
    }

    // When the kernel refuses more watches, the folders left over are
    // polled, and new files in them are still reported.
    void exhaustedWatchesFallBackToPolling() {
        const QString sub = m_root + QStringLiteral("/Sub");
        QVERIFY(makeDir(sub + QStringLiteral("/Deeper")));
        DirWatcher::setWatchLimitForTesting(1);
        Recorder rec;
        DirWatcher watcher(m_root, 0.05, false, rec.handler());
        QCOMPARE(watcher.polledCount(), 2);
        writeFile(sub + QStringLiteral("/Deeper/x.png"));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(sub + QStringLiteral("/Deeper")), 15000);
        writeFile(m_root + QStringLiteral("/root.png"));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(m_root), 10000);
        // Once watches are free again, polling turns back into watching.
        DirWatcher::setWatchLimitForTesting(-1);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.polledCount(), 0, 15000);
        rec.batches.clear();
        writeFile(sub + QStringLiteral("/later.png"));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(sub), 10000);
    }

    // A watcher on a folder that does not exist does nothing until it appears
    // (watchRoot), and never crashes.
    void missingFolderIsHarmless() {
        const QString missing = m_dir.path() + QStringLiteral("/later");
        Recorder rec;
        DirWatcher watcher(missing, 0.05, true, rec.handler());
        QVERIFY(makeDir(missing));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(missing), 10000);
        rec.batches.clear();
        writeFile(missing + QStringLiteral("/x.png"));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(missing), 10000);
    }

private:
    QTemporaryDir m_dir;
    QString m_root;
};

TAMBERK_TEST(tst_DirWatcher)
#include "tst_DirWatcher.moc"
