#include "library/Shot.h"

Shot::Shot(QString path, double created, double modified, QSizeF pixelSize, bool isVideo,
           bool isScreenshot)
    : path(std::move(path))
    , created(created)
    , modified(modified)
    , isVideo(isVideo)
    , isScreenshot(isScreenshot)
    , pixelSize(pixelSize) {}

std::shared_ptr<Shot> Shot::moved(const QString& to) const {
    auto shot = std::make_shared<Shot>(to, created, modified, pixelSize, isVideo, isScreenshot);
    shot->duration = duration;
    return shot;
}
