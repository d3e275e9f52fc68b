#include "TestEnv.h"
#include "library/FolderScanner.h"
#include "platform/ImageHeader.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTest>
#include <QtEndian>
#include <libheif/heif.h>

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
    QByteArray tiff;
    auto u16 = [&](int v) {
        tiff += bigEndian ? be16(v) : (QByteArray(1, char(v & 0xFF)) + char(v >> 8));
    };
    auto u32 = [&](quint32 v) {
        for (int i = 0; i < 4; ++i)
            tiff += char(bigEndian ? (v >> (24 - 8 * i)) & 0xFF : (v >> (8 * i)) & 0xFF);
    };
    tiff += bigEndian ? "MM" : "II";
    u16(42);
    u32(8);
    u16(1);
    u16(0x0112);
    u16(3);
    u32(1);
    u16(orientation);
    u16(0);
    u32(0);
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

std::optional<ImageHeader::Info> readBytes(const QByteArray& bytes, const QString& name = "x.img") {
    TestEnv env;
    return ImageHeader::read(writeFile(env.home() + "/" + name, bytes));
}

QSizeF measured(const QByteArray& bytes, const QString& name = "x.jpg") {
    TestEnv env;
    return FolderScanner::pixelSize(writeFile(env.home() + "/" + name, bytes));
}

class MemorySource final : public ImageHeader::Source {
public:
    explicit MemorySource(QByteArray bytes)
        : m_bytes(std::move(bytes)) {}
    bool read(uint64_t offset, void* into, size_t length) override {
        if (offset > uint64_t(m_bytes.size()) || length > uint64_t(m_bytes.size()) - offset)
            return false;
        memcpy(into, m_bytes.constData() + offset, length);
        return true;
    }

private:
    QByteArray m_bytes;
};

} // namespace

class tst_ScanHeaders : public QObject {
    Q_OBJECT
private slots:
    void formats_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("png") << encoded(sample(37, 21), "PNG") << 37 << 21;
        QTest::newRow("jpeg") << encoded(sample(37, 21), "JPEG") << 37 << 21;
        QTest::newRow("bmp") << encoded(sample(37, 21), "BMP") << 37 << 21;
        QTest::newRow("tiff") << encoded(sample(37, 21), "TIFF") << 37 << 21;
        QTest::newRow("webp lossy") << encoded(sample(37, 21), "WEBP", 50) << 37 << 21;
        QTest::newRow("webp lossless") << encoded(sample(37, 21), "WEBP", 100) << 37 << 21;
        QTest::newRow("gif") << QByteArray("GIF89a\x25\x00\x15\x00\x80\x00\x00", 13) << 37 << 21;
        QTest::newRow("webp extended")
            << QByteArray("RIFF\x00\x00\x00\x00WEBPVP8X\x0a\x00\x00\x00\x10\x00\x00\x00"
                          "\x24\x00\x00\x14\x00\x00",
                          30)
            << 37 << 21;
        QByteArray topDown = encoded(sample(37, 21), "BMP");
        qToLittleEndian<qint32>(-21, topDown.data() + 22);
        QTest::newRow("bmp top-down") << topDown << 37 << 21;
        // An ICC profile and comments before the frame header: read past the first window.
        QTest::newRow("jpeg, big segments first")
            << jpegWith(segment(0xE2, QByteArray(9000, 'p')) + segment(0xFE, QByteArray(700, 'c')))
            << 40 << 30;
    }

    // Every format's size is read from its header, matching Qt's own reader.
    void formats() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, width);
        QFETCH(int, height);
        QVERIFY(!bytes.isEmpty());
        const auto info = readBytes(bytes);
        QVERIFY(info);
        QCOMPARE(info->width, width);
        QCOMPARE(info->height, height);
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer);
        // Qt cannot read every such header (nor a top-down bitmap's height).
        if (reader.size().isValid())
            QCOMPARE(reader.size(), QSize(width, height));
    }

    // Orientations 5 and up turn the picture a quarter: width and height swap.
    void orientation_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("6, big") << jpegHeader(4000, 3000, segment(0xE1, exif(6, true)))
                                << QSizeF(3000, 4000);
        QTest::newRow("3, big") << jpegHeader(4000, 3000, segment(0xE1, exif(3, true)))
                                << QSizeF(4000, 3000);
        QTest::newRow("8, little")
            << jpegHeader(4000, 3000, segment(0xE1, exif(8, false))) << QSizeF(3000, 4000);
        QTest::newRow("5, real") << jpegWith(segment(0xE1, exif(5, false))) << QSizeF(30, 40);
        QTest::newRow("1, real") << jpegWith(segment(0xE1, exif(1, true))) << QSizeF(40, 30);
        QTest::newRow("none") << jpegHeader(4000, 3000, {}) << QSizeF(4000, 3000);
        QTest::newRow("out of range")
            << jpegHeader(4000, 3000, segment(0xE1, exif(9, true))) << QSizeF(4000, 3000);
        QTest::newRow("xmp first") << jpegHeader(64, 48,
                                                 segment(0xE1, "http://ns.adobe.com/xap/1.0/") +
                                                     segment(0xE1, exif(6, false)))
                                   << QSizeF(48, 64);
    }

    void orientation() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSizeF, size);
        QCOMPARE(measured(bytes), size);
    }

    // Qt's reader agrees on real files with orientation.
    void orientationMatchesQt() {
        QByteArray bytes = jpegWith(segment(0xE1, exif(6, false)));
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer);
        QVERIFY(reader.transformation() & QImageIOHandler::TransformationRotate90);
        QCOMPARE(measured(bytes), QSizeF(30, 40));
    }

    // Broken and foreign files give (0, 0), never a crash.
    void badInput_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray png = encoded(sample(37, 21), "PNG");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("hello, this is not an image at all");
        QTest::newRow("png cut") << png.left(20);
        QTest::newRow("jpeg cut") << jpegHeader(4000, 3000, {}).left(8);
        QTest::newRow("jpeg zero length") << QByteArray::fromHex("FFD8FFE10000");
        QTest::newRow("jpeg scan first") << QByteArray::fromHex("FFD8FFDA000200");
        QTest::newRow("zero size") << jpegHeader(0, 3000, {});
        QTest::newRow("tiff loop") << QByteArray::fromHex("49492A0008000000FFFF");
        QTest::newRow("heif cut") << QByteArray("\0\0\0\x18"
                                                "ftypheic",
                                                12);
    }

    void badInput() {
        QFETCH(QByteArray, bytes);
        QCOMPARE(measured(bytes, "bad.png"), QSizeF(0, 0));
        QVERIFY(!ImageHeader::parse(*std::make_unique<MemorySource>(bytes)));
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
        heif_image_add_plane(image, heif_channel_Y, 64, 48, 8);
        heif_image_add_plane(image, heif_channel_Cb, 32, 24, 8);
        heif_image_add_plane(image, heif_channel_Cr, 32, 24, 8);
        for (heif_channel ch : {heif_channel_Y, heif_channel_Cb, heif_channel_Cr}) {
            int stride = 0;
            uint8_t* plane = heif_image_get_plane(image, ch, &stride);
            memset(plane, 128, size_t(stride) * (ch == heif_channel_Y ? 48 : 24));
        }
        TestEnv env;
        const QString path = env.home() + "/Screenshot.heic";
        heif_image_handle* handle = nullptr;
        heif_context_encode_image(ctx, image, encoder, nullptr, &handle);
        const bool written =
            heif_context_write_to_file(ctx, QFile::encodeName(path).constData()).code ==
            heif_error_Ok;
        heif_image_handle_release(handle);
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
