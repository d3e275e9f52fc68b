#pragma once

#include "library/Shot.h"

#include <QString>
#include <optional>

class GridView;
class QMenu;

/// What the grid asks its controller to do; the grid itself never acts on files,
/// the panel or the clipboard. All calls arrive on the main thread.
class GridHost {
public:
    virtual ~GridHost() = default;

    /// Double click or Return: open the shots.
    virtual void open(const ShotList& shots) = 0;
    /// Ctrl+C or a cell's copy button: put the shots on the clipboard.
    virtual void copy(const ShotList& shots) = 0;
    /// The Delete keys or a cell's trash button: move the shots to the Trash, undoably.
    virtual void trash(const ShotList& shots) = 0;
    /// Esc in the grid.
    virtual void escape() = 0;
    /// True while a drag-out or the preview runs: the panel stays open.
    virtual void gridHold(bool held) = 0;
    /// The context menu for these shots (empty: the grid's background), or nullptr.
    virtual QMenu* menuFor(GridView* grid, const ShotList& shots) = 0;
    /// A drag-out started (true) or ended (false).
    virtual void gridDrag(GridView* grid, bool active) = 0;
    /// The dragged image moved.
    virtual void gridDragMoved(GridView* grid) = 0;
    /// The selection changed; `count` shots are selected now.
    virtual void gridSelectionChanged(int count) = 0;
    /// A letter or digit was typed into the grid: open the search seeded with it.
    virtual void gridSearch(const QString& seed) = 0;
    /// The preview closed while it had the keyboard: the grid's window may
    /// take it back, or the keys go wherever the window manager sends them.
    virtual void gridWantsKeyboard() {}
    /// Show in File Manager (Ctrl+R); the host says when it could not.
    virtual void reveal(const QStringList& paths) = 0;
    /// The text recognised in a shot, when there is some (screen readers say its first line).
    virtual std::optional<QString> recognizedText(const Shot&) const { return std::nullopt; }
};
