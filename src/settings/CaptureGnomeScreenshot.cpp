// gnome-screenshot keeps its settings in the gsettings schema
// org.gnome.gnome-screenshot and is changed with `gsettings set`.
#include "settings/CaptureBackends.h"

#include <QStandardPaths>
#include <QUrl>

namespace {

const QString kSchema = QStringLiteral("org.gnome.gnome-screenshot");

std::optional<QString> setting(const QString& key) {
    const auto printed =
        CaptureBackends::output(QStringLiteral("gsettings"), {QStringLiteral("get"), kSchema, key});
    return printed ? CaptureBackends::parseVariantString(*printed) : std::nullopt;
}

CaptureStep setStep(const QString& key, const QString& value) {
    return CaptureStep::command(
        QStringLiteral("gsettings"),
        {QStringLiteral("set"), kSchema, key, CaptureBackends::quoteVariantString(value)});
}

class GnomeScreenshot final : public CaptureBackend {
public:
    QStringList openCommand() const override {
        return {QStringLiteral("gnome-screenshot"), QStringLiteral("--interactive")};
    }
    QString id() const override { return QStringLiteral("gnome-screenshot"); }
    QString toolName() const override { return QStringLiteral("GNOME (gnome-screenshot)"); }
    QString savedLocation() const override {
        const QString folder = setting(QStringLiteral("auto-save-directory")).value_or(QString());
        if (folder.isEmpty())
            return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        return SystemCapture::pathFromSetting(folder);
    }
    QString type() const override {
        return SystemCapture::normaliseType(
            setting(QStringLiteral("default-file-type")).value_or(QString()));
    }
    std::optional<QString> namePrefix() const override {
        return QStringLiteral("Screenshot from ");
    }
    bool writable() const override {
        return !QStandardPaths::findExecutable(QStringLiteral("gsettings")).isEmpty();
    }
    QList<CaptureStep> locationSteps(const QString& folder) const override {
        return {setStep(QStringLiteral("auto-save-directory"),
                        QUrl::fromLocalFile(folder).toString(QUrl::FullyEncoded))};
    }
    QList<CaptureStep> typeSteps(const QString& type) const override {
        return {setStep(QStringLiteral("default-file-type"), SystemCapture::normaliseType(type))};
    }
};

} // namespace

std::unique_ptr<CaptureBackend> CaptureBackends::gnomeScreenshot() {
    return std::make_unique<GnomeScreenshot>();
}
