#pragma once

// Resampling of the map onto page pictures. The map can be 15,000 × 15,000 pixels, so the
// source is read where it lies, row by row, and never copied or converted as a whole.

#include <QImage>
#include <QRect>
#include <QRectF>

namespace varrow {

enum class TStretch {
    Plain,  // nearest pixel: each map pixel becomes a block of page pixels
    Smooth, // area averaging: every page pixel is the mean of the map area it covers
};

// Draws the part source (image pixels, may be fractional; clipped to the image) of image onto
// the rectangle target of canvas (Format_RGB888 or Format_RGB32; clipped to the canvas).
// 32-bit images are read in place; any other format is converted only for the part drawn.
void StretchImage(const QImage& image, const QRectF& source, QImage& canvas, const QRect& target,
                  TStretch mode);

// target = source stretched by factor to (Trunc(width · factor), Trunc(height · factor)),
// smooth or plain; a null target when that size is empty.
void ResizeBitmap(const QImage& source, QImage& target, bool smooth, double factor);

} // namespace varrow
