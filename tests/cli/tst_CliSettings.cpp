#include "TestEnv.h"

#include <QProcess>
#include <QTest>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// Runs tamberk-cli with `args` in the test's private home.
Run cli(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(TAMBERK_CLI), args);
    Run run;
    if (!process.waitForFinished(60000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

class tst_CliSettings : public QObject {
    Q_OBJECT
private slots:
    // A setting that reached the store exits 0 and reads back; one that could
    // not be written (the configuration folder is a file) exits 1 and says so.
    void setReportsTheWrite() {
        TestEnv env;
        const Run written = cli({"settings", "set", "t2.peek", "false"});
        QCOMPARE(written.status, 0);
        QCOMPARE(cli({"settings", "get", "t2.peek"}).out, QStringLiteral("false\n"));

        QVERIFY(QDir(env.configHome() + "/tamberk").removeRecursively());
        writeFile(env.configHome() + "/tamberk", "not a folder");
        const Run failed = cli({"settings", "set", "t2.width", "300"});
        QCOMPARE(failed.status, 1);
        QVERIFY2(failed.err.contains("could not write"), qPrintable(failed.err));
    }
};

TAMBERK_TEST(tst_CliSettings)
#include "tst_CliSettings.moc"
