#pragma once

// Paints one tile of the demo landscape from its address alone. Pure and
// thread-safe: it needs a QGuiApplication for the fonts of its label,
// nothing else. No more tiles are painted at once than there are cores;
// callers beyond that wait.

#include "TileAddress.h"

#include <QImage>

#include <string>

namespace varrow::demo {

// What is drawn over the landscape of a UTM tile.
struct RenderLayers {
    bool Grid = true;  // the zone's UTM grid lines
    bool Label = true; // the tile's address in its corner
};

// A 200 x 200 Format_RGB32 image. The address is not checked; any theme code
// other than 1 or 4 draws Topo.
QImage RenderTile(const TileAddress& address, const RenderLayers& layers = {});

// The same landscape as a 256 x 256 web-Mercator tile (Format_RGB32), as the
// public map services cut it: the ground only, no grid lines and no label.
QImage RenderMercatorTile(int theme, int zoom, int x, int y);

// Why an address has no tile ("s=20: scale code must be 8 to 19"), empty when it has one.
std::string TileAddressProblem(const TileAddress& address);

// Metres between the UTM grid lines drawn at a scale.
double GridSpacing(double scale);

// Metres between contour lines on Topo tiles at a scale.
double ContourInterval(double scale);

} // namespace varrow::demo
