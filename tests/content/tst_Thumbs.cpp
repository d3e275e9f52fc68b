#include "TestEnv.h"
#include "content/Thumbs.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <memory>

namespace {

ShotPtr makeShot(const QString& path, double modified, QSizeF pixelSize = {},
                 bool isVideo = false) {
    return std::make_shared<Shot>(path, modified, modified, pixelSize, isVideo, true);
}

// Stands in for the real decoders: counts calls and concurrency, can hold
// every decode at a gate, and answers with whatever `produce` returns.
struct FakeDecoder {
    std::atomic<int> calls{0};
    std::atomic<int> active{0};
    std::atomic<int> maxActive{0};
    std::atomic<bool> gated{false};
    QSemaphore gate;
    std::function<Thumbs::Made(bool isVideo, int maxPixel)> produce = [](bool, int maxPixel) {
        QImage image(maxPixel, maxPixel / 2, QImage::Format_RGB32);
        image.fill(Qt::gray);
        return Thumbs::Made{image, 0};
    };

    Thumbs::Decoder decoder() {
        return [this](const QString&, bool isVideo, int maxPixel) {
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
};

// Loads and waits until the completion ran; the image it received.
QImage loadAndWait(Thumbs& thumbs, const ShotPtr& shot, int bucket) {
    bool done = false;
    QImage result;
    thumbs.load(shot, bucket, [&](const QImage& image) {
        result = image;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000))
        qWarning() << "load did not complete";
    return result;
}

} // namespace

class tst_Thumbs : public QObject {
    Q_OBJECT
private slots:
    // Cells of neighbouring sizes share an image (each need maps to the first
    // rung that covers it); the key prints the modification time as the
    // shortest decimal that reads back exactly, whole seconds with ".0".
    void bucketsAndKeys() {
        const std::pair<double, int> buckets[] = {
            {0, 160}, {160, 160}, {160.5, 320}, {2560, 2560}, {5000, 2560}};
        for (const auto& [size, bucket] : buckets)
            QCOMPARE(Thumbs::bucket(size), bucket);
        const std::pair<double, const char*> keys[] = {{1733500000.0, "1733500000.0"},
                                                       {1733500000.123456, "1733500000.123456"},
                                                       {kDistantPast, "-62135769600.0"},
                                                       {0.001, "0.001"}};
        for (const auto& [modified, seconds] : keys)
            QCOMPARE(Thumbs::key(*makeShot(QStringLiteral("/s/a|b.png"), modified), 320),
                     QStringLiteral("/s/a|b.png|%1|320").arg(QLatin1String(seconds)));
    }

    // A cell shows the largest cached image not above its need at once, or
    // else the smallest one above it; never one of another shot or version.
    void cachedPicksNearestBucket() {
        FakeDecoder fake;
        Thumbs thumbs(fake.decoder());
        const ShotPtr shot = makeShot(QStringLiteral("/s/one.png"), 100.0, {2000, 1000});
        QVERIFY(!thumbs.cached(*shot, 2560));

        QVERIFY(!loadAndWait(thumbs, shot, 640).isNull());
        QCOMPARE(thumbs.cached(*shot, 320).value_or(std::pair<QImage, int>()).second, 640);
        QVERIFY(!loadAndWait(thumbs, shot, 160).isNull());
        const auto best = [&](int upTo) { return thumbs.cached(*shot, upTo)->second; };
        QCOMPARE(best(320), 160);
        QCOMPARE(best(640), 640);
        QCOMPARE(best(2560), 640);
        QCOMPARE(thumbs.cached(*shot, 1280)->first.width(), 640);
        QVERIFY(!thumbs.cached(*makeShot(QStringLiteral("/s/other.png"), 100.0), 640));
        // An edited file has a new time and so new keys: nothing old is offered.
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
        QCOMPARE(fake.calls.load(), 1);

        // Cached now: the completion runs before load returns.
        bool ranAtOnce = false;
        thumbs.load(shot, 320, [&](const QImage& image) { ranAtOnce = !image.isNull(); });
        QVERIFY(ranAtOnce);
        QCOMPARE(fake.calls.load(), 1);
    }

    // A failed decode answers every waiting caller with nothing and caches
    // nothing, so the next request tries again.
    void failureDeliversNothingAndRetries() {
        FakeDecoder fake;
        fake.produce = [](bool, int) { return Thumbs::Made{}; };
        Thumbs thumbs(fake.decoder());
        QSignalSpy aspect(&thumbs, &Thumbs::aspectChanged);
        const ShotPtr shot = makeShot(QStringLiteral("/s/broken.png"), 100.0);
        QList<bool> nulls;
        for (int i = 0; i < 2; ++i)
            thumbs.load(shot, 160, [&](const QImage& image) { nulls.append(image.isNull()); });
        QTRY_COMPARE(nulls, (QList<bool>{true, true}));
        QVERIFY(!thumbs.cached(*shot, 2560));
        QCOMPARE(aspect.count(), 0);

        QVERIFY(loadAndWait(thumbs, shot, 160).isNull());
        QCOMPARE(fake.calls.load(), 2);
    }

    // The decoded image fills in a missing pixel size; a still image's
    // recorded size is trusted, a recording's is replaced when its aspect is
    // off (a rotated recording); each change is announced once. A recording's
    // duration is taken from the decode when it knows one, else left alone.
    void pixelSizeCorrections_data() {
        QTest::addColumn<bool>("isVideo");
        QTest::addColumn<QSizeF>("recorded");
        QTest::addColumn<QSize>("decoded");
        QTest::addColumn<QSizeF>("expected");
        QTest::newRow("still, missing") << false << QSizeF() << QSize(320, 200) << QSizeF(320, 200);
        QTest::newRow("still, known, other aspect")
            << false << QSizeF(1000, 500) << QSize(320, 320) << QSizeF(1000, 500);
        QTest::newRow("video, same aspect")
            << true << QSizeF(1920, 1080) << QSize(320, 180) << QSizeF(1920, 1080);
        QTest::newRow("video, rotated")
            << true << QSizeF(1920, 1080) << QSize(180, 320) << QSizeF(180, 320);
        QTest::newRow("video, unknown height assumed 16:10")
            << true << QSizeF(1920, 0) << QSize(320, 200) << QSizeF(1920, 0);
    }
    void pixelSizeCorrections() {
        QFETCH(bool, isVideo);
        QFETCH(QSizeF, recorded);
        QFETCH(QSize, decoded);
        QFETCH(QSizeF, expected);
        FakeDecoder fake;
        // Only the first decode knows the duration.
        fake.produce = [decoded, &fake](bool, int) {
            QImage image(decoded, QImage::Format_RGB32);
            image.fill(Qt::white);
            return Thumbs::Made{image, fake.calls == 1 ? 12.5 : 0};
        };
        Thumbs thumbs(fake.decoder());
        QSignalSpy aspect(&thumbs, &Thumbs::aspectChanged);
        const ShotPtr shot = makeShot(QStringLiteral("/s/x"), 5.0, recorded, isVideo);
        QVERIFY(!loadAndWait(thumbs, shot, 320).isNull());
        QCOMPARE(shot->pixelSize, expected);
        // A second bucket of the same shape announces nothing more.
        QVERIFY(!loadAndWait(thumbs, shot, 640).isNull());
        QCOMPARE(aspect.count(), expected != recorded ? 1 : 0);
        if (isVideo)
            QCOMPARE(shot->duration, 12.5);
    }

    // No more than four files decode at once, however many cells ask; the
    // cache destroyed while decodes run waits for them and drops their
    // completions instead of calling into a dead object.
    void boundedDecodesAndDestruction() {
        FakeDecoder fake;
        fake.gated = true;
        auto thumbs = std::make_unique<Thumbs>(fake.decoder());
        int answers = 0;
        for (int i = 0; i < 10; ++i)
            thumbs->load(makeShot(QStringLiteral("/s/%1.png").arg(i), 1.0), 160,
                         [&answers](const QImage&) { ++answers; });
        QTRY_COMPARE(fake.active.load(), Thumbs::maxDecodes);
        for (int i = 0; i < 4; ++i) {
            fake.gate.release();
            QTRY_COMPARE(answers, i + 1);
        }
        QTRY_COMPARE(fake.active.load(), Thumbs::maxDecodes);
        fake.gate.release(6);
        thumbs.reset();
        QCoreApplication::processEvents();
        QCOMPARE(answers, 4);
        QCOMPARE(fake.active.load(), 0);
        QCOMPARE(fake.maxActive.load(), Thumbs::maxDecodes);
    }

    // The cache holds at most 600 MiB of bitmap bytes (bytes per line ×
    // height); beyond that the least recently used image goes.
    void costLimitCountsBitmapBytes() {
        FakeDecoder fake;
        // One shared bitmap: each entry costs its full size, memory is spent once.
        QImage big(2560, 2560, QImage::Format_RGB32);
        big.fill(Qt::darkGray);
        fake.produce = [big](bool, int) { return Thumbs::Made{big, 0}; };
        Thumbs thumbs(fake.decoder());
        const qsizetype cost = big.bytesPerLine() * big.height();
        const int fit = int(Thumbs::costLimit / cost);
        QList<ShotPtr> shots;
        for (int i = 0; i <= fit; ++i) {
            shots.append(makeShot(QStringLiteral("/s/%1.png").arg(i), 1.0));
            QVERIFY(!loadAndWait(thumbs, shots[i], 2560).isNull());
            // All that fit stay; one more pushes out the oldest only.
            for (int j = 0; j <= i; ++j)
                QCOMPARE(bool(thumbs.cached(*shots[j], 2560)), i < fit || j > 0);
        }
    }
};

TAMBERK_TEST(tst_Thumbs)
#include "tst_Thumbs.moc"
