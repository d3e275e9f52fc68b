#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

/// What a run of a program printed and how it ended (-1: it did not end or crashed).
struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

/// Runs `program` (the real tamberk-cli by default) with `args` in the
/// test's private home, to its end.
inline CliRun runCli(const QStringList& args,
                     const QString& program = QStringLiteral(TAMBERK_CLI)) {
    QProcess process;
    process.start(program, args);
    CliRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
