#include "platform/Launcher.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace Launcher {

bool start(const QString& program, const QStringList& arguments,
           const std::function<void()>& failed) {
    const QString tool = QStandardPaths::findExecutable(program);
    if (tool.isEmpty()) {
        logFailure("launch", QStringLiteral("%1 is not installed").arg(program));
        return false;
    }
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(tool);
    process->setArguments(arguments);
    // The tool's own complaints go to our log through its stderr; its stdout
    // is of no use to us.
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(process, &QProcess::finished, process,
                     [process, program, failed](int code, QProcess::ExitStatus status) {
                         process->deleteLater();
                         if (status == QProcess::NormalExit && code == 0)
                             return;
                         logFailure("launch", QStringLiteral("%1 ended with status %2")
                                                  .arg(program)
                                                  .arg(status == QProcess::NormalExit ? code : -1));
                         if (failed)
                             failed();
                     });
    // Whoever asked may be gone once the application quits: a tool still
    // running then is left to itself, and its end reported to nobody.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, process,
                     [process] { process->disconnect(); });
    process->start();
    if (!process->waitForStarted(5000)) {
        logFailure("launch", QStringLiteral("%1 did not start").arg(program));
        process->disconnect();
        process->deleteLater();
        return false;
    }
    return true;
}

bool openPath(const QString& path, const std::function<void()>& failed) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    return start(QStringLiteral("xdg-open"), {path}, failed);
}

} // namespace Launcher
