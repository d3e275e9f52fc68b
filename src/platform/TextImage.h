#pragma once

#include <QImage>
#include <QList>
#include <QRect>

/// Turns a screenshot into what the text engine reads best: dark text on a
/// white page, whatever the colours behind each piece of text. Stateless;
/// safe to call from any thread.
namespace TextImage {

/// One piece of ink: a run of touching strokes (a letter, or letters so close
/// that their edges touch), with the background around it.
struct Blob {
    QRect box;
    int background = 0; // grey level around the piece
    int contrast = 0;   // largest distance of its pixels from the background
};

/// The result of normalize().
struct Page {
    QImage image;      // Format_Grayscale8, white page with dark text
    QList<Blob> blobs; // the pieces of ink that were kept
};

/// Finds the pieces of ink of a grayscale image (pixels whose 3 × 3
/// neighbourhood is not flat), takes each one's background from the pixels
/// around its box, and draws it dark on white with its contrast stretched.
/// Frames that enclose other pieces (button and pill outlines, table grids)
/// and pieces that are too faint or too large to be text are left out.
Page normalize(const QImage& gray);

/// The height most text of the page has: a low quantile of the heights of
/// the pieces of ink, so that small interface text decides; 0 without ink.
int textHeight(const QList<Blob>& blobs);

} // namespace TextImage
