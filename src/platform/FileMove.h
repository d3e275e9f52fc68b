#pragma once

#include <QString>

// Interface agreed between the library and the file operations; the
// file-operations work provides the implementation.
namespace FileMove {

struct Result {
    bool ok = false;
    int error = 0;       // errno of the failure, 0 on success
    QString message;     // human-readable description of the failure

    explicit operator bool() const { return ok; }
};

/// Moves a file or folder to `to`, never replacing anything that exists
/// there. Across file systems it copies to a temporary name in the target
/// folder, syncs, renames without replacing and only then removes the source;
/// on any failure the source stays where it was.
Result move(const QString& from, const QString& to);

} // namespace FileMove
