#pragma once

#include "panel/PanelPorts.h"
#include "shelf/Motion.h"

#include <QPointer>
#include <QWidget>

class PanelController;

/// The panel window: a frameless dock over the full screen height, wider than
/// the card it holds, transparent and click-through outside the card. Opening
/// on hover or peek never takes the keyboard; the controller asks for focus
/// when the user acted on the panel itself.
class ShelfPanel : public QWidget, public PanelWindow {
    Q_OBJECT
public:
    /// Card corner radius and the room its shadow needs around it.
    static constexpr double radius = 14;
    static constexpr int shadowMargin = 18;
    /// The card's slide from the docking edge, in points.
    static constexpr double slide = 28;

    /// `composited`: whether a compositor runs now (ARGB visual and window
    /// opacity only then).
    explicit ShelfPanel(bool composited);
    ~ShelfPanel() override;

    void setController(PanelController* ctl) { m_ctl = ctl; }
    /// The card widget drawn in the window (the shelf).
    void setCard(QWidget* card);
    QWidget* card() const { return m_card; }

    /// A compositor started or stopped. A hidden window switches its visual at
    /// once, a shown one when it is next unmapped.
    void setComposited(bool composited);
    bool composited() const { return m_composited; }

    // PanelWindow
    void setWindowFrame(const QRectF& frame) override;
    void setCardRect(const QRectF& cardInWindow) override;
    QRectF cardRect() const override { return m_cardRect; }
    void present(DockSide side, std::function<void()> faded) override;
    void dismiss(DockSide side, std::function<void()> done) override;
    void orderOut() override;
    bool isShown() const override { return isVisible(); }
    void setIgnoresMouse(bool ignore) override;
    bool ignoresMouse() const override { return m_ignoresMouse; }
    void makeKey(quint32 timestamp) override;
    void resignFocus() override;
    bool isKey() const override { return isActiveWindow(); }

signals:
    /// The window lost keyboard focus.
    void resignedKey();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createNative();
    void applyShape();
    void applyMotion();
    void setFocusable(bool focusable);

    QPointer<PanelController> m_ctl;
    QPointer<QWidget> m_card;
    QRectF m_cardRect;
    bool m_composited = false;
    bool m_visualStale = false; // the compositor changed while shown
    bool m_ignoresMouse = false;
    quint32 m_lastUserTime = 0; // X time of the last press inside the panel
    quint32 m_keyAskedAt = 0;   // the press whose focus request went out
    motion::Layer m_motion;     // window opacity and the card's slide
};
