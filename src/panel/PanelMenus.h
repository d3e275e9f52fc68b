#pragma once

#include "library/Scope.h"
#include "library/Shot.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class Library;
class QMenu;
class QWidget;

/// The modal questions of the panel. The panel answers with dialogs; tests
/// answer from a script.
class Prompts {
public:
    virtual ~Prompts() = default;
    /// Tries a typed (trimmed, non-empty) name: empty when it was done, else
    /// why not, in words for a line under the field.
    using Attempt = std::function<QString(const QString& name)>;
    /// A name prompt: asks until `attempt` takes a name (the name is returned)
    /// or the prompt is cancelled (nothing). `ok` is disabled while the field is empty.
    virtual std::optional<QString> prompt(const QString& title, const QString& info,
                                          const QString& initial, const QString& ok,
                                          const Attempt& attempt) = 0;
    /// A warning with the buttons `ok` and "Cancel"; true for `ok`.
    virtual bool confirm(const QString& title, const QString& info, const QString& ok) = 0;
};

/// What the menus need from the panel; the panel controller provides it.
class MenuHost {
public:
    virtual ~MenuHost() = default;
    virtual Library& library() = 0;
    virtual Prompts& prompts() = 0;
    /// A toast on the shelf, with an optional action button.
    virtual void toast(const QString& text, const QString& action = {},
                       std::function<void()> run = {}) = 0;
    /// Takes (true) or releases (false) one hold on the panel.
    virtual void hold(bool on) = 0;

    virtual void open(const ShotList& shots) = 0;
    virtual void copy(const ShotList& shots) = 0;
    virtual void trash(const ShotList& shots) = 0;
    virtual void undo() = 0;
    virtual void togglePreview() = 0;
    virtual void selectAll() = 0;
    /// The shots being dragged inside the grid, else the selected ones.
    virtual ShotList draggedOrSelected() = 0;

    virtual Scope scope() const = 0;
    /// Shows `scope` in place of the current one: stored, refilled, not scrolled.
    virtual void replaceScope(const Scope& scope) = 0;
};

/// The grid's, the folder chips' and the move menus, and the folder prompts
/// behind them. All file work is the library's; this decides what is asked,
/// offered and said.
class PanelMenus {
public:
    explicit PanelMenus(MenuHost& host);

    /// The grid's context menu for `shots`, or for empty space when there are none.
    QMenu* gridMenu(const ShotList& shots, QWidget* parent = nullptr);
    /// The folder tree to move `shots` into.
    QMenu* moveMenu(const ShotList& shots, QWidget* parent = nullptr);
    /// The context menu of a folder chip.
    QMenu* folderMenu(const QString& folder, QWidget* parent = nullptr);

    /// Asks for a name, creates the folder in `parent` (empty: the root) and moves
    /// `moving` into it.
    void newFolderPrompt(const ShotList& moving, const QString& parent = {});
    void rename(const ShotPtr& shot);
    void renameFolder(const QString& folder);
    void trashFolder(const QString& folder);
    void move(const ShotList& shots, const QString& folder);
    /// Shows the files in the file manager, or says there is none to show them in.
    void reveal(const QStringList& paths);
    /// Opens a folder in the file manager, or says it could not.
    void openFolder(const QString& folder);
    /// Frames dropped on a folder chip.
    void dropSelection(const QString& folder);

    /// Why a typed name cannot be used whatever the folder holds, or nothing.
    static QString nameProblem(const QString& name);

    /// How the panel names a folder: the last path component, "Home" for the home folder.
    static QString displayName(const QString& path);

    /// Makes `menu` hold the panel while it is open. The hold is released on
    /// the next turn of the event loop after it closed, so the chosen command
    /// still runs while the panel is held, even when the menu is deleted at once.
    QMenu* held(QMenu* menu);

private:
    void addMoveItem(QMenu* menu, const QString& folder, const ShotList& shots);
    void copyPaths(const ShotList& shots);
    void copyText(const QString& text);

    MenuHost& m_host;
    QObject m_releases; // the context of pending releases: lives as long as the menus' owner
};
