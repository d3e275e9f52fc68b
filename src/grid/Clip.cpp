#include "grid/Clip.h"

#include "grid/DragPayload.h"
#include "platform/ImageDecoder.h"
#include "platform/Log.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <limits>

namespace {

// The PNG form of the still at `path`: its own bytes when it is a PNG already,
// else the picture decoded at full size and encoded afresh.
QByteArray pngOf(const QString& path) {
    if (QFileInfo(path).suffix().toLower() == QLatin1String("png")) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            logFailure("copy", file.errorString());
            return {};
        }
        return file.readAll();
    }
    const QImage image = ImageDecoder::thumbnail(path, std::numeric_limits<int>::max());
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) {
        logFailure("copy", writer.errorString());
        return {};
    }
    return png;
}

} // namespace

namespace Clip {

PayloadMime* mimeData(const ShotList& shots) {
    if (shots.isEmpty())
        return nullptr;
    QList<QFuture<QUrl>> urls;
    for (const ShotPtr& shot : shots)
        urls << DragPayload::publish(shot->url());
    auto* mime = new PayloadMime(urls);
    if (shots.size() == 1 && !shots.front()->isVideo &&
        QFileInfo(shots.front()->path).isReadable()) {
        // The picture is made when a receiver first asks (clipboard managers do
        // at once) and kept, so a second paste does not encode again. It comes
        // from the published copy, which outlives a trash of the original.
        auto cached = std::make_shared<std::optional<QByteArray>>();
        mime->offer(QStringLiteral("image/png"), [published = urls.front(), cached] {
            if (!*cached)
                *cached = pngOf(published.result().toLocalFile());
            return **cached;
        });
    }
    return mime;
}

void copy(const ShotList& shots) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    if (PayloadMime* mime = mimeData(shots))
        clipboard->setMimeData(mime);
}

} // namespace Clip
