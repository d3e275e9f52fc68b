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
        const int m = TextRecognizer::kMaxSide;
        QTest::newRow("narrow at the bound") << QSize(1000, m) << false;
        QTest::newRow("narrow one row over") << QSize(1000, m + 1) << true;
        QTest::newRow("wide, scaled within the bound") << QSize(2 * m, 2 * m + 1) << false;
        QTest::newRow("wide, scaled over the bound") << QSize(2 * m, 2 * m + 100) << true;
        QTest::newRow("empty") << QSize(0, 10 * m) << false;
    }
    void tallImages() {
        QFETCH(QSize, size);
        QFETCH(bool, tall);
        QCOMPARE(BandedText::isTall(size), tall);
    }

    // The fewest full-width bands cover the image, overlapping by the same amount.
    void bands() {
        using namespace BandedText;
        for (const int height : {0, 1, bandHeight, bandHeight + 1, 2 * bandHeight - overlap,
                                 2 * bandHeight - overlap + 1, 20000}) {
            const QList<QRect> bands = BandedText::bands(QSize(1920, height));
            QCOMPARE(bands.isEmpty(), height == 0);
            for (qsizetype i = 0; i < bands.size(); ++i) {
                QCOMPARE(bands[i].left(), 0);
                QCOMPARE(bands[i].width(), 1920);
                QCOMPARE(bands[i].top(), i == 0 ? 0 : bands[i - 1].bottom() + 1 - overlap);
                QVERIFY(bands[i].height() > 0 && bands[i].height() <= bandHeight);
                QVERIFY(i + 1 == bands.size() || bands[i].height() == bandHeight);
            }
            if (bands.size() > 1)
                QVERIFY(bands[bands.size() - 2].bottom() < height - 1);
            if (!bands.isEmpty())
                QCOMPARE(bands.last().bottom(), height - 1);
        }
    }

    // Every line of a tall page is read once in order: those the overlap shows twice or a band's
    // edge cuts, and one that really occurs twice, once on each side of a cut.
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
        QStringList read = TextIndex::recognize(path).split(QLatin1Char('\n')), expected;
        for (QString& line : read)
            line = line.simplified();
        for (const Line& line : ordered)
            expected.append(line.text);
        QVERIFY2(read == expected, qPrintable(read.join(" | ")));
        QVERIFY(
            page(QSize(1920, 1080), {{500, "Hello"}}).save(path)); // left to the ordinary reading
        QVERIFY(BandedText::load(path).isNull());
        QVERIFY(BandedText::load(dir.path() + "/missing.png").isNull());
    }
};

TAMBERK_TEST(tst_BandedText)
#include "tst_BandedText.moc"
