#pragma once

#include <QByteArray>
#include <QString>

/// The capture mark: an extended attribute whose presence alone makes a file
/// a screenshot, whatever its name. Files synced from other systems with their
/// attributes carry exactly this name; Linux wants the "user." namespace.
namespace CaptureMark {

inline constexpr char attribute[] = "user.com.apple.metadata:kMDItemIsScreenCapture";

/// True when the file (links followed) carries the mark; its value is not read.
bool has(const QString& path);
/// The same for a file already open as `fd`.
bool has(int fd);

/// Marks the file, replacing any earlier value; fails silently (read-only
/// volume, file system without user attributes). Returns whether it was set.
bool write(const QString& path);

/// The stored value: a binary property list (version 1.0) of the boolean true.
QByteArray value();

} // namespace CaptureMark
