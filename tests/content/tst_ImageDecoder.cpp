#include "TestEnv.h"
#include "ThumbFixtures.h"
#include "platform/ImageDecoder.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

using namespace ThumbFixtures;

class tst_ImageDecoder : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // A 64 × 64 JPEG whose frame header claims width × height; whether it decodes.
    bool patchedJpegDecodes(const QString& name, bool progressive, int width, int height) const {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(progressive);
        writer.write(halves({64, 64}, Qt::red, Qt::blue));
        const qsizetype sof = jpeg.indexOf(QByteArray(progressive ? "\xff\xc2" : "\xff\xc0", 2));
        if (sof < 0)
            qFatal("no frame header");
        jpeg[sof + 5] = char(height >> 8);
        jpeg[sof + 6] = char(height & 0xff);
        jpeg[sof + 7] = char(width >> 8);
        jpeg[sof + 8] = char(width & 0xff);
        return !ImageDecoder::thumbnail(writeFile(path(name), jpeg), 320).isNull();
    }

private slots:
    // Still images come back shrunk to the box with aspect and picture kept.
    void formats_data() {
        QTest::addColumn<QByteArray>("format");
        for (const char* format : {"png", "jpeg", "webp"})
            QTest::newRow(format) << QByteArray(format);
    }
    void formats() {
        QFETCH(QByteArray, format);
        const QString file = path(QStringLiteral("halves.") + QString::fromLatin1(format));
        QVERIFY(halves({1600, 800}, Qt::red, Qt::blue).save(file, format.constData()));
        const QImage image = ImageDecoder::thumbnail(file, 160);
        QCOMPARE(image.size(), QSize(160, 80));
        QVERIFY(near(image, 0.2, 0.5, Qt::red) && near(image, 0.8, 0.5, Qt::blue));
    }

    // Small images are never enlarged; an extreme strip keeps one pixel across.
    void fitsWithoutEnlarging() {
        QCOMPARE(ImageDecoder::fitted({100, 50}, 320), QSize(100, 50));
        QCOMPARE(ImageDecoder::fitted({10000, 3}, 160), QSize(160, 1));
    }

    // The Exif orientation "rotate 90° clockwise" puts the left edge on top.
    void jpegOrientation() {
        const QString file = jpegWithOrientation(path(QStringLiteral("turned.jpg")),
                                                 halves({400, 200}, Qt::red, Qt::blue), 6);
        const QImage image = ImageDecoder::thumbnail(file, 160);
        QCOMPARE(image.size(), QSize(80, 160));
        QVERIFY(near(image, 0.5, 0.1, Qt::red) && near(image, 0.5, 0.9, Qt::blue));
    }

    // Headers claiming more pixels than one decode may hold give no thumbnail.
    void decompressionBombs() {
        // A 390-byte PNG claiming 20000 × 20000 RGBA pixels, holding four rows.
        const QByteArray bomb = QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAATiAAAE4gCAYAAADjcEY5AAABTUlEQVR42u3BMQEAAADCoPVPbQlPo" +
            QByteArray(420, 'A') + "D+BuJAAAHKBQL5AAAAAElFTkSuQmCC");
        QVERIFY(ImageDecoder::thumbnail(writeFile(path(QStringLiteral("bomb.png")), bomb), 320)
                    .isNull());
        QVERIFY(!patchedJpegDecodes(QStringLiteral("progressive.jpg"), true, 30000, 20000));
        QVERIFY(!patchedJpegDecodes(QStringLiteral("baseline.jpg"), false, 65000, 65000));
        QVERIFY(patchedJpegDecodes(QStringLiteral("small.jpg"), true, 64, 64));
    }

    // A full-page capture too large to decode whole is decoded scaled by the
    // PNG reader and keeps its top and bottom.
    void tallPage() {
        const QString file = path(QStringLiteral("page.png"));
        {
            QImage page(1920, 20000, QImage::Format_RGB32);
            page.fill(Qt::blue);
            QPainter(&page).fillRect(0, 0, 1920, 10000, Qt::red);
            QImageWriter writer(file, "png");
            writer.setCompression(1);
            QVERIFY(writer.write(page));
        }
        const QImage image = ImageDecoder::thumbnail(file, 160);
        QCOMPARE(image.size(), QSize(15, 160));
        QVERIFY(near(image, 0.5, 0.1, Qt::red) && near(image, 0.5, 0.9, Qt::blue));
    }

    // Missing, empty, foreign and truncated files yield no image and no crash.
    void badFiles() {
        for (const QString& bad :
             {path(QStringLiteral("missing.png")), writeFile(path(QStringLiteral("empty.png")), {}),
              writeFile(path(QStringLiteral("text.png")), "hello, not an image"), m_dir.path(),
              writeFile(path(QStringLiteral("fake.heic")), QByteArray("\0\0\0\x18"
                                                                      "ftypheic\0\0\0\0mif1heic",
                                                                      24))})
            QVERIFY2(ImageDecoder::thumbnail(bad, 160).isNull(), qPrintable(bad));
        const QString whole = path(QStringLiteral("whole.png"));
        QVERIFY(halves({300, 300}, Qt::red, Qt::blue).save(whole));
        QFile file(whole);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QString cut =
            writeFile(path(QStringLiteral("cut.png")), bytes.left(bytes.size() / 2));
        QVERIFY(ImageDecoder::thumbnail(cut, 160).isNull());
    }
};

TAMBERK_TEST(tst_ImageDecoder)
#include "tst_ImageDecoder.moc"
