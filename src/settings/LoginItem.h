#pragma once

#include <QByteArray>
#include <QString>

/// Launching at login through the XDG autostart entry
/// $XDG_CONFIG_HOME/autostart/org.tamberk.Tamberk.desktop. Whether it is on
/// is always read back from the files, never remembered. Failures are logged
/// as "Tamberk login item: …" and otherwise not shown.
namespace LoginItem {

/// The user's entry: $XDG_CONFIG_HOME/autostart/org.tamberk.Tamberk.desktop.
QString entryPath();
/// Whether Tamberk starts at login: the user's entry, or else a system-wide
/// one in $XDG_CONFIG_DIRS/autostart, exists and is neither Hidden nor
/// disabled.
bool isEnabled();
/// Switches launching at login on or off; true when the files now say so.
/// On writes the entry atomically (an enabled entry of the user's is kept as
/// it is); off removes the user's entry, or hides a system-wide one.
bool set(bool on);
/// The entry written for `program` (an absolute path, quoted as the desktop
/// entry format requires).
QByteArray entryText(const QString& program);
/// The program the entry starts: the `tamberk` beside the running binary,
/// else `tamberk` from PATH.
QString program();

} // namespace LoginItem
