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

/// The test's environment (its private home) changed by `changes`:
/// "NAME=value" sets a variable, "NAME=" removes it.
inline QProcessEnvironment cliEnvironment(const QStringList& changes) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& change : changes) {
        const QString name = change.section(QLatin1Char('='), 0, 0);
        const QString value = change.section(QLatin1Char('='), 1);
        if (value.isEmpty())
            environment.remove(name);
        else
            environment.insert(name, value);
    }
    return environment;
}

/// Runs `program` (the real tamberk-cli by default) with `args` to its end.
inline CliRun runCli(const QStringList& args, const QString& program = QStringLiteral(TAMBERK_CLI),
                     const QStringList& environment = {}) {
    QProcess process;
    process.setProcessEnvironment(cliEnvironment(environment));
    process.start(program, args);
    CliRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
