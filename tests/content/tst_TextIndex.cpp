#include "TestEnv.h"
#include "content/RecognitionPool.h"
#include "content/TextIndex.h"
#include "content/TextSearch.h"
#include "platform/TextRecognizer.h"
#include "settings/Prefs.h"

#include <QFileInfo>
#include <QImage>
#include <QMutex>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace {

// A recogniser answering from a table; it can hold a recognition in flight.
struct FakeEngine {
    QMutex mutex;
    QStringList calls;
    QHash<QString, QString> answers;
    std::atomic<bool> gated{false};
    std::atomic<bool> tagLanguages{false}; // answers end in the thread's languages, " [eng]"
    QSemaphore started, release;

    QString recognize(const QString& path) {
        QMutexLocker lock(&mutex);
        calls.append(path);
        QString answer = answers.value(path, "text of " + QFileInfo(path).fileName());
        lock.unlock();
        if (tagLanguages)
            answer += QStringLiteral(" [%1]").arg(TextRecognizer::threadLanguages());
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

ShotPtr at(const QString& path, double modified, bool isVideo = false) {
    return std::make_shared<Shot>(path, modified, modified, QSizeF(100, 100), isVideo, true);
}

QStringList paths(const ShotList& shots) {
    QStringList result;
    for (const ShotPtr& s : shots)
        result.append(s->path);
    return result;
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

} // namespace

// The text index over a fake engine, in a private home with recognition on.
class tst_TextIndex : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::shared_ptr<FakeEngine> engine;
    std::unique_ptr<TextIndex> index;

    QString indexFile() const { return env->dataHome() + "/Tamberk/text-index.json"; }
    std::unique_ptr<TextIndex> make() const {
        return std::make_unique<TextIndex>(
            indexFile(), [e = engine](const QString& path) { return e->recognize(path); });
    }
    std::optional<TextIndex::Map> saved() const {
        QFile file(indexFile());
        return file.open(QIODevice::ReadOnly) ? TextIndex::decode(file.readAll()) : std::nullopt;
    }
    ShotPtr shot(const QString& name, double modified = 1, bool isVideo = false) const {
        return at(writeFile(env->home() + "/shots/" + name), modified, isVideo);
    }
    /// Shots s0 … s(n-1), shot i created at time i.
    ShotList listing(int n) const {
        ShotList shots;
        for (int i = 0; i < n; ++i)
            shots.append(shot(QStringLiteral("s%1.png").arg(i), i));
        return shots;
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        Prefs::shared().set(Key::ocr, true);
        engine = std::make_shared<FakeEngine>();
        index = make();
        index->setWorkerLimit(1);
    }
    void cleanup() {
        engine->release.release(1000);
        index.reset();
        env.reset();
    }

    // A file changed mid-read keeps the read version's time, so is read again; old text stays.
    void fileChangingDuringRecognition() {
        const ShotPtr first = shot("changed.png");
        engine->answer(first->path, "old words");
        engine->gated = true;
        index->enqueue({first});
        QVERIFY(engine->started.tryAcquire(1, 10000));
        setModified(first->path, 500);
        engine->release.release();
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QCOMPARE(index->entries().value(first->path).m, 1.0);
        engine->answer(first->path, "new words");
        const ShotPtr touched = at(first->path, 500);
        index->enqueue({touched});
        QVERIFY(engine->started.tryAcquire(1, 10000));
        QVERIFY(index->matches(*touched, QStringLiteral("old")));
        engine->release.release();
        QTRY_VERIFY_WITH_TIMEOUT(index->matches(*touched, QStringLiteral("new")), 10000);
    }

    // Recognition off stops after the job in flight; queries match file name or text, any case.
    void recognitionAndMatching() {
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const ShotList shots{shot("Invoice März.png", 2), shot("notes.png", 1)};
        engine->answer(shots[0]->path, "Total AMOUNT due\nÜBER ALLES");
        engine->gated = true;
        index->enqueue(shots);
        QVERIFY(engine->started.tryAcquire(1, 10000));
        Prefs::shared().set(Key::ocr, false);
        engine->release.release(10);
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 1, 10000);
        QVERIFY(!index->idle());
        QCOMPARE(engine->callList().size(), 1);
        const std::tuple<ShotPtr, QString, bool> cases[] = {{shots[0], "über  MÄRZ", true},
                                                            {shots[0], "invoice zebra", false},
                                                            {shots[1], ".PNG", true},
                                                            {shots[1], "shots", false}};
        for (const auto& [s, query, match] : cases) {
            QVERIFY2(index->matches(*s, query) == match, qPrintable(query));
            QVERIFY2(index->matches(*s, TextIndex::pieces(query)) == match, qPrintable(query));
        }
        Prefs::shared().set(Key::ocr, true);
        index->enqueue({});
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 2, 10000);
        QCOMPARE(engine->callList(), paths(shots));
    }

    // Results are saved once, reopen unread again, rekeys saved at the end; the format is strict.
    void persistence() {
        QSignalSpy savedOnce(index.get(), &TextIndex::saved);
        ShotList shots;
        for (int i = 0; i < 5; ++i)
            shots.append(shot(QStringLiteral("s%1.png").arg(i), 1000.25 + i));
        engine->answer(shots[1]->path, QStringLiteral("τ \"q\" \\ \b\n\t\x01 😀"));
        index->enqueue(shots);
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(savedOnce.count(), 1, 10000);
        TextIndex::Map expected = index->entries();
        index.reset();
        index = make();
        index->enqueue(shots);
        QVERIFY(index->idle());
        QCOMPARE(engine->callList().size(), 5);
        const QString moved = env->home() + "/elsewhere/new \"name\".png";
        index->rekey(shots[0]->path, moved);
        index.reset();
        expected.insert(moved, expected.take(shots[0]->path));
        QCOMPARE(saved(), expected);

        for (const double m : {1733500000.123456789, kDistantPast, 5e-324})
            expected.insert(QString::number(m, 'g', 17), {m, "x", "eng+deu"});
        QCOMPARE(TextIndex::decode(TextIndex::encode(expected)), expected);
        for (const char* json : {R"({"/a.png":{"m":"1","t":"x"}})", "[]", R"({"/a.png":{"m":1)"})
            QVERIFY2(!TextIndex::decode(json), json);
    }

    // An unreadable index starts empty and is kept as ".bad" before the first save.
    void unreadableFileKeptAsBad() {
        const QByteArray damaged = R"({"/a.png":{"m":1,"t":"x"},"/b.png":{"m":2}})";
        writeFile(indexFile(), damaged);
        writeFile(indexFile() + ".bad", "older");
        index = make();
        QVERIFY(index->entries().isEmpty());
        QSignalSpy savedOnce(index.get(), &TextIndex::saved);
        index->enqueue({shot("a.png", 1)});
        QTRY_COMPARE_WITH_TIMEOUT(savedOnce.count(), 1, 10000);
        QFile bad(indexFile() + ".bad");
        QVERIFY(bad.open(QIODevice::ReadOnly));
        QCOMPARE(bad.readAll(), damaged);
        QCOMPARE(saved().value_or(TextIndex::Map{}).size(), 1);
    }

    // An engine without data stores nothing, is asked no more, and is quiet on stderr.
    void unavailableEngineStoresNothing() {
        const QString blank = writeFile(env->home() + "/shots/blank.png", "not an image");
        ShotList shots{at(blank, 10)};
        QImage white(64, 48, QImage::Format_RGB32);
        white.fill(Qt::white);
        for (const char* name : {"a.png", "b.png", "c.png"}) {
            QVERIFY(white.save(env->home() + "/shots/" + name));
            shots.append(at(env->home() + "/shots/" + name, 9));
        }
        std::atomic<int> asked{0};
        const QByteArray captured = QFile::encodeName(env->home() + "/stderr.txt");
        {
            const QByteArray prefix = qgetenv("TESSDATA_PREFIX");
            qputenv("TESSDATA_PREFIX", env->mkdir("no-language-data").toUtf8());
            std::fflush(stderr);
            const int original = ::dup(2), sink = ::open(captured, O_WRONLY | O_CREAT, 0600);
            ::dup2(sink, 2);
            ::close(sink);
            const auto restore = qScopeGuard([&] {
                std::fflush(stderr);
                ::dup2(original, 2);
                ::close(original);
                prefix.isNull() ? qunsetenv("TESSDATA_PREFIX") : qputenv("TESSDATA_PREFIX", prefix);
            });
            QTest::ignoreMessage(QtWarningMsg,
                                 "Tamberk text recognition failed: no English language data");
            TextIndex real(indexFile(), [&](const QString& path) {
                ++asked;
                return TextIndex::read(path);
            });
            real.enqueue(shots);
            QTRY_VERIFY_WITH_TIMEOUT(real.idle(), 30000);
            QCOMPARE(real.entries(), (TextIndex::Map{{blank, {10, QString(), real.languages()}}}));
            QCOMPARE(asked.load(), 2);
            QVERIFY(real.unavailable());
            real.enqueue(shots);
            QVERIFY(real.idle());
            QCOMPARE(asked.load(), 2);
        }
        QCOMPARE(saved().value_or(TextIndex::Map{}).keys(), QStringList{blank});
        QFile err(QFile::decodeName(captured));
        QVERIFY(err.open(QIODevice::ReadOnly));
        const QByteArray said = err.readAll();
        QVERIFY2(!said.contains("traineddata") && !said.contains("Tesseract"), said.constData());
        index = make();
        index->enqueue(shots);
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QCOMPARE(engine->callList(), paths(shots.mid(1)));
    }

    // The vectorised search agrees with a plain one across block boundaries and ends.
    void agreesWithPlainSearch() {
        QRandomGenerator rng(11);
        for (int round = 0; round < 4000; ++round) {
            const int n = int(rng.bounded(140));
            QByteArray hay(n, 'a');
            for (char& c : hay)
                c = char('a' + rng.bounded(3)); // a small alphabet makes near misses common
            const int k = 1 + int(rng.bounded(9));
            QByteArray needle(k, 'a');
            if (n >= k && rng.bounded(2) == 0)
                needle = hay.mid(rng.bounded(n - k + 1), k);
            else
                for (char& c : needle)
                    c = char('a' + rng.bounded(3));
            const bool expected = std::string_view(hay.constData(), size_t(n))
                                      .find(std::string_view(needle.constData(), size_t(k))) !=
                                  std::string_view::npos;
            QVERIFY2(TextSearch::contains(hay.constData(), n, needle.constData(), k) == expected,
                     needle + " in " + hay);
        }
    }

    // The pair filter never rules out a text that holds the word.
    void pairsHaveNoFalseNegatives() {
        const QByteArray text = "invoice payment overdue\nscreenshot 2024-05-01 at 10.42.png";
        const TextSearch::Pairs pairs = TextSearch::pairsOf(text);
        for (int from = 0; from < text.size(); ++from)
            for (int length = 2; from + length <= text.size(); ++length)
                QVERIFY(TextSearch::hasPairs(pairs, TextSearch::pairsOf(text.mid(from, length))));
        QVERIFY(!TextSearch::hasPairs(pairs, TextSearch::pairsOf("zebra")));
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
        const ShotList s = listing(8);
        engine->gated = true;
        index->enqueue({s[2], s[5], s[0], shot("v.mov", 9, true)});
        QVERIFY(engine->started.tryAcquire(1, 10000)); // s5 is being read
        index->enqueue({s[1], s[3], s[4], s[5]});
        index->enqueue({s[1], s[3], s[4], s[0]});
        index->enqueueFirst({s[7], s[6], s[1]}); // s1 moves up
        const QStringList expected = paths({s[7], s[6], s[1], s[4], s[3], s[2], s[0]});
        QCOMPARE(index->queueOrder(), expected);
        engine->gated = false;
        engine->release.release();
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QCOMPARE(engine->callList(), QStringList{s[5]->path} + expected);
    }

    // Files renamed, moved or trashed while read get no entry at the old path, read once anew.
    void workersStoreThroughOneWriter() {
        index->setWorkerLimit(3);
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        QSignalSpy pending(index.get(), &TextIndex::pendingChanged);
        ShotList shots = listing(12);
        engine->gated = true;
        index->enqueue(shots);
        QCOMPARE(index->pending(), 12);
        QVERIFY(engine->started.tryAcquire(3, 10000)); // s11, s10 and s9
        QCOMPARE(index->peakWorkers(), 3);
        const QString renamed = env->home() + "/shots/renamed.png";
        const QString moved = env->mkdir("filed") + "/s10.png";
        QVERIFY(QFile::rename(shots[11]->path, renamed) && QFile::rename(shots[10]->path, moved));
        QVERIFY(QFile::remove(shots[9]->path));
        index->rekey(shots[11]->path, renamed);
        index->rekey(shots[10]->path, moved);
        engine->gated = false;
        engine->release.release(3);
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QCOMPARE(index->pending(), 0);
        QCOMPARE(pending.last().first().value<qsizetype>(), 0);

        shots[11] = at(renamed, 11);
        shots[10] = at(moved, 10);
        shots.removeAt(9);
        index->enqueue(shots);
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QStringList signalled;
        for (const QList<QVariant>& args : recognized)
            signalled.append(args.first().toString());
        QCOMPARE(sorted(index->entries().keys()), sorted(paths(shots)));
        QCOMPARE(sorted(signalled), sorted(paths(shots)));
        QCOMPARE(engine->callList().size(), 12 + 2);
    }

    // Other languages read every file again, old text searchable meanwhile; unknown codes dropped.
    void languageChangeReadsAgain() {
        index->setAvailableLanguages({"eng", "deu", "fra"});
        Prefs::shared().set(Key::ocrLanguages, QStringLiteral("eng"));
        engine->tagLanguages = true;
        const ShotList shots = listing(3);
        index->enqueue(shots);
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);

        engine->gated = true;
        Prefs::shared().set(Key::ocrLanguages, QStringLiteral("eng+xyz+deu"));
        QCOMPARE(index->languages(), QStringLiteral("eng+deu"));
        QCOMPARE(index->pending(), 3);
        QVERIFY(engine->started.tryAcquire(1, 10000));
        for (const ShotPtr& s : shots)
            QVERIFY(index->unread(*s) && index->matches(*s, QStringLiteral("[eng]")));
        engine->gated = false;
        engine->release.release();
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QCOMPARE(engine->callList().mid(3), paths({shots[2], shots[1], shots[0]}));
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
        const ShotList shots = listing(4);
        engine->answer(shots[1]->path, QString());
        Prefs::shared().set(Key::ocr, ocr);
        engine->gated = true;
        index->enqueue(shots);
        QList<std::optional<QString>> answers;
        const auto keep = [&](std::optional<QString> text) { answers.append(text); };
        index->readNow(shots[0], keep);
        index->readNow(shots[1], keep);
        engine->gated = false;
        engine->release.release();
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 2, 10000);
        QCOMPARE(answers, (QList<std::optional<QString>>{QStringLiteral("text of s0.png"), {}}));
        index->readNow(shots[0], keep);
        QCOMPARE(answers.size(), 3); // at once
        QCOMPARE(answers[2], answers[0]);
        const ShotPtr gone = shot("s9.png", 9);
        QFile::remove(gone->path);
        index->readNow(gone, keep);
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 4, 10000);
        QCOMPARE(answers[3], std::nullopt);
        QTRY_VERIFY_WITH_TIMEOUT(index->idle() || !ocr, 10000);
        // With recognition on, the newest was being read when the requests came.
        const QStringList first = ocr ? QStringList{shots[3]->path} : QStringList{};
        QCOMPARE(engine->callList().mid(0, first.size() + 2), first + paths({shots[0], shots[1]}));
        QCOMPARE(engine->callList().contains(shots[2]->path), ocr);
    }

    // Shutting down drops what waits, answers requests with nothing, and waits a bounded time.
    void shutdownIsBounded() {
        engine->gated = true;
        index->enqueue(listing(3));
        QVERIFY(engine->started.tryAcquire(1, 10000));
        bool answered = false;
        index->readNow(shot("s7.png", 7), [&](std::optional<QString> text) { answered = !text; });
        QVERIFY(!index->shutdown(50));
        QVERIFY(answered);
        index->enqueue(listing(5));
        QCOMPARE(index->pending(), 0);
        engine->release.release();
        QVERIFY(index->shutdown(10000));
        QCOMPARE(engine->callList().size(), 1);
    }
};

TAMBERK_TEST(tst_TextIndex)
#include "tst_TextIndex.moc"
