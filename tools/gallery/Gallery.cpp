#include "Gallery.h"

#include "shelf/Theme.h"

#include <QApplication>
#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace gallery {

std::vector<Page>& pages() {
    static std::vector<Page> list;
    return list;
}

bool addImagePage(const char* name, std::function<QImage(double)> render) {
    pages().push_back({QString::fromLatin1(name), std::move(render)});
    return true;
}

bool addWidgetPage(const char* name, std::function<std::unique_ptr<QWidget>()> make) {
    return addImagePage(name, [make = std::move(make)](double dpr) {
        std::unique_ptr<QWidget> widget = make();
        widget->ensurePolished();
        if (widget->size().isEmpty() || widget->size() == QSize(640, 480))
            widget->adjustSize();
        return renderWidget(*widget, dpr);
    });
}

QImage canvas(QSize size, double devicePixelRatio) {
    QImage image(size * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    return image;
}

void paintCardBackdrop(QImage& image) {
    QPainter p(&image);
    const QSizeF size = image.deviceIndependentSize();
    QLinearGradient sky(0, 0, size.width(), size.height());
    sky.setColorAt(0, QColor(0x3b, 0x4f, 0x7a));
    sky.setColorAt(0.5, QColor(0x8a, 0x5a, 0x6e));
    sky.setColorAt(1, QColor(0x2e, 0x6b, 0x5e));
    p.fillRect(QRectF(QPointF(0, 0), size), sky);
    QRadialGradient glow(size.width() * 0.7, size.height() * 0.3, size.width() * 0.5);
    glow.setColorAt(0, QColor(255, 230, 180, 90));
    glow.setColorAt(1, QColor(255, 230, 180, 0));
    p.fillRect(QRectF(QPointF(0, 0), size), glow);
    p.fillRect(QRectF(QPointF(0, 0), size), Theme::base());
}

QImage renderWidget(QWidget& widget, double devicePixelRatio) {
    QImage image = canvas(widget.size(), devicePixelRatio);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace gallery

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", "offscreen").toUtf8());
    QApplication app(argc, argv);
    Theme::applyApplicationStyle(app);

    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: tamberk-gallery OUTPUT-FOLDER [PAGE-WORD...]\n");
        return 2;
    }
    const QDir out(args.first());
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(out.path()));
        return 1;
    }
    const QStringList words = args.mid(1);
    int written = 0, failed = 0;
    for (const gallery::Page& page : gallery::pages()) {
        if (!words.isEmpty() && std::none_of(words.begin(), words.end(), [&](const QString& w) {
                return page.name.contains(w);
            }))
            continue;
        for (double dpr : {1.0, 2.0}) {
            const QImage image = page.render(dpr);
            const QString file =
                out.filePath(page.name + (dpr == 1.0 ? QString() : QStringLiteral("@2x")) +
                             QStringLiteral(".png"));
            if (image.isNull() || !image.save(file)) {
                std::fprintf(stderr, "failed: %s\n", qPrintable(file));
                ++failed;
            } else {
                ++written;
            }
        }
    }
    std::printf("%d images written to %s\n", written, qPrintable(out.absolutePath()));
    return failed == 0 ? 0 : 1;
}
