#pragma once

#include "grid/GridHost.h"
#include "library/Scope.h"
#include "library/Shot.h"
#include "panel/Deadlines.h"
#include "panel/PanelCommands.h"
#include "panel/PanelGeometry.h"
#include "panel/PanelMenus.h"
#include "panel/PanelPorts.h"
#include "shelf/ShelfReceiver.h"

#include <QObject>
#include <QPointF>
#include <functional>
#include <memory>

class Library;
class QKeyEvent;
class QMenu;
class QPoint;
namespace motion {
class Animator;
}

/// The delays and durations of opening and closing, in seconds.
namespace PanelDelay {
inline constexpr double hoverOpen = 0.14;
inline constexpr double hoverClose = 1.4;
inline constexpr double peekClose = 2.8;
inline constexpr double pointerLeft = 0.45;
inline constexpr double resignedKey = 0.25;
inline constexpr double released = 0.6; // unpin, last hold released, menu closed
inline constexpr double fadeIn = 0.2;
inline constexpr double fadeOut = 0.17;
inline constexpr double query = 0.12;
inline constexpr double save = 0.4;
inline constexpr double aspect = 0.15;
} // namespace PanelDelay

/// The parts the controller drives. Not owned: whoever builds the windows
/// keeps them alive for the controller's life.
struct PanelParts {
    PanelWindow* panel = nullptr;
    TabWindow* tab = nullptr;
    ShelfPort* shelf = nullptr;
    GridPort* grid = nullptr;
};

/// Where the controller's time, pointer and screen come from. The defaults
/// are the real ones; tests pass a manual animator, clock, pointer and screen.
struct PanelEnv {
    motion::Animator* animator = nullptr;           ///< null: the shared animator
    Deadlines::Clock clock;                         ///< set: manual delayed tasks on this clock
    std::function<QPointF()> pointer;               ///< null: QCursor::pos()
    std::function<ScreenFrames()> screen;           ///< null: the primary screen
    std::function<void(const ShotPtr&)> copyShot;   ///< null: the clipboard (auto-copy)
    std::function<void(const ShotList&)> copyShots; ///< null: the clipboard (Copy)
    PanelCommands::Open openFiles;                  ///< null: the default applications
    Prompts* prompts = nullptr;                     ///< null: modal dialogs
    /// Pops a menu at a global point (the tests record it instead).
    std::function<void(QMenu*, const QPoint&)> popup;
};

/// Opens and closes the docked panel: hover on the tab, clicks, the shortcut,
/// the pin, holds taken by menus and dialogs, the pointer leaving the card,
/// the panel losing focus and the brief peek when a frame lands. Also the
/// card's width and the thumbnail size. Knows the windows only through the
/// small interfaces of PanelPorts.h, so it runs in tests without a display.
class PanelController : public QObject, public GridHost, public ShelfReceiver, public MenuHost {
    Q_OBJECT
public:
    enum class State { collapsed, expanded };
    /// Which screen an open lands on: the tab's (hover, click, peek, pin), or
    /// the one "t2.screen" chooses for the user's own opens (shortcut,
    /// command line, tray), which may be the screen under the pointer.
    enum class Where { tab, choice };

    PanelController(Library& lib, PanelParts parts, PanelEnv env = {}, QObject* parent = nullptr);
    ~PanelController() override;

    // Opening and closing.
    /// Opens the panel; with `makeKey` it also takes keyboard focus for the
    /// user action of X time `timestamp` and focuses the grid.
    void expand(bool makeKey, quint32 timestamp = 0, Where where = Where::tab);
    /// Closes the panel; without `force` it refuses while held or pinned.
    void collapse(bool force) override;
    /// Closes after `delay` seconds unless the pointer comes back, a hold is
    /// taken or the panel gets pinned meanwhile.
    void scheduleCollapse(double delay, bool ignoreEditing);
    /// Takes (true) or releases (false) one hold; the panel stays open while held.
    void hold(bool on) override;
    void togglePin() override;
    /// The panel lost keyboard focus.
    void resignedKey();

    // Input from the card and the tab.
    void mouseInPanel(bool inside) override;
    void tabHover(bool hovering);
    void tabPressed();
    /// A click released inside the tab: toggles the panel.
    void tabClicked(quint32 timestamp);
    /// A context menu whose owner is the controller opened or closed.
    void menuWillOpen();
    void menuDidClose();

    // The library.
    void libArrived(const ShotList& shots);
    /// The number of screenshots waiting for text changed.
    void readingChanged(qsizetype pending);
    void libChanged();
    void select(const Scope& scope) override;
    void setQuery(const QString& text) override;
    void reload(bool animated, const QSet<QString>& fresh);

    // Geometry, width and thumbnail size.
    QRectF windowFrame() const;
    QRectF cardScreenFrame() const;
    void applyCard();
    void reposition();
    void screensChanged() { reposition(); }
    void setWidthLive(double w);
    void setThumb(double t, bool live);
    /// Ctrl++ (`larger`) and Ctrl+-: the thumbnail size times or divided by 1.15.
    void stepThumb(bool larger);
    /// The stored thumbnail size after a settings change. The panel's own
    /// saves come back here too; only a size it did not write is followed.
    void followStoredThumb(double stored);
    void persistSize();
    void animateWidth(double target);
    void aspectChanged();
    void handleDragged(double pointerX);
    void gripBegan();
    void gripDragged(double dx);
    void widthDragEnded();
    void gripDoubleClicked();

    // Grid host.
    void open(const ShotList& shots) override;
    void copy(const ShotList& shots) override;
    void trash(const ShotList& shots) override;
    void escape() override;
    void gridHold(bool on) override { hold(on); }
    void gridWantsKeyboard() override;
    QMenu* menuFor(GridView* grid, const ShotList& shots) override;
    void gridDrag(GridView* grid, bool active) override;
    void gridDragMoved(GridView* grid) override;
    void gridSelectionChanged(int count) override;
    void gridSearch(const QString& seed) override;
    void reveal(const QStringList& paths) override { m_menus.reveal(paths); }
    std::optional<QString> recognizedText(const Shot& shot) const override;

    // Shelf receiver (the rest is above).
    void undo() override;
    void showSettings() override;
    void makeKey() override;
    void newFolderPrompt(const ShotList& moving, const QString& parent) override;
    void dropSelection(const QString& folder) override;
    QMenu* folderMenu(const QString& folder) override;

    // Menu host (the rest is above).
    Library& library() override { return m_lib; }
    Prompts& prompts() override { return *m_prompts; }
    void toast(const QString& text, const QString& action = {},
               std::function<void()> run = {}) override;
    void togglePreview() override { m_parts.grid->togglePreview(); }
    void selectAll() override { m_parts.grid->selectAll(); }
    ShotList draggedOrSelected() override;
    Scope scope() const override { return m_scope; }
    void replaceScope(const Scope& scope) override;

    // Commands of the panel.
    /// The panel's Ctrl shortcuts; false when neither the panel nor the grid used the key.
    bool handleKeyEquivalent(QKeyEvent* event);
    /// The selection bar's share button: the share menu at `below` (global).
    void share(const QPoint& below);
    /// The selection bar's move button: the move menu at `below` (global).
    void popMoveMenu(const QPoint& below);
    /// What the settings button and Ctrl+, run (the application shell fills it).
    void setShowSettings(std::function<void()> show) { m_showSettings = std::move(show); }
    /// Nothing on X11: no desktop lets a window keep out of other programs'
    /// captures, so the setting is kept but has nothing to apply.
    void applyCaptureVisibility() {}
    PanelMenus& menus() { return m_menus; }

    // State, for the windows, the remote control and the tests.
    State state() const { return m_state; }
    bool expanded() const { return m_state == State::expanded; }
    int holds() const { return m_holds; }
    bool mouseInside() const { return m_mouseInside; }
    int unseen() const { return m_unseen; }
    double width() const { return m_width; }
    double thumb() const { return m_thumb; }
    const QString& query() const { return m_query; }
    bool resizing() const { return m_resizing; }
    bool polling() const { return m_polling; }
    bool tweening() const { return m_tweenId != 0; }
    Deadlines& deadlines() { return *m_deadlines; }

signals:
    /// The panel opened or closed (the remote control's state follows it).
    void expandedChanged(bool expanded);

private:
    enum Work { collapseWork, hoverWork, queryWork, saveWork, aspectWork, pointerWork };
    // Seconds between pointer reads while it moves, and at most while it rests.
    static constexpr double kPollFast = 1.0 / 60;
    static constexpr double kPollSlow = 0.25;

    void pointerCheck();
    void pollPointer();
    void pop(QMenu* menu, const QPoint& at);
    bool wantsIgnore(bool inside) const;
    bool pointerInCard();
    void startPassThrough();
    void stopPassThrough();
    void stopTween();
    ScreenFrames screen() const;
    QPointF pointer() const;
    motion::Animator& animator() const;

    Library& m_lib;
    PanelParts m_parts;
    PanelEnv m_env;
    std::unique_ptr<Deadlines> m_deadlines;
    std::unique_ptr<Prompts> m_ownPrompts;
    Prompts* m_prompts = nullptr;
    PanelMenus m_menus;
    std::unique_ptr<PanelCommands> m_commands;
    std::function<void()> m_showSettings;

    State m_state = State::collapsed;
    Scope m_scope = Scope::session();
    QString m_query;
    int m_holds = 0;
    bool m_mouseInside = false;
    bool m_keyboardOpen = false; // opened for the keys, and the pointer has not been in since
    int m_unseen = 0;
    double m_width = 268;
    double m_thumb = 224;
    // The thumbnail size as the panel last read or wrote it in the store.
    double m_storedThumb = 224;
    double m_dragStartWidth = 0;
    bool m_resizing = false;
    bool m_draggingOut = false;
    bool m_polling = false; // the pointer is read while expanded
    double m_pollDelay = kPollFast;
    QPointF m_lastPointer; // as last read
    // The name of the screen the panel was opened on when it is not the
    // tab's; empty: the tab's screen.
    QString m_onScreen;
    int m_tweenId = 0; // the width animation's frame callback
};
