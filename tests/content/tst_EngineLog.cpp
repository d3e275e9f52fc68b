#include "TestEnv.h"
#include "platform/TextRecognizer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

// The recognition engine's own diagnostics stay out of the app's log.
class tst_EngineLog : public QObject {
    Q_OBJECT
private slots:
    // An engine without language data says why through our log only: the
    // engine's messages about it never reach the standard error.
    void engineMessagesStayOut() {
        QTemporaryDir empty;
        const QByteArray saved = qgetenv("TESSDATA_PREFIX");
        const bool wasSet = qEnvironmentVariableIsSet("TESSDATA_PREFIX");
        qputenv("TESSDATA_PREFIX", QFile::encodeName(empty.path() + QLatin1Char('/')));
        const QString captured = empty.filePath(QStringLiteral("stderr.txt"));
        std::fflush(stderr);
        const int original = ::dup(2);
        const int sink =
            ::open(QFile::encodeName(captured).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(original >= 0 && sink >= 0);
        ::dup2(sink, 2);
        bool ready = true;
        {
            TextRecognizer engine;
            ready = engine.ready();
        }
        std::fflush(stderr);
        ::dup2(original, 2);
        ::close(original);
        ::close(sink);
        if (wasSet)
            qputenv("TESSDATA_PREFIX", saved);
        else
            qunsetenv("TESSDATA_PREFIX");
        QVERIFY(!ready);
        QFile out(captured);
        QVERIFY(out.open(QIODevice::ReadOnly));
        const QByteArray text = out.readAll();
        QVERIFY2(!text.contains("traineddata") && !text.contains("Tesseract"), text.constData());
    }
};

TAMBERK_TEST(tst_EngineLog)
#include "tst_EngineLog.moc"
