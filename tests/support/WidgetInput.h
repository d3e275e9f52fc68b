#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

/// Sends a mouse event of the left button (or `button`) to `w` at `local`,
/// with the screen position given: a drag may leave the widget.
inline void sendMouse(QWidget* w, QEvent::Type type, QPointF local, QPointF global,
                      Qt::MouseButtons buttons = Qt::LeftButton,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                      Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent event(type, local, local, global, button, buttons, modifiers);
    QApplication::sendEvent(w, &event);
}

/// The same at the screen position that `local` maps to.
inline void sendMouse(QWidget* w, QEvent::Type type, QPointF local,
                      Qt::MouseButtons buttons = Qt::LeftButton,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                      Qt::MouseButton button = Qt::LeftButton) {
    sendMouse(w, type, local, w->mapToGlobal(local), buttons, modifiers, button);
}
