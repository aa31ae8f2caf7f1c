#pragma once

// GIF encoding through giflib: one 8-bit image with a palette of the picture's own colours
// (exact up to 256 colours, quantised beyond). Used for saved map images and for GIF tiles.

#include <QByteArray>
#include <QIODevice>
#include <QImage>

#include "io/SaveProgress.h"

namespace varrow {

// The picture as a GIF file in memory. Safe to call from several threads at once. Raises
// EFileWriteError for a null picture or one larger than 65535 pixels either way.
QByteArray EncodeGif(const QImage& image);

// The same, written to device; a write failure raises EFileWriteError.
void WriteGif(const QImage& image, QIODevice& device, const TSaveProgress* progress = nullptr);

} // namespace varrow
