#include "geo/Georef.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace varrow;

namespace {

constexpr int Nad83 = NorthAmerican1983;

// Ground distance in metres between two nearby geographic positions.
double GroundDistance(const TGeoPosition& a, const TGeoPosition& b) {
    const double mPerDegLat = 111320.0;
    const double mPerDegLon = mPerDegLat * std::cos(a.Latitude * M_PI / 180.0);
    return std::hypot((a.Latitude - b.Latitude) * mPerDegLat,
                      (a.Longitude - b.Longitude) * mPerDegLon);
}

void ExpectRoundTrip(double lat, double lon) {
    const TUtmPosition u = GeographicToUtm(Nad83, lat, lon);
    const TGeoPosition g = UtmToGeographic(u.Zone, Nad83, u.Northing, u.Easting);
    EXPECT_LT(GroundDistance({lon, lat}, g), 5e-4) << "lat " << lat << " lon " << lon;
}

} // namespace

TEST(Georef, CentralMeridianOnEquatorIsFalseOrigin) {
    const TUtmPosition u = GeographicToUtm(Nad83, 0.0, -111.0);
    EXPECT_EQ(u.Zone, 12);
    EXPECT_NEAR(u.Easting, 500000.0, 1e-6);
    EXPECT_NEAR(u.Northing, 0.0, 1e-6);
}

TEST(Georef, ZoneFromLongitudeIsNeitherWrappedNorClamped) {
    EXPECT_EQ(GeographicToUtm(Nad83, 10.0, -180.0).Zone, 1);
    EXPECT_EQ(GeographicToUtm(Nad83, 10.0, 180.0).Zone, 61);
    EXPECT_EQ(GeographicToUtm(Nad83, 10.0, -96.8).Zone, 14);
    EXPECT_EQ(GeographicToUtm(Nad83, 10.0, -96.0).Zone, 15); // exactly on an edge: the east zone
}

TEST(Georef, SouthernHemisphereUsesNegativeZoneAndFalseNorthing) {
    const TUtmPosition u = GeographicToUtm(Nad83, -33.9, 18.4);
    EXPECT_EQ(u.Zone, -34);
    EXPECT_GT(u.Northing, 6000000.0);
    EXPECT_LT(u.Northing, 10000000.0);
    const TGeoPosition g = UtmToGeographic(u.Zone, Nad83, u.Northing, u.Easting);
    EXPECT_NEAR(g.Latitude, -33.9, 1e-8);
    EXPECT_NEAR(g.Longitude, 18.4, 1e-8);
    // Forcing a zone keeps the hemisphere of the latitude.
    EXPECT_EQ(GeographicToUtmInZone(33, Nad83, -33.9, 18.4).Zone, -33);
    EXPECT_EQ(GeographicToUtmInZone(-33, Nad83, 33.9, 18.4).Zone, 33);
}

TEST(Georef, DatumRowsOutOfRangeFallBackToNorthAmerican1927) {
    const TUtmPosition nad27 = GeographicToUtm(NorthAmerican1927, 40.0, -105.0);
    for (int row : {-1, 23, 1000}) {
        const TUtmPosition u = GeographicToUtm(row, 40.0, -105.0);
        EXPECT_EQ(u.Easting, nad27.Easting) << row;
        EXPECT_EQ(u.Northing, nad27.Northing) << row;
    }
    // Clarke 1866 differs from GRS 1980 by tens of metres here.
    EXPECT_GT(std::abs(nad27.Northing - GeographicToUtm(Nad83, 40.0, -105.0).Northing), 10.0);
    const TDatumConstants k = SelectDatum(-1);
    EXPECT_EQ(k.a, 6378206.4);
    EXPECT_EQ(k.b, 6356583.8);
}

TEST(Georef, PoleGivesMeridianQuadrantAndFiniteValues) {
    for (double lon : {-179.0, -100.0, 0.0, 45.0}) {
        const TUtmPosition u = GeographicToUtm(Nad83, 90.0, lon);
        EXPECT_TRUE(std::isfinite(u.Easting));
        EXPECT_NEAR(u.Easting, 500000.0, 1e-3) << lon;
        EXPECT_NEAR(u.Northing, 9997964.943, 1e-3) << lon;
    }
    const TDatumConstants k = SelectDatum(Nad83);
    EXPECT_NEAR(k.k0 * MeridianArc(k, 90.0), 9997964.943, 1e-3);
}

TEST(Georef, ZoneEdgesAreSymmetricAboutTheCentralMeridian) {
    const TZoneEdges equator = ZoneEdgeEastings(13, Nad83, 0.0);
    EXPECT_EQ(equator.West + equator.East, 1000000.0);
    EXPECT_NEAR(equator.West, 166000.0, 1000.0);

    for (double northing : {3584000.0, 5000000.0, 7000000.0}) {
        const TZoneEdges e = ZoneEdgeEastings(13, Nad83, northing);
        EXPECT_EQ(e.West + e.East, 1000000.0);
        EXPECT_GT(e.West, equator.West); // zones narrow towards the pole
        // The west edge is where the zone's boundary meridian (-108 for zone 13)
        // crosses the latitude of the central meridian at that northing.
        const double lat = UtmToGeographic(13, Nad83, northing, 500000.0).Latitude;
        EXPECT_NEAR(GeographicToUtmInZone(13, Nad83, lat, -108.0).Easting, e.West, 1e-6);
    }
}

TEST(Georef, OtherZoneReadsTheSamePoint) {
    // A point near the 13/14 edge read in both zones.
    const TUtmPosition in13 = GeographicToUtmInZone(13, Nad83, 35.0, -102.1);
    const TUtmPosition in14 = UtmToOtherZone(13, 14, Nad83, in13.Northing, in13.Easting);
    EXPECT_EQ(in14.Zone, 14);
    const TGeoPosition g = UtmToGeographic(14, Nad83, in14.Northing, in14.Easting);
    EXPECT_NEAR(g.Latitude, 35.0, 1e-8);
    EXPECT_NEAR(g.Longitude, -102.1, 1e-8);
    EXPECT_LT(in14.Easting, 500000.0 - 150000.0);
    EXPECT_GT(in13.Easting, 500000.0 + 150000.0);
}

TEST(Georef, RoundTripsStayWellUnderAMillimetre) {
    // Conterminous United States, Alaska and Hawaii on a grid of points that
    // covers whole zones, edges included.
    for (double lat = 24.5; lat <= 49.5; lat += 2.5)
        for (double lon = -124.5; lon <= -67.0; lon += 1.45)
            ExpectRoundTrip(lat, lon);
    for (double lat = 52.0; lat <= 71.0; lat += 1.9)
        for (double lon = -168.0; lon <= -141.0; lon += 1.35)
            ExpectRoundTrip(lat, lon);
    for (double lat = 18.9; lat <= 22.3; lat += 0.34)
        for (double lon = -160.3; lon <= -154.8; lon += 0.55)
            ExpectRoundTrip(lat, lon);
}

TEST(Georef, DefaultViewCornerIsInNewMexico) {
    const TGeoPosition g = UtmToGeographic(13, Nad83, 3584000.0, 307200.0);
    EXPECT_NEAR(g.Latitude, 32.37, 0.05);
    EXPECT_NEAR(g.Longitude, -107.05, 0.05);
}
