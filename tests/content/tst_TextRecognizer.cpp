#include "TestEnv.h"
#include "ThumbFixtures.h"
#include "content/TextIndex.h"
#include "platform/TextRecognizer.h"

#include <QFont>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <tuple>

namespace {

QImage canvas(QSize size, QColor background) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(background);
    return image;
}

void draw(QImage& image, QPoint at, const QString& text, int px, QColor color,
          const QString& family) {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(family);
    font.setPixelSize(px);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(at, text);
}

} // namespace

class tst_TextRecognizer : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    // Two rendered lines of an image file come back as two lines in reading
    // order, joined by one line feed with none at the end, in light and dark
    // themes alike.
    void readsLinesInOrder() {
        const std::tuple<QColor, QColor, const char*, int> themes[] = {
            {QColor(250, 250, 250), QColor(40, 40, 40), "Liberation Serif", 13},
            {QColor(28, 28, 30), QColor(150, 150, 155), "Liberation Sans", 14}};
        for (const auto& [background, ink, family, px] : themes) {
            QImage image = canvas(QSize(900, 240), background);
            draw(image, QPoint(40, 70), QStringLiteral("Quarterly budget summary"), px, ink,
                 family);
            draw(image, QPoint(40, 160), QStringLiteral("Invoice payment overdue"), px, ink,
                 family);
            const QString path = dir.path() + "/lines.png";
            QVERIFY(image.save(path));
            const QString text = TextIndex::recognize(path);
            const QStringList lines = text.split(QLatin1Char('\n'));
            QVERIFY2(lines.size() == 2 && lines[0].contains("budget", Qt::CaseInsensitive) &&
                         lines[1].contains("payment", Qt::CaseInsensitive),
                     qPrintable(text));
        }
    }

    // A window with a dark sidebar beside a light page is read in both parts.
    void readsMixedThemes() {
        QImage image = canvas(QSize(1000, 300), QColor(250, 250, 250));
        QPainter(&image).fillRect(0, 0, 300, 300, QColor(35, 35, 40));
        draw(image, QPoint(30, 80), QStringLiteral("Downloads"), 16, QColor(210, 210, 210),
             "DejaVu Sans");
        draw(image, QPoint(360, 80), QStringLiteral("Weather forecast tomorrow"), 16,
             QColor(20, 20, 20), "DejaVu Sans");
        const QString text = TextRecognizer().recognize(image).toLower();
        QVERIFY2(text.contains(QLatin1String("downloads")), qPrintable(text));
        QVERIFY2(text.contains(QLatin1String("forecast")), qPrintable(text));
    }

    // Images without text and files that are no images give the empty string.
    void nothingToRead() {
        TextRecognizer recognizer;
        QCOMPARE(recognizer.recognize(canvas(QSize(640, 480), Qt::white)), QString());
        QCOMPARE(recognizer.recognize(canvas(QSize(640, 480), Qt::black)), QString());
        QCOMPARE(recognizer.recognize(QImage()), QString());
        QCOMPARE(recognizer.recognize(canvas(QSize(1, 1), Qt::white)), QString());
        QCOMPARE(TextIndex::recognize(dir.path() + "/missing.png"), QString());
        QCOMPARE(TextIndex::recognize(writeFile(dir.path() + "/text.png", "hello world")),
                 QString());
    }

    // Decoding bounds the longest side to 2600 pixels and applies the
    // file's orientation.
    void loadBoundsAndOrients() {
        const QString wide = dir.path() + "/wide.png";
        QVERIFY(canvas(QSize(5200, 300), Qt::white).save(wide));
        QCOMPARE(TextRecognizer::load(wide).size(), QSize(2600, 150));

        const QString turned = ThumbFixtures::jpegWithOrientation(
            dir.path() + "/turned.jpg", canvas(QSize(400, 100), Qt::white), 6);
        QCOMPARE(TextRecognizer::load(turned).size(), QSize(100, 400));
    }

    // Dark blocks are turned light, light ones left alone.
    void invertsDarkBlocksOnly() {
        QImage gray(96, 48, QImage::Format_Grayscale8);
        gray.fill(240);
        for (int y = 0; y < 48; ++y) {
            uchar* row = gray.scanLine(y);
            for (int x = 0; x < 48; ++x)
                row[x] = 20;
        }
        gray.scanLine(10)[10] = 230; // a light "text" pixel on the dark block
        gray.scanLine(10)[60] = 15;  // a dark "text" pixel on the light block
        TextRecognizer::invertDarkBlocks(gray);
        QCOMPARE(int(gray.constScanLine(0)[0]), 235);
        QCOMPARE(int(gray.constScanLine(10)[10]), 25);
        QCOMPARE(int(gray.constScanLine(0)[60]), 240);
        QCOMPARE(int(gray.constScanLine(10)[60]), 15);
    }

    // English always; the locale's language joins it when its data exists.
    void languages() {
        const std::tuple<const char*, QStringList, const char*> cases[] = {
            {"de_DE", {"eng", "deu", "osd"}, "eng+deu"},
            {"de_DE", {"eng", "osd"}, "eng"},
            {"C", {"eng", "deu"}, "eng"},
            {"zh_TW", {"eng", "chi_sim", "chi_tra"}, "eng+chi_tra"},
            {"zh_CN", {"eng", "chi_sim", "chi_tra"}, "eng+chi_sim"}};
        for (const auto& [locale, available, expected] : cases)
            QCOMPARE(TextRecognizer::languagesFor(QLocale(locale), available), expected);
    }

    // The thread limit is put in place when missing and never overridden.
    void threadLimit() {
        const QByteArray saved = qgetenv("OMP_THREAD_LIMIT");
        qunsetenv("OMP_THREAD_LIMIT");
        TextRecognizer::limitThreads();
        QCOMPARE(qgetenv("OMP_THREAD_LIMIT"), QByteArray("1"));
        qputenv("OMP_THREAD_LIMIT", "2");
        TextRecognizer::limitThreads();
        QCOMPARE(qgetenv("OMP_THREAD_LIMIT"), QByteArray("2"));
        if (saved.isNull())
            qunsetenv("OMP_THREAD_LIMIT");
        else
            qputenv("OMP_THREAD_LIMIT", saved);
    }
};

TAMBERK_TEST(tst_TextRecognizer)
#include "tst_TextRecognizer.moc"
