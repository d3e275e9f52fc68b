// GIO comes first: its headers use names that Qt defines as macros.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "platform/AppChooser.h"

#include "platform/Launcher.h"
#include "platform/Log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace AppChooser {

namespace {

template <typename T>
struct GFree {
    void operator()(T* p) const { g_object_unref(p); }
};
template <typename T>
using GPtr = std::unique_ptr<T, GFree<T>>;

QString fromUtf8(const char* text) {
    return text ? QString::fromUtf8(text) : QString();
}

App appOf(GAppInfo* info, bool isDefault) {
    App app;
    app.id = fromUtf8(g_app_info_get_id(info));
    app.name = fromUtf8(g_app_info_get_display_name(info));
    if (GIcon* icon = g_app_info_get_icon(info); icon && G_IS_THEMED_ICON(icon)) {
        const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(icon));
        if (names && names[0])
            app.iconName = QString::fromUtf8(names[0]);
    }
    app.isDefault = isDefault;
    return app;
}

// Default first, then the recommended ones; ids appear once.
QList<App> appsForType(const QString& type) {
    QList<App> apps;
    const QByteArray t = type.toUtf8();
    if (GAppInfo* info = g_app_info_get_default_for_type(t.constData(), FALSE)) {
        if (g_app_info_get_id(info))
            apps.append(appOf(info, true));
        g_object_unref(info);
    }
    GList* list = g_app_info_get_recommended_for_type(t.constData());
    for (GList* node = list; node; node = node->next) {
        auto* info = static_cast<GAppInfo*>(node->data);
        const QString id = fromUtf8(g_app_info_get_id(info));
        if (id.isEmpty())
            continue;
        const bool seen =
            std::any_of(apps.cbegin(), apps.cend(), [&](const App& a) { return a.id == id; });
        if (!seen)
            apps.append(appOf(info, false));
    }
    g_list_free_full(list, g_object_unref);
    return apps;
}

// A file descriptor opened for the portal, which wants proof of access rather
// than a path it may not be able to see.
QDBusUnixFileDescriptor portalFd(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    QDBusUnixFileDescriptor handle(fd); // duplicates it
    ::close(fd);
    return handle;
}

bool callPortal(const QString& interface, const QString& method, const QVariantList& args) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"), interface, method);
    call.setArguments(args);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        qCInfo(lcTamberk).noquote()
            << "Tamberk portal" << method << "unavailable:" << reply.errorMessage();
        return false;
    }
    return true;
}

} // namespace

QString contentType(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    gboolean uncertain = FALSE;
    gchar* type = g_content_type_guess(name.constData(), nullptr, 0, &uncertain);
    QString result = fromUtf8(type);
    g_free(type);
    if (uncertain) {
        // The name says nothing: look at the first bytes, without blocking on
        // anything that is not a regular file.
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) {
            char head[512];
            const ssize_t n = ::read(fd, head, sizeof head);
            ::close(fd);
            if (n > 0) {
                gchar* sniffed = g_content_type_guess(
                    name.constData(), reinterpret_cast<const guchar*>(head), gsize(n), nullptr);
                result = fromUtf8(sniffed);
                g_free(sniffed);
            }
        }
    }
    return result;
}

QList<App> appsFor(const QStringList& paths) {
    if (paths.isEmpty())
        return {};
    QStringList types;
    for (const QString& path : paths) {
        const QString type = contentType(path);
        if (!types.contains(type))
            types.append(type);
    }
    QList<App> apps = appsForType(types.first());
    for (qsizetype i = 1; i < types.size() && !apps.isEmpty(); ++i) {
        const QList<App> others = appsForType(types.at(i));
        apps.removeIf([&](const App& app) {
            return std::none_of(others.cbegin(), others.cend(),
                                [&](const App& other) { return other.id == app.id; });
        });
    }
    return apps;
}

bool launch(const QString& appId, const QStringList& paths) {
    GPtr<GDesktopAppInfo> info(g_desktop_app_info_new(appId.toUtf8().constData()));
    if (!info) {
        logFailure("share", QStringLiteral("no application %1").arg(appId));
        return false;
    }
    GList* uris = nullptr;
    for (const QString& path : paths)
        uris = g_list_append(uris, g_strdup(QUrl::fromLocalFile(path).toEncoded().constData()));
    GError* error = nullptr;
    const gboolean ok = g_app_info_launch_uris(G_APP_INFO(info.get()), uris, nullptr, &error);
    g_list_free_full(uris, g_free);
    if (!ok) {
        logFailure("share", fromUtf8(error ? error->message : "launch refused"));
        g_clear_error(&error);
        return false;
    }
    return true;
}

bool chooseOther(const QString& path) {
    const QDBusUnixFileDescriptor fd = portalFd(path);
    if (!fd.isValid()) {
        logFailure("share", QStringLiteral("cannot open %1").arg(path));
        return false;
    }
    QVariantMap options{{QStringLiteral("ask"), true}};
    return callPortal(QStringLiteral("org.freedesktop.portal.OpenURI"), QStringLiteral("OpenFile"),
                      {QString(), QVariant::fromValue(fd), options});
}

bool email(const QStringList& paths, const std::function<void()>& failedLater) {
    qDBusRegisterMetaType<QList<QDBusUnixFileDescriptor>>(); // marshalled as "ah"
    QList<QDBusUnixFileDescriptor> fds;
    for (const QString& path : paths)
        if (QDBusUnixFileDescriptor fd = portalFd(path); fd.isValid())
            fds.append(fd);
    QVariantMap options{{QStringLiteral("attachment_fds"), QVariant::fromValue(fds)}};
    if (callPortal(QStringLiteral("org.freedesktop.portal.Email"), QStringLiteral("ComposeEmail"),
                   {QString(), options}))
        return true;
    QStringList args;
    for (const QString& path : paths)
        args << QStringLiteral("--attach") << path;
    // xdg-email says "no method available" only by its exit status.
    return Launcher::start(QStringLiteral("xdg-email"), args, failedLater);
}

} // namespace AppChooser
