#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <optional>

class QScreen;

/// Which screen the panel and the tab use, after "t2.screen": the primary
/// screen, the screen under the pointer (for the user's own opens; the tab
/// stays on the primary screen), or a screen by its name, which falls back to
/// the primary screen while it is not connected.
namespace ScreenChoice {

inline constexpr char primary[] = "primary";
inline constexpr char pointer[] = "pointer";
inline constexpr char outputPrefix[] = "output:";

/// The stored value that names the screen `name`.
QString named(const QString& name);

/// One connected screen as the choice sees it.
struct Screen {
    QString name;
    QRect geometry;
};

/// The index in `screens` of the screen for `choice`. `primary` is the
/// primary screen's index; `pointerAt` is where the pointer is for an open
/// that follows it (nothing for the tab, hover and peek). -1 without screens.
int pick(const QList<Screen>& screens, int primary, const QString& choice,
         std::optional<QPoint> pointerAt);

/// The screen of the tab (and of every open that does not follow the pointer).
QScreen* tabScreen();
/// The screen of an open by the user's shortcut, command or tray, with the
/// pointer at `pointerAt`.
QScreen* openScreen(const QPoint& pointerAt);
/// The connected screen named `name`, or null.
QScreen* byName(const QString& name);

} // namespace ScreenChoice
