// Index map frames: pixels to places and back, which map holds a place, and
// the readout texts.

#include "workspace/IndexMaps.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace varrow {
namespace {

TEST(IndexMaps, CornersAndInclusiveBoundsOfEachFrame) {
    for (const TIndexMap map : IndexMapOrder()) {
        const TIndexFrame& f = IndexFrame(map);
        const TGeoPosition topLeft = IndexPixelToGeographic(map, 0, 0);
        EXPECT_EQ(topLeft.Longitude, f.West);
        EXPECT_EQ(topLeft.Latitude, f.North);
        const TGeoPosition past = IndexPixelToGeographic(map, IndexMapWidth, IndexMapHeight);
        EXPECT_NEAR(past.Longitude, f.East, 1e-9);
        EXPECT_NEAR(past.Latitude, f.South, 1e-9);
        EXPECT_EQ(IndexGeographicToPixel(map, f.West, f.North), QPoint(0, 0));
        // The east and south bounds belong to the map: the pixel just past the edge.
        EXPECT_EQ(IndexGeographicToPixel(map, f.East, f.South),
                  QPoint(IndexMapWidth, IndexMapHeight));
        EXPECT_FALSE(IndexGeographicToPixel(map, f.West - 1e-9, f.North));
        EXPECT_FALSE(IndexGeographicToPixel(map, f.East, f.South - 1e-9));
        EXPECT_FALSE(IndexGeographicToPixel(map, std::nan(""), f.South));
    }
    EXPECT_EQ(IndexFrame(TIndexMap::UnitedStates).West, -125.0);
    EXPECT_EQ(IndexFrame(TIndexMap::Alaska).East, -130.0);
    EXPECT_EQ(IndexFrame(TIndexMap::Hawaii).South, 18.8);
    // Inside, pixels truncate: pixel 190 of the United States spans -96.25 to -96.10.
    EXPECT_EQ(IndexGeographicToPixel(TIndexMap::UnitedStates, -96.2, 30.0)->x(), 190);
    // A control twice the picture's size halves the degrees per pixel.
    const TGeoPosition big = IndexPixelToGeographic(TIndexMap::Hawaii, 200, 100, 760, 474);
    EXPECT_NEAR(big.Longitude, -160.3 + 100 * 5.6 / 380, 1e-12);
    EXPECT_NEAR(big.Latitude, 22.1 - 50 * 3.3 / 237, 1e-12);
}

TEST(IndexMaps, APlaceIsLookedUpInTheUnitedStatesThenAlaskaThenHawaii) {
    // West of the United States frame, on Alaska's inclusive east edge.
    const auto alaska = FindIndexMap(-130.0, 55.0);
    ASSERT_TRUE(alaska);
    EXPECT_EQ(alaska->Map, TIndexMap::Alaska);
    EXPECT_EQ(alaska->Pixel, QPoint(380, 190)); // 16.5 of 20.5 degrees down 237 rows
    EXPECT_EQ(FindIndexMap(-96.8, 32.78)->Map, TIndexMap::UnitedStates);
    EXPECT_EQ(FindIndexMap(-157.86, 21.31)->Map, TIndexMap::Hawaii);
    EXPECT_FALSE(FindIndexMap(0.0, 51.5));
    EXPECT_FALSE(FindIndexMap(-127.0, 40.0)); // the Pacific between the frames
}

TEST(IndexMaps, ReadoutsShowThreeDecimalsAndMetresByMap) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const TIndexReadouts us = IndexReadouts(TIndexMap::UnitedStates, 0, 0, 380, 237, english);
    EXPECT_EQ(us.Longitude, "-125.000 ");
    EXPECT_EQ(us.Latitude, "49.600 ");
    const TUtmPosition u = GeographicToUtm(NorthAmerican1983, 49.6, -125.0);
    EXPECT_EQ(us.Zone, "10");
    EXPECT_EQ(us.Easting, english.toString(std::round(u.Easting), 'f', 0));
    EXPECT_EQ(us.Northing, english.toString(std::round(u.Northing), 'f', 0));

    const QRegularExpression threeDecimals(QStringLiteral("^\\d{1,3}(,\\d{3})*\\.\\d{3}$"));
    for (const TIndexMap map : {TIndexMap::Alaska, TIndexMap::Hawaii}) {
        const TIndexReadouts r = IndexReadouts(map, 190, 118, 380, 237, english);
        EXPECT_TRUE(threeDecimals.match(r.Easting).hasMatch()) << r.Easting.toStdString();
        EXPECT_TRUE(threeDecimals.match(r.Northing).hasMatch()) << r.Northing.toStdString();
    }
    // The user's decimal separator, and never a thousands separator in degrees.
    const TIndexReadouts de = IndexReadouts(TIndexMap::Alaska, 0, 0, 380, 237,
                                            QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(de.Longitude, "-178,800 ");
    EXPECT_EQ(de.Latitude, "71,500 ");
}

} // namespace
} // namespace varrow
