#pragma once

#include <QStringList>

class QMenu;
class QWidget;

/// The "Share" submenu for a set of files: the applications that open them
/// (the default first), then "Other Application…" and "Email…". Filled each
/// time it opens, so it follows changes to the desktop's associations.
namespace ShareMenu {

QMenu* create(const QStringList& paths, QWidget* parent = nullptr);

/// Fills `menu` with the items for `paths`, replacing what it held.
void fill(QMenu* menu, const QStringList& paths);

} // namespace ShareMenu
