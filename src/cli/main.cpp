// tamberk-cli: the library, the text index and the settings from a terminal.
#include "cli/Command.h"
#include "settings/CaptureCache.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace {
QList<const CliCommand*>& registry() {
    static QList<const CliCommand*> commands;
    return commands;
}

int usage() {
    err() << "usage: tamberk-cli COMMAND [ARGS]\n";
    for (const CliCommand* command : CliCommand::all())
        err() << "  tamberk-cli " << command->usage << "\n";
    err().flush();
    return 2;
}
} // namespace

CliCommand::CliCommand(const char* name, const char* usage, Runner run)
    : name(name)
    , usage(usage)
    , run(std::move(run)) {
    registry().append(this);
}

const QList<const CliCommand*>& CliCommand::all() {
    return registry();
}

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

QString lineSafe(const QString& path) {
    QString safe;
    safe.reserve(path.size());
    for (const QChar c : path) {
        const char16_t u = c.unicode();
        if (u == '\\')
            safe += QLatin1String("\\\\");
        else if (u == '\n')
            safe += QLatin1String("\\n");
        else if (u == '\t')
            safe += QLatin1String("\\t");
        else if (u == '\r')
            safe += QLatin1String("\\r");
        else if (u < 0x20 || u == 0x7f)
            safe += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else
            safe += c;
    }
    return safe;
}

int main(int argc, char** argv) {
    // Image decoding and text rendering need a GUI application object, but
    // never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tamberk"));

    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.first() == QLatin1String("--help") ||
        args.first() == QLatin1String("-h"))
        return usage();
    const QString name = args.takeFirst();
    // One-shot commands wait for the screenshot tool's facts instead of
    // scanning without its name prefix.
    CaptureCache::shared().detectNow();
    for (const CliCommand* command : CliCommand::all()) {
        if (name == QLatin1String(command->name)) {
            const int status = command->run(args);
            out().flush();
            err().flush();
            return status;
        }
    }
    err() << "tamberk-cli: unknown command '" << name << "'\n";
    return usage();
}
