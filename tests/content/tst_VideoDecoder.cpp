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

    // A recording whose display matrix turns it is shown turned, and through
    // the cache the shot's aspect is corrected and announced.
    void turnedRecordingThroughCache() {
        if (!haveFfmpeg())
            QSKIP("the ffmpeg command line is not installed");
        const QString plain = path(QStringLiteral("plain.mp4"));
        const QString turned = path(QStringLiteral("turned.mp4"));
        QVERIFY(clip(plain, 2, QStringLiteral("r='255*lt(X,W/2)':g=0:b='255*gte(X,W/2)'")));
        QVERIFY(ffmpeg(
            QStringLiteral("-i %1 -c copy -metadata:s:v:0 rotate=90 %2").arg(plain, turned)));
        Thumbs thumbs;
        QSignalSpy aspect(&thumbs, &Thumbs::aspectChanged);
        const ShotPtr shot = std::make_shared<Shot>(turned, 1.0, 1.0, QSizeF(160, 90), true, true);
        QImage result;
        bool done = false;
        thumbs.load(shot, 320, [&](const QImage& image) {
            result = image;
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done, 30000);
        QVERIFY(near(result, 0.5, 0.1, Qt::blue) && near(result, 0.5, 0.9, Qt::red));
        QCOMPARE(shot->pixelSize, QSizeF(90, 160));
        // A poster smaller than the frame still gives the frame's size.
        const VideoDecoder::Poster small = VideoDecoder::poster(turned, 64);
        QCOMPARE(small.image.size(), QSize(36, 64));
        QCOMPARE(small.frameSize, QSize(90, 160));
        QCOMPARE(aspect.count(), 1);
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
