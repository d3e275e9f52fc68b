#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

/// The command line of `tamberk`: its options, its help and its checks. An
/// option gets its row in CommandLine.cpp and its branch in main().
namespace CommandLine {

/// What a command line asks for: an option by its full name ("-h" is
/// "--help") and its value if it takes one; or, when `wrong` is not empty,
/// what is wrong with it (an unknown option, a missing value, an argument
/// too many).
struct Parsed {
    QString option;
    QString value;
    QString wrong;
};
/// `arguments` as in argv, the program name first and at least one more.
Parsed parse(const QStringList& arguments);

/// "Usage: tamberk [--toggle | …]" and a line feed.
QString usageLine();
/// What --help prints.
QString help();
/// Writes what was wrong and the usage line to `err`; returns exit status 2.
int misuse(QTextStream& err, const QString& wrong);

} // namespace CommandLine
