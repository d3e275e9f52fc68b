#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPoint>
#include <QRect>

/// An invisible X window that takes the pointer over a rectangle of the
/// screen and reports what the pointer does there. A window shaped to what
/// it draws receives the pointer only inside that shape (X clips input to
/// the bounding shape); laid over it, this one gives it a larger area to
/// answer on. Override-redirect and input-only: no window manager frames or
/// moves it, and it draws nothing. Does nothing off xcb. Positions are in
/// device pixels on the root window.
class InputOnlyWindow : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit InputOnlyWindow(QObject* parent = nullptr);
    ~InputOnlyWindow() override;

    void setGeometry(const QRect& rect);
    QRect geometry() const { return m_rect; }
    /// Maps the window (when needed) and raises it above every other.
    void show();
    void hide();
    bool isShown() const { return m_shown; }
    /// Keeps the window above `window` (a top-level X window of this
    /// application): raised again whenever the window manager maps or
    /// restacks that one.
    void stayAbove(quint32 window) { m_below = window; }
    /// The X window (0 without X).
    quint32 id() const { return m_id; }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

signals:
    void entered(QPoint global);
    void moved(QPoint global);
    void left();
    /// `button` is the X button number (1 left, 2 middle, 3 right);
    /// `time` the event's X timestamp.
    void pressed(int button, QPoint global, quint32 time);
    void released(int button, QPoint global, quint32 time);

private:
    void raise();

    quint32 m_id = 0;
    quint32 m_below = 0;
    QRect m_rect{0, 0, 1, 1};
    bool m_shown = false;
};
