#include "TestEnv.h"
#include "content/TextIndex.h"
#include "platform/BandedText.h"
#include "platform/TextRecognizer.h"

#include <QFont>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

namespace {

// One line of text drawn with its vertical middle at `middle`.
struct Line {
    int middle;
    QString text;
};

QImage page(QSize size, const QList<Line>& lines) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(24);
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 30));
    for (const Line& line : lines)
        painter.drawText(QRect(40, line.middle - 20, size.width() - 80, 40), Qt::AlignVCenter,
                         line.text);
    return image;
}

} // namespace

class tst_BandedText : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    // Only images that would shrink below the engine's longest side are read in bands.
    void tallImages_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("tall");
        QTest::newRow("full page") << QSize(1920, 20000) << true;
        QTest::newRow("square at the bound") << QSize(2600, 2600) << false;
        QTest::newRow("narrow at the bound") << QSize(1000, 2600) << false;
        QTest::newRow("narrow one row over") << QSize(1000, 2601) << true;
        QTest::newRow("wide, scaled within the bound") << QSize(5200, 5201) << false;
        QTest::newRow("wide, scaled over the bound") << QSize(5200, 5300) << true;
        QTest::newRow("banner") << QSize(10000, 3000) << false;
        QTest::newRow("empty") << QSize(0, 30000) << false;
    }
    void tallImages() {
        QFETCH(QSize, size);
        QFETCH(bool, tall);
        QCOMPARE(BandedText::isTall(size), tall);
    }

    // The bands cover the image top to bottom at full width, overlapping by
    // the same amount, the last one ending at the bottom edge.
    void bands_data() {
        QTest::addColumn<int>("height");
        QTest::addColumn<QList<int>>("tops");
        QTest::newRow("one band") << 2600 << QList<int>{0};
        QTest::newRow("one row more") << 2601 << QList<int>{0, 2400};
        QTest::newRow("two bands exactly") << 5000 << QList<int>{0, 2400};
        QTest::newRow("three bands") << 5001 << QList<int>{0, 2400, 4800};
        QTest::newRow("full page")
            << 20000 << QList<int>{0, 2400, 4800, 7200, 9600, 12000, 14400, 16800, 19200};
        QTest::newRow("nothing") << 0 << QList<int>{};
    }
    void bands() {
        QFETCH(int, height);
        QFETCH(QList<int>, tops);
        const QList<QRect> bands = BandedText::bands(QSize(1920, height));
        QList<int> found;
        for (const QRect& band : bands) {
            found.append(band.top());
            QCOMPARE(band.left(), 0);
            QCOMPARE(band.width(), 1920);
            QVERIFY(band.height() > 0 && band.height() <= BandedText::bandHeight);
        }
        QCOMPARE(found, tops);
        if (!bands.isEmpty())
            QCOMPARE(bands.last().bottom(), height - 1);
        for (qsizetype i = 1; i < bands.size(); ++i)
            QCOMPARE(bands[i - 1].bottom() + 1 - bands[i].top(), BandedText::overlap);
    }

    // Every line of a tall page is read once in reading order: lines that the
    // overlap shows twice, lines cut by a band's edge, and a line that really
    // occurs twice, once on each side of a cut.
    void readsEveryLineOnce() {
        const QList<Line> lines{
            {120, "Release notes for the winter build"},
            {2300, "Status approved"}, // first band only
            {2450, "Overlap shows this twice"},
            {2595, "Cut by the first band"},  // crosses the first band's bottom edge
            {2700, "Status approved"},        // second band only: a repeat, not a copy
            {2395, "Cut by the second band"}, // crosses the second band's top edge
            {4960, "Final remarks at the bottom"},
        };
        QList<Line> ordered = lines;
        std::sort(ordered.begin(), ordered.end(),
                  [](const Line& a, const Line& b) { return a.middle < b.middle; });
        const QImage image = page(QSize(900, 5000), lines);
        QCOMPARE(BandedText::bands(image.size()).size(), 2);

        const QString path = dir.path() + "/page.png";
        QVERIFY(image.save(path));
        QCOMPARE(BandedText::load(path).size(), image.size());
        const QString text = TextIndex::recognize(path);
        QStringList read;
        for (const QString& line : text.split(QLatin1Char('\n')))
            read.append(line.simplified());
        QStringList expected;
        for (const Line& line : ordered)
            expected.append(line.text);
        QVERIFY2(read == expected, qPrintable(read.join(" | ")));
    }

    // An image that is not tall is left to the ordinary, scaled recognition.
    void ordinaryImagesAreNotBanded() {
        const QString path = dir.path() + "/screen.png";
        QVERIFY(page(QSize(1920, 1080), {{500, "Hello"}}).save(path));
        QVERIFY(BandedText::load(path).isNull());
        QVERIFY(BandedText::load(dir.path() + "/missing.png").isNull());
    }
};

TAMBERK_TEST(tst_BandedText)
#include "tst_BandedText.moc"
