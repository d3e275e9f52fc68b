// The changes the user makes through the panel: trash, move, rename, folders,
// and undo. Each works on the disk at once, then updates the listings without
// waiting for the watcher, keeps the text index's keys in step and records
// what undo needs. Files the library moves itself are never announced.
#include "library/Library.h"

#include "platform/FileMove.h"
#include "platform/Log.h"
#include "platform/Trash.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace {

QString parentPath(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString fileName(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// Whether `path` is `dir` or lies below it, by whole components.
bool isWithin(const QString& path, const QString& dir) {
    if (path == dir || dir == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path.size() > dir.size() && path.startsWith(dir) && path[dir.size()] == QLatin1Char('/');
}

bool existsAt(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// The extension of a file name, without its dot; a leading dot starts a
// hidden name, not an extension.
QString extensionOf(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.mid(dot + 1) : QString();
}

// A move that reports success counts only once its item is really there;
// what we record for undo must describe the disk.
bool landed(const QString& target, const char* what) {
    if (existsAt(target))
        return true;
    logFailure(what, QStringLiteral("%1 is not there after the move").arg(target));
    return false;
}

QString describe(const QString& path, const QString& message) {
    return QStringLiteral("%1: %2").arg(path, message);
}

// A name the library can list afterwards: not empty, and not hidden, since
// hidden entries are never listed and the item would drop out of view.
bool listable(const QString& name) {
    return !name.isEmpty() && !name.startsWith(QLatin1Char('.'));
}

int depthBelow(const QString& path, const QString& root) {
    if (!isWithin(path, root))
        return 0;
    return int(path.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts).size());
}

} // namespace

QString Library::cleanName(const QString& name) {
    QString clean = name;
    clean.replace(QLatin1Char('/'), QLatin1Char('-'));
    clean.replace(QLatin1Char(':'), QLatin1Char('-'));
    return clean.trimmed();
}

void Library::touch(const QString& dir) {
    // Only rescans in flight can be outdated by a change; none, nothing to keep.
    if (m_rescans > 0)
        m_touched.insert(dir, ++m_touches);
}

void Library::touchSubtree(const QString& dir) {
    touch(dir);
    if (m_rescans == 0)
        return;
    for (auto it = m_listing.cbegin(); it != m_listing.cend(); ++it) {
        if (isWithin(it.key(), dir))
            touch(it.key());
    }
}

void Library::attach(const ShotPtr& shot) {
    touch(parentPath(shot->path));
    const auto it = m_listing.find(parentPath(shot->path));
    if (it != m_listing.end())
        it->append(shot);
    m_expected.insert(shot->path);
}

void Library::detach(const ShotPtr& shot) {
    touch(parentPath(shot->path));
    const auto it = m_listing.find(parentPath(shot->path));
    if (it == m_listing.end())
        return;
    const QString path = shot->path;
    it->removeIf([&path](const ShotPtr& listed) { return listed->path == path; });
}

int Library::trash(const ShotList& shots, int* failure) {
    UndoBatch batch{QStringLiteral("Trash"), {}};
    if (failure)
        *failure = 0;
    for (const ShotPtr& shot : shots) {
        const Trash::Result result = Trash::trash(shot->path);
        if (!result) {
            logFailure("trash", describe(shot->path, result.message));
            if (failure && !*failure)
                *failure = result.error ? result.error : EIO;
            continue;
        }
        if (!landed(result.location, "trash"))
            continue;
        batch.moves.append({result.location, shot->path});
        detach(shot);
    }
    if (batch.moves.isEmpty())
        return 0;
    m_undoStack.append(batch);
    recompute(false);
    return int(batch.moves.size());
}

int Library::move(const ShotList& shots, const QString& folder) {
    const QString destination = resolved(folder);
    UndoBatch batch{QStringLiteral("Move"), {}};
    for (const ShotPtr& shot : shots) {
        if (parentPath(shot->path) == destination)
            continue;
        const QString target = unique(destination + QLatin1Char('/') + fileName(shot->path));
        const FileMove::Result result = FileMove::move(shot->path, target);
        if (!result) {
            logFailure("move", describe(shot->path, result.message));
            continue;
        }
        if (!landed(target, "move"))
            continue;
        if (shot->isScreenshot)
            markScreenshot(target);
        batch.moves.append({target, shot->path});
        detach(shot);
        attach(shot->moved(target));
        m_text.rekey(shot->path, target);
    }
    if (batch.moves.isEmpty())
        return 0;
    m_undoStack.append(batch);
    recompute(false);
    return int(batch.moves.size());
}

std::optional<Library::Undone> Library::undo() {
    if (m_undoStack.isEmpty())
        return std::nullopt;
    const UndoBatch batch = m_undoStack.takeLast();
    const bool fromTrash = batch.label == QLatin1String("Trash");
    QSet<QString> dirs;
    int restored = 0;
    for (auto it = batch.moves.crbegin(); it != batch.moves.crend(); ++it) {
        QDir().mkpath(parentPath(it->original));
        const QString target = unique(it->original);
        const FileMove::Result result =
            fromTrash ? Trash::restore(it->current, target) : FileMove::move(it->current, target);
        if (!result) {
            logFailure("undo", describe(it->current, result.message));
            continue;
        }
        if (!landed(target, "undo"))
            continue;
        const auto listed = std::find_if(m_all.cbegin(), m_all.cend(), [&](const ShotPtr& shot) {
            return shot->path == it->current;
        });
        if (listed != m_all.cend()) {
            const ShotPtr shot = *listed;
            detach(shot);
            attach(shot->moved(target));
            m_text.rekey(shot->path, target);
        } else {
            m_expected.insert(target);
            // A folder coming back out of the Trash brings its files with it;
            // they are old news, not arrivals.
            QDirIterator files(target, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                               QDirIterator::Subdirectories);
            while (files.hasNext())
                m_expected.insert(files.next());
        }
        dirs.insert(parentPath(it->original));
        dirs.insert(parentPath(it->current));
        touch(parentPath(it->original));
        touchSubtree(target);
        ++restored;
    }
    // Nothing came back (the Trash was emptied, the files moved on): the
    // batch is spent all the same, and the caller must not report success.
    if (restored == 0)
        return Undone{batch.label, false};
    recompute(false);
    refresh(dirs);
    return Undone{batch.label, true};
}

std::optional<QString> Library::createFolder(const QString& name, const QString& parent) {
    const QString clean = cleanName(name);
    if (!listable(clean))
        return std::nullopt;
    const QString base = parent.isEmpty() ? m_root : resolved(parent);
    const QString folder = unique(base + QLatin1Char('/') + clean);
    // mkdir(2) never replaces: a name taken since unique() looked fails here.
    if (::mkdir(QFile::encodeName(folder).constData(), 0777) != 0) {
        logFailure("new folder", describe(folder, qt_error_string(errno)));
        return std::nullopt;
    }
    const QString path = resolved(folder);
    touch(base);
    touch(path);
    m_listing.insert(path, {});
    if (depthBelow(path, m_root) < FolderScanner::depthLimit)
        m_childMap.insert(path, {});
    QStringList& siblings = m_childMap[base];
    siblings.append(path);
    FolderScanner::sortFolders(siblings);
    rebuildFolders();
    recompute(false);
    return path;
}

bool Library::rename(const ShotPtr& shot, const QString& name) {
    QString clean = cleanName(name);
    if (!listable(clean))
        return false;
    const QString extension = extensionOf(fileName(shot->path));
    if (!extension.isEmpty() && extensionOf(clean).toLower() != extension.toLower())
        clean += QLatin1Char('.') + extension;
    const QString target = parentPath(shot->path) + QLatin1Char('/') + clean;
    if (target == shot->path)
        return true;
    if (existsAt(target))
        return false;
    const FileMove::Result result = FileMove::move(shot->path, target);
    if (!result) {
        logFailure("rename", describe(shot->path, result.message));
        return false;
    }
    if (!landed(target, "rename"))
        return false;
    if (shot->isScreenshot)
        markScreenshot(target);
    m_undoStack.append({QStringLiteral("Rename"), {{target, shot->path}}});
    detach(shot);
    attach(shot->moved(target));
    m_text.rekey(shot->path, target);
    recompute(false);
    return true;
}

std::optional<QString> Library::renameFolder(const QString& folder, const QString& name) {
    const QString clean = cleanName(name);
    const QString old = QDir::cleanPath(folder);
    if (!listable(clean) || clean == fileName(old))
        return std::nullopt;
    // Renaming the root or a folder above it would pull the library away
    // from under itself; its folder is chosen in the settings instead.
    if (isWithin(m_root, old) || isWithin(m_root, resolved(old))) {
        logFailure("rename folder", describe(old, QStringLiteral("holds the library folder")));
        return std::nullopt;
    }
    const QString target = parentPath(old) + QLatin1Char('/') + clean;
    if (existsAt(target))
        return std::nullopt;
    const FileMove::Result result = FileMove::move(old, target);
    if (!result) {
        logFailure("rename folder", describe(old, result.message));
        return std::nullopt;
    }
    if (!landed(target, "rename folder"))
        return std::nullopt;

    moveSubtree(old, target);
    rebuildFolders();
    recompute(false);
    return target;
}

// Re-keys the listings and child lists of a renamed folder and everything
// below it. Shots are rebuilt under their new paths with every field kept,
// their text follows them, and none of them is announced.
void Library::moveSubtree(const QString& old, const QString& target) {
    touchSubtree(old);
    touch(target);
    touch(parentPath(old));
    const auto renamed = [&](const QString& path) { return target + path.mid(old.size()); };
    Listing listing;
    for (auto it = m_listing.begin(); it != m_listing.end();) {
        if (!isWithin(it.key(), old)) {
            ++it;
            continue;
        }
        const QString key = renamed(it.key());
        touch(key);
        ShotList shots;
        shots.reserve(it->size());
        for (const ShotPtr& shot : std::as_const(*it)) {
            const ShotPtr moved = shot->moved(key + QLatin1Char('/') + fileName(shot->path));
            m_expected.insert(moved->path);
            m_text.rekey(shot->path, moved->path);
            shots.append(moved);
        }
        listing.insert(key, shots);
        it = m_listing.erase(it);
    }
    m_listing.insert(listing);

    Children children;
    for (auto it = m_childMap.begin(); it != m_childMap.end();) {
        if (!isWithin(it.key(), old)) {
            ++it;
            continue;
        }
        QStringList subdirs;
        for (const QString& subdir : std::as_const(*it))
            subdirs.append(isWithin(subdir, old) ? renamed(subdir) : subdir);
        children.insert(renamed(it.key()), subdirs);
        it = m_childMap.erase(it);
    }
    m_childMap.insert(children);

    const auto siblings = m_childMap.find(parentPath(old));
    if (siblings != m_childMap.end()) {
        for (QString& sibling : *siblings) {
            if (sibling == old)
                sibling = target;
        }
        FolderScanner::sortFolders(*siblings);
    }
}

bool Library::trashFolder(const QString& folder) {
    const QString path = QDir::cleanPath(folder);
    // The root, or a folder holding it, would take the whole library along.
    if (isWithin(m_root, path) || isWithin(m_root, resolved(path))) {
        logFailure("trash folder", describe(path, QStringLiteral("holds the library folder")));
        return false;
    }
    const Trash::Result result = Trash::trash(path);
    if (!result) {
        logFailure("trash folder", describe(path, result.message));
        return false;
    }
    if (!landed(result.location, "trash folder"))
        return false;
    m_undoStack.append({QStringLiteral("Trash"), {{result.location, path}}});
    touchSubtree(path);
    touch(parentPath(path));
    dropSubtree(path);
    rebuildFolders();
    recompute(false);
    refresh({parentPath(path)});
    return true;
}
