#pragma once

// Tiles into the mosaic by rows of pixels: a downloaded tile (Format_RGB32,
// the mosaic's own layout) is copied, a cached one (Format_RGB888) widened on
// the way. Neither goes through a painter, which costs several times more per
// tile than the copy.

#include "TileLibrary.h"

#include <QImage>

namespace varrow {

// Draws tile unscaled with its top-left corner at position, clipped by canvas
// (Format_RGB32). With outline, the tile's outermost rows and columns turn
// black, a one-pixel frame. Other tile formats are converted first; a null
// tile draws nothing.
void DrawTilePixels(const QImage& tile, QImage& canvas, TPoint position, bool outline);

// The pixels of tile (Format_RGB32) into narrow, an image of the same size
// in Format_RGB888 (made so when it is not), without allocating when it is.
void NarrowTile(const QImage& tile, QImage& narrow);

} // namespace varrow
