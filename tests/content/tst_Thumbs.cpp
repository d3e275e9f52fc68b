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
    // Cells of neighbouring sizes share an image: each need maps to the
    // first rung of the ladder that covers it.
    void bucketFor_data() {
        QTest::addColumn<double>("size");
        QTest::addColumn<int>("bucket");
        QTest::newRow("none") << 0.0 << 160;
        QTest::newRow("small") << 100.0 << 160;
        QTest::newRow("exact 160") << 160.0 << 160;
        QTest::newRow("just above 160") << 160.5 << 320;
        QTest::newRow("161") << 161.0 << 320;
        QTest::newRow("exact 1280") << 1280.0 << 1280;
        QTest::newRow("exact 2560") << 2560.0 << 2560;
        QTest::newRow("beyond the ladder") << 5000.0 << 2560;
    }
    void bucketFor() {
        QFETCH(double, size);
        QFETCH(int, bucket);
        QCOMPARE(Thumbs::bucket(size), bucket);
    }

    // The key prints the modification time as the shortest decimal that
    // reads back exactly, so sub-second changes make a new key and whole
    // seconds still carry ".0".
    void keyFormat_data() {
        QTest::addColumn<double>("modified");
        QTest::addColumn<QString>("seconds");
        QTest::newRow("whole") << 1733500000.0 << QStringLiteral("1733500000.0");
        QTest::newRow("tenth") << 1733500000.1 << QStringLiteral("1733500000.1");
        QTest::newRow("quarter") << 1733500000.25 << QStringLiteral("1733500000.25");
        QTest::newRow("micro") << 1733500000.123456 << QStringLiteral("1733500000.123456");
        QTest::newRow("zero") << 0.0 << QStringLiteral("0.0");
        QTest::newRow("distant past") << kDistantPast << QStringLiteral("-62135769600.0");
        QTest::newRow("tiny") << 0.001 << QStringLiteral("0.001");
    }
    void keyFormat() {
        QFETCH(double, modified);
        QFETCH(QString, seconds);
        const ShotPtr shot = makeShot(QStringLiteral("/home/u/Shots/a|b.png"), modified);
        const QString key = Thumbs::key(*shot, 320);
        QCOMPARE(key, QStringLiteral("/home/u/Shots/a|b.png|") + seconds + QStringLiteral("|320"));
        QCOMPARE(seconds.toDouble(), modified);
    }

    // A cell shows the largest cached image not above its need at once, or
    // else the smallest one above it; never one of another shot.
    void cachedPicksNearestBucket() {
        FakeDecoder fake;
        Thumbs thumbs(fake.decoder());
        const ShotPtr shot = makeShot(QStringLiteral("/s/one.png"), 100.0, {2000, 1000});
        QVERIFY(!thumbs.cached(*shot, 2560));

        QVERIFY(!loadAndWait(thumbs, shot, 640).isNull());
        auto best = thumbs.cached(*shot, 1280);
        QVERIFY(best);
        QCOMPARE(best->second, 640);
        QCOMPARE(best->first.width(), 640);
        best = thumbs.cached(*shot, 320);
        QVERIFY(best);
        QCOMPARE(best->second, 640);

        QVERIFY(!loadAndWait(thumbs, shot, 160).isNull());
        QCOMPARE(thumbs.cached(*shot, 320)->second, 160);
        QCOMPARE(thumbs.cached(*shot, 160)->second, 160);
        QCOMPARE(thumbs.cached(*shot, 640)->second, 640);
        QCOMPARE(thumbs.cached(*shot, 2560)->second, 640);
        QVERIFY(!thumbs.cached(*makeShot(QStringLiteral("/s/other.png"), 100.0), 640));
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
        QVERIFY(order.isEmpty());
        fake.gate.release();
        QTRY_COMPARE(order.size(), 3);
        QCOMPARE(order, (QList<int>{1, 2, 3}));
        QCOMPARE(sizes, QList<QSize>(3, QSize(320, 160)));
        QCOMPARE(fake.calls.load(), 1);

        // Cached now: the completion runs before load returns.
        bool ranAtOnce = false;
        thumbs.load(shot, 320, [&](const QImage& image) { ranAtOnce = !image.isNull(); });
        QVERIFY(ranAtOnce);
        QCOMPARE(fake.calls.load(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(order.size(), 3);
    }

    // A failed decode answers every waiting caller with nothing and caches
    // nothing, so the next request tries again.
    void failureDeliversNothingAndRetries() {
        FakeDecoder fake;
        fake.produce = [](bool, int) { return Thumbs::Made{}; };
        Thumbs thumbs(fake.decoder());
        QSignalSpy aspect(&thumbs, &Thumbs::aspectChanged);
        const ShotPtr shot = makeShot(QStringLiteral("/s/broken.png"), 100.0);
        int answers = 0;
        bool anyImage = false;
        for (int i = 0; i < 2; ++i) {
            thumbs.load(shot, 160, [&](const QImage& image) {
                ++answers;
                anyImage = anyImage || !image.isNull();
            });
        }
        QTRY_COMPARE(answers, 2);
        QVERIFY(!anyImage);
        QVERIFY(!thumbs.cached(*shot, 2560));
        QVERIFY(shot->pixelSize.isEmpty());
        QCOMPARE(aspect.count(), 0);

        QVERIFY(loadAndWait(thumbs, shot, 160).isNull());
        QCOMPARE(fake.calls.load(), 2);
    }

    // The decoded image fills in a missing pixel size; a still image's
    // recorded size is trusted, a recording's is replaced when its aspect is
    // off (a rotated recording); each change is announced once.
    void pixelSizeCorrections_data() {
        QTest::addColumn<bool>("isVideo");
        QTest::addColumn<QSizeF>("recorded");
        QTest::addColumn<QSize>("decoded");
        QTest::addColumn<QSizeF>("expected");
        QTest::newRow("still, missing") << false << QSizeF() << QSize(320, 200) << QSizeF(320, 200);
        QTest::newRow("still, known, other aspect")
            << false << QSizeF(1000, 500) << QSize(320, 320) << QSizeF(1000, 500);
        QTest::newRow("video, missing") << true << QSizeF() << QSize(320, 180) << QSizeF(320, 180);
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
        fake.produce = [decoded](bool, int) {
            QImage image(decoded, QImage::Format_RGB32);
            image.fill(Qt::white);
            return Thumbs::Made{image, 0};
        };
        Thumbs thumbs(fake.decoder());
        QSignalSpy aspect(&thumbs, &Thumbs::aspectChanged);
        const ShotPtr shot = makeShot(QStringLiteral("/s/x"), 5.0, recorded, isVideo);
        QVERIFY(!loadAndWait(thumbs, shot, 320).isNull());
        QCOMPARE(shot->pixelSize, expected);
        const bool changed = expected != recorded;
        QCOMPARE(aspect.count(), changed ? 1 : 0);
        if (changed)
            QCOMPARE(aspect.first().first().value<ShotPtr>(), shot);

        // A second bucket of the same shape changes nothing more.
        QVERIFY(!loadAndWait(thumbs, shot, 640).isNull());
        QCOMPARE(aspect.count(), changed ? 1 : 0);
    }

    // A recording's duration is taken from the decode when it knows one and
    // left alone when it does not.
    void durationCorrection() {
        FakeDecoder fake;
        std::atomic<double> duration{12.5};
        fake.produce = [&duration](bool, int maxPixel) {
            QImage image(maxPixel, maxPixel, QImage::Format_RGB32);
            image.fill(Qt::black);
            return Thumbs::Made{image, duration.load()};
        };
        Thumbs thumbs(fake.decoder());
        const ShotPtr shot = makeShot(QStringLiteral("/s/rec.mp4"), 5.0, {100, 100}, true);
        QVERIFY(!loadAndWait(thumbs, shot, 160).isNull());
        QCOMPARE(shot->duration, 12.5);
        duration = 0;
        QVERIFY(!loadAndWait(thumbs, shot, 320).isNull());
        QCOMPARE(shot->duration, 12.5);
    }

    // A file that changed has a new modification time and so new keys: the
    // old image is not offered and the next load decodes again.
    void modifiedFileMissesCache() {
        FakeDecoder fake;
        Thumbs thumbs(fake.decoder());
        const QString path = QStringLiteral("/s/edited.png");
        QVERIFY(!loadAndWait(thumbs, makeShot(path, 1000.0), 320).isNull());
        QVERIFY(thumbs.cached(*makeShot(path, 1000.0), 320));
        const ShotPtr edited = makeShot(path, 1000.5);
        QVERIFY(!thumbs.cached(*edited, 2560));
        QVERIFY(!loadAndWait(thumbs, edited, 320).isNull());
        QCOMPARE(fake.calls.load(), 2);
        QVERIFY(thumbs.cached(*edited, 320));
    }

    // No more than four files decode at once, however many cells ask.
    void atMostFourDecodes() {
        FakeDecoder fake;
        fake.gated = true;
        Thumbs thumbs(fake.decoder());
        int answers = 0;
        for (int i = 0; i < 10; ++i)
            thumbs.load(makeShot(QStringLiteral("/s/%1.png").arg(i), 1.0), 160,
                        [&answers](const QImage&) { ++answers; });
        QTRY_COMPARE(fake.active.load(), Thumbs::maxDecodes);
        for (int i = 0; i < 10; ++i) {
            fake.gate.release();
            QTRY_COMPARE(answers, i + 1);
        }
        QCOMPARE(fake.calls.load(), 10);
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
        QCOMPARE(fit, 24);
        QList<ShotPtr> shots;
        for (int i = 0; i <= fit; ++i)
            shots.append(makeShot(QStringLiteral("/s/%1.png").arg(i), 1.0));
        for (int i = 0; i < fit; ++i)
            QVERIFY(!loadAndWait(thumbs, shots[i], 2560).isNull());
        for (int i = 0; i < fit; ++i)
            QVERIFY2(thumbs.cached(*shots[i], 2560), qPrintable(QString::number(i)));
        QVERIFY(!loadAndWait(thumbs, shots[fit], 2560).isNull());
        QVERIFY(!thumbs.cached(*shots[0], 2560));
        for (int i = 1; i <= fit; ++i)
            QVERIFY(thumbs.cached(*shots[i], 2560));
    }

    // Destroying the cache while decodes run waits for them and drops their
    // completions instead of calling into a dead object.
    void destroyedWhileDecoding() {
        FakeDecoder fake;
        fake.gated = true;
        auto thumbs = std::make_unique<Thumbs>(fake.decoder());
        bool called = false;
        for (int i = 0; i < 6; ++i)
            thumbs->load(makeShot(QStringLiteral("/s/%1.png").arg(i), 1.0), 160,
                         [&called](const QImage&) { called = true; });
        QTRY_COMPARE(fake.active.load(), Thumbs::maxDecodes);
        fake.gate.release(6);
        thumbs.reset();
        QCoreApplication::processEvents();
        QVERIFY(!called);
        QCOMPARE(fake.active.load(), 0);
    }
};

TAMBERK_TEST(tst_Thumbs)
#include "tst_Thumbs.moc"
