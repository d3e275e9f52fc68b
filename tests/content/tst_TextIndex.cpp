#include "FakeEngine.h"

#include "content/TextSearch.h"
#include <QImage>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>
#include <fcntl.h>
#include <string_view>
#include <tuple>
#include <unistd.h>

namespace {

// Sends the standard error to `file` while alive.
struct StderrTo {
    int original = ::dup(2);
    explicit StderrTo(const QString& file) {
        std::fflush(stderr);
        const int sink = ::open(QFile::encodeName(file), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(sink, 2);
        ::close(sink);
    }
    ~StderrTo() {
        std::fflush(stderr);
        ::dup2(original, 2);
        ::close(original);
    }
};

} // namespace

class tst_TextIndex : public QObject {
    Q_OBJECT
    std::unique_ptr<IndexRig> r;
    std::unique_ptr<TextIndex> index;

private slots:
    void init() {
        r = std::make_unique<IndexRig>();
        index = r->make();
    }
    void cleanup() {
        index.reset();
        r.reset();
    }

    // A file changed mid-read keeps the read version's time, so is read again; old text stays.
    void fileChangingDuringRecognition() {
        const ShotPtr shot = r->shot("changed.png");
        r->engine->answer(shot->path, "old words");
        r->engine->gated = true;
        index->enqueue({shot});
        QVERIFY(r->engine->started.tryAcquire(1, 10000));
        setModified(shot->path, 500);
        r->engine->release.release();
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QCOMPARE(index->entries().value(shot->path).m, 1.0);
        r->engine->answer(shot->path, "new words");
        const ShotPtr touched = IndexRig::at(shot->path, 500);
        index->enqueue({touched});
        QVERIFY(r->engine->started.tryAcquire(1, 10000));
        QVERIFY(index->matches(*touched, QStringLiteral("old")));
        r->engine->release.release();
        QTRY_VERIFY_WITH_TIMEOUT(index->matches(*touched, QStringLiteral("new")), 10000);
    }

    // Switching recognition off stops after the job in flight, keeping the rest for later; query
    // pieces match the file name (not the folder) or the text, in any case.
    void recognitionAndMatching() {
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const ShotList shots{r->shot("Invoice März.png", 2), r->shot("notes.png", 1)};
        r->engine->answer(shots[0]->path, "Total AMOUNT due\nÜBER ALLES");
        r->engine->gated = true;
        index->enqueue(shots);
        QVERIFY(r->engine->started.tryAcquire(1, 10000));
        Prefs::shared().set(Key::ocr, false);
        r->engine->release.release(10);
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 1, 10000);
        QVERIFY(!index->idle());
        QCOMPARE(r->engine->callList().size(), 1);
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
        QCOMPARE(r->engine->callList(), IndexRig::paths(shots));
    }

    // Results are saved once, reopen unread again, rekeys saved at the end; the format is strict.
    void persistence() {
        QSignalSpy saved(index.get(), &TextIndex::saved);
        ShotList shots;
        for (int i = 0; i < 5; ++i)
            shots.append(r->shot(QStringLiteral("s%1.png").arg(i), 1000.25 + i));
        r->engine->answer(shots[1]->path, QStringLiteral("τ \"q\" \\ \b\n\t\x01 😀"));
        index->enqueue(shots);
        QTRY_VERIFY_WITH_TIMEOUT(index->idle(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 10000);
        const TextIndex::Map written = index->entries();
        index.reset();
        auto reopened = r->make();
        reopened->enqueue(shots);
        QVERIFY(reopened->idle());
        QCOMPARE(r->engine->callList().size(), 5);
        const QString moved = r->env.home() + "/elsewhere/new \"name\".png";
        reopened->rekey(shots[0]->path, moved);
        reopened.reset();
        TextIndex::Map expected = written;
        expected.insert(moved, expected.take(shots[0]->path));
        QCOMPARE(r->saved(), expected);

        for (const double m : {1733500000.123456789, kDistantPast, 5e-324})
            expected.insert(QString::number(m, 'g', 17), {m, "x", "eng+deu"});
        QCOMPARE(TextIndex::decode(TextIndex::encode(expected)), expected);
        for (const char* json : {R"({"/a.png":{"m":"1","t":"x"}})", "[]", R"({"/a.png":{"m":1)"})
            QVERIFY2(!TextIndex::decode(json), json);
    }

    // An unreadable index starts empty and is kept as ".bad" before the first save.
    void unreadableFileKeptAsBad() {
        const QByteArray damaged = R"({"/a.png":{"m":1,"t":"x"},"/b.png":{"m":2}})";
        writeFile(r->indexFile(), damaged);
        writeFile(r->indexFile() + ".bad", "older");
        index = r->make();
        QVERIFY(index->entries().isEmpty());
        QSignalSpy saved(index.get(), &TextIndex::saved);
        index->enqueue({r->shot("a.png", 1)});
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 10000);
        QFile bad(r->indexFile() + ".bad");
        QVERIFY(bad.open(QIODevice::ReadOnly));
        QCOMPARE(bad.readAll(), damaged);
        QCOMPARE(r->saved().value_or(TextIndex::Map{}).size(), 1);
    }

    // An engine without data stores nothing, is asked no more, and is quiet on stderr.
    void unavailableEngineStoresNothing() {
        const QString blank = writeFile(r->env.home() + "/shots/blank.png", "not an image");
        ShotList shots{IndexRig::at(blank, 10)};
        QImage white(64, 48, QImage::Format_RGB32);
        white.fill(Qt::white);
        for (const char* name : {"a.png", "b.png", "c.png"}) {
            QVERIFY(white.save(r->env.home() + "/shots/" + name));
            shots.append(IndexRig::at(r->env.home() + "/shots/" + name, 9));
        }
        std::atomic<int> asked{0};
        const QString captured = r->env.home() + "/stderr.txt";
        {
            const auto restore = qScopeGuard([prefix = qgetenv("TESSDATA_PREFIX")] {
                prefix.isNull() ? qunsetenv("TESSDATA_PREFIX") : qputenv("TESSDATA_PREFIX", prefix);
            });
            qputenv("TESSDATA_PREFIX", r->env.mkdir("no-language-data").toUtf8());
            const StderrTo redirected(captured);
            QTest::ignoreMessage(QtWarningMsg,
                                 "Tamberk text recognition failed: no English language data");
            TextIndex index(r->indexFile(), [&](const QString& path) {
                ++asked;
                return TextIndex::read(path);
            });
            index.enqueue(shots);
            QTRY_VERIFY_WITH_TIMEOUT(index.idle(), 30000);
            QCOMPARE(index.entries(),
                     (TextIndex::Map{{blank, {10, QString(), index.languages()}}}));
            QCOMPARE(asked.load(), 2);
            QVERIFY(index.unavailable());
            index.enqueue(shots);
            QVERIFY(index.idle());
            QCOMPARE(asked.load(), 2);
        }
        QCOMPARE(r->saved().value_or(TextIndex::Map{}).keys(), QStringList{blank});
        QFile err(captured);
        QVERIFY(err.open(QIODevice::ReadOnly));
        const QByteArray said = err.readAll();
        QVERIFY2(!said.contains("traineddata") && !said.contains("Tesseract"), said.constData());
        auto working = r->make();
        working->enqueue(shots);
        QTRY_VERIFY_WITH_TIMEOUT(working->idle(), 10000);
        QCOMPARE(r->engine->callList(), IndexRig::paths(shots.mid(1)));
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
};

TAMBERK_TEST(tst_TextIndex)
#include "tst_TextIndex.moc"
