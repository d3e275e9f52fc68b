#pragma once

#include <QByteArray>

// Counts the no-replace renames (renameat2) of paths below a prefix, and
// those of them made on the main thread. The library's moves all go through
// renameat2; this executable defines it in front of the C library's.
namespace RenameSpy {

/// Starts counting renames whose source lies below `prefix`.
void watch(const QByteArray& prefix);
/// Renames counted since watch().
int calls();
/// Of those, the ones made on the main thread.
int onMainThread();

} // namespace RenameSpy
