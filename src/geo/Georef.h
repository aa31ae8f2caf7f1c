#pragma once

// Conversion between geographic positions and UTM positions, zone edges and
// zone-to-zone conversion. Pure computation; every call works on its own
// constants, so conversions are safe from any thread.

#include <array>

namespace varrow {

// Decimal degrees, east and north positive. No normalisation on input.
struct TGeoPosition {
    double Longitude = 0.0;
    double Latitude = 0.0;
};

// Metres with false easting 500,000; a negative zone marks the southern
// hemisphere, whose northings carry a false northing of 10,000,000.
struct TUtmPosition {
    double Easting = 0.0;
    double Northing = 0.0;
    int Zone = 0;
};

struct TEllipsoidParams {
    double a; // semi-major axis, metres
    double b; // semi-minor axis, metres
    const char* Name;
};

struct TGeoParams {
    int Ellipsoid; // row of the ellipsoid table
    double dx, dy, dz; // carried for reference; no conversion applies them
    const char* Name;
};

extern const std::array<TEllipsoidParams, 22> EllipsoidTable;
extern const std::array<TGeoParams, 23> DatumTable;

// The datum every caller in the program converts with.
constexpr int NorthAmerican1983 = 14;
// What an out-of-range datum row falls back to.
constexpr int NorthAmerican1927 = 13;

// The working constants of one conversion.
struct TDatumConstants {
    double a = 0, b = 0;
    double k0 = 0.9996;
    double e2 = 0;  // first eccentricity squared
    double ep2 = 0; // second eccentricity squared
    double A = 0, B = 0, C = 0, D = 0; // meridian-arc coefficients
};

TDatumConstants SelectDatum(int datum);

// Meridian arc length in metres from the equator to the latitude (degrees).
double MeridianArc(const TDatumConstants& k, double latitude);

TGeoPosition UtmToGeographic(int zone, int datum, double northing, double easting);
TUtmPosition GeographicToUtm(int datum, double latitude, double longitude);
// Forces the zone number; the hemisphere still follows the latitude.
TUtmPosition GeographicToUtmInZone(int zone, int datum, double latitude, double longitude);

struct TZoneEdges {
    double West = 0.0;
    double East = 0.0;
};
TZoneEdges ZoneEdgeEastings(int zone, int datum, double northing);

// Returns the position in toZone (Zone field set to the zone used).
TUtmPosition UtmToOtherZone(int fromZone, int toZone, int datum, double northing, double easting);

} // namespace varrow
