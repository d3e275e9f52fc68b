#include "settings/LoginItem.h"

#include "platform/KeyFile.h"
#include "platform/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr char kEntryName[] = "org.tamberk.Tamberk.desktop";
const QString kGroup = QStringLiteral("Desktop Entry");

void logLoginItem(const QString& message) {
    qCWarning(lcTamberk).noquote() << QStringLiteral("Tamberk login item: ") + message;
}

// The program as one Exec argument: quoted when it holds a reserved
// character, with the characters that stay special inside quotes escaped.
QString quotedArgument(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString escaped;
    bool needsQuotes = argument.isEmpty();
    for (const QChar c : argument) {
        if (reserved.contains(c))
            needsQuotes = true;
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            escaped.append(QLatin1Char('\\'));
        // A field code would be expanded by the launcher.
        if (c == QLatin1Char('%'))
            escaped.append(QLatin1Char('%'));
        escaped.append(c);
    }
    return needsQuotes ? QLatin1Char('"') + escaped + QLatin1Char('"') : escaped;
}

// The Exec value as the file stores it: the general string escapes apply on
// top of the argument quoting.
QString storedValue(const QString& value) {
    QString stored = value;
    stored.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    return stored;
}

bool isTrue(const std::optional<QString>& value) {
    return value && value->trimmed().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}
bool isFalse(const std::optional<QString>& value) {
    return value && value->trimmed().compare(QLatin1String("false"), Qt::CaseInsensitive) == 0;
}

// Whether the entry at `path` starts the program: a desktop entry that is not
// Hidden and not switched off for GNOME.
bool entryEnabled(const QString& path) {
    const KeyFile file = KeyFile::load(path);
    if (!file.hasGroup(kGroup))
        return false;
    return !isTrue(file.value(kGroup, QStringLiteral("Hidden"))) &&
           !isFalse(file.value(kGroup, QStringLiteral("X-GNOME-Autostart-enabled")));
}

// The first system-wide entry of ours in $XDG_CONFIG_DIRS/autostart.
QString systemEntry() {
    QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/etc/xdg");
    for (const QString& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        QString path = dir + QLatin1String("/autostart/") + QLatin1String(kEntryName);
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

bool writeEntry(const QByteArray& text) {
    const QString path = LoginItem::entryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        logLoginItem(QStringLiteral("cannot create %1").arg(QFileInfo(path).absolutePath()));
        return false;
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        logLoginItem(out.errorString());
        return false;
    }
    return true;
}

} // namespace

namespace LoginItem {

QString entryPath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QLatin1String("/.config");
    return config + QLatin1String("/autostart/") + QLatin1String(kEntryName);
}

bool isEnabled() {
    const QString user = entryPath();
    // The user's entry, whatever it says, shadows a system-wide one.
    if (QFileInfo::exists(user))
        return entryEnabled(user);
    const QString system = systemEntry();
    return !system.isEmpty() && entryEnabled(system);
}

QString program() {
    QString beside = QCoreApplication::applicationDirPath() + QLatin1String("/tamberk");
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStringLiteral("tamberk");
}

QByteArray entryText(const QString& program) {
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Tamberk\n"
                                        "Comment=Screenshots at the edge of the screen\n"
                                        "Exec=%1\n"
                                        "Icon=org.tamberk.Tamberk\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(storedValue(quotedArgument(program)));
    return text.toUtf8();
}

bool set(bool on) {
    const QString user = entryPath();
    if (on) {
        // An enabled entry of the user's may carry their own arguments: keep it.
        if (QFileInfo::exists(user) && entryEnabled(user))
            return true;
        if (!QFileInfo::exists(user) && isEnabled())
            return true;
        return writeEntry(entryText(program())) && isEnabled();
    }
    if (!systemEntry().isEmpty()) {
        // Removing ours would let the system-wide entry start it again.
        return writeEntry(QByteArrayLiteral("[Desktop Entry]\nType=Application\n"
                                            "Name=Tamberk\nHidden=true\n")) &&
               !isEnabled();
    }
    QFile file(user);
    if (file.exists() && !file.remove()) {
        logLoginItem(QStringLiteral("cannot remove %1: %2").arg(user, file.errorString()));
        return false;
    }
    return !isEnabled();
}

} // namespace LoginItem
