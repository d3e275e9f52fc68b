#pragma once

#include "grid/GridSelection.h"
#include "library/Shot.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>

class GridView;
class PreviewWindow;
class QContextMenuEvent;
class QKeyEvent;
class QMouseEvent;
class QPainter;

/// The grid's side of the selection rules: it feeds them the roll's pointer and
/// key events, carries out what they decide through the grid's host, runs the
/// drag-out of frames, paints the rubber band, and steers the preview window.
class GridInteraction : public QObject, public GridSelection::Client {
    Q_OBJECT
public:
    explicit GridInteraction(GridView& grid);
    ~GridInteraction() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

public:
    GridSelection& rules() { return m_rules; }
    const GridSelection& rules() const { return m_rules; }

    // Events of the grid; each returns whether it used the event.
    bool mousePress(QMouseEvent* event);
    bool mouseDoubleClick(QMouseEvent* event);
    bool mouseMove(QMouseEvent* event);
    bool mouseRelease(QMouseEvent* event);
    bool contextMenu(QContextMenuEvent* event);
    /// The Menu key or Shift+F10: the menu of the frames the keyboard acts on.
    void keyboardMenu();
    bool keyPress(QKeyEvent* event);
    /// A Ctrl combination the panel passes on; true when it belongs to the grid.
    bool command(QKeyEvent* event);
    /// Paints the rubber band and the keyboard focus over the cells.
    void paint(QPainter& painter) const;
    /// Where the keyboard focus shows while the roll has it: around the frame the
    /// keys act on, else the first frame, where the arrows start. Empty otherwise.
    QRectF focusMark() const;
    /// Repaints the focus mark where it was and where it is now.
    void updateFocusMark();

    /// The preview window, once it has been opened.
    PreviewWindow* preview() const { return m_preview.get(); }
    /// The shots of the drag in progress (the panel moves them on a folder drop).
    const ShotList& draggedShots() const { return m_draggedShots; }

    /// The drag image of frames: the first on top, up to three behind it offset
    /// down and right, and a count badge for more than one. `top` is where the
    /// first frame lies in it, in device-independent pixels.
    struct Pile {
        QImage image;
        QRect top;
    };
    static Pile pileImage(const QList<QImage>& images, int count, qreal devicePixelRatio);
    /// The pile hangs below and right of the pointer, leaving what it points at in view.
    static constexpr QPoint pileHotSpot{-14, -10};

    // GridSelection::Client
    int count() const override;
    QString pathAt(int index) const override;
    int indexOf(const QString& path) const override;
    std::optional<QRectF> frameOf(const QString& path) const override;
    std::optional<QString> hovered() const override;
    QSet<QString> selection() const override;
    void setSelection(const QSet<QString>& selection) override;
    bool hasHost() const override;
    bool previewChosen() const override;
    void open(const QStringList& paths) override;
    void copy(const QStringList& paths) override;
    void trash(const QStringList& paths) override;
    void reveal(const QStringList& paths) override;
    void escape() override;
    void search(const QString& seed) override;
    void menu(const QStringList& paths) override;
    void hold(bool held) override;
    void beginDrag(const QStringList& paths) override;
    void marqueeChanged(const std::optional<QRectF>& rect) override;
    void scrollToVisible(const QRectF& rect) override;
    bool previewVisible() const override;
    void showPreview() override;
    void closePreview() override;
    void reloadPreview(const QStringList& items) override;

private:
    ShotList shotsFor(const QStringList& paths) const;
    /// The image rectangle of a shot's cell on screen, where it is visible.
    QRect sourceFrame(const Shot& shot) const;
    void autoscroll(QPointF point);

    GridView& m_grid;
    GridSelection m_rules;
    std::optional<QRectF> m_marquee;
    std::unique_ptr<PreviewWindow> m_preview;
    ShotList m_draggedShots;
    QPoint m_menuPos;           // where the right click was, in global coordinates
    mutable QRectF m_markShown; // the focus mark as last painted
};
