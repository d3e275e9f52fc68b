#pragma once

#include "library/Scope.h"
#include "library/Shot.h"
#include "settings/Prefs.h"

#include <QRectF>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

class Library;
class QKeyEvent;

// The three things the panel controller drives, seen from the controller:
// the panel window, the edge tab and the card with its grid. The windows
// implement them on X11; the tests implement them with recording fakes.

/// The panel window: a full-height, click-through dock holding the card.
class PanelWindow {
public:
    virtual ~PanelWindow() = default;

    /// Places the window (screen coordinates).
    virtual void setWindowFrame(const QRectF& frame) = 0;
    /// Places the card inside the window; the input and bounding regions follow it.
    virtual void setCardRect(const QRectF& cardInWindow) = 0;
    virtual QRectF cardRect() const = 0;

    /// Maps the window at alpha 0 without taking focus, fades it in and slides
    /// the card in from the docking edge; `faded` runs when the fade ends.
    virtual void present(DockSide side, std::function<void()> faded) = 0;
    /// Slides the card out and fades the window; `done` runs when the fade
    /// ends (the caller decides whether to unmap).
    virtual void dismiss(DockSide side, std::function<void()> done) = 0;
    /// Unmaps the window and drops the card's slide-out.
    virtual void orderOut() = 0;
    virtual bool isShown() const = 0;

    /// Whether the pointer passes through the window. The card itself takes
    /// it whenever shown: a press can arrive together with the pointer.
    virtual void setIgnoresMouse(bool ignore) = 0;
    virtual bool ignoresMouse() const = 0;

    /// Takes keyboard focus for the user action of X time `timestamp` (0: the
    /// last press the window received).
    virtual void makeKey(quint32 timestamp) = 0;
    /// Stops accepting focus again (hover and peek opens never take it).
    virtual void resignFocus() = 0;
    /// Whether the window has keyboard focus now.
    virtual bool isKey() const = 0;
};

/// The edge tab window.
class TabWindow {
public:
    virtual ~TabWindow() = default;
    /// Shows the tab (when the settings allow it) at its place, with its pop.
    virtual void show() = 0;
    virtual void hide() = 0;
    /// Moves the tab to its place on the current side and screen.
    virtual void position() = 0;
    /// Shows `unseen` frames; the pill re-lays itself with animation when the number changed.
    virtual void setUnseen(int unseen) = 0;
    virtual int unseen() const = 0;
    /// Runs the perforation like film for `arrived` new frames.
    virtual void advance(int arrived) = 0;
};

/// What the empty-state overlay shows.
struct EmptyState {
    enum class Kind { none, loading, unreadable, emptyFolder, noShots, noMatches };
    Kind kind = Kind::none;
    QString text;          ///< the folder's name (unreadable) or the query (noMatches)
    qsizetype pending = 0; ///< screenshots still waiting for text (noMatches)
    bool operator==(const EmptyState&) const = default;
};

/// The card (shelf) around the grid.
class ShelfPort {
public:
    virtual ~ShelfPort() = default;
    virtual bool isEditingSearch() const = 0;
    virtual bool searchVisible() const = 0;
    virtual QString searchText() const = 0;
    virtual void clearSearch() = 0;
    virtual void hideSearch() = 0;
    virtual void updatePin(bool pinned) = 0;
    virtual void setSide(DockSide side) = 0;
    virtual void layoutAll() = 0;
    virtual void layoutGrid(bool animated) = 0;
    virtual void setSliderValue(double thumb) = 0;
    virtual void updateChips(const Library& lib, const Scope& scope) = 0;
    /// The counter: `shown` alone when `plain`, else `shown` of `total`.
    virtual void setCount(qsizetype shown, qsizetype total, bool plain) = 0;
    virtual void setEmptyState(const EmptyState& state) = 0;
    /// How many screenshots wait for text recognition (0: none, or it is off).
    virtual void setReading(qsizetype pending) = 0;
    virtual void updateSelection(qsizetype count) = 0;
    /// Opens the search band; with `focus` it takes the keyboard, seeded with `seed`.
    virtual void showSearch(bool focus, const std::optional<QString>& seed) = 0;
    /// Ctrl+A, C, V, X or Z (`key`) applied to the search field being edited.
    virtual void editSearch(int key) = 0;
    /// A toast; with an `action`, a button that runs `run`.
    virtual void showToast(const QString& text, const QString& action,
                           std::function<void()> run) = 0;
};

/// The grid of frames inside the card.
class GridPort {
public:
    virtual ~GridPort() = default;
    virtual ShotList shots() const = 0;
    virtual void setShots(const ShotList& shots, bool animated, const QSet<QString>& fresh) = 0;
    virtual void setTarget(double thumb) = 0;
    virtual void setCaptions(bool captions) = 0;
    virtual qsizetype selectionCount() const = 0;
    virtual void clearSelection() = 0;
    virtual void develop(const QSet<QString>& paths) = 0;
    virtual void cascadeIn(bool fromRight) = 0;
    virtual void updateVisible() = 0;
    /// The layout frame of a shot's cell, in grid coordinates.
    virtual std::optional<QRectF> frameOf(const QString& path) const = 0;
    virtual void scrollToVisible(const QRectF& gridRect) = 0;
    virtual void scrollToTop() = 0;
    /// Makes the grid the keyboard's target inside the panel.
    virtual void focus() = 0;
    /// Closes the preview window when it is open.
    virtual void closePreview() = 0;
    /// Opens the preview of the selection, or closes it.
    virtual void togglePreview() = 0;
    virtual ShotList selectedShots() const = 0;
    virtual void selectAll() = 0;
    /// The shots of the drag-out in progress, if any.
    virtual ShotList draggedShots() const = 0;
    /// A Ctrl combination the panel did not use; true when the grid did.
    virtual bool command(QKeyEvent* event) = 0;
};
