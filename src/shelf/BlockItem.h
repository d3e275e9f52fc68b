#pragma once

#include <QAction>
#include <functional>

/// A menu item that runs its handler when chosen.
class BlockItem : public QAction {
public:
    /// `symbol` names a symbol of the theme's table; empty for no image.
    BlockItem(const QString& title, const QString& symbol, const QKeySequence& key,
              std::function<void()> handler, QObject* parent = nullptr);

    std::function<void()> handler;

    /// Runs `task` in `context` once the command of an item chosen from a menu
    /// closing now has run: menus release their holds through this, so the
    /// command still runs while the panel is held.
    static void afterChosen(QObject* context, std::function<void()> task);
};
