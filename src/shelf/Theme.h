#pragma once

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QSizeF>
#include <QString>
#include <optional>
#include <span>

class QApplication;
class QPainter;

/// The shared look of the shelf, the edge tab and the thumbnail cells: a fixed
/// palette for a dark translucent card, the spaced-capitals caption style, the
/// frame caption time, the accent colour, the symbols and the film glyph.
///
/// Sizes. Every size here and in the views (geometry, font sizes, symbol sizes)
/// is in device-independent pixels, so a "10.5" font is 10.5 pixels tall at a
/// device pixel ratio of 1 and 21 device pixels at 2. Qt's own points are 1/72
/// inch, four thirds of a pixel at 96 dpi; the fonts below are converted
/// through the logical dpi so that the desktop's font dpi setting cannot make
/// text overflow the fixed geometry around it.
namespace Theme {

// Palette. Text and line colours are white at some opacity over the dark card.
const QColor& ink();    ///< primary text and lit icons
const QColor& ink2();   ///< secondary text and resting icons
const QColor& ink3();   ///< tertiary text: counters, placeholders
const QColor& ink4();   ///< faint text and icons: captions, empty-state icon
const QColor& hair();   ///< hairlines: separators, the search box border
const QColor& fill();   ///< resting fill of chips and the search box
const QColor& fill2();  ///< hover fill of chips and buttons, the chip divider
const QColor& perf();   ///< perforation holes
const QColor& base();   ///< tint over the card's blur
const QColor& danger(); ///< destructive actions

/// `color` with its alpha multiplied by `alpha`.
QColor withAlpha(const QColor& color, double alpha);

// Fonts.
/// The system font at `size` pixels.
QFont font(double size, QFont::Weight weight = QFont::Normal);
/// The monospaced system font at `size` pixels.
QFont monoFont(double size, QFont::Weight weight = QFont::Normal);

/// Spaced capitals: a text upper-cased, in the monospaced font, with extra
/// space after every letter. A value to measure and paint; labels show it too.
struct Caps {
    QString text; // already upper-cased
    QFont font;   // letter spacing included
    QColor color;
    double kern = 0;

    /// The advance of the whole text (trailing spacing included) and the line height.
    QSizeF size() const;
    /// Paints the text with its top-left at `topLeft`.
    void paint(QPainter& painter, const QPointF& topLeft) const;
    /// Paints the text inside `rect` with `alignment`, eliding nothing.
    void paint(QPainter& painter, const QRectF& rect, Qt::Alignment alignment) const;
};

Caps caps(const QString& text, double size, QFont::Weight weight, const QColor& color, double kern);

/// The caption of a frame taken at `date`: "HH:mm" when `date` lies in the
/// local calendar day of `now`, else "d MMM" in the default locale upper-cased
/// ("5 DEC").
QString stamp(const QDateTime& date, const QDateTime& now = QDateTime::currentDateTime());

// Accent colour.
/// Where the accent colour may come from, in order of preference.
struct AccentSources {
    QString configHome;     // holds kdeglobals
    QString gnomeSchemaDir; // empty: the system's schemas
    QString gnomeKeyFile;   // empty: the system's settings backend
    bool gnomeFirst = false;
    std::optional<QPalette> systemPalette; // the desktop's palette before ours replaced it

    /// The sources of the running session.
    static AccentSources current();
};
/// The colour used when no source offers one.
QColor fallbackAccent();
/// The first colour the sources offer: the desktop setting (KDE or GNOME), then
/// the highlight of the desktop's palette when that palette is dark, then
/// `fallbackAccent()`.
QColor resolveAccent(const AccentSources& sources);
/// The accent colour of the session, resolved once and kept.
QColor accent();
/// The accent colour at `alpha` (multiplied with its own alpha).
QColor accentCG(double alpha);
/// Reads the accent colour again (after the desktop's setting changed).
void reloadAccent();
/// The ring that shows which control has the keyboard, inside `rect`.
void paintFocusRing(QPainter& painter, const QRectF& rect, double radius);

// Symbols.
/// One row of the symbol table: a symbol name used by the views and the Material
/// Icons glyph that draws it, turned or mirrored where the glyph faces elsewhere.
struct Symbol {
    const char* name;
    char16_t codepoint;
    double rotation = 0; // degrees, clockwise
    bool mirrored = false;
};
/// Every symbol the views may name.
std::span<const Symbol> symbolTable();
/// The row for `name`; nothing (and a log line) for a name without a row.
std::optional<Symbol> symbol(QStringView name);
/// The path of the symbol font file, loaded once into the application's fonts.
QString symbolFontPath();
/// The symbol font's family, or empty when it could not be loaded.
QString symbolFontFamily();
/// The glyph size in pixels of a symbol of `point` size. Material glyphs fill
/// about five sixths of their em square, so the em is a third larger than the
/// point size to match the visual size the layouts were designed for.
double symbolPixelSize(double point);
/// The outline of symbol `name` at `point` size, centred on the origin; empty
/// for an unknown name. Weights above regular thicken the outline.
QPainterPath symbolPath(QStringView name, double point, QFont::Weight weight = QFont::Normal);
/// Paints symbol `name` centred in `rect` in `color`.
void paintSymbol(QPainter& painter, const QRectF& rect, QStringView name, double point,
                 const QColor& color, QFont::Weight weight = QFont::Normal);
/// The symbol on a transparent square as wide as its em, for views that show an
/// image (chips, empty states, the settings window); null for an unknown name.
QPixmap symbolPixmap(QStringView name, double point, const QColor& color,
                     QFont::Weight weight = QFont::Normal, double devicePixelRatio = 1);
/// The symbol as an icon for menus and dialogs, drawn on demand at any size in
/// the application palette's text colour (dimmed when disabled, the highlighted
/// text colour when selected).
QIcon symbolIcon(QStringView name);

// Shapes.
/// The film glyph on a side of `side` pixels, in top-down coordinates: a frame
/// with a window and eight perforation holes, filled with the even-odd rule.
QPainterPath filmGlyphPath(double side);
/// The film glyph filled with `color` into a transparent square image.
QImage filmGlyph(double side, const QColor& color = Qt::black, double devicePixelRatio = 1);
/// A square of 2 × radius + 2 pixels filled with a black rounded rectangle of
/// `radius`: a nine-part mask with insets of `radius` for a card of any size.
QImage maskImage(double radius, double devicePixelRatio = 1);

// Application look.
/// The dark palette of menus, dialogs and the settings window.
QPalette darkPalette(const QColor& accent);
/// Fusion with `darkPalette` for the whole application, so menus and dialogs
/// look the same on every desktop. Remembers the desktop's palette first, as an
/// accent source.
void applyApplicationStyle(QApplication& app);

} // namespace Theme
