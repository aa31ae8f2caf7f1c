#pragma once

// The grid drawn into the mosaic when "Show Grid" is checked: lines of
// latitude and longitude every 7.5 minutes to 1 degree, the UTM grid, or the
// outline of every tile. Drawn into the picture itself so that saved, copied, printed
// and exported maps carry it. Tile outlines are the loader's (it frames each
// tile as it draws it); the latitude/longitude grid is drawn here, once a
// load has finished.

#include "workspace/MapViewState.h"

#include <QColor>
#include <QImage>
#include <QStringList>

class QPainter;

namespace varrow {

// Items of the "Grid Type" selector.
enum class TGridType {
    Minutes7_5 = 0,
    Minutes15 = 1,
    Minutes30 = 2,
    OneDegree = 3,
    Tiles = 4,
    Utm = 5
};
constexpr int GridTypeCount = 6;

// "7.5 Minute", "15 Minute", "30 Minute", "1 Degree", "Tiles", "UTM".
QStringList GridTypeCaptions();

// Degrees between grid lines for a selector item; any item that is not a
// latitude/longitude grid gives 0.125.
double GridSpacing(int gridItem);
// Strokes per grid line for a scale selector item: 1 at 512 and 256 m per
// pixel, 2 at 128, 3 at the finer scales.
int GridLineWidth(int scaleItem);
bool WantsTileOutlines(bool showGrid, int gridItem);
bool WantsLatLongGrid(bool showGrid, int gridItem);
bool WantsUtmGrid(bool showGrid, int gridItem);

// What the grid overlay draws: nothing, latitude/longitude lines or tile outlines.
struct TGridOptions {
    bool Show = false;
    TGridType Type = TGridType::Minutes7_5;

    bool TileOutlines() const { return WantsTileOutlines(Show, static_cast<int>(Type)); }
    bool LatLongGrid() const { return WantsLatLongGrid(Show, static_cast<int>(Type)); }
    bool UtmGrid() const { return WantsUtmGrid(Show, static_cast<int>(Type)); }
};

// The edge value rounded away from zero to a multiple of the spacing.
double FirstGridValue(double value, double spacing);

// Colours of the latitude/longitude grid.
extern const QColor GridColourA; // red
extern const QColor GridColourB; // blue

// n one-pixel dotted strokes from (x1, y1) to (x2, y2), each one pixel right
// of and below the one before. A stroke's dots are one colour and its gaps
// the other, and neighbouring strokes swap them, so the line reads on any
// background. The painter's state is left as it was.
void DrawGridLine(QPainter& painter, int x1, int y1, int x2, int y2, const QColor& a,
                  const QColor& b, int n);

// Draws the meridians and parallels of the view into the mosaic. Each is the
// straight line through the positions of a grid value at the mosaic's corner
// latitudes (or longitudes), drawn from edge to edge. Nothing is drawn when a
// corner lies beyond 180 degrees of longitude or 90 of latitude, or when the
// map spans the date line.
// The lines are labelled in degrees and minutes where they meet the map's edges.
void DrawLatLongGrid(QImage& mosaic, const TMapViewState& view, double spacing, int lineWidth);

// Draws the grid the options ask for once a load has finished (tile outlines
// are the loader's); true when it drew anything.
bool DrawGridOverlay(QImage& mosaic, const TMapViewState& view, const TGridOptions& options);

} // namespace varrow
