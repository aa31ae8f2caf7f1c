#pragma once

// Reprojected demo tiles against the demo tiles rendered directly, without
// any service: the source tiles are painted in-process, as the fixture
// varrow-tiles serves them at /xyz/. Shared by the tests and the benchmark.

#include "tiles/Reproject.h"

#include <QImage>

namespace varrow::test {

// The UTM tile (of the zone the position falls in, or of zone when given)
// that holds a position.
TTileLocation TileAt(double latitude, double longitude, double scale, TTileTheme theme,
                     int zone = 0);

// The source tiles a reprojection needs, painted as the fixture serves them.
std::vector<QImage> PaintSourceTiles(const TReprojection& plan, TTileTheme theme);

struct TReprojectedTile {
    QImage Reprojected; // through the web-Mercator tiles
    QImage Direct;      // the UTM tile without grid lines or label
    double Mean = 0;    // mean difference, levels per channel
    double Blurred = 0; // the same of both shrunk to a quarter: the ground, not its texture
    int ShiftX = 0;     // the shift of Direct, within ±2 px, that matches best
    int ShiftY = 0;
    int Zoom = 0;
    double Ratio = 0;
};
TReprojectedTile ReprojectDemoTile(const TTileLocation& location, int maxZoom = 22);

// The largest distance in source pixels between the control grid's position
// of a target pixel centre and the exact transform's, over every pixel.
double ControlGridError(const TReprojection& plan);

} // namespace varrow::test
