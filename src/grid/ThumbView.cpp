#include "grid/ThumbView.h"

#include "content/Thumbs.h"
#include "grid/GridHost.h"
#include "grid/GridView.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

using motion::Animation;
using motion::Prop;

namespace {

constexpr double stateDuration = 0.16;   // ring, border and check transitions
constexpr double buttonsDuration = 0.14; // button fade under the pointer
constexpr double fadeInDuration = 0.22;  // the first image of a cell
constexpr double vanishDuration = 0.2;
constexpr motion::Spring popSpring{1, 190, 15};

QColor mixColor(QRgb a, QRgb b, double p) {
    const QColor from = QColor::fromRgba(a), to = QColor::fromRgba(b);
    auto f = [p](float x, float y) { return float(x + (y - x) * p); };
    return QColor::fromRgbF(f(from.redF(), to.redF()), f(from.greenF(), to.greenF()),
                            f(from.blueF(), to.blueF()), f(from.alphaF(), to.alphaF()));
}

} // namespace

ThumbView::Parts::Parts(ThumbView* owner, motion::Animator* animator)
    : layer({}, animator)
    , imgLayer({}, animator)
    , flashLayer({}, animator)
    , ringLayer({}, animator)
    , checkLayer({}, animator)
    , buttonsLayer({}, animator) {
    // Every part reports its frames through the cell, which repaints what it covers.
    auto report = [owner] { owner->changed(); };
    for (motion::Layer* l :
         {&layer, &imgLayer, &flashLayer, &ringLayer, &checkLayer, &buttonsLayer})
        l->setChanged(report);
}

ThumbView::ThumbView(ShotPtr s, GridView* g, motion::Animator* animator)
    : grid(g)
    , shot(std::move(s))
    , m_animator(animator) {}

ThumbView::~ThumbView() = default;

ThumbView::Parts& ThumbView::parts() {
    if (!m_parts) {
        m_parts = std::make_unique<Parts>(this, m_animator);
        // A cell shown for the first time takes its look without a transition.
        Parts& p = *m_parts;
        p.ringOn = selected;
        p.checkOn = selected || hover || selectMode;
        p.checkFilled = selected;
        p.buttonsOn = hover;
        p.borderFrom = p.borderTo = borderTarget();
        layoutLayers();
    }
    return *m_parts;
}

motion::Value ThumbView::presented(Prop prop, motion::Value model) const {
    return m_parts ? m_parts->layer.value(prop, model) : model;
}

void ThumbView::setFrame(const QRectF& frame) {
    if (frame == m_frame)
        return;
    const bool resized = frame.size() != m_frame.size();
    m_frame = frame;
    if (resized && m_parts)
        layoutLayers();
    changed();
}

QRectF ThumbView::imageRect() const {
    const double cap = captions ? captionH : 0;
    return QRectF(0, 0, m_frame.width(), std::max(m_frame.height() - cap, 1.0));
}

void ThumbView::layoutLayers() {
    if (!m_parts)
        return; // made with the current frame when first needed
    const double w = m_frame.width();
    const double h = m_frame.height();
    Geometry& g = m_parts->geometry;
    g.img = imageRect();
    g.ring = g.img.adjusted(-3, -3, 3, 3);
    g.check = QRectF(g.img.left() + 7, g.img.top() + 7, 18, 18);
    g.numL = QRectF(1, h - 3 - 13, w / 2, 13);
    g.timeL = QRectF(w / 2, h - 3 - 13, w / 2 - 1, 13);
    g.badge = QRectF(g.img.left() + 7, g.img.bottom() - 7 - 16, 46, 16);
    g.trashB = QRectF(g.img.right() - 30, g.img.top() + 6, 24, 24);
    g.copyB = QRectF(g.trashB.left() - 28, g.trashB.top(), 24, 24);
    g.buttonsShown = g.img.width() >= buttonsMinWidth && g.img.height() >= buttonsMinHeight;
    m_parts->baked = QImage();
    invalidateComposed();
}

void ThumbView::invalidateComposed() {
    if (!m_parts)
        return;
    m_parts->restPaints = 0;
    if (!m_parts->composedValid)
        return;
    m_parts->composedValid = false;
    m_parts->composed = QImage();
}

void ThumbView::updateCaption() {
    if (m_parts) {
        m_parts->captionDirty = true;
        invalidateComposed();
    }
}

void ThumbView::updateState(bool animated) {
    // A cell never shown has nothing on screen to move from: its parts, when they
    // are made, take the look of its flags at once.
    if (!m_parts)
        return;
    Parts& p = *m_parts;
    const bool ringOn = selected;
    const bool checkOn = selected || hover || selectMode;
    const bool checkFilled = selected;
    const bool buttonsOn = hover;
    const QRgb border = borderTarget();

    auto fade = [&](motion::Layer& l, const QByteArray& key, Prop prop, bool was, bool now,
                    double duration) {
        if (was == now)
            return;
        if (!animated) {
            l.remove(key);
            return;
        }
        const double from = l.value(prop, was ? 1.0 : 0.0);
        l.add(key, Animation::basic(prop, from, now ? 1.0 : 0.0, duration));
    };
    fade(p.ringLayer, "state", Prop::Opacity, p.ringOn, ringOn, stateDuration);
    fade(p.checkLayer, "state", Prop::Opacity, p.checkOn, checkOn, stateDuration);
    fade(p.checkLayer, "state.fill", Prop::Param, p.checkFilled, checkFilled, stateDuration);
    fade(p.buttonsLayer, "hover", Prop::Opacity, p.buttonsOn, buttonsOn, buttonsDuration);
    if (border != p.borderTo) {
        // The border blends from the colour on screen now to the new one.
        p.borderFrom =
            mixColor(p.borderFrom, p.borderTo, p.imgLayer.value(Prop::Param, 1.0)).rgba();
        p.borderTo = border;
        if (animated)
            p.imgLayer.add("state", Animation::basic(Prop::Param, 0, 1, stateDuration));
        else
            p.imgLayer.remove("state");
    }
    p.ringOn = ringOn;
    p.checkOn = checkOn;
    p.checkFilled = checkFilled;
    p.buttonsOn = buttonsOn;
    if (animated && grid)
        grid->trackAnimating(this);
    updateCaption();
    changed();
}

void ThumbView::load(double scale) {
    const QRectF r = imageRect();
    if (r.width() <= 2)
        return;
    const QSizeF px = shot->pixelSize;
    double needed = 0;
    if (px.width() > 1 && px.height() > 1) {
        needed = std::max(px.width(), px.height()) *
                 std::max(r.width() / px.width(), r.height() / px.height()) * scale;
    } else {
        needed = std::max(r.width(), r.height()) * scale * 1.6;
    }
    const int b = Thumbs::bucket(needed);
    Thumbs& thumbs = grid ? grid->thumbs() : Thumbs::shared();
    if (loaded >= b)
        return;
    if (requested >= b) {
        thumbs.bump(ticket);
        return;
    }
    if (loaded == 0) {
        if (auto cached = thumbs.cached(*shot, b)) {
            setImage(cached->first, false);
            loaded = cached->second;
            if (loaded >= b)
                return;
        }
    }
    cancelLoad();
    requested = b;
    // The completion names the file version it asked for: a reply for an older
    // version of the same path must not settle the newer request.
    std::weak_ptr<ThumbView> weak = weak_from_this();
    const Thumbs::Ticket t = thumbs.load(
        shot, b, [weak, b, path = shot->path, modified = shot->modified](const QImage& image) {
            const std::shared_ptr<ThumbView> self = weak.lock();
            if (!self || self->shot->path != path || self->shot->modified != modified)
                return;
            if (self->requested == b) {
                self->requested = 0;
                self->ticket = 0;
            }
            if (!image.isNull() && self->loaded < b) {
                self->setImage(image, true);
                self->loaded = b;
            }
        });
    if (requested == b)
        ticket = t;
}

void ThumbView::cancelLoad() {
    if (ticket != 0 && grid)
        grid->thumbs().cancel(ticket);
    ticket = 0;
    requested = 0;
}

void ThumbView::release() {
    cancelLoad();
    loaded = 0;
    if (!m_parts)
        return;
    m_parts->image = QImage();
    m_parts->baked = QImage();
    m_parts->bakedFrom = 0;
    invalidateComposed();
}

const QImage& ThumbView::image() const {
    static const QImage none;
    return m_parts ? m_parts->image : none;
}

void ThumbView::setImage(const QImage& image, bool fade) {
    Parts& p = parts();
    const bool first = p.image.isNull();
    // Deep (16-bit) pictures are kept at 8 bits: Qt's smooth scaling of 64-bit
    // images with alpha wraps bright channels to 0 in the last column when it
    // shrinks them much, and a cell shows no more than 8 bits anyway.
    p.image = image.depth() > 32 ? image.convertToFormat(image.hasAlphaChannel()
                                                             ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32)
                                 : image;
    p.baked = QImage();
    invalidateComposed();
    if (fade && first) {
        p.imgLayer.add("fade", Animation::basic(Prop::Opacity, 0, 1, fadeInDuration));
        if (grid)
            grid->trackAnimating(this);
    }
    changed();
}

void ThumbView::develop() {
    Parts& p = parts();
    p.flashLayer.add("develop", Animation::keyFrames(Prop::Opacity, {0.9, 0.55, 0}, {0, 0.25, 1},
                                                     1.2, motion::Timing::easeOut()));
    const auto pop = Animation::spring(Prop::Scale, {0.93, 0.93}, {1, 1}, popSpring);
    p.imgLayer.add("pop", pop);
    p.flashLayer.add("pop", pop);
    p.ringLayer.add("pop", pop);
    if (grid)
        grid->trackAnimating(this);
}

void ThumbView::vanish(std::function<void()> removed) {
    Parts& p = parts();
    const motion::Value scale = p.imgLayer.value(Prop::Scale, {1, 1});
    p.imgLayer.add("vanish",
                   Animation::basic(Prop::Scale, scale, {0.9, 0.9}, vanishDuration).fillForwards());
    const double alpha = p.layer.value(Prop::Opacity, 1.0);
    p.layer.add("vanish", Animation::basic(Prop::Opacity, alpha, 0, vanishDuration)
                              .fillForwards()
                              .onDone([removed = std::move(removed)](bool) {
                                  if (removed)
                                      removed();
                              }));
}

void ThumbView::setHover(bool on) {
    if (hover == on)
        return;
    hover = on;
    if (grid) {
        if (on)
            grid->hovered = shot->path;
        else if (grid->hovered == shot->path)
            grid->hovered.reset();
    }
    Parts& p = parts();
    if (!on)
        p.hoveredButton = Button::None;
    updateState(true);
}

ThumbView::Button ThumbView::buttonAt(QPointF point) const {
    if (!m_parts || !m_parts->geometry.buttonsShown || !hover)
        return Button::None;
    const QPointF local = point - m_frame.topLeft();
    if (m_parts->geometry.trashB.contains(local))
        return Button::Trash;
    if (m_parts->geometry.copyB.contains(local))
        return Button::Copy;
    return Button::None;
}

void ThumbView::setHoveredButton(Button button) {
    if (!m_parts || button == m_parts->hoveredButton)
        return;
    m_parts->hoveredButton = button;
    changed();
}

void ThumbView::fire(Button button) {
    GridHost* host = grid ? grid->host() : nullptr;
    if (!host)
        return;
    if (button == Button::Copy) {
        host->copy({shot});
    } else if (button == Button::Trash) {
        if (selected)
            host->trash(grid->selectedShots());
        else
            host->trash({shot});
    }
}

double ThumbView::ringOpacity() const {
    return m_parts ? m_parts->ringLayer.value(Prop::Opacity, m_parts->ringOn ? 1.0 : 0.0)
                   : (selected ? 1.0 : 0.0);
}

double ThumbView::checkOpacity() const {
    return m_parts ? m_parts->checkLayer.value(Prop::Opacity, m_parts->checkOn ? 1.0 : 0.0)
                   : (selected || hover || selectMode ? 1.0 : 0.0);
}

double ThumbView::checkFill() const {
    return m_parts ? m_parts->checkLayer.value(Prop::Param, m_parts->checkFilled ? 1.0 : 0.0)
                   : (selected ? 1.0 : 0.0);
}

double ThumbView::buttonsOpacity() const {
    if (!m_parts || !m_parts->geometry.buttonsShown)
        return 0.0;
    return m_parts->buttonsLayer.value(Prop::Opacity, m_parts->buttonsOn ? 1.0 : 0.0);
}

bool ThumbView::animating() const {
    if (!m_parts)
        return false;
    const Parts& p = *m_parts;
    return p.layer.animating() || p.imgLayer.animating() || p.flashLayer.animating() ||
           p.ringLayer.animating() || p.checkLayer.animating() || p.buttonsLayer.animating();
}

QRectF ThumbView::presentationBounds() const {
    // The ring reaches 3 points outside; a pop can grow the parts a little past 1.
    if (!m_parts)
        return m_frame.adjusted(-4, -4, 4, 4);
    const QPointF centre = m_frame.center();
    const motion::Value pos = m_parts->layer.value(Prop::Position, {centre.x(), centre.y()});
    const motion::Value scale = m_parts->layer.value(Prop::Scale, {1, 1});
    const double tx = m_parts->layer.value(Prop::TranslationX, 0.0);
    const double w = (m_frame.width() + 8) * std::max(std::abs(scale[0]), 1.0);
    const double h = (m_frame.height() + 8) * std::max(std::abs(scale[1]), 1.0);
    return QRectF(pos[0] + tx - w / 2, pos[1] - h / 2, w, h);
}

void ThumbView::changed() {
    if (!grid)
        return;
    const QRectF now = presentationBounds();
    if (!m_parts) {
        grid->repaintCell(now);
        return;
    }
    grid->repaintCell(m_parts->shown.isNull() ? now : (m_parts->shown | now));
    m_parts->shown = now;
}

QImage ThumbView::dragImage() const {
    const QRectF r = imageRect();
    const QSizeF size = r.size();
    const qreal dpr = grid ? grid->devicePixelRatioF() : 1.0;
    QImage out((size * dpr).toSize().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(dpr);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(QPointF(0, 0), size), 6, 6);
    p.setClipPath(clip);
    const QImage& shown = image();
    if (!shown.isNull()) {
        const double s = std::max(size.width() / shown.width(), size.height() / shown.height());
        const QSizeF drawn(shown.width() * s, shown.height() * s);
        const QRectF target(
            QPointF((size.width() - drawn.width()) / 2, (size.height() - drawn.height()) / 2),
            drawn);
        p.drawImage(target, shown);
    } else {
        p.fillRect(QRectF(QPointF(0, 0), size), QColor::fromRgbF(0.18f, 0.18f, 0.18f));
    }
    return out;
}

void ThumbView::dropCache() {
    if (!m_parts)
        return;
    m_parts->baked = QImage();
    m_parts->bakedFrom = 0;
    invalidateComposed();
}
