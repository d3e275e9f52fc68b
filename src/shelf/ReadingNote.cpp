#include "shelf/ReadingNote.h"

#include <QLocale>

QString ReadingNote::text(qint64 pending, bool searching) {
    if (pending <= 0)
        return {};
    // The shelf speaks English; its numbers are grouped the English way.
    const QString n = QLocale(QLocale::English, QLocale::UnitedStates).toString(pending);
    if (!searching)
        return QStringLiteral("Reading text \u00b7 %1 left").arg(n);
    return QStringLiteral("Still reading %1 %2")
        .arg(n, pending == 1 ? QStringLiteral("screenshot") : QStringLiteral("screenshots"));
}
