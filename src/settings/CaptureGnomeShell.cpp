// GNOME Shell's own screenshot UI (GNOME 42 and later). It keeps no
// settings: screenshots go to XDG Pictures + "Screenshots", recordings to XDG
// Videos + "Screencasts", always PNG, with a notification that shows a
// thumbnail, and window shots are cropped without a shadow.
#include "settings/CaptureBackends.h"

#include <QStandardPaths>
#include <libintl.h>

namespace {

// The shell's own words in the user's language, from its installed message
// catalogue; the English text when there is none.
QString shellText(const char* english) {
    return QString::fromUtf8(dgettext("gnome-shell", english));
}

class GnomeShell final : public CaptureBackend {
public:
    explicit GnomeShell(QString unusedFolder)
        : m_unusedFolder(std::move(unusedFolder)) {}
    QString id() const override { return QStringLiteral("gnome-shell"); }
    QString toolName() const override { return QStringLiteral("GNOME Shell screenshot UI"); }
    QString savedLocation() const override { return defaultLocation(); }
    QString defaultLocation() const override {
        return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) +
               QLatin1Char('/') + shellText("Screenshots");
    }
    QString recordingLocation() const override {
        return QStandardPaths::writableLocation(QStandardPaths::MoviesLocation) + QLatin1Char('/') +
               shellText("Screencasts");
    }
    bool disableShadow() const override { return true; }
    // GNOME 47 capitalises "From"; the library compares prefixes in lower
    // case, so the English text serves both.
    std::optional<QString> namePrefix() const override {
        for (const char* english : {"Screenshot from %s", "Screenshot From %s"}) {
            const QString local = shellText(english);
            if (local != QLatin1String(english) && local.indexOf(QLatin1String("%s")) > 0)
                return local.left(local.indexOf(QLatin1String("%s")));
        }
        return QStringLiteral("Screenshot from ");
    }
    QStringList otherFolders() const override {
        return m_unusedFolder.isEmpty() ? QStringList() : QStringList{m_unusedFolder};
    }

private:
    QString m_unusedFolder;
};

} // namespace

std::unique_ptr<CaptureBackend> CaptureBackends::gnomeShell(const QString& unusedFolder) {
    return std::make_unique<GnomeShell>(unusedFolder);
}
