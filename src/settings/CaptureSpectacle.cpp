// Spectacle keeps its settings in ~/.config/spectaclerc, a KDE config file,
// written with kwriteconfig6 (Plasma 6) or kwriteconfig5 (Plasma 5). It reads
// them at its next launch.
#include "settings/CaptureBackends.h"

#include "platform/KeyFile.h"

#include <QStandardPaths>
#include <QUrl>

namespace {

// Plasma 6 and Plasma 5 name the same settings differently.
struct Layout {
    QString tool;
    QString imageGroup;
    QString locationKey;
    QString formatKey;
    QString templateKey;
    QString templateMarkers;
};

const Layout kPlasma6{
    QStringLiteral("kwriteconfig6"),         QStringLiteral("ImageSave"),
    QStringLiteral("imageSaveLocation"),     QStringLiteral("preferredImageFormat"),
    QStringLiteral("imageFilenameTemplate"), QStringLiteral("<")};
const Layout kPlasma5{
    QStringLiteral("kwriteconfig5"),       QStringLiteral("Save"),
    QStringLiteral("defaultSaveLocation"), QStringLiteral("defaultSaveImageFormat"),
    QStringLiteral("saveFilenameFormat"),  QStringLiteral("%")};

class Spectacle final : public CaptureBackend {
public:
    explicit Spectacle(int plasma)
        : m_plasma(plasma)
        , m_layout(plasma >= 6 ? kPlasma6 : kPlasma5) {}

    QStringList openCommand() const override { return {QStringLiteral("spectacle")}; }
    QString id() const override { return QStringLiteral("spectacle"); }
    QString toolName() const override {
        return QStringLiteral("KDE Plasma %1 (Spectacle)").arg(m_plasma);
    }
    QString savedLocation() const override {
        return read(m_layout.imageGroup, m_layout.locationKey).value_or(QString());
    }
    QString recordingLocation() const override {
        if (m_plasma < 6)
            return {};
        return read(QStringLiteral("VideoSave"), QStringLiteral("videoSaveLocation"))
            .value_or(QString());
    }
    QString type() const override {
        return SystemCapture::normaliseType(
            read(m_layout.imageGroup, m_layout.formatKey).value_or(QString()));
    }
    bool disableShadow() const override {
        const auto shadow = read(QStringLiteral("GuiConfig"), QStringLiteral("includeShadow"));
        return shadow && shadow->trimmed().toLower() == QLatin1String("false");
    }
    std::optional<QString> namePrefix() const override {
        const QString pattern =
            read(m_layout.imageGroup, m_layout.templateKey)
                .value_or(QStringLiteral("Screenshot_%1").arg(m_layout.templateMarkers));
        return CaptureBackends::prefixBefore(pattern, m_layout.templateMarkers);
    }
    bool writable() const override {
        return !QStandardPaths::findExecutable(m_layout.tool).isEmpty();
    }
    QList<CaptureStep> locationSteps(const QString& folder) const override {
        const QString url = QUrl::fromLocalFile(folder).toString(QUrl::FullyEncoded);
        QList<CaptureStep> steps{step(m_layout.imageGroup, m_layout.locationKey, url)};
        if (m_plasma >= 6)
            steps.append(
                step(QStringLiteral("VideoSave"), QStringLiteral("videoSaveLocation"), url));
        return steps;
    }
    QList<CaptureStep> typeSteps(const QString& type) const override {
        return {step(m_layout.imageGroup, m_layout.formatKey,
                     SystemCapture::normaliseType(type).toUpper())};
    }
    QList<CaptureStep> disableShadowSteps(bool disable) const override {
        return {step(QStringLiteral("GuiConfig"), QStringLiteral("includeShadow"),
                     disable ? QStringLiteral("false") : QStringLiteral("true"))};
    }

private:
    static std::optional<QString> read(const QString& group, const QString& key) {
        return KeyFile::load(CaptureBackends::configFile(QStringLiteral("spectaclerc")))
            .value(group, key);
    }
    CaptureStep step(const QString& group, const QString& key, const QString& value) const {
        return CaptureStep::command(
            m_layout.tool, {QStringLiteral("--file"), QStringLiteral("spectaclerc"),
                            QStringLiteral("--group"), group, QStringLiteral("--key"), key, value});
    }

    int m_plasma;
    Layout m_layout;
};

} // namespace

std::unique_ptr<CaptureBackend> CaptureBackends::spectacle(int plasma) {
    return std::make_unique<Spectacle>(plasma);
}
