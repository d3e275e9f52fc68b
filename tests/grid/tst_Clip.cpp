#include "TestEnv.h"
#include "grid/Clip.h"
#include "grid/DragPayload.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QTest>

namespace {

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

QImage sample() {
    QImage image(64, 40, QImage::Format_RGB32);
    image.fill(QColor(200, 30, 40));
    for (int x = 32; x < 64; ++x)
        for (int y = 0; y < 40; ++y)
            image.setPixelColor(x, y, QColor(20, 90, 220));
    return image;
}

bool near(QColor a, QColor b) {
    return qAbs(a.red() - b.red()) < 12 && qAbs(a.green() - b.green()) < 12 &&
           qAbs(a.blue() - b.blue()) < 12;
}

} // namespace

class tst_Clip : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> m_env;

private slots:
    void init() { m_env = std::make_unique<TestEnv>(); }
    void cleanup() { m_env.reset(); }

    // A copied PNG reaches image editors byte for byte, file managers as its
    // published URL (its forms: tst_DragPayload).
    void pngKeepsItsBytes() {
        const QByteArray png = encoded(sample(), "png") + QByteArray("trailing bytes stay");
        const QString path = writeFile(m_env->home() + "/Screenshot.PNG", png);
        std::unique_ptr<QMimeData> mime(Clip::mimeData({shotAt(path)}));
        QCOMPARE(mime->data("image/png"), png);
        QCOMPARE(mime->urls().size(), 1);
        QVERIFY(mime->urls().front().toLocalFile().startsWith(DragPayload::dropRoot()));
    }

    // A copied JPEG is decoded and offered as PNG, with the same picture.
    void jpegIsReencodedAsPng() {
        const QString path = writeFile(m_env->home() + "/Photo.jpg", encoded(sample(), "jpg"));
        std::unique_ptr<QMimeData> mime(Clip::mimeData({shotAt(path)}));
        const QByteArray png = mime->data("image/png");
        QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
        const QImage image = QImage::fromData(png, "png");
        QCOMPARE(image.size(), QSize(64, 40));
        QVERIFY(near(image.pixelColor(8, 20), QColor(200, 30, 40)));
        QVERIFY(near(image.pixelColor(56, 20), QColor(20, 90, 220)));
    }

    // Recordings, several shots and a still that cannot be decoded go out as
    // URLs only, in the order given.
    void urlsOnly_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("video");
        QTest::addColumn<bool>("offered"); // a still's picture is only known once asked for
        QTest::newRow("recording") << QStringList{"Recording.mp4"} << true << false;
        QTest::newRow("two screenshots") << QStringList{"b.png", "a.png"} << false << false;
        QTest::newRow("undecodable still") << QStringList{"Broken.jpg"} << false << true;
    }
    void urlsOnly() {
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

    // Copying replaces what was on the clipboard; copying nothing leaves it empty.
    void copyReplacesTheClipboard() {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->setText("earlier");
        const QByteArray png = encoded(sample(), "png");
        Clip::copy({shotAt(writeFile(m_env->home() + "/s.png", png))});
        QCOMPARE(clipboard->mimeData()->data("image/png"), png);
        QVERIFY(!clipboard->mimeData()->formats().contains("text/plain"));
        Clip::copy({});
        QVERIFY(!clipboard->mimeData() || clipboard->mimeData()->formats().isEmpty());
    }
};

TAMBERK_TEST(tst_Clip)
#include "tst_Clip.moc"
