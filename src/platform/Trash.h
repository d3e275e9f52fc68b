#pragma once

#include "platform/FileMove.h"

#include <QString>

/// The desktop Trash as freedesktop.org lays it out:
/// the home trash under $XDG_DATA_HOME/Trash for items on the home volume,
/// $topdir/.Trash/$uid or $topdir/.Trash-$uid for items on other volumes.
/// Every item gets its info/NAME.trashinfo, so file managers can list and
/// restore it.
namespace Trash {

struct Result {
    bool ok = false;
    int error = 0;    // errno of the failure, 0 on success
    QString message;  // human-readable description of the failure
    QString location; // the item's path in the trash's files/ folder

    explicit operator bool() const { return ok; }
};

/// Moves a file or folder to the trash of its volume, never replacing
/// anything; on failure the item stays where it was and no info is left.
Result trash(const QString& path);

/// Moves a trashed item back to `target` (never replacing) and removes its
/// .trashinfo, so the trash keeps no dangling entry.
FileMove::Result restore(const QString& trashed, const QString& target);

/// The trash folder (the one holding files/ and info/) that trash() uses for
/// `path`, created where the freedesktop.org Trash rules allow; empty when
/// there is none.
/// `topdir` receives the volume's top folder, or stays empty for the home trash.
QString folderFor(const QString& path, QString* topdir = nullptr);

/// The .trashinfo file belonging to an item in a trash's files/ folder, or
/// nothing when the path does not lie in one.
QString infoFor(const QString& trashed);

} // namespace Trash
