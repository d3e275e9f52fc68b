#include "FakeEngine.h"
#include "content/RecognitionPool.h"

#include <QSignalSpy>
#include <QTest>

// Reading a whole library: the order files are read in, several workers
// storing through one writer, the count of what waits, a change of
// languages and explicit requests.
class tst_TextBacklog : public QObject {
    Q_OBJECT

private slots:
    void threadsForBacklog_data() {
        QTest::addColumn<int>("pending");
        QTest::addColumn<int>("cores");
        QTest::addColumn<bool>("idleClass");
        QTest::addColumn<bool>("rollShown");
        QTest::addColumn<int>("threads");
        QTest::newRow("arrivals on many cores") << 3 << 8 << true << false << 1;
        QTest::newRow("backlog, nice 19") << 500 << 8 << false << false << 7;
        QTest::newRow("backlog, idle class") << 500 << 8 << true << false << 8;
        QTest::newRow("backlog, idle class, roll shown") << 500 << 8 << true << true << 7;
        QTest::newRow("backlog, two cores, roll shown") << 500 << 2 << true << true << 1;
        QTest::newRow("backlog, one core") << 500 << 1 << false << false << 1;
        QTest::newRow("backlog, one core, roll shown") << 500 << 1 << true << true << 1;
        QTest::newRow("backlog, two cores, nice 19") << 500 << 2 << false << false << 1;
    }
    void threadsForBacklog() {
        QFETCH(int, pending);
        QFETCH(int, cores);
        QFETCH(bool, idleClass);
        QFETCH(bool, rollShown);
        QFETCH(int, threads);
        QCOMPARE(RecognitionPool::threadsFor(pending, cores, idleClass, rollShown), threads);
    }

    // The backlog is read newest first, whatever order the listings came in;
    // arrivals go ahead of it, the newest arrival first.
    void arrivalsFirstThenNewestFirst() {
        IndexRig r;
        auto index = r.make();
        index->setWorkerLimit(1);
        const ShotList shots = r.listing(8);
        r.engine->gated = true;
        index->enqueue({shots[2], shots[5], shots[0]});
        QVERIFY(r.engine->started.tryAcquire(1, 10000)); // s5 is being read
        index->enqueue({shots[1], shots[3], shots[4]});
        index->enqueueFirst({shots[7], shots[6], shots[1]}); // s1 moves up
        const QStringList expected{shots[7]->path, shots[6]->path, shots[1]->path, shots[4]->path,
                                   shots[3]->path, shots[2]->path, shots[0]->path};
        QCOMPARE(index->queueOrder(), expected);
        r.engine->gated = false;
        r.engine->release.release();
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QCOMPARE(r.engine->callList(), QStringList{shots[5]->path} + expected);
    }

    // Several workers read at once and store through the index: a file
    // renamed, moved or trashed while it is read gets no entry under its old
    // path and is read once under its new one; nothing is stored twice, the
    // count of waiting files falls to zero and the saved file holds exactly
    // what the index holds.
    void workersStoreThroughOneWriter() {
        IndexRig r;
        auto index = r.make();
        index->setWorkerLimit(3);
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        QSignalSpy pending(index.get(), &TextIndex::pendingChanged);
        QSignalSpy saved(index.get(), &TextIndex::saved);
        ShotList shots = r.listing(12);
        r.engine->gated = true;
        index->enqueue(shots);
        QCOMPARE(index->pending(), 12);
        QVERIFY(r.engine->started.tryAcquire(3, 10000));
        QCOMPARE(index->peakWorkers(), 3);
        // The three being read are the newest: s11, s10, s9.
        const QString renamed = r.env.home() + "/shots/renamed.png";
        const QString moved = r.env.mkdir("filed") + "/s10.png";
        QVERIFY(QFile::rename(shots[11]->path, renamed));
        QVERIFY(QFile::rename(shots[10]->path, moved));
        QVERIFY(QFile::remove(shots[9]->path));
        index->rekey(shots[11]->path, renamed);
        index->rekey(shots[10]->path, moved);
        r.engine->gated = false;
        r.engine->release.release(3);
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QCOMPARE(pending.last().first().value<qsizetype>(), 0);
        QCOMPARE(index->pending(), 0);

        // The library lists the files under their new names.
        shots[11] = IndexRig::at(renamed, 11);
        shots[10] = IndexRig::at(moved, 10);
        shots.removeAt(9);
        index->enqueue(shots);
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QStringList paths;
        for (const ShotPtr& s : shots)
            paths.append(s->path);
        QStringList stored = index->entries().keys();
        stored.sort();
        paths.sort();
        QCOMPARE(stored, paths);
        QStringList signalled;
        for (const QList<QVariant>& args : recognized)
            signalled.append(args.first().toString());
        signalled.sort();
        QCOMPARE(signalled, paths); // each stored once
        QCOMPARE(r.engine->callList().size(), 12 + 2);

        QTRY_VERIFY_WITH_TIMEOUT(!saved.isEmpty() && !index->savePending(), 10000);
        QFile file(r.indexFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(TextIndex::decode(file.readAll()), index->entries());
    }

    // Another choice of languages reads every file again, newest first; the
    // old text answers searches until the new text replaces it. A code
    // without installed data is left out.
    void languageChangeReadsAgain() {
        IndexRig r;
        auto index = r.make();
        index->setAvailableLanguages({"eng", "deu", "fra"});
        Prefs::shared().set(Key::ocrLanguages, QStringLiteral("eng"));
        r.engine->tagLanguages = true;
        index->setWorkerLimit(1);
        const ShotList shots = r.listing(3);
        index->enqueue(shots);
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QCOMPARE(index->entries().value(shots[2]->path).t, QStringLiteral("text of s2.png [eng]"));

        r.engine->gated = true;
        QTest::ignoreMessage(QtWarningMsg, "Tamberk text recognition failed: no language data "
                                           "for \"xyz\"; it is left out");
        Prefs::shared().set(Key::ocrLanguages, QStringLiteral("eng+xyz+deu"));
        QCOMPARE(index->languages(), QStringLiteral("eng+deu"));
        QCOMPARE(index->pending(), 3);
        QVERIFY(r.engine->started.tryAcquire(1, 10000));
        for (const ShotPtr& s : shots) {
            QVERIFY(index->unread(*s));
            QVERIFY(index->matches(*s, QStringLiteral("[eng]")));
        }
        r.engine->gated = false;
        r.engine->release.release();
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QCOMPARE(r.engine->callList().mid(3),
                 (QStringList{shots[2]->path, shots[1]->path, shots[0]->path}));
        for (const ShotPtr& s : shots) {
            QCOMPARE(index->entries().value(s->path).l, QStringLiteral("eng+deu"));
            QVERIFY(index->matches(*s, QStringLiteral("[eng+deu]")));
            QVERIFY(!index->unread(*s));
        }
    }

    // An explicit request is read ahead of the backlog, also with recognition
    // switched off; a file read already answers at once, one without text
    // or gone answers nothing.
    void readNow_data() {
        QTest::addColumn<bool>("ocr");
        QTest::newRow("recognition on") << true;
        QTest::newRow("recognition off") << false;
    }
    void readNow() {
        IndexRig r;
        QFETCH(bool, ocr);
        auto index = r.make();
        index->setWorkerLimit(1);
        const ShotList shots = r.listing(4);
        r.engine->answer(shots[1]->path, QString());
        Prefs::shared().set(Key::ocr, ocr);
        r.engine->gated = true;
        index->enqueue(shots);
        QList<std::optional<QString>> answers;
        const auto keep = [&](std::optional<QString> text) { answers.append(text); };
        index->readNow(shots[0], keep);
        index->readNow(shots[1], keep);
        r.engine->gated = false;
        r.engine->release.release();
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 2, 10000);
        QCOMPARE(answers[0], std::optional<QString>(QStringLiteral("text of s0.png")));
        QCOMPARE(answers[1], std::optional<QString>());
        index->readNow(shots[0], keep);
        QCOMPARE(answers.size(), 3); // at once
        QCOMPARE(answers[2], answers[0]);
        const ShotPtr gone = r.shot("s9.png", 9);
        QFile::remove(gone->path);
        index->readNow(gone, keep);
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 4, 10000);
        QCOMPARE(answers[3], std::optional<QString>());
        QTRY_VERIFY_WITH_TIMEOUT(index->idle() || !ocr, 10000);
        // Recognition on: the newest was being read when the requests came.
        const QStringList first = ocr ? QStringList{shots[3]->path} : QStringList{};
        QCOMPARE(r.engine->callList().mid(0, first.size() + 2),
                 (first + QStringList{shots[0]->path, shots[1]->path}));
        QCOMPARE(r.engine->callList().contains(shots[2]->path), ocr);
    }

    // Shutting down drops what waits, answers waiting requests with nothing,
    // and waits a bounded time for a recognition that does not end.
    void shutdownIsBounded() {
        IndexRig r;
        auto index = r.make();
        index->setWorkerLimit(1);
        r.engine->gated = true;
        index->enqueue(r.listing(3));
        QVERIFY(r.engine->started.tryAcquire(1, 10000));
        bool answered = false;
        index->readNow(r.shot("s7.png", 7), [&](std::optional<QString> text) { answered = !text; });
        QVERIFY(!index->shutdown(50));
        QVERIFY(answered);
        QCOMPARE(index->pending(), 0);
        index->enqueue(r.listing(5));
        QCOMPARE(index->pending(), 0);
        r.engine->release.release();
        QVERIFY(index->shutdown(10000));
        QCOMPARE(r.engine->callList().size(), 1);
    }
};

TAMBERK_TEST(tst_TextBacklog)
#include "tst_TextBacklog.moc"
