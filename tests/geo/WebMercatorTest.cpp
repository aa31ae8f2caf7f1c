// The web-Mercator tile grid against figures the map services publish.

#include "geo/WebMercator.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace varrow;

TEST(WebMercator, TileGridMatchesTheServices) {
    // The world at zoom 0 is one 256-pixel tile; Greenwich on the equator is its middle.
    EXPECT_DOUBLE_EQ(MercatorWorldPixels(0), 256.0);
    const TMercatorPixel origin = GeographicToMercator(0.0, 0.0, 0);
    EXPECT_NEAR(origin.X, 128.0, 1e-9);
    EXPECT_NEAR(origin.Y, 128.0, 1e-9);
    // Denver (39.7392 N, 104.9903 W) lies in tile 13/1706/3109 of every XYZ service.
    const TMercatorPixel denver = GeographicToMercator(39.7392, -104.9903, 13);
    EXPECT_EQ(static_cast<int>(denver.X / 256), 1706);
    EXPECT_EQ(static_cast<int>(denver.Y / 256), 3109);
    // The square world ends at about 85.0511 degrees; beyond it positions hold to the edge.
    EXPECT_NEAR(GeographicToMercator(MercatorMaxLatitude, 0, 0).Y, 0.0, 1e-6);
    EXPECT_NEAR(GeographicToMercator(89.9, 0, 0).Y, 0.0, 1e-6);
    EXPECT_NEAR(GeographicToMercator(-89.9, 0, 3).Y, MercatorWorldPixels(3), 1e-6);
}

TEST(WebMercator, PixelsAndPositionsRoundTrip) {
    for (const double lat : {-60.0, 0.0, 19.7, 39.5, 64.0, 71.3})
        for (const double lon : {-179.9, -155.5, -105.0, 0.0, 179.9})
            for (const int zoom : {0, 8, 16, 22}) {
                const TMercatorPixel p = GeographicToMercator(lat, lon, zoom);
                double backLat = 0, backLon = 0;
                MercatorToGeographic(p, zoom, backLat, backLon);
                EXPECT_NEAR(backLat, lat, 1e-9) << zoom;
                EXPECT_NEAR(backLon, lon, 1e-9) << zoom;
            }
}

TEST(WebMercator, ZoomIsTheCoarsestAtLeastAsFineAsTheScale) {
    // 156543.03 m per pixel at zoom 0 on the equator, halving with every zoom.
    EXPECT_NEAR(MercatorGroundResolution(0.0, 0), 156543.034, 1e-3);
    EXPECT_NEAR(MercatorGroundResolution(60.0, 10), 156543.034 / 1024 / 2, 1e-6);
    for (const double lat : {0.0, 28.0, 39.5, 64.0}) {
        for (const double scale : {512.0, 64.0, 4.0, 1.0, 0.25}) {
            const int z = MercatorZoomForScale(lat, scale, MaxMercatorZoom);
            EXPECT_LE(MercatorGroundResolution(lat, z), scale) << lat << " " << scale;
            EXPECT_GT(MercatorGroundResolution(lat, z - 1), scale) << lat << " " << scale;
        }
    }
    // Capped at the service's finest level, which then has to be magnified.
    EXPECT_EQ(MercatorZoomForScale(39.5, 0.25, 16), 16);
    EXPECT_EQ(MercatorZoomForScale(39.5, 1e9, 16), 0);
}
