#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

/// What a run of a program printed and how it ended (-1: it did not end or crashed).
struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

/// Runs `program` (the real tamberk-cli by default) with `args` to its end, in
/// the test's environment changed by `changes` ("NAME=value"; "NAME=" removes).
inline CliRun runCli(const QStringList& args, const QString& program = QStringLiteral(TAMBERK_CLI),
                     const QStringList& changes = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& change : changes) {
        const QString value = change.section(QLatin1Char('='), 1);
        if (value.isEmpty())
            environment.remove(change.section(QLatin1Char('='), 0, 0));
        else
            environment.insert(change.section(QLatin1Char('='), 0, 0), value);
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, args);
    CliRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
