#pragma once

#include <QPointF>
#include <QRectF>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

/// A spatial step of the keyboard focus.
enum class Direction { Left, Right, Up, Down };

/// The interaction rules of the film roll, kept apart from the widget: which
/// shots are selected and how clicks, modifier clicks, the rubber band and the
/// keyboard change that, which shots a command acts on, and how the preview is
/// steered. Selection works like a select mode: while nothing is selected, a
/// plain click only remembers the shot for the keyboard; the check mark, a
/// Ctrl-click, a Shift-click or a rubber band start a selection; from then on
/// plain clicks toggle shots in and out of it.
///
/// Shots are named by their paths. The grid is the Client: it knows the
/// listing, the layout frames, the hovered cell and the selection set, and it
/// carries out what the rules decide.
class GridSelection {
public:
    class Client {
    public:
        virtual ~Client() = default;

        // The listing and its layout.
        virtual int count() const = 0;
        virtual QString pathAt(int index) const = 0;
        virtual int indexOf(const QString& path) const = 0; ///< -1 when not listed
        virtual std::optional<QRectF> frameOf(const QString& path) const = 0;
        virtual std::optional<QString> hovered() const = 0;

        /// The selection set; setting a different set must end in selectionDidChange().
        virtual QSet<QString> selection() const = 0;
        virtual void setSelection(const QSet<QString>& selection) = 0;

        /// Without a host, the actions below are not asked for.
        virtual bool hasHost() const = 0;
        /// Double click and Return preview instead of opening ("t2.doubleClick").
        virtual bool previewChosen() const = 0;
        virtual void open(const QStringList& paths) = 0;
        virtual void copy(const QStringList& paths) = 0;
        virtual void trash(const QStringList& paths) = 0;
        virtual void reveal(const QStringList& paths) = 0;
        virtual void escape() = 0;
        virtual void search(const QString& seed) = 0;
        virtual void menu(const QStringList& paths) = 0;
        virtual void hold(bool held) = 0;

        /// A drag of these shots starts; the client runs it and calls dragEnded().
        virtual void beginDrag(const QStringList& paths) = 0;
        /// The rubber band moved (nullopt: it is gone).
        virtual void marqueeChanged(const std::optional<QRectF>& rect) = 0;
        virtual void scrollToVisible(const QRectF& rect) = 0;

        virtual bool previewVisible() const = 0;
        /// Opens the preview on previewItems(); the client calls previewBegan().
        virtual void showPreview() = 0;
        virtual void closePreview() = 0;
        virtual void reloadPreview(const QStringList& items) = 0;
    };

    /// Farther than this from the press (points), a press on a cell becomes a drag.
    static constexpr double dragDistance = 4;
    /// The check mark takes clicks this far around its circle (points).
    static constexpr double checkMargin = 5;
    /// Keyboard moves keep this much room above and below the new cell (points).
    static constexpr double scrollMargin = 14;

    explicit GridSelection(Client& client)
        : m_client(client) {}

    /// The check mark's circle in a cell with layout frame `cell`: 18 points
    /// across at the image's top-left corner, 7 points in.
    static QRectF checkFrame(const QRectF& cell);

    /// The selected paths in listing order.
    QStringList selectedPaths() const;
    /// What a command acts on: the selection, else the hovered shot, else the
    /// last clicked one (while listed), else nothing.
    QStringList actionTargets() const;

    /// Flips `path` in or out of the selection and makes it the anchor.
    void toggle(const QString& path);

    void mouseDown(QPointF point, int clickCount, Qt::KeyboardModifiers modifiers);
    void mouseDragged(QPointF point);
    void mouseUp();
    /// A drag started by beginDrag() has ended, however it ended.
    void dragEnded();
    /// Right click: asks the host for the menu of the shots under `point`.
    void menuRequest(QPointF point);
    /// The menu asked for from the keyboard: of the frames keys act on, or of
    /// the empty space when there are none.
    void keyboardMenuRequest();

    /// A key without Ctrl. `text` is what it types; `capsLock` whether Caps Lock
    /// is on. Returns whether it was handled.
    bool keyDown(int key, Qt::KeyboardModifiers modifiers, const QString& text, bool capsLock);
    /// A key with Ctrl. Returns whether it belongs to the grid (even when it did
    /// nothing for lack of targets).
    bool command(int key);

    void moveSelection(Direction direction, bool extend);
    /// The cell next to `path` in `direction` by layout frames, else the
    /// neighbour in listing order.
    std::optional<QString> neighbor(const QString& path, Direction direction) const;

    /// Closes a visible preview, or opens it on the action targets.
    void toggleQuickLook();
    /// The preview is showing under the grid's control, or has stopped.
    void previewBegan();
    void previewEnded();
    /// The focused shot alone while there is one, else the selection.
    QStringList previewItems() const;
    /// An arrow key pressed in the preview.
    void previewArrow(Direction direction);
    /// The selection set changed (by these rules or by a new listing).
    void selectionDidChange();

    std::optional<QString> anchor() const { return m_anchor; }
    /// The frame the keyboard is on: where the arrows move from, else the last
    /// one clicked; nothing when neither is listed.
    std::optional<QString> cursor() const;
    std::optional<QString> lastClicked() const { return m_lastClicked; }
    std::optional<QString> downKey() const { return m_downKey; }
    std::optional<QString> pendingToggle() const { return m_pendingToggle; }
    std::optional<QString> previewFocus() const { return m_qlFocus; }
    QPointF downPoint() const { return m_downPoint; }
    bool dragging() const { return m_dragging; }
    bool previewActive() const { return m_qlActive; }

private:
    std::optional<QString> keyAt(QPointF point) const;
    bool listed(const std::optional<QString>& path) const;
    void openOrPreview(const QStringList& targets);
    void scrollTo(const QString& path);

    Client& m_client;
    std::optional<QString> m_anchor;
    std::optional<QString> m_downKey;
    QPointF m_downPoint;
    std::optional<QString> m_pendingToggle;
    std::optional<QString> m_lastClicked;
    std::optional<QPointF> m_marqueeStart;
    QSet<QString> m_marqueeBase;
    bool m_marqueeShown = false;
    bool m_dragging = false;
    bool m_qlActive = false;
    std::optional<QString> m_qlFocus;
};
