#include "platform/FileManager.h"

#include "platform/Log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <functional>

namespace FileManager {

namespace {

bool openFolderWithDefault(const QString& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

} // namespace

int open(const QStringList& paths) {
    int opened = 0;
    for (const QString& path : paths) {
        if (QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
            ++opened;
        else
            logFailure("open", QStringLiteral("no application opened %1").arg(path));
    }
    return opened;
}

void reveal(const QStringList& paths, const QString& startupId, const QDBusConnection& bus,
            const std::function<bool(const QString&)>& openFolder) {
    if (paths.isEmpty())
        return;
    const QString folder = QFileInfo(paths.first()).absolutePath();
    auto fallBack = [folder, openFolder] {
        if (!openFolder(folder))
            logFailure("reveal", QStringLiteral("could not open %1").arg(folder));
    };
    if (!bus.isConnected()) {
        fallBack();
        return;
    }
    QStringList uris;
    for (const QString& path : paths)
        uris << QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded());
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << startupId;
    // Asynchronous: a file manager that is slow to start must not freeze the panel.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [watcher, fallBack](QDBusPendingCallWatcher*) {
                         watcher->deleteLater();
                         if (!watcher->isError())
                             return;
                         qCInfo(lcTamberk).noquote()
                             << "Tamberk reveal: no file manager answered ("
                             << watcher->error().name() << "), opening the folder";
                         fallBack();
                     });
}

void reveal(const QStringList& paths, const QString& startupId) {
    reveal(paths, startupId, QDBusConnection::sessionBus(), openFolderWithDefault);
}

} // namespace FileManager
