// ksnip keeps its settings in ~/.config/ksnip/ksnip.conf, a Qt INI file,
// under [Application].
#include "settings/CaptureBackends.h"

#include <QSettings>

namespace {

QString iniPath() {
    return CaptureBackends::configFile(QStringLiteral("ksnip/ksnip.conf"));
}

QVariant read(const QString& key) {
    return QSettings(iniPath(), QSettings::IniFormat).value(QStringLiteral("Application/") + key);
}

class Ksnip final : public CaptureBackend {
public:
    QStringList openCommand() const override { return {QStringLiteral("ksnip")}; }
    QString id() const override { return QStringLiteral("ksnip"); }
    QString toolName() const override { return QStringLiteral("ksnip"); }
    QString savedLocation() const override {
        return read(QStringLiteral("SaveDirectory")).toString();
    }
    QString type() const override {
        return SystemCapture::normaliseType(read(QStringLiteral("SaveFormat")).toString());
    }
    std::optional<QString> namePrefix() const override {
        const QVariant pattern = read(QStringLiteral("SaveFilename"));
        return CaptureBackends::prefixBefore(pattern.isValid() ? pattern.toString()
                                                               : QStringLiteral("ksnip_$Y$M$D-$T"),
                                             QStringLiteral("$"));
    }
    bool writable() const override { return true; }
    QList<CaptureStep> locationSteps(const QString& folder) const override {
        return {CaptureStep::iniEdit(iniPath(), QStringLiteral("Application"),
                                     QStringLiteral("SaveDirectory"), folder)};
    }
    QList<CaptureStep> typeSteps(const QString& type) const override {
        return {CaptureStep::iniEdit(iniPath(), QStringLiteral("Application"),
                                     QStringLiteral("SaveFormat"),
                                     SystemCapture::normaliseType(type))};
    }
};

} // namespace

std::unique_ptr<CaptureBackend> CaptureBackends::ksnip() {
    return std::make_unique<Ksnip>();
}
