#include "CliRun.h"
#include "TestEnv.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTest>
#include <optional>

namespace {

// Runs tamberk-cli with `args` in the test's private home; its standard
// output, or nothing when it did not exit 0.
std::optional<QString> cli(const QStringList& args) {
    const CliRun run = runCli(args);
    if (run.status != 0)
        return std::nullopt;
    return run.out;
}

// The path a line of the plain output stands for.
QString unescaped(const QString& line) {
    QString path;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] != QLatin1Char('\\') || i + 1 == line.size()) {
            path += line[i];
            continue;
        }
        const QChar next = line[++i];
        if (next == QLatin1Char('n'))
            path += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            path += QLatin1Char('\t');
        else if (next == QLatin1Char('r'))
            path += QLatin1Char('\r');
        else if (next == QLatin1Char('x') && i + 2 < line.size()) {
            path += QChar(line.mid(i + 1, 2).toUShort(nullptr, 16));
            i += 2;
        } else
            path += next;
    }
    return path;
}

} // namespace

class tst_CliList : public QObject {
    Q_OBJECT
private slots:
    // File names holding a line feed, a tab, an escape character or a
    // backslash keep one line per shot (and the scan's fields in place) in the
    // plain output, each line reading back to its path; JSON keeps the names.
    void oddNamesStayOneLinePerShot() {
        TestEnv env;
        QVERIFY(cli({"settings", "set", "t2.onlyShots", "false"}));
        const QString root = env.mkdir("Pictures");
        QImage image(8, 6, QImage::Format_RGB32);
        image.fill(Qt::gray);
        QSet<QString> paths;
        for (const char* name :
             {"line\nfeed.png", "tab\there.png", "esc\x1b.png", "back\\n slash.png", "plain.png"}) {
            paths.insert(root + "/" + QString::fromUtf8(name));
            QVERIFY(image.save(root + "/" + QString::fromUtf8(name), "PNG"));
        }

        const QString listed = cli({"list", "--scope", "all", "--root", root}).value_or(QString());
        QSet<QString> fromList;
        for (const QString& line : listed.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            fromList.insert(unescaped(line));
        QCOMPARE(fromList, paths);

        const QString scanned = cli({"scan", root}).value_or(QString());
        QSet<QString> fromScan;
        for (const QString& line : scanned.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            // A shot's six fields, or a folder and one of its subfolders.
            const QStringList fields = line.split(QLatin1Char('\t'));
            QVERIFY2(fields.size() == 6 || fields.size() == 2, qPrintable(line));
            if (fields.size() == 6)
                fromScan.insert(unescaped(fields[0]));
            else
                QCOMPARE(unescaped(fields[0]), root);
        }
        QCOMPARE(fromScan, paths);

        QSet<QString> fromJson;
        const QJsonArray shots =
            QJsonDocument::fromJson(cli({"list", "--scope", "all", "--root", root, "--json"})
                                        .value_or(QString())
                                        .toUtf8())
                .array();
        for (const auto& shot : shots)
            fromJson.insert(shot.toObject().value("path").toString());
        QCOMPARE(fromJson, paths);
    }

    // A search among screenshots not read yet says how many on standard
    // error: not when all are read, nor with recognition off.
    void searchNotesUnreadScreenshots_data() {
        QTest::addColumn<bool>("ocr");
        QTest::addColumn<bool>("allRead");
        QTest::addColumn<QString>("note");
        const QString one = "tamberk-cli: 1 screenshot has not been read for text yet; the "
                            "results may be incomplete.\n";
        QTest::newRow("one unread") << true << false << one;
        QTest::newRow("all read") << true << true << "";
        QTest::newRow("recognition off") << false << false << "";
    }
    void searchNotesUnreadScreenshots() {
        QFETCH(bool, ocr);
        QFETCH(bool, allRead);
        QFETCH(QString, note);
        TestEnv env;
        QVERIFY(cli({"settings", "set", "t2.onlyShots", "false"}));
        QVERIFY(cli({"settings", "set", "t2.ocr", ocr ? "true" : "false"}));
        const QString root = env.mkdir("Pictures");
        QImage image(8, 6, QImage::Format_RGB32);
        image.fill(Qt::gray);
        QByteArray index = "{";
        for (const char* name : {"read.png", "unread.png"}) {
            const QString path = root + "/" + name;
            QVERIFY(image.save(path, "PNG"));
            QVERIFY(setModified(path, 1000));
            if (allRead || path.endsWith("/read.png"))
                index += (index.size() > 1 ? "," : "") +
                         QJsonDocument(QJsonArray{path})
                             .toJson(QJsonDocument::Compact)
                             .mid(1)
                             .chopped(1) +
                         (path.endsWith("/read.png") ? R"(:{"m":1000,"t":"Invoice total"})"
                                                     : R"(:{"m":1000,"t":"Receipt"})");
        }
        writeFile(env.dataHome() + "/Tamberk/text-index.json", index + "}");

        const CliRun run = runCli({"search", "invoice", "--root", root});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, root + "/read.png\n");
        QString said;
        for (const QString& line : run.err.split('\n'))
            if (line.startsWith("tamberk-cli:"))
                said += line + '\n';
        QCOMPARE(said, note);
    }
};

TAMBERK_TEST(tst_CliList)
#include "tst_CliList.moc"
