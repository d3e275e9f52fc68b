#include "Media.h"
#include "TestEnv.h"
#include "content/TextIndex.h"
#include "platform/TextRecognizer.h"

#include <QFont>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <fcntl.h>
#include <tuple>
#include <unistd.h>

namespace {

QImage canvas(QSize size, QColor background) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(background);
    return image;
}

void draw(QImage& image, QPoint at, const QString& text, int px, QColor color,
          const QString& family = QStringLiteral("DejaVu Sans")) {
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
    // Two lines of low-contrast dark-theme text come back in reading order,
    // joined by one line feed with none at the end.
    void readsLinesInOrder() {
        QImage image = canvas(QSize(900, 240), QColor(28, 28, 30));
        draw(image, QPoint(40, 70), QStringLiteral("Quarterly budget summary"), 14,
             QColor(150, 150, 155), QStringLiteral("Liberation Sans"));
        draw(image, QPoint(40, 160), QStringLiteral("Invoice payment overdue"), 14,
             QColor(150, 150, 155), QStringLiteral("Liberation Sans"));
        const QString path = dir.path() + "/lines.png";
        QVERIFY(image.save(path));
        const QString text = TextIndex::recognize(path);
        const QStringList lines = text.split(QLatin1Char('\n'));
        QVERIFY2(lines.size() == 2 && lines[0].contains("budget", Qt::CaseInsensitive) &&
                     lines[1].contains("payment", Qt::CaseInsensitive),
                 qPrintable(text));
    }

    // A window with a dark sidebar beside a light page is read in both parts.
    void readsMixedThemes() {
        QImage image = canvas(QSize(1000, 300), QColor(250, 250, 250));
        QPainter(&image).fillRect(0, 0, 300, 300, QColor(35, 35, 40));
        draw(image, QPoint(30, 80), QStringLiteral("Downloads"), 16, QColor(210, 210, 210));
        draw(image, QPoint(360, 80), QStringLiteral("Weather forecast tomorrow"), 16,
             QColor(20, 20, 20));
        const QString text = TextRecognizer().recognize(image).toLower();
        QVERIFY2(text.contains(QLatin1String("downloads")) &&
                     text.contains(QLatin1String("forecast")),
                 qPrintable(text));
    }

    // Text is read whatever lies behind it: white words on coloured pills in a
    // light and a dark window, faint grey secondary text, the smallest
    // interface text.
    void readsInterfaceText_data() {
        QTest::addColumn<QColor>("page");
        QTest::addColumn<QColor>("pill"); // invalid: the words sit on the page
        QTest::addColumn<QColor>("ink");
        QTest::addColumn<int>("px");
        const QColor light(250, 250, 250), dark(30, 30, 33), white(Qt::white);
        QTest::newRow("white on pills, light") << light << QColor(10, 132, 255) << white << 13;
        QTest::newRow("white on pills, dark") << dark << QColor(52, 160, 89) << white << 13;
        QTest::newRow("grey on white") << white << QColor() << QColor(150, 150, 156) << 12;
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
            const int width = painter.fontMetrics().horizontalAdvance(word) + 24;
            const QRect box(x, 34, width, 26);
            if (pill.isValid()) {
                painter.setPen(Qt::NoPen);
                painter.setBrush(pill);
                painter.drawRoundedRect(box, 13, 13);
            }
            painter.setPen(ink);
            painter.drawText(box, Qt::AlignCenter, word);
            x += width + 14;
        }
        painter.end();
        const QString text = TextRecognizer().recognize(image);
        for (const QString& word : words)
            QVERIFY2(text.contains(word, Qt::CaseInsensitive), qPrintable(word + ": " + text));
    }

    // Two columns side by side come back as whole lines: no line takes words
    // of the other column, and each column keeps its lines top to bottom.
    void readsColumnsInOrder() {
        const QStringList left{"Weather forecast tomorrow", "Quarterly budget summary",
                               "Download history"};
        const QStringList right{"Invoice payment overdue", "Keyboard shortcut settings",
                                "Privacy policy update"};
        QImage image = canvas(QSize(1000, 260), Qt::white);
        for (int i = 0; i < 3; ++i) {
            draw(image, QPoint(40, 60 + 60 * i), left[i], 15, QColor(30, 30, 30));
            draw(image, QPoint(560, 60 + 60 * i), right[i], 15, QColor(30, 30, 30));
        }
        const QStringList lines = TextRecognizer().recognize(image).split(QLatin1Char('\n'));
        const auto lineOf = [&](const QString& wanted) {
            for (int i = 0; i < lines.size(); ++i) {
                if (lines[i].simplified().compare(wanted, Qt::CaseInsensitive) == 0)
                    return i;
            }
            return -1;
        };
        for (const QStringList& column : {left, right}) {
            int previous = -1;
            for (const QString& line : column) {
                const int at = lineOf(line);
                QVERIFY2(at > previous, qPrintable(line + " in: " + lines.join(" | ")));
                previous = at;
            }
        }
    }

    // Images without text and files that are no images give the empty string.
    void nothingToRead() {
        QCOMPARE(TextRecognizer().recognize(canvas(QSize(640, 480), Qt::black)), QString());
        QCOMPARE(TextRecognizer().recognize(QImage()), QString());
        QCOMPARE(TextIndex::recognize(writeFile(dir.path() + "/text.png", "hello world")),
                 QString());
    }

    // Decoding bounds the longest side to 2600 pixels and applies the orientation.
    void loadBoundsAndOrients() {
        const QString wide = dir.path() + "/wide.png";
        QVERIFY(canvas(QSize(5200, 300), Qt::white).save(wide));
        QCOMPARE(TextRecognizer::load(wide).size(), QSize(2600, 150));
        const QString turned = writeFile(dir.path() + "/turned.jpg",
                                         Media::turnedJpeg(canvas(QSize(400, 100), Qt::white), 6));
        QCOMPARE(TextRecognizer::load(turned).size(), QSize(100, 400));
    }

    // English always; the locale's language joins it when its data exists.
    void languages() {
        const std::tuple<const char*, QStringList, const char*> cases[] = {
            {"de_DE", {"eng", "osd"}, "eng"},
            {"zh_TW", {"eng", "chi_sim", "chi_tra"}, "eng+chi_tra"}};
        for (const auto& [locale, available, expected] : cases)
            QCOMPARE(TextRecognizer::languagesFor(QLocale(locale), available), expected);
    }

    // The chosen codes the engine loads: installed ones in the given order,
    // each once; a missing one is left out with one log line, ever.
    void chosenLanguages_data() {
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<QString>("loaded");
        QTest::newRow("plus-joined") << "deu+fra"
                                     << "deu+fra";
        QTest::newRow("commas, twice") << "eng, deu,deu"
                                       << "eng+deu";
        QTest::newRow("one missing") << "eng+qqq"
                                     << "eng";
        QTest::newRow("all missing") << "qqq"
                                     << "eng";
    }
    void chosenLanguages() {
        QFETCH(QString, wanted);
        QFETCH(QString, loaded);
        static bool logged = false;
        if (wanted.contains("qqq") && !std::exchange(logged, true))
            QTest::ignoreMessage(QtWarningMsg, "Tamberk text recognition failed: no language "
                                               "data for \"qqq\"; it is left out");
        QTest::failOnWarning(QRegularExpression("qqq"));
        QCOMPARE(TextRecognizer::effectiveLanguages(wanted, {"deu", "eng", "fra"}), loaded);
    }

    // Languages are offered by their names; an unknown code by itself.
    void languageNames() {
        const std::pair<const char*, const char*> cases[] = {{"eng", "English"},
                                                             {"deu", "German"},
                                                             {"fra", "French"},
                                                             {"chi_sim", "Chinese (Simplified)"},
                                                             {"frk", "frk"}};
        for (const auto& [code, name] : cases)
            QCOMPARE(TextRecognizer::displayName(code), QString::fromLatin1(name));
    }
};

TAMBERK_TEST(tst_TextRecognizer)
#include "tst_TextRecognizer.moc"
