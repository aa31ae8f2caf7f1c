#pragma once

// The web-Mercator tile grid that public map services publish: 256 × 256
// pixel tiles, zoom z splits the world into 2^z × 2^z of them, x grows east
// from the antimeridian and y grows south from about 85° N. Latitudes and
// longitudes are taken as they are (GRS 1980 and WGS 84 differ by far less
// than a pixel), on the sphere the services use.

namespace varrow {

constexpr int MercatorTileSize = 256;
// The zooms services publish; finer levels do not exist anywhere.
constexpr int MaxMercatorZoom = 23;
// Where the square world ends north and south.
constexpr double MercatorMaxLatitude = 85.05112877980659;

// A position in pixels of the whole world at one zoom: 0..256·2^z on both axes.
struct TMercatorPixel {
    double X = 0.0;
    double Y = 0.0;
};

// Pixels of the world at zoom z along each axis, 256·2^z.
double MercatorWorldPixels(int zoom);
// Latitudes beyond MercatorMaxLatitude are held to it.
TMercatorPixel GeographicToMercator(double latitude, double longitude, int zoom);
void MercatorToGeographic(const TMercatorPixel& pixel, int zoom, double& latitude,
                          double& longitude);
// Ground metres of one pixel at a latitude and zoom.
double MercatorGroundResolution(double latitude, int zoom);
// The coarsest zoom whose pixels at the latitude are no larger than scale
// metres, at most maxZoom (past it the finest level has to be magnified).
int MercatorZoomForScale(double latitude, double scale, int maxZoom);

} // namespace varrow
