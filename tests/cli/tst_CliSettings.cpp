#include "CliRun.h"
#include "TestEnv.h"

#include <QProcess>
#include <QTest>

class tst_CliSettings : public QObject {
    Q_OBJECT
private slots:
    // A setting that reached the store exits 0 and reads back; one that could
    // not be written (the configuration folder is a file) exits 1 and says so.
    void setReportsTheWrite() {
        TestEnv env;
        const CliRun written = runCli({"settings", "set", "t2.peek", "false"});
        QCOMPARE(written.status, 0);
        QCOMPARE(runCli({"settings", "get", "t2.peek"}).out, QStringLiteral("false\n"));

        QVERIFY(QDir(env.configHome() + "/tamberk").removeRecursively());
        writeFile(env.configHome() + "/tamberk", "not a folder");
        const CliRun failed = runCli({"settings", "set", "t2.width", "300"});
        QCOMPARE(failed.status, 1);
        QVERIFY2(failed.err.contains("could not write"), qPrintable(failed.err));
    }
};

TAMBERK_TEST(tst_CliSettings)
#include "tst_CliSettings.moc"
