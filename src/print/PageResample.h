#pragma once

// Resampling of the map onto page pictures. The map can be 15,000 × 15,000 pixels, so the
// source is read where it lies, row by row, and never copied or converted as a whole.

#include <QImage>
#include <QRect>
#include <QRectF>

#include <vector>

namespace varrow {

enum class TStretch {
    Plain,  // nearest pixel: each map pixel becomes a block of page pixels
    Smooth, // area averaging: every page pixel is the mean of the map area it covers
};

// For every target pixel along one axis, the source pixels it takes and their weights.
struct TStretchAxis {
    std::vector<int> First;
    std::vector<int> Count;
    std::vector<int> Offset; // into Weights
    std::vector<float> Weights;

    // Source pixels [Low, High) that target pixels [first, last) take.
    int Low(int first, int last) const;
    int High(int first, int last) const;
};

// The source pixel Plain takes for each of n target pixels over [start, start + length).
TStretchAxis PlainAxis(double start, double length, int n, int limit);

// The stretch of source (image pixels, within the image) onto a target of the given size,
// worked out once so that any part of the target can be drawn on its own with the pixels it
// has in the whole: a page is printed a band at a time. The image is read when a part is
// drawn; it must stay alive and keep its size meanwhile.
class TStretcher {
public:
    TStretcher(const QImage& image, const QRectF& source, const QSize& target, TStretch mode);

    const QSize& Target() const { return m_target; }
    // Draws part (target pixels, clipped to the target) onto canvas (Format_RGB888 or
    // Format_RGB32) with part's top-left corner at at, clipped to the canvas.
    void Draw(const QRect& part, QImage& canvas, const QPoint& at) const;

private:
    const QImage& m_image;
    QSize m_target;
    TStretch m_mode;
    TStretchAxis m_x, m_y;
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
