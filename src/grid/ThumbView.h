#pragma once

#include "grid/GridLayout.h"
#include "library/Shot.h"
#include "shelf/Motion.h"

#include <QImage>
#include <QRectF>
#include <QRgb>
#include <QString>
#include <functional>
#include <memory>

class GridView;
class QPainter;

/// One frame of the film roll: a shot's thumbnail with rounded corners, a caption
/// strip (frame number, capture time), a duration badge for recordings, a
/// selection ring, a check mark and two buttons (copy, trash) that fade in under
/// the pointer. A light object, not a widget: the grid owns, positions, hit-tests
/// and paints it. Geometry is in points, y down, relative to the cell's top-left.
///
/// A roll holds thousands of cells but shows a few dozen, so a cell keeps only
/// its record until it is first painted, hovered or animated; then it makes its
/// parts (geometry, animation layers, image, caption texts) and keeps them.
class ThumbView : public std::enable_shared_from_this<ThumbView> {
public:
    static constexpr double captionH = GridLayout::captionH;
    /// The buttons hide below this image size: they would cover the picture.
    static constexpr double buttonsMinWidth = 110;
    static constexpr double buttonsMinHeight = 46;

    enum class Button : quint8 { None, Copy, Trash };

    /// The rectangles of the cell's parts, recomputed by layoutLayers().
    struct Geometry {
        QRectF img;   ///< The image; the develop flash covers the same rectangle.
        QRectF ring;  ///< Selection ring, 3 points outside the image.
        QRectF check; ///< Circular check mark at the image's top-left corner.
        QRectF numL;  ///< Caption: frame number.
        QRectF timeL; ///< Caption: capture time.
        QRectF badge; ///< Duration of a recording, bottom-left of the image.
        QRectF trashB;
        QRectF copyB;
        bool buttonsShown = false;
    };

    /// What a shown cell keeps besides its record.
    struct Parts {
        explicit Parts(ThumbView* owner, motion::Animator* animator);

        Geometry geometry;
        motion::Layer layer;        ///< Whole cell: flip.pos, flip.scale, cascade, fades.
        motion::Layer imgLayer;     ///< pop, vanish, fade-in of the first image, border change.
        motion::Layer flashLayer;   ///< develop, pop.
        motion::Layer ringLayer;    ///< pop, selection fade.
        motion::Layer checkLayer;   ///< visibility (Opacity) and selected fill (Param).
        motion::Layer buttonsLayer; ///< hover fade of both buttons.
        QImage image;
        // The image scaled to the image rectangle with its corners rounded, at the
        // device pixel ratio it was last painted with. Needed only while a part of
        // the cell animates; dropped once the composed look below is made.
        QImage baked;
        qint64 bakedFrom = 0;
        // The whole cell at rest (ring, image, border, badge, check, caption) in
        // device pixels with a margin for the ring: while only the cell as a whole
        // moves, scales or fades, a frame paints it with one blit.
        QImage composed;
        qreal composedRatio = 0;
        bool composedValid = false;
        int restPaints = 0; // paints at rest since the look last changed
        QString time;
        QString badge;
        bool captionDirty = true;
        double captionCreated = 0; // the shot's values the texts were built from
        double captionDuration = 0;
        QRectF shown; // the area last reported for repainting
        // What updateState last applied, so an animated change starts from the look on screen.
        QRgb borderFrom = 0;
        QRgb borderTo = 0;
        bool ringOn = false;
        bool checkOn = false;
        bool checkFilled = false;
        bool buttonsOn = false;
        Button hoveredButton = Button::None;
    };

    /// A cell for `shot` in `grid`; its animations run on `animator`.
    ThumbView(ShotPtr shot, GridView* grid, motion::Animator* animator);
    ~ThumbView();
    ThumbView(const ThumbView&) = delete;
    ThumbView& operator=(const ThumbView&) = delete;

    GridView* grid = nullptr; ///< The owning grid; cleared when the cell leaves it.
    ShotPtr shot;
    int number = 0;     ///< Frame number in the caption (the newest shot has the highest).
    int position = 0;   ///< Index in the grid's listing.
    int loaded = 0;     ///< Bucket of the image shown, 0 for none.
    int requested = 0;  ///< Bucket of the image being loaded, 0 for none.
    quint64 ticket = 0; ///< The cache's name for that request, to withdraw it.
    bool selected = false;
    bool selectMode = false; ///< The grid has a selection: hollow checks show without hover.
    bool captions = true;
    bool hover = false;

    /// Bookkeeping of the grid: the cell is in its listing, in its list of animating
    /// cells, waiting for its layout frame, holding a rendering cache, holding an image or a
    /// request.
    bool listed = true;
    bool trackedAnimating = false;
    bool stale = false;
    bool trackedBaked = false;
    bool trackedHolding = false;

    /// The frame in grid coordinates as last set (the model, not the presentation).
    const QRectF& frame() const { return m_frame; }
    /// Sets the frame at once; a size change lays the parts out again.
    void setFrame(const QRectF& frame);
    /// The image rectangle for the current frame and captions.
    QRectF imageRect() const;
    const Geometry& geometry() { return parts().geometry; }

    void layoutLayers();
    /// Marks the caption texts for rebuilding; they are built when next painted or read,
    /// so a listing of thousands of shots formats only the dates on screen.
    void updateCaption();
    /// Applies selected, selectMode and hover to ring, border, check and buttons.
    void updateState(bool animated);
    /// Makes sure an image of sufficient size for `scale` is shown or requested;
    /// a request already waiting moves ahead of the others.
    void load(double scale);
    /// Withdraws the request waiting for an image, if any.
    void cancelLoad();
    /// Withdraws the request and lets go of the image and the rendering caches:
    /// the cell is far from the viewport. It loads again when it comes back.
    void release();
    /// A new screenshot arriving: a white flash that fades and a small pop.
    void develop();
    /// Removal: the image shrinks while the cell fades; `removed` runs when the fade ends.
    void vanish(std::function<void()> removed);
    /// The picture dragged for this cell: the image area with rounded corners.
    QImage dragImage() const;

    /// Pointer over the cell (true) or gone (false); keeps the grid's `hovered`.
    void setHover(bool hover);
    /// The visible button at `point` (grid coordinates), if any.
    Button buttonAt(QPointF point) const;
    /// The button under the pointer, drawn with its hover colours.
    void setHoveredButton(Button button);
    /// Runs a button's action through the grid's host.
    void fire(Button button);

    /// Caption and badge texts (built on demand).
    QString numberText() const;
    QString timeText();
    QString badgeText(); ///< Empty for a still image.

    /// The image shown, null when none yet.
    const QImage& image() const;
    /// Shows `image` at once, or fading in when `fade` and nothing was shown.
    void setImage(const QImage& image, bool fade);

    /// The parts, made on first use.
    Parts& parts();
    const Parts* partsIfMade() const { return m_parts.get(); }
    Parts* partsIfMade() { return m_parts.get(); }
    /// The presentation value of the whole cell's `prop`, or `model` when nothing runs.
    motion::Value presented(motion::Prop prop, motion::Value model) const;

    /// What the parts show now (animations included): 0 hidden, 1 fully shown.
    double ringOpacity() const;
    double checkOpacity() const;
    double checkFill() const; ///< 0 the hollow mark, 1 the filled accent mark.
    double buttonsOpacity() const;

    /// The area the cell covers on screen now, animations included (grid coordinates).
    QRectF presentationBounds() const;
    /// True while any part of the cell animates.
    bool animating() const;
    /// Paints the cell at its presentation position; the painter is in grid coordinates.
    void paint(QPainter& painter);
    /// Drops the rendering cache (kept only for cells near the viewport).
    void dropCache();

private:
    void changed();
    void invalidateComposed();
    void ensureCaption();
    bool partsAtRest() const;
    void paintParts(QPainter& painter, double alpha);
    void paintComposed(QPainter& painter);
    QRgb borderTarget() const;
    void paintImage(QPainter& painter);
    static void paintBorder(QPainter& painter, const QRectF& rect, QRgb color);
    void paintCheck(QPainter& painter) const;
    void paintButtons(QPainter& painter) const;
    void paintCaption(QPainter& painter) const;

    motion::Animator* m_animator;
    QRectF m_frame;
    std::unique_ptr<Parts> m_parts;
};

using ThumbPtr = std::shared_ptr<ThumbView>;
