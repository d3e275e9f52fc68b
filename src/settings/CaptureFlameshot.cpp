// Flameshot keeps its settings in ~/.config/flameshot/flameshot.ini, a Qt
// INI file; the running daemon notices when the file changes.
#include "settings/CaptureBackends.h"

#include <QSettings>

namespace {

QString iniPath() {
    return CaptureBackends::configFile(QStringLiteral("flameshot/flameshot.ini"));
}

// Keys of the [General] group sit at the top level of QSettings.
QVariant read(const QString& key) {
    return QSettings(iniPath(), QSettings::IniFormat).value(key);
}

bool readFlag(const QString& key, bool fallback) {
    const QVariant value = read(key);
    if (!value.isValid())
        return fallback;
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    return fallback;
}

CaptureStep edit(const QString& key, const QString& value) {
    return CaptureStep::iniEdit(iniPath(), QStringLiteral("General"), key, value);
}

class Flameshot final : public CaptureBackend {
public:
    QStringList openCommand() const override {
        return {QStringLiteral("flameshot"), QStringLiteral("config")};
    }
    QString id() const override { return QStringLiteral("flameshot"); }
    QString toolName() const override { return QStringLiteral("Flameshot"); }
    QString savedLocation() const override { return read(QStringLiteral("savePath")).toString(); }
    QString type() const override {
        QString extension = read(QStringLiteral("saveAsFileExtension")).toString().trimmed();
        if (extension.startsWith(QLatin1Char('.')))
            extension.remove(0, 1);
        return SystemCapture::normaliseType(extension);
    }
    // The desktop notification after a capture stands in for the thumbnail.
    bool showThumbnail() const override {
        return readFlag(QStringLiteral("showDesktopNotification"), true);
    }
    std::optional<QString> namePrefix() const override {
        const QVariant pattern = read(QStringLiteral("filenamePattern"));
        return CaptureBackends::prefixBefore(pattern.isValid() ? pattern.toString()
                                                               : QStringLiteral("%F_%H-%M"),
                                             QStringLiteral("%"));
    }
    bool writable() const override { return true; }
    QList<CaptureStep> locationSteps(const QString& folder) const override {
        return {edit(QStringLiteral("savePath"), folder),
                edit(QStringLiteral("savePathFixed"), QStringLiteral("true"))};
    }
    QList<CaptureStep> typeSteps(const QString& type) const override {
        // Keep the file's own spelling: some write ".png", some "png".
        const bool dotted = read(QStringLiteral("saveAsFileExtension"))
                                .toString()
                                .trimmed()
                                .startsWith(QLatin1Char('.'));
        const QString value = SystemCapture::normaliseType(type);
        return {
            edit(QStringLiteral("saveAsFileExtension"), dotted ? QLatin1Char('.') + value : value)};
    }
    QList<CaptureStep> showThumbnailSteps(bool show) const override {
        return {edit(QStringLiteral("showDesktopNotification"),
                     show ? QStringLiteral("true") : QStringLiteral("false"))};
    }
};

} // namespace

std::unique_ptr<CaptureBackend> CaptureBackends::flameshot() {
    return std::make_unique<Flameshot>();
}
