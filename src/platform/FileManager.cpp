#include "platform/FileManager.h"

#include "platform/Launcher.h"
#include "platform/Log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>
#include <QUrl>
#include <functional>

namespace FileManager {

int open(const QStringList& paths, const std::function<void(const QString&)>& failed) {
    int opened = 0;
    for (const QString& path : paths) {
        const auto fail = [failed, path] {
            if (failed)
                failed(path);
        };
        if (Launcher::openPath(path, fail)) {
            ++opened;
        } else {
            logFailure("open", QStringLiteral("no application opened %1").arg(path));
            fail();
        }
    }
    return opened;
}

void reveal(const QStringList& paths, const QString& startupId, const QDBusConnection& bus,
            const OpenFolder& openFolder, const std::function<void()>& failed) {
    if (paths.isEmpty())
        return;
    const QString folder = QFileInfo(paths.first()).absolutePath();
    auto fallBack = [folder, openFolder, failed] {
        const auto fail = [failed] {
            if (failed)
                failed();
        };
        if (!openFolder(folder, fail)) {
            logFailure("reveal", QStringLiteral("could not open %1").arg(folder));
            fail();
        }
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

void reveal(const QStringList& paths, const QString& startupId,
            const std::function<void()>& failed) {
    reveal(paths, startupId, QDBusConnection::sessionBus(), Launcher::openPath, failed);
}

} // namespace FileManager
