#include "settings/CaptureTool.h"

#include "platform/Log.h"
#include "settings/SystemCapture.h"

#include <QFutureWatcher>
#include <QProcess>
#include <QtConcurrent>

namespace {

// Runs `work` on the global pool and hands its result to `done` on the main
// thread; the watcher is a child of `context`, so nothing arrives once the
// context is gone.
template <typename T>
void runFor(QObject* context, std::function<T()> work, std::function<void(T)> done) {
    auto* watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcher<T>::finished, context,
                     [watcher, done = std::move(done)] {
                         watcher->deleteLater();
                         if (done)
                             done(watcher->result());
                     });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

} // namespace

CaptureInfo SystemCaptureTool::readNow() {
    const auto backend = SystemCapture::detect();
    CaptureInfo info;
    info.toolName = backend->toolName();
    info.known = backend->id() != QLatin1String("generic");
    info.location = SystemCapture::location();
    info.type = SystemCapture::normaliseType(backend->type());
    info.showThumbnail = backend->showThumbnail();
    info.disableShadow = backend->disableShadow();
    info.writable = backend->writable();
    info.hasType = !backend->typeSteps(QStringLiteral("png")).isEmpty();
    info.hasThumbnail = !backend->showThumbnailSteps(true).isEmpty();
    info.hasShadow = !backend->disableShadowSteps(false).isEmpty();
    info.openCommand = SystemCapture::openCommand();
    return info;
}

void SystemCaptureTool::read(QObject* context, std::function<void(CaptureInfo)> done) {
    runFor<CaptureInfo>(context, &SystemCaptureTool::readNow, std::move(done));
}

void SystemCaptureTool::readLocation(QObject* context, std::function<void(QString)> done) {
    runFor<QString>(context, &SystemCapture::location, std::move(done));
}

void SystemCaptureTool::setLocation(const QString& folder, std::function<void()> done) {
    SystemCapture::setLocation(folder, std::move(done));
}

void SystemCaptureTool::setType(const QString& type) {
    SystemCapture::setType(type);
}

void SystemCaptureTool::setShowThumbnail(bool show) {
    SystemCapture::setShowThumbnail(show);
}

void SystemCaptureTool::setDisableShadow(bool disable) {
    SystemCapture::setDisableShadow(disable);
}

bool SystemCaptureTool::open(const QStringList& command) {
    if (command.isEmpty())
        return false;
    if (QProcess::startDetached(command.first(), command.mid(1)))
        return true;
    logFailure("open screenshot tool", command.first());
    return false;
}
