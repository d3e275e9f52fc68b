#include "CliRun.h"
#include "TestEnv.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

// The command names of the overview's "Commands:" list.
QStringList commandsListed(const QString& overview) {
    QStringList names;
    static const QRegularExpression row(QStringLiteral("^  ([a-z-]+) +\\S"),
                                        QRegularExpression::MultilineOption);
    for (auto it = row.globalMatch(overview); it.hasNext();)
        names << it.next().captured(1);
    return names;
}

} // namespace

class tst_CliHelp : public QObject {
    Q_OBJECT
private slots:
    // Asked-for help and the version go to standard output with status 0; a
    // wrong command line gets what was wrong and the usage line on standard
    // error with status 2, and runs nothing.
    void ownOptions_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString usage = QStringLiteral("usage: tamberk-cli COMMAND");
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Commands:\n"
                                << "";
        QTest::newRow("help") << QStringList{"help"} << 0 << "Commands:\n"
                              << "";
        QTest::newRow("--version")
            << QStringList{"--version"} << 0 << "tamberk-cli " TAMBERK_VERSION "\n"
            << "";
        QTest::newRow("help scan")
            << QStringList{"help", "scan"} << 0 << "usage: tamberk-cli scan [DIR] [--json]\n\n"
            << "";
        QTest::newRow("scan --help")
            << QStringList{"scan", "--help"} << 0 << "usage: tamberk-cli scan [DIR] [--json]\n\n"
            << "";
        QTest::newRow("nothing") << QStringList{} << 2 << "" << usage;
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << ""
                                        << "unknown option '--frobnicate'\n" + usage;
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << 2 << ""
                                         << "unknown command 'frobnicate'\n" + usage;
        QTest::newRow("help unknown") << QStringList{"help", "frobnicate"} << 2 << ""
                                      << "unknown command 'frobnicate'\n" + usage;
        QTest::newRow("--version extra") << QStringList{"--version", "now"} << 2 << ""
                                         << "unexpected argument 'now'\n" + usage;
    }
    void ownOptions() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        TestEnv env;
        const CliRun run = runCli(args);
        QCOMPARE(run.status, status);
        QVERIFY2(out.isEmpty() ? run.out.isEmpty() : run.out.contains(out), qPrintable(run.out));
        QVERIFY2(err.isEmpty() ? run.err.isEmpty() : run.err.contains(err), qPrintable(run.err));
    }

    // Every command the overview lists has its own help, opening with its
    // usage and the same summary.
    void everyCommandHasHelp() {
        TestEnv env;
        const QString overview = runCli({"--help"}).out;
        const QStringList names = commandsListed(overview);
        QVERIFY2(names.contains("scan") && names.contains("settings"), qPrintable(overview));
        for (const QString& name : names) {
            const CliRun help = runCli({"help", name});
            QCOMPARE(help.status, 0);
            QVERIFY2(help.out.startsWith("usage: tamberk-cli " + name), qPrintable(help.out));
            const QString summary = help.out.section(QLatin1Char('\n'), 2, 2);
            QVERIFY2(!summary.isEmpty() && overview.contains(summary), qPrintable(name));
        }
    }
};

TAMBERK_TEST(tst_CliHelp)
#include "tst_CliHelp.moc"
