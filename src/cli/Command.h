#pragma once

#include <QStringList>
#include <QTextStream>
#include <functional>

/// One subcommand of tamberk-cli. Each command file registers itself:
///   static const CliCommand scan{"scan", "scan [DIR] [--json]", "Walks DIR...", runScan};
/// `help` is what `tamberk-cli help NAME` prints below the usage; its first
/// line is the command's summary in `tamberk-cli --help`. `run` gets the
/// arguments after the command name and returns the exit status.
struct CliCommand {
    using Runner = std::function<int(const QStringList& args)>;
    CliCommand(const char* name, const char* usage, const char* help, Runner run);

    static const QList<const CliCommand*>& all();

    const char* name;
    const char* usage;
    const char* help;
    Runner run;
};

/// Standard output and error, flushed after every line by the callers that
/// stream (`watch`), so scripts see each line at once.
QTextStream& out();
QTextStream& err();

/// A path for the line-based output, where a line feed or a tab in a file
/// name would split a line or shift its fields: a backslash and every control
/// character are written as C escapes ("\\", "\n", "\t", "\x1b"). The JSON
/// output keeps names as they are.
QString lineSafe(const QString& path);
