#include "Media.h"
#include "TestEnv.h"
#include "platform/VideoDecoder.h"

#include <QTest>
#include <array>
#include <cmath>
#include <limits>

using namespace Media;

class tst_VideoDecoder : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private slots:
    void init() {
        if (!haveFfmpeg() && QByteArray(QTest::currentTestFunction()).startsWith("poster"))
            QSKIP("the ffmpeg command line is not installed");
    }

    // A third into short clips (half a second into longer ones: below), else at the start.
    void sampleTime() {
        QCOMPARE(VideoDecoder::sampleTime(0.9), 0.3);
        QCOMPARE(VideoDecoder::sampleTime(std::numeric_limits<double>::quiet_NaN()), 0.0);
    }

    // The frame shown is the one at the sample time (red only around 0.5 s); a display matrix
    // turns the poster and frame size, also for a poster smaller than the frame.
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
        constexpr int w = 64, h = 16, pad = 64;
        const QSize size(w, h);
        const char y = char(81), u = char(90), v = char(240);
        const QByteArray luma(w * h + pad, y), cb(w * h / 4 + pad, u), cr(w * h / 4 + pad, v);
        QByteArray uv, vu;
        for (int i = 0; i < w * h / 4 + pad / 2; ++i) {
            uv.append(u).append(v);
            vu.append(v).append(u);
        }
        using VideoDecoder::Layout;
        const std::tuple<Layout, std::array<const QByteArray*, 3>, std::array<int, 3>> layouts[] = {
            {Layout::i420, {&luma, &cb, &cr}, {w, w / 2, w / 2}},
            {Layout::yv12, {&luma, &cr, &cb}, {w, w / 2, w / 2}},
            {Layout::nv12, {&luma, &uv, nullptr}, {w, w, 0}},
            {Layout::nv21, {&luma, &vu, nullptr}, {w, w, 0}}};
        for (const auto& [layout, bytes, strides] : layouts) {
            const uchar* planes[3];
            for (int i = 0; i < 3; ++i)
                planes[i] =
                    bytes[i] ? reinterpret_cast<const uchar*>(bytes[i]->constData()) : nullptr;
            using Matrix = VideoDecoder::Colors::Matrix;
            for (const auto& [matrix, green] :
                 {std::pair(Matrix::bt601, 0), std::pair(Matrix::bt709, 23)}) {
                VideoDecoder::Colors colors;
                colors.matrix = matrix;
                const QColor seen =
                    VideoDecoder::convert(layout, size, planes, strides.data(), colors, size)
                        .pixelColor(w / 2, h / 2);
                QVERIFY2(seen.red() >= 250 && std::abs(seen.green() - green) <= 4 &&
                             seen.blue() <= 4,
                         qPrintable(seen.name()));
            }
        }
    }
};

TAMBERK_TEST(tst_VideoDecoder)
#include "tst_VideoDecoder.moc"
