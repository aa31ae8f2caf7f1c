#pragma once

// Paints one tile from its address alone. Pure and thread-safe: it needs a
// QGuiApplication for its fonts, nothing else.

#include "TileAddress.h"

#include <QImage>

namespace varrow::tileserver {

// A 200 x 200 Format_RGB32 image. The address is not checked; any theme code
// other than 1 or 4 draws Topo.
QImage RenderTile(const TileAddress& address);

// Metres between the UTM grid lines drawn at a scale.
double GridSpacing(double scale);

// Metres between contour lines on Topo tiles at a scale.
double ContourInterval(double scale);

} // namespace varrow::tileserver
