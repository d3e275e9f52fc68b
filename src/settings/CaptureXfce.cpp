// xfce4-screenshooter keeps its settings in ~/.config/xfce4/xfce4-screenshooter,
// a key file. It rewrites the whole file when it exits, so a change made while
// it runs may be lost; callers read the location again to see the outcome.
#include "settings/CaptureBackends.h"

#include "platform/KeyFile.h"

#include <QUrl>

namespace {

QString rcPath() {
    return CaptureBackends::configFile(QStringLiteral("xfce4/xfce4-screenshooter"));
}

std::optional<QString> read(const QString& key) {
    return KeyFile::load(rcPath()).find(key);
}

class XfceScreenshooter final : public CaptureBackend {
public:
    QStringList openCommand() const override { return {QStringLiteral("xfce4-screenshooter")}; }
    QString id() const override { return QStringLiteral("xfce4-screenshooter"); }
    QString toolName() const override { return QStringLiteral("Xfce (xfce4-screenshooter)"); }
    QString savedLocation() const override {
        return read(QStringLiteral("screenshot_dir")).value_or(QString());
    }
    QString type() const override {
        return SystemCapture::normaliseType(
            read(QStringLiteral("last_extension")).value_or(QString()));
    }
    std::optional<QString> namePrefix() const override {
        const QString title = read(QStringLiteral("title")).value_or(QStringLiteral("Screenshot"));
        return title.isEmpty() ? std::nullopt : std::optional<QString>(title);
    }
    bool writable() const override { return true; }
    QList<CaptureStep> locationSteps(const QString& folder) const override {
        return {CaptureStep::keyFileEdit(rcPath(), QString(), QStringLiteral("screenshot_dir"),
                                         QUrl::fromLocalFile(folder).toString(QUrl::FullyEncoded))};
    }
    QList<CaptureStep> typeSteps(const QString& type) const override {
        return {CaptureStep::keyFileEdit(rcPath(), QString(), QStringLiteral("last_extension"),
                                         SystemCapture::normaliseType(type))};
    }
};

} // namespace

std::unique_ptr<CaptureBackend> CaptureBackends::xfceScreenshooter() {
    return std::make_unique<XfceScreenshooter>();
}
