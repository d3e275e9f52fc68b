#pragma once

// What several benchmarks share: a private home, the ratio of a line, and
// a realistic screenshot to decode.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <QString>

namespace bench {

/// Points HOME and the XDG folders below `root`: a benchmark neither reads
/// nor writes the user's files.
inline void privateHome(const QString& root) {
    for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        const QString path = root + QStringLiteral("/home/") + QLatin1String(var);
        QDir().mkpath(path);
        qputenv(var, QFile::encodeName(path));
    }
}

inline double ratio(double ours, double anchor) {
    return anchor > 0 ? ours / anchor : 0;
}

/// A desktop: title bars, a sidebar, lines of text, a gradient and a photo.
inline QImage screenshot(int w, int h, int seed) {
    QImage image(w, h, QImage::Format_ARGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, w, h);
    sky.setColorAt(0, QColor(40 + seed * 10 % 200, 60, 120));
    sky.setColorAt(1, QColor(200, 120, 60 + seed * 10 % 190));
    p.fillRect(image.rect(), sky);
    QRandomGenerator rng(seed);
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), h / 90));
    for (int window = 0; window < 3; ++window) {
        const QRect frame(w / 10 + window * w / 6, h / 12 + window * h / 10, w / 2, h / 2);
        p.fillRect(frame, QColor(250, 250, 250));
        p.fillRect(QRect(frame.topLeft(), QSize(frame.width(), h / 40)), QColor(220, 220, 225));
        p.fillRect(QRect(frame.topLeft() + QPoint(0, h / 40), QSize(w / 12, frame.height())),
                   QColor(236, 238, 242));
        p.setPen(Qt::black);
        for (int line = 0; line < 30; ++line)
            p.drawText(frame.left() + w / 11, frame.top() + h / 20 + line * h / 70,
                       QStringLiteral("Quarterly figures %1: revenue %2, margin %3%")
                           .arg(line)
                           .arg(rng.bounded(100000))
                           .arg(rng.bounded(100)));
    }
    // A photograph pasted into the page: noisy, like real camera content.
    const QRect photo(w * 6 / 10, h * 6 / 10, w / 4, h / 3);
    for (int y = photo.top(); y < photo.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = photo.left(); x < photo.right(); ++x)
            row[x] = qRgb((x * 3 + rng.bounded(40)) & 255, (y * 2 + rng.bounded(40)) & 255,
                          (x + y + rng.bounded(40)) & 255);
    }
    return image;
}

} // namespace bench
