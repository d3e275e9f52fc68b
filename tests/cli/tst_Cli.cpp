#include "TestEnv.h"
#include "settings/Prefs.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

// What a run printed and how it ended (-1: it did not end or crashed).
struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

// Runs `program` with `args` to its end, in the test's environment changed by
// `changes` ("NAME=value"; "NAME=" removes).
CliRun runCli(const QStringList& args, const QString& program = QStringLiteral(TAMBERK_CLI),
              const QStringList& changes = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& change : changes) {
        const QString name = change.section(QLatin1Char('='), 0, 0);
        const QString value = change.section(QLatin1Char('='), 1);
        value.isEmpty() ? environment.remove(name) : environment.insert(name, value);
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, args);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// tamberk-cli's standard output, or nothing when it did not exit 0.
QString cli(const QStringList& args) {
    const CliRun run = runCli(args);
    return run.status == 0 ? run.out : QString();
}

QSet<QString> lineSet(const QString& text) {
    const QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    return QSet<QString>(lines.cbegin(), lines.cend());
}

} // namespace

// The command lines of tamberk-cli and of the application (none needs a
// display) and what the library commands print.
class tst_Cli : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> m_env;
    QString m_root;

private slots:
    void init() {
        m_env = std::make_unique<TestEnv>();
        m_root = m_env->mkdir("Pictures");
    }
    void cleanup() { m_env.reset(); }

    // Help on stdout with 0; a wrong command line (or no display) on stderr with 2, no change.
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
        const CliRun run = runCli(args, program, {"DISPLAY=", "QT_QPA_PLATFORM="});
        QCOMPARE(run.status, status);
        const QString& where = status == 0 ? run.out : run.err;
        QVERIFY2(where.contains(said), qPrintable(where));
        QVERIFY2((status == 0 ? run.err : run.out).isEmpty(), qPrintable(run.out + run.err));
        QVERIFY(!QFile::exists(m_env->configHome() + "/tamberk/tamberk.conf"));
    }

    // Every listed command has help (usage, summary) and refuses an unknown option.
    void everyCommandHasHelp() {
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
        QCOMPARE(runCli({"settings", "set", "t2.peek", "false"}).status, 0);
        QCOMPARE(runCli({"settings", "get", "t2.peek"}).out, QStringLiteral("false\n"));
        QVERIFY(QDir(m_env->configHome() + "/tamberk").removeRecursively());
        writeFile(m_env->configHome() + "/tamberk", "not a folder");
        const CliRun failed = runCli({"settings", "set", "t2.width", "300"});
        QCOMPARE(failed.status, 1);
        QVERIFY2(failed.err.contains("could not write"), qPrintable(failed.err));
    }
    // Control characters and backslashes are C escapes in lines, kept in JSON.
    void oddNamesStayOneLinePerShot() {
        Prefs::shared().set(Key::onlyShots, false);
        const QList<std::pair<const char*, const char*>> names{{"line\nfeed", "line\\nfeed"},
                                                               {"tab\there", "tab\\there"},
                                                               {"esc\x1b", "esc\\x1b"},
                                                               {"back\\n slash", "back\\\\n slash"},
                                                               {"plain", "plain"}};
        QSet<QString> paths, lines;
        for (const auto& [name, line] : names) {
            paths << writeFile(m_root + "/" + name + ".png", pngBytes(8, 6));
            lines << m_root + "/" + line + ".png";
        }
        QCOMPARE(lineSet(cli({"list", "--scope", "all", "--root", m_root})), lines);
        QSet<QString> fromScan;
        for (const QString& line : lineSet(cli({"scan", m_root}))) {
            // A shot's six fields, or a folder and one of its subfolders.
            const QStringList fields = line.split(QLatin1Char('\t'));
            QVERIFY2(fields.size() == 6 || (fields.size() == 2 && fields[0] == m_root),
                     qPrintable(line));
            if (fields.size() == 6)
                fromScan << fields[0];
        }
        QCOMPARE(fromScan, lines);
        QSet<QString> fromJson;
        const QString json = cli({"list", "--scope", "all", "--root", m_root, "--json"});
        for (const auto& shot : QJsonDocument::fromJson(json.toUtf8()).array())
            fromJson << shot.toObject().value("path").toString();
        QCOMPARE(fromJson, paths);
    }

    // A search notes screenshots not read yet, if any are to be read.
    void searchNotesUnreadScreenshots_data() {
        QTest::addColumn<bool>("ocr");
        QTest::addColumn<bool>("allRead");
        QTest::newRow("one unread") << true << false;
        QTest::newRow("all read") << true << true;
        QTest::newRow("recognition off") << false << false;
    }
    void searchNotesUnreadScreenshots() {
        QFETCH(bool, ocr);
        QFETCH(bool, allRead);
        Prefs::shared().set(Key::onlyShots, false);
        Prefs::shared().set(Key::ocr, ocr);
        const QString read = m_root + "/read.png", unread = m_root + "/unread.png";
        QJsonObject index{{read, QJsonObject{{"m", 1000}, {"t", "Invoice total"}}}};
        if (allRead)
            index.insert(unread, QJsonObject{{"m", 1000}, {"t", "Receipt"}});
        for (const QString& path : {read, unread})
            QVERIFY(setModified(writeFile(path, pngBytes(8, 6)), 1000));
        writeFile(m_env->dataHome() + "/Tamberk/text-index.json", QJsonDocument(index).toJson());
        const CliRun run = runCli({"search", "invoice", "--root", m_root});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, read + "\n");
        QCOMPARE(run.err.contains("tamberk-cli:"), ocr && !allRead);
        QVERIFY2(allRead || !ocr || run.err.contains(": 1 screenshot has not"),
                 qPrintable(run.err));
    }

    // The same counts in both forms; a folder's count holds its subtree, the root's its own.
    void counts() {
        for (const char* name : {"Screenshot a.png", "holiday.png", "Sub/b.png", "Sub/Deep/c.png"})
            writeFile(m_root + "/" + name, pngBytes(8, 6));
        QCOMPARE(cli({"counts", "--root", m_root}),
                 QString("session 1\nall 3\n%1 1\n%1/Sub 2\n%1/Sub/Deep 1\n").arg(m_root));
        const QJsonObject perFolder{{m_root, 1}, {m_root + "/Sub", 2}, {m_root + "/Sub/Deep", 1}};
        QCOMPARE(QJsonDocument::fromJson(cli({"counts", "--json", "--root", m_root}).toUtf8()),
                 QJsonDocument(QJsonObject{{"session", 1}, {"all", 3}, {"perFolder", perFolder}}));
    }

    // Each change and arrival is printed at once; SIGTERM ends it cleanly.
    void watchFollowsTheFolder_data() {
        QTest::addColumn<bool>("json");
        QTest::newRow("lines") << false;
        QTest::newRow("json") << true;
    }
    void watchFollowsTheFolder() {
        QFETCH(bool, json);
        Prefs::shared().set(Key::ocr, false);
        QProcess watch;
        watch.start(TAMBERK_CLI, QStringList{"watch", "--root", m_root} +
                                     (json ? QStringList{"--json"} : QStringList{}));
        const auto next = [&watch] {
            while (!watch.canReadLine() && watch.waitForReadyRead(20000)) {
            }
            return QString::fromUtf8(watch.readLine()).chopped(1);
        };
        const auto changed = [json](int all) {
            return json ? QString(R"({"event":"changed","all":%1})").arg(all)
                        : QString("changed %1").arg(all);
        };
        QCOMPARE(next(), changed(0));
        const QString shot = writeFile(m_root + "/Screenshot new.png");
        QCOMPARE(next(), changed(1));
        const QJsonObject arrived{{"event", "arrived"}, {"paths", QJsonArray{shot}}};
        QCOMPARE(next(),
                 json ? QJsonDocument(arrived).toJson(QJsonDocument::Compact) : "arrived " + shot);
        watch.terminate();
        QVERIFY(watch.waitForFinished(20000));
        QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
        QCOMPARE(watch.exitCode(), 0);
    }

    // What cannot be decoded or written exits 1 and writes nothing.
    void thumb_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("output"); // relative to the home
        QTest::addColumn<bool>("made");
        QTest::newRow("picture") << pngBytes(400, 200) << "thumb.png" << true;
        QTest::newRow("not a picture") << QByteArray("text") << "thumb.png" << false;
        QTest::newRow("no such folder") << pngBytes(400, 200) << "no/thumb.png" << false;
    }
    void thumb() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, output);
        QFETCH(bool, made);
        const QString out = m_env->home() + "/" + output;
        const CliRun run = runCli(
            {"thumb", writeFile(m_env->home() + "/shot.png", bytes), "--max", "100", "-o", out});
        QCOMPARE(run.status, made ? 0 : 1);
        QCOMPARE(run.out, QString(made ? "100x50\n" : ""));
        QVERIFY2(made || run.err.contains("tamberk-cli: "), qPrintable(run.err));
        QCOMPARE(QImage(out).size(), made ? QSize(100, 50) : QSize(0, 0));
        QCOMPARE(QFile::exists(out), made);
    }

    // Each file's text under its name; a missing file fails the run, not the others.
    void ocr() {
        QImage image(900, 160, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(36);
        painter.setFont(font);
        painter.drawText(QPoint(30, 100), QStringLiteral("Invoice payment overdue"));
        painter.end();
        const QString text = m_env->home() + "/text.png";
        QVERIFY(image.save(text));
        const QString none = writeFile(m_env->home() + "/none.png", "no picture");
        const QString missing = m_env->home() + "/missing.png";
        const CliRun run = runCli({"ocr", missing, text, none});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("tamberk-cli: cannot read " + missing + "\n"),
                 qPrintable(run.err));
        QCOMPARE(run.out,
                 "== " + missing + "\n== " + text + "\nInvoice payment overdue\n== " + none + "\n");
    }

    // The tool's folder changes only where the tool keeps one.
    void system_data() {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<bool>("writable");
        QTest::newRow("tool with a folder") << "XFCE" << true;
        QTest::newRow("no tool") << "sway" << false;
    }
    void system() {
        QFETCH(QString, desktop);
        QFETCH(bool, writable);
        const QStringList environment{"XDG_CURRENT_DESKTOP=" + desktop};
        const auto run = [&](const QStringList& args) {
            return runCli(args, TAMBERK_CLI, environment);
        };
        const CliRun shown = run({"system"});
        QVERIFY2(shown.out.contains(QString("writable: %1\n").arg(writable ? "true" : "false")),
                 qPrintable(shown.out));
        const QString folder = m_env->mkdir("New Place");
        const CliRun set = run({"system", "set-location", folder});
        QCOMPARE(set.status, writable ? 0 : 1);
        QVERIFY2(writable || set.err.contains("tamberk-cli"), qPrintable(set.err));
        const CliRun json = run({"system", "--json"});
        QCOMPARE(QJsonDocument::fromJson(json.out.toUtf8())["location"].toString() == folder,
                 writable);
    }
};

TAMBERK_TEST(tst_Cli)
#include "tst_Cli.moc"
