// tamberk-cli settings / system: the settings store and the desktop's
// screenshot settings from a terminal.
#include "cli/Command.h"
#include "platform/PortalShortcut.h"
#include "platform/ProcessProbe.h"
#include "platform/RemoteControl.h"
#include "settings/Prefs.h"
#include "settings/SystemCapture.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace {

QJsonValue jsonValue(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Double:
        return value.toDouble();
    case QMetaType::LongLong:
        return value.toLongLong();
    default:
        return value.toString();
    }
}

QString typeName(QMetaType::Type type) {
    switch (type) {
    case QMetaType::Bool:
        return QStringLiteral("a bool (true or false)");
    case QMetaType::Double:
        return QStringLiteral("a number");
    case QMetaType::LongLong:
        return QStringLiteral("an integer");
    default:
        return QStringLiteral("a string");
    }
}

const PrefKey* knownKey(const QString& key) {
    const PrefKey* row = Prefs::find(key);
    if (!row)
        err() << "tamberk-cli settings: unknown key '" << key
              << "' (run 'tamberk-cli settings' for the list)\n";
    return row;
}

int listSettings(bool json) {
    Prefs& prefs = Prefs::shared();
    QJsonObject all;
    for (const PrefKey& row : Prefs::table()) {
        const QVariant value = prefs.value(row.key);
        const bool isDefault = !prefs.isStored(row.key);
        if (json) {
            all.insert(QLatin1String(row.key),
                       QJsonObject{{QStringLiteral("value"), jsonValue(value)},
                                   {QStringLiteral("isDefault"), isDefault}});
            continue;
        }
        out() << QLatin1String(row.key) << " = " << Prefs::format(value)
              << (isDefault ? "  (default)" : "") << "\n";
    }
    if (json)
        out() << QJsonDocument(all).toJson(QJsonDocument::Indented);
    return 0;
}

int runSettings(const QStringList& args) {
    if (args.isEmpty() || args == QStringList{QStringLiteral("--json")})
        return listSettings(!args.isEmpty());
    const QString verb = args.first();
    if (verb == QLatin1String("get") && args.size() == 2) {
        const PrefKey* row = knownKey(args.at(1));
        if (!row)
            return 2;
        out() << Prefs::format(Prefs::shared().value(row->key)) << "\n";
        return 0;
    }
    if (verb == QLatin1String("set") && args.size() == 3) {
        const PrefKey* row = knownKey(args.at(1));
        if (!row)
            return 2;
        const std::optional<QVariant> value = Prefs::parse(*row, args.at(2));
        if (!value) {
            err() << "tamberk-cli settings: '" << args.at(2) << "' is not a valid value for "
                  << QLatin1String(row->key) << ", which takes " << typeName(row->type);
            if (!row->choices.isEmpty())
                err() << ": " << row->choices.join(QStringLiteral(", "));
            err() << "\n";
            return 2;
        }
        if (!Prefs::shared().set(row->key, *value)) {
            err() << "tamberk-cli settings: could not write " << Prefs::shared().storePath() << "; "
                  << QLatin1String(row->key) << " is unchanged\n";
            return 1;
        }
        return 0;
    }
    err() << "usage: tamberk-cli settings [--json] | settings get KEY | settings set KEY VALUE\n";
    return 2;
}

// What binds the global shortcut: the running application says; without
// one, what it would use in this session.
QString shortcutBackend() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        const QDBusMessage reply = bus.call(
            QDBusMessage::createMethodCall(RemoteControl::serviceName, RemoteControl::objectPath,
                                           RemoteControl::interfaceName, QStringLiteral("State")),
            QDBus::Block, 3000);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            const QString backend = qdbus_cast<QVariantMap>(reply.arguments().constFirst())
                                        .value(QStringLiteral("shortcut"))
                                        .toString();
            if (!backend.isEmpty())
                return backend;
        }
    }
    if (Prefs::shared().integer(Key::hotkey) == 0)
        return QStringLiteral("none");
    return PortalShortcut::waylandSession() && PortalShortcut::portalVersion(bus) > 0
               ? QStringLiteral("portal")
               : QStringLiteral("x11");
}

int showSystem(bool json) {
    const auto prefix = SystemCapture::namePrefix();
    const QJsonObject info{
        {QStringLiteral("tool"), SystemCapture::toolName()},
        {QStringLiteral("location"), SystemCapture::location()},
        {QStringLiteral("type"), SystemCapture::type()},
        {QStringLiteral("showThumbnail"), SystemCapture::showThumbnail()},
        {QStringLiteral("disableShadow"), SystemCapture::disableShadow()},
        {QStringLiteral("namePrefix"), prefix ? QJsonValue(*prefix) : QJsonValue()},
        {QStringLiteral("writable"), SystemCapture::writable()},
        {QStringLiteral("shortcut"), shortcutBackend()},
    };
    if (json) {
        out() << QJsonDocument(info).toJson(QJsonDocument::Indented);
        return 0;
    }
    for (const char* key : {"tool", "location", "type", "showThumbnail", "disableShadow",
                            "namePrefix", "writable", "shortcut"}) {
        const QJsonValue value = info.value(QLatin1String(key));
        QString text = value.isBool()
                           ? (value.toBool() ? QStringLiteral("true") : QStringLiteral("false"))
                           : value.toString();
        if (value.isNull())
            text = QStringLiteral("(none)");
        out() << key << ": " << text << "\n";
    }
    return 0;
}

int setSystemLocation(const QString& dir) {
    const QFileInfo info(dir);
    if (!info.isDir()) {
        err() << "tamberk-cli system: '" << dir << "' is not an existing folder\n";
        return 2;
    }
    const QString folder = QDir::cleanPath(info.absoluteFilePath());
    if (!SystemCapture::writable()) {
        err() << "tamberk-cli system: " << SystemCapture::toolName()
              << " keeps no location that can be changed; nothing written\n";
        return 1;
    }
    QEventLoop loop;
    SystemCapture::setLocation(folder, [&loop] { loop.quit(); });
    loop.exec();
    if (SystemCapture::detect()->id() == QLatin1String("xfce4-screenshooter") &&
        ProcessProbe::isRunning(QStringLiteral("xfce4-screenshooter")))
        err() << "tamberk-cli system: xfce4-screenshooter is running and rewrites its settings "
                 "when it exits, which may undo this change\n";
    // The tool's settings tell whether the change took.
    if (!SystemCapture::matches(folder)) {
        err() << "tamberk-cli system: " << SystemCapture::toolName() << " still saves to "
              << SystemCapture::location() << "\n";
        return 1;
    }
    out() << SystemCapture::toolName() << " now saves screenshots to " << folder << "\n";
    return 0;
}

int runSystem(const QStringList& args) {
    if (args.isEmpty() || args == QStringList{QStringLiteral("--json")})
        return showSystem(!args.isEmpty());
    if (args.size() == 2 && args.first() == QLatin1String("set-location"))
        return setSystemLocation(args.at(1));
    err() << "usage: tamberk-cli system [--json] | system set-location DIR\n";
    return 2;
}

const CliCommand settingsCommand{
    "settings", "settings [--json] | settings get KEY | settings set KEY VALUE",
    "Shows or changes the settings.\n"
    "Without arguments: every t2. setting, its value and whether it is the\n"
    "default. get prints one; set changes one (a bad key or value exits 2 and\n"
    "writes nothing). The running application applies a change at once.",
    runSettings};
const CliCommand systemCommand{
    "system", "system [--json] | system set-location DIR",
    "Shows the desktop's screenshot tool or changes where it saves.\n"
    "set-location points the tool at DIR (exit 1 when it cannot be changed).",
    runSystem};

} // namespace
