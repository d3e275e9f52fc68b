#include "app/AppDelegate.h"

#include "settings/Prefs.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Names made only of numeric characters ("0042", also other scripts' digits)
// are the first generation's cache entries; anything with another character
// belongs to someone else.
bool isNumericName(const QString& name) {
    if (name.isEmpty())
        return false;
    for (const char32_t c : name.toUcs4()) {
        if (!QChar::isNumber(c))
            return false;
    }
    return true;
}

int removeNumericEntries(const QString& folder) {
    int removed = 0;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                             QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (!isNumericName(entry.fileName()))
            continue;
        // A link is removed itself, never what it points to.
        const bool ok = entry.isDir() && !entry.isSymLink()
                            ? QDir(entry.filePath()).removeRecursively()
                            : QFile::remove(entry.filePath());
        if (ok)
            ++removed;
    }
    return removed;
}

} // namespace

QString AppDelegate::cachesPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/tamberk");
}

QFuture<int> AppDelegate::migrateFromV1() {
    Prefs& prefs = Prefs::shared();
    if (prefs.boolean(Key::launched))
        return QtFuture::makeReadyFuture(0);
    if (prefs.boolean(Key::leftSide))
        prefs.set(Key::side, QStringLiteral("left"));
    return QtConcurrent::run(removeNumericEntries, cachesPath());
}
