#pragma once

#include <QString>

#include <QByteArray>

/// Moving the user's files without ever replacing one.
namespace FileMove {

struct Result {
    bool ok = false;
    int error = 0;   // errno of the failure, 0 on success
    QString message; // human-readable description of the failure

    explicit operator bool() const { return ok; }
};

/// Moves a file or folder to `to`, never replacing anything that exists
/// there. Across file systems it copies to a temporary name in the target
/// folder, syncs, renames without replacing and only then removes the source;
/// on any failure the source stays where it was.
Result move(const QString& from, const QString& to);

/// Renames within one file system without ever replacing `to`; returns 0 or
/// the errno of the failure (EXDEV across file systems, EEXIST when taken).
int renameNoReplace(const QString& from, const QString& to);

/// The n-th candidate for a free name: `name` itself for n = 1, else
/// "base n.ext" (a leading dot starts a hidden name, not an extension).
QByteArray numbered(const QByteArray& name, int n);

// Test hooks: the steps of a move at which a failure can be injected.
enum class Step {
    Rename,       // the first no-replace rename (EXDEV forces the copy, EINVAL the fallback)
    Link,         // the hard link of the fallback for file systems without the flag
    CreateTemp,   // creating the temporary copy (or one entry of a copied folder)
    CopyData,     // writing the data of one copied file
    Sync,         // syncing one copied file or folder
    Commit,       // renaming the finished copy to its name
    RemoveSource, // removing the source after the copy was committed
};

/// Test hook: the step fails with `error` once it has been passed `skip` times.
void injectFault(Step step, int error, int skip = 0);
/// Test hook: forgets every injected fault.
void clearFaults();

} // namespace FileMove
