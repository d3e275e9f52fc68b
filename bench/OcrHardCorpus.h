#pragma once
// The hard recognition corpus: windows of made-up applications as people
// capture them, generated with a fixed seed. Light and dark themes at
// 1440×900, 1920×1080 and 2880×1800 (twice the size of 1440×900); text of 11
// to 20 px at 1× and twice that at 2×; grey secondary and tertiary text; white
// text on coloured buttons, badges and pills; tinted and strongly coloured
// bands; bold, serif and monospace faces; and real Qt widgets rendered
// offscreen (buttons, a menu, a dialog, a table, a code editor and a terminal).
// Only words that were really drawn are kept as the truth of an image.
#pragma once

#include <QImage>
#include <QSize>
#include <QStringList>

namespace hard {

// Lower-cased runs of letters and digits, two characters or longer: the unit
// both the truth and the recognised texts are compared in.
QStringList tokens(const QString& text);

struct Image {
    QImage image;
    QStringList words;
};

// One window. Sizes are logical; `ratio` 2 draws everything twice as large.
Image window(const char* const* words, int wordCount, int index, QSize logical, qreal ratio,
             bool dark);

} // namespace hard
