#pragma once

// The measuring tool: a polyline laid over the mosaic with the mouse. It keeps
// its vertices in mosaic pixels, draws itself straight into the map picture
// and wipes itself by copying the background copy back over its extent. It
// reads the length of the open polyline, the area of the polygon closed
// through the same vertices and the azimuth of the last segment.
//
// A press or drag step restores only the figure's previous extent and draws
// the figure again, so its cost follows the figure, never the mosaic (which
// can be 15,000 pixels square).

#include <QPoint>
#include <QRect>
#include <QRgb>
#include <Qt>

#include <array>
#include <vector>

class QImage;

namespace varrow {

class TMapCanvas;

// Mouse buttons and modifier keys at a mouse event.
struct TShiftState {
    bool Left = false;
    bool Right = false;
    bool Middle = false;
    bool Ctrl = false;

    // buttons as Qt reports them during the event (a press includes the
    // button pressed).
    static TShiftState FromQt(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
};

using TPath = std::vector<QPoint>;

// At one pixel of width an inside-frame pen draws as a solid one; a clear
// pen draws nothing.
enum class TPenStyle { Solid, InsideFrame, Clear };

// One of the parallel strokes of a segment: Side -1 lies one pixel on the
// upper or left side, 0 on the segment, +1 on the other side.
struct TBandStroke {
    int Side;
    QRgb Colour;
    TPenStyle Style;
};

using TBandStyle = std::array<TBandStroke, 3>;

class TMeasureTool {
public:
    // Half the size of a vertex mark and of its hit box, and the margin of
    // the figure's bounds.
    static constexpr int MarkRadius = 4;

    // Red above or left of the segment, black on it: a two-pixel band that
    // shows on light and dark maps alike. The third stroke is kept clear.
    static constexpr TBandStyle BandStyle = {{
        {-1, qRgb(255, 0, 0), TPenStyle::InsideFrame},
        {0, qRgb(0, 0, 0), TPenStyle::InsideFrame},
        {+1, qRgb(0, 0, 255), TPenStyle::Clear},
    }};
    static constexpr QRgb SelectedMarkColour = qRgb(0, 255, 255);
    static constexpr QRgb MarkColour = qRgb(255, 0, 0);
    static constexpr QRgb MarkOutlineColour = qRgb(255, 255, 255);

    TPath Points;        // mosaic pixels, in order of entry
    int Selected = -1;   // index into Points, -1 for none
    double XScale = 0.0; // metres per pixel along x
    double YScale = 0.0; // metres per pixel along y

    void Clear();
    // Appends the vertex and returns its index.
    int AddPoint(int x, int y);
    // Removes the last vertex, if any; Selected stays as it was.
    void DeleteLastPoint();
    // The lowest index whose hit box (vx - 4 <= x < vx + 4, same for y)
    // holds the point, or -1.
    int HitTest(int x, int y) const;
    // Every pixel the figure draws on; empty without vertices.
    QRect BoundsRect() const;

    // Draws the figure into picture (Format_RGB32), without reporting it.
    void Draw(QImage& picture) const;
    // Draws the figure onto the map and reports its extent as changed.
    void Draw(TMapCanvas& canvas) const;
    // Wipes the figure's extent back to the background copy.
    void Erase(TMapCanvas& canvas) const;

    // Left button: selects the vertex under the point or appends one there.
    // Right button alone: deletes the last vertex. Anything else: nothing.
    void MouseDown(int x, int y, TMapCanvas& canvas, TShiftState shift);
    // Moves the selected vertex to the point; with Ctrl the whole figure
    // moves with it.
    void MouseMove(int x, int y, TMapCanvas& canvas, TShiftState shift);

    // Of the open polyline, in pixels or in metres.
    double Length(bool inPixels) const;
    // Of the polygon closed through the vertices, in square pixels or square metres.
    double Area(bool inPixels) const;
    // Degrees clockwise from the top of the mosaic (grid north), from vertex
    // i to vertex j, in unscaled pixels; 0 for an index out of range.
    double Azimuth(int i, int j) const;
    // From the second-last to the last vertex.
    double LastAzimuth() const;

private:
    // Restores before (the extent prior to an edit), draws the figure again
    // and reports what changed.
    void Redraw(TMapCanvas& canvas, const QRect& before) const;
};

} // namespace varrow
