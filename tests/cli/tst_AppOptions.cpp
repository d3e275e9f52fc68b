#include "TestEnv.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

// The command line of the real application. None of these needs a display:
// they run without DISPLAY.
class tst_AppOptions : public QObject {
    Q_OBJECT
private slots:
    // Help and the version go to standard output with status 0; a wrong
    // command line gets what was wrong and the usage line on standard error
    // with status 2, and starts nothing.
    void options_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString usage = QStringLiteral("\nUsage: tamberk [--toggle | --show | --hide");
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "\n  --toggle "
                                << "";
        QTest::newRow("-h") << QStringList{"-h"} << 0 << "\n  --quit "
                            << "";
        QTest::newRow("--version")
            << QStringList{"--version"} << 0 << "tamberk " TAMBERK_VERSION "\n"
            << "";
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << ""
                                        << "tamberk: unknown option '--frobnicate'" + usage;
        QTest::newRow("not an option") << QStringList{"frobnicate"} << 2 << ""
                                       << "tamberk: unexpected argument 'frobnicate'" + usage;
        QTest::newRow("two options") << QStringList{"--toggle", "--quit"} << 2 << ""
                                     << "tamberk: unexpected argument '--quit'" + usage;
    }
    void options() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TAMBERK_APP), args);
        QVERIFY(process.waitForFinished(60000));
        const QString stdOut = QString::fromUtf8(process.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), status);
        QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.contains(out), qPrintable(stdOut));
        QVERIFY2(err.isEmpty() ? stdErr.isEmpty() : stdErr.contains(err), qPrintable(stdErr));
    }
};

TAMBERK_TEST(tst_AppOptions)
#include "tst_AppOptions.moc"
