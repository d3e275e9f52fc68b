#include "TestEnv.h"
#include "shelf/Theme.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QProcess>
#include <QRawFont>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

namespace {

// Symbol names passed as literals to the functions and constructors that take
// one. A symbol name is a lower-case dotted word ("pin.fill"), which no UI
// text is.
QSet<QString> symbolNamesIn(const QString& text) {
    static const QRegularExpression call(QStringLiteral(
        "\\b(paintSymbol|symbolIcon|symbolPath|symbol|IconButton|BlockItem|setSymbol)\\s*[({]"));
    static const QRegularExpression literal(
        QStringLiteral("\"([a-z][a-z0-9]*(?:\\.[a-z0-9]+)*)\""));
    QSet<QString> names;
    for (auto m = call.globalMatch(text); m.hasNext();) {
        const auto hit = m.next();
        // The argument list runs to the bracket that closes the opening one.
        const QChar open = text.at(hit.capturedEnd() - 1);
        const QChar close = open == QLatin1Char('(') ? QLatin1Char(')') : QLatin1Char('}');
        int depth = 1, end = hit.capturedEnd();
        for (; end < text.size() && depth > 0; ++end) {
            if (text.at(end) == open)
                ++depth;
            else if (text.at(end) == close)
                --depth;
        }
        const QString args = text.mid(hit.capturedEnd(), end - hit.capturedEnd());
        for (auto l = literal.globalMatch(args); l.hasNext();)
            names.insert(l.next().captured(1));
    }
    return names;
}

// The symbol names used anywhere in the source tree.
QSet<QString> symbolNamesUsedInSources() {
    QSet<QString> names;
    QDirIterator it(QStringLiteral(TAMBERK_SOURCE_DIR "/src"), {"*.cpp", "*.h"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            names += symbolNamesIn(QString::fromUtf8(file.readAll()));
    }
    return names;
}

QString writeSchema(const QString& dir, bool withAccentKey) {
    QDir().mkpath(dir);
    const QString accentKey = withAccentKey ? QStringLiteral(R"(
    <key name="accent-color" type="s"><default>'blue'</default></key>)")
                                            : QString();
    const QString xml = QStringLiteral(R"(<schemalist>
  <schema id="org.gnome.desktop.interface" path="/org/gnome/desktop/interface/">
    <key name="color-scheme" type="s"><default>'default'</default></key>%1
  </schema>
</schemalist>
)")
                            .arg(accentKey);
    writeFile(dir + QStringLiteral("/org.gnome.desktop.interface.gschema.xml"), xml.toUtf8());
    QProcess compile;
    compile.start(QStringLiteral("glib-compile-schemas"), {dir});
    if (!compile.waitForFinished(30000) || compile.exitCode() != 0)
        return {};
    return dir;
}

// The pixels of `image` more opaque than `threshold`: their bounds and their number.
std::pair<QRect, int> ink(const QImage& image, int threshold) {
    QRect bounds;
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > threshold) {
                bounds |= QRect(x, y, 1, 1);
                ++n;
            }
        }
    }
    return {bounds, n};
}

QPalette paletteWith(const QColor& window, const QColor& highlight) {
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::Highlight, highlight);
    return p;
}

} // namespace

class tst_Theme : public QObject {
    Q_OBJECT
private slots:
    // The two schemas, with and without the accent key, compiled once.
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        m_withKey = writeSchema(m_schemas.filePath(QStringLiteral("with")), true);
        m_withoutKey = writeSchema(m_schemas.filePath(QStringLiteral("without")), false);
    }
    void cleanupTestCase() { QLocale::setDefault(QLocale::system()); }

    // Font sizes are device-independent pixels, including half pixels.
    void fontSizesArePixels_data() {
        QTest::addColumn<double>("size");
        QTest::addColumn<bool>("mono");
        QTest::newRow("system 12.5") << 12.5 << false;
        QTest::newRow("mono 10.5") << 10.5 << true;
    }
    void fontSizesArePixels() {
        QFETCH(double, size);
        QFETCH(bool, mono);
        const QFont f = mono ? Theme::monoFont(size, QFont::DemiBold) : Theme::font(size);
        QImage image(10, 10, QImage::Format_ARGB32_Premultiplied);
        QPainter p(&image);
        p.setFont(f);
        QCOMPARE(QFontInfo(p.font()).pixelSize(), qRound(size));
        QVERIFY(qAbs(f.pointSizeF() * image.logicalDpiY() / 72.0 - size) < 0.01);
        QCOMPARE(f.weight(), mono ? QFont::DemiBold : QFont::Normal);
    }

    // Caps are upper-cased before styling and carry the kerning after every letter.
    void capsSpacing_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<double>("kern");
        QTest::newRow("brand") << "Tamberk"
                               << "TAMBERK" << 2.6;
        QTest::newRow("selected") << "  selected"
                                  << "  SELECTED" << 1.2;
        QTest::newRow("no kern") << "End of roll"
                                 << "END OF ROLL" << 0.0;
    }
    void capsSpacing() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(double, kern);
        const Theme::Caps c = Theme::caps(text, 10.5, QFont::DemiBold, Theme::ink(), kern);
        QCOMPARE(c.text, shown);
        QCOMPARE(c.color, Theme::ink());
        QVERIFY(c.font.fixedPitch());
        QFont plain = c.font;
        plain.setLetterSpacing(QFont::AbsoluteSpacing, 0);
        const double unspaced = QFontMetricsF(plain).horizontalAdvance(shown);
        QVERIFY2(qAbs(c.size().width() - unspaced - kern * shown.size()) < 0.5,
                 qPrintable(QStringLiteral("%1 vs %2").arg(c.size().width()).arg(unspaced)));
    }

    // A caption shows 24-hour hours and minutes for today, else day and upper-cased month.
    void stampFormats_data() {
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QString>("expected");
        const QDate today(2026, 12, 5);
        QTest::newRow("early morning") << QDateTime(today, QTime(3, 9)) << "03:09";
        QTest::newRow("afternoon") << QDateTime(today, QTime(15, 42, 59)) << "15:42";
        QTest::newRow("midnight") << QDateTime(today, QTime(0, 0)) << "00:00";
        QTest::newRow("yesterday late") << QDateTime(today.addDays(-1), QTime(23, 59)) << "4 DEC";
        QTest::newRow("a year ago") << QDateTime(today.addYears(-1), QTime(12, 0)) << "5 DEC";
        QTest::newRow("tomorrow") << QDateTime(today.addDays(1), QTime(0, 1)) << "6 DEC";
        QTest::newRow("as utc") << QDateTime(today, QTime(11, 30)).toUTC() << "11:30";
    }
    void stampFormats() {
        QFETCH(QDateTime, date);
        QFETCH(QString, expected);
        const QDateTime now(QDate(2026, 12, 5), QTime(16, 0));
        QCOMPARE(Theme::stamp(date, now), expected);
    }

    // The KDE accent is read from kdeglobals, bad values falling through to the
    // next source; GNOME's named accent only when the schema has the key; the
    // session's desktop decides which desktop setting wins; a dark desktop
    // palette's highlight comes last, a light one's is no accent source.
    void accent_data() {
        QTest::addColumn<QByteArray>("kdeglobals"); // null: no file
        QTest::addColumn<bool>("schemaHasKey");
        QTest::addColumn<QByteArray>("gnome"); // empty: no accent key set
        QTest::addColumn<bool>("gnomeFirst");
        QTest::addColumn<bool>("darkDesktop");
        QTest::addColumn<QColor>("expected");
        const QColor highlight(0x12, 0x34, 0x56), kde(10, 20, 30), teal(0x21, 0x90, 0xa4),
            fallback = Theme::fallbackAccent();
        const QByteArray kdeRgb("[General]\nAccentColor=10,20,30\n"), none;
        QTest::newRow("kde rgb") << kdeRgb << false << none << false << true << kde;
        QTest::newRow("kde rgba") << QByteArray("[General]\nAccentColor=233,61,84,255\n") << false
                                  << none << false << true << QColor(233, 61, 84);
        QTest::newRow("kde hex") << QByteArray("[Colors:View]\nAccentColor=1,2,3\n[General]\n"
                                               "AccentColor=#ff8800\n")
                                 << false << none << false << true << QColor(0xff, 0x88, 0x00);
        QTest::newRow("kde other group only") << QByteArray("[Colors:View]\nAccentColor=1,2,3\n")
                                              << false << none << false << true << highlight;
        QTest::newRow("kde out of range") << QByteArray("[General]\nAccentColor=300,0,0\n") << false
                                          << none << false << true << highlight;
        QTest::newRow("kde garbage") << QByteArray("[General]\nAccentColor=blue-ish\n") << false
                                     << none << false << true << highlight;
        QTest::newRow("no kde file") << none << false << none << false << true << highlight;
        const QByteArray t("'teal'");
        QTest::newRow("gnome teal") << none << true << t << true << false << teal;
        QTest::newRow("gnome schema default")
            << none << true << none << true << false << QColor(0x35, 0x84, 0xe4);
        QTest::newRow("gnome unknown name")
            << none << true << QByteArray("'mauve'") << true << false << fallback;
        QTest::newRow("older gnome schema") << none << false << t << true << false << fallback;
        QTest::newRow("gnome wins on gnome") << kdeRgb << true << t << true << false << teal;
        QTest::newRow("kde wins elsewhere") << kdeRgb << true << t << false << false << kde;
        QTest::newRow("kde when gnome has none") << kdeRgb << false << t << true << false << kde;
    }
    void accent() {
        QFETCH(QByteArray, kdeglobals);
        QFETCH(bool, schemaHasKey);
        QFETCH(QByteArray, gnome);
        QFETCH(bool, gnomeFirst);
        QFETCH(bool, darkDesktop);
        QFETCH(QColor, expected);
        QTemporaryDir dir;
        Theme::AccentSources sources;
        sources.configHome = dir.path();
        if (!kdeglobals.isNull())
            writeFile(dir.filePath(QStringLiteral("kdeglobals")), kdeglobals);
        sources.gnomeSchemaDir = schemaHasKey ? m_withKey : m_withoutKey;
        if (sources.gnomeSchemaDir.isEmpty())
            QSKIP("glib-compile-schemas is not available");
        sources.gnomeKeyFile = dir.filePath(QStringLiteral("dconf.ini"));
        QByteArray keyFile("[org/gnome/desktop/interface]\ncolor-scheme='prefer-dark'\n");
        if (!gnome.isEmpty())
            keyFile += "accent-color=" + gnome + "\n";
        writeFile(sources.gnomeKeyFile, keyFile);
        sources.gnomeFirst = gnomeFirst;
        sources.systemPalette =
            paletteWith(darkDesktop ? QColor(0x20, 0x20, 0x20) : QColor(0xf0, 0xf0, 0xf0),
                        QColor(0x12, 0x34, 0x56));
        QCOMPARE(Theme::resolveAccent(sources), expected);
    }

    // The session's accent follows kdeglobals in the user's config folder once it is re-read.
    void accentOfTheSession() {
        const QByteArray desktop = qgetenv("XDG_CURRENT_DESKTOP");
        qputenv("XDG_CURRENT_DESKTOP", "KDE");
        const QString config =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        const QString path = config + QStringLiteral("/kdeglobals");
        writeFile(path, "[General]\nAccentColor=146,110,228\n");
        Theme::reloadAccent();
        QCOMPARE(Theme::accent(), QColor(146, 110, 228));
        writeFile(path, "[General]\nAccentColor=233,100,58\n");
        QCOMPARE(Theme::accent(), QColor(146, 110, 228)); // kept until re-read
        Theme::reloadAccent();
        QCOMPARE(Theme::accent(), QColor(233, 100, 58));
        QFile::remove(path);
        Theme::reloadAccent();
        QVERIFY(Theme::accent() != QColor(233, 100, 58));
        qputenv("XDG_CURRENT_DESKTOP", desktop);
        Theme::reloadAccent();
    }

    // Menus and dialogs get Fusion with a dark palette whose selection is the accent.
    void applicationStyle() {
        auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
        QVERIFY(app);
        const QString oldStyle = QApplication::style()->name();
        const QPalette oldPalette = QApplication::palette();
        Theme::applyApplicationStyle(*app);
        const QPalette p = QApplication::palette();
        const QString style = QApplication::style()->name();
        QApplication::setStyle(QStyleFactory::create(oldStyle));
        QApplication::setPalette(oldPalette);

        QCOMPARE(style.toLower(), QStringLiteral("fusion"));
        QCOMPARE(p.color(QPalette::Active, QPalette::Highlight).rgb(), Theme::accent().rgb());
        QVERIFY(p.color(QPalette::Active, QPalette::Window).lightnessF() < 0.25);
        QVERIFY(p.color(QPalette::Active, QPalette::Base).lightnessF() < 0.25);
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
            const double active = p.color(QPalette::Active, role).lightnessF();
            const double disabled = p.color(QPalette::Disabled, role).lightnessF();
            QVERIFY(active > 0.8);
            QVERIFY(disabled < active && disabled > 0.35);
        }
        // Text on a selection stays readable whatever the accent: dark on bright accents.
        const std::vector<std::pair<QColor, QColor>> cases{
            {QColor(Qt::yellow), QColor(Qt::black)},
            {QColor(0x7f, 0xff, 0x00), QColor(Qt::black)},
            {QColor(0x1a, 0x23, 0x7e), QColor(Qt::white)},
            {QColor(0x0a, 0x84, 0xff), QColor(Qt::white)},
        };
        for (const auto& [accent, text] : cases)
            QCOMPARE(Theme::darkPalette(accent).color(QPalette::HighlightedText), text);
    }

    // The accent at an alpha multiplies the accent's own alpha and keeps its hue.
    void accentAlpha() {
        const QColor a = Theme::accentCG(0.5);
        QCOMPARE(a.rgb(), Theme::accent().rgb());
        QVERIFY(qAbs(a.alphaF() - Theme::accent().alphaF() * 0.5) < 0.01);
    }

    // Every symbol named in the sources has a row, and every row draws a glyph of the font.
    void symbolTableCoversTheSources() {
        QVERIFY2(!Theme::symbolFontFamily().isEmpty(), "the symbol font did not load");
        QSet<QString> table;
        for (const Theme::Symbol& s : Theme::symbolTable()) {
            QVERIFY2(!table.contains(QLatin1String(s.name)), s.name);
            table.insert(QLatin1String(s.name));
        }
        // The scan itself finds names across lines and nested calls, and skips UI texts.
        const QSet<QString> sample = symbolNamesIn(QStringLiteral(
            "auto* b = new IconButton(QStringLiteral(\"pin.fill\"), 24, 12,\n"
            "    QFont::Normal, Theme::ink2(), Theme::ink(), {}, Theme::fill2(), 6, tr(\"Keep "
            "open\"));\n"
            "menu->addAction(new BlockItem(tr(\"Rename\u2026\"), u\"pencil\"_s, {}, [] {}));\n"
            "Theme::paintSymbol(p, r, \"trash\", 10.5, c); prefs.value(\"t2.side\");"));
        QCOMPARE(sample, QSet<QString>({"pin.fill", "pencil", "trash"}));

        const QSet<QString> used = symbolNamesUsedInSources();
        for (const QString& name : used)
            QVERIFY2(table.contains(name), qPrintable(name + " has no row in the symbol table"));

        const QRawFont raw(Theme::symbolFontPath(), 24);
        QVERIFY(raw.isValid());
        for (const Theme::Symbol& s : Theme::symbolTable()) {
            QVERIFY2(raw.supportsCharacter(QChar(s.codepoint)), s.name);
            QVERIFY2(!Theme::symbolPath(QString::fromLatin1(s.name), 12).isEmpty(), s.name);
        }
        QVERIFY(!Theme::symbol(u"no.such.symbol"));
        QVERIFY(Theme::symbolPath(u"no.such.symbol", 12).isEmpty());
        QVERIFY(Theme::symbolIcon(u"no.such.symbol").isNull());
    }

    // A symbol is drawn centred in its rectangle at about its point size, in its colour.
    void paintSymbolPlacesTheGlyph() {
        QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            Theme::paintSymbol(p, QRectF(0, 0, 40, 40), u"plus", 24, Qt::red);
        }
        const QRect ink = ::ink(image, 128).first;
        QVERIFY(!ink.isEmpty());
        QVERIFY2(
            qAbs(ink.center().x() - 19.5) <= 1.5 && qAbs(ink.center().y() - 19.5) <= 1.5,
            qPrintable(QStringLiteral("ink at %1,%2").arg(ink.center().x()).arg(ink.center().y())));
        QVERIFY2(ink.width() >= 16 && ink.width() <= 22, qPrintable(QString::number(ink.width())));
        const QColor middle = QColor::fromRgba(image.pixel(ink.center()));
        QCOMPARE(middle.alpha(), 255);
        QCOMPARE(middle.red(), 255);
        QCOMPARE(middle.green(), 0);
    }

    // A symbol image is as wide as the symbol's em at its ratio and carries the glyph.
    void symbolPixmapSize_data() {
        QTest::addColumn<double>("point");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<int>("devicePixels");
        QTest::newRow("footer small photo") << 9.0 << 1.0 << 12;
        QTest::newRow("empty state") << 26.0 << 2.0 << 70;
    }
    void symbolPixmapSize() {
        QFETCH(double, point);
        QFETCH(double, ratio);
        QFETCH(int, devicePixels);
        const QPixmap pm =
            Theme::symbolPixmap(u"photo", point, Theme::ink3(), QFont::Medium, ratio);
        QCOMPARE(pm.size(), QSize(devicePixels, devicePixels));
        QCOMPARE(pm.devicePixelRatio(), ratio);
        QVERIFY(ink(pm.toImage(), 0).second > devicePixels * devicePixels / 4);
        QVERIFY(Theme::symbolPixmap(u"no.such.symbol", point, Qt::white).isNull());
    }

    // A heavier weight draws a thicker symbol than the regular one.
    void symbolWeightThickens() {
        const auto area = [](const QPainterPath& path) {
            QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter p(&image);
            p.translate(32, 32);
            p.fillPath(path, Qt::white);
            p.end();
            return ink(image, 128).second;
        };
        const int regular = area(Theme::symbolPath(u"xmark", 24));
        const int semibold = area(Theme::symbolPath(u"xmark", 24, QFont::DemiBold));
        QVERIFY2(semibold > regular,
                 qPrintable(QStringLiteral("%1 %2").arg(semibold).arg(regular)));
    }

    // The film glyph cuts the window and the holes out of the frame.
    void filmGlyphCutsHoles_data() {
        QTest::addColumn<QPointF>("point"); // in units of side / 18, y growing upwards
        QTest::addColumn<bool>("filled");
        QTest::newRow("frame between holes and window") << QPointF(6.2, 9) << true;
        QTest::newRow("window") << QPointF(9, 9) << false;
        QTest::newRow("hole low left") << QPointF(5.35, 3.3) << false;
        QTest::newRow("hole high right") << QPointF(12.6, 14.1) << false;
        QTest::newRow("between holes") << QPointF(5.35, 5.2) << true;
        QTest::newRow("outside left") << QPointF(3.5, 9) << false;
        QTest::newRow("bottom edge strip") << QPointF(9, 2.5) << true;
    }
    void filmGlyphCutsHoles() {
        QFETCH(QPointF, point);
        QFETCH(bool, filled);
        const double side = 36, u = side / 18;
        const QPainterPath path = Theme::filmGlyphPath(side);
        QCOMPARE(path.fillRule(), Qt::OddEvenFill);
        const QPointF topDown(point.x() * u, side - point.y() * u);
        QCOMPARE(path.contains(topDown), filled);
        const QImage image = Theme::filmGlyph(side, Qt::white, 2);
        QCOMPARE(image.size(), QSize(72, 72));
        const QPoint px = (topDown * 2).toPoint();
        QCOMPARE(qAlpha(image.pixel(px)) > 128, filled);
    }

    // The card mask is 2r + 2 square with rounded corners and a solid middle.
    void maskImageShape() {
        const QImage mask = Theme::maskImage(10, 2);
        QCOMPARE(mask.size(), QSize(44, 44));
        QCOMPARE(mask.devicePixelRatio(), 2.0);
        QCOMPARE(qAlpha(mask.pixel(22, 22)), 255);
        QCOMPARE(qAlpha(mask.pixel(22, 0)), 255);
        QCOMPARE(qAlpha(mask.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(mask.pixel(43, 43)), 0);
    }

private:
    QTemporaryDir m_schemas;
    QString m_withKey, m_withoutKey;
};

TAMBERK_TEST(tst_Theme)
#include "tst_Theme.moc"
