#include "TestEnv.h"
#include "library/FolderScanner.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QTest>
#include <QtEndian>

namespace {

QByteArray encoded(int w, int h, const char* format, int quality = -1) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::blue);
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

// A real 40 x 30 JPEG with segments inserted right after its start marker.
QByteArray jpegWith(const QByteArray& segments) {
    const QByteArray jpeg = encoded(40, 30, "JPEG");
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
        QTest::newRow("webp lossy") << encoded(37, 21, "WEBP", 50) << size;
        QTest::newRow("gif") << QByteArray("GIF89a\x25\x00\x15\x00\x80\x00\x00", 13) << size;
        QByteArray topDown = encoded(37, 21, "BMP");
        qToLittleEndian<qint32>(-21, topDown.data() + 22);
        QTest::newRow("bmp top-down") << topDown << size;
        QTest::newRow("jpeg, big segments first")
            << jpegWith(segment(0xE2, QByteArray(9000, 'p')) + segment(0xFE, QByteArray(700, 'c')))
            << QSizeF(40, 30);

        QTest::newRow("turned 6, big")
            << jpegHeader(4000, 3000, segment(0xE1, exif(6, true))) << QSizeF(3000, 4000);
        QTest::newRow("turned, xmp first")
            << jpegHeader(64, 48,
                          segment(0xE1, "http://ns.adobe.com/xap/1.0/") +
                              segment(0xE1, exif(6, false)))
            << QSizeF(48, 64);

        const QSizeF none(0, 0);
        QTest::newRow("empty") << QByteArray() << none;
        QTest::newRow("jpeg cut") << jpegHeader(4000, 3000, {}).left(8) << none;
        QTest::newRow("jpeg scan first") << QByteArray::fromHex("FFD8FFDA000200") << none;
        QTest::newRow("tiff loop") << QByteArray::fromHex("49492A0008000000FFFF") << none;
    }

    // A picture's size, turned by its orientation, is read from its header;
    // broken files give (0, 0), never a crash.
    void header() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSizeF, size);
        QCOMPARE(measured(bytes), size);
    }
};

TAMBERK_TEST(tst_ScanHeaders)
#include "tst_ScanHeaders.moc"
