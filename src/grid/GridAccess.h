#pragma once

#include "library/Shot.h"

#include <QString>
#include <optional>

class QAccessibleInterface;
class QObject;

/// What screen readers see of the film roll: a list whose items are the frames,
/// each with the cell's copy and delete buttons, and the events that announce
/// focus and selection changes. The cells are painted, not widgets, so the
/// items are interfaces of their own, made when first asked for.
namespace gridaccess {

/// The interface for the grid, or nullptr when `object` is something else.
QAccessibleInterface* create(const QString& className, QObject* object);

/// What a screen reader says after a frame's name: when it was taken, the
/// length of a recording, and the first line of its recognised text.
QString describe(const Shot& shot, const std::optional<QString>& text);

} // namespace gridaccess
