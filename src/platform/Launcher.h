#pragma once

#include <QString>
#include <QStringList>
#include <functional>

/// Starting the desktop's helper tools (xdg-open, xdg-email) so that a failure
/// is known: they report "no application for this" only through their exit
/// status, after the call that started them has returned.
namespace Launcher {

/// Runs `program` (looked up on PATH) with `arguments` in the background.
/// Returns false when it cannot be found or started; otherwise `failed` runs
/// later on this thread if it exits with a non-zero status or crashes.
bool start(const QString& program, const QStringList& arguments,
           const std::function<void()>& failed = {});

/// Opens a file or folder with the desktop's default application through
/// xdg-open (QDesktopServices where xdg-open is missing). Same contract as
/// start().
bool openPath(const QString& path, const std::function<void()>& failed = {});

} // namespace Launcher
