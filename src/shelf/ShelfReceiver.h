#pragma once

#include "library/Scope.h"
#include "library/Shot.h"

#include <QString>

class QMenu;

/// Everything the shelf asks of its controller: the user's gestures on the card.
/// The panel controller implements it; tests record the calls with a fake. All
/// calls arrive on the main thread. Sub-views the controller wires directly (the
/// footer slider, the resize grip and handle, the selection bar's buttons) report
/// through their own callback fields instead.
class ShelfReceiver {
public:
    virtual ~ShelfReceiver() = default;

    /// The pointer entered (true) or left (false) the card.
    virtual void mouseInPanel(bool inside) = 0;
    /// The search field's full text after every change (typing, clearing,
    /// hiding, seeding); debouncing is the controller's.
    virtual void setQuery(const QString& text) = 0;
    /// The pin button.
    virtual void togglePin() = 0;
    /// The close button (always with force).
    virtual void collapse(bool force) = 0;
    /// The action of a toast shown with `ShelfView::showToast(text, true)`.
    virtual void undo() = 0;
    /// The settings button and the empty state's "Open Settings".
    virtual void showSettings() = 0;
    /// The search band needs the keyboard: give the panel window focus.
    virtual void makeKey() = 0;

    // Chips.
    /// A Session, All or folder chip was clicked.
    virtual void select(const Scope& scope) = 0;
    /// An add chip was clicked: prompt for a new folder inside `parent` (empty:
    /// the screenshot folder), moving `moving` into it.
    virtual void newFolderPrompt(const ShotList& moving, const QString& parent) = 0;
    /// Frames dragged out of the grid were dropped on the chip of `folder`.
    virtual void dropSelection(const QString& folder) = 0;
    /// The context menu of a folder chip (never the screenshot folder's), or
    /// nullptr for none. The shelf shows it and deletes it once it closed.
    virtual QMenu* folderMenu(const QString& folder) = 0;
};
