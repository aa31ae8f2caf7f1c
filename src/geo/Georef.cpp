#include "Georef.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace varrow {

const std::array<TEllipsoidParams, 22> EllipsoidTable = {{
    {6378206.4, 6356583.8, "Clarke 1866"},
    {6378249.145, 6356514.86955, "Clarke 1880"},
    {6377397.155, 6356078.96284, "Bessel"},
    {6378157.5, 6356772.2, "International 1967"},
    {6378388.0, 6356911.94613, "International 1909"},
    {6378135.0, 6356750.519915, "WGS 72"},
    {6377276.3452, 6356075.4133, "Everest"},
    {6378145.0, 6356759.769356, "WGS 66"},
    {6378137.0, 6356752.31414, "GRS 1980"},
    {6378137.0, 6356752.31414, "WGS 84"},
    {6377563.396, 6356256.91, "Airy"},
    {6377304.063, 6356103.039, "Modified Everest"},
    {6377340.189, 6356034.448, "Modified Airy"},
    {6378137.0, 6356752.314245, "Walbeck"},
    {6378155.0, 6356773.3205, "Southeast Asia"},
    {6378160.0, 6356774.719, "Australian National"},
    {6378245.0, 6356863.0188, "Krassovsky"},
    {6378270.0, 6356794.343479, "Hough"},
    {6378166.0, 6356784.283666, "Mercury 1960"},
    {6378150.0, 6356768.337303, "Modified Mercury 1968"},
    {6378160.0, 6356774.7192, "South American 1969"},
    {6370997.0, 6370997.0, "Sphere of Radius 6370997m"},
}};

const std::array<TGeoParams, 23> DatumTable = {{
    {1, -162, -12, 206, "Adindan"},
    {1, -143, -90, -294, "Arc 1950"},
    {1, -160, -8, -300, "Arc 1960"},
    {15, -133, -48, 148, "Australian 1966"},
    {15, -134, -48, 149, "Australian 1984"},
    {3, -104, -129, 230, "Camp Area Astro"},
    {1, -136, -108, -292, "Cape"},
    {4, -87, -98, -121, "European 1950"},
    {3, -86, -98, -119, "European 1979"},
    {3, 84, -22, 209, "Geodetic 1949"},
    {3, -156, -271, -189, "Hong Kong 1963"},
    {3, -634, -549, -201, "Hu Tzu Shan"},
    {6, 289, 734, 257, "Indian"},
    {0, -8, 160, 176, "North American 1927"},
    {8, 0, 0, 0, "North American 1983"},
    {1, -346, -1, 224, "Oman"},
    {10, 375, -111, 431, "Ordnance Survey 1936"},
    {16, 27, -135, -89, "Pulkovo 1942"},
    {3, -288, 175, -376, "South American 1956"},
    {20, -57, 1, -41, "South American 1969"},
    {2, -128, 481, 664, "Tokyo"},
    {5, 0, 0, -4.5, "WGS 1972"},
    {9, 0, 0, 0, "WGS 1984"},
}};

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double DegToRad = Pi / 180.0;
constexpr double RadToDeg = 180.0 / Pi;
constexpr double FalseEasting = 500000.0;
constexpr double SouthernFalseNorthing = 10000000.0;

struct TZoneParams {
    double Lambda0; // central meridian, radians
    double FN;      // false northing
};

TZoneParams ZoneParams(int zone) {
    return {(std::abs(zone) * 6 - 183) * DegToRad, zone < 0 ? SouthernFalseNorthing : 0.0};
}

double MeridianArcRad(const TDatumConstants& k, double phi) {
    return k.A * phi + k.B * std::sin(2 * phi) + k.C * std::sin(4 * phi) +
           k.D * std::sin(6 * phi);
}

// Transverse Mercator forward projection for a zone already chosen.
TUtmPosition Project(const TDatumConstants& k, int zone, double latitude, double longitude) {
    const TZoneParams z = ZoneParams(zone);
    const double phi = latitude * DegToRad;
    const double dl = longitude * DegToRad - z.Lambda0;
    const double dl2 = dl * dl, dl3 = dl2 * dl, dl4 = dl2 * dl2;
    const double dl5 = dl4 * dl, dl6 = dl4 * dl2, dl7 = dl6 * dl, dl8 = dl4 * dl4;

    const double s = std::sin(phi);
    double c = std::cos(phi);
    if (c == 0.0)
        c = 1e-40;
    const double c3 = c * c * c, c5 = c3 * c * c, c7 = c5 * c * c;
    const double T = (s / c) * (s / c);
    const double T2 = T * T, T3 = T2 * T;
    const double eta2 = k.ep2 * c * c;
    const double eta4 = eta2 * eta2;
    const double N = k.a / std::sqrt(1 - k.e2 * s * s);
    const double M = MeridianArcRad(k, phi);

    TUtmPosition p;
    p.Zone = zone;
    p.Easting = k.k0 * (N * c * dl + N * c3 * (1 - T + eta2) * dl3 / 6 +
                        N * c5 * (5 - 18 * T + T2 + 14 * eta2 - 58 * T * eta2) * dl5 / 120 +
                        N * c7 * (61 - 479 * T + 179 * T2 - T3) * dl7 / 5040) +
                FalseEasting;
    p.Northing = k.k0 * (M + N * s * c * dl2 / 2 + N * s * c3 * (5 - T + 9 * eta2 + 4 * eta4) * dl4 / 24 +
                         N * s * c5 * (61 - 58 * T + T2 + 270 * eta2 - 330 * T * eta2) * dl6 / 720 +
                         N * s * c7 * (1385 - 3111 * T + 543 * T2 - T3) * dl8 / 40320) +
                 z.FN;
    return p;
}

// One step of the footpoint-latitude iteration; keeps M(phi) in keptM.
double FootpointStep(const TDatumConstants& k, double Mt, double phi, double& keptM) {
    keptM = MeridianArcRad(k, phi);
    const double dM = Mt - keptM;
    const double sinPhi = std::sin(phi);
    const double W2 = 1 - k.e2 * sinPhi * sinPhi;
    const double R = k.a * (1 - k.e2);
    return phi + dM * std::pow(W2, 1.5) / R + dM * dM * std::cos(phi) * (W2 * W2) * (-3 * k.e2) / (R * R);
}

} // namespace

TDatumConstants SelectDatum(int datum) {
    if (datum < 0 || datum >= static_cast<int>(DatumTable.size()))
        datum = NorthAmerican1927;
    const TEllipsoidParams& ell = EllipsoidTable[DatumTable[datum].Ellipsoid];
    TDatumConstants k;
    k.a = ell.a;
    k.b = ell.b;
    k.k0 = 0.9996;
    const double a2 = k.a * k.a, b2 = k.b * k.b;
    k.e2 = (a2 - b2) / a2;
    k.ep2 = (a2 - b2) / b2;
    const double e2 = k.e2, e4 = e2 * e2, e6 = e4 * e2, e8 = e4 * e4;
    const double c = k.a * (1 - e2);
    k.A = c * (1 + 3.0 / 4 * e2 + 45.0 / 64 * e4 + 175.0 / 256 * e6 + 11025.0 / 16384 * e8);
    k.B = -c / 2 * (3.0 / 4 * e2 + 15.0 / 16 * e4 + 525.0 / 512 * e6 + 2205.0 / 2048 * e8);
    k.C = c / 4 * (15.0 / 64 * e4 + 105.0 / 256 * e6 + 2205.0 / 4096 * e8);
    k.D = -c / 6 * (35.0 / 512 * e6 + 315.0 / 2048 * e8);
    return k;
}

double MeridianArc(const TDatumConstants& k, double latitude) {
    return MeridianArcRad(k, latitude * DegToRad);
}

TGeoPosition UtmToGeographic(int zone, int datum, double northing, double easting) {
    const TDatumConstants k = SelectDatum(datum);
    const TZoneParams z = ZoneParams(zone);
    const double Mt = (northing - z.FN) / k.k0;
    const double x = (easting - FalseEasting) / k.k0;

    double keptM = 0.0;
    double phi1 = FootpointStep(k, Mt, 0.0, keptM);
    double previousM = Mt;
    for (int i = 0; i < 10; ++i) {
        phi1 = FootpointStep(k, Mt, phi1, keptM);
        if (keptM == previousM)
            break;
        previousM = keptM;
    }
    phi1 = std::clamp(phi1, -Pi / 2, Pi / 2);

    const double s = std::sin(phi1), c = std::cos(phi1), t = std::tan(phi1);
    const double T = t * t, T2 = T * T, T3 = T2 * T;
    const double eta2 = k.ep2 * c * c;
    const double eta4 = eta2 * eta2, eta6 = eta4 * eta2, eta8 = eta4 * eta4;
    const double N1 = k.a / std::sqrt(1 - k.e2 * s * s);
    const double Dx = x / N1;
    const double Dx2 = Dx * Dx, Dx3 = Dx2 * Dx, Dx4 = Dx2 * Dx2;
    const double Dx5 = Dx4 * Dx, Dx6 = Dx4 * Dx2, Dx8 = Dx4 * Dx4;
    const double H = t * (1 + eta2);

    TGeoPosition g;
    g.Longitude = (z.Lambda0 + (1 / c) * (Dx - Dx3 * (1 + 2 * T + eta2) / 6 +
                                          Dx5 * (5 + 28 * T + 24 * T2 + 6 * eta2 + 8 * T * eta2) / 120)) *
                  RadToDeg;
    g.Latitude =
        (phi1 - H * Dx2 / 2 + H * Dx4 * (5 + 3 * T + eta2 - 4 * eta4 - 9 * T * eta2) / 24 -
         H * Dx6 *
             (61 + 90 * T + 46 * eta2 + 45 * T2 - 252 * T * eta2 - 3 * eta4 + 100 * eta6 - 66 * T * eta4 -
              90 * T2 * eta2 + 88 * eta8 + 225 * T2 * eta4 + 84 * T * eta6 - 192 * T * eta8) /
             720 +
         H * Dx8 * (1385 + 3633 * T + 4095 * T2 + 1575 * T3) / 40320) *
        RadToDeg;
    // Near the poles the series diverges; no place lies beyond them.
    if (g.Latitude > 90.0) g.Latitude = 90.0;
    if (g.Latitude < -90.0) g.Latitude = -90.0;
    return g;
}

TUtmPosition GeographicToUtm(int datum, double latitude, double longitude) {
    int zone = static_cast<int>(std::trunc((longitude + 180) / 6 + 1));
    if (latitude < 0)
        zone = -zone;
    return Project(SelectDatum(datum), zone, latitude, longitude);
}

TUtmPosition GeographicToUtmInZone(int zone, int datum, double latitude, double longitude) {
    zone = std::abs(zone);
    if (latitude < 0)
        zone = -zone;
    return Project(SelectDatum(datum), zone, latitude, longitude);
}

TZoneEdges ZoneEdgeEastings(int zone, int datum, double northing) {
    const TGeoPosition onMeridian = UtmToGeographic(zone, datum, northing, FalseEasting);
    // Longitude 0 lies 3 degrees west of its zone's central meridian, so its
    // easting is the west edge of any zone at this latitude.
    TZoneEdges edges;
    edges.West = GeographicToUtm(datum, onMeridian.Latitude, 0.0).Easting;
    edges.East = 2 * FalseEasting - edges.West;
    return edges;
}

TUtmPosition UtmToOtherZone(int fromZone, int toZone, int datum, double northing, double easting) {
    const TGeoPosition g = UtmToGeographic(fromZone, datum, northing, easting);
    return GeographicToUtmInZone(toZone, datum, g.Latitude, g.Longitude);
}

} // namespace varrow
