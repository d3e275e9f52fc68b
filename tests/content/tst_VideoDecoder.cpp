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
    void sampleTime() {
        constexpr double inf = std::numeric_limits<double>::infinity();
        const std::pair<double, double> cases[] = {
            {10, 0.5}, {0.9, 0.3}, {0, 0}, {inf, 0}, {std::numeric_limits<double>::quiet_NaN(), 0}};
        for (const auto& [duration, at] : cases)
            QCOMPARE(VideoDecoder::sampleTime(duration), at);
    }

    // The frame shown is the one at the sample time: the clip is red only
    // around that time, green before and blue after.
    void posterAtSampleTime() {
        if (!haveFfmpeg())
            QSKIP("the ffmpeg command line is not installed");
        const QString clip = path(QStringLiteral("clip.mp4"));
        QVERIFY(timedClip(clip, 10, 0.45, 0.55));

        const VideoDecoder::Poster poster = VideoDecoder::poster(clip, 320);
        QVERIFY(std::abs(poster.duration - 10) < 0.05);
        QCOMPARE(poster.image.size(), QSize(160, 90));
        QVERIFY2(near(poster.image, 0.5, 0.5, Qt::red),
                 qPrintable(poster.image.pixelColor(80, 45).name()));
        QCOMPARE(VideoDecoder::poster(clip, 80).image.size(), QSize(80, 45));
    }

    // A recording whose display matrix turns it is shown turned, as players
    // show it ("rotate=90" turns the picture a quarter to the left); through
    // the cache this corrects the shot's aspect and records its duration.
    void turnedRecordingThroughCache() {
        if (!haveFfmpeg())
            QSKIP("the ffmpeg command line is not installed");
        const QString plain = path(QStringLiteral("plain.mp4"));
        const QString turnedClip = path(QStringLiteral("turned.mp4"));
        QVERIFY(clip(plain, 2, QStringLiteral("r='255*lt(X,W/2)':g=0:b='255*gte(X,W/2)'")));
        QVERIFY(turned(plain, turnedClip));
        Thumbs thumbs;
        QSignalSpy aspect(&thumbs, &Thumbs::aspectChanged);
        const ShotPtr shot =
            std::make_shared<Shot>(turnedClip, 1.0, 1.0, QSizeF(160, 90), true, true);
        QImage result;
        bool done = false;
        thumbs.load(shot, 320, [&](const QImage& image) {
            result = image;
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done, 30000);
        QCOMPARE(result.size(), QSize(90, 160));
        QVERIFY(near(result, 0.5, 0.1, Qt::blue));
        QVERIFY(near(result, 0.5, 0.9, Qt::red));
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
