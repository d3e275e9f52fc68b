#include "ThumbFixtures.h"

#include <QBuffer>
#include <QDebug>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>

namespace ThumbFixtures {

QImage halves(QSize size, QColor left, QColor right) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, size.width() / 2, size.height(), left);
    painter.fillRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height(), right);
    return image;
}

bool near(const QImage& image, double fx, double fy, QColor color) {
    if (image.isNull())
        return false;
    const QColor c =
        image.pixelColor(int(fx * (image.width() - 1)), int(fy * (image.height() - 1)));
    return std::abs(c.red() - color.red()) < 60 && std::abs(c.green() - color.green()) < 60 &&
           std::abs(c.blue() - color.blue()) < 60;
}

QString jpegWithOrientation(const QString& path, const QImage& image, int orientation) {
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPEG", 95))
        return {};
    // APP1 "Exif": a big-endian TIFF header and one IFD entry, Orientation (0x0112), SHORT.
    const QByteArray tiff = QByteArray("MM\0\x2a\0\0\0\x08", 8) + QByteArray("\0\x01", 2) +
                            QByteArray("\x01\x12\0\x03\0\0\0\x01", 8) + QByteArray(1, '\0') +
                            QByteArray(1, char(orientation)) + QByteArray(2, '\0') +
                            QByteArray(4, '\0');
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray app1("\xff\xe1", 2);
    app1 += char((body.size() + 2) >> 8);
    app1 += char((body.size() + 2) & 0xff);
    app1 += body;
    jpeg.insert(2, app1);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size())
        return {};
    return path;
}

namespace {
quint32 crc32(const QByteArray& bytes) {
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray chunk(const char* type, const QByteArray& data) {
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), out.data());
    const QByteArray typed = QByteArray(type, 4) + data;
    out += typed;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(typed), crc.data());
    return out + crc;
}
} // namespace

QString blankPng(const QString& path, quint32 width, quint32 height, bool rgba, bool complete) {
    QByteArray ihdr(13, '\0');
    qToBigEndian<quint32>(width, ihdr.data());
    qToBigEndian<quint32>(height, ihdr.data() + 4);
    ihdr[8] = 8; // bit depth
    ihdr[9] = rgba ? 6 : 0;
    const qsizetype row = (rgba ? 4 : 1) * qsizetype(width) + 1;
    const QByteArray rows(row * (complete ? height : 4), '\0');
    const QByteArray idat = qCompress(rows).mid(4); // qCompress prefixes the length
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) +
                           chunk("IDAT", idat) + chunk("IEND", {});
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size())
        return {};
    return path;
}

bool haveFfmpeg() {
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
}

bool ffmpeg(const QString& args) {
    QProcess process;
    process.start(QStringLiteral("ffmpeg"), QStringLiteral("-v error -y ").append(args).split(' '));
    if (!process.waitForFinished(120000))
        return false;
    if (process.exitCode() != 0)
        qWarning() << process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool clip(const QString& path, double seconds, const QString& rgb) {
    return ffmpeg(QStringLiteral("-f lavfi -i color=c=black:s=160x90:r=30:d=%1,format=rgb24,geq=%2 "
                                 "-c:v mpeg4 -q:v 2 -pix_fmt yuv420p %3")
                      .arg(seconds)
                      .arg(rgb, path));
}

bool timedClip(const QString& path, double seconds, double redFrom, double redTo) {
    return clip(path, seconds,
                QStringLiteral("r='255*between(T,%1,%2)':g='255*lt(T,%1)':b='255*gt(T,%2)'")
                    .arg(redFrom)
                    .arg(redTo));
}

bool turned(const QString& source, const QString& target) {
    return ffmpeg(QStringLiteral("-i %1 -c copy -metadata:s:v:0 rotate=90 %2").arg(source, target));
}

} // namespace ThumbFixtures
