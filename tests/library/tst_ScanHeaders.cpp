#include "TestEnv.h"
#include "library/FolderScanner.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QTest>
#include <QtEndian>
#include <libheif/heif.h>
#include <tuple>

namespace {

QImage sample(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 7, y * 5, 90));
    return image;
}

QByteArray encoded(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    return writer.write(image) ? bytes : QByteArray();
}

QByteArray be16(int v) {
    return QByteArray(1, char(v >> 8)) + char(v & 0xFF);
}

// An EXIF block holding only the orientation, in either byte order.
QByteArray exif(int orientation, bool bigEndian) {
    QByteArray tiff = bigEndian ? "MM" : "II";
    auto put = [&](quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            tiff += char(v >> (8 * (bigEndian ? bytes - 1 - i : i)));
    };
    // Header, one entry: tag 0x0112, type short, count 1, the value; no next IFD.
    const std::pair<quint32, int> fields[] = {
        {42, 2}, {8, 4}, {1, 2}, {0x0112, 2}, {3, 2}, {1, 4}, {quint32(orientation), 2},
        {0, 2},  {0, 4}};
    for (auto [v, n] : fields)
        put(v, n);
    return QByteArray("Exif\0\0", 6) + tiff;
}

QByteArray segment(int marker, const QByteArray& payload) {
    return QByteArray(1, char(0xFF)) + char(marker) + be16(int(payload.size()) + 2) + payload;
}

// A real JPEG with segments inserted right after its start marker.
QByteArray jpegWith(const QByteArray& segments, int w = 40, int h = 30) {
    const QByteArray jpeg = encoded(sample(w, h), "JPEG");
    return jpeg.left(2) + segments + jpeg.mid(2);
}

// The first bytes of a JPEG whose frame header claims `w` x `h`.
QByteArray jpegHeader(int w, int h, const QByteArray& segments) {
    return QByteArray::fromHex("FFD8") + segments +
           segment(0xC0, QByteArray(1, 8) + be16(h) + be16(w) + QByteArray::fromHex("01011100")) +
           QByteArray::fromHex("FFD9");
}

QSizeF measured(const QByteArray& bytes) {
    TestEnv env;
    return FolderScanner::pixelSize(writeFile(env.home() + "/x.png", bytes));
}

} // namespace

class tst_ScanHeaders : public QObject {
    Q_OBJECT
private slots:
    void header_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSizeF>("size");
        const QSizeF size(37, 21);
        QTest::newRow("png") << encoded(sample(37, 21), "PNG") << size;
        QTest::newRow("jpeg") << encoded(sample(37, 21), "JPEG") << size;
        QTest::newRow("tiff") << encoded(sample(37, 21), "TIFF") << size;
        QTest::newRow("webp lossy") << encoded(sample(37, 21), "WEBP", 50) << size;
        QTest::newRow("webp lossless") << encoded(sample(37, 21), "WEBP", 100) << size;
        QTest::newRow("gif") << QByteArray("GIF89a\x25\x00\x15\x00\x80\x00\x00", 13) << size;
        QTest::newRow("webp extended")
            << QByteArray("RIFF\x00\x00\x00\x00WEBPVP8X\x0a\x00\x00\x00\x10\x00\x00\x00"
                          "\x24\x00\x00\x14\x00\x00",
                          30)
            << size;
        QByteArray topDown = encoded(sample(37, 21), "BMP");
        qToLittleEndian<qint32>(-21, topDown.data() + 22);
        QTest::newRow("bmp top-down") << topDown << size;
        // An ICC profile and comments before the frame header: read past the first window.
        QTest::newRow("jpeg, big segments first")
            << jpegWith(segment(0xE2, QByteArray(9000, 'p')) + segment(0xFE, QByteArray(700, 'c')))
            << QSizeF(40, 30);

        const QSizeF wide(4000, 3000), tall(3000, 4000);
        QTest::newRow("turned 6, big")
            << jpegHeader(4000, 3000, segment(0xE1, exif(6, true))) << tall;
        QTest::newRow("turned 3, big")
            << jpegHeader(4000, 3000, segment(0xE1, exif(3, true))) << wide;
        QTest::newRow("turned 5, real")
            << jpegWith(segment(0xE1, exif(5, false))) << QSizeF(30, 40);
        QTest::newRow("turned out of range")
            << jpegHeader(4000, 3000, segment(0xE1, exif(9, true))) << wide;
        QTest::newRow("turned, xmp first")
            << jpegHeader(64, 48,
                          segment(0xE1, "http://ns.adobe.com/xap/1.0/") +
                              segment(0xE1, exif(6, false)))
            << QSizeF(48, 64);

        const QSizeF none(0, 0);
        QTest::newRow("empty") << QByteArray() << none;
        QTest::newRow("text") << QByteArray("hello, this is not an image at all") << none;
        QTest::newRow("png cut") << encoded(sample(37, 21), "PNG").left(20) << none;
        QTest::newRow("jpeg cut") << jpegHeader(4000, 3000, {}).left(8) << none;
        QTest::newRow("jpeg zero length") << QByteArray::fromHex("FFD8FFE10000") << none;
        QTest::newRow("jpeg scan first") << QByteArray::fromHex("FFD8FFDA000200") << none;
        QTest::newRow("zero size") << jpegHeader(0, 3000, {}) << none;
        QTest::newRow("tiff loop") << QByteArray::fromHex("49492A0008000000FFFF") << none;
        QTest::newRow("heif cut") << QByteArray("\0\0\0\x18"
                                                "ftypheic",
                                                12)
                                  << none;
    }

    // A picture's size, turned by its orientation (5 and up swap width and
    // height), is read from its header alone; broken and foreign files give
    // (0, 0), never a crash.
    void header() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSizeF, size);
        QCOMPARE(measured(bytes), size);
    }

    // HEIF goes through libheif, whatever the extension says.
    void heif() {
        heif_context* ctx = heif_context_alloc();
        heif_encoder* encoder = nullptr;
        if (heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder).code !=
            heif_error_Ok) {
            heif_context_free(ctx);
            QSKIP("libheif has no HEVC encoder here");
        }
        heif_image* image = nullptr;
        heif_image_create(64, 48, heif_colorspace_YCbCr, heif_chroma_420, &image);
        const std::tuple<heif_channel, int, int> planes[] = {
            {heif_channel_Y, 64, 48}, {heif_channel_Cb, 32, 24}, {heif_channel_Cr, 32, 24}};
        for (auto [channel, w, h] : planes) {
            heif_image_add_plane(image, channel, w, h, 8);
            int stride = 0;
            memset(heif_image_get_plane(image, channel, &stride), 128, size_t(stride) * size_t(h));
        }
        TestEnv env;
        const QString path = env.home() + "/Screenshot.heic";
        heif_context_encode_image(ctx, image, encoder, nullptr, nullptr);
        const bool written =
            heif_context_write_to_file(ctx, QFile::encodeName(path).constData()).code ==
            heif_error_Ok;
        heif_image_release(image);
        heif_encoder_release(encoder);
        heif_context_free(ctx);
        QVERIFY(written);
        QCOMPARE(FolderScanner::pixelSize(path), QSizeF(64, 48));
        QVERIFY(QFile::copy(path, env.home() + "/misnamed.png"));
        QCOMPARE(FolderScanner::pixelSize(env.home() + "/misnamed.png"), QSizeF(64, 48));
    }
};

TAMBERK_TEST(tst_ScanHeaders)
#include "tst_ScanHeaders.moc"
