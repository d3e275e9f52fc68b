// tamberk-cli: the library, the text index and the settings from a terminal.
#include "cli/Command.h"
#include "settings/CaptureCache.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <optional>

namespace {
QList<const CliCommand*>& registry() {
    static QList<const CliCommand*> commands;
    return commands;
}

constexpr char usageLine[] = "usage: tamberk-cli COMMAND [ARGS] | help [COMMAND] | --version\n";

const CliCommand* commandNamed(const QString& name) {
    for (const CliCommand* command : CliCommand::all()) {
        if (name == QLatin1String(command->name))
            return command;
    }
    return nullptr;
}

// A wrong command line: what was wrong, the usage line and where to read on.
int misuse(const QString& what) {
    err() << "tamberk-cli: " << what << "\n"
          << usageLine << "Try 'tamberk-cli --help' for more information.\n";
    err().flush();
    return 2;
}

void printOverview(QTextStream& stream) {
    stream << usageLine
           << "The library, the recognised text and the settings of Tamberk from a terminal.\n\n"
              "Commands:\n";
    for (const CliCommand* command : CliCommand::all()) {
        const QString summary = QString::fromUtf8(command->help).section(QLatin1Char('\n'), 0, 0);
        stream << "  " << QString::fromLatin1(command->name).leftJustified(10) << summary << "\n";
    }
    stream << "\nRun 'tamberk-cli help COMMAND' for the arguments of a command.\n";
    stream.flush();
}

int printHelp(const QString& name) {
    const CliCommand* command = commandNamed(name);
    if (!command)
        return misuse(QStringLiteral("unknown command '%1'").arg(name));
    out() << "usage: tamberk-cli " << command->usage << "\n\n" << command->help << "\n";
    out().flush();
    return 0;
}

// The options of tamberk-cli itself, read before any command runs (and
// before the application object exists, so nothing else is printed first).
// nullopt when the arguments name a command to run.
std::optional<int> runOwnOptions(const QStringList& args) {
    if (args.isEmpty()) {
        printOverview(err());
        return 2;
    }
    const QString& first = args.first();
    const bool helpAsked = first == QLatin1String("--help") || first == QLatin1String("-h") ||
                           first == QLatin1String("help");
    if (helpAsked && args.size() == 1) {
        printOverview(out());
        return 0;
    }
    if (helpAsked && args.size() == 2)
        return printHelp(args.at(1));
    if (args.size() == 2 &&
        (args.at(1) == QLatin1String("--help") || args.at(1) == QLatin1String("-h")) &&
        commandNamed(first))
        return printHelp(first);
    if (first == QLatin1String("--version") && args.size() == 1) {
        out() << "tamberk-cli " << TAMBERK_VERSION << "\n";
        out().flush();
        return 0;
    }
    if (helpAsked || first == QLatin1String("--version"))
        return misuse(QStringLiteral("unexpected argument '%1'").arg(args.last()));
    if (first.startsWith(QLatin1Char('-')))
        return misuse(QStringLiteral("unknown option '%1'").arg(first));
    if (!commandNamed(first))
        return misuse(QStringLiteral("unknown command '%1'").arg(first));
    return std::nullopt;
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList list;
    for (int i = 1; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}
} // namespace

CliCommand::CliCommand(const char* name, const char* usage, const char* help, Runner run)
    : name(name)
    , usage(usage)
    , help(help)
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
    if (const auto status = runOwnOptions(argumentsOf(argc, argv)))
        return *status;
    // Image decoding and text rendering need a GUI application object, but
    // never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tamberk"));

    QStringList args = app.arguments().mid(1);
    const QString name = args.isEmpty() ? QString() : args.takeFirst();
    const CliCommand* command = commandNamed(name);
    if (!command)
        return misuse(QStringLiteral("unknown command '%1'").arg(name));
    // One-shot commands wait for the screenshot tool's facts instead of
    // scanning without its name prefix.
    CaptureCache::shared().detectNow();
    const int status = command->run(args);
    out().flush();
    err().flush();
    return status;
}
