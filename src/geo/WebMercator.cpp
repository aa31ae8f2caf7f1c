#include "WebMercator.h"

#include <algorithm>
#include <cmath>

namespace varrow {

namespace {

constexpr double Pi = 3.14159265358979323846;
// The sphere of the services: the semi-major axis of WGS 84.
constexpr double SphereRadius = 6378137.0;
constexpr double DegToRad = Pi / 180.0;

} // namespace

double MercatorWorldPixels(int zoom) {
    return std::ldexp(double(MercatorTileSize), zoom);
}

TMercatorPixel GeographicToMercator(double latitude, double longitude, int zoom) {
    const double world = MercatorWorldPixels(zoom);
    const double phi = std::clamp(latitude, -MercatorMaxLatitude, MercatorMaxLatitude) * DegToRad;
    TMercatorPixel p;
    p.X = (longitude + 180.0) / 360.0 * world;
    p.Y = (0.5 - std::asinh(std::tan(phi)) / (2.0 * Pi)) * world;
    return p;
}

void MercatorToGeographic(const TMercatorPixel& pixel, int zoom, double& latitude,
                          double& longitude) {
    const double world = MercatorWorldPixels(zoom);
    longitude = pixel.X / world * 360.0 - 180.0;
    latitude = std::atan(std::sinh(Pi * (1.0 - 2.0 * pixel.Y / world))) / DegToRad;
}

double MercatorGroundResolution(double latitude, int zoom) {
    return std::cos(latitude * DegToRad) * 2.0 * Pi * SphereRadius / MercatorWorldPixels(zoom);
}

int MercatorZoomForScale(double latitude, double scale, int maxZoom) {
    const int top = std::clamp(maxZoom, 0, MaxMercatorZoom);
    for (int z = 0; z < top; ++z)
        if (MercatorGroundResolution(latitude, z) <= scale) return z;
    return top;
}

} // namespace varrow
