#include "shelf/BlockItem.h"

#include "shelf/Theme.h"

#include <QCoreApplication>

BlockItem::BlockItem(const QString& title, const QString& symbol, const QKeySequence& key,
                     std::function<void()> handler_, QObject* parent)
    : QAction(title, parent)
    , handler(std::move(handler_)) {
    if (!symbol.isEmpty())
        setIcon(Theme::symbolIcon(symbol));
    if (!key.isEmpty())
        setShortcut(key);
    connect(this, &QAction::triggered, this, [this] {
        // The handler runs on the next turn, from a copy, outside the menu: the
        // menu's own code is still on the stack while this signal is emitted,
        // and a handler that opens a dialog spins a nested loop in which the
        // closed menu (and this item) may be deleted under that code.
        if (auto run = handler)
            QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(run),
                                      Qt::QueuedConnection);
    });
}

void BlockItem::afterChosen(QObject* context, std::function<void()> task) {
    // The command is posted when the item is triggered, after the menu began
    // to close; posting twice puts the task behind it.
    QMetaObject::invokeMethod(
        context,
        [context, task = std::move(task)]() mutable {
            QMetaObject::invokeMethod(context, std::move(task), Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}
