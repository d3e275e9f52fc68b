#include "shelf/Theme.h"

#include "platform/Log.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QMutex>
#include <QPainter>
#include <QPainterPathStroker>
#include <QRawFont>
#include <array>
#include <cmath>

// The icon font: which glyph each symbol name draws, and its outlines, pixmaps
// and icons.

namespace Theme {

// ---- Symbols ---------------------------------------------------------------

namespace {

// Material Icons has one filled style, so outlined and filled pairs use the
// font's outline variants where it has them and a turned glyph where it has
// not ("pin" leans; "pin.fill" stands, as a pinned pin would).
constexpr std::array<Symbol, 43> kSymbols{{
    {"arrow.counterclockwise", 0xe5d5, 0, true}, // refresh, turning left
    {"arrow.down.to.line", 0xe258},              // vertical_align_bottom
    {"arrow.left.and.right", 0xea16, 90},        // height, laid flat
    {"arrow.up.forward.app", 0xe89e},            // open_in_new
    {"camera.viewfinder", 0xe3b4},               // center_focus_strong
    {"checkmark.circle", 0xe92d},                // check_circle_outline
    {"checkmark.circle.fill", 0xe86c},           // check_circle
    {"clock", 0xe8b5},                           // schedule
    {"doc.on.doc", 0xe14d},                      // content_copy
    {"exclamationmark.triangle.fill", 0xe002},   // warning
    {"eye", 0xe8f4},                             // visibility
    {"film", 0xe02c},                            // movie
    {"folder", 0xe2c8},                          // folder_open
    {"folder.badge.plus", 0xe2cc},               // create_new_folder
    {"folder.fill", 0xe2c7},                     // folder, solid
    {"gearshape", 0xe8b8},                       // settings
    {"link", 0xe157},                            // link
    {"lock", 0xe897},                            // lock
    {"magnifyingglass", 0xe8b6},                 // search
    {"pencil", 0xe3c9},                          // edit
    {"photo", 0xe410},                           // photo
    {"pin", 0xf10d, 45},                         // push_pin, leaning
    {"pin.fill", 0xf10d},                        // push_pin
    {"play.fill", 0xe037},                       // play_arrow
    {"plus", 0xe145},                            // add
    {"power", 0xe8ac},                           // power_settings_new
    {"sidebar.left", 0xf114, 0, true},           // view_sidebar, bar on the left
    {"square.and.arrow.up", 0xe6b8},             // ios_share
    {"square.grid.2x2", 0xe9b0},                 // grid_view
    {"square.stack", 0xe3e0},                    // filter_none
    {"text.magnifyingglass", 0xf02f},            // manage_search
    {"text.viewfinder", 0xe5fa},                 // document_scanner
    {"trash", 0xe92e},                           // delete_outline
    {"trash.fill", 0xe872},                      // delete
    {"tray", 0xe156},                            // inbox
    {"xmark", 0xe5cd},                           // close
    {"xmark.circle", 0xe888},                    // highlight_off
    {"xmark.circle.fill", 0xe5c9},               // cancel
    {"chevron.down", 0xe5cf},                    // expand_more
    {"chevron.right", 0xe5cc},                   // chevron_right
    {"ellipsis", 0xe5d3},                        // more_horiz
    {"envelope", 0xe0be},                        // email
    {"keyboard", 0xe312},                        // keyboard
}};

struct SymbolFont {
    QString family;
    QHash<QPair<quint32, int>, QPainterPath> paths; // (codepoint, em in 1/64 px) -> outline
    QMutex mutex;
};

SymbolFont& symbolFont() {
    static SymbolFont* font = [] {
        auto* f = new SymbolFont;
        const int id = QFontDatabase::addApplicationFont(symbolFontPath());
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (id < 0 || families.isEmpty())
            qCWarning(lcTamberk) << "Cannot load the symbol font" << symbolFontPath();
        else
            f->family = families.first();
        return f;
    }();
    return *font;
}

// The glyph outline centred on the origin, at an em of `em` pixels.
QPainterPath glyphPath(char16_t codepoint, double em) {
    SymbolFont& sf = symbolFont();
    const QPair<quint32, int> key{codepoint, int(std::lround(em * 64))};
    QMutexLocker lock(&sf.mutex);
    if (auto it = sf.paths.constFind(key); it != sf.paths.constEnd())
        return *it;
    QRawFont raw(symbolFontPath(), em);
    QPainterPath path;
    if (raw.isValid()) {
        const QChar ch(codepoint);
        const QList<quint32> glyphs = raw.glyphIndexesForString(QString(ch));
        if (!glyphs.isEmpty() && glyphs.first() != 0) {
            path = raw.pathForGlyph(glyphs.first());
            // Centre the em square, not the glyph's ink, so that glyphs keep the
            // optical placement their designers gave them.
            const double advance = raw.advancesForGlyphIndexes(glyphs).value(0).x();
            const double top = -raw.ascent();
            const double height = raw.ascent() + raw.descent();
            path.translate(-advance / 2, -(top + height / 2));
        }
    }
    sf.paths.insert(key, path);
    return path;
}

} // namespace

std::span<const Symbol> symbolTable() {
    return kSymbols;
}

std::optional<Symbol> symbol(QStringView name) {
    for (const Symbol& s : kSymbols) {
        if (name == QLatin1String(s.name))
            return s;
    }
    qCWarning(lcTamberk) << "No symbol named" << name.toString();
    return std::nullopt;
}

QString symbolFontPath() {
    return QStringLiteral(
        "/usr/share/fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf");
}

QString symbolFontFamily() {
    return symbolFont().family;
}

double symbolPixelSize(double point) {
    return point * 4.0 / 3.0;
}

QPainterPath symbolPath(QStringView name, double point, QFont::Weight weight) {
    const auto row = symbol(name);
    if (!row)
        return {};
    QPainterPath path = glyphPath(row->codepoint, symbolPixelSize(point));
    if (path.isEmpty())
        return path;
    if (weight > QFont::Normal) {
        // The font has one weight; heavier weights grow the outline by a stroke.
        QPainterPathStroker stroker;
        stroker.setWidth(symbolPixelSize(point) * (weight - QFont::Normal) / 4000.0);
        stroker.setJoinStyle(Qt::RoundJoin);
        path = path.united(stroker.createStroke(path));
    }
    if (row->rotation != 0 || row->mirrored) {
        QTransform t;
        t.rotate(row->rotation);
        if (row->mirrored)
            t.scale(-1, 1);
        path = t.map(path);
    }
    return path;
}

void paintSymbol(QPainter& painter, const QRectF& rect, QStringView name, double point,
                 const QColor& color, QFont::Weight weight) {
    const QPainterPath path = symbolPath(name, point, weight);
    if (path.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect.center());
    painter.fillPath(path, color);
    painter.restore();
}

QPixmap symbolPixmap(QStringView name, double point, const QColor& color, QFont::Weight weight,
                     double devicePixelRatio) {
    if (!symbol(name))
        return {};
    const int side = int(std::ceil(symbolPixelSize(point)));
    QPixmap pm(QSize(side, side) * devicePixelRatio);
    pm.setDevicePixelRatio(devicePixelRatio);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    paintSymbol(p, QRectF(0, 0, side, side), name, point, color, weight);
    return pm;
}

namespace {

class SymbolIconEngine final : public QIconEngine {
public:
    explicit SymbolIconEngine(QString name)
        : m_name(std::move(name)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const QPalette pal = QGuiApplication::palette();
        QColor color = pal.color(QPalette::Active, QPalette::WindowText);
        if (mode == QIcon::Disabled)
            color = pal.color(QPalette::Disabled, QPalette::WindowText);
        else if (mode == QIcon::Selected)
            color = pal.color(QPalette::Active, QPalette::HighlightedText);
        // The glyph's em fills the icon square.
        const double point = std::min(rect.width(), rect.height()) * 3.0 / 4.0;
        paintSymbol(*painter, rect, m_name, point, color);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap pm(size * scale);
        pm.setDevicePixelRatio(scale);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, QRect(QPoint(0, 0), size), mode, state);
        return pm;
    }

    QIconEngine* clone() const override { return new SymbolIconEngine(m_name); }
    QString key() const override { return QStringLiteral("tamberk-symbol"); }
    QString iconName() override { return m_name; }
    bool isNull() override { return !symbol(m_name); }

private:
    QString m_name;
};

} // namespace

QIcon symbolIcon(QStringView name) {
    if (!symbol(name))
        return {};
    return QIcon(new SymbolIconEngine(name.toString()));
}

} // namespace Theme
