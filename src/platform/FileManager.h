#pragma once

#include <QStringList>
#include <functional>

class QDBusConnection;

/// Opening files and showing them in the desktop's file manager.
namespace FileManager {

/// Opens each file with its default application, in order. Returns how many
/// were handed over; `failed` runs later for each that no application took.
int open(const QStringList& paths, const std::function<void(const QString& path)>& failed = {});

/// Shows the files selected in the file manager through the freedesktop
/// FileManager1 interface; when none answers, opens the folder that holds the
/// first. Returns at once; `startupId` lets the file manager take focus.
/// `failed` runs when neither could be done.
void reveal(const QStringList& paths, const QString& startupId = {},
            const std::function<void()>& failed = {});

/// The same on a given bus, so tests can answer with a fake file manager;
/// `openFolder` runs only for the fallback and calls its second argument when
/// opening the folder failed after it returned true.
using OpenFolder = std::function<bool(const QString& folder, const std::function<void()>& failed)>;
void reveal(const QStringList& paths, const QString& startupId, const QDBusConnection& bus,
            const OpenFolder& openFolder, const std::function<void()>& failed = {});

} // namespace FileManager
