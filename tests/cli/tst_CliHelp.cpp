#include "CliRun.h"
#include "TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

// The command lines of tamberk-cli and of the application, none of which
// needs a display: they run without DISPLAY.
class tst_CliHelp : public QObject {
    Q_OBJECT
private slots:
    // Help on standard output with 0; a wrong command line (or no display) on
    // standard error with 2, changing nothing.
    void commandLines_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said"); // on standard output with 0, else on standard error
        const auto row = [](const QString& program, const char* line, int status,
                            const QString& said) {
            const QString name = QFileInfo(program).fileName() + ' ' + line;
            QTest::newRow(qPrintable(name))
                << program << QString(line).split(' ', Qt::SkipEmptyParts) << status << said;
        };
        const auto cli = [&](const char* line, int status, const QString& said) {
            row(TAMBERK_CLI, line, status, said);
        };
        const auto app = [&](const char* line, int status, const QString& said) {
            row(TAMBERK_APP, line, status, said);
        };
        const QString usage = "\nusage: tamberk-cli COMMAND";
        cli("help", 0, "Commands:\n");
        cli("scan --help", 0, "usage: tamberk-cli scan [DIR] [--json]\n\n");
        cli("", 2, "usage: tamberk-cli COMMAND");
        cli("--frobnicate", 2, "unknown option '--frobnicate'" + usage);
        cli("frobnicate", 2, "unknown command 'frobnicate'" + usage);
        cli("help frobnicate", 2, "unknown command 'frobnicate'" + usage);
        cli("--version now", 2, "unexpected argument 'now'" + usage);
        cli("list --scope week", 2, "--scope is session, all or");
        cli("list --root", 2, "--root needs a value");
        cli("list x", 2, "usage: tamberk-cli list");
        cli("search --json", 2, "usage: tamberk-cli search TEXT");
        cli("watch x", 2, "usage: tamberk-cli watch");
        cli("scan a b", 2, "usage: tamberk-cli scan");
        cli("thumb a.png --max x -o b.png", 2, "usage: tamberk-cli thumb");
        cli("ocr", 2, "usage: tamberk-cli ocr FILE");
        cli("system set-location /no/such", 2, "'/no/such' is not an existing folder");
        cli("settings get t2.nope", 2, "unknown key 't2.nope'");
        cli("settings set t2.side up", 2, "not a valid value for t2.side");
        const QString appUsage = "\nUsage: tamberk [--toggle | --show | --hide";
        app("--help", 0, "\n  --toggle ");
        app("-h", 0, "\n  --quit ");
        app("--frobnicate", 2, "tamberk: unknown option '--frobnicate'" + appUsage);
        app("frobnicate", 2, "tamberk: unexpected argument 'frobnicate'" + appUsage);
        app("--toggle --quit", 2, "tamberk: unexpected argument '--quit'" + appUsage);
        app("", 2, "Tamberk needs an X11 display: DISPLAY is not set");
    }
    void commandLines() {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, said);
        TestEnv env;
        const CliRun run = runCli(args, program, {"DISPLAY=", "QT_QPA_PLATFORM="});
        QCOMPARE(run.status, status);
        const QString& where = status == 0 ? run.out : run.err;
        QVERIFY2(where.contains(said), qPrintable(where));
        QVERIFY2((status == 0 ? run.err : run.out).isEmpty(), qPrintable(run.out + run.err));
        QVERIFY(!QFile::exists(env.configHome() + "/tamberk/tamberk.conf"));
    }

    // Every listed command has help opening with its usage and the overview's
    // summary, and refuses an unknown option with its usage.
    void everyCommandHasHelp() {
        TestEnv env;
        const QString overview = runCli({"--help"}).out;
        static const QRegularExpression listed("^  ([a-z-]+) +\\S",
                                               QRegularExpression::MultilineOption);
        QStringList names;
        for (auto it = listed.globalMatch(overview); it.hasNext();)
            names << it.next().captured(1);
        QVERIFY2(names.contains("scan") && names.contains("settings"), qPrintable(overview));
        for (const QString& name : names) {
            const CliRun help = runCli({"help", name});
            QCOMPARE(help.status, 0);
            QVERIFY2(help.out.startsWith("usage: tamberk-cli " + name), qPrintable(help.out));
            const QString summary = help.out.section(QLatin1Char('\n'), 2, 2);
            QVERIFY2(!summary.isEmpty() && overview.contains(summary), qPrintable(name));
            const CliRun wrong = runCli({name, "--frobnicate"});
            QVERIFY2(wrong.status == 2 && wrong.out.isEmpty() &&
                         wrong.err.contains("usage: tamberk-cli " + name),
                     qPrintable(name + ": " + wrong.out + wrong.err));
        }
    }

    // A setting that could not be written (the folder is a file) exits 1.
    void settingsReportTheWrite() {
        TestEnv env;
        QCOMPARE(runCli({"settings", "set", "t2.peek", "false"}).status, 0);
        QCOMPARE(runCli({"settings", "get", "t2.peek"}).out, QStringLiteral("false\n"));
        QVERIFY(QDir(env.configHome() + "/tamberk").removeRecursively());
        writeFile(env.configHome() + "/tamberk", "not a folder");
        const CliRun failed = runCli({"settings", "set", "t2.width", "300"});
        QCOMPARE(failed.status, 1);
        QVERIFY2(failed.err.contains("could not write"), qPrintable(failed.err));
    }
};

TAMBERK_TEST(tst_CliHelp)
#include "tst_CliHelp.moc"
