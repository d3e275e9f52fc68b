#include "shelf/ReadingNote.h"

#include <QLocale>

namespace {
// The shelf speaks English; its numbers are grouped the English way.
QString number(qint64 n) {
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(n);
}
} // namespace

QString ReadingNote::brief(qint64 pending) {
    return pending <= 0 ? QString() : QStringLiteral("Still reading %1").arg(number(pending));
}

QString ReadingNote::text(qint64 pending, bool searching) {
    if (pending <= 0)
        return {};
    const QString n = number(pending);
    if (!searching)
        return QStringLiteral("Reading text \u00b7 %1 left").arg(n);
    return QStringLiteral("Still reading %1 %2")
        .arg(n, pending == 1 ? QStringLiteral("screenshot") : QStringLiteral("screenshots"));
}
