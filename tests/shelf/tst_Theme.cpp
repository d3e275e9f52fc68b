#include "TestEnv.h"
#include "shelf/Theme.h"

#include <QDirIterator>
#include <QPainter>
#include <QProcess>
#include <QRawFont>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

namespace {

// Symbol names in the sources: lower-case dotted literals in calls that take a symbol.
QSet<QString> symbolNamesUsedInSources() {
    static const QRegularExpression call("\\b(paintSymbol|symbolIcon|symbolPath|symbol|IconButton|"
                                         "BlockItem|setSymbol)\\s*[({][^;]*");
    static const QRegularExpression literal("\"([a-z][a-z0-9]*(?:\\.[a-z0-9]+)*)\"");
    QSet<QString> names;
    QDirIterator it(TAMBERK_SOURCE_DIR "/src", {"*.cpp", "*.h"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        file.open(QIODevice::ReadOnly);
        for (auto m = call.globalMatch(QString::fromUtf8(file.readAll())); m.hasNext();)
            for (auto l = literal.globalMatch(m.next().captured()); l.hasNext();)
                names.insert(l.next().captured(1));
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

    // Fonts in device-independent pixels; caps upper-cased, kerned after every letter.
    void textStyles() {
        QImage image(10, 10, QImage::Format_ARGB32_Premultiplied);
        for (const auto& [f, size, weight] :
             {std::tuple{Theme::font(12.5), 12.5, QFont::Normal},
              {Theme::monoFont(10.5, QFont::DemiBold), 10.5, QFont::DemiBold}}) {
            QPainter p(&image);
            p.setFont(f);
            QCOMPARE(QFontInfo(p.font()).pixelSize(), qRound(size));
            QVERIFY(qAbs(f.pointSizeF() * image.logicalDpiY() / 72.0 - size) < 0.01);
            QCOMPARE(f.weight(), weight);
        }
        const Theme::Caps c = Theme::caps("  Tamberk", 10.5, QFont::DemiBold, Theme::ink(), 2.6);
        QCOMPARE(c.text, QStringLiteral("  TAMBERK"));
        QVERIFY(c.color == Theme::ink() && c.font.fixedPitch());
        QFont plain = c.font;
        plain.setLetterSpacing(QFont::AbsoluteSpacing, 0);
        const double unspaced = QFontMetricsF(plain).horizontalAdvance(c.text);
        QVERIFY(qAbs(c.size().width() - unspaced - 2.6 * c.text.size()) < 0.5);
    }

    // Today's local time as HH:mm, other days as day and upper-cased month.
    void stampFormats() {
        const QDate today(2026, 12, 5);
        const QDateTime now(today, QTime(16, 0));
        QCOMPARE(Theme::stamp(QDateTime(today, QTime(0, 0)), now), QStringLiteral("00:00"));
        QCOMPARE(Theme::stamp(QDateTime(today.addDays(-1), QTime(23, 59)), now), "4 DEC");
        QCOMPARE(Theme::stamp(QDateTime(today.addYears(-1), QTime(12, 0)), now), "5 DEC");
        QCOMPARE(Theme::stamp(QDateTime(today, QTime(11, 30)).toUTC(), now), "11:30");
    }

    // KDE's or GNOME's accent (the session's first), bad values skipped, then a dark palette.
    void accent() {
        if (m_withKey.isEmpty() || m_withoutKey.isEmpty())
            QSKIP("glib-compile-schemas is not available");
        const QColor highlight(0x12, 0x34, 0x56), kde(10, 20, 30), teal(0x21, 0x90, 0xa4),
            fallback = Theme::fallbackAccent();
        const auto kdeFile = [](const char* value) {
            return "[Colors:View]\nAccentColor=1,2,3\n[General]\nAccentColor=" + QByteArray(value) +
                   "\n";
        };
        const QByteArray none, t("'teal'");
        // kdeglobals (null: none), schema has the key, GNOME's (empty: unset), GNOME first, result.
        const std::tuple<QByteArray, bool, QByteArray, bool, QColor> cases[] = {
            {kdeFile("10,20,30"), false, none, false, kde},
            {kdeFile("233,61,84,255"), false, none, false, QColor(233, 61, 84)},
            {kdeFile("#ff8800"), false, none, false, QColor(0xff, 0x88, 0x00)},
            {kdeFile("300,0,0"), false, none, false, highlight},
            {kdeFile("blue-ish"), false, none, false, highlight},
            {none, true, t, true, teal},
            {none, true, none, true, QColor(0x3584e4)}, // the schema's default
            {none, true, "'mauve'", true, fallback},
            {none, false, t, true, fallback}, // an older schema without the key
            {kdeFile("10,20,30"), true, t, true, teal},
            {kdeFile("10,20,30"), true, t, false, kde},
            {kdeFile("10,20,30"), false, t, true, kde}};
        for (const auto& [kdeglobals, schemaHasKey, gnome, gnomeFirst, expected] : cases) {
            QTemporaryDir dir;
            QPalette desktop;
            desktop.setColor(QPalette::Window, QColor(gnomeFirst ? 0xf0f0f0 : 0x202020));
            desktop.setColor(QPalette::Highlight, highlight);
            const Theme::AccentSources sources{dir.path(), schemaHasKey ? m_withKey : m_withoutKey,
                                               dir.filePath(QStringLiteral("dconf.ini")),
                                               gnomeFirst, desktop};
            if (!kdeglobals.isNull())
                writeFile(dir.filePath(QStringLiteral("kdeglobals")), kdeglobals);
            QByteArray keyFile("[org/gnome/desktop/interface]\ncolor-scheme='prefer-dark'\n");
            if (!gnome.isEmpty())
                keyFile += "accent-color=" + gnome + "\n";
            writeFile(sources.gnomeKeyFile, keyFile);
            QCOMPARE(Theme::resolveAccent(sources), expected);
        }
    }

    // The session's accent follows kdeglobals in the user's config folder once it is re-read.
    void accentOfTheSession() {
        const QByteArray desktop = qgetenv("XDG_CURRENT_DESKTOP");
        qputenv("XDG_CURRENT_DESKTOP", "KDE");
        const QString path =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/kdeglobals";
        writeFile(path, "[General]\nAccentColor=146,110,228\n");
        Theme::reloadAccent();
        QCOMPARE(Theme::accent(), QColor(146, 110, 228));
        writeFile(path, "[General]\nAccentColor=233,100,58\n");
        QCOMPARE(Theme::accent(), QColor(146, 110, 228)); // kept until re-read
        Theme::reloadAccent();
        QCOMPARE(Theme::accent(), QColor(233, 100, 58));
        QFile::remove(path);
        qputenv("XDG_CURRENT_DESKTOP", desktop);
        Theme::reloadAccent();
    }

    // Fusion, dark, the accent as selection; selected text readable (dark on bright accents).
    void applicationStyle() {
        auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
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
            QVERIFY(active > 0.8 && disabled < active && disabled > 0.35);
        }
        QCOMPARE(Theme::darkPalette(QColor(0x7f, 0xff, 0x00)).color(QPalette::HighlightedText),
                 QColor(Qt::black));
        QCOMPARE(Theme::darkPalette(QColor(0x0a, 0x84, 0xff)).color(QPalette::HighlightedText),
                 QColor(Qt::white));
        // The accent at an alpha multiplies the accent's own alpha and keeps its hue.
        QCOMPARE(Theme::accentCG(0.5).rgb(), Theme::accent().rgb());
        QVERIFY(qAbs(Theme::accentCG(0.5).alphaF() - Theme::accent().alphaF() * 0.5) < 0.01);
    }

    // Every symbol named in the sources has a row, and every row draws a glyph of the font.
    void symbolTableCoversTheSources() {
        QVERIFY2(!Theme::symbolFontFamily().isEmpty(), "the symbol font did not load");
        QSet<QString> table;
        for (const Theme::Symbol& s : Theme::symbolTable()) {
            QVERIFY2(!table.contains(QLatin1String(s.name)), s.name);
            table.insert(QLatin1String(s.name));
        }
        const QSet<QString> used = symbolNamesUsedInSources();
        QVERIFY2(used.size() >= 10, "the scan found too few names"); // one finding none passes
        for (const QString& name : used)
            QVERIFY2(table.contains(name), qPrintable(name + " has no row in the symbol table"));

        const QRawFont raw(Theme::symbolFontPath(), 24);
        QVERIFY(raw.isValid());
        for (const Theme::Symbol& s : Theme::symbolTable()) {
            QVERIFY2(raw.supportsCharacter(QChar(s.codepoint)), s.name);
            QVERIFY2(!Theme::symbolPath(QString::fromLatin1(s.name), 12).isEmpty(), s.name);
        }
        QVERIFY(!Theme::symbol(u"no.such.symbol"));
        QVERIFY(Theme::symbolIcon(u"no.such.symbol").isNull());
        QVERIFY(Theme::symbolPixmap(u"no.such.symbol", 9, Qt::white).isNull());
    }

    // Centred at about its size in its colour, thicker when heavier; images sharp at their ratio.
    void symbolsDraw() {
        const auto painted = [](QFont::Weight weight) {
            QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter p(&image);
            Theme::paintSymbol(p, QRectF(0, 0, 40, 40), u"plus", 24, Qt::red, weight);
            return image;
        };
        const QImage image = painted(QFont::Normal);
        const auto [bounds, area] = ink(image, 128);
        QVERIFY(qAbs(bounds.center().x() - 19.5) <= 1.5 && qAbs(bounds.center().y() - 19.5) <= 1.5);
        QVERIFY2(bounds.width() >= 16 && bounds.width() <= 22,
                 qPrintable(QString::number(bounds.width())));
        QCOMPARE(image.pixel(bounds.center()), qRgb(255, 0, 0));
        QVERIFY(ink(painted(QFont::DemiBold), 128).second > area);
        const QPixmap lo = Theme::symbolPixmap(u"photo", 9, Theme::ink3()),
                      hi = Theme::symbolPixmap(u"photo", 9, Theme::ink3(), QFont::Normal, 2);
        QVERIFY(hi.size() == lo.size() * 2 && hi.devicePixelRatio() == 2);
        QVERIFY(ink(hi.toImage(), 0).second > hi.width() * hi.height() / 4);
    }

    // The film glyph cuts the window and the holes out of the frame.
    void filmGlyphCutsHoles() {
        const QImage image = Theme::filmGlyph(36, Qt::white, 2);
        QCOMPARE(image.size(), QSize(72, 72));
        // In units of a 1/18 side, y growing upwards: frame, window, hole, between holes.
        for (const auto& [x, y, filled] :
             {std::tuple{6.2, 9.0, true}, {9.0, 9.0, false}, {5.35, 3.3, false}, {5.35, 5.2, true}})
            QCOMPARE(qAlpha(image.pixel(int(x * 4), int(72 - y * 4))) > 128, filled);
    }

private:
    QTemporaryDir m_schemas;
    QString m_withKey, m_withoutKey;
};

TAMBERK_TEST(tst_Theme)
#include "tst_Theme.moc"
