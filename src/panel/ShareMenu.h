#pragma once

#include "platform/AppChooser.h"

#include <QStringList>
#include <functional>

class QMenu;
class QWidget;

/// The "Share" submenu for a set of files: the applications that open them
/// (the default first), then "Other Application…" and "Email…". Filled each
/// time it opens, so it follows changes to the desktop's associations.
namespace ShareMenu {

/// What the items look up and do: the desktop's by default. Each action says
/// whether it started; email also calls its second argument when the mail
/// tool ended without starting a message.
struct Actions {
    std::function<QList<AppChooser::App>(const QStringList& paths)> apps = AppChooser::appsFor;
    std::function<bool(const QString& appId, const QStringList& paths)> launch = AppChooser::launch;
    std::function<bool(const QString& path)> chooseOther = AppChooser::chooseOther;
    std::function<bool(const QStringList& paths, const std::function<void()>& failedLater)> email =
        AppChooser::email;
};

/// Hears, in words for a toast, that an item's action did not start.
using Failed = std::function<void(const QString& text)>;

QMenu* create(const QStringList& paths, Failed failed, QWidget* parent = nullptr,
              Actions actions = {});

/// Fills `menu` with the items for `paths`, replacing what it held.
void fill(QMenu* menu, const QStringList& paths, const Failed& failed, const Actions& actions = {});

} // namespace ShareMenu
