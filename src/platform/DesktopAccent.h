#pragma once

#include <QColor>
#include <QString>
#include <optional>

/// The accent colour the user chose in the desktop's own settings. Each reader
/// answers nothing when its desktop has no such setting, so the caller can try
/// the next source.
namespace DesktopAccent {

/// KDE Plasma: `[General] AccentColor` of `kdeglobals` in `configHome`
/// ("r,g,b" in decimal, or "#rrggbb"); nothing when the file or key is missing
/// or the value does not parse.
std::optional<QColor> fromKdeGlobals(const QString& configHome);

/// GNOME 47 and later: `org.gnome.desktop.interface accent-color`, read through
/// GSettings only when the installed schema has that key (GSettings aborts the
/// process on an unknown key). `schemaDir` and `keyFile` replace the system's
/// schemas and settings backend; tests use them, the app passes nothing.
std::optional<QColor> fromGnome(const QString& schemaDir = {}, const QString& keyFile = {});

/// The colour of one of GNOME's named accents ("blue", "teal", …) as the dark
/// style shows it; nothing for an unknown name.
std::optional<QColor> gnomeNamedColor(const QString& name);

/// Whether the running session is GNOME, going by XDG_CURRENT_DESKTOP.
bool sessionIsGnome();

} // namespace DesktopAccent
