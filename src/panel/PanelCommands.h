#pragma once

#include "library/Shot.h"

#include <QString>
#include <functional>

class Library;
class Prompts;
class QKeyEvent;

/// What a Ctrl shortcut of the panel asks for; the controller carries it out.
enum class PanelKey {
    none,      ///< not a panel shortcut: the grid may take it
    settings,  ///< Ctrl+,
    search,    ///< Ctrl+F
    close,     ///< Ctrl+W
    undo,      ///< Ctrl+Z
    newFolder, ///< Ctrl+N
    moveToNew, ///< Ctrl+Shift+N: a new folder holding the selection
    larger,    ///< Ctrl++ and Ctrl+=
    smaller,   ///< Ctrl+-
    session,   ///< Ctrl+1
    all,       ///< Ctrl+2
};

/// The panel shortcut of a key press: only with Ctrl held, whatever else is.
PanelKey panelKey(int key, Qt::KeyboardModifiers modifiers, const QString& text);

/// The copy, trash, undo and open commands of the panel and what they tell the
/// user. The file work is the library's.
class PanelCommands {
public:
    using Toast =
        std::function<void(const QString& text, const QString& action, std::function<void()> run)>;
    using Copy = std::function<void(const ShotList&)>;
    /// Called, maybe later, for a file no application opened.
    using Failed = std::function<void(const QString& path)>;
    using Open = std::function<int(const QStringList& paths, const Failed& failed)>;

    PanelCommands(Library& lib, Prompts& prompts, Toast toast, Copy copy, Open open);

    /// Puts the shots on the clipboard: "Copied", "Copied n frames".
    void copy(const ShotList& shots);
    /// Moves the shots to the Trash, after asking when "t2.confirmDelete" is on.
    void trash(const ShotList& shots);
    /// Undoes the newest batch: "Undid <label>", "Nothing to undo".
    void undo();
    /// Opens the shots with their default applications: "Couldn't open “name”"
    /// for one that none took.
    void open(const ShotList& shots);

    /// What the toast says when none of `count` files could be trashed, for
    /// the errno of the first failure.
    static QString trashFailure(int count, int error);

    /// The thumbnail size after Ctrl++ (`larger`) or Ctrl+- from `thumb`.
    static double steppedThumb(double thumb, bool larger);

private:
    Library& m_lib;
    Prompts& m_prompts;
    Toast m_toast;
    Copy m_copy;
    Open m_open;
};
