#include "demo/TileRenderer.h"
#include "geo/Georef.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <future>
#include <vector>

using namespace varrow::demo;

namespace {

constexpr int Topo = 2, Aerial = 1, ColorAerial = 4;

double Diff(QRgb a, QRgb b) {
    return (std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
            std::abs(qBlue(a) - qBlue(b))) /
           3.0;
}

// Mean of the smaller 90 % of the values: grid lines and the address label
// may cross a tile edge without meaning anything.
double TrimmedMean(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    v.resize(v.size() * 9 / 10);
    double sum = 0;
    for (double x : v)
        sum += x;
    return sum / static_cast<double>(v.size());
}

// How different two pixel lines are, pixel by pixel.
double LineDifference(const QImage& a, bool aColumn, int aIndex, const QImage& b, bool bColumn,
                      int bIndex) {
    std::vector<double> d;
    for (int i = 0; i < a.width(); ++i)
        d.push_back(Diff(aColumn ? a.pixel(aIndex, i) : a.pixel(i, aIndex),
                         bColumn ? b.pixel(bIndex, i) : b.pixel(i, bIndex)));
    return TrimmedMean(d);
}

// Places with land, water and relief at each scale, around the program's
// default view (zone 13, 307200 E, 3584000 N), whose east and north edges
// and middle lines (100) carry no UTM grid line.
struct Place {
    int ScaleCode, X, Y;
};
const Place Places[] = {{19, 3, 35}, {16, 23, 280}, {12, 383, 4480}, {8, 6144, 71680}};

} // namespace

TEST(TileRenderer, IsDeterministicAndThreadSafe) {
    const TileAddress a{ColorAerial, 14, 96, 1120, 13};
    const QImage first = RenderTile(a);
    ASSERT_EQ(first.size(), QSize(TilePixels, TilePixels));
    EXPECT_EQ(RenderTile(a), first);
    // Renders on several threads at once match the one made alone.
    std::vector<std::future<QImage>> renders;
    for (int i = 0; i < 4; ++i)
        renders.push_back(std::async(std::launch::async, [a] { return RenderTile(a); }));
    for (auto& r : renders)
        EXPECT_EQ(r.get(), first);
}

TEST(TileRenderer, NeighbouringTilesJoinWithoutSeams) {
    // The step across a tile edge should be no larger than the steps between
    // the lines beside it on either side; a landscape that depended on the
    // tile and not on the ground would jump there.
    constexpr int Last = TilePixels - 1;
    for (int theme : {Topo, Aerial, ColorAerial}) {
        for (const Place& p : Places) {
            SCOPED_TRACE(testing::Message() << "t" << theme << " s" << p.ScaleCode);
            const QImage here = RenderTile({theme, p.ScaleCode, p.X, p.Y, 13});
            const QImage east = RenderTile({theme, p.ScaleCode, p.X + 1, p.Y, 13});
            const QImage north = RenderTile({theme, p.ScaleCode, p.X, p.Y + 1, 13});
            const double besideEast =
                std::max(LineDifference(here, true, Last - 1, here, true, Last),
                         LineDifference(east, true, 0, east, true, 1));
            const double besideNorth =
                std::max(LineDifference(here, false, 0, here, false, 1),
                         LineDifference(north, false, Last - 1, north, false, Last));
            EXPECT_LE(LineDifference(here, true, Last, east, true, 0), 1.5 * besideEast + 1);
            EXPECT_LE(LineDifference(here, false, 0, north, false, Last), 1.5 * besideNorth + 1);
        }
    }
}

TEST(TileRenderer, WebMercatorTilesJoinWithoutSeams) {
    // Colorado and Alaska, at a coarse and a fine zoom, both layers.
    const struct { int Zoom, X, Y; } tiles[] = {{8, 53, 97}, {14, 3400, 6220}, {12, 373, 1121}};
    for (const int theme : {Topo, ColorAerial}) {
        for (const auto& t : tiles) {
            SCOPED_TRACE(testing::Message() << "t" << theme << " z" << t.Zoom);
            const QImage here = RenderMercatorTile(theme, t.Zoom, t.X, t.Y);
            const QImage east = RenderMercatorTile(theme, t.Zoom, t.X + 1, t.Y);
            const QImage south = RenderMercatorTile(theme, t.Zoom, t.X, t.Y + 1);
            ASSERT_EQ(here.size(), QSize(256, 256));
            constexpr int Last = 255;
            const double besideEast =
                std::max(LineDifference(here, true, Last - 1, here, true, Last),
                         LineDifference(east, true, 0, east, true, 1));
            const double besideSouth =
                std::max(LineDifference(here, false, Last - 1, here, false, Last),
                         LineDifference(south, false, 0, south, false, 1));
            EXPECT_LE(LineDifference(here, true, Last, east, true, 0), 1.5 * besideEast + 1);
            EXPECT_LE(LineDifference(here, false, Last, south, false, 0), 1.5 * besideSouth + 1);
        }
    }
}

TEST(TileRenderer, LayersOverTheGroundCanBeLeftOut) {
    const TileAddress a{Topo, 12, 250, 4480, 13}; // a grid line on the west column
    const QImage full = RenderTile(a), bare = RenderTile(a, {false, false});
    const QImage noLabel = RenderTile(a, {true, false});
    EXPECT_NE(full.pixel(0, 100), bare.pixel(0, 100)) << "the grid line";
    EXPECT_EQ(noLabel.pixel(0, 100), full.pixel(0, 100));
    EXPECT_NE(full.pixel(10, 8), noLabel.pixel(10, 8)) << "the label";
    EXPECT_EQ(bare.pixel(100, 150), full.pixel(100, 150)) << "the ground itself";
    // The lines are blended as a painter blends them: the same pixels.
    QImage painted = bare;
    {
        QPainter p(&painted);
        p.fillRect(0, 0, 1, TilePixels, QColor(30, 50, 140, 130));
        p.fillRect(0, TilePixels - 1, TilePixels, 1, QColor(30, 50, 140, 130));
    }
    EXPECT_EQ(noLabel, painted);
}

TEST(TileRenderer, CoarserScaleShowsTheSameGround) {
    // Four tiles at half the scale, shrunk, resemble the one tile that covers
    // them far better than four tiles one tile off do.
    const auto shrunk = [](int theme, int s, int x, int y) {
        QImage four(2 * TilePixels, 2 * TilePixels, QImage::Format_RGB32);
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i) {
                const QImage t = RenderTile({theme, s, x + i, y + j, 13});
                for (int r = 0; r < TilePixels; ++r)
                    for (int c = 0; c < TilePixels; ++c)
                        four.setPixel(i * TilePixels + c, (1 - j) * TilePixels + r, t.pixel(c, r));
            }
        return four.scaled(TilePixels, TilePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    const auto meanDiff = [](const QImage& a, const QImage& b) {
        double sum = 0;
        for (int r = 20; r < TilePixels; ++r) // below the address label
            for (int c = 0; c < TilePixels; ++c)
                sum += Diff(a.pixel(c, r), b.pixel(c, r));
        return sum / ((TilePixels - 20) * TilePixels);
    };
    for (int theme : {Topo, ColorAerial}) {
        for (const Place& p : {Places[0], Places[1], Places[2]}) {
            SCOPED_TRACE(testing::Message() << "t" << theme << " s" << p.ScaleCode);
            const QImage coarse = RenderTile({theme, p.ScaleCode, p.X, p.Y, 13});
            const double same = meanDiff(coarse, shrunk(theme, p.ScaleCode - 1, 2 * p.X, 2 * p.Y));
            const double other =
                meanDiff(coarse, shrunk(theme, p.ScaleCode - 1, 2 * p.X + 2, 2 * p.Y + 2));
            EXPECT_LT(same, 0.6 * other);
        }
    }
}

TEST(TileRenderer, SamePlaceLooksTheSameInNeighbouringZones) {
    // Longitude 102 W is the edge between zones 13 and 14; the ground there
    // must not depend on the zone whose grid a tile belongs to.
    constexpr int ScaleCode = 16; // 64 m per pixel
    const double scale = ScaleOfCode(ScaleCode);
    const auto patchColour = [&](int zone, double lat, double lon) {
        const varrow::TUtmPosition u =
            varrow::GeographicToUtmInZone(zone, varrow::NorthAmerican1983, lat, lon);
        const auto px = static_cast<long>(std::floor(u.Easting / scale));
        const auto py = static_cast<long>(std::floor(u.Northing / scale));
        const int x = static_cast<int>(px / TilePixels), y = static_cast<int>(py / TilePixels);
        const QImage tile = RenderTile({ColorAerial, ScaleCode, x, y, zone});
        const int c = static_cast<int>(px - x * TilePixels);
        const int r = TilePixels - 1 - static_cast<int>(py - y * TilePixels);
        double sum[3] = {0, 0, 0};
        int n = 0;
        for (int dr = -4; dr <= 4; ++dr)
            for (int dc = -4; dc <= 4; ++dc) {
                const QRgb v = tile.pixel(std::clamp(c + dc, 0, TilePixels - 1),
                                          std::clamp(r + dr, 20, TilePixels - 1));
                sum[0] += qRed(v), sum[1] += qGreen(v), sum[2] += qBlue(v), ++n;
            }
        return QColor::fromRgbF(static_cast<float>(sum[0] / n / 255),
                                static_cast<float>(sum[1] / n / 255),
                                static_cast<float>(sum[2] / n / 255));
    };
    const auto distance = [](const QColor& a, const QColor& b) {
        return (std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                std::abs(a.blue() - b.blue())) /
               3.0;
    };
    double same = 0, apart = 0;
    for (double lat = 33.0; lat < 41.0; lat += 0.5) {
        same += distance(patchColour(13, lat, -102.0), patchColour(14, lat, -102.0));
        apart += distance(patchColour(13, lat, -102.0), patchColour(14, lat, -101.9));
    }
    EXPECT_LT(same, 0.5 * apart);
}

TEST(TileRenderer, ThemesLookDifferent) {
    const TileAddress topo{Topo, 16, 24, 280, 13};
    TileAddress aerial = topo, colour = topo;
    aerial.Theme = Aerial;
    colour.Theme = ColorAerial;
    const QImage t = RenderTile(topo), a = RenderTile(aerial), c = RenderTile(colour);
    int colourful = 0;
    double topoVsColour = 0;
    for (int r = 0; r < TilePixels; ++r) {
        for (int col = 0; col < TilePixels; ++col) {
            const QRgb g = a.pixel(col, r);
            ASSERT_TRUE(qRed(g) == qGreen(g) && qGreen(g) == qBlue(g)) << "Aerial is grey";
            const QColor cc(c.pixel(col, r));
            colourful += cc.hsvSaturation() > 40 ? 1 : 0;
            topoVsColour += Diff(t.pixel(col, r), c.pixel(col, r));
        }
    }
    EXPECT_GT(colourful, TilePixels * TilePixels / 2);
    EXPECT_GT(topoVsColour / (TilePixels * TilePixels), 30.0);
}

TEST(TileRenderer, GridLineAtTileEdgeIsDrawnOnce) {
    // At 4 m per pixel lines are 1 km apart. Tile (250, 4480) starts at
    // 200000 E and 3584000 N: its west column and south row hold lines, and
    // its east column and north row do not (they belong to the neighbours).
    const QImage tile = RenderTile({Topo, 12, 250, 4480, 13});
    const auto blueness = [&](bool column, int index) {
        std::vector<double> v;
        for (int i = 20; i < TilePixels - 20; ++i) {
            const QRgb p = column ? tile.pixel(index, i) : tile.pixel(i, index);
            v.push_back(qBlue(p) - qRed(p));
        }
        return TrimmedMean(v);
    };
    EXPECT_GT(blueness(true, 0), blueness(true, 1) + 20);
    EXPECT_GT(blueness(false, TilePixels - 1), blueness(false, TilePixels - 2) + 20);
    EXPECT_LT(std::abs(blueness(true, TilePixels - 1) - blueness(true, TilePixels - 2)), 10);
    EXPECT_LT(std::abs(blueness(false, 0) - blueness(false, 1)), 10);
}

TEST(TileRenderer, OddAddressesStillRender) {
    // Southern zones, the wrapped zones 0 and 61, the poles and the edge of
    // what the service accepts.
    const TileAddress odd[] = {{Topo, 19, 3, -20, -33},
                               {ColorAerial, 8, 0, 0, 0},
                               {Aerial, 19, 8, 97, 61},
                               {Topo, 19, 195, -195, 1},
                               {ColorAerial, 19, -195, 195, 60}};
    for (const TileAddress& a : odd) {
        const QImage image = RenderTile(a);
        EXPECT_EQ(image.size(), QSize(TilePixels, TilePixels));
    }
}
