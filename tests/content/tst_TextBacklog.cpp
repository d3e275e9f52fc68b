#include "FakeEngine.h"
#include "content/RecognitionPool.h"

#include <QSignalSpy>
#include <QTest>

class tst_TextBacklog : public QObject {
    Q_OBJECT
    std::unique_ptr<IndexRig> r;
    std::unique_ptr<TextIndex> index;

private slots:
    void init() {
        r = std::make_unique<IndexRig>();
        index = r->make();
        index->setWorkerLimit(1);
    }
    void cleanup() {
        index.reset();
        r.reset();
    }

    // Arrivals take one reader, a backlog every core but one (all: idle class, roll hidden).
    void threadsForBacklog() {
        const auto threadsFor = &RecognitionPool::threadsFor;
        for (int cores : {1, 2, 8}) {
            for (bool idle : {false, true}) {
                for (bool shown : {false, true}) {
                    QCOMPARE(threadsFor(RecognitionPool::handful, cores, idle, shown), 1);
                    QCOMPARE(threadsFor(RecognitionPool::handful + 1, cores, idle, shown),
                             std::max(1, idle && !shown ? cores : cores - 1));
                }
            }
        }
    }

    // Arrivals first, then the backlog newest first; each image once, videos never.
    void arrivalsFirstThenNewestFirst() {
        const ShotList s = r->listing(8);
        r->engine->gated = true;
        index->enqueue({s[2], s[5], s[0], r->shot("v.mov", 9, true)});
        QVERIFY(r->engine->started.tryAcquire(1, 10000)); // s5 is being read
        index->enqueue({s[1], s[3], s[4], s[5]});
        index->enqueue({s[1], s[3], s[4], s[0]});
        index->enqueueFirst({s[7], s[6], s[1]}); // s1 moves up
        const QStringList expected = IndexRig::paths({s[7], s[6], s[1], s[4], s[3], s[2], s[0]});
        QCOMPARE(index->queueOrder(), expected);
        r->engine->gated = false;
        r->engine->release.release();
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QCOMPARE(r->engine->callList(), QStringList{s[5]->path} + expected);
    }

    // Files renamed, moved or trashed while read get no entry at the old path, read once anew.
    void workersStoreThroughOneWriter() {
        index->setWorkerLimit(3);
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        QSignalSpy pending(index.get(), &TextIndex::pendingChanged);
        ShotList shots = r->listing(12);
        r->engine->gated = true;
        index->enqueue(shots);
        QCOMPARE(index->pending(), 12);
        QVERIFY(r->engine->started.tryAcquire(3, 10000)); // s11, s10 and s9
        QCOMPARE(index->peakWorkers(), 3);
        const QString renamed = r->env.home() + "/shots/renamed.png";
        const QString moved = r->env.mkdir("filed") + "/s10.png";
        QVERIFY(QFile::rename(shots[11]->path, renamed) && QFile::rename(shots[10]->path, moved));
        QVERIFY(QFile::remove(shots[9]->path));
        index->rekey(shots[11]->path, renamed);
        index->rekey(shots[10]->path, moved);
        r->engine->gated = false;
        r->engine->release.release(3);
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QCOMPARE(index->pending(), 0);
        QCOMPARE(pending.last().first().value<qsizetype>(), 0);

        shots[11] = IndexRig::at(renamed, 11);
        shots[10] = IndexRig::at(moved, 10);
        shots.removeAt(9);
        index->enqueue(shots);
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QStringList paths = IndexRig::paths(shots), stored = index->entries().keys(), signalled;
        for (const QList<QVariant>& args : recognized)
            signalled.append(args.first().toString());
        paths.sort();
        stored.sort();
        signalled.sort();
        QCOMPARE(stored, paths);
        QCOMPARE(signalled, paths);
        QCOMPARE(r->engine->callList().size(), 12 + 2);
    }

    // Other languages read every file again, old text searchable meanwhile; unknown codes dropped.
    void languageChangeReadsAgain() {
        index->setAvailableLanguages({"eng", "deu", "fra"});
        Prefs::shared().set(Key::ocrLanguages, QStringLiteral("eng"));
        r->engine->tagLanguages = true;
        const ShotList shots = r->listing(3);
        index->enqueue(shots);
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);

        r->engine->gated = true;
        QTest::ignoreMessage(QtWarningMsg, "Tamberk text recognition failed: no language data "
                                           "for \"xyz\"; it is left out");
        Prefs::shared().set(Key::ocrLanguages, QStringLiteral("eng+xyz+deu"));
        QCOMPARE(index->languages(), QStringLiteral("eng+deu"));
        QCOMPARE(index->pending(), 3);
        QVERIFY(r->engine->started.tryAcquire(1, 10000));
        for (const ShotPtr& s : shots)
            QVERIFY(index->unread(*s) && index->matches(*s, QStringLiteral("[eng]")));
        r->engine->gated = false;
        r->engine->release.release();
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QCOMPARE(r->engine->callList().mid(3), IndexRig::paths({shots[2], shots[1], shots[0]}));
        for (const ShotPtr& s : shots) {
            QCOMPARE(index->entries().value(s->path).l, QStringLiteral("eng+deu"));
            QVERIFY(!index->unread(*s) && index->matches(*s, QStringLiteral("[eng+deu]")));
        }
    }

    // An explicit request goes ahead, even with recognition off; known text answers at once.
    void readNow_data() {
        QTest::addColumn<bool>("ocr");
        QTest::newRow("recognition on") << true;
        QTest::newRow("recognition off") << false;
    }
    void readNow() {
        QFETCH(bool, ocr);
        const ShotList shots = r->listing(4);
        r->engine->answer(shots[1]->path, QString());
        Prefs::shared().set(Key::ocr, ocr);
        r->engine->gated = true;
        index->enqueue(shots);
        QList<std::optional<QString>> answers;
        const auto keep = [&](std::optional<QString> text) { answers.append(text); };
        index->readNow(shots[0], keep);
        index->readNow(shots[1], keep);
        r->engine->gated = false;
        r->engine->release.release();
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 2, 10000);
        QCOMPARE(answers, (QList<std::optional<QString>>{QStringLiteral("text of s0.png"), {}}));
        index->readNow(shots[0], keep);
        QCOMPARE(answers.size(), 3); // at once
        QCOMPARE(answers[2], answers[0]);
        const ShotPtr gone = r->shot("s9.png", 9);
        QFile::remove(gone->path);
        index->readNow(gone, keep);
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 4, 10000);
        QCOMPARE(answers[3], std::nullopt);
        QTRY_VERIFY_WITH_TIMEOUT(index->idle() || !ocr, 10000);
        // With recognition on, the newest was being read when the requests came.
        const QStringList first = ocr ? QStringList{shots[3]->path} : QStringList{};
        QCOMPARE(r->engine->callList().mid(0, first.size() + 2),
                 first + IndexRig::paths({shots[0], shots[1]}));
        QCOMPARE(r->engine->callList().contains(shots[2]->path), ocr);
    }

    // Shutting down drops what waits, answers requests with nothing, and waits a bounded time.
    void shutdownIsBounded() {
        r->engine->gated = true;
        index->enqueue(r->listing(3));
        QVERIFY(r->engine->started.tryAcquire(1, 10000));
        bool answered = false;
        index->readNow(r->shot("s7.png", 7),
                       [&](std::optional<QString> text) { answered = !text; });
        QVERIFY(!index->shutdown(50));
        QVERIFY(answered);
        index->enqueue(r->listing(5));
        QCOMPARE(index->pending(), 0);
        r->engine->release.release();
        QVERIFY(index->shutdown(10000));
        QCOMPARE(r->engine->callList().size(), 1);
    }
};

TAMBERK_TEST(tst_TextBacklog)
#include "tst_TextBacklog.moc"
