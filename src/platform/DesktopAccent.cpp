// GLib names a struct member `signals`, which Qt defines as a keyword, so GIO
// comes before any Qt header.
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include "platform/DesktopAccent.h"

#include "platform/KeyFile.h"
#include "platform/Log.h"

#include <QDir>
#include <QHash>
#include <QRegularExpression>

namespace DesktopAccent {

namespace {

std::optional<QColor> parseKdeColor(const QString& value) {
    const QString v = value.trimmed();
    if (v.startsWith(QLatin1Char('#'))) {
        const QColor c = QColor::fromString(v);
        return c.isValid() ? std::optional<QColor>(c) : std::nullopt;
    }
    static const QRegularExpression rgb(
        QStringLiteral("^(\\d{1,3})\\s*,\\s*(\\d{1,3})\\s*,\\s*(\\d{1,3})(?:\\s*,\\s*\\d{1,3})?$"));
    const auto m = rgb.match(v);
    if (!m.hasMatch())
        return std::nullopt;
    const int r = m.captured(1).toInt(), g = m.captured(2).toInt(), b = m.captured(3).toInt();
    if (r > 255 || g > 255 || b > 255)
        return std::nullopt;
    return QColor(r, g, b);
}

struct SchemaSourceDeleter {
    void operator()(GSettingsSchemaSource* s) const { g_settings_schema_source_unref(s); }
};
struct SchemaDeleter {
    void operator()(GSettingsSchema* s) const { g_settings_schema_unref(s); }
};
struct ObjectDeleter {
    void operator()(gpointer o) const { g_object_unref(o); }
};

} // namespace

std::optional<QColor> fromKdeGlobals(const QString& configHome) {
    const QString path = QDir(configHome).filePath(QStringLiteral("kdeglobals"));
    const auto value =
        KeyFile::load(path).value(QStringLiteral("General"), QStringLiteral("AccentColor"));
    if (!value || value->trimmed().isEmpty())
        return std::nullopt;
    const auto color = parseKdeColor(*value);
    if (!color)
        qCWarning(lcTamberk) << "Ignoring the unreadable accent colour" << *value << "in" << path;
    return color;
}

std::optional<QColor> fromGnome(const QString& schemaDir, const QString& keyFile) {
    static constexpr const char* schemaId = "org.gnome.desktop.interface";
    static constexpr const char* key = "accent-color";

    std::unique_ptr<GSettingsSchemaSource, SchemaSourceDeleter> ownSource;
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!schemaDir.isEmpty()) {
        GError* error = nullptr;
        ownSource.reset(g_settings_schema_source_new_from_directory(
            QFile::encodeName(schemaDir).constData(), nullptr, FALSE, &error));
        if (error) {
            qCWarning(lcTamberk) << "Cannot read the schemas in" << schemaDir << error->message;
            g_error_free(error);
            return std::nullopt;
        }
        source = ownSource.get();
    }
    if (!source)
        return std::nullopt;

    std::unique_ptr<GSettingsSchema, SchemaDeleter> schema(
        g_settings_schema_source_lookup(source, schemaId, TRUE));
    if (!schema || !g_settings_schema_has_key(schema.get(), key))
        return std::nullopt;

    std::unique_ptr<GSettingsBackend, ObjectDeleter> backend;
    if (!keyFile.isEmpty())
        backend.reset(
            g_keyfile_settings_backend_new(QFile::encodeName(keyFile).constData(), "/", nullptr));
    std::unique_ptr<GSettings, ObjectDeleter> settings(
        g_settings_new_full(schema.get(), backend.get(), nullptr));
    gchar* value = g_settings_get_string(settings.get(), key);
    const QString name = QString::fromUtf8(value);
    g_free(value);
    return gnomeNamedColor(name);
}

std::optional<QColor> gnomeNamedColor(const QString& name) {
    // The accent backgrounds of GNOME's style sheet, which are the same in its
    // dark variant.
    static const QHash<QString, QRgb> colors{
        {QStringLiteral("blue"), 0x3584e4},   {QStringLiteral("teal"), 0x2190a4},
        {QStringLiteral("green"), 0x3a944a},  {QStringLiteral("yellow"), 0xc88800},
        {QStringLiteral("orange"), 0xed5b00}, {QStringLiteral("red"), 0xe62d42},
        {QStringLiteral("pink"), 0xd56199},   {QStringLiteral("purple"), 0x9141ac},
        {QStringLiteral("slate"), 0x6f8396},
    };
    const auto it = colors.constFind(name.trimmed().toLower());
    if (it == colors.constEnd())
        return std::nullopt;
    return QColor::fromRgb(*it);
}

bool sessionIsGnome() {
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& d : desktops) {
        if (d.compare(QLatin1String("GNOME"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace DesktopAccent
