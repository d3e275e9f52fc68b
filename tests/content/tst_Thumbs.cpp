#include "TestEnv.h"
#include "content/Thumbs.h"

#include <QMutex>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <tuple>

namespace {

ShotPtr makeShot(const QString& name, double modified = 1, QSizeF pixelSize = {},
                 bool isVideo = false) {
    return std::make_shared<Shot>("/s/" + name, modified, modified, pixelSize, isVideo, true);
}

// 2560 × 1600 pictures, four of which fill the smallest limit.
ShotPtr big(int i) {
    return makeShot(QStringLiteral("big%1.png").arg(i), 1, {2560, 1600});
}

// The decoder: notes starts in order, counts those running, can hold them at a gate.
struct FakeDecoder {
    QMutex lock;
    QStringList started;
    std::atomic<int> active{0};
    std::atomic<bool> gated{false};
    QSemaphore gate;
    std::function<Thumbs::Made(int maxPixel)> produce = [](int maxPixel) {
        QImage image(maxPixel, maxPixel * 5 / 8, QImage::Format_RGB32);
        image.fill(Qt::gray);
        return Thumbs::Made{image, 0, {}};
    };

    Thumbs::Decoder decoder() {
        return [this](const QString& path, bool, int maxPixel) {
            {
                const QMutexLocker locked(&lock);
                started << path.section(QLatin1Char('/'), -1);
            }
            ++active;
            if (gated)
                gate.acquire();
            Thumbs::Made made = produce(maxPixel);
            --active;
            return made;
        };
    }
    QStringList startedNames() {
        const QMutexLocker locked(&lock);
        return started;
    }
};

} // namespace

class tst_Thumbs : public QObject {
    Q_OBJECT
    std::unique_ptr<FakeDecoder> fake;
    std::unique_ptr<Thumbs> thumbs;

    // What the cache answers for `shot`; nothing when it did not answer.
    std::optional<QImage> load(const ShotPtr& shot, int bucket) {
        std::optional<QImage> result;
        thumbs->load(shot, bucket, [&](const QImage& image) { result = image; });
        return QTest::qWaitFor([&] { return result.has_value(); }, 10000) ? result : std::nullopt;
    }
    bool cached(const ShotPtr& shot) const { return bool(thumbs->cached(*shot, 2560)); }

private slots:
    void init() {
        fake = std::make_unique<FakeDecoder>();
        thumbs = std::make_unique<Thumbs>(fake->decoder());
    }
    void cleanup() {
        fake->gate.release(100);
        thumbs.reset();
    }

    // A cell gets the largest cached image not above its need, else the next; never stale.
    void cachedPicksNearestBucket() {
        QCOMPARE(Thumbs::bucket(160.5), 320);
        const ShotPtr shot = makeShot("one.png", 100, {2000, 1000});
        QVERIFY(load(shot, 640));
        QCOMPARE(thumbs->cached(*shot, 320).value_or(std::pair<QImage, int>()).second, 640);
        QVERIFY(load(shot, 160));
        QCOMPARE(thumbs->cached(*shot, 320)->second, 160);
        QCOMPARE(thumbs->cached(*shot, 2560)->second, 640);
        QVERIFY(!cached(makeShot("other.png", 100)));
        QVERIFY(!cached(makeShot("one.png", 100.5)));
    }

    // Requests during a decode share it, answered once each in order; later from memory.
    void concurrentLoadsShareOneDecode() {
        fake->gated = true;
        const ShotPtr shot = makeShot("one.png", 100, {640, 400});
        QList<int> order;
        for (int i = 1; i <= 3; ++i)
            thumbs->load(shot, 320, [&order, i](const QImage& image) {
                order.append(image.width() == 320 ? i : -i);
            });
        QTRY_COMPARE(fake->active.load(), 1);
        fake->gate.release();
        QTRY_COMPARE(order, (QList<int>{1, 2, 3}));
        bool ranAtOnce = false;
        thumbs->load(shot, 320, [&](const QImage& image) { ranAtOnce = !image.isNull(); });
        QVERIFY(ranAtOnce);
        QCOMPARE(fake->startedNames().size(), 1);
    }

    // A failed decode answers with nothing and caches nothing: the next request tries again.
    void failureDeliversNothingAndRetries() {
        fake->produce = [](int) { return Thumbs::Made{}; };
        const ShotPtr shot = makeShot("broken.png");
        for (int attempt = 1; attempt <= 2; ++attempt) {
            QVERIFY(load(shot, 160).value_or(QImage(1, 1, QImage::Format_RGB32)).isNull());
            QVERIFY(!cached(shot));
            QCOMPARE(fake->startedNames().size(), attempt);
        }
    }

    // A decode fixes missing sizes and a recording's aspect (by its frame), announced once.
    void pixelSizeCorrections() {
        const std::tuple<bool, QSizeF, QSize, QSize, QSizeF> cases[] = {
            {false, QSizeF(), QSize(320, 200), QSize(), QSizeF(320, 200)},
            {false, QSizeF(1000, 500), QSize(320, 320), QSize(), QSizeF(1000, 500)},
            {true, QSizeF(1920, 1080), QSize(180, 320), QSize(), QSizeF(180, 320)},
            {true, QSizeF(1920, 1080), QSize(180, 320), QSize(1080, 1920), QSizeF(1080, 1920)}};
        int i = 0;
        for (const auto& [isVideo, recorded, decoded, frame, expected] : cases) {
            fake->produce = [decoded = decoded, frame = frame](int) {
                return Thumbs::Made{QImage(decoded, QImage::Format_RGB32), 0, frame};
            };
            QSignalSpy aspect(thumbs.get(), &Thumbs::aspectChanged);
            const ShotPtr shot = makeShot(QString::number(++i), 5, recorded, isVideo);
            QVERIFY(load(shot, 320));
            QCOMPARE(shot->pixelSize, expected);
            QVERIFY(load(shot, 640));
            QCOMPARE(aspect.count(), expected != recorded ? 1 : 0);
        }
    }

    // Shutting down drops waiting requests, waits for running ones, and answers none.
    void shutdownAnswersNothing() {
        fake->gated = true;
        int answers = 0;
        for (int i = 0; i < 6; ++i)
            thumbs->load(makeShot(QString::number(i)), 160,
                         [&answers](const QImage&) { ++answers; });
        QTRY_COMPARE(fake->active.load(), Thumbs::maxDecodes);
        fake->gate.release(6);
        QVERIFY(thumbs->shutdown(-1));
        QCoreApplication::processEvents();
        QCOMPARE(answers, 0);
        QCOMPARE(fake->startedNames().size(), Thumbs::maxDecodes);
        bool nothing = false;
        thumbs->load(makeShot("late.png"), 160,
                     [&](const QImage& image) { nothing = image.isNull(); });
        QVERIFY(nothing);
    }

    // At most four decodes; newest first, bumped ones ahead, cancelled ones never run.
    void cancelAndOrder() {
        fake->gated = true;
        QStringList answered;
        QList<Thumbs::Ticket> tickets;
        for (const QString name : {"a0", "a1", "a2", "a3", "b0", "b1", "b2", "b3", "b4", "b5"}) {
            tickets << thumbs->load(makeShot(name), 160,
                                    [&answered, name](const QImage&) { answered << name; });
            if (tickets.size() == 4)
                QTRY_COMPARE(fake->startedNames().size(), 4);
        }
        for (const int cancelled : {5, 7, 9})
            thumbs->cancel(tickets[cancelled]);
        thumbs->bump(tickets[4]);
        QCOMPARE(thumbs->waiting(), 3);
        for (int i = 1; i <= 3; ++i) {
            fake->gate.release();
            QTRY_COMPARE(fake->startedNames().size(), 4 + i);
        }
        fake->gate.release(4);
        QTRY_COMPARE(answered.size(), 7);
        QCOMPARE(fake->startedNames().mid(4), (QStringList{"b0", "b4", "b2"}));
        for (const char* gone : {"b1", "b3", "b5"})
            QVERIFY(!answered.contains(QLatin1String(gone)));
    }

    // The limit counts bitmap bytes, cached and in flight; the oldest image goes first.
    void limitCountsBytesAndDecodesInFlight() {
        thumbs->setLimit(Thumbs::minLimit);
        for (int i = 0; i < 5; ++i)
            QVERIFY(!load(big(i), 2560).value_or(QImage()).isNull());
        for (int i = 0; i < 5; ++i)
            QCOMPARE(cached(big(i)), i > 0);
        fake->gated = true;
        for (int i = 5; i < 9; ++i)
            thumbs->load(big(i), 2560, [](const QImage&) {});
        QTRY_COMPARE(thumbs->running(), 4);
        QVERIFY(thumbs->held() <= thumbs->limit());
        for (int i = 1; i < 5; ++i)
            QVERIFY(!cached(big(i)));
        fake->gate.release(4);
        QTRY_COMPARE(thumbs->running(), 0);
        QVERIFY(thumbs->held() <= thumbs->limit());
        QVERIFY(cached(big(8)));
    }

    // A withdrawn decode answers no one and, the cache being full, evicts nothing shown.
    void lateResultOfWithdrawnRequest() {
        thumbs->setLimit(Thumbs::minLimit);
        for (int i = 0; i < 4; ++i)
            QVERIFY(load(big(i), 2560));
        fake->gated = true;
        bool answered = false;
        const Thumbs::Ticket late =
            thumbs->load(big(9), 2560, [&](const QImage&) { answered = true; });
        QTRY_COMPARE(fake->active.load(), 1);
        thumbs->cancel(late);
        fake->gated = false;
        QVERIFY(load(big(5), 2560));
        fake->gate.release();
        QTRY_COMPARE(thumbs->running(), 0);
        QVERIFY(!answered && !cached(big(9)) && cached(big(5)));
        QVERIFY(thumbs->held() <= thumbs->limit());
    }
};

TAMBERK_TEST(tst_Thumbs)
#include "tst_Thumbs.moc"
