#include "TestEnv.h"
#include "ThumbFixtures.h"
#include "platform/ImageDecoder.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <libheif/heif.h>

using namespace ThumbFixtures;

class tst_ImageDecoder : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Writes a 64 × 64 JPEG whose frame header is edited to claim width ×
    // height, and returns the decoded size as "WxH", or empty for no image.
    QString patchedJpeg(const QString& name, bool progressive, int width, int height) const {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(progressive);
        if (!writer.write(halves({64, 64}, Qt::red, Qt::blue)))
            return QStringLiteral("not written");
        const qsizetype sof = jpeg.indexOf(QByteArray(progressive ? "\xff\xc2" : "\xff\xc0", 2));
        if (sof < 0)
            return QStringLiteral("no frame header");
        jpeg[sof + 5] = char(height >> 8);
        jpeg[sof + 6] = char(height & 0xff);
        jpeg[sof + 7] = char(width >> 8);
        jpeg[sof + 8] = char(width & 0xff);
        const QString file = writeFile(path(name), jpeg);
        const QImage image = ImageDecoder::thumbnail(file, 320);
        return image.isNull() ? QString()
                              : QStringLiteral("%1x%2").arg(image.width()).arg(image.height());
    }

private slots:
    // Every still format the folder may hold comes back shrunk to the box,
    // keeping its aspect and its picture (left red, right blue); a large JPEG
    // goes through DCT scaling and still lands exactly on the box.
    void formats_data() {
        QTest::addColumn<QByteArray>("format");
        for (const char* format : {"png", "jpeg", "gif", "webp", "bmp", "tiff"})
            QTest::newRow(format) << QByteArray(format);
    }
    void formats() {
        QFETCH(QByteArray, format);
        const QString file = path(QStringLiteral("halves.") + QString::fromLatin1(format));
        if (QImageWriter::supportedImageFormats().contains(format)) {
            QVERIFY(halves({1600, 800}, Qt::red, Qt::blue).save(file, format.constData()));
        } else {
            // Qt reads GIF but cannot write it; ImageMagick can.
            if (QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty())
                QSKIP("no writer for this format");
            const QString png = path(QStringLiteral("halves-source.png"));
            QVERIFY(halves({1600, 800}, Qt::red, Qt::blue).save(png));
            QCOMPARE(QProcess::execute(QStringLiteral("convert"), {png, file}), 0);
        }
        const QImage image = ImageDecoder::thumbnail(file, 160);
        QCOMPARE(image.size(), QSize(160, 80));
        QVERIFY(near(image, 0.2, 0.5, Qt::red));
        QVERIFY(near(image, 0.8, 0.5, Qt::blue));
    }

    // Small images are handed back at their own size, never enlarged; an
    // extreme strip keeps at least one pixel across.
    void fitsWithoutEnlarging() {
        const QString small = path(QStringLiteral("small.png"));
        QVERIFY(halves({100, 50}, Qt::red, Qt::blue).save(small));
        QCOMPARE(ImageDecoder::thumbnail(small, 320).size(), QSize(100, 50));
        QCOMPARE(ImageDecoder::fitted({10000, 3}, 160), QSize(160, 1));
        QCOMPARE(ImageDecoder::fitted({3000, 4000}, 320), QSize(240, 320));
        QVERIFY(ImageDecoder::thumbnail(small, 0).isNull());
    }

    // The Exif orientation is applied: a camera's "rotate 90° clockwise"
    // turns a landscape sensor image into a portrait thumbnail whose top
    // holds what was the left edge.
    void jpegOrientation() {
        const QString file = jpegWithOrientation(path(QStringLiteral("turned.jpg")),
                                                 halves({400, 200}, Qt::red, Qt::blue), 6);
        QVERIFY(!file.isEmpty());
        const QImage image = ImageDecoder::thumbnail(file, 160);
        QCOMPARE(image.size(), QSize(80, 160));
        QVERIFY(near(image, 0.5, 0.1, Qt::red));
        QVERIFY(near(image, 0.5, 0.9, Qt::blue));
    }

    // HEIC goes through libheif with its rotation box applied.
    void heic() {
        heif_context* context = heif_context_alloc();
        heif_encoder* encoder = nullptr;
        heif_image* picture = nullptr;
        heif_encoding_options* options = heif_encoding_options_alloc();
        const auto release = qScopeGuard([&] {
            heif_encoding_options_free(options);
            if (picture)
                heif_image_release(picture);
            if (encoder)
                heif_encoder_release(encoder);
            heif_context_free(context);
        });
        if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code !=
            heif_error_Ok)
            QSKIP("libheif has no HEVC encoder here");
        QCOMPARE(
            heif_image_create(256, 128, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &picture)
                .code,
            heif_error_Ok);
        heif_image_add_plane(picture, heif_channel_interleaved, 256, 128, 8);
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(picture, heif_channel_interleaved, &stride);
        const QImage source =
            halves({256, 128}, Qt::red, Qt::blue).convertToFormat(QImage::Format_RGB888);
        for (int y = 0; y < 128; ++y)
            memcpy(plane + y * stride, source.constScanLine(y), 256 * 3);
        options->image_orientation = heif_orientation_rotate_90_cw;
        QCOMPARE(heif_context_encode_image(context, picture, encoder, options, nullptr).code,
                 heif_error_Ok);
        const QString file = path(QStringLiteral("photo.heic"));
        QCOMPARE(heif_context_write_to_file(context, QFile::encodeName(file).constData()).code,
                 heif_error_Ok);

        const QImage image = ImageDecoder::thumbnail(file, 64);
        QCOMPARE(image.size(), QSize(32, 64));
        QVERIFY(near(image, 0.5, 0.1, Qt::red));
        QVERIFY(near(image, 0.5, 0.9, Qt::blue));
    }

    // Headers that claim more pixels than one decode may hold give no
    // thumbnail, without trying to allocate them.
    void decompressionBombs() {
        // A tiny file whose header claims 20000 × 20000 RGBA pixels.
        const QString bomb = blankPng(path(QStringLiteral("bomb.png")), 20000, 20000, true, false);
        QVERIFY(QFile(bomb).size() < 4096);
        QVERIFY(ImageDecoder::thumbnail(bomb, 320).isNull());
        // The same construction within the budget decodes.
        const QString modest = blankPng(path(QStringLiteral("modest.png")), 4000, 4000, true, true);
        QCOMPARE(ImageDecoder::thumbnail(modest, 320).size(), QSize(320, 320));

        // A progressive JPEG keeps every coefficient of the full image however
        // small the output: one claiming 30000 × 20000 would need 1.8 GB.
        QCOMPARE(patchedJpeg(QStringLiteral("progressive.jpg"), true, 30000, 20000), QString());
        // A baseline one claiming 65000 × 65000 would need too much even at 1/8 scale.
        QCOMPARE(patchedJpeg(QStringLiteral("baseline.jpg"), false, 65000, 65000), QString());
        // Modest claims still go through the same path.
        QCOMPARE(patchedJpeg(QStringLiteral("small.jpg"), true, 64, 64), QStringLiteral("64x64"));
    }

    // Missing, empty, foreign and truncated files yield no image and no crash.
    void badFiles() {
        for (const QString& bad :
             {path(QStringLiteral("missing.png")), writeFile(path(QStringLiteral("empty.png")), {}),
              writeFile(path(QStringLiteral("text.png")), "hello, not an image"), m_dir.path()})
            QVERIFY2(ImageDecoder::thumbnail(bad, 160).isNull(), qPrintable(bad));
        const QString whole = path(QStringLiteral("whole.png"));
        QVERIFY(halves({300, 300}, Qt::red, Qt::blue).save(whole));
        QFile file(whole);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        for (const int keep : {8, 33, 60, int(bytes.size() / 2)}) {
            const QString cut =
                writeFile(path(QStringLiteral("cut%1.png").arg(keep)), bytes.left(keep));
            const QImage image = ImageDecoder::thumbnail(cut, 160);
            QVERIFY(image.isNull() || image.width() <= 160);
        }
        QVERIFY(ImageDecoder::thumbnail(writeFile(path(QStringLiteral("fake.heic")),
                                                  QByteArray("\0\0\0\x18"
                                                             "ftypheic\0\0\0\0mif1heic",
                                                             24)),
                                        160)
                    .isNull());
    }
};

TAMBERK_TEST(tst_ImageDecoder)
#include "tst_ImageDecoder.moc"
