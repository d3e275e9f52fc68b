// Painting of the thumbnail cell and of the grid's own decorations.
#include "grid/GridView.h"
#include "grid/ThumbView.h"
#include "shelf/Theme.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

using motion::Prop;

namespace {

constexpr double imageRadius = 6;
constexpr double ringRadius = 9;
constexpr double buttonRadius = 7;
constexpr double buttonPoint = 10.5;
constexpr double ringMargin = 4; // the ring reaches 3 points outside the image

QColor mix(const QColor& a, const QColor& b, double p) {
    auto f = [p](float x, float y) { return float(x + (y - x) * p); };
    return QColor::fromRgbF(f(a.redF(), b.redF()), f(a.greenF(), b.greenF()),
                            f(a.blueF(), b.blueF()), f(a.alphaF(), b.alphaF()));
}

QColor black(double alpha) {
    return QColor::fromRgbF(0, 0, 0, float(alpha));
}

QColor white(double alpha) {
    return QColor::fromRgbF(1, 1, 1, float(alpha));
}

QFont withSpacing(QFont font, double spacing) {
    font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    return font;
}

// Fonts and their metrics are made once: painting forty cells sixty times a
// second must not build fonts.
struct CaptionFonts {
    QFont mark = Theme::monoFont(8);
    QFont number = withSpacing(Theme::monoFont(9.5, QFont::DemiBold), 0.4);
    QFont time = withSpacing(Theme::monoFont(9), 0.6);
    QFont badge = Theme::monoFont(9, QFont::DemiBold);
    QFontMetricsF markMetrics{mark};
    QFontMetricsF numberMetrics{number};
    QFontMetricsF timeMetrics{time};
};

const CaptionFonts& captionFonts() {
    static const CaptionFonts fonts;
    return fonts;
}

const QString& markText() {
    static const QString text = QStringLiteral("▸ ");
    return text;
}

// A rounded rectangle (fill and a half-point border) cut into nine parts. The
// corners are drawn once per look, radius and pixel ratio; a frame then paints
// with image blits only. Filling and stroking a tall rounded path would hand its
// hundreds of spans to worker threads and wait for them, on every cell.
class FrameTiles {
public:
    enum class Part { Frame, Mask };

    // The tile: corners of `corner` points around a middle of one point.
    const QImage& tile(double radius, QRgb fill, QRgb border, qreal dpr) {
        const Key key{radius, fill, border, dpr};
        for (const Entry& e : m_entries) {
            if (e.key == key)
                return e.image;
        }
        if (m_entries.size() >= 32)
            m_entries.erase(m_entries.begin());
        const int corner = int(std::ceil(radius)) + 1;
        const double side = 2 * corner + 1;
        QImage image(QSize(int(std::ceil(side * dpr)), int(std::ceil(side * dpr))),
                     QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromRgba(fill));
        p.drawRoundedRect(QRectF(0, 0, side, side), radius, radius);
        if (qAlpha(border) > 0) {
            p.setPen(QPen(QColor::fromRgba(border), 0.5));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(QRectF(0.25, 0.25, side - 0.5, side - 0.5), radius - 0.25,
                              radius - 0.25);
        }
        p.end();
        image.setDevicePixelRatio(1);
        m_entries.push_back({key, image});
        return m_entries.back().image;
    }

    // Paints the tile's look stretched over `r` (in the painter's points): corners
    // as they are, edges and middle stretched from the tile's middle row and column.
    // False when `r` is too small to hold the corners.
    bool paint(QPainter& p, const QRectF& r, double radius, QRgb fill, QRgb border,
               QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver) {
        const qreal dpr = p.device()->devicePixelRatioF();
        const int corner = int(std::ceil(radius)) + 1;
        if (r.width() < 2 * corner + 1 || r.height() < 2 * corner + 1)
            return false;
        const QImage& t = tile(radius, fill, border, dpr);
        const double c = corner, d = corner * dpr, m = dpr; // points, pixels, middle pixels
        const double xs[] = {r.left(), r.left() + c, r.right() - c, r.right()};
        const double ys[] = {r.top(), r.top() + c, r.bottom() - c, r.bottom()};
        const double sx[] = {0, d, d + m, 2 * d + m};
        const QPainter::CompositionMode before = p.compositionMode();
        p.setCompositionMode(mode);
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 3; ++col) {
                // Masking leaves the middle alone: the mask is opaque there.
                if (mode != QPainter::CompositionMode_SourceOver && (row == 1 || col == 1))
                    continue;
                // A transparent middle adds nothing.
                if (row == 1 && col == 1 && qAlpha(fill) == 0)
                    continue;
                p.drawImage(QRectF(QPointF(xs[col], ys[row]), QPointF(xs[col + 1], ys[row + 1])), t,
                            QRectF(QPointF(sx[col], sx[row]), QPointF(sx[col + 1], sx[row + 1])));
            }
        }
        p.setCompositionMode(before);
        return true;
    }

private:
    struct Key {
        double radius;
        QRgb fill;
        QRgb border;
        qreal dpr;
        bool operator==(const Key&) const = default;
    };
    struct Entry {
        Key key;
        QImage image;
    };
    std::vector<Entry> m_entries;
};

FrameTiles& frameTiles() {
    static FrameTiles tiles;
    return tiles;
}

// Runs `draw` with the painter scaled by the layer's Scale about `rect`'s centre.
template <typename Draw>
void scaledAbout(QPainter& p, const motion::Layer& layer, const QRectF& rect, Draw draw) {
    const motion::Value s = layer.value(Prop::Scale, {1, 1});
    if (s[0] == 1 && s[1] == 1) {
        draw();
        return;
    }
    p.save();
    const QPointF c = rect.center();
    p.translate(c);
    p.scale(s[0], s[1]);
    p.translate(-c);
    draw();
    p.restore();
}

} // namespace

QRgb ThumbView::borderTarget() const {
    if (selected)
        return qRgba(0, 0, 0, 0);
    if (hover)
        return white(0.22).rgba();
    return Theme::hair().rgba();
}

void ThumbView::ensureCaption() {
    Parts& p = parts();
    // The cache fills in a recording's duration on the shot itself, so the inputs
    // are compared as well as the flag.
    if (!p.captionDirty && p.captionCreated == shot->created && p.captionDuration == shot->duration)
        return;
    p.captionDirty = false;
    p.captionCreated = shot->created;
    p.captionDuration = shot->duration;
    invalidateComposed();
    const QString stamp =
        Theme::stamp(QDateTime::fromMSecsSinceEpoch(qint64(std::floor(shot->created * 1000))));
    p.time = shot->isVideo ? QStringLiteral("REC ") + stamp : stamp;
    if (!shot->isVideo) {
        p.badge.clear();
    } else if (shot->duration > 0) {
        const long seconds = long(shot->duration);
        p.badge = QString::asprintf("▶ %ld:%02ld", seconds / 60, seconds % 60);
    } else {
        p.badge = QStringLiteral("▶");
    }
}

QString ThumbView::numberText() const {
    return markText() + QString::number(number);
}

QString ThumbView::timeText() {
    ensureCaption();
    return m_parts->time;
}

QString ThumbView::badgeText() {
    ensureCaption();
    return m_parts->badge;
}

void ThumbView::paint(QPainter& p) {
    ensureCaption();
    const Parts& parts = *m_parts;
    const motion::Layer& layer = parts.layer;
    const double alpha = layer.value(Prop::Opacity, 1.0);
    if (alpha <= 0.001)
        return;
    const QPointF centre = m_frame.center();
    const motion::Value pos = layer.value(Prop::Position, {centre.x(), centre.y()});
    const motion::Value scale = layer.value(Prop::Scale, {1, 1});
    const double tx = layer.value(Prop::TranslationX, 0.0);

    p.save();
    p.setOpacity(alpha);
    p.translate(pos[0] + tx, pos[1]);
    if (scale[0] != 1 || scale[1] != 1)
        p.scale(scale[0], scale[1]);
    p.translate(-m_frame.width() / 2, -m_frame.height() / 2);
    // A cell is composed the second time it is painted at rest: the first paint
    // of a listing or of a cell scrolling in draws its parts directly, which costs
    // less than composing them for one use.
    Parts& mutableParts = *m_parts;
    if (partsAtRest() && (mutableParts.composedValid || mutableParts.restPaints > 0)) {
        paintComposed(p);
    } else {
        paintParts(p, alpha);
        if (partsAtRest())
            ++mutableParts.restPaints;
    }
    paintButtons(p);
    p.restore();
}

bool ThumbView::partsAtRest() const {
    const Parts& p = *m_parts;
    return !p.imgLayer.animating() && !p.flashLayer.animating() && !p.ringLayer.animating() &&
           !p.checkLayer.animating();
}

void ThumbView::paintComposed(QPainter& p) {
    Parts& parts = *m_parts;
    const qreal dpr = p.device()->devicePixelRatioF();
    // Only the ring reaches outside the frame; without it the margin would be
    // transparent pixels blended for nothing.
    const double m = parts.ringOn ? ringMargin : 0;
    if (!parts.composedValid || parts.composedRatio != dpr) {
        const QSizeF size = m_frame.size() + QSizeF(2 * m, 2 * m);
        QImage image((size * dpr).toSize().expandedTo(QSize(1, 1)),
                     QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        QPainter compose(&image);
        compose.setRenderHint(QPainter::Antialiasing);
        compose.translate(m, m);
        paintParts(compose, 1.0);
        compose.end();
        // Kept in plain device pixels: painting then never rescales it by the ratio.
        image.setDevicePixelRatio(1);
        parts.composed = image;
        parts.composedRatio = dpr;
        parts.composedValid = true;
        // The composed look holds the image; the baked copy is made again only if a
        // part starts to animate.
        parts.baked = QImage();
        parts.bakedFrom = 0;
        if (grid)
            grid->noteBaked(this);
    }
    const QImage& image = parts.composed;
    const QTransform device = p.deviceTransform();
    if (device.type() <= QTransform::TxScale && qFuzzyCompare(device.m11(), dpr) &&
        qFuzzyCompare(device.m22(), dpr)) {
        // Unscaled: one blit at whole device pixels, the raster engine's fastest path.
        // The world transform that maps the image's origin to that whole device
        // pixel; whatever lies between world and device (a widget's offset while
        // rendering, the ratio) stays as it is.
        const QPointF at = device.map(QPointF(-m, -m));
        const QTransform world = p.transform();
        p.save();
        p.setTransform(QTransform::fromTranslate(qRound(at.x()), qRound(at.y())) *
                       device.inverted() * world);
        p.drawImage(QPoint(0, 0), image);
        p.restore();
        return;
    }
    // Scaled by a flip in flight: the image carries its own antialiased edges.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.drawImage(QRectF(QPointF(-m, -m), QSizeF(image.size()) / dpr), image, QRectF(image.rect()));
    p.setRenderHint(QPainter::Antialiasing, true);
}

void ThumbView::paintParts(QPainter& p, double alpha) {
    const Parts& parts = *m_parts;
    const Geometry& g = parts.geometry;
    const double ring = parts.ringLayer.value(Prop::Opacity, parts.ringOn ? 1.0 : 0.0);
    if (ring > 0.001) {
        scaledAbout(p, parts.ringLayer, g.img, [&] {
            p.setOpacity(alpha * ring);
            p.setPen(QPen(Theme::accentCG(1), 2));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(g.ring.adjusted(1, 1, -1, -1), ringRadius - 1, ringRadius - 1);
            p.setOpacity(alpha);
        });
    }
    scaledAbout(p, parts.imgLayer, g.img, [&] { paintImage(p); });
    const double flash = parts.flashLayer.value(Prop::Opacity, 0.0);
    if (flash > 0.001) {
        scaledAbout(p, parts.flashLayer, g.img, [&] {
            p.setOpacity(alpha * flash);
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawRoundedRect(g.img, imageRadius, imageRadius);
            p.setOpacity(alpha);
        });
    }
    if (shot->isVideo) {
        p.setPen(Qt::NoPen);
        p.setBrush(black(0.6));
        p.drawRoundedRect(g.badge, 4, 4);
        p.setFont(captionFonts().badge);
        p.setPen(Theme::ink());
        p.drawText(g.badge, Qt::AlignCenter, parts.badge);
    }
    paintCheck(p);
    if (captions)
        paintCaption(p);
}

void ThumbView::paintImage(QPainter& p) {
    Parts& parts = *m_parts;
    const QImage& image = parts.image;
    QImage& baked = parts.baked;
    const QRectF r = parts.geometry.img;
    const double progress = parts.imgLayer.value(Prop::Param, 1.0);
    const QRgb border =
        mix(QColor::fromRgba(parts.borderFrom), QColor::fromRgba(parts.borderTo), progress).rgba();
    if (image.isNull()) {
        // The faint plate shows only until an image covers it.
        if (!frameTiles().paint(p, r, imageRadius, white(0.045).rgba(), border)) {
            p.setPen(Qt::NoPen);
            p.setBrush(white(0.045));
            p.drawRoundedRect(r, imageRadius, imageRadius);
            paintBorder(p, r, border);
        }
        return;
    }
    {
        const qreal dpr = p.device()->devicePixelRatioF();
        const QSize px = (r.size() * dpr).toSize().expandedTo(QSize(1, 1));
        if (baked.size() != px || parts.bakedFrom != image.cacheKey()) {
            // Aspect fill: scale to cover the rectangle, crop the excess, round the corners.
            const double s =
                std::max(double(px.width()) / image.width(), double(px.height()) / image.height());
            const QSize drawn(std::max(1, int(std::ceil(image.width() * s))),
                              std::max(1, int(std::ceil(image.height() * s))));
            const QImage scaled =
                image.scaled(drawn, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            baked = QImage(px, QImage::Format_ARGB32_Premultiplied);
            baked.fill(Qt::transparent);
            baked.setDevicePixelRatio(dpr);
            QPainter bake(&baked);
            bake.setWorldTransform(QTransform::fromScale(1 / dpr, 1 / dpr)); // in pixels
            bake.drawImage(
                QPoint((px.width() - drawn.width()) / 2, (px.height() - drawn.height()) / 2),
                scaled);
            bake.resetTransform();
            // Round the corners: keep only what lies inside an opaque rounded mask.
            const QRectF all(QPointF(0, 0), QSizeF(px) / dpr);
            if (!frameTiles().paint(bake, all, imageRadius, qRgba(255, 255, 255, 255), 0,
                                    QPainter::CompositionMode_DestinationIn)) {
                QPainterPath outside;
                outside.addRect(all);
                QPainterPath inside;
                inside.addRoundedRect(all, imageRadius, imageRadius);
                bake.setRenderHint(QPainter::Antialiasing);
                bake.setCompositionMode(QPainter::CompositionMode_Clear);
                bake.fillPath(outside.subtracted(inside), Qt::transparent);
            }
            bake.end();
            parts.bakedFrom = image.cacheKey();
            if (grid)
                grid->noteBaked(this);
        }
        const double fade = parts.imgLayer.value(Prop::Opacity, 1.0);
        const double base = p.opacity();
        p.setOpacity(base * fade);
        // The baked image carries its own antialiased corners. Without the hint the
        // raster engine blits it, scaled by a flip in flight, on its fast path.
        p.setRenderHint(QPainter::Antialiasing, false);
        p.drawImage(r, baked, QRectF(baked.rect()));
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setOpacity(base);
    }

    if (!frameTiles().paint(p, r, imageRadius, 0, border))
        paintBorder(p, r, border);
}

void ThumbView::paintBorder(QPainter& p, const QRectF& r, QRgb color) {
    if (qAlpha(color) == 0)
        return;
    p.setPen(QPen(QColor::fromRgba(color), 0.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(0.25, 0.25, -0.25, -0.25), imageRadius - 0.25, imageRadius - 0.25);
}

void ThumbView::paintCheck(QPainter& p) const {
    const double shown = checkOpacity();
    if (shown <= 0.001)
        return;
    const double filled = checkFill();
    const QRectF c = m_parts->geometry.check;
    const double base = p.opacity();
    p.setOpacity(base * shown);
    // A dark edge outside the white ring keeps the hollow check readable over
    // light pictures, where white alone melts into the image.
    p.setPen(QPen(black(0.6), 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c.adjusted(-1.2, -1.2, 1.2, 1.2));
    p.setPen(QPen(mix(white(0.9), white(1), filled), 1.2));
    p.setBrush(mix(black(0.34), Theme::accentCG(1), filled));
    p.drawEllipse(c);
    if (filled > 0.001) {
        // The tick, drawn in the check's own 18-point box.
        QPainterPath tick;
        tick.moveTo(c.left() + 5, c.top() + 8.8);
        tick.lineTo(c.left() + 7.9, c.top() + 11.7);
        tick.lineTo(c.left() + 13.2, c.top() + 6.2);
        p.setOpacity(base * shown * filled);
        p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }
    p.setOpacity(base);
}

void ThumbView::paintButtons(QPainter& p) const {
    const double shown = buttonsOpacity();
    if (shown <= 0.001)
        return;
    const Geometry& g = m_parts->geometry;
    const Button hot = m_parts->hoveredButton;
    const double base = p.opacity();
    p.setOpacity(base * shown);
    p.setPen(Qt::NoPen);
    const bool copyHot = hot == Button::Copy;
    p.setBrush(copyHot ? black(0.8) : black(0.55));
    p.drawRoundedRect(g.copyB, buttonRadius, buttonRadius);
    Theme::paintSymbol(p, g.copyB, u"doc.on.doc", buttonPoint, Theme::ink(), QFont::Medium);
    const bool trashHot = hot == Button::Trash;
    p.setPen(Qt::NoPen);
    p.setBrush(trashHot ? Theme::withAlpha(Theme::danger(), 0.92) : black(0.55));
    p.drawRoundedRect(g.trashB, buttonRadius, buttonRadius);
    Theme::paintSymbol(p, g.trashB, u"trash", buttonPoint,
                       trashHot ? QColor(Qt::white) : Theme::ink(), QFont::Medium);
    p.setOpacity(base);
}

void ThumbView::paintCaption(QPainter& p) const {
    const CaptionFonts& f = captionFonts();
    const Geometry& g = m_parts->geometry;
    const QRectF n = g.numL;
    // Both runs of the number share one baseline, centred in the label's height.
    const double baseline =
        n.top() + (n.height() + f.numberMetrics.ascent() - f.numberMetrics.descent()) / 2;
    // The mark is drawn, not set: the font's triangle is a speck at small sizes.
    // Four points high, centred on the digits' height, its tip on a whole pixel.
    const double markWidth = f.markMetrics.horizontalAdvance(markText());
    const double middle = baseline - f.numberMetrics.capHeight() / 2;
    QPainterPath mark;
    mark.moveTo(n.left() + 0.5, middle - 2.5);
    mark.lineTo(n.left() + 4, middle);
    mark.lineTo(n.left() + 0.5, middle + 2.5);
    mark.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(selected ? Theme::accent() : Theme::ink3());
    p.drawPath(mark);
    p.setFont(f.number);
    p.setPen(selected ? Theme::accent() : Theme::ink3());
    p.drawText(QPointF(n.left() + markWidth, baseline), QString::number(number));

    const QRectF t = g.timeL;
    p.setFont(f.time);
    p.setPen(selected ? Theme::ink2() : Theme::ink4());
    QString text = m_parts->time;
    if (f.timeMetrics.horizontalAdvance(text) > t.width())
        text = f.timeMetrics.elidedText(text, Qt::ElideRight, t.width());
    const double timeBaseline =
        t.top() + (t.height() + f.timeMetrics.ascent() - f.timeMetrics.descent()) / 2;
    const double width = f.timeMetrics.horizontalAdvance(text) - f.time.letterSpacing();
    p.drawText(QPointF(t.right() - width, timeBaseline), text);
}

void GridView::paintEndLabel(QPainter& painter) const {
    static const Theme::Caps label =
        Theme::caps(tr("End of roll"), 8, QFont::Medium, Theme::ink4(), 2.4);
    label.paint(painter, m_endLabelFrame, Qt::AlignCenter);
}
