// The demo landscape's ground as TerrainRaster works it out: the same ground
// wherever a tile is cut, and the same tiles whichever way they are computed.

#include "demo/Lanes.h"
#include "demo/TerrainRaster.h"
#include "demo/TileRenderer.h"
#include "geo/Georef.h"
#include "geo/WebMercator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

using namespace varrow;
using namespace varrow::demo;

namespace {

constexpr int Topo = 2, Aerial = 1, ColorAerial = 4;

// The tile of a scale code holding the program's default view (zone 13,
// 307200 E, 3584000 N), hills and lakes at every scale.
TileAddress DefaultView(int theme, int scaleCode) {
    const double tile = TilePixels * ScaleOfCode(scaleCode);
    return {theme, scaleCode, static_cast<int>(307200.0 / tile), static_cast<int>(3584000.0 / tile),
            13};
}

double Gap(float a, float b) {
    return std::fabs(static_cast<double>(a) - b);
}

// Elevation between pixel centres, pixel (c, r) having its centre at (c, r).
double ElevationAt(const TerrainRaster& t, double c, double r) {
    const int i = static_cast<int>(std::floor(c)), j = static_cast<int>(std::floor(r));
    const double fx = c - i, fy = r - j;
    return (1 - fx) * (1 - fy) * t.Elevation(i, j) + fx * (1 - fy) * t.Elevation(i + 1, j) +
           (1 - fx) * fy * t.Elevation(i, j + 1) + fx * fy * t.Elevation(i + 1, j + 1);
}

// The tile of a zone at a scale that holds a place, and where in it (pixel
// centres at whole numbers).
struct Spot {
    TileAddress Tile;
    double C = 0, R = 0;
};

Spot SpotOf(int zone, int scaleCode, double latitude, double longitude) {
    const TUtmPosition u = GeographicToUtmInZone(zone, NorthAmerican1983, latitude, longitude);
    const double s = ScaleOfCode(scaleCode);
    const double px = u.Easting / s, py = u.Northing / s;
    Spot spot;
    spot.Tile = {Topo, scaleCode, static_cast<int>(std::floor(px / TilePixels)),
                 static_cast<int>(std::floor(py / TilePixels)), zone};
    spot.C = px - spot.Tile.X * TilePixels - 0.5;
    spot.R = (spot.Tile.Y + 1) * TilePixels - py - 0.5;
    return spot;
}

// Root mean square of f over a grid of places around a point, degrees apart.
double Rms(const std::function<double(double, double)>& f, double lat, double lon, double step) {
    double sum = 0;
    int n = 0;
    for (int i = -4; i <= 4; ++i)
        for (int j = -4; j <= 4; ++j, ++n) {
            const double d = f(lat + i * step, lon + j * step);
            sum += d * d;
        }
    return std::sqrt(sum / n);
}

} // namespace

TEST(DemoTerrain, ElevationContinuesAcrossTileEdgesAtEveryScale) {
    // A raster's border pixels are its neighbours' edge pixels. The lattices
    // are anchored on the zone's pixel grid, so both tiles sample the same
    // points and agree to rounding; lattices laid on each tile would differ
    // by their interpolation errors.
    for (int code = MinScaleCode; code <= MaxScaleCode; ++code) {
        SCOPED_TRACE(testing::Message() << "scale code " << code);
        const TileAddress a = DefaultView(Topo, code);
        TileAddress east = a, north = a;
        ++east.X, ++north.Y;
        const TerrainRaster here(a), right(east), above(north);
        double worst = 0, step = 0;
        for (int i = 0; i < TilePixels; ++i) {
            worst = std::max({worst, Gap(here.Elevation(TilePixels, i), right.Elevation(0, i)),
                              Gap(here.Elevation(i, -1), above.Elevation(i, TilePixels - 1))});
            step += Gap(here.Elevation(TilePixels - 1, i), here.Elevation(TilePixels - 2, i));
        }
        step /= TilePixels;
        EXPECT_LT(worst, 0.01 + 0.002 * step) << "mean step between pixels " << step << " m";
    }
}

TEST(DemoTerrain, WebMercatorTilesShareTheirEdges) {
    // East and west the tiles have the same pixel size and agree to rounding.
    // North and south the pixel size, and with it which octaves are drawn on
    // which lattice, changes a little from tile to tile: close, not equal.
    for (const int zoom : {3, 9, 15}) {
        SCOPED_TRACE(testing::Message() << "zoom " << zoom);
        const int x = (1 << zoom) / 5, y = (1 << zoom) * 3 / 8;
        const TerrainRaster here(MercatorFrame(zoom, x, y)), right(MercatorFrame(zoom, x + 1, y)),
            below(MercatorFrame(zoom, x, y + 1));
        double east = 0, south = 0, step = 0;
        for (int i = 0; i < MercatorTileSize; ++i) {
            east = std::max(east, Gap(here.Elevation(MercatorTileSize, i), right.Elevation(0, i)));
            south =
                std::max(south, Gap(here.Elevation(i, MercatorTileSize), below.Elevation(i, 0)));
            step += Gap(here.Elevation(MercatorTileSize - 1, i),
                        here.Elevation(MercatorTileSize - 2, i));
        }
        step /= MercatorTileSize;
        EXPECT_LT(east, 0.01 + 0.002 * step) << "mean step between pixels " << step << " m";
        EXPECT_LT(south, 0.01 + 0.05 * step) << "mean step between pixels " << step << " m";
    }
}

TEST(DemoTerrain, SamePlaceHasTheSameElevationInNeighbouringZones) {
    // Around 102 W, the edge of zones 13 and 14: the zones' pixel grids are
    // turned against each other, so only the landscape, not its sampling,
    // is shared. The difference must be small against how much the ground
    // changes a few pixels away.
    for (const int code : {19, 15, 11, 8}) {
        SCOPED_TRACE(testing::Message() << "scale code " << code);
        const double lat = 36.5, lon = -102.0;
        const double degree = 30.0 * ScaleOfCode(code) / 111000.0; // about 30 px
        const auto elevation = [&](int zone, double la, double lo) {
            const Spot s = SpotOf(zone, code, la, lo);
            return ElevationAt(TerrainRaster(s.Tile), s.C, s.R);
        };
        const double zones =
            Rms([&](double la, double lo) { return elevation(13, la, lo) - elevation(14, la, lo); },
                lat, lon, degree);
        const double apart = Rms(
            [&](double la, double lo) {
                return elevation(13, la, lo) - elevation(13, la + degree / 10, lo);
            },
            lat, lon, degree);
        EXPECT_LT(zones, 0.1 * apart) << zones << " m between zones, " << apart << " m 3 px apart";
    }
}

TEST(DemoTerrain, FinerScaleAddsDetailToTheSameGround) {
    // Halving the scale adds an octave of about 3 px and keeps the rest: the
    // elevation at the same places differs far less than across 5 px.
    for (const int code : {19, 14, 9}) {
        SCOPED_TRACE(testing::Message() << "scale code " << code);
        const double lat = 32.4, lon = -106.9;
        const double degree = 30.0 * ScaleOfCode(code) / 111000.0;
        const auto elevation = [&](int scaleCode, double la, double lo) {
            const Spot s = SpotOf(13, scaleCode, la, lo);
            return ElevationAt(TerrainRaster(s.Tile), s.C, s.R);
        };
        const double scales =
            Rms([&](double la,
                    double lo) { return elevation(code, la, lo) - elevation(code - 1, la, lo); },
                lat, lon, degree);
        const double apart = Rms(
            [&](double la, double lo) {
                return elevation(code, la, lo) - elevation(code, la + degree / 6, lo);
            },
            lat, lon, degree);
        EXPECT_LT(scales, 0.3 * apart)
            << scales << " m between scales, " << apart << " m 5 px apart";
    }
}

TEST(DemoTerrain, WebMercatorTilesShowTheSameElevationAsUtmTiles) {
    const double lat = 39.5, lon = -102.2;
    for (const int zoom : {9, 14, 19}) {
        SCOPED_TRACE(testing::Message() << "zoom " << zoom);
        // The UTM scale code nearest the zoom's pixels there.
        const double scale = MercatorGroundResolution(lat, zoom);
        const int code = static_cast<int>(std::lround(std::log2(scale))) + 10;
        const double degree = 30.0 * scale / 111000.0;
        const auto mercator = [&](double la, double lo) {
            const TMercatorPixel p = GeographicToMercator(la, lo, zoom);
            const int x = static_cast<int>(p.X / MercatorTileSize);
            const int y = static_cast<int>(p.Y / MercatorTileSize);
            return ElevationAt(TerrainRaster(MercatorFrame(zoom, x, y)),
                               p.X - x * MercatorTileSize - 0.5, p.Y - y * MercatorTileSize - 0.5);
        };
        const auto utm = [&](double la, double lo) {
            const Spot s = SpotOf(14, code, la, lo);
            return ElevationAt(TerrainRaster(s.Tile), s.C, s.R);
        };
        const double frames = Rms(
            [&](double la, double lo) { return mercator(la, lo) - utm(la, lo); }, lat, lon, degree);
        const double apart =
            Rms([&](double la, double lo) { return utm(la, lo) - utm(la + degree / 6, lo); }, lat,
                lon, degree);
        EXPECT_LT(frames, 0.3 * apart)
            << frames << " m between grids, " << apart << " m 5 px apart";
    }
}

TEST(DemoTerrain, RastersMadeWhileAnotherLivesKeepTheirOwnGround) {
    // Rasters take their working arrays from a pool of the thread; one made
    // while another is alive must not take the same.
    const TileAddress a = DefaultView(Topo, 16);
    std::vector<float> before;
    const TerrainRaster first(a);
    for (int i = -1; i <= TilePixels; ++i)
        before.push_back(first.Elevation(i, i));
    {
        TileAddress b = a;
        b.X += 7, b.ScaleCode = 12;
        const TerrainRaster second(b);
        EXPECT_NE(second.Elevation(5, 5), first.Elevation(5, 5));
    }
    for (int i = -1; i <= TilePixels; ++i)
        EXPECT_EQ(first.Elevation(i, i), before[i + 1]);
}

TEST(DemoTerrain, FourAndEightLanesPaintTheSameTiles) {
    if (!HasEightLanes()) GTEST_SKIP() << "the processor has no AVX2";
    const auto paint = [](bool eight) {
        AllowEightLanes(eight);
        std::vector<QImage> tiles;
        for (const int code : {19, 16, 12, 8})
            for (const int theme : {Topo, Aerial, ColorAerial})
                tiles.push_back(RenderTile(DefaultView(theme, code)));
        tiles.push_back(RenderMercatorTile(ColorAerial, 11, 400, 800));
        AllowEightLanes(true);
        return tiles;
    };
    const std::vector<QImage> four = paint(false), eight = paint(true);
    for (std::size_t i = 0; i < four.size(); ++i)
        EXPECT_EQ(four[i], eight[i]) << "tile " << i;
}
