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

namespace {

using Reader = std::function<bool(const QString& path)>; // true: it produced something

// Runs `read` on a thread of its own; whether it returned without a writer
// ever opening the FIFO. If it blocks, the FIFO is opened for writing until
// it returns, so a failing test still ends.
bool returnsAlone(const QString& fifo, const Reader& read, bool* produced) {
    std::atomic<bool> done{false};
    std::unique_ptr<QThread> thread(QThread::create([&] {
        *produced = read(fifo);
        done = true;
    }));
    thread->start();
    const bool alone = QTest::qWaitFor([&] { return done.load(); }, 10000);
    while (!done) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
        QTest::qWait(10);
    }
    thread->wait();
    return alone;
}

} // namespace

Q_DECLARE_METATYPE(Reader)

class tst_SpecialFiles : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void fifoIsRefused_data() {
        QTest::addColumn<Reader>("read");
        QTest::newRow("thumbnail") << Reader(
            [](const QString& path) { return !ImageDecoder::thumbnail(path, 160).isNull(); });
        QTest::newRow("recording poster") << Reader(
            [](const QString& path) { return !VideoDecoder::poster(path, 160).image.isNull(); });
        QTest::newRow("header") << Reader(
            [](const QString& path) { return ImageHeader::read(path).has_value(); });
        QTest::newRow("text recognition")
            << Reader([](const QString& path) { return !TextIndex::recognize(path).isEmpty(); });
    }

    // A listed image or recording replaced by a FIFO is refused at once by
    // every decoder instead of blocking its thread for good.
    void fifoIsRefused() {
        QFETCH(Reader, read);
        const QString fifo = m_dir.filePath(QStringLiteral("Screenshot.png"));
        ::unlink(QFile::encodeName(fifo).constData());
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        bool produced = true;
        QVERIFY(returnsAlone(fifo, read, &produced));
        QVERIFY(!produced);
    }
};

TAMBERK_TEST(tst_SpecialFiles)
#include "tst_SpecialFiles.moc"
