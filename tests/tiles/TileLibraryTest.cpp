#include "tiles/TileLibrary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using namespace varrow;

TEST(TileLibrary, DefaultViewIsTile3_35WithExactRoundTrip) {
    TPoint tile, offset;
    TileFromUtm(307200.0, 3584000.0, 512.0, tile, offset);
    EXPECT_EQ(tile, (TPoint{3, 35}));
    EXPECT_EQ(offset, (TPoint{0, 0}));
    double e = 0, n = 0;
    UtmFromTile(tile, offset, 512.0, e, n);
    EXPECT_EQ(e, 307200.0);
    EXPECT_EQ(n, 3584000.0);
    EXPECT_EQ(LocationName(tile), "Location-3-35");
}

TEST(TileLibrary, TileFromUtmTruncatesTowardZero) {
    TPoint tile, offset;
    // 601 / 200 lies just below 3.005 as a double, so the offset is 0, not 1.
    TileFromUtm(601.0, 0.0, 1.0, tile, offset);
    EXPECT_EQ(tile.X, 3);
    EXPECT_EQ(offset.X, 0);
    double e = 0, n = 0;
    UtmFromTile(tile, offset, 1.0, e, n);
    EXPECT_EQ(e, 600.0);

    TileFromUtm(-100.0, 250.0, 1.0, tile, offset);
    EXPECT_EQ(tile.X, 0);
    EXPECT_EQ(offset.X, -100);
    EXPECT_EQ(tile.Y, 1);
    EXPECT_EQ(offset.Y, 50);

    // Fine scales: offsets stay within a tile for non-negative positions.
    TileFromUtm(307299.9, 3584049.9, 0.25, tile, offset);
    EXPECT_EQ(tile, (TPoint{6145, 71680}));
    EXPECT_EQ(offset.X, 199);
    EXPECT_EQ(offset.Y, 199);
}

TEST(TileLibrary, ScalesLabelsAndCodes) {
    const int codes[ScaleCount] = {19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8};
    const int perZone[ScaleCount] = {9, 18, 36, 72, 144, 288, 576, 1152, 2304, 4608, 9216, 18432};
    for (int i = 0; i < ScaleCount; ++i) {
        const double s = ScaleOfIndex(i);
        EXPECT_EQ(s, 512.0 / (1 << i));
        EXPECT_EQ(ScaleCode(s), codes[i]) << s;
        EXPECT_EQ(TilesPerZone(s), perZone[i]) << s;
        EXPECT_EQ(ScaleIndexOf(s), i);
    }
    EXPECT_EQ(ScaleCode(3.0), 11);
    EXPECT_EQ(ScaleCode(0.3), 9);
    EXPECT_EQ(ScaleIndexOf(3.0), -1);
    EXPECT_EQ(ScaleLabel(3), "64 -  30");
    EXPECT_EQ(ScaleLabel(7), "4 -   7.5");
    EXPECT_EQ(ScaleLabel(10), "0.50");
}

TEST(TileLibrary, ThemeSelectorOrderDiffersFromEnumeration) {
    EXPECT_EQ(ThemeFromSelectorIndex(0), TTileTheme::Topo);
    EXPECT_EQ(ThemeFromSelectorIndex(1), TTileTheme::Aerial);
    EXPECT_EQ(ThemeFromSelectorIndex(2), TTileTheme::ColorAerial);
    for (int i = 0; i < ThemeCount; ++i)
        EXPECT_EQ(SelectorIndexOfTheme(ThemeFromSelectorIndex(i)), i);
    EXPECT_EQ(ThemeLabel(TTileTheme::ColorAerial), "Color Aerial");
    EXPECT_EQ(ThemeCode(TTileTheme::Aerial), 1);
    EXPECT_EQ(ThemeCode(TTileTheme::Topo), 2);
    EXPECT_EQ(ThemeCode(TTileTheme::ColorAerial), 4);
    EXPECT_EQ(static_cast<int>(TTileTheme::Topo), 1);
}

TEST(TileLibrary, UrlCarriesTheFiveCodes) {
    TTileLocation loc;
    loc.Theme = TTileTheme::Topo;
    loc.Scale = 4.0;
    loc.Tile = {1000, 5000};
    loc.Zone = 14;
    EXPECT_EQ(BuildTileUrl(loc, "http://tiles.example:81"),
              "http://tiles.example:81/tile.ashx?t=2&s=12&x=1000&y=5000&z=14");
    loc.Tile = {-1, 3};
    loc.Zone = -12;
    loc.Theme = TTileTheme::ColorAerial;
    EXPECT_EQ(BuildTileUrl(loc, "http://h"), "http://h/tile.ashx?t=4&s=12&x=-1&y=3&z=-12");
}

TEST(TileLibrary, TileServiceResolutionOrder) {
    unsetenv("VARROW_TILE_SERVICE");
    EXPECT_EQ(ResolveTileService(), "http://127.0.0.1:8600");
    EXPECT_EQ(ResolveTileService(" http://ini.host:90/ "), "http://ini.host:90");
    setenv("VARROW_TILE_SERVICE", "http://env.host:7000/", 1);
    EXPECT_EQ(ResolveTileService("http://ini.host:90"), "http://env.host:7000");
    TTileLocation loc;
    EXPECT_TRUE(BuildTileUrl(loc).startsWith("http://env.host:7000/tile.ashx?"));
    unsetenv("VARROW_TILE_SERVICE");
}

TEST(TileLibrary, TileIdentityIgnoresNameOffsetAndOutline) {
    TTileLocation a, b;
    a.Tile = b.Tile = {3, 35};
    b.Name = "elsewhere";
    b.Offset = {10, 20};
    b.Outline = true;
    EXPECT_TRUE(SameTile(a, b));
    b.Scale = 256.0;
    EXPECT_FALSE(SameTile(a, b));
}

TEST(TileLibrary, ColumnsWrapOneZoneAtATime) {
    struct Case {
        int col, zone, wantCol, wantZone;
    } cases[] = {{-1, 14, 8, 13}, {9, 14, 0, 15}, {20, 14, 11, 15}, {0, 14, 0, 14}, {8, 14, 8, 14}};
    for (const Case& c : cases) {
        std::int32_t col = c.col, zone = c.zone;
        WrapTileColumn(col, zone, 512.0);
        EXPECT_EQ(col, c.wantCol) << c.col;
        EXPECT_EQ(zone, c.wantZone) << c.col;
    }
    std::int32_t col = 4608, zone = 1;
    WrapTileColumn(col, zone, 1.0);
    EXPECT_EQ(col, 0);
    EXPECT_EQ(zone, 2);
}

TEST(TileLibrary, NeighbourZonesFollowTheHemisphereAndWrapAroundTheGlobe) {
    // South of the equator zones are negative: east of -13 is -14.
    struct Case {
        int col, zone, wantCol, wantZone;
    } cases[] = {{9, -13, 0, -14}, {-1, -13, 8, -12}, {9, -60, 0, -1},  {-1, -1, 8, -60},
                 {9, 60, 0, 1},    {-1, 1, 8, 60},    {4, -13, 4, -13}};
    for (const Case& c : cases) {
        std::int32_t col = c.col, zone = c.zone;
        WrapTileColumn(col, zone, 512.0);
        EXPECT_EQ(col, c.wantCol) << c.col << " in zone " << c.zone;
        EXPECT_EQ(zone, c.wantZone) << c.col << " in zone " << c.zone;
    }
    double e = 921600.5;
    std::int32_t zone = -13;
    WrapEasting(e, zone);
    EXPECT_EQ(zone, -14);
    e = -0.5;
    WrapEasting(e, zone);
    EXPECT_EQ(zone, -13);

    EXPECT_TRUE(IsValidZone(1) && IsValidZone(60) && IsValidZone(-1) && IsValidZone(-60));
    for (int bad : {0, 61, -61, 1000})
        EXPECT_EQ(ZoneProblem(bad).isEmpty(), false) << bad;
    EXPECT_TRUE(ZoneProblem(0).contains(QStringLiteral("1 to 60")));
}

TEST(TileLibrary, EastingsWrapOnlyStrictlyPastTheEdges) {
    struct Case {
        double e;
        int zone;
        double wantE;
        int wantZone;
    } cases[] = {{921600.5, 13, 0.5, 14}, {-0.5, 13, 921599.5, 12}, {0.0, 13, 0.0, 13},
                 {921600.0, 13, 921600.0, 13}, {500000.0, 13, 500000.0, 13}};
    for (const Case& c : cases) {
        double e = c.e;
        std::int32_t zone = c.zone;
        WrapEasting(e, zone);
        EXPECT_EQ(e, c.wantE) << c.e;
        EXPECT_EQ(zone, c.wantZone) << c.e;
    }
}

TEST(TileLibrary, AbsurdPositionsSaturateInsteadOfOverflowing) {
    TPoint tile, offset;
    TileFromUtm(1e300, -1e300, 0.25, tile, offset);
    EXPECT_EQ(tile.X, 1000000000);
    EXPECT_EQ(tile.Y, -1000000000);
    TileFromUtm(std::nan(""), 0.0, 1.0, tile, offset);
    EXPECT_EQ(tile.X, 0);
    EXPECT_EQ(offset.X, 0);
}
