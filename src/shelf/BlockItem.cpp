#include "shelf/BlockItem.h"

#include "shelf/Theme.h"

BlockItem::BlockItem(const QString& title, const QString& symbol, const QKeySequence& key,
                     std::function<void()> handler_, QObject* parent)
    : QAction(title, parent)
    , handler(std::move(handler_)) {
    if (!symbol.isEmpty())
        setIcon(Theme::symbolIcon(symbol));
    if (!key.isEmpty())
        setShortcut(key);
    connect(this, &QAction::triggered, this, [this] {
        // A copy, so a handler that replaces or clears itself still finishes.
        if (auto run = handler)
            run();
    });
}
