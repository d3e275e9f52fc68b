#include "TestEnv.h"
#include "library/DirWatcher.h"

#include <QDir>
#include <QFile>
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

    // Writing into a file and changing its attributes report its folder,
    // without the trailing slash the caller may have given; a destroyed
    // watcher never calls its handler, even with changes waiting.
    void changesAndDestruction() {
        const QString file = writeFile(m_root + QStringLiteral("/a.png"));
        Recorder rec;
        auto watcher = std::make_unique<DirWatcher>(m_root + "//", 0.05, false, rec.handler());
        QVERIFY(watcher->active());
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::Append));
            f.write("more");
        }
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(m_root), 10000);
        rec.batches.clear();
        QVERIFY(setModified(file, 1000));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(m_root), 10000);
        writeFile(m_root + QStringLiteral("/b.png"));
        const int before = int(rec.batches.size());
        watcher.reset();
        QTest::qWait(300);
        QCOMPARE(int(rec.batches.size()), before);
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

    // Folders are watched to the scanner's depth (three levels below the
    // root, not four), hidden folders not at all, and a subfolder moved to
    // another name reports later changes under its new path, never the old.
    void watchedFolders() {
        const QString level3 = m_root + QStringLiteral("/a/b/c");
        const QString before = m_root + QStringLiteral("/Before");
        const QString after = m_root + QStringLiteral("/After");
        QVERIFY(makeDir(level3 + QStringLiteral("/d")));
        QVERIFY(makeDir(m_root + QStringLiteral("/.cache")));
        QVERIFY(makeDir(before + QStringLiteral("/Deep")));
        Recorder rec;
        DirWatcher watcher(m_root, 0.05, false, rec.handler());
        QVERIFY(QDir().rename(before, after));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(m_root), 10000);
        writeFile(level3 + QStringLiteral("/d/deep.png"));
        writeFile(m_root + QStringLiteral("/.cache/x.png"));
        writeFile(after + QStringLiteral("/Deep/x.png"));
        writeFile(level3 + QStringLiteral("/shallow.png"));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(level3) && rec.saw(after + QStringLiteral("/Deep")),
                                 10000);
        QVERIFY(!rec.saw(level3 + QStringLiteral("/d")));
        QVERIFY(!rec.saw(m_root + QStringLiteral("/.cache")));
        QVERIFY(!rec.saw(before + QStringLiteral("/Deep")));
    }

    // With watchRoot, a root that appears, is renamed away and comes back is
    // reported each time, and so is the renaming of an ancestor.
    void rootMovesAreReportedWithWatchRoot() {
        const QString parent = m_dir.path() + QStringLiteral("/p");
        const QString root = parent + QStringLiteral("/root");
        QVERIFY(makeDir(parent));
        Recorder rec;
        DirWatcher watcher(root, 0.05, true, rec.handler());
        for (int round = 0; round < 2; ++round) {
            QVERIFY(makeDir(root));
            QTRY_VERIFY_WITH_TIMEOUT(rec.saw(root), 10000);
            rec.batches.clear();
            writeFile(root + QStringLiteral("/x.png"));
            QTRY_VERIFY_WITH_TIMEOUT(rec.saw(root), 10000);
            rec.batches.clear();
            if (round == 0) {
                QVERIFY(QDir().rename(root, parent + QStringLiteral("/moved")));
                QTRY_VERIFY_WITH_TIMEOUT(rec.saw(root), 10000);
                rec.batches.clear();
            }
        }
        QVERIFY(QDir().rename(parent, m_dir.path() + QStringLiteral("/q")));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(root), 10000);
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

    // When the kernel refuses more watches, the folders left over are
    // polled and still report; freed watches turn polling back into watching.
    void exhaustedWatchesFallBackToPolling() {
        const QString sub = m_root + QStringLiteral("/Sub");
        QVERIFY(makeDir(sub + QStringLiteral("/Deeper")));
        DirWatcher::setWatchLimitForTesting(1);
        Recorder rec;
        DirWatcher watcher(m_root, 0.05, false, rec.handler());
        QCOMPARE(watcher.polledCount(), 2);
        writeFile(sub + QStringLiteral("/Deeper/x.png"));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(sub + QStringLiteral("/Deeper")), 15000);
        DirWatcher::setWatchLimitForTesting(-1);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.polledCount(), 0, 15000);
        rec.batches.clear();
        writeFile(sub + QStringLiteral("/later.png"));
        QTRY_VERIFY_WITH_TIMEOUT(rec.saw(sub), 10000);
    }

private:
    QTemporaryDir m_dir;
    QString m_root;
};

TAMBERK_TEST(tst_DirWatcher)
#include "tst_DirWatcher.moc"
