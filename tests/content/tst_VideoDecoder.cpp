#include "Media.h"
#include "TestEnv.h"
#include "platform/VideoDecoder.h"

#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <cmath>
#include <limits>

using namespace Media;

class tst_VideoDecoder : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    // The poster is taken a third into short clips, at half a second into
    // longer ones, and at the start without a usable duration.
    void sampleTime() {
        const std::pair<double, double> cases[] = {
            {10, 0.5}, {0.9, 0.3}, {std::numeric_limits<double>::quiet_NaN(), 0}};
        for (const auto& [duration, at] : cases)
            QCOMPARE(VideoDecoder::sampleTime(duration), at);
    }

    // The frame shown is the one at the sample time: red only around 0.5 s.
    void posterAtSampleTime() {
        if (!haveFfmpeg())
            QSKIP("the ffmpeg command line is not installed");
        const QString file = path(QStringLiteral("clip.mp4"));
        QVERIFY(clip(file, 10,
                     QStringLiteral("r='255*between(T,0.45,0.55)':g='255*lt(T,0.45)':"
                                    "b='255*gt(T,0.55)'")));
        const VideoDecoder::Poster poster = VideoDecoder::poster(file, 320);
        QVERIFY(std::abs(poster.duration - 10) < 0.05);
        QCOMPARE(poster.image.size(), QSize(160, 90));
        QVERIFY(near(poster.image, 0.5, 0.5, Qt::red));
    }

    // A recording whose display matrix turns it gives a turned poster and
    // frame size, also when the poster is smaller than the frame.
    void turnedRecording() {
        if (!haveFfmpeg())
            QSKIP("the ffmpeg command line is not installed");
        const QString plain = path(QStringLiteral("plain.mp4"));
        const QString turned = path(QStringLiteral("turned.mp4"));
        QVERIFY(clip(plain, 2, QStringLiteral("r='255*lt(X,W/2)':g=0:b='255*gte(X,W/2)'")));
        QVERIFY(ffmpeg(
            QStringLiteral("-i %1 -c copy -metadata:s:v:0 rotate=90 %2").arg(plain, turned)));
        const VideoDecoder::Poster poster = VideoDecoder::poster(turned, 320);
        QVERIFY(near(poster.image, 0.5, 0.1, Qt::blue) && near(poster.image, 0.5, 0.9, Qt::red));
        QCOMPARE(poster.frameSize, QSize(90, 160));
        const VideoDecoder::Poster small = VideoDecoder::poster(turned, 64);
        QCOMPARE(small.image.size(), QSize(36, 64));
        QCOMPARE(small.frameSize, QSize(90, 160));
    }

    // The poster reads YUV with the matrix and range the stream declares, and
    // an undeclared stream as players do (BT.709 above 576 lines, else
    // BT.601); the played frames go through the same conversion, so red
    // encoded as BT.601 or BT.709 comes back red where it was declared.
    void posterColors_data() {
        QTest::addColumn<QString>("encode");
        QTest::addColumn<QColor>("expected");
        const QString red = QStringLiteral("-f lavfi -i color=c=red:s=%1:d=1,format=rgb24 ");
        QTest::newRow("declared BT.709, HD")
            << red.arg("1280x720") +
                   "-vf scale=out_color_matrix=bt709:out_range=tv -colorspace bt709 "
                   "-color_range tv -pix_fmt yuv420p -c:v libx264"
            << QColor(255, 0, 0);
        QTest::newRow("declared BT.601, HD")
            << red.arg("1280x720") +
                   "-vf scale=out_color_matrix=bt601:out_range=tv -colorspace smpte170m "
                   "-color_range tv -pix_fmt yuv420p -c:v libx264"
            << QColor(255, 0, 0);
        QTest::newRow("declared full range")
            << red.arg("640x480") +
                   "-vf scale=out_color_matrix=bt601:out_range=pc -colorspace smpte170m "
                   "-color_range pc -pix_fmt yuv420p -c:v libx264"
            << QColor(255, 0, 0);
        QTest::newRow("undeclared SD: BT.601")
            << red.arg("640x480") + "-pix_fmt yuv420p -c:v libx264" << QColor(255, 0, 0);
        // BT.601 samples read as BT.709, as every player shows them.
        QTest::newRow("undeclared HD: BT.709")
            << red.arg("1280x720") + "-pix_fmt yuv420p -c:v libx264" << QColor(255, 23, 0);
    }
    void posterColors() {
        QFETCH(QString, encode);
        QFETCH(QColor, expected);
        if (!haveFfmpeg())
            QSKIP("the ffmpeg command line is not installed");
        const QString file = path(QStringLiteral("colors.mp4"));
        QVERIFY(ffmpeg(encode + " " + file));
        const QImage poster = VideoDecoder::poster(file, 64).image;
        const QColor seen = poster.pixelColor(poster.width() / 2, poster.height() / 2);
        QVERIFY2(std::abs(seen.red() - expected.red()) <= 6 &&
                     std::abs(seen.green() - expected.green()) <= 6 &&
                     std::abs(seen.blue() - expected.blue()) <= 6,
                 qPrintable(seen.name()));
    }

    // Played frames are converted like posters: the same samples in every
    // layout give the same colour, by the matrix asked for.
    void playedFrames() {
        // Red as BT.601 video-range samples, in planes with the padding a
        // player's buffers have (the converter reads and writes in blocks).
        constexpr int w = 64, h = 16, pad = 64;
        const QSize size(w, h);
        const uchar y = 81, u = 90, v = 240;
        const QByteArray luma(w * h + pad, char(y)), cb(w * h / 4 + pad, char(u)),
            cr(w * h / 4 + pad, char(v));
        QByteArray uv, vu;
        for (int i = 0; i < w * h / 4 + pad / 2; ++i) {
            uv += char(u), uv += char(v);
            vu += char(v), vu += char(u);
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
            VideoDecoder::Colors colors;
            colors.matrix = VideoDecoder::Colors::Matrix::bt601;
            const QColor bt601 =
                VideoDecoder::convert(layout, size, planes, strides.data(), colors, size)
                    .pixelColor(w / 2, h / 2);
            QVERIFY2(bt601.red() >= 250 && bt601.green() <= 4 && bt601.blue() <= 4,
                     qPrintable(bt601.name()));
            colors.matrix = VideoDecoder::Colors::Matrix::bt709;
            const QColor bt709 =
                VideoDecoder::convert(layout, size, planes, strides.data(), colors, size)
                    .pixelColor(w / 2, h / 2);
            QVERIFY2(std::abs(bt709.green() - 23) <= 4, qPrintable(bt709.name()));
        }
    }

    // Files that are not recordings give no frame.
    void badFiles() {
        QVERIFY(VideoDecoder::poster(path(QStringLiteral("missing.mp4")), 160).image.isNull());
        const QString junk = writeFile(path(QStringLiteral("junk.mp4")), QByteArray(4096, 'j'));
        QVERIFY(VideoDecoder::poster(junk, 160).image.isNull());
    }
};

TAMBERK_TEST(tst_VideoDecoder)
#include "tst_VideoDecoder.moc"
