#include "CliRun.h"
#include "TestEnv.h"
#include "settings/Prefs.h"

#include <QFont>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QSet>
#include <QTest>

namespace {

// tamberk-cli's standard output, or nothing when it did not exit 0.
QString cli(const QStringList& args) {
    const CliRun run = runCli(args);
    return run.status == 0 ? run.out : QString();
}

// A path as a line of the plain output must show it: a backslash and every
// control character as C escapes.
QString escaped(const QString& path) {
    QString line;
    for (const QChar c : path) {
        const QHash<QChar, QString> named{
            {'\\', "\\\\"}, {'\n', "\\n"}, {'\t', "\\t"}, {'\r', "\\r"}};
        if (named.contains(c))
            line += named.value(c);
        else
            line += c.unicode() < 0x20 || c.unicode() == 0x7f
                        ? QString::asprintf("\\x%02x", c.unicode())
                        : QString(c);
    }
    return line;
}

} // namespace

class tst_CliLibrary : public QObject {
    Q_OBJECT
private slots:
    // File names holding a line feed, a tab, an escape character or a
    // backslash keep one line per shot (and the scan's fields in place) in the
    // plain output, escaped; JSON keeps the names.
    void oddNamesStayOneLinePerShot() {
        TestEnv env;
        Prefs::shared().set(Key::onlyShots, false);
        const QString root = env.mkdir("Pictures");
        QSet<QString> paths, lines;
        for (const char* name :
             {"line\nfeed.png", "tab\there.png", "esc\x1b.png", "back\\n slash.png", "plain.png"}) {
            paths.insert(writeFile(root + "/" + QString::fromUtf8(name), pngBytes(8, 6)));
            lines.insert(escaped(root + "/" + QString::fromUtf8(name)));
        }
        const QStringList listed =
            cli({"list", "--scope", "all", "--root", root}).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(QSet<QString>(listed.cbegin(), listed.cend()), lines);

        QSet<QString> fromScan;
        for (const QString& line : cli({"scan", root}).split('\n', Qt::SkipEmptyParts)) {
            // A shot's six fields, or a folder and one of its subfolders.
            const QStringList fields = line.split(QLatin1Char('\t'));
            QVERIFY2(fields.size() == 6 || (fields.size() == 2 && fields[0] == root),
                     qPrintable(line));
            if (fields.size() == 6)
                fromScan.insert(fields[0]);
        }
        QCOMPARE(fromScan, lines);

        QSet<QString> fromJson;
        const QString json = cli({"list", "--scope", "all", "--root", root, "--json"});
        for (const auto& shot : QJsonDocument::fromJson(json.toUtf8()).array())
            fromJson.insert(shot.toObject().value("path").toString());
        QCOMPARE(fromJson, paths);
    }

    // A search finds the saved text and says on standard error how many
    // screenshots are not read yet: not when all are read, nor with recognition off.
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
        TestEnv env;
        Prefs::shared().set(Key::onlyShots, false);
        Prefs::shared().set(Key::ocr, ocr);
        const QString root = env.mkdir("Pictures");
        const QString read = root + "/read.png", unread = root + "/unread.png";
        QJsonObject index{{read, QJsonObject{{"m", 1000}, {"t", "Invoice total"}}}};
        if (allRead)
            index.insert(unread, QJsonObject{{"m", 1000}, {"t", "Receipt"}});
        for (const QString& path : {read, unread})
            QVERIFY(setModified(writeFile(path, pngBytes(8, 6)), 1000));
        writeFile(env.dataHome() + "/Tamberk/text-index.json",
                  QJsonDocument(index).toJson(QJsonDocument::Compact));

        const CliRun run = runCli({"search", "invoice", "--root", root});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, read + "\n");
        QCOMPARE(run.err.contains("tamberk-cli:"), ocr && !allRead);
        QVERIFY2(allRead || !ocr || run.err.contains(": 1 screenshot has not"),
                 qPrintable(run.err));
    }

    // The counts of the session (screenshots only), the library and each
    // folder's subtree (the root's own shots for the root), the same in both forms.
    void counts() {
        TestEnv env;
        const QString root = env.mkdir("Pictures");
        for (const char* name : {"Screenshot a.png", "holiday.png", "Sub/b.png", "Sub/Deep/c.png"})
            writeFile(root + "/" + name, pngBytes(8, 6));
        const CliRun plain = runCli({"counts", "--root", root});
        QVERIFY2(plain.status == 0, qPrintable(plain.err));
        QCOMPARE(plain.out, QString("session 1\nall 3\n%1 1\n%1/Sub 2\n%1/Sub/Deep 1\n").arg(root));
        const QJsonObject perFolder{{root, 1}, {root + "/Sub", 2}, {root + "/Sub/Deep", 1}};
        QCOMPARE(QJsonDocument::fromJson(cli({"counts", "--json", "--root", root}).toUtf8()),
                 QJsonDocument(QJsonObject{{"session", 1}, {"all", 3}, {"perFolder", perFolder}}));
    }

    // Watching prints, flushed, a line when the listing changed and one when a
    // screenshot arrived, and ends cleanly on SIGTERM.
    void watchFollowsTheFolder_data() {
        QTest::addColumn<bool>("json");
        QTest::newRow("lines") << false;
        QTest::newRow("json") << true;
    }
    void watchFollowsTheFolder() {
        QFETCH(bool, json);
        TestEnv env;
        Prefs::shared().set(Key::ocr, false);
        const QString root = env.mkdir("Pictures");
        QProcess watch;
        watch.start(TAMBERK_CLI, QStringList{"watch", "--root", root} +
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
        const QString shot = writeFile(root + "/Screenshot new.png");
        QCOMPARE(next(), changed(1));
        QCOMPARE(next(), json ? QJsonDocument(
                                    QJsonObject{{"event", "arrived"}, {"paths", QJsonArray{shot}}})
                                    .toJson(QJsonDocument::Compact)
                              : "arrived " + shot);
        watch.terminate();
        QVERIFY(watch.waitForFinished(20000));
        QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
        QCOMPARE(watch.exitCode(), 0);
    }

    // A thumbnail fits the size asked for and says its own; what cannot be
    // decoded or written exits 1, says so and writes nothing.
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
        TestEnv env;
        const QString out = env.home() + "/" + output;
        const CliRun run = runCli(
            {"thumb", writeFile(env.home() + "/shot.png", bytes), "--max", "100", "-o", out});
        QCOMPARE(run.status, made ? 0 : 1);
        QCOMPARE(run.out, QString(made ? "100x50\n" : ""));
        QVERIFY2(made || run.err.contains("tamberk-cli: "), qPrintable(run.err));
        QCOMPARE(QImage(out).size(), made ? QSize(100, 50) : QSize(0, 0));
        QCOMPARE(QFile::exists(out), made);
    }

    // Recognition prints each file's lines under its name, nothing for a file
    // without text.
    void ocr() {
        TestEnv env;
        QImage image(900, 160, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(36);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(30, 100), QStringLiteral("Invoice payment overdue"));
        painter.end();
        const QString text = env.home() + "/text.png";
        QVERIFY(image.save(text));
        const QString none = writeFile(env.home() + "/none.png", "no picture");
        const CliRun run = runCli({"ocr", text, none});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, "== " + text + "\nInvoice payment overdue\n== " + none + "\n");
    }

    // The desktop's tool is shown; its folder changes where the tool has one,
    // else the command exits 1 and says why.
    void system_data() {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::newRow("tool with a folder") << "XFCE" << 0 << "now saves screenshots to ";
        QTest::newRow("no tool") << "sway" << 1 << "keeps no location that can be changed";
    }
    void system() {
        QFETCH(QString, desktop);
        QFETCH(int, status);
        QFETCH(QString, said);
        TestEnv env;
        const QStringList environment{"XDG_CURRENT_DESKTOP=" + desktop};
        const CliRun shown = runCli({"system"}, TAMBERK_CLI, environment);
        QCOMPARE(shown.status, 0);
        QVERIFY2(shown.out.contains(QString("writable: %1\n").arg(status == 0 ? "true" : "false")),
                 qPrintable(shown.out));
        const QString folder = env.mkdir("New Place");
        const CliRun set = runCli({"system", "set-location", folder}, TAMBERK_CLI, environment);
        QCOMPARE(set.status, status);
        QVERIFY2((status == 0 ? set.out : set.err).contains(said), qPrintable(set.out + set.err));
        const CliRun json = runCli({"system", "--json"}, TAMBERK_CLI, environment);
        QCOMPARE(QJsonDocument::fromJson(json.out.toUtf8())["location"].toString() == folder,
                 status == 0);
    }
};

TAMBERK_TEST(tst_CliLibrary)
#include "tst_CliLibrary.moc"
