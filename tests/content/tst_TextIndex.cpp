#include "FakeEngine.h"
#include "TestEnv.h"
#include "content/TextIndex.h"
#include "settings/Prefs.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMutex>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <tuple>

namespace {

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

    // Images are recognised in listing order on the index's worker, each once
    // however often enqueued; videos never.
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
        QCOMPARE(engine->callList(), (QStringList{shots[0]->path, shots[2]->path}));
    }

    // A file deleted mid-recognition stores nothing; one changed keeps the
    // time of the version read, so it is read again, old text searchable meanwhile.
    void fileChangingDuringRecognition() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const QString gone = shotFile("gone.png"), changed = shotFile("changed.png");
        engine->answer(changed, "old words");
        engine->gated = true;
        index->enqueue({shot(gone, 2), shot(changed, 1)});
        QVERIFY(engine->started.tryAcquire(1, 10000));
        QFile::remove(gone);
        engine->release.release();
        QVERIFY(QTest::qWaitFor([&] { return engine->started.tryAcquire(); }, 10000));
        setModified(changed, 500);
        engine->release.release();
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 1, 10000);
        QTRY_VERIFY(index->idle());
        QVERIFY(!index->entries().contains(gone));
        QCOMPARE(index->entries().value(changed).m, 1.0);

        engine->answer(changed, "new words");
        const ShotPtr touched = shot(changed, 500);
        index->enqueue({touched});
        QVERIFY(engine->started.tryAcquire(1, 10000));
        QVERIFY(index->matches(*touched, QStringLiteral("old")));
        engine->release.release();
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 2, 10000);
        QVERIFY(index->matches(*touched, QStringLiteral("new")));
    }

    // Switching recognition off stops after the job in flight and keeps the
    // rest for the next enqueue.
    void recognitionSetting() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const ShotList shots{shot(shotFile("a.png"), 2), shot(shotFile("b.png"), 1)};
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

    // Query pieces match the file name (not the folder) or the text, in any case.
    void matching() {
        auto index = makeIndex();
        QSignalSpy recognized(index.get(), &TextIndex::recognized);
        const ShotPtr read = shot(shotFile("Invoice März.png"), 1);
        const ShotPtr unread = shot(shotFile("notes.png"), 1);
        engine->answer(read->path, "Total AMOUNT due\nÜBER ALLES");
        index->enqueue({read});
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 1, 10000);
        const std::tuple<ShotPtr, QString, bool> cases[] = {{read, "über  MÄRZ", true},
                                                            {read, "invoice zebra", false},
                                                            {unread, ".PNG", true},
                                                            {unread, "shots", false}};
        for (const auto& [s, query, match] : cases) {
            QVERIFY2(index->matches(*s, query) == match, qPrintable(query));
            QVERIFY2(index->matches(*s, TextIndex::pieces(query)) == match, qPrintable(query));
        }
    }

    // A burst of results is saved once and reopens without recognising again;
    // a rekeyed entry's pending save is written at destruction.
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

        const TextIndex::Map written = index->entries();
        index.reset();
        auto reopened = makeIndex();
        reopened->enqueue(shots);
        QVERIFY(reopened->idle());
        QCOMPARE(engine->callList().size(), 5);

        const QString moved = env->home() + "/elsewhere/new name.png";
        reopened->rekey(shots[0]->path, moved);
        reopened.reset();
        TextIndex::Map expected = written;
        expected.insert(moved, expected.take(shots[0]->path));
        QCOMPARE(readIndexFile(), expected);
    }

    // The file is compact JSON whose times and texts read back exactly; any
    // entry not of the exact form makes the whole file unreadable.
    void fileFormat() {
        TextIndex::Map map{{QStringLiteral("/a \"b\"\\c.png"), {1.5, "one\ntwo\t\x01", {}}}};
        QCOMPARE(
            TextIndex::encode(map),
            QByteArray("{\"/a \\\"b\\\"\\\\c.png\":{\"m\":1.5,\"t\":\"one\\ntwo\\t\\u0001\"}}"));
        for (const double m : {1733500000.123456789, kDistantPast, 5e-324})
            map.insert(QStringLiteral("/shots/%1 😀.png").arg(m, 0, 'g', 17),
                       {m, QStringLiteral("τ \"q\" \\ \b 😀"), QStringLiteral("eng+deu")});
        QCOMPARE(TextIndex::decode(TextIndex::encode(map)), map);
        for (const char* json : {R"({"/a.png":{"m":"1","t":"x"}})", "[]", R"({"/a.png":{"m":1)"})
            QVERIFY2(!TextIndex::decode(json), json);
    }

    // An unreadable index starts empty and is kept as ".bad" before the first save.
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

    // An engine that cannot start stores nothing, neither for the file it was
    // asked about nor for the rest, and is asked no more this session; a
    // later run with a working engine reads those files. A file that was read
    // and holds no text keeps its empty entry.
    void unavailableEngineStoresNothing_data() {
        QTest::addColumn<bool>("realEngine");
        QTest::newRow("recogniser without an engine") << false;
        QTest::newRow("no language data") << true;
    }
    void unavailableEngineStoresNothing() {
        QFETCH(bool, realEngine);
        const QString blank = writeFile(env->home() + "/shots/blank.png", "not an image");
        ShotList shots{shot(blank, 10)};
        for (const char* name : {"a.png", "b.png", "c.png"}) {
            const QString path = env->home() + "/shots/" + name;
            QImage image(64, 48, QImage::Format_RGB32);
            image.fill(Qt::white);
            QVERIFY(image.save(path));
            shots.append(shot(path, 9));
        }
        std::atomic<int> asked{0};
        {
            // The engine starts on the index's worker, so the environment is set before.
            const QByteArray savedPrefix = qgetenv("TESSDATA_PREFIX");
            const auto restore = qScopeGuard([&] {
                if (savedPrefix.isNull())
                    qunsetenv("TESSDATA_PREFIX");
                else
                    qputenv("TESSDATA_PREFIX", savedPrefix);
            });
            qputenv("TESSDATA_PREFIX", env->mkdir("no-language-data").toUtf8());
            if (realEngine)
                QTest::ignoreMessage(QtWarningMsg,
                                     "Tamberk text recognition failed: no English language data");

            TextIndex index(indexFile(), [&](const QString& path) -> std::optional<QString> {
                ++asked;
                if (realEngine)
                    return TextIndex::read(path);
                if (path == blank)
                    return QString();
                return std::nullopt;
            });
            QSignalSpy recognized(&index, &TextIndex::recognized);
            index.enqueue(shots);
            QTRY_VERIFY_WITH_TIMEOUT(index.idle(), 30000);
            QCOMPARE(index.entries(),
                     (TextIndex::Map{{blank, TextIndex::Entry{10, QString(), index.languages()}}}));
            QCOMPARE(recognized.count(), 1);
            QCOMPARE(asked.load(), 2);
            QVERIFY(index.unavailable());
            index.enqueue(shots);
            QVERIFY(index.idle());
            QCOMPARE(asked.load(), 2);
        }
        QCOMPARE(readIndexFile().value_or(TextIndex::Map{}).keys(), QStringList{blank});

        auto working = makeIndex();
        QSignalSpy recognized(working.get(), &TextIndex::recognized);
        working->enqueue(shots);
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 3, 10000);
        QTRY_VERIFY(working->idle());
        QCOMPARE(engine->callList(), (QStringList{shots[1]->path, shots[2]->path, shots[3]->path}));
        QCOMPARE(working->entries().value(shots[3]->path).t, QStringLiteral("text of c.png"));
    }

    // An undecodable file gets an empty entry and is not tried again while unchanged.
    void undecodableImageGetsEmptyEntry() {
        TextIndex index(indexFile(), &TextIndex::recognize);
        QSignalSpy recognized(&index, &TextIndex::recognized);
        const ShotPtr broken =
            shot(writeFile(env->home() + "/broken.png", "\x89PNG\r\n\x1a\n not really"), 5);
        index.enqueue({broken});
        QTRY_COMPARE_WITH_TIMEOUT(recognized.count(), 1, 30000);
        QCOMPARE(index.entries().value(broken->path),
                 (TextIndex::Entry{5, QString(), index.languages()}));
        index.enqueue({broken});
        QVERIFY(index.idle());
    }
};

TAMBERK_TEST(tst_TextIndex)
#include "tst_TextIndex.moc"
