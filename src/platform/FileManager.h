#pragma once

#include <QStringList>
#include <functional>

class QDBusConnection;

/// Opening files and showing them in the desktop's file manager.
namespace FileManager {

/// Opens each file with its default application, in order. Returns how many
/// were handed over.
int open(const QStringList& paths);

/// Shows the files selected in the file manager through the freedesktop
/// FileManager1 interface; when none answers, opens the folder that holds the
/// first. Returns at once; `startupId` lets the file manager take focus.
void reveal(const QStringList& paths, const QString& startupId = {});

/// The same on a given bus, so tests can answer with a fake file manager;
/// `openFolder` runs only for the fallback.
void reveal(const QStringList& paths, const QString& startupId, const QDBusConnection& bus,
            const std::function<bool(const QString& folder)>& openFolder);

} // namespace FileManager
