#pragma once

// The per-tool backends behind SystemCapture, one file each, and the small
// helpers they share. Not for use outside src/settings.

#include "settings/SystemCapture.h"

#include <memory>
#include <optional>

namespace CaptureBackends {

/// The shell's own UI; `unusedFolder` is a folder gnome-screenshot names
/// although it is neither running nor bound, watched for strays all the same.
std::unique_ptr<CaptureBackend> gnomeShell(const QString& unusedFolder = {});
std::unique_ptr<CaptureBackend> gnomeScreenshot();
/// Spectacle of Plasma 6 (`plasma` 6) or Plasma 5 (`plasma` 5).
std::unique_ptr<CaptureBackend> spectacle(int plasma);
std::unique_ptr<CaptureBackend> flameshot();
std::unique_ptr<CaptureBackend> ksnip();
std::unique_ptr<CaptureBackend> xfceScreenshooter();
/// Nothing to read or write: XDG Pictures + "Screenshots".
std::unique_ptr<CaptureBackend> generic(const QString& desktop);

/// $XDG_CONFIG_HOME (or ~/.config) + "/" + relative.
QString configFile(const QString& relative);
/// The standard output of a short-lived program, trimmed; nothing when it
/// cannot start, fails, or takes longer than a few seconds.
std::optional<QString> output(const QString& program, const QStringList& args);
/// The text before the first of `markers` in a file-name template; nothing
/// when that is empty.
std::optional<QString> prefixBefore(const QString& pattern, const QString& markers);

/// A GVariant string as gsettings prints it ('text' or "text"), unquoted.
std::optional<QString> parseVariantString(const QString& printed);
/// `text` as a GVariant string literal for `gsettings set`.
QString quoteVariantString(const QString& text);

} // namespace CaptureBackends
