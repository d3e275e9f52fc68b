#include "Media.h"
#include "TestEnv.h"
#include "content/TextIndex.h"
#include "platform/ImageDecoder.h"
#include "platform/ImageHeader.h"
#include "platform/ImageShrink.h"
#include "platform/VideoDecoder.h"

#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <array>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>

using namespace Media;
using Reader = std::function<bool(const QString& path)>; // true: it produced something
Q_DECLARE_METATYPE(Reader)

// Still and recording decoders on generated files.
class tst_Decoders : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }
    QImage thumbnail(const char* name, const QByteArray& bytes, int box = 160) const {
        return ImageDecoder::thumbnail(writeFile(path(name), bytes), box);
    }

    // A 64 × 64 JPEG whose frame header claims width × height; whether it decodes.
    bool patchedJpegDecodes(bool progressive, int width, int height) const {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(progressive);
        writer.write(halves({64, 64}, Qt::red, Qt::blue));
        const qsizetype sof = jpeg.indexOf(QByteArray(progressive ? "\xff\xc2" : "\xff\xc0", 2));
        if (sof < 0)
            qFatal("no frame header");
        jpeg.replace(sof + 5, 4, be16(height) + be16(width));
        return !thumbnail("patched.jpg", jpeg, 320).isNull();
    }

private slots:
    void init() {
        if (!haveFfmpeg() && QByteArray(QTest::currentTestFunction()).startsWith("poster"))
            QSKIP("the ffmpeg command line is not installed");
    }

    // Shrinking averages what each pixel covers, across uneven steps, premultiplied.
    void shrinkAverages_data() {
        QTest::addColumn<QImage::Format>("format");
        QTest::addColumn<QSize>("from");
        QTest::addColumn<QSize>("to");
        QTest::newRow("rgb32 by 3") << QImage::Format_RGB32 << QSize(300, 90) << QSize(100, 30);
        QTest::newRow("argb32 uneven") << QImage::Format_ARGB32 << QSize(301, 97) << QSize(70, 31);
        QTest::newRow("rgb888 uneven") << QImage::Format_RGB888 << QSize(199, 45) << QSize(53, 12);
    }
    void shrinkAverages() {
        QFETCH(QImage::Format, format);
        QFETCH(QSize, from);
        QFETCH(QSize, to);
        QImage source(from, format);
        for (int y = 0; y < from.height(); ++y) {
            for (int x = 0; x < from.width(); ++x) {
                const QColor c = x < from.width() / 4        ? QColor(Qt::red)
                                 : x >= from.width() * 3 / 4 ? QColor(0, 0, 255, 128)
                                 : (x + y) % 2               ? QColor(200, 200, 200)
                                                             : QColor(0, 0, 0);
                source.setPixelColor(x, y, c);
            }
        }
        const QImage out = ImageShrink::to(source, to);
        QCOMPARE(out.size(), to);
        QCOMPARE(out.hasAlphaChannel(), source.hasAlphaChannel());
        QVERIFY(near(out, 0.1, 0.5, Qt::red));
        const QColor mid = out.pixelColor(to.width() / 2, to.height() / 2);
        QVERIFY2(std::abs(mid.red() - 100) <= 12 && mid.red() == mid.blue(),
                 qPrintable(mid.name()));
        const QColor right = out.pixelColor(to.width() - 2, 1);
        QVERIFY2(!source.hasAlphaChannel() ||
                     (std::abs(right.alpha() - 128) <= 2 && right.blue() >= 250),
                 qPrintable(right.name(QColor::HexArgb)));
    }

    // Stills of every kind arrive shrunk and whole while Qt's global pool is blocked.
    void decodesKeepOffTheGlobalPool() {
        const QImage picture = halves({2000, 1200}, Qt::red, Qt::blue);
        const QStringList files{path("pool.jpg"), path("pool.png"), path("pool-indexed.png"),
                                path("pool.webp")};
        QVERIFY(picture.save(files[0], "jpeg"));
        QVERIFY(picture.convertToFormat(QImage::Format_ARGB32).save(files[1], "png"));
        QVERIFY(picture.convertToFormat(QImage::Format_Indexed8).save(files[2], "png"));
        QVERIFY(picture.save(files[3], "webp"));
        QThreadPool* global = QThreadPool::globalInstance();
        const int threads = global->maxThreadCount();
        global->setMaxThreadCount(1);
        QSemaphore blocked, release, done;
        global->start([&] {
            blocked.release();
            release.acquire();
        });
        blocked.acquire();
        QList<QImage> images;
        std::unique_ptr<QThread> worker(QThread::create([&] {
            for (const QString& file : files)
                images << ImageDecoder::thumbnail(file, 320);
            done.release();
        }));
        worker->start();
        // Only bounds the fault of a decode waiting on the pool.
        const bool finished = done.tryAcquire(1, 60000);
        release.release();
        worker->wait();
        global->waitForDone();
        global->setMaxThreadCount(threads);
        QVERIFY(finished);
        QCOMPARE(images.size(), files.size());
        for (const QImage& image : std::as_const(images)) {
            QCOMPARE(image.size(), QSize(320, 192));
            QVERIFY(near(image, 0.2, 0.5, Qt::red) && near(image, 0.8, 0.5, Qt::blue));
        }
    }

    // EXIF turns apply; a huge page decodes scaled, ends kept; small images are not enlarged.
    void thumbnailsKeepThePicture() {
        QImage image =
            thumbnail("turned.jpg", turnedJpeg(halves({400, 200}, Qt::red, Qt::blue), 6));
        QCOMPARE(image.size(), QSize(80, 160));
        QVERIFY(near(image, 0.5, 0.1, Qt::red) && near(image, 0.5, 0.9, Qt::blue));
        QImage page(1920, 20000, QImage::Format_RGB32);
        page.fill(Qt::blue);
        QPainter(&page).fillRect(0, 0, 1920, 10000, Qt::red);
        QImageWriter writer(path("page.png"), "png");
        writer.setCompression(1);
        QVERIFY(writer.write(page));
        image = ImageDecoder::thumbnail(path("page.png"), 160);
        QCOMPARE(image.size(), QSize(15, 160));
        QVERIFY(near(image, 0.5, 0.1, Qt::red) && near(image, 0.5, 0.9, Qt::blue));
        QCOMPARE(ImageDecoder::fitted({100, 50}, 320), QSize(100, 50));
        QCOMPARE(ImageDecoder::fitted({10000, 3}, 160), QSize(160, 1));
    }

    // Missing, empty, foreign, truncated or oversized files yield no picture and no crash.
    void badFiles() {
        const QByteArray png = encoded(halves({300, 300}, Qt::red, Qt::blue), "png");
        QVERIFY(ImageDecoder::thumbnail(path("missing.png"), 160).isNull());
        QVERIFY(ImageDecoder::thumbnail(m_dir.path(), 160).isNull());
        QVERIFY(thumbnail("empty.png", {}).isNull());
        QVERIFY(thumbnail("text.png", "hello, not an image").isNull());
        QVERIFY(thumbnail("fake.heic", QByteArray("\0\0\0\x18"
                                                  "ftypheic\0\0\0\0mif1heic",
                                                  24))
                    .isNull());
        QVERIFY(thumbnail("cut.png", png.left(png.size() / 2)).isNull());
        // A 390-byte PNG claiming 20000 × 20000 RGBA pixels, holding four rows.
        const QByteArray bomb = QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAATiAAAE4gCAYAAADjcEY5AAABTUlEQVR42u3BMQEAAADCoPVPbQlPo" +
            QByteArray(420, 'A') + "D+BuJAAAHKBQL5AAAAAElFTkSuQmCC");
        QVERIFY(thumbnail("bomb.png", bomb, 320).isNull());
        QVERIFY(!patchedJpegDecodes(true, 30000, 20000));
        QVERIFY(!patchedJpegDecodes(false, 65000, 65000));
        QVERIFY(patchedJpegDecodes(true, 64, 64));
        QVERIFY(VideoDecoder::poster(path("missing.mp4"), 160).image.isNull());
        QVERIFY(VideoDecoder::poster(writeFile(path("junk.mp4"), QByteArray(4096, 'j')), 160)
                    .image.isNull());
    }

    void fifoIsRefused_data() {
        QTest::addColumn<Reader>("read");
        QTest::newRow("thumbnail")
            << Reader([](const QString& p) { return !ImageDecoder::thumbnail(p, 160).isNull(); });
        QTest::newRow("recording poster") << Reader(
            [](const QString& p) { return !VideoDecoder::poster(p, 160).image.isNull(); });
        QTest::newRow("header") << Reader(
            [](const QString& p) { return ImageHeader::read(p).has_value(); });
        QTest::newRow("text recognition")
            << Reader([](const QString& p) { return !TextIndex::recognize(p).isEmpty(); });
    }

    // A FIFO is refused at once by every decoder instead of blocking its thread.
    void fifoIsRefused() {
        QFETCH(Reader, read);
        const QByteArray fifo = QFile::encodeName(m_dir.filePath("Screenshot.png"));
        ::unlink(fifo.constData());
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        std::atomic<bool> done{false}, produced{true};
        std::unique_ptr<QThread> thread(QThread::create([&] {
            produced = read(QFile::decodeName(fifo));
            done = true;
        }));
        thread->start();
        const bool alone = QTest::qWaitFor([&] { return done.load(); }, 10000);
        // A reader that blocks is let go by a writer, so a failing test still ends.
        while (!done) {
            ::close(::open(fifo.constData(), O_WRONLY | O_NONBLOCK));
            QTest::qWait(10);
        }
        thread->wait();
        QVERIFY(alone);
        QVERIFY(!produced);
    }

    // A third into short clips (half a second into longer ones: below), else at the start.
    void sampleTime() {
        QCOMPARE(VideoDecoder::sampleTime(0.9), 0.3);
        QCOMPARE(VideoDecoder::sampleTime(std::numeric_limits<double>::quiet_NaN()), 0.0);
    }

    // The frame is the one at the sample time; a display matrix turns poster and frame size.
    void posterAtSampleTimeAndTurned() {
        const QString file = path("clip.mp4"), turned = path("turned.mp4");
        QVERIFY(
            clip(file, 10, "r='255*between(T,0.45,0.55)':g='255*lt(T,0.45)':b='255*gt(T,0.55)'"));
        VideoDecoder::Poster poster = VideoDecoder::poster(file, 320);
        QVERIFY(std::abs(poster.duration - 10) < 0.05);
        QCOMPARE(poster.image.size(), QSize(160, 90));
        QVERIFY(near(poster.image, 0.5, 0.5, Qt::red));
        QVERIFY(clip(file, 2, "r='255*lt(X,W/2)':g=0:b='255*gte(X,W/2)'"));
        QVERIFY(
            ffmpeg(QStringLiteral("-i %1 -c copy -metadata:s:v:0 rotate=90 %2").arg(file, turned)));
        poster = VideoDecoder::poster(turned, 320);
        QVERIFY(near(poster.image, 0.5, 0.1, Qt::blue) && near(poster.image, 0.5, 0.9, Qt::red));
        QCOMPARE(poster.frameSize, QSize(90, 160));
        const VideoDecoder::Poster small = VideoDecoder::poster(turned, 64);
        QCOMPARE(small.image.size(), QSize(36, 64));
        QCOMPARE(small.frameSize, QSize(90, 160));
    }

    // YUV is read by the declared matrix and range, else as players do (BT.709 above 576 lines).
    void posterColors_data() {
        QTest::addColumn<QString>("encode");
        QTest::addColumn<int>("green"); // red's green after decoding
        const auto red = [](const char* size, const char* declared = "") {
            return QStringLiteral("-f lavfi -i color=c=red:s=%1:d=1,format=rgb24 %2 "
                                  "-pix_fmt yuv420p -c:v libx264")
                .arg(size, declared);
        };
        QTest::newRow("declared BT.601, HD")
            << red("1280x720", "-vf scale=out_color_matrix=bt601:out_range=tv "
                               "-colorspace smpte170m -color_range tv")
            << 0;
        QTest::newRow("declared full range")
            << red("640x480", "-vf scale=out_color_matrix=bt601:out_range=pc "
                              "-colorspace smpte170m -color_range pc")
            << 0;
        QTest::newRow("undeclared SD: BT.601") << red("640x480") << 0;
        // BT.601 samples read as BT.709, as every player shows them.
        QTest::newRow("undeclared HD: BT.709") << red("1280x720") << 23;
    }
    void posterColors() {
        QFETCH(QString, encode);
        QFETCH(int, green);
        const QString file = path("colors.mp4");
        QVERIFY(ffmpeg(encode + " " + file));
        const QImage poster = VideoDecoder::poster(file, 64).image;
        const QColor seen = poster.pixelColor(poster.width() / 2, poster.height() / 2);
        QVERIFY2(seen.red() >= 249 && std::abs(seen.green() - green) <= 6 && seen.blue() <= 6,
                 qPrintable(seen.name()));
    }

    // Played frames in every layout give the same colour, by the matrix asked for.
    void playedFrames() {
        // Red as BT.601 samples, padded as a player's buffers are (the converter works in blocks).
        constexpr int w = 64, h = 16, chroma = w * h / 4 + 64;
        const char y = char(81), u = char(90), v = char(240);
        const QByteArray luma(w * h + 64, y), cb(chroma, u), cr(chroma, v);
        const QByteArray uv = (QByteArray(1, u) + v).repeated(w * h / 4 + 32);
        const QByteArray vu = (QByteArray(1, v) + u).repeated(w * h / 4 + 32);
        const auto at = [](const QByteArray& b) {
            return reinterpret_cast<const uchar*>(b.data());
        };
        using VideoDecoder::Layout;
        const std::tuple<Layout, std::array<const uchar*, 3>, std::array<int, 3>> layouts[] = {
            {Layout::i420, {at(luma), at(cb), at(cr)}, {w, w / 2, w / 2}},
            {Layout::yv12, {at(luma), at(cr), at(cb)}, {w, w / 2, w / 2}},
            {Layout::nv12, {at(luma), at(uv), nullptr}, {w, w, 0}},
            {Layout::nv21, {at(luma), at(vu), nullptr}, {w, w, 0}}};
        using Matrix = VideoDecoder::Colors::Matrix;
        for (const auto& [layout, planes, strides] : layouts) {
            for (const auto& [matrix, green] :
                 {std::pair(Matrix::bt601, 0), std::pair(Matrix::bt709, 23)}) {
                VideoDecoder::Colors colors;
                colors.matrix = matrix;
                const QColor seen = VideoDecoder::convert(layout, {w, h}, planes.data(),
                                                          strides.data(), colors, {w, h})
                                        .pixelColor(w / 2, h / 2);
                QVERIFY2(seen.red() >= 250 && std::abs(seen.green() - green) <= 4 &&
                             seen.blue() <= 4,
                         qPrintable(seen.name()));
            }
        }
    }
};

TAMBERK_TEST(tst_Decoders)
#include "tst_Decoders.moc"
