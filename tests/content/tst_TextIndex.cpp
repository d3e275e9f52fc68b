#include "TestEnv.h"
#include "content/TextIndex.h"
#include "settings/Prefs.h"

#include <QDir>
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

namespace {

// A recogniser that answers from a table and records every call; it can hold
// a recognition in flight until the test releases it.
struct FakeEngine {
    QMutex mutex;
    QStringList calls;
    QSet<QString> threads;
    QHash<QString, QString> answers;
    bool gated = false;
    QSemaphore started;
    QSemaphore release;
    std::function<void(const QString&)> during;

    QString recognize(const QString& path) {
        bool wait = false;
        QString answer;
        std::function<void(const QString&)> hook;
        {
            QMutexLocker lock(&mutex);
            calls.append(path);
            threads.insert(QThread::currentThread()->objectName());
            answer = answers.value(path, QStringLiteral("text of ") + QFileInfo(path).fileName());
            wait = gated;
            hook = during;
        }
        if (hook)
            hook(path);
        if (wait) {
            started.release();
            release.acquire();
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

ShotPtr image(const QString& path, double modified) {
    return std::make_shared<Shot>(path, modified, modified, QSizeF(100, 100), false, true);
}

ShotPtr video(const QString& path, double modified) {
    return std::make_shared<Shot>(path, modified, modified, QSizeF(100, 100), true, true);
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

    // The default index lives in the user's data folder, which is created.
    void defaultLocation() {
        QCOMPARE(TextIndex::defaultFile(), indexFile());
        TextIndex index;
        QCOMPARE(index.file(), indexFile());
        QVERIFY(QFileInfo(env->dataHome() + "/Tamberk").isDir());
    }

    // Three images and a video: exactly three recognitions in listing order,
    // and the video never gets an entry.
    void recognisesImagesInOrderButNoVideos() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const ShotList shots{image(shotFile("c.png"), 3), video(shotFile("v.mov"), 4),
                             image(shotFile("a.png"), 1), image(shotFile("b.png"), 2)};
        index->enqueue(shots);
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 3, 10000);
        QTRY_VERIFY(index->idle());
        QCOMPARE(engine->callList(), (QStringList{shots[0]->path, shots[2]->path, shots[3]->path}));
        QCOMPARE(index->entries().size(), 3);
        QVERIFY(!index->entries().contains(shots[1]->path));
        QCOMPARE(index->text(*shots[2]), std::optional<QString>(QStringLiteral("text of a.png")));
        QCOMPARE(index->entries().value(shots[3]->path).m, 2.0);
        // Recognition happens on the index's own worker, never on this thread.
        QMutexLocker lock(&engine->mutex);
        QCOMPARE(engine->threads, QSet<QString>{QStringLiteral("tamberk.ocr")});
    }

    // The same listing enqueued again while the first pass runs, and again
    // after it, recognises nothing twice.
    void noDoubleQueueing() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        engine->gated = true;
        const ShotList shots{image(shotFile("a.png"), 1), image(shotFile("b.png"), 2)};
        index->enqueue(shots);
        QVERIFY(engine->started.tryAcquire(1, 10000));
        index->enqueue(shots);
        index->enqueue(shots);
        engine->release.release(10);
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 2, 10000);
        QTRY_VERIFY(index->idle());
        index->enqueue(shots);
        QVERIFY(index->idle());
        QCOMPARE(engine->callList().size(), 2);
    }

    // A touched file is recognised again, alone; its old text stays
    // searchable until the new text replaces it.
    void touchedFileIsRecognisedAgain() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const QString a = shotFile("a.png"), b = shotFile("b.png");
        engine->answer(a, "old words");
        index->enqueue({image(a, 10), image(b, 20)});
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 2, 10000);

        engine->answer(a, "new words");
        engine->gated = true;
        const ShotPtr touched = image(a, 10.5);
        index->enqueue({touched, image(b, 20)});
        QVERIFY(engine->started.tryAcquire(1, 10000));
        QVERIFY(index->matches(*touched, QStringLiteral("old")));
        QVERIFY(!index->matches(*touched, QStringLiteral("new")));
        engine->release.release();
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 3, 10000);
        QVERIFY(index->matches(*touched, QStringLiteral("new")));
        QVERIFY(!index->matches(*touched, QStringLiteral("old")));
        QCOMPARE(engine->callList(), (QStringList{a, b, a}));
        QCOMPARE(index->entries().value(a).m, 10.5);
    }

    // A file deleted while it is recognised stores nothing; one changed while
    // it is recognised keeps the time of the version read, so it is read again.
    void fileChangingDuringRecognition() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const QString gone = shotFile("gone.png"), changed = shotFile("changed.png");
        engine->during = [gone, changed](const QString& path) {
            if (path == gone)
                QFile::remove(gone);
            else
                setModified(changed, 500);
        };
        index->enqueue({image(gone, 1), image(changed, 2)});
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 1, 10000);
        QTRY_VERIFY(index->idle());
        QVERIFY(!index->entries().contains(gone));
        QCOMPARE(index->entries().value(changed).m, 2.0);

        engine->during = nullptr;
        index->enqueue({image(changed, 500)});
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 2, 10000);
        QCOMPARE(index->entries().value(changed).m, 500.0);
    }

    // With recognition switched off nothing is queued; switching it on and
    // enqueueing the library starts it.
    void settingOffQueuesNothing() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        Prefs::shared().set(Key::ocr, false);
        const ShotList shots{image(shotFile("a.png"), 1)};
        index->enqueue(shots);
        QVERIFY(index->idle());
        QCoreApplication::processEvents();
        QVERIFY(engine->callList().isEmpty());

        Prefs::shared().set(Key::ocr, true);
        index->enqueue(shots);
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 1, 10000);
        QVERIFY(index->matches(*shots[0], QStringLiteral("text")));
    }

    // Switching recognition off stops after the job in flight and keeps the
    // rest waiting for the next enqueue.
    void settingOffStopsAfterJobInFlight() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        engine->gated = true;
        const ShotList shots{image(shotFile("a.png"), 1), image(shotFile("b.png"), 2)};
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

    // A query's pieces may be found one in the file name, one in the text,
    // in any letter case, separated by any number of spaces.
    void matching_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("match");
        QTest::newRow("name and text") << "Invoice March.png"
                                       << "Total AMOUNT due"
                                       << "invoice  amount" << true;
        QTest::newRow("second word nowhere") << "Invoice March.png"
                                             << "Total AMOUNT due"
                                             << "invoice  zebra" << false;
        QTest::newRow("upper-case query") << "shot.png"
                                          << "hello world"
                                          << "HELLO" << true;
        QTest::newRow("empty query") << "shot.png"
                                     << ""
                                     << "" << true;
        QTest::newRow("spaces only") << "shot.png"
                                     << ""
                                     << "   " << true;
        QTest::newRow("extension is part of the name") << "shot.png"
                                                       << ""
                                                       << ".PNG" << true;
        QTest::newRow("name without text") << "Meeting Notes.png" << QString() << "notes" << true;
        QTest::newRow("no text, no match") << "Meeting Notes.png" << QString() << "agenda" << false;
        QTest::newRow("non-ASCII case") << "Straße.png"
                                        << "ÜBER ALLES"
                                        << "über straße" << true;
        QTest::newRow("non-ASCII name") << "ÉTÉ.png" << QString() << "été" << true;
        QTest::newRow("within a long text")
            << "x.png" << QString(300, 'a') + "needle" + QString(300, 'b') << "NEEDLE" << true;
        QTest::newRow("near miss at the end") << "x.png" << QString(300, 'a') + "needl"
                                              << "needle" << false;
        QTest::newRow("across lines") << "x.png"
                                      << "first line\nsecond line"
                                      << "line first" << true;
        QTest::newRow("folder is not the name") << "x.png"
                                                << ""
                                                << "shots" << false;
    }
    void matching() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, query);
        QFETCH(bool, match);
        auto index = makeIndex();
        const QString path = shotFile(name);
        const ShotPtr shot = image(path, 1);
        if (!text.isNull()) {
            QSignalSpy recognized(index.get(), &TextIndex::recognized);
            engine->answer(path, text);
            index->enqueue({shot});
            QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 1, 10000);
        }
        QCOMPARE(index->matches(*shot, query), match);
        QCOMPARE(index->matches(*shot, TextIndex::pieces(query)), match);
    }

    // Queries are lowered and split once, at single spaces, empty pieces dropped.
    void piecesOfAQuery() {
        QCOMPARE(TextIndex::pieces(QStringLiteral("  Foo  BAR baz ")).words,
                 (QList<QByteArray>{"foo", "bar", "baz"}));
        QVERIFY(TextIndex::pieces(QStringLiteral("   ")).isEmpty());
        QCOMPARE(TextIndex::pieces(QStringLiteral("Ärger")).words,
                 (QList<QByteArray>{QStringLiteral("ärger").toUtf8()}));
        QVERIFY(TextIndex::pieces(QStringLiteral("a")).pass !=
                TextIndex::pieces(QStringLiteral("a")).pass);
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
            all.append(image(path, i));
        }
        index->enqueue(all.mid(0, 16));
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 16, 10000);

        QRandomGenerator rng(3);
        const QStringList queries{"alpha", "ALPHA beta", "gamma 1", "delta  .png", "beta zeta", ""};
        const TextIndex::Pieces kept = TextIndex::pieces(QStringLiteral("Alpha"));
        const auto pass = [&](const ShotList& listing, int round) {
            // Some callers may keep one split query for several passes.
            const bool keep = round % 5 == 4;
            const QString query = keep ? QStringLiteral("Alpha") : queries[round % queries.size()];
            const TextIndex::Pieces pieces = keep ? kept : TextIndex::pieces(query);
            for (const ShotPtr& shot : listing) {
                if (index->matches(*shot, pieces) != index->matches(*shot, query))
                    return false;
            }
            return true;
        };
        for (int round = 0; round < 60; ++round) {
            ShotList listing = all;
            std::shuffle(listing.begin(), listing.end(), rng);
            listing = listing.mid(0, 8 + rng.bounded(17));
            if (round % 3 == 0)
                listing = all.mid(0, 20);
            QVERIFY(pass(listing, round));
            // The same listing again, after a change of the texts or not.
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
            // Replaced shot objects of the same files must still match the same.
            if (round % 7 == 0)
                listing[0] = image(listing[0]->path, listing[0]->modified);
            QVERIFY(pass(listing, round + 1));
            QVERIFY(pass(listing, round + 1));
        }
    }

    // rekey moves text and time to the new path and matches by the new name;
    // an unknown old path changes nothing and schedules no save.
    void rekey() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const QString oldPath = shotFile("old name.png");
        engine->answer(oldPath, "kept words");
        index->enqueue({image(oldPath, 7)});
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 1, 10000);
        QSignalSpy saved(index.get(), &TextIndex::saved);
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 10000);

        const TextIndex::Map before = index->entries();
        index->rekey(env->home() + "/nothing.png", env->home() + "/else.png");
        QCOMPARE(index->entries(), before);
        QVERIFY(!index->savePending());

        const QString newPath = env->home() + "/elsewhere/new name.png";
        index->rekey(oldPath, newPath);
        QVERIFY(index->savePending());
        QVERIFY(!index->entries().contains(oldPath));
        QCOMPARE(index->entries().value(newPath), (TextIndex::Entry{7, "kept words"}));
        const ShotPtr moved = image(newPath, 7);
        QVERIFY(index->matches(*moved, QStringLiteral("new kept")));
        QVERIFY(!index->matches(*moved, QStringLiteral("old kept")));
        QVERIFY(!index->matches(*image(oldPath, 7), QStringLiteral("kept")));
    }

    // A burst of results is written once, two seconds after its first change,
    // and reads back as the same index.
    void savesCoalesceAndReload() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        QSignalSpy saved(index.get(), &TextIndex::saved);
        ShotList shots;
        for (int i = 0; i < 5; ++i)
            shots.append(image(shotFile(QStringLiteral("s%1.png").arg(i)), 1000.25 + i));
        index->enqueue(shots);
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 5, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 10000);
        QVERIFY(saved.first().first().toBool());
        QVERIFY(!index->savePending());
        QCoreApplication::processEvents();
        QCOMPARE(saved.count(), 1);

        const TextIndex::Map written = index->entries();
        index.reset();
        auto reopened = makeIndex();
        QCOMPARE(reopened->entries(), written);
        QVERIFY(reopened->matches(*shots[3], QStringLiteral("S3.PNG text")));
        // Entries that are current are not recognised again after a restart.
        reopened->enqueue(shots);
        QVERIFY(reopened->idle());
        QCOMPARE(engine->callList().size(), 5);
    }

    // A save still pending when the index goes away is written, not lost.
    void pendingSaveWrittenAtDestruction() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const ShotPtr shot = image(shotFile("a.png"), 3);
        index->enqueue({shot});
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 1, 10000);
        QVERIFY(index->savePending());
        index.reset();
        QFile file(indexFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto map = TextIndex::decode(file.readAll());
        QVERIFY(map);
        QCOMPARE(map->value(shot->path), (TextIndex::Entry{3, "text of a.png"}));
    }

    // The file is compact JSON of exactly {path: {"m": number, "t": string}}.
    void encodedForm() {
        TextIndex::Map map;
        map.insert(QStringLiteral("/a \"b\"\\c.png"), {1.5, QStringLiteral("one\ntwo\t\x01")});
        QCOMPARE(
            TextIndex::encode(map),
            QByteArray("{\"/a \\\"b\\\"\\\\c.png\":{\"m\":1.5,\"t\":\"one\\ntwo\\t\\u0001\"}}"));
        QCOMPARE(TextIndex::encode({}), QByteArray("{}"));
    }

    // Times read back bit for bit and texts unchanged, whatever their value.
    void roundTrip() {
        const double awkward[] = {0.1,
                                  1733500000.123456789,
                                  1733500000.1234567,
                                  kDistantPast,
                                  -0.0,
                                  5e-324,
                                  1e-300,
                                  std::numeric_limits<double>::max(),
                                  9007199254740993.0,
                                  1e21,
                                  123456789012345680000.0,
                                  std::nextafter(1733500000.5, 2e9)};
        TextIndex::Map map;
        int i = 0;
        for (const double m : awkward)
            map.insert(QStringLiteral("/shots/%1 ü 😀.png").arg(i++),
                       {m, QStringLiteral("τ \"q\" \\ \n\r\b\f 😀 %1").arg(i)});
        map.insert(QStringLiteral("/empty.png"), {42, QString()});
        const auto back = TextIndex::decode(TextIndex::encode(map));
        QVERIFY(back);
        QCOMPARE(back->size(), map.size());
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            QVERIFY2(back->contains(it.key()), qPrintable(it.key()));
            const double m = back->value(it.key()).m;
            // Bit for bit; only the sign of zero is not kept, and -0 == 0.
            QVERIFY2(std::memcmp(&m, &it->m, sizeof m) == 0 || (m == 0 && it->m == 0),
                     qPrintable(QString::number(it->m, 'g', 17)));
            QCOMPARE(back->value(it.key()).t, it->t);
        }
    }

    // Any entry not of the exact form makes the whole file unreadable.
    void malformedFiles_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("missing t")
            << QByteArray("{\"/a.png\":{\"m\":1,\"t\":\"x\"},\"/b.png\":{\"m\":2}}");
        QTest::newRow("missing m") << QByteArray("{\"/a.png\":{\"t\":\"x\"}}");
        QTest::newRow("m is a string") << QByteArray("{\"/a.png\":{\"m\":\"1\",\"t\":\"x\"}}");
        QTest::newRow("t is a number") << QByteArray("{\"/a.png\":{\"m\":1,\"t\":3}}");
        QTest::newRow("entry not an object") << QByteArray("{\"/a.png\":[1,\"x\"]}");
        QTest::newRow("array") << QByteArray("[]");
        QTest::newRow("truncated") << QByteArray("{\"/a.png\":{\"m\":1,\"t\":\"x\"}");
        QTest::newRow("not JSON") << QByteArray("\x89PNG garbage");
    }
    void malformedFiles() {
        QFETCH(QByteArray, json);
        QVERIFY(!TextIndex::decode(json));
    }

    // An unreadable index starts empty and is kept as ".bad" before the next
    // save replaces it; a readable one loads.
    void unreadableFileKeptAsBad() {
        const QByteArray damaged = "{\"/a.png\":{\"m\":1,\"t\":\"x\"},\"/b.png\":{\"m\":2}}";
        writeFile(indexFile(), damaged);
        writeFile(indexFile() + ".bad", "older");
        auto index = makeIndex();
        QVERIFY(index->entries().isEmpty());

        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        QSignalSpy saved(index.get(), &TextIndex::saved);
        index->enqueue({image(shotFile("a.png"), 1)});
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 10000);
        QFile bad(indexFile() + ".bad");
        QVERIFY(bad.open(QIODevice::ReadOnly));
        QCOMPARE(bad.readAll(), damaged);
        QFile file(indexFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto map = TextIndex::decode(file.readAll());
        QVERIFY(map);
        QCOMPARE(map->size(), 1);

        // Later saves leave the kept file alone.
        index->rekey(env->home() + "/shots/a.png", env->home() + "/shots/b.png");
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 2, 10000);
        bad.seek(0);
        QCOMPARE(bad.readAll(), damaged);
    }

    // prune drops the entries of files that are gone and keeps the rest.
    void pruneDropsVanishedFiles() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const QString keep = shotFile("keep.png"), gone = shotFile("gone.png");
        index->enqueue({image(keep, 1), image(gone, 2)});
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 2, 10000);
        QSignalSpy pruned(index.get(), &TextIndex::pruned);
        index->prune();
        QTRY_COMPARE_WITH_TIMEOUT(pruned.count(), 1, 10000);
        QCOMPARE(pruned.takeFirst().first().toInt(), 0);

        QFile::remove(gone);
        index->prune();
        QTRY_COMPARE_WITH_TIMEOUT(pruned.count(), 1, 10000);
        QCOMPARE(pruned.takeFirst().first().toInt(), 1);
        QCOMPARE(index->entries().keys(), QStringList{keep});
        QVERIFY(!index->matches(*image(gone, 2), QStringLiteral("text")));
    }

    // A file that cannot be decoded gets an entry with empty text, for which
    // there is no text to copy; it is not tried again while unchanged.
    void undecodableImageGetsEmptyEntry() {
        TextIndex index(indexFile(), &TextIndex::recognize);
        QSignalSpy recognized(&index, &TextIndex::recognized);
        const ShotPtr shot =
            image(writeFile(env->home() + "/broken.png", "\x89PNG\r\n\x1a\n not really"), 5);
        const ShotPtr empty = image(writeFile(env->home() + "/empty.png", ""), 6);
        index.enqueue({shot, empty});
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 2, 30000);
        QCOMPARE(index.entries().value(shot->path), (TextIndex::Entry{5, QString()}));
        QCOMPARE(index.entries().value(empty->path), (TextIndex::Entry{6, QString()}));
        QCOMPARE(index.text(*shot), std::nullopt);
        index.enqueue({shot, empty});
        QVERIFY(index.idle());
    }
};

TAMBERK_TEST(tst_TextIndex)
#include "tst_TextIndex.moc"
