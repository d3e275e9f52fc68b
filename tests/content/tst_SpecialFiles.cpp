#include "TestEnv.h"
#include "content/TextIndex.h"
#include "platform/ImageDecoder.h"
#include "platform/ImageHeader.h"
#include "platform/VideoDecoder.h"

#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using Reader = std::function<bool(const QString& path)>; // true: it produced something
Q_DECLARE_METATYPE(Reader)

class tst_SpecialFiles : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void fifoIsRefused_data() {
        QTest::addColumn<Reader>("read");
        QTest::newRow("thumbnail")
            << Reader([](const QString& p) { return !ImageDecoder::thumbnail(p, 160).isNull(); });
        QTest::newRow("recording poster") << Reader(
            [](const QString& p) { return !VideoDecoder::poster(p, 160).image.isNull(); });
        QTest::newRow("header") << Reader(
            [](const QString& p) { return ImageHeader::read(p).has_value(); });
        QTest::newRow("text recognition")
            << Reader([](const QString& p) { return !TextIndex::recognize(p).isEmpty(); });
    }

    // A listed file replaced by a FIFO is refused at once by every decoder
    // instead of blocking its thread for good.
    void fifoIsRefused() {
        QFETCH(Reader, read);
        const QByteArray fifo = QFile::encodeName(m_dir.filePath("Screenshot.png"));
        ::unlink(fifo.constData());
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        std::atomic<bool> done{false}, produced{true};
        std::unique_ptr<QThread> thread(QThread::create([&] {
            produced = read(QFile::decodeName(fifo));
            done = true;
        }));
        thread->start();
        const bool alone = QTest::qWaitFor([&] { return done.load(); }, 10000);
        // A reader that blocks is let go by a writer, so a failing test still ends.
        while (!done) {
            ::close(::open(fifo.constData(), O_WRONLY | O_NONBLOCK));
            QTest::qWait(10);
        }
        thread->wait();
        QVERIFY(alone);
        QVERIFY(!produced);
    }
};

TAMBERK_TEST(tst_SpecialFiles)
#include "tst_SpecialFiles.moc"
