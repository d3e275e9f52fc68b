#include "TestEnv.h"
#include "ThumbFixtures.h"
#include "content/Thumbs.h"
#include "platform/VideoDecoder.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <limits>

using namespace ThumbFixtures;

class tst_VideoDecoder : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    // The poster is taken a third into short clips and at half a second
    // into longer ones; without a usable duration, at the start.
    void sampleTime_data() {
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("at");
        QTest::newRow("ten seconds") << 10.0 << 0.5;
        QTest::newRow("1.5 s") << 1.5 << 0.5;
        QTest::newRow("0.9 s") << 0.9 << 0.3;
        QTest::newRow("zero") << 0.0 << 0.0;
        QTest::newRow("negative") << -2.0 << 0.0;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 0.0;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 0.0;
    }
    void sampleTime() {
        QFETCH(double, duration);
        QFETCH(double, at);
        QCOMPARE(VideoDecoder::sampleTime(duration), at);
    }

    // The frame shown is the one at the sample time: each clip is red only
    // around that time, green before and blue after.
    void posterAtSampleTime_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("redFrom");
        QTest::addColumn<double>("redTo");
        QTest::newRow("10 s clip, 0.5 s") << 10.0 << 0.45 << 0.55;
        QTest::newRow("0.9 s clip, 0.3 s") << 0.9 << 0.25 << 0.35;
    }
    void posterAtSampleTime() {
        QFETCH(double, seconds);
        QFETCH(double, redFrom);
        QFETCH(double, redTo);
        if (!haveFfmpeg())
            QSKIP("the ffmpeg command line is not installed");
        const QString clip = path(QStringLiteral("clip-%1.mp4").arg(seconds));
        QVERIFY(timedClip(clip, seconds, redFrom, redTo));

        const VideoDecoder::Poster poster = VideoDecoder::poster(clip, 320);
        QVERIFY(std::abs(poster.duration - seconds) < 0.05);
        QCOMPARE(poster.image.size(), QSize(160, 90));
        QVERIFY2(near(poster.image, 0.5, 0.5, Qt::red),
                 qPrintable(poster.image.pixelColor(80, 45).name()));
        QCOMPARE(VideoDecoder::poster(clip, 80).image.size(), QSize(80, 45));
    }

    // A stream whose display matrix turns it is shown turned, as players
    // show it: the "rotate=90" tag turns the picture a quarter to the left.
    void displayMatrixApplied() {
        if (!haveFfmpeg())
            QSKIP("the ffmpeg command line is not installed");
        const QString plain = path(QStringLiteral("plain.mp4"));
        const QString turned = path(QStringLiteral("turned.mp4"));
        QVERIFY(ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("color=c=black:s=160x90:r=30:d=1,format=rgb24,"
                                       "geq=r='255*lt(X,W/2)':g=0:b='255*gte(X,W/2)'"),
                        QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-q:v"),
                        QStringLiteral("2"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                        plain}));
        QVERIFY(ffmpeg({QStringLiteral("-i"), plain, QStringLiteral("-c"), QStringLiteral("copy"),
                        QStringLiteral("-metadata:s:v:0"), QStringLiteral("rotate=90"), turned}));

        const QImage upright = VideoDecoder::poster(plain, 320).image;
        QCOMPARE(upright.size(), QSize(160, 90));
        QVERIFY(near(upright, 0.2, 0.5, Qt::red));

        const QImage image = VideoDecoder::poster(turned, 320).image;
        QCOMPARE(image.size(), QSize(90, 160));
        QVERIFY(near(image, 0.5, 0.1, Qt::blue));
        QVERIFY(near(image, 0.5, 0.9, Qt::red));
    }

    // Through the cache, a turned recording corrects the shot's aspect and
    // records its duration.
    void cacheCorrectsRecording() {
        if (!haveFfmpeg())
            QSKIP("the ffmpeg command line is not installed");
        const QString plain = path(QStringLiteral("plain2.mp4"));
        const QString turned = path(QStringLiteral("turned2.mp4"));
        QVERIFY(timedClip(plain, 2.0, 0.4, 0.6));
        QVERIFY(ffmpeg({QStringLiteral("-i"), plain, QStringLiteral("-c"), QStringLiteral("copy"),
                        QStringLiteral("-metadata:s:v:0"), QStringLiteral("rotate=90"), turned}));
        Thumbs thumbs;
        QSignalSpy aspect(&thumbs, &Thumbs::aspectChanged);
        const ShotPtr shot = std::make_shared<Shot>(turned, 1.0, 1.0, QSizeF(160, 90), true, true);
        QImage result;
        bool done = false;
        thumbs.load(shot, 160, [&](const QImage& image) {
            result = image;
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done, 30000);
        QCOMPARE(result.size(), QSize(90, 160));
        QVERIFY(near(result, 0.5, 0.5, Qt::red));
        QCOMPARE(shot->pixelSize, QSizeF(90, 160));
        QCOMPARE(aspect.count(), 1);
        QVERIFY(std::abs(shot->duration - 2.0) < 0.05);
    }

    // Files that are not recordings, or are cut short, give no frame.
    void badFiles() {
        QVERIFY(VideoDecoder::poster(path(QStringLiteral("missing.mp4")), 160).image.isNull());
        const QString junk = writeFile(path(QStringLiteral("junk.mp4")), QByteArray(4096, 'j'));
        QVERIFY(VideoDecoder::poster(junk, 160).image.isNull());
        QVERIFY(VideoDecoder::poster(writeFile(path(QStringLiteral("empty.mov")), {}), 160)
                    .image.isNull());
        if (!haveFfmpeg())
            return;
        const QString clip = path(QStringLiteral("whole.mp4"));
        QVERIFY(timedClip(clip, 1.0, 0.2, 0.4));
        QFile file(clip);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        for (const int keep : {64, int(bytes.size() / 3)}) {
            const QString cut =
                writeFile(path(QStringLiteral("cut%1.mp4").arg(keep)), bytes.left(keep));
            const QImage image = VideoDecoder::poster(cut, 160).image;
            QVERIFY(image.isNull() || image.width() <= 160);
        }
    }
};

TAMBERK_TEST(tst_VideoDecoder)
#include "tst_VideoDecoder.moc"
