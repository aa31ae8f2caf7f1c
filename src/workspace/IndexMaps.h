#pragma once

// The three index maps of the "Index" page: the conterminous United States,
// Alaska and Hawaii. Each picture is an equirectangular frame: pixel columns
// are equal steps of longitude and rows equal steps of latitude between the
// frame's bounds. Window-free so the arithmetic and the readout texts can be
// checked without a display.

#include "geo/Georef.h"

#include <QLocale>
#include <QPoint>
#include <QString>

#include <array>
#include <optional>

namespace varrow {

enum class TIndexMap { UnitedStates = 0, Alaska = 1, Hawaii = 2 };

constexpr int IndexMapCount = 3;
// Every picture has this size, and each map control shows it at that size.
constexpr int IndexMapWidth = 380;
constexpr int IndexMapHeight = 237;

// Decimal degrees.
struct TIndexFrame {
    double West;
    double North;
    double East;
    double South;
};

const TIndexFrame& IndexFrame(TIndexMap map);
// The maps in the order a position is looked up: United States, Alaska, Hawaii.
const std::array<TIndexMap, IndexMapCount>& IndexMapOrder();
// Resource path of the map's picture.
QString IndexMapPicture(TIndexMap map);

// A point of a map control (width by height) to longitude and latitude.
TGeoPosition IndexPixelToGeographic(TIndexMap map, int x, int y, int width = IndexMapWidth,
                                    int height = IndexMapHeight);
// The control pixel of a position, or nothing when the position lies outside
// the map's bounds (which belong to the map). A position on the east or south
// bound gives the pixel just past the picture's edge.
std::optional<QPoint> IndexGeographicToPixel(TIndexMap map, double longitude, double latitude,
                                             int width = IndexMapWidth,
                                             int height = IndexMapHeight);

struct TIndexHit {
    TIndexMap Map;
    QPoint Pixel;
};
// The first map, in lookup order, that contains the position.
std::optional<TIndexHit> FindIndexMap(double longitude, double latitude);

struct TIndexReadouts {
    QString Longitude; // "-125.000 "
    QString Latitude;  // "49.600 "
    QString Easting;   // grouped; no decimals over the United States, three elsewhere
    QString Northing;
    QString Zone;
};

// What the readouts show for the mouse at (x, y) over a map control.
TIndexReadouts IndexReadouts(TIndexMap map, int x, int y, int width = IndexMapWidth,
                             int height = IndexMapHeight, const QLocale& locale = QLocale());

} // namespace varrow
