#pragma once

#include "library/Shot.h"

class PayloadMime;

/// The copy command's clipboard content.
namespace Clip {

/// What copying `shots` puts on the clipboard: for one still image, PNG data
/// (the file's own bytes for a PNG, re-encoded otherwise) and its published
/// URL; for several shots or a recording, their published URLs only, in order.
/// Null for no shots.
PayloadMime* mimeData(const ShotList& shots);

/// Replaces the clipboard with mimeData(shots); with no shots it is left cleared.
void copy(const ShotList& shots);

} // namespace Clip
