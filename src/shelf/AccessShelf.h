#pragma once

#include <QString>

class QAccessibleInterface;
class QObject;

/// What screen readers see of the card's painted controls: the icon buttons
/// named by their tooltips, the chips as page tabs with their counts, the size
/// slider with its value, the toast as an alert and the empty state as text.
namespace shelfaccess {

/// The interface for one of those views, or nullptr when `object` is none of them.
QAccessibleInterface* create(const QString& className, QObject* object);

/// A tooltip's two halves: the action's name and, after two spaces, its shortcut.
struct Tip {
    QString name;
    QString keys;
};
Tip splitTip(const QString& tip);

} // namespace shelfaccess
