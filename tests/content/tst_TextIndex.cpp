#include "TestEnv.h"
#include "content/TextIndex.h"
#include "settings/Prefs.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace {

// A recogniser that answers from a table and records every call; it can hold
// a recognition in flight until the test releases it.
struct FakeEngine {
    QMutex mutex;
    QStringList calls;
    QSet<QString> threads;
    QHash<QString, QString> answers;
    std::atomic<bool> gated{false};
    QSemaphore started;
    QSemaphore release;

    QString recognize(const QString& path) {
        QString answer;
        {
            QMutexLocker lock(&mutex);
            calls.append(path);
            threads.insert(QThread::currentThread()->objectName());
            answer = answers.value(path, QStringLiteral("text of ") + QFileInfo(path).fileName());
        }
        if (gated) {
            started.release();
            release.tryAcquire(1, 60000); // bounded, so a failed test cannot hang
        }
        return answer;
    }
    QStringList callList() {
        QMutexLocker lock(&mutex);
        return calls;
    }
    void answer(const QString& path, const QString& text) {
        QMutexLocker lock(&mutex);
        answers.insert(path, text);
    }
};

ShotPtr shot(const QString& path, double modified, bool isVideo = false) {
    return std::make_shared<Shot>(path, modified, modified, QSizeF(100, 100), isVideo, true);
}

} // namespace

class tst_TextIndex : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::shared_ptr<FakeEngine> engine;

    QString indexFile() const { return env->dataHome() + "/Tamberk/text-index.json"; }
    std::unique_ptr<TextIndex> makeIndex() {
        return std::make_unique<TextIndex>(
            indexFile(), [e = engine](const QString& path) { return e->recognize(path); });
    }
    QString shotFile(const QString& name) { return writeFile(env->home() + "/shots/" + name); }
    std::optional<TextIndex::Map> readIndexFile() const {
        QFile file(indexFile());
        return file.open(QIODevice::ReadOnly) ? TextIndex::decode(file.readAll()) : std::nullopt;
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        engine = std::make_shared<FakeEngine>();
        Prefs::shared().set(Key::ocr, true);
    }
    void cleanup() {
        engine->release.release(100);
        env.reset();
    }

    // Images are recognised in listing order on the index's own worker, each
    // once however often the listing is enqueued; a video never gets an entry.
    void recognisesImagesOnceInOrderButNoVideos() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        engine->gated = true;
        const ShotList shots{shot(shotFile("c.png"), 3), shot(shotFile("v.mov"), 4, true),
                             shot(shotFile("a.png"), 1)};
        index->enqueue(shots);
        QVERIFY(engine->started.tryAcquire(1, 10000));
        index->enqueue(shots);
        index->enqueue(shots);
        engine->release.release(10);
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 2, 10000);
        QTRY_VERIFY(index->idle());
        index->enqueue(shots);
        QVERIFY(index->idle());
        QCOMPARE(engine->callList(), (QStringList{shots[0]->path, shots[2]->path}));
        QCOMPARE(index->text(*shots[2]), std::optional<QString>(QStringLiteral("text of a.png")));
        QMutexLocker lock(&engine->mutex);
        QCOMPARE(engine->threads, QSet<QString>{QStringLiteral("tamberk.ocr")});
    }

    // A file deleted while it is recognised stores nothing; one changed while
    // it is recognised keeps the time of the version read, so it is read
    // again, its old text searchable until the new text replaces it.
    void fileChangingDuringRecognition() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const QString gone = shotFile("gone.png"), changed = shotFile("changed.png");
        engine->answer(changed, "old words");
        engine->gated = true;
        index->enqueue({shot(gone, 1), shot(changed, 2)});
        QVERIFY(engine->started.tryAcquire(1, 10000));
        QFile::remove(gone);
        engine->release.release();
        QVERIFY(QTest::qWaitFor([&] { return engine->started.tryAcquire(); }, 10000));
        setModified(changed, 500);
        engine->release.release();
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 1, 10000);
        QTRY_VERIFY(index->idle());
        QVERIFY(!index->entries().contains(gone));
        QCOMPARE(index->entries().value(changed).m, 2.0);

        engine->answer(changed, "new words");
        const ShotPtr touched = shot(changed, 500);
        index->enqueue({touched});
        QVERIFY(engine->started.tryAcquire(1, 10000));
        QVERIFY(index->matches(*touched, QStringLiteral("old")));
        engine->release.release();
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 2, 10000);
        QVERIFY(index->matches(*touched, QStringLiteral("new")));
        QVERIFY(!index->matches(*touched, QStringLiteral("old")));
        QCOMPARE(index->entries().value(changed).m, 500.0);
    }

    // With recognition off nothing is queued; switching it off mid-run stops
    // after the job in flight and keeps the rest for the next enqueue.
    void recognitionSetting() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const ShotList shots{shot(shotFile("a.png"), 1), shot(shotFile("b.png"), 2)};
        Prefs::shared().set(Key::ocr, false);
        index->enqueue(shots);
        QVERIFY(index->idle());

        Prefs::shared().set(Key::ocr, true);
        engine->gated = true;
        index->enqueue(shots);
        QVERIFY(engine->started.tryAcquire(1, 10000));
        Prefs::shared().set(Key::ocr, false);
        engine->release.release(10);
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 1, 10000);
        QVERIFY(!index->idle());
        QCOMPARE(engine->callList().size(), 1);
        Prefs::shared().set(Key::ocr, true);
        index->enqueue({});
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 2, 10000);
        QCOMPARE(engine->callList(), (QStringList{shots[0]->path, shots[1]->path}));
    }

    // A query's pieces may be found one in the file name (not the folder's),
    // one in the text, in any letter case, separated by any number of spaces.
    void matching() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const ShotPtr read = shot(shotFile("Invoice März.png"), 1);
        const ShotPtr unread = shot(shotFile("notes.png"), 1);
        engine->answer(read->path, "Total AMOUNT due\nÜBER ALLES");
        index->enqueue({read});
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 1, 10000);
        const std::tuple<ShotPtr, QString, bool> cases[] = {{read, "invoice  amount", true},
                                                            {read, "invoice zebra", false},
                                                            {read, "über MÄRZ", true},
                                                            {read, "alles total", true},
                                                            {read, "   ", true},
                                                            {unread, ".PNG", true},
                                                            {unread, "notes text", false},
                                                            {unread, "shots", false}};
        for (const auto& [s, query, match] : cases) {
            QVERIFY2(index->matches(*s, query) == match, qPrintable(query));
            QVERIFY2(index->matches(*s, TextIndex::pieces(query)) == match, qPrintable(query));
        }
    }

    // Passes over listings that change order, membership and text between
    // them answer exactly as matching each shot on its own does.
    void passesAgreeWithSingleMatches() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const QStringList words{"alpha", "beta", "gamma", "delta"};
        ShotList all;
        for (int i = 0; i < 24; ++i) {
            const QString path = shotFile(QStringLiteral("%1 %2.png").arg(words[i % 4]).arg(i));
            engine->answer(path, words[(i / 4) % 4] + " " + words[(i + 1) % 4]);
            all.append(shot(path, i));
        }
        index->enqueue(all.mid(0, 16));
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 16, 10000);

        QRandomGenerator rng(3);
        const QStringList queries{"alpha", "ALPHA beta", "gamma 1", "delta  .png", "beta zeta", ""};
        const TextIndex::Pieces kept = TextIndex::pieces(QStringLiteral("Alpha"));
        const auto agree = [&](const ShotList& listing, int round) {
            // Some callers keep one split query for several passes.
            const bool keep = round % 5 == 4;
            const QString query = keep ? QStringLiteral("Alpha") : queries[round % queries.size()];
            const TextIndex::Pieces pieces = keep ? kept : TextIndex::pieces(query);
            return std::all_of(listing.begin(), listing.end(), [&](const ShotPtr& s) {
                return index->matches(*s, pieces) == index->matches(*s, query);
            });
        };
        for (int round = 0; round < 60; ++round) {
            ShotList listing = all;
            std::shuffle(listing.begin(), listing.end(), rng);
            listing = round % 3 == 0 ? all.mid(0, 20) : listing.mid(0, 8 + rng.bounded(17));
            QVERIFY(agree(listing, round));
            if (round == 20) {
                index->enqueue(all);
                QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 24, 10000);
            }
            if (round == 30 || round == 40)
                index->rekey(listing[round % 7]->path, all[23]->path + ".moved");
            if (round == 50) {
                QFile::remove(all[0]->path);
                QSignalSpy pruned(index.get(), &TextIndex::pruned);
                index->prune();
                QTRY_COMPARE_WITH_TIMEOUT(pruned.count(), 1, 10000);
            }
            // New shot objects of the same files must still match the same.
            if (round % 7 == 0)
                listing[0] = shot(listing[0]->path, listing[0]->modified);
            QVERIFY(agree(listing, round + 1));
            QVERIFY(agree(listing, round + 1));
        }
    }

    // A burst of results is written once and reads back as the same index,
    // not recognised again; rekey moves an entry to the new name (an unknown
    // path changes nothing) and its pending save is written at destruction.
    void persistence() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        QSignalSpy saved(index.get(), &TextIndex::saved);
        ShotList shots;
        for (int i = 0; i < 5; ++i)
            shots.append(shot(shotFile(QStringLiteral("s%1.png").arg(i)), 1000.25 + i));
        index->enqueue(shots);
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 5, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 10000);
        QVERIFY(saved.first().first().toBool());
        QVERIFY(!index->savePending());

        const TextIndex::Map written = index->entries();
        index.reset();
        auto reopened = makeIndex();
        QCOMPARE(reopened->entries(), written);
        reopened->enqueue(shots);
        QVERIFY(reopened->idle());
        QCOMPARE(engine->callList().size(), 5);

        reopened->rekey(env->home() + "/nothing.png", env->home() + "/else.png");
        QVERIFY(!reopened->savePending());
        const QString moved = env->home() + "/elsewhere/new name.png";
        reopened->rekey(shots[0]->path, moved);
        QVERIFY(reopened->savePending());
        QVERIFY(reopened->matches(*shot(moved, 1000.25), QStringLiteral("NEW text")));
        QVERIFY(!reopened->matches(*shots[0], QStringLiteral("text")));
        reopened.reset();
        TextIndex::Map expected = written;
        expected.insert(moved, expected.take(shots[0]->path));
        QCOMPARE(readIndexFile(), expected);
    }

    // The file is compact JSON of exactly {path: {"m": number, "t": string}};
    // times read back bit for bit and texts unchanged, whatever their value.
    void encodeDecodeRoundTrip() {
        TextIndex::Map map{{QStringLiteral("/a \"b\"\\c.png"), {1.5, "one\ntwo\t\x01"}}};
        QCOMPARE(
            TextIndex::encode(map),
            QByteArray("{\"/a \\\"b\\\"\\\\c.png\":{\"m\":1.5,\"t\":\"one\\ntwo\\t\\u0001\"}}"));
        for (const double m :
             {0.1, 1733500000.123456789, kDistantPast, 5e-324, 9007199254740993.0,
              std::numeric_limits<double>::max(), 1e21, std::nextafter(1733500000.5, 2e9)})
            map.insert(QStringLiteral("/shots/%1 ü 😀.png").arg(m, 0, 'g', 17),
                       {m, QStringLiteral("τ \"q\" \\ \n\r\b\f 😀")});
        map.insert(QStringLiteral("/empty.png"), {42, QString()});
        QCOMPARE(TextIndex::decode(TextIndex::encode(map)), map);
    }

    // Any entry not of the exact form makes the whole file unreadable.
    void malformedFiles() {
        for (const char* json :
             {R"({"/a.png":{"m":1,"t":"x"},"/b.png":{"m":2}})", R"({"/a.png":{"m":"1","t":"x"}})",
              R"({"/a.png":[1,"x"]})", "[]", R"({"/a.png":{"m":1,"t":"x"})"})
            QVERIFY2(!TextIndex::decode(json), json);
    }

    // An unreadable index starts empty and is kept as ".bad" (replacing an
    // older one) before the first save.
    void unreadableFileKeptAsBad() {
        const QByteArray damaged = R"({"/a.png":{"m":1,"t":"x"},"/b.png":{"m":2}})";
        writeFile(indexFile(), damaged);
        writeFile(indexFile() + ".bad", "older");
        auto index = makeIndex();
        QVERIFY(index->entries().isEmpty());

        QSignalSpy saved(index.get(), &TextIndex::saved);
        index->enqueue({shot(shotFile("a.png"), 1)});
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 10000);
        QFile bad(indexFile() + ".bad");
        QVERIFY(bad.open(QIODevice::ReadOnly));
        QCOMPARE(bad.readAll(), damaged);
        QCOMPARE(readIndexFile().value_or(TextIndex::Map{}).size(), 1);
    }

    // prune drops the entries of files that are gone and keeps the rest.
    void pruneDropsVanishedFiles() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const QString keep = shotFile("keep.png"), gone = shotFile("gone.png");
        index->enqueue({shot(keep, 1), shot(gone, 2)});
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 2, 10000);
        QSignalSpy pruned(index.get(), &TextIndex::pruned);
        QFile::remove(gone);
        index->prune();
        QTRY_COMPARE_WITH_TIMEOUT(pruned.count(), 1, 10000);
        QCOMPARE(pruned.first().first().toInt(), 1);
        QCOMPARE(index->entries().keys(), QStringList{keep});
        QVERIFY(!index->matches(*shot(gone, 2), QStringLiteral("text")));
    }

    // A file that cannot be decoded gets an entry with empty text, for which
    // there is no text to copy; it is not tried again while unchanged.
    void undecodableImageGetsEmptyEntry() {
        TextIndex index(indexFile(), &TextIndex::recognize);
        QSignalSpy recognized(&index, &TextIndex::recognized);
        const ShotPtr broken =
            shot(writeFile(env->home() + "/broken.png", "\x89PNG\r\n\x1a\n not really"), 5);
        const ShotPtr empty = shot(writeFile(env->home() + "/empty.png", ""), 6);
        index.enqueue({broken, empty});
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 2, 30000);
        QCOMPARE(index.entries().value(broken->path), (TextIndex::Entry{5, QString()}));
        QCOMPARE(index.entries().value(empty->path), (TextIndex::Entry{6, QString()}));
        QCOMPARE(index.text(*broken), std::nullopt);
        index.enqueue({broken, empty});
        QVERIFY(index.idle());
    }
};

TAMBERK_TEST(tst_TextIndex)
#include "tst_TextIndex.moc"
