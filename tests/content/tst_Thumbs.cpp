#include "TestEnv.h"
#include "content/Thumbs.h"

#include <QMutex>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <memory>
#include <tuple>

namespace {

ShotPtr makeShot(const QString& path, double modified, QSizeF pixelSize = {},
                 bool isVideo = false) {
    return std::make_shared<Shot>(path, modified, modified, pixelSize, isVideo, true);
}

// Stands in for the decoders: counts calls, notes the names in the order the
// decodes started, can hold decodes at a gate.
struct FakeDecoder {
    QMutex lock;
    QStringList started;
    std::atomic<int> calls{0};
    std::atomic<int> active{0};
    std::atomic<int> maxActive{0};
    std::atomic<bool> gated{false};
    QSemaphore gate;
    std::function<Thumbs::Made(bool isVideo, int maxPixel)> produce = [](bool, int maxPixel) {
        QImage image(maxPixel, maxPixel / 2, QImage::Format_RGB32);
        image.fill(Qt::gray);
        return Thumbs::Made{image, 0, {}};
    };

    Thumbs::Decoder decoder() {
        return [this](const QString& path, bool isVideo, int maxPixel) {
            {
                const QMutexLocker locked(&lock);
                started << path.section(QLatin1Char('/'), -1);
            }
            ++calls;
            const int now = ++active;
            for (int seen = maxActive; now > seen && !maxActive.compare_exchange_weak(seen, now);)
                ;
            if (gated)
                gate.acquire();
            Thumbs::Made made = produce(isVideo, maxPixel);
            --active;
            return made;
        };
    }
    QStringList startedNames() {
        const QMutexLocker locked(&lock);
        return started;
    }
};

// What the cache answers for `shot`; nothing when it did not answer.
std::optional<QImage> loadAndWait(Thumbs& thumbs, const ShotPtr& shot, int bucket) {
    std::optional<QImage> result;
    thumbs.load(shot, bucket, [&](const QImage& image) { result = image; });
    return QTest::qWaitFor([&] { return result.has_value(); }, 10000) ? result : std::nullopt;
}

// Decodes of 2560 x 1600 pictures, four of which fill the smallest limit.
void bigImages(FakeDecoder& fake) {
    fake.produce = [](bool, int) {
        QImage image(2560, 1600, QImage::Format_RGB32);
        image.fill(Qt::darkGray);
        return Thumbs::Made{image, 0, {}};
    };
}

ShotPtr big(int i) {
    return makeShot(QStringLiteral("/s/big%1.png").arg(i), 1.0, {2560, 1600});
}

} // namespace

class tst_Thumbs : public QObject {
    Q_OBJECT
private slots:
    // A need maps to the first rung covering it; a cell gets the largest cached
    // image not above its need, else the smallest above; never another version's.
    void cachedPicksNearestBucket() {
        QCOMPARE(Thumbs::bucket(160.5), 320);
        FakeDecoder fake;
        Thumbs thumbs(fake.decoder());
        const ShotPtr shot = makeShot(QStringLiteral("/s/one.png"), 100.0, {2000, 1000});
        QVERIFY(loadAndWait(thumbs, shot, 640));
        QCOMPARE(thumbs.cached(*shot, 320).value_or(std::pair<QImage, int>()).second, 640);
        QVERIFY(loadAndWait(thumbs, shot, 160));
        QCOMPARE(thumbs.cached(*shot, 320)->second, 160);
        QCOMPARE(thumbs.cached(*shot, 2560)->second, 640);
        QVERIFY(!thumbs.cached(*makeShot(QStringLiteral("/s/other.png"), 100.0), 640));
        QVERIFY(!thumbs.cached(*makeShot(shot->path, 100.5), 2560));
    }

    // Requests for one image while it decodes share the decode; every caller
    // hears back once, in call order, and later ones are served from memory.
    void concurrentLoadsShareOneDecode() {
        FakeDecoder fake;
        fake.gated = true;
        Thumbs thumbs(fake.decoder());
        const ShotPtr shot = makeShot(QStringLiteral("/s/one.png"), 100.0, {640, 320});
        QList<int> order;
        QList<QSize> sizes;
        for (int i = 1; i <= 3; ++i) {
            thumbs.load(shot, 320, [&order, &sizes, i](const QImage& image) {
                order.append(i);
                sizes.append(image.size());
            });
        }
        QTRY_COMPARE(fake.active.load(), 1);
        fake.gate.release();
        QTRY_COMPARE(order, (QList<int>{1, 2, 3}));
        QCOMPARE(sizes, QList<QSize>(3, QSize(320, 160)));
        bool ranAtOnce = false;
        thumbs.load(shot, 320, [&](const QImage& image) { ranAtOnce = !image.isNull(); });
        QVERIFY(ranAtOnce);
        QCOMPARE(fake.calls.load(), 1);
    }

    // A failed decode answers with nothing and caches nothing, so the next
    // request tries again.
    void failureDeliversNothingAndRetries() {
        FakeDecoder fake;
        fake.produce = [](bool, int) { return Thumbs::Made{}; };
        Thumbs thumbs(fake.decoder());
        const ShotPtr shot = makeShot(QStringLiteral("/s/broken.png"), 100.0);
        const auto failed = [&] {
            const auto image = loadAndWait(thumbs, shot, 160);
            return image && image->isNull();
        };
        QVERIFY(failed());
        QVERIFY(!thumbs.cached(*shot, 2560));
        QVERIFY(failed());
        QCOMPARE(fake.calls.load(), 2);
    }

    // The decode fills in a missing pixel size and fixes a recording's wrong
    // aspect, announcing each change once; a still image's size is trusted. A
    // recording takes its frame's size where the decoder knows it, not its poster's.
    void pixelSizeCorrections() {
        const std::tuple<bool, QSizeF, QSize, QSize, QSizeF> cases[] = {
            {false, QSizeF(), QSize(320, 200), QSize(), QSizeF(320, 200)},
            {false, QSizeF(1000, 500), QSize(320, 320), QSize(), QSizeF(1000, 500)},
            {true, QSizeF(1920, 1080), QSize(180, 320), QSize(), QSizeF(180, 320)},
            {true, QSizeF(), QSize(320, 180), QSize(1280, 720), QSizeF(1280, 720)},
            {true, QSizeF(1920, 1080), QSize(180, 320), QSize(1080, 1920), QSizeF(1080, 1920)}};
        for (const auto& [isVideo, recorded, decoded, frame, expected] : cases) {
            FakeDecoder fake;
            fake.produce = [decoded = decoded, frame = frame](bool, int) {
                return Thumbs::Made{QImage(decoded, QImage::Format_RGB32), 0, frame};
            };
            Thumbs thumbs(fake.decoder());
            QSignalSpy aspect(&thumbs, &Thumbs::aspectChanged);
            const ShotPtr shot = makeShot(QStringLiteral("/s/x"), 5.0, recorded, isVideo);
            QVERIFY(loadAndWait(thumbs, shot, 320));
            QCOMPARE(shot->pixelSize, expected);
            QVERIFY(loadAndWait(thumbs, shot, 640));
            QCOMPARE(aspect.count(), expected != recorded ? 1 : 0);
        }
    }

    // At most four decodes run at once. Shutting down drops the waiting
    // requests undecoded, waits for the running ones and answers none of them;
    // a later load answers with nothing at once.
    void boundedDecodesAndShutdown() {
        FakeDecoder fake;
        fake.gated = true;
        Thumbs thumbs(fake.decoder());
        int answers = 0;
        for (int i = 0; i < 10; ++i)
            thumbs.load(makeShot(QStringLiteral("/s/%1.png").arg(i), 1.0), 160,
                        [&answers](const QImage&) { ++answers; });
        QTRY_COMPARE(fake.active.load(), Thumbs::maxDecodes);
        fake.gate.release(4);
        QTRY_COMPARE(answers, 4);
        QTRY_COMPARE(fake.active.load(), Thumbs::maxDecodes);
        fake.gate.release(6);
        QVERIFY(thumbs.shutdown(-1));
        QCoreApplication::processEvents();
        QCOMPARE(answers, 4);
        QCOMPARE(fake.calls.load(), 8);
        QCOMPARE(fake.maxActive.load(), Thumbs::maxDecodes);
        bool nothing = false;
        thumbs.load(makeShot(QStringLiteral("/s/late.png"), 1.0), 160,
                    [&](const QImage& image) { nothing = image.isNull(); });
        QVERIFY(nothing);
    }

    // Requests wait newest first, a bumped one goes ahead of all, and a
    // cancelled one is never decoded nor answered. Each gate permit frees one
    // worker, so the decodes start one at a time in the cache's order.
    void cancelAndOrder() {
        FakeDecoder fake;
        fake.gated = true;
        Thumbs thumbs(fake.decoder());
        QStringList answered;
        QList<Thumbs::Ticket> tickets;
        auto load = [&](const QString& name) {
            tickets << thumbs.load(makeShot(QStringLiteral("/s/") + name, 1.0), 160,
                                   [&answered, name](const QImage&) { answered << name; });
        };
        for (const QString name : {"a0", "a1", "a2", "a3"})
            load(name);
        QTRY_COMPARE(fake.startedNames().size(), 4);
        for (const QString name : {"b0", "b1", "b2", "b3", "b4", "b5"})
            load(name);
        for (const int cancelled : {5, 7, 9})
            thumbs.cancel(tickets[cancelled]);
        thumbs.bump(tickets[4]);
        QCOMPARE(thumbs.waiting(), 3);
        for (int i = 1; i <= 3; ++i) {
            fake.gate.release();
            QTRY_COMPARE(fake.startedNames().size(), 4 + i);
        }
        fake.gate.release(4);
        QTRY_COMPARE(answered.size(), 7);
        QCOMPARE(fake.startedNames().mid(4), (QStringList{"b0", "b4", "b2"}));
        for (const char* gone : {"b1", "b3", "b5"})
            QVERIFY(!answered.contains(QLatin1String(gone)));
    }

    // The limit covers the cached images and the results of the decodes
    // running: starting large decodes evicts cached images first.
    void limitCountsDecodesInFlight() {
        FakeDecoder fake;
        bigImages(fake);
        Thumbs thumbs(fake.decoder());
        thumbs.setLimit(Thumbs::minLimit); // four such images
        for (int i = 0; i < 4; ++i)
            QVERIFY(!loadAndWait(thumbs, big(i), 2560).value_or(QImage()).isNull());
        QVERIFY(thumbs.cached(*big(0), 2560));
        fake.gated = true;
        for (int i = 4; i < 8; ++i)
            thumbs.load(big(i), 2560, [](const QImage&) {});
        QTRY_COMPARE(thumbs.running(), 4);
        QVERIFY(thumbs.held() <= thumbs.limit());
        for (int i = 0; i < 4; ++i)
            QVERIFY(!thumbs.cached(*big(i), 2560));
        fake.gate.release(4);
        QTRY_COMPARE(thumbs.running(), 0);
        QVERIFY(thumbs.held() <= thumbs.limit());
        QVERIFY(thumbs.cached(*big(7), 2560));
    }

    // A decode whose requests were all withdrawn while it ran answers no one;
    // its image fills spare room but evicts nothing.
    void lateResultOfWithdrawnRequest_data() {
        QTest::addColumn<bool>("roomLeft");
        QTest::newRow("room") << true;
        QTest::newRow("full") << false;
    }
    void lateResultOfWithdrawnRequest() {
        QFETCH(bool, roomLeft);
        FakeDecoder fake;
        bigImages(fake);
        Thumbs thumbs(fake.decoder());
        thumbs.setLimit(Thumbs::minLimit);
        for (int i = 0; i < 4; ++i)
            QVERIFY(loadAndWait(thumbs, big(i), 2560));
        fake.gated = true;
        bool answered = false;
        const Thumbs::Ticket late =
            thumbs.load(big(9), 2560, [&](const QImage&) { answered = true; });
        QTRY_COMPARE(fake.active.load(), 1);
        thumbs.cancel(late);
        fake.gated = false;
        QVERIFY(roomLeft || loadAndWait(thumbs, big(5), 2560));
        fake.gate.release();
        QTRY_COMPARE(thumbs.running(), 0);
        QVERIFY(!answered);
        QCOMPARE(bool(thumbs.cached(*big(9), 2560)), roomLeft);
        QCOMPARE(bool(thumbs.cached(*big(5), 2560)), !roomLeft);
        QVERIFY(thumbs.held() <= thumbs.limit());
    }

    // Beyond the limit in bitmap bytes the least recently used image goes.
    void costLimitCountsBitmapBytes() {
        FakeDecoder fake;
        QImage big(2560, 2560, QImage::Format_RGB32);
        big.fill(Qt::darkGray);
        fake.produce = [big](bool, int) { return Thumbs::Made{big, 0, {}}; };
        Thumbs thumbs(fake.decoder());
        thumbs.setLimit(Thumbs::minLimit);
        const qsizetype cost = big.bytesPerLine() * big.height();
        const int fit = int(thumbs.limit() / cost);
        QList<ShotPtr> shots;
        for (int i = 0; i <= fit; ++i) {
            shots.append(makeShot(QStringLiteral("/s/%1.png").arg(i), 1.0));
            QVERIFY(!loadAndWait(thumbs, shots[i], 2560).value_or(QImage()).isNull());
            for (int j = 0; j <= i; ++j)
                QCOMPARE(bool(thumbs.cached(*shots[j], 2560)), i < fit || j > 0);
        }
    }
};

TAMBERK_TEST(tst_Thumbs)
#include "tst_Thumbs.moc"
