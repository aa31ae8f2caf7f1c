#pragma once

// Pixel memory for downloaded tiles, handed out again when the tile is let go.
// A fresh 160 KB image per tile is mapped, faulted in page by page and
// unmapped again, which on a fast service cost as much as decoding it.

#include <QImage>

namespace varrow {

// A 200 × 200 Format_RGB32 image on recycled memory (contents undefined). Its
// memory returns for reuse when the last copy of the image is gone, on
// whichever thread that is.
QImage NewTileImage();

} // namespace varrow
