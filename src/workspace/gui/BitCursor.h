#pragma once

// A marker drawn into a picture: a 20 by 20 cross, its bars two pixels wide,
// white with a one-pixel black outline, on a background that is left out when
// drawn (the colour of the bitmap's bottom-left pixel). The marker keeps the
// picture pixels it covers, so hiding it puts the picture back as it was.

#include <QImage>
#include <QPoint>

namespace varrow {

class TBitCursor {
public:
    static constexpr int Size = 20;

    TBitCursor();

    // Draws the marker centred on (x, y) of the canvas (left = x - 10,
    // top = y - 10), first removing it from where it was shown before. Parts
    // outside the canvas are left out.
    void ShowMarker(QImage& canvas, int x, int y);
    // Puts the saved pixels back; nothing happens when the marker is hidden.
    void HideMarker(QImage& canvas);

    bool Shown() const { return m_shown; }
    // The point it is, or was last, shown at.
    QPoint Point() const { return m_point; }
    // The rectangle it covers (or covered) on the canvas.
    QRect Rect() const;
    // The cross on its background colour.
    const QImage& Bitmap() const { return m_bitmap; }
    QRgb TransparentColour() const { return m_bitmap.pixel(0, Size - 1); }

private:
    QImage m_bitmap; // RGB32, the background in the transparent colour
    QImage m_masked; // ARGB32 premultiplied, the background fully transparent
    QImage m_saved;  // the canvas pixels under Rect()
    QPoint m_point;
    bool m_shown = false;
};

} // namespace varrow
