#include "workspace/MapGeoReference.h"

#include <gtest/gtest.h>

namespace varrow {
namespace {

TEST(MapGeoReference, TheLoadedMapsCornerAndTheZoneEdgeWarning) {
    TMapViewState map; // 3 × 3 tiles at 512 m per pixel from 307,200 E, 3,584,000 N
    const TGeoReference geo = GeoReferenceOf(map, map.MosaicSize());
    EXPECT_EQ(geo.PixelSize, 512.0);
    EXPECT_EQ(geo.West, 307200.0);
    EXPECT_EQ(geo.North, 3584000.0 + 600 * 512.0);
    EXPECT_EQ(geo.Zone, 13);
    EXPECT_TRUE(ZoneEdgeWarning(map, map.MosaicSize()).isEmpty());

    map.Easting = 700000.0; // 307,200 m wide: past 921,600 m
    EXPECT_EQ(ZoneEdgeWarning(map, map.MosaicSize()),
              "The east part of this map is in zone 14: the world file describes zone 13 only");
    map.Zone = -13;
    EXPECT_TRUE(ZoneEdgeWarning(map, map.MosaicSize()).contains("zone -14"));
    map.Zone = 13;
    map.Easting = -1000.0;
    EXPECT_EQ(ZoneEdgeWarning(map, map.MosaicSize()),
              "The west part of this map is in zone 12: the world file describes zone 13 only");
}

} // namespace
} // namespace varrow
