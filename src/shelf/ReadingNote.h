#pragma once

#include <QString>

/// What the shelf says while screenshots wait for text recognition, so that a
/// search that finds nothing in an unread frame does not look final.
namespace ReadingNote {

/// "Reading text · 1,234 left" beside an empty search field, "Still reading
/// 1,234 screenshots" beside a search's results or under "Nothing matches";
/// empty when nothing waits.
QString text(qint64 pending, bool searching);
/// "Still reading 1,234", for where the whole hint does not fit.
QString brief(qint64 pending);

} // namespace ReadingNote
