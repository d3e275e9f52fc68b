#pragma once

#include "shelf/ChipRows.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class QDropEvent;
class QMenu;

/// One pill of the chip bar: a symbol, a title and a count. It lights up when
/// its scope is selected, takes frames dragged out of the grid (and nothing
/// else) when it stands for a folder, and offers the folder's menu.
class ChipView : public QWidget {
    Q_OBJECT
public:
    explicit ChipView(const ChipDef& def, QWidget* parent = nullptr);

    const ChipDef& def() const { return m_def; }
    ChipKind kind() const { return m_def.kind; }
    qint64 count() const { return m_count; }
    bool active() const { return m_active; }
    bool hovering() const { return m_hovering; }
    bool dropHover() const { return m_dropHover; }
    /// The width the chip wants for its text, computed by `refresh`.
    double measured() const { return m_measured; }

    /// Sets the count and the flag; refreshes only when either changed.
    void setState(qint64 count, bool active);
    /// Recomputes the text and the wanted width and repaints.
    void refresh();

    /// The widget whose drags the chip accepts: the grid.
    void setDropSource(QObject* source) { m_dropSource = source; }
    /// Whether a drag whose source object is `dragSource` (null for drags from
    /// other programs) started in `widget` or one of its children.
    static bool comesFrom(const QObject* dragSource, const QObject* widget);

    std::function<void()> onClick;
    std::function<void()> onDrop;
    /// The folder's menu, built anew for each request; the chip deletes it after use.
    std::function<QMenu*()> onMenu;

    /// The chip's text: the title, two spaces and the count.
    QString text() const;

protected:
    /// The object that started a drag in this process, or null.
    virtual const QObject* dragSource(const QDropEvent* event) const;

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool acceptsDrop(const QDropEvent* event) const;
    void setDropHover(bool hover);

    ChipDef m_def;
    qint64 m_count = 0;
    bool m_active = false;
    bool m_hovering = false;
    bool m_dropHover = false;
    double m_measured = 0;
    QPointer<QObject> m_dropSource;
};
