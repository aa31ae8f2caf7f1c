// Reprojection of web-Mercator tiles into the program's UTM tiles, against
// the demo landscape rendered directly as UTM tiles: the same ground must
// come out in the same place.

#include "tiles/Reproject.h"

#include "support/ReprojectCompare.h"
#include "tiles/TileSource.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace varrow;
using namespace varrow::test;

namespace {

struct TPlace {
    const char* Name;
    double Latitude, Longitude;
    int Zone; // 0: the zone the place lies in
};

// Florida, Colorado, Alaska at 64 N, Hawaii, and both sides of the edge
// between zones 13 and 14 (102 W), each drawn in the zone beyond it too.
const TPlace Places[] = {{"Florida", 28.0, -81.5, 0},
                         {"Colorado", 39.5, -105.5, 0},
                         {"Alaska", 64.0, -147.0, 0},
                         {"Hawaii", 19.7, -155.5, 0},
                         {"zone 13 east edge", 39.5, -102.05, 13},
                         {"zone 14 west edge", 39.5, -101.95, 14},
                         {"zone 13 past its edge", 39.5, -101.8, 13},
                         {"zone 14 before its edge", 39.5, -102.2, 14}};

const double Scales[] = {512.0, 64.0, 8.0, 1.0};

} // namespace

TEST(Reprojection, ControlGridKeepsWithinAFiftiethOfAPixel) {
    for (const TPlace& p : Places)
        for (const double scale : {512.0, 64.0, 1.0, 0.25}) {
            const TReprojection plan(
                TileAt(p.Latitude, p.Longitude, scale, TTileTheme::Topo, p.Zone), 22);
            EXPECT_LE(ControlGridError(plan), 0.05) << p.Name << " at " << scale;
        }
    // At the far north of the program's index maps the projection bends most.
    const TReprojection north(TileAt(71.0, -156.0, 512.0, TTileTheme::Topo), 22);
    EXPECT_LE(ControlGridError(north), 0.05);
}

TEST(Reprojection, ShowsTheDirectlyRenderedGroundInTheSamePlace) {
    for (const TPlace& p : Places) {
        for (const double scale : Scales) {
            for (const TTileTheme theme : {TTileTheme::Topo, TTileTheme::ColorAerial}) {
                SCOPED_TRACE(testing::Message() << p.Name << " at " << scale << " m, "
                                                << ThemeLabel(theme).toStdString());
                const TReprojectedTile t =
                    ReprojectDemoTile(TileAt(p.Latitude, p.Longitude, scale, theme, p.Zone));
                // The source is a finer level of the same landscape, so its
                // details differ a little; the ground is the same.
                EXPECT_LT(t.Mean, 10.0);
                EXPECT_LT(t.Blurred, 6.0);
                // Any misplacement would match better shifted.
                EXPECT_EQ(t.ShiftX, 0);
                EXPECT_EQ(t.ShiftY, 0);
                // The coarsest level at least as fine as the map, and no finer.
                EXPECT_GE(t.Ratio, 1.0);
                EXPECT_LT(t.Ratio, 2.05);
            }
        }
    }
}

TEST(Reprojection, SourceTilesAreTheOnesTheTileTouches) {
    // 1 m per pixel in Colorado: zoom 17, where a 200 m tile spans about 1.1
    // source tiles each way, so 1 to 4 of them.
    const TReprojection plan(TileAt(39.5, -105.5, 1.0, TTileTheme::Topo), 22);
    const TSourceTileRange& r = plan.SourceTiles();
    EXPECT_EQ(r.Zoom, 17);
    EXPECT_GE(r.Count(), 1);
    EXPECT_LE(r.Count(), 4);
    // Every target pixel's footprint lies inside the tiles.
    for (const double u : {0.0, 200.0})
        for (const double v : {0.0, 200.0}) {
            const TMercatorPixel p = plan.Exact(u, v);
            EXPECT_GE(p.X, r.X0 * 256.0 + 1);
            EXPECT_LT(p.X, (r.X1 + 1) * 256.0 - 1);
            EXPECT_GE(p.Y, r.Y0 * 256.0 + 1);
            EXPECT_LT(p.Y, (r.Y1 + 1) * 256.0 - 1);
        }

    // Past the source's finest level the map magnifies it: zoom 16 for
    // 0.25 m, a quarter of a source pixel per map pixel.
    const TReprojection capped(TileAt(39.5, -105.5, 0.25, TTileTheme::Topo), 16);
    EXPECT_EQ(capped.Zoom(), 16);
    EXPECT_NEAR(capped.Ratio(), 0.25 / 1.84, 0.02);
    EXPECT_LE(capped.SourceTiles().Count(), 2);
}

TEST(Reprojection, TilesAcrossTheAntimeridianComeFromBothEnds) {
    // The Aleutians at 179.8 E, drawn in zone 1 (which starts at 180 and
    // counts it as 180.2 W): the tile reaches west of the date line, into
    // the last columns of the world.
    const TTileLocation location = TileAt(52.0, -180.2, 64.0, TTileTheme::ColorAerial, 1);
    const TReprojection plan(location, 22);
    const TSourceTileRange& r = plan.SourceTiles();
    const int columns = 1 << r.Zoom;
    EXPECT_LT(r.X0, 0);
    for (int x = r.X0; x <= r.X1; ++x) {
        EXPECT_GE(r.WrappedColumn(x), 0);
        EXPECT_LT(r.WrappedColumn(x), columns);
    }
    EXPECT_EQ(r.WrappedColumn(-1), columns - 1);
    const TReprojectedTile t = ReprojectDemoTile(location);
    EXPECT_LT(t.Mean, 10.0);
    EXPECT_EQ(t.ShiftX, 0);
}

TEST(Reprojection, MissingSourceTilesComeOutWhite) {
    const TReprojection plan(TileAt(39.5, -105.5, 64.0, TTileTheme::Topo), 22);
    std::vector<QImage> none(static_cast<std::size_t>(plan.SourceTiles().Count()));
    QImage bitmap;
    plan.Render(none, bitmap);
    ASSERT_EQ(bitmap.size(), QSize(TileSize, TileSize));
    EXPECT_EQ(bitmap.format(), QImage::Format_RGB32);
    EXPECT_EQ(bitmap.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(bitmap.pixel(199, 199), qRgb(255, 255, 255));
    // A tile too far from its zone has no place on the globe: 179.8 E taken
    // as 356.8 degrees east of zone 1's meridian.
    EXPECT_THROW(TReprojection(TileAt(52.0, 179.8, 64.0, TTileTheme::Topo, 1), 22), TTileError);
    // A list that does not match the range is refused, not read past its end.
    none.pop_back();
    EXPECT_THROW(plan.Render(none, bitmap), std::invalid_argument);
}
