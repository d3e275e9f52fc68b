#include "TestEnv.h"
#include "content/TextIndex.h"
#include "content/Thumbs.h"
#include "platform/BandedText.h"
#include "platform/TextRecognizer.h"

#include <QFont>
#include <QMutex>
#include <QPainter>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <tuple>

namespace {

ShotPtr makeShot(const QString& name, double modified = 1, QSizeF pixelSize = {},
                 bool isVideo = false) {
    return std::make_shared<Shot>("/s/" + name, modified, modified, pixelSize, isVideo, true);
}

// 2560 × 1600 pictures, four of which fill the smallest limit.
ShotPtr big(int i) {
    return makeShot(QStringLiteral("big%1.png").arg(i), 1, {2560, 1600});
}

// The decoder: notes starts in order, counts those running, can hold them at a gate.
struct FakeDecoder {
    QMutex lock;
    QStringList started;
    std::atomic<int> active{0};
    std::atomic<bool> gated{false};
    QSemaphore gate;
    std::function<Thumbs::Made(int maxPixel)> produce = [](int maxPixel) {
        QImage image(maxPixel, maxPixel * 5 / 8, QImage::Format_RGB32);
        image.fill(Qt::gray);
        return Thumbs::Made{image, 0, {}};
    };

    Thumbs::Decoder decoder() {
        return [this](const QString& path, bool, int maxPixel) {
            {
                const QMutexLocker locked(&lock);
                started << path.section(QLatin1Char('/'), -1);
            }
            ++active;
            if (gated)
                gate.acquire();
            Thumbs::Made made = produce(maxPixel);
            --active;
            return made;
        };
    }
    QStringList startedNames() {
        const QMutexLocker locked(&lock);
        return started;
    }
};

QImage canvas(QSize size, QColor background) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(background);
    return image;
}

void draw(QImage& image, QPoint at, const QString& text, int px, QColor color) {
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(px);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(at, text);
}

// One line of text drawn with its vertical middle at `middle`.
struct Line {
    int middle;
    QString text;
};

QImage page(QSize size, const QList<Line>& lines) {
    QImage image = canvas(size, Qt::white);
    for (const Line& line : lines)
        draw(image, {40, line.middle + 8}, line.text, 24, QColor(30, 30, 30));
    return image;
}

} // namespace

class tst_Thumbs : public QObject {
    Q_OBJECT
    std::unique_ptr<FakeDecoder> fake;
    std::unique_ptr<Thumbs> thumbs;

    // What the cache answers for `shot`; nothing when it did not answer.
    std::optional<QImage> load(const ShotPtr& shot, int bucket) {
        std::optional<QImage> result;
        thumbs->load(shot, bucket, [&](const QImage& image) { result = image; });
        return QTest::qWaitFor([&] { return result.has_value(); }, 10000) ? result : std::nullopt;
    }
    bool cached(const ShotPtr& shot) const { return bool(thumbs->cached(*shot, 2560)); }

private slots:
    void init() {
        fake = std::make_unique<FakeDecoder>();
        thumbs = std::make_unique<Thumbs>(fake->decoder());
    }
    void cleanup() {
        fake->gate.release(100);
        thumbs.reset();
    }

    // A cell gets the largest cached image not above its need, else the next; never stale.
    void cachedPicksNearestBucket() {
        QCOMPARE(Thumbs::bucket(160.5), 320);
        const ShotPtr shot = makeShot("one.png", 100, {2000, 1000});
        QVERIFY(load(shot, 640));
        QCOMPARE(thumbs->cached(*shot, 320).value_or(std::pair<QImage, int>()).second, 640);
        QVERIFY(load(shot, 160));
        QCOMPARE(thumbs->cached(*shot, 320)->second, 160);
        QCOMPARE(thumbs->cached(*shot, 2560)->second, 640);
        QVERIFY(!cached(makeShot("other.png", 100)));
        QVERIFY(!cached(makeShot("one.png", 100.5)));
    }

    // Requests during a decode share it, answered once each in order; later from memory.
    void concurrentLoadsShareOneDecode() {
        fake->gated = true;
        const ShotPtr shot = makeShot("one.png", 100, {640, 400});
        QList<int> order;
        for (int i = 1; i <= 3; ++i)
            thumbs->load(shot, 320, [&order, i](const QImage& image) {
                order.append(image.width() == 320 ? i : -i);
            });
        QTRY_COMPARE(fake->active.load(), 1);
        fake->gate.release();
        QTRY_COMPARE(order, (QList<int>{1, 2, 3}));
        bool ranAtOnce = false;
        thumbs->load(shot, 320, [&](const QImage& image) { ranAtOnce = !image.isNull(); });
        QVERIFY(ranAtOnce);
        QCOMPARE(fake->startedNames().size(), 1);
    }

    // A failed decode answers with nothing and caches nothing: the next request tries again.
    void failureDeliversNothingAndRetries() {
        fake->produce = [](int) { return Thumbs::Made{}; };
        const ShotPtr shot = makeShot("broken.png");
        for (int attempt = 1; attempt <= 2; ++attempt) {
            QVERIFY(load(shot, 160).value_or(QImage(1, 1, QImage::Format_RGB32)).isNull());
            QVERIFY(!cached(shot));
            QCOMPARE(fake->startedNames().size(), attempt);
        }
    }

    // A decode fixes missing sizes and a recording's aspect (by its frame), announced once.
    void pixelSizeCorrections() {
        const std::tuple<bool, QSizeF, QSize, QSize, QSizeF> cases[] = {
            {false, QSizeF(), QSize(320, 200), QSize(), QSizeF(320, 200)},
            {false, QSizeF(1000, 500), QSize(320, 320), QSize(), QSizeF(1000, 500)},
            {true, QSizeF(1920, 1080), QSize(180, 320), QSize(), QSizeF(180, 320)},
            {true, QSizeF(1920, 1080), QSize(180, 320), QSize(1080, 1920), QSizeF(1080, 1920)}};
        int i = 0;
        for (const auto& [isVideo, recorded, decoded, frame, expected] : cases) {
            fake->produce = [decoded = decoded, frame = frame](int) {
                return Thumbs::Made{QImage(decoded, QImage::Format_RGB32), 0, frame};
            };
            QSignalSpy aspect(thumbs.get(), &Thumbs::aspectChanged);
            const ShotPtr shot = makeShot(QString::number(++i), 5, recorded, isVideo);
            QVERIFY(load(shot, 320));
            QCOMPARE(shot->pixelSize, expected);
            QVERIFY(load(shot, 640));
            QCOMPARE(aspect.count(), expected != recorded ? 1 : 0);
        }
    }

    // Shutting down drops waiting requests, waits for running ones, and answers none.
    void shutdownAnswersNothing() {
        fake->gated = true;
        int answers = 0;
        for (int i = 0; i < 6; ++i)
            thumbs->load(makeShot(QString::number(i)), 160,
                         [&answers](const QImage&) { ++answers; });
        QTRY_COMPARE(fake->active.load(), Thumbs::maxDecodes);
        fake->gate.release(6);
        QVERIFY(thumbs->shutdown(-1));
        QCoreApplication::processEvents();
        QCOMPARE(answers, 0);
        QCOMPARE(fake->startedNames().size(), Thumbs::maxDecodes);
        bool nothing = false;
        thumbs->load(makeShot("late.png"), 160,
                     [&](const QImage& image) { nothing = image.isNull(); });
        QVERIFY(nothing);
    }

    // At most four decodes; newest first, bumped ones ahead, cancelled ones never run.
    void cancelAndOrder() {
        fake->gated = true;
        QStringList answered;
        QList<Thumbs::Ticket> tickets;
        for (const QString name : {"a0", "a1", "a2", "a3", "b0", "b1", "b2", "b3", "b4", "b5"}) {
            tickets << thumbs->load(makeShot(name), 160,
                                    [&answered, name](const QImage&) { answered << name; });
            if (tickets.size() == 4)
                QTRY_COMPARE(fake->startedNames().size(), 4);
        }
        for (const int cancelled : {5, 7, 9})
            thumbs->cancel(tickets[cancelled]);
        thumbs->bump(tickets[4]);
        QCOMPARE(thumbs->waiting(), 3);
        for (int i = 1; i <= 3; ++i) {
            fake->gate.release();
            QTRY_COMPARE(fake->startedNames().size(), 4 + i);
        }
        fake->gate.release(4);
        QTRY_COMPARE(answered.size(), 7);
        QCOMPARE(fake->startedNames().mid(4), (QStringList{"b0", "b4", "b2"}));
        for (const char* gone : {"b1", "b3", "b5"})
            QVERIFY(!answered.contains(QLatin1String(gone)));
    }

    // The limit counts bitmap bytes, cached and in flight; the oldest image goes first.
    void limitCountsBytesAndDecodesInFlight() {
        thumbs->setLimit(Thumbs::minLimit);
        for (int i = 0; i < 5; ++i)
            QVERIFY(!load(big(i), 2560).value_or(QImage()).isNull());
        for (int i = 0; i < 5; ++i)
            QCOMPARE(cached(big(i)), i > 0);
        fake->gated = true;
        for (int i = 5; i < 9; ++i)
            thumbs->load(big(i), 2560, [](const QImage&) {});
        QTRY_COMPARE(thumbs->running(), 4);
        QVERIFY(thumbs->held() <= thumbs->limit());
        for (int i = 1; i < 5; ++i)
            QVERIFY(!cached(big(i)));
        fake->gate.release(4);
        QTRY_COMPARE(thumbs->running(), 0);
        QVERIFY(thumbs->held() <= thumbs->limit());
        QVERIFY(cached(big(8)));
    }

    // A withdrawn decode answers no one; its image fills spare room but evicts nothing.
    void lateResultOfWithdrawnRequest_data() {
        QTest::addColumn<bool>("roomLeft");
        QTest::newRow("room") << true;
        QTest::newRow("full") << false;
    }
    void lateResultOfWithdrawnRequest() {
        QFETCH(bool, roomLeft);
        thumbs->setLimit(Thumbs::minLimit);
        for (int i = 0; i < 4; ++i)
            QVERIFY(load(big(i), 2560));
        fake->gated = true;
        bool answered = false;
        const Thumbs::Ticket late =
            thumbs->load(big(9), 2560, [&](const QImage&) { answered = true; });
        QTRY_COMPARE(fake->active.load(), 1);
        thumbs->cancel(late);
        fake->gated = false;
        QVERIFY(roomLeft || load(big(5), 2560));
        fake->gate.release();
        QTRY_COMPARE(thumbs->running(), 0);
        QVERIFY(!answered);
        QCOMPARE(cached(big(9)), roomLeft);
        QCOMPARE(cached(big(5)), !roomLeft);
        QVERIFY(thumbs->held() <= thumbs->limit());
    }
};

class tst_TextRecognizer : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    // Text is read on pills, on light and dark pages, faint and small.
    void readsInterfaceText_data() {
        QTest::addColumn<QColor>("page");
        QTest::addColumn<QColor>("pill"); // invalid: the words sit on the page
        QTest::addColumn<QColor>("ink");
        QTest::addColumn<int>("px");
        const QColor light(250, 250, 250), dark(30, 30, 33), white(Qt::white);
        QTest::newRow("white on pills, light") << light << QColor(10, 132, 255) << white << 13;
        QTest::newRow("white on pills, dark") << dark << QColor(52, 160, 89) << white << 13;
        QTest::newRow("grey on white") << white << QColor() << QColor(150, 150, 156) << 12;
        QTest::newRow("grey on dark")
            << QColor(28, 28, 30) << QColor() << QColor(150, 150, 155) << 14;
        QTest::newRow("11 px") << white << QColor() << QColor(40, 40, 40) << 11;
    }
    void readsInterfaceText() {
        QFETCH(QColor, page);
        QFETCH(QColor, pill);
        QFETCH(QColor, ink);
        QFETCH(int, px);
        const QStringList words{"Export", "Schedule", "Invoice", "Preview", "Calendar"};
        QImage image = canvas(QSize(720, 96), page);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(px);
        painter.setFont(font);
        // The row straddles the 48-pixel grid a block-wise inversion would use.
        int x = 20;
        for (const QString& word : words) {
            const QRect box(x, 34, painter.fontMetrics().horizontalAdvance(word) + 24, 26);
            painter.setPen(Qt::NoPen);
            painter.setBrush(pill.isValid() ? pill : page);
            painter.drawRoundedRect(box, 13, 13);
            painter.setPen(ink);
            painter.drawText(box, Qt::AlignCenter, word);
            x += box.width() + 14;
        }
        painter.end();
        const QString text = TextRecognizer().recognize(image);
        for (const QString& word : words)
            QVERIFY2(text.contains(word, Qt::CaseInsensitive), qPrintable(word + ": " + text));
    }

    // Two columns come back as whole lines in order, joined by single line feeds.
    void readsColumnsInOrder() {
        const QStringList columns[] = {
            {"Weather forecast tomorrow", "Quarterly budget summary", "Download history"},
            {"Invoice payment overdue", "Keyboard shortcut settings", "Privacy policy update"}};
        QImage image = canvas(QSize(1000, 260), Qt::white);
        for (int i = 0; i < 3; ++i) {
            draw(image, {40, 60 + 60 * i}, columns[0][i], 15, QColor(30, 30, 30));
            draw(image, {560, 60 + 60 * i}, columns[1][i], 15, QColor(30, 30, 30));
        }
        const QString path = dir.path() + "/columns.png";
        QVERIFY(image.save(path));
        const QString text = TextIndex::recognize(path);
        QVERIFY2(!text.endsWith('\n') && !text.contains("\n\n"), qPrintable(text));
        QStringList lines = text.toLower().split(QLatin1Char('\n'));
        for (QString& line : lines)
            line = line.simplified();
        for (const QStringList& column : columns) {
            qsizetype previous = -1;
            for (const QString& line : column) {
                const qsizetype at = lines.indexOf(line.toLower());
                QVERIFY2(at > previous, qPrintable(line + " in: " + lines.join(" | ")));
                previous = at;
            }
        }
    }

    // The page is decoded within the engine's bound; no text and no image give the empty string.
    void loadingAndNothingToRead() {
        const int max = TextRecognizer::kMaxSide;
        const QString wide = dir.path() + "/wide.png";
        QVERIFY(canvas(QSize(2 * max, 300), Qt::white).save(wide));
        QCOMPARE(TextRecognizer::load(wide).size(), QSize(max, 150));
        QCOMPARE(TextRecognizer().recognize(canvas(QSize(640, 480), Qt::black)), QString());
        QCOMPARE(TextRecognizer().recognize(QImage()), QString());
        QCOMPARE(TextIndex::recognize(writeFile(dir.path() + "/text.png", "hello")), QString());
    }

    // Languages: English and the locale's, chosen codes once each, missing ones logged once.
    void languages() {
        QCOMPARE(TextRecognizer::languagesFor(QLocale("de_DE"), {"eng", "osd"}), "eng");
        QCOMPARE(TextRecognizer::languagesFor(QLocale("zh_TW"), {"eng", "chi_sim", "chi_tra"}),
                 "eng+chi_tra");
        const QStringList installed{"deu", "eng", "fra"};
        QCOMPARE(TextRecognizer::effectiveLanguages("deu+fra", installed), "deu+fra");
        QCOMPARE(TextRecognizer::effectiveLanguages("eng, deu,deu", installed), "eng+deu");
        QTest::ignoreMessage(QtWarningMsg, "Tamberk text recognition failed: no language "
                                           "data for \"qqq\"; it is left out");
        QTest::failOnWarning(QRegularExpression("qqq"));
        QCOMPARE(TextRecognizer::effectiveLanguages("eng+qqq", installed), "eng");
        QCOMPARE(TextRecognizer::effectiveLanguages("qqq", installed), "eng");
        QCOMPARE(TextRecognizer::displayName("deu"), "German");
        QCOMPARE(TextRecognizer::displayName("chi_sim"), "Chinese (Simplified)");
        QCOMPARE(TextRecognizer::displayName("frk"), "frk");
    }

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

    // A tall page's lines are read once in order, across band overlaps and cuts.
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

TAMBERK_TEST(tst_Thumbs)
TAMBERK_TEST(tst_TextRecognizer)
#include "tst_Thumbs.moc"
