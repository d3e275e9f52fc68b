#include "ThumbFixtures.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>

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

bool haveFfmpeg() {
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
}

bool ffmpeg(const QString& args) {
    QProcess process;
    process.start(QStringLiteral("ffmpeg"), QStringLiteral("-v error -y ").append(args).split(' '));
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool clip(const QString& path, double seconds, const QString& rgb) {
    return ffmpeg(QStringLiteral("-f lavfi -i color=c=black:s=160x90:r=30:d=%1,format=rgb24,geq=%2 "
                                 "-c:v mpeg4 -q:v 2 -pix_fmt yuv420p %3")
                      .arg(seconds)
                      .arg(rgb, path));
}

} // namespace ThumbFixtures
