// Draws the application icon from the film glyph: the glyph in the accent
// blue on the panel's dark rounded square, as PNG files of the given sizes.
//   tamberk-icon <output folder> <size>...
// writes <folder>/<size>x<size>/apps/org.tamberk.Tamberk.png for each size.
#include "shelf/Theme.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() < 3) {
        err << "usage: tamberk-icon <output folder> <size>...\n";
        return 2;
    }
    for (const QString& arg : args.mid(2)) {
        bool ok = false;
        const int side = arg.toInt(&ok);
        if (!ok || side < 8 || side > 1024) {
            err << "tamberk-icon: bad size " << arg << '\n';
            return 2;
        }
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath square;
        const double inset = side * 0.06;
        square.addRoundedRect(QRectF(inset, inset, side - 2 * inset, side - 2 * inset), side * 0.2,
                              side * 0.2);
        p.fillPath(square, QColor(28, 28, 30));
        const double glyph = side * 0.6;
        p.translate((side - glyph) / 2, (side - glyph) / 2);
        p.fillPath(Theme::filmGlyphPath(glyph), QColor(10, 132, 255));
        p.end();
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(args.at(1)).arg(side);
        if (!QDir().mkpath(folder) ||
            !image.save(folder + QStringLiteral("/org.tamberk.Tamberk.png"))) {
            err << "tamberk-icon: cannot write into " << folder << '\n';
            return 1;
        }
    }
    return 0;
}
