#include "settings/SystemCapture.h"

#include <QDir>
#include <QStandardPaths>

// FIXME: only the generic backend so far; the per-tool backends follow.
namespace SystemCapture {

QString location()
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString folder = pictures + QStringLiteral("/Screenshots");
    QDir().mkpath(folder);
    return folder;
}

std::optional<QString> namePrefix() { return std::nullopt; }

QString toolName() { return QStringLiteral("Generic"); }

} // namespace SystemCapture
