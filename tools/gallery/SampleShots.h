#pragma once

// Screenshots of real Qt widgets for the gallery's rolls, and a listing of them.
#include "library/Shot.h"

#include <QImage>
#include <vector>

class GridView;

namespace gallery {

/// Screenshots of real Qt widgets, made once: forms, tables, code, a calendar,
/// a tall tree and a wide banner, so a roll shows its usual mix of shapes.
const std::vector<QImage>& sampleShots();
/// A sample scaled as the thumbnail cache would hand it to a cell.
QImage thumb(const QImage& shot);
/// `count` shots of the samples, newest first, a recording now and then.
ShotList sampleRoll(int count);
/// Gives the grid's cells of `shots` their sample images, as if loaded.
void showSamples(GridView& grid, const ShotList& shots);

} // namespace gallery
