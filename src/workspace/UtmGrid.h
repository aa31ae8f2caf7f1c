#pragma once

// The UTM grid of a map: the map is drawn in its zone's UTM grid, so the
// grid lines are straight rows and columns of pixels, every 100 m, 1 km,
// 10 km or 100 km, labelled at the map's edges.

#include "workspace/GridLabels.h"
#include "workspace/MapViewState.h"

#include <QImage>

#include <vector>

namespace varrow {

// Metres between lines at a scale: the closest together of 100 m, 1 km, 10 km
// and 100 km that leaves at least 40 pixels between lines.
double UtmGridSpacing(double scale);

struct TUtmGridLine {
    int Pixel = 0;    // column (for an easting) or row (for a northing) of the mosaic
    double Metres = 0; // the easting or northing
};

struct TUtmGrid {
    double Spacing = 0;
    std::vector<TUtmGridLine> Eastings;  // west to east
    std::vector<TUtmGridLine> Northings; // south to north
};

// The lines within a mosaic of the given size. Only the zone's own tiles get
// lines: past its 921,600 m the map shows the next zone.
TUtmGrid UtmGridOf(const TMapViewState& view, QSize mosaic);

// "345" for 345,000 mE at 1 km and coarser, "345.1" at 100 m; the full
// value with its unit ("345000mE", "3584000mN") for the lines nearest the
// map's lower-left corner.
QString UtmLabel(double metres, double spacing, bool easting, bool full);
std::vector<TGridLabel> UtmGridLabels(const TUtmGrid& grid);

// Draws the lines and their labels into the mosaic.
void DrawUtmGrid(QImage& mosaic, const TMapViewState& view);

} // namespace varrow
