#include "shelf/Theme.h"

#include "platform/DesktopAccent.h"
#include "platform/Log.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLocale>
#include <QMutex>
#include <QPainter>
#include <QScreen>
#include <QStandardPaths>
#include <QStyleFactory>
#include <cmath>
#include <mutex>

namespace Theme {

namespace {

QColor white(double alpha) {
    return QColor::fromRgbF(1, 1, 1, float(alpha));
}

} // namespace

// Colours are made once, on first use; function statics make that thread-safe.
const QColor& ink() {
    static const QColor c = white(0.94);
    return c;
}
const QColor& ink2() {
    static const QColor c = white(0.62);
    return c;
}
const QColor& ink3() {
    static const QColor c = white(0.40);
    return c;
}
const QColor& ink4() {
    static const QColor c = white(0.22);
    return c;
}
const QColor& hair() {
    static const QColor c = white(0.09);
    return c;
}
const QColor& fill() {
    static const QColor c = white(0.06);
    return c;
}
const QColor& fill2() {
    static const QColor c = white(0.12);
    return c;
}
const QColor& perf() {
    static const QColor c = white(0.075);
    return c;
}
const QColor& base() {
    static const QColor c = QColor::fromRgbF(0.043f, 0.044f, 0.049f, 0.66f);
    return c;
}
const QColor& danger() {
    static const QColor c = QColor::fromRgbF(1.0f, 0.40f, 0.37f, 1.0f);
    return c;
}

QColor withAlpha(const QColor& color, double alpha) {
    QColor c = color;
    c.setAlphaF(float(color.alphaF() * alpha));
    return c;
}

// ---- Fonts -----------------------------------------------------------------

namespace {

double logicalDpi() {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        return screen->logicalDotsPerInchY();
    return 96;
}

QFont sized(QFont f, double size, QFont::Weight weight) {
    // A pixel size would be exact but whole; a point size through the logical
    // dpi keeps the half pixels the layouts use (10.5, 12.5).
    f.setPointSizeF(size * 72.0 / logicalDpi());
    f.setWeight(weight);
    f.setKerning(true);
    return f;
}

} // namespace

QFont font(double size, QFont::Weight weight) {
    return sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont), size, weight);
}

QFont monoFont(double size, QFont::Weight weight) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setStyleHint(QFont::Monospace);
    f.setFixedPitch(true);
    return sized(f, size, weight);
}

// ---- Caps ------------------------------------------------------------------

Caps caps(const QString& text, double size, QFont::Weight weight, const QColor& color,
          double kern) {
    QFont f = monoFont(size, weight);
    f.setLetterSpacing(QFont::AbsoluteSpacing, kern);
    return Caps{text.toUpper(), f, color, kern};
}

QSizeF Caps::size() const {
    const QFontMetricsF fm(font);
    return {fm.horizontalAdvance(text), fm.height()};
}

void Caps::paint(QPainter& painter, const QPointF& topLeft) const {
    const QFontMetricsF fm(font);
    painter.save();
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QPointF(topLeft.x(), topLeft.y() + fm.ascent()), text);
    painter.restore();
}

void Caps::paint(QPainter& painter, const QRectF& rect, Qt::Alignment alignment) const {
    const QSizeF s = size();
    double x = rect.left();
    if (alignment & Qt::AlignRight)
        x = rect.right() - s.width();
    else if (alignment & Qt::AlignHCenter)
        x = rect.center().x() - s.width() / 2;
    double y = rect.top();
    if (alignment & Qt::AlignBottom)
        y = rect.bottom() - s.height();
    else if (alignment & Qt::AlignVCenter)
        y = rect.center().y() - s.height() / 2;
    paint(painter, QPointF(x, y));
}

// ---- Stamp -----------------------------------------------------------------

QString stamp(const QDateTime& date, const QDateTime& now) {
    const QDateTime local = date.toLocalTime();
    if (local.date() == now.toLocalTime().date())
        return local.toString(QStringLiteral("HH:mm"));
    return QLocale().toString(local.date(), QStringLiteral("d MMM")).toUpper();
}

// ---- Accent ----------------------------------------------------------------

namespace {

struct AccentState {
    QMutex mutex;
    std::optional<QColor> color;
    std::optional<QPalette> systemPalette;
};

AccentState& accentState() {
    static AccentState state;
    return state;
}

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::Window).lightnessF() < 0.5;
}

} // namespace

AccentSources AccentSources::current() {
    AccentSources s;
    s.configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    s.gnomeFirst = DesktopAccent::sessionIsGnome();
    {
        QMutexLocker lock(&accentState().mutex);
        s.systemPalette = accentState().systemPalette;
    }
    if (!s.systemPalette && qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        s.systemPalette = QGuiApplication::palette();
    return s;
}

QColor fallbackAccent() {
    return QColor::fromRgb(0x0a, 0x84, 0xff);
}

QColor resolveAccent(const AccentSources& sources) {
    auto kde = [&] { return DesktopAccent::fromKdeGlobals(sources.configHome); };
    auto gnome = [&] {
        return DesktopAccent::fromGnome(sources.gnomeSchemaDir, sources.gnomeKeyFile);
    };
    std::optional<QColor> desktop = sources.gnomeFirst ? gnome() : kde();
    if (!desktop)
        desktop = sources.gnomeFirst ? kde() : gnome();
    if (desktop)
        return *desktop;
    if (sources.systemPalette && isDark(*sources.systemPalette)) {
        const QColor h = sources.systemPalette->color(QPalette::Active, QPalette::Highlight);
        if (h.isValid() && h.alpha() > 0)
            return h;
    }
    return fallbackAccent();
}

QColor accent() {
    {
        QMutexLocker lock(&accentState().mutex);
        if (accentState().color)
            return *accentState().color;
    }
    const QColor c = resolveAccent(AccentSources::current());
    QMutexLocker lock(&accentState().mutex);
    accentState().color = c;
    return c;
}

QColor accentCG(double alpha) {
    return withAlpha(accent(), alpha);
}

void paintFocusRing(QPainter& painter, const QRectF& rect, double radius) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(accentCG(1.0), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect.adjusted(0.75, 0.75, -0.75, -0.75), radius, radius);
    painter.restore();
}

void reloadAccent() {
    QMutexLocker lock(&accentState().mutex);
    accentState().color.reset();
}

// ---- Shapes ----------------------------------------------------------------

QPainterPath filmGlyphPath(double side) {
    // The glyph is laid out on an 18-unit square with y growing upwards; each
    // shape is flipped into top-down coordinates as it is added.
    const double u = side / 18.0;
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    auto rounded = [&](double x, double y, double w, double h, double r) {
        path.addRoundedRect(QRectF(x * u, side - (y + h) * u, w * u, h * u), r * u, r * u);
    };
    rounded(4, 1, 10, 16, 1.8);
    rounded(6.7, 4.6, 4.6, 8.8, 0.9);
    for (double x : {4.85, 12.1}) {
        for (double y : {2.5, 6.1, 9.7, 13.3})
            path.addRect(QRectF(x * u, side - (y + 1.7) * u, 1.05 * u, 1.7 * u));
    }
    return path;
}

QImage filmGlyph(double side, const QColor& color, double devicePixelRatio) {
    const int px = int(std::ceil(side * devicePixelRatio));
    QImage image(px, px, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(filmGlyphPath(side), color);
    return image;
}

QImage maskImage(double radius, double devicePixelRatio) {
    const double side = 2 * radius + 2;
    const int px = int(std::ceil(side * devicePixelRatio));
    QImage image(px, px, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(0, 0, side, side), radius, radius);
    return image;
}

// ---- Application look ------------------------------------------------------

QPalette darkPalette(const QColor& accentColor) {
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2e);
    const QColor base(0x1f, 0x1f, 0x22);
    const QColor text(0xea, 0xea, 0xec);
    const QColor disabledText(0x7c, 0x7c, 0x82);
    QColor highlight = accentColor;
    highlight.setAlpha(255);
    // Luminance, not lightness, decides: yellow and lime accents are bright
    // although their lightness is only one half.
    const double luminance =
        0.2126 * highlight.redF() + 0.7152 * highlight.greenF() + 0.0722 * highlight.blueF();
    const QColor highlightedText = luminance > 0.55 ? QColor(Qt::black) : QColor(Qt::white);

    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(0x27, 0x27, 0x2a));
    p.setColor(QPalette::ToolTipBase, QColor(0x3a, 0x3a, 0x3e));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x8e, 0x8e, 0x93));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3e));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, QColor(0x4a, 0x4a, 0x4f));
    p.setColor(QPalette::Midlight, QColor(0x40, 0x40, 0x44));
    p.setColor(QPalette::Mid, QColor(0x30, 0x30, 0x33));
    p.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x1a));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, highlightedText);
    p.setColor(QPalette::Link, highlight.lighter(130));
    p.setColor(QPalette::LinkVisited, highlight.lighter(110));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, disabledText);
    }
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x50, 0x50, 0x55));
    // Fusion etches disabled text with the light colour; on a dark menu that
    // reads as a blurred double line, so the etch is made invisible.
    p.setColor(QPalette::Disabled, QPalette::Light, QColor(0, 0, 0, 0));
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, disabledText);
    return p;
}

void applyApplicationStyle(QApplication& app) {
    {
        QMutexLocker lock(&accentState().mutex);
        if (!accentState().systemPalette)
            accentState().systemPalette = QApplication::palette();
        accentState().color.reset();
    }
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    app.setPalette(darkPalette(accent()));
}

} // namespace Theme
