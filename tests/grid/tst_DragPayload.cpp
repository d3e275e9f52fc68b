#include "../library/LibrarySupport.h"
#include "TestEnv.h"
#include "grid/Clip.h"
#include "grid/DragPayload.h"

#include <QBuffer>
#include <QClipboard>
#include <QPainter>

namespace {

// A file of `size` bytes that takes no disk space.
QString sparseFile(const QString& path, qint64 size) {
    return QFile::resize(writeFile(path, {}), size) ? path : QString();
}

// Sets the modification time of `path` itself, not of a link's target.
bool age(const QString& path, int days) {
    struct timespec times[2];
    times[0].tv_sec = QDateTime::currentSecsSinceEpoch() - qint64(days) * 86400;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) ==
           0;
}

ShotPtr shotAt(const QString& path, bool video = false) {
    return std::make_shared<Shot>(path, 0, 0, QSizeF(), video, true);
}

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 95);
    return bytes;
}

// Red on the left, blue on the right.
QImage sample() {
    QImage image(64, 40, QImage::Format_RGB32);
    image.fill(QColor(200, 30, 40));
    QPainter(&image).fillRect(32, 0, 32, 40, QColor(20, 90, 220));
    return image;
}

bool near(QColor a, QColor b) {
    return qAbs(a.red() - b.red()) < 12 && qAbs(a.green() - b.green()) < 12 &&
           qAbs(a.blue() - b.blue()) < 12;
}

} // namespace

// What leaves the application when frames are dragged out or copied.
class tst_DragPayload : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> m_env;

private slots:
    void init() { m_env = std::make_unique<TestEnv>(); }
    void cleanup() { m_env.reset(); }

    // A file on another file system goes out as itself, leaving no folder behind.
    void otherVolumePublishesTheFile() {
        const QString mount = m_env->mkdir("usb");
        if (!LibrarySupport::mountTmpfs(mount))
            QSKIP("mounting a tmpfs needs root");
        const QString path = writeFile(mount + "/Screenshot 2.png", "picture");
        const QUrl url = DragPayload::shareableURL(QUrl::fromLocalFile(path));
        const QStringList folders = LibrarySupport::names(DragPayload::dropRoot());
        LibrarySupport::unmount(mount);
        QCOMPARE(url, QUrl::fromLocalFile(path));
        QVERIFY(folders.isEmpty());
    }

    // Without a copy (no drop folder, a folder, no file) the file's own URL goes out.
    void failedCopyFallsBackToTheFile() {
        const QString path = writeFile(m_env->home() + "/Screenshot 3.png", "picture");
        QDir(DragPayload::dropRoot()).removeRecursively();
        writeFile(DragPayload::dropRoot(), "in the way");
        QCOMPARE(DragPayload::shareableURL(QUrl::fromLocalFile(path)), QUrl::fromLocalFile(path));
        QVERIFY(QFile::remove(DragPayload::dropRoot()));
        const QUrl folder = QUrl::fromLocalFile(m_env->mkdir("Shots/not a file"));
        QCOMPARE(DragPayload::shareableURL(folder), folder);
        QVERIFY(LibrarySupport::names(DragPayload::dropRoot()).isEmpty());
        const QUrl missing = QUrl::fromLocalFile(m_env->home() + "/gone.png");
        QCOMPARE(DragPayload::shareableURL(missing), missing);
    }

    // Images are offered as data whatever their size, recordings up to a size, others not.
    void dataTypeByExtensionAndSize_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("type");
        QTest::newRow("png") << "a.png" << qint64(10) << "image/png";
        QTest::newRow("upper-case jpeg") << "a.JPG" << qint64(10) << "image/jpeg";
        QTest::newRow("huge image") << "a.png" << qint64(400) * 1000 * 1000 << "image/png";
        QTest::newRow("exactly 150 MiB")
            << "a.mov" << DragPayload::maxRecordingBytes << "video/quicktime";
        QTest::newRow("one byte more") << "a.mov" << DragPayload::maxRecordingBytes + 1 << "";
        QTest::newRow("unknown extension") << "a.qqzx" << qint64(10) << "";
        QTest::newRow("text") << "a.txt" << qint64(10) << "";
    }
    void dataTypeByExtensionAndSize() {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        QFETCH(QString, type);
        const QString path = sparseFile(m_env->home() + "/" + name, size);
        QVERIFY(!path.isEmpty());
        QCOMPARE(DragPayload::dataType(QUrl::fromLocalFile(path)), type);
    }

    // A receiver reads a copy's URL in every file-list form; the original stays.
    void singleFileReadsBackAsAReceiverWould_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::newRow("screenshot") << QString("Screenshot.png") << "image/png";
        QTest::newRow("unknown extension") << QString("Notes.qqzx") << "";
    }
    void singleFileReadsBackAsAReceiverWould() {
        QFETCH(QString, name);
        QFETCH(QString, type);
        const QString path = writeFile(m_env->home() + "/Shots/" + name, "contents");
        DragPayload::beginSession().waitForFinished();
        std::unique_ptr<QMimeData> mime(DragPayload::mimeData({QUrl::fromLocalFile(path)}));
        const QList<QUrl> urls = mime->urls();
        QCOMPARE(urls.size(), 1);
        QVERIFY(urls.front().toLocalFile().startsWith(DragPayload::dropRoot() + "/"));
        QVERIFY(urls.front().path().endsWith("/" + name));
        QCOMPARE(LibrarySupport::contents(urls.front().toLocalFile()), QByteArray("contents"));
        QCOMPARE(LibrarySupport::contents(path), QByteArray("contents"));
        const QUrl again = DragPayload::shareableURL(QUrl::fromLocalFile(path));
        QVERIFY(again != urls.front() && again.toLocalFile().startsWith(DragPayload::dropRoot()));
        const QByteArray encoded = urls.front().toEncoded();
        QCOMPARE(mime->data("text/uri-list"), encoded + "\r\n");
        QCOMPARE(mime->data("x-special/gnome-copied-files"), "copy\n" + encoded);
        QCOMPARE(mime->data("application/x-kde-cutselection"), QByteArray("0"));
        QVERIFY(!mime->hasFormat("text/plain"));
        QCOMPARE(mime->formats().contains(type), !type.isEmpty());
        QCOMPARE(DragPayload::live().size(), size_t(type.isEmpty() ? 0 : 1));
        if (!type.isEmpty())
            QCOMPARE(mime->data(type), QByteArray("contents"));
        DragPayload::beginSession().waitForFinished(); // a new drag forgets this one's providers
        QVERIFY(DragPayload::live().empty());
    }

    // Several files go out as one list in order, without data; a deleted file's data is empty.
    void severalFilesAndVanishedData() {
        const QString a = writeFile(m_env->home() + "/a.png", "aa");
        const QString b = writeFile(m_env->home() + "/b.png", "bb");
        std::unique_ptr<QMimeData> both(
            DragPayload::mimeData({QUrl::fromLocalFile(b), QUrl::fromLocalFile(a)}));
        QCOMPARE(both->formats().contains("image/png"), false);
        const QList<QUrl> urls = both->urls();
        QCOMPARE(urls.size(), 2);
        QVERIFY(urls[0].path().endsWith("/b.png") && urls[1].path().endsWith("/a.png"));
        QCOMPARE(both->data("text/uri-list"),
                 urls[0].toEncoded() + "\r\n" + urls[1].toEncoded() + "\r\n");
        std::unique_ptr<QMimeData> one(DragPayload::mimeData({QUrl::fromLocalFile(a)}));
        QVERIFY(QFile::remove(one->urls().front().toLocalFile()));
        QVERIFY(one->data("image/png").isEmpty());
    }

    // The sweep removes entries past its age, a link without its target; younger ones stay.
    void sweepRemovesOldEntries() {
        const QString root = DragPayload::dropRoot();
        const QString user = writeFile(m_env->home() + "/Pictures/keep.png", "mine");
        writeFile(root + "/0000000a/old.png");
        writeFile(root + "/0000000b/recent.png");
        writeFile(root + "/0000000c/today.png");
        writeFile(root + "/stray.tmp");
        QVERIFY(QFile::link(m_env->home() + "/Pictures", root + "/0000000d"));
        QVERIFY(age(root + "/0000000a", 31));
        QVERIFY(age(root + "/0000000b", 29));
        QVERIFY(age(root + "/stray.tmp", 45));
        QVERIFY(age(root + "/0000000d", 40));

        QCOMPARE(DragPayload::beginSession().result(), 3);
        QCOMPARE(LibrarySupport::names(root), (QStringList{"0000000b", "0000000c"}));
        QCOMPARE(LibrarySupport::contents(user), QByteArray("mine"));
    }

    // A copied PNG reaches image editors byte for byte, file managers as its URL.
    void copiedPngKeepsItsBytes() {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->setText("earlier");
        const QByteArray png = encoded(sample(), "png") + QByteArray("trailing bytes stay");
        Clip::copy({shotAt(writeFile(m_env->home() + "/Screenshot.PNG", png))});
        const QMimeData* mime = clipboard->mimeData();
        QVERIFY(mime);
        QCOMPARE(mime->data("image/png"), png);
        QVERIFY(!mime->formats().contains("text/plain"));
        QCOMPARE(mime->urls().size(), 1);
        QVERIFY(mime->urls().front().toLocalFile().startsWith(DragPayload::dropRoot()));
        Clip::copy({});
        QVERIFY(!clipboard->mimeData() || clipboard->mimeData()->formats().isEmpty());
    }

    // A copied JPEG is decoded and offered as PNG, with the same picture.
    void copiedJpegIsReencodedAsPng() {
        const QString path = writeFile(m_env->home() + "/Photo.jpg", encoded(sample(), "jpg"));
        std::unique_ptr<QMimeData> mime(Clip::mimeData({shotAt(path)}));
        const QByteArray png = mime->data("image/png");
        QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
        const QImage image = QImage::fromData(png, "png");
        QCOMPARE(image.size(), QSize(64, 40));
        QVERIFY(near(image.pixelColor(8, 20), QColor(200, 30, 40)));
        QVERIFY(near(image.pixelColor(56, 20), QColor(20, 90, 220)));
    }

    // Recordings, several shots and an undecodable still are copied as URLs only, in order.
    void copiedAsUrlsOnly_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("video");
        QTest::addColumn<bool>("offered"); // a still's picture is only known once asked for
        QTest::newRow("recording") << QStringList{"Recording.mp4"} << true << false;
        QTest::newRow("two screenshots") << QStringList{"b.png", "a.png"} << false << false;
        QTest::newRow("undecodable still") << QStringList{"Broken.jpg"} << false << true;
    }
    void copiedAsUrlsOnly() {
        QFETCH(QStringList, names);
        QFETCH(bool, video);
        QFETCH(bool, offered);
        ShotList shots;
        for (const QString& name : names)
            shots << shotAt(writeFile(m_env->home() + "/" + name, "not a picture"), video);
        std::unique_ptr<QMimeData> mime(Clip::mimeData(shots));
        QCOMPARE(mime->formats().contains("image/png"), offered);
        QVERIFY(mime->data("image/png").isEmpty());
        QStringList published;
        for (const QUrl& url : mime->urls())
            published << QFileInfo(url.toLocalFile()).fileName();
        QCOMPARE(published, names);
    }
};

TAMBERK_TEST(tst_DragPayload)
#include "tst_DragPayload.moc"
