// The labelled UTM grid and the labels of the latitude/longitude grid.

#include "workspace/UtmGrid.h"

#include "workspace/GridOverlay.h"

#include <QImage>

#include <gtest/gtest.h>

namespace varrow {
namespace {

std::vector<int> Pixels(const std::vector<TUtmGridLine>& lines) {
    std::vector<int> pixels;
    for (const TUtmGridLine& line : lines)
        pixels.push_back(line.Pixel);
    return pixels;
}

TEST(UtmGrid, SpacingKeepsLinesAtLeastFortyPixelsApart) {
    EXPECT_EQ(UtmGridSpacing(0.25), 100.0); // 400 px: nothing finer to offer
    EXPECT_EQ(UtmGridSpacing(1), 100.0);
    EXPECT_EQ(UtmGridSpacing(2), 100.0);
    EXPECT_EQ(UtmGridSpacing(4), 1000.0);
    EXPECT_EQ(UtmGridSpacing(16), 1000.0);
    EXPECT_EQ(UtmGridSpacing(32), 10000.0);
    EXPECT_EQ(UtmGridSpacing(256), 100000.0);
    EXPECT_EQ(UtmGridSpacing(512), 100000.0);
}

TEST(UtmGrid, LinesFallOnTheExactPixelsOfTheirEastingsAndNorthings) {
    // 16 m per pixel, corner at 344,800 E, 3,583,200 N, 600 × 600 pixels:
    // eastings 345,000 .. 354,000 every km, the first 200 m (12.5 px) in.
    TMapViewState view;
    view.Scale = 16.0;
    view.Easting = 344800.0;
    view.Northing = 3583200.0;
    const TUtmGrid grid = UtmGridOf(view, QSize(600, 600));
    EXPECT_EQ(grid.Spacing, 1000.0);
    ASSERT_EQ(grid.Eastings.size(), 10u);
    EXPECT_EQ(grid.Eastings.front().Metres, 345000.0);
    EXPECT_EQ(grid.Eastings.front().Pixel, 13); // 12.5 rounds away from zero
    EXPECT_EQ(grid.Eastings[1].Pixel, 75);      // 1200 m
    // Northings count up from the bottom row: 3,584,000 is 800 m (50 px) up.
    ASSERT_FALSE(grid.Northings.empty());
    EXPECT_EQ(grid.Northings.front().Metres, 3584000.0);
    EXPECT_EQ(grid.Northings.front().Pixel, 600 - 1 - 50);

    // At 1 m per pixel every 100 m; at 512 every 100 km.
    view.Scale = 1.0;
    view.Easting = 345000.0;
    EXPECT_EQ(Pixels(UtmGridOf(view, QSize(400, 200)).Eastings), (std::vector<int>{0, 100, 200, 300}));
    view.Scale = 512.0;
    view.Easting = 307200.0;
    const TUtmGrid coarse = UtmGridOf(view, QSize(600, 600));
    EXPECT_EQ(coarse.Eastings.front().Metres, 400000.0);
    EXPECT_EQ(coarse.Eastings.front().Pixel, 181); // 92,800 m / 512 = 181.25

    // No lines on the next zone's tiles, past 921,600 m.
    view.Easting = 800000.0;
    for (const TUtmGridLine& line : UtmGridOf(view, QSize(600, 600)).Eastings)
        EXPECT_LT(line.Metres, 921600.0);
}

TEST(UtmGrid, LabelsAreThePrincipalDigitsAndFullAtTheCorner) {
    EXPECT_EQ(UtmLabel(345000.0, 1000.0, true, false), "345");
    EXPECT_EQ(UtmLabel(3584000.0, 1000.0, false, false), "3584");
    EXPECT_EQ(UtmLabel(345100.0, 100.0, true, false), "345.1");
    EXPECT_EQ(UtmLabel(400000.0, 100000.0, true, false), "400");
    EXPECT_EQ(UtmLabel(345000.0, 1000.0, true, true), "345000mE");
    EXPECT_EQ(UtmLabel(3584000.0, 1000.0, false, true), "3584000mN");

    TMapViewState view;
    view.Scale = 16.0;
    view.Easting = 344800.0;
    view.Northing = 3583200.0;
    const std::vector<TGridLabel> labels = UtmGridLabels(UtmGridOf(view, QSize(600, 600)));
    ASSERT_GE(labels.size(), 2u);
    EXPECT_EQ(labels[0].Text, "345000mE");
    EXPECT_EQ(labels[0].Edge, TMapEdge::Bottom);
}

TEST(UtmGrid, DrawnIntoTheMapWithLabelsOnPlates) {
    TMapViewState view;
    view.Scale = 4.0;
    view.Easting = 400000.0;
    view.Northing = 3600000.0;
    QImage map(600, 600, QImage::Format_RGB32);
    map.fill(qRgb(30, 90, 30)); // a dark aerial-like ground
    TGridOptions grid;
    grid.Show = true;
    grid.Type = TGridType::Utm;
    EXPECT_TRUE(DrawGridOverlay(map, view, grid));
    // The 1-km line at 401,000 E is column 250, black and white dashes.
    int dashes = 0;
    for (int y = 100; y < 500; ++y) {
        const QRgb c = map.pixel(250, y);
        dashes += c == qRgb(0, 0, 0) || c == qRgb(255, 255, 255);
    }
    EXPECT_GT(dashes, 390);
    // A pale plate under the bottom labels.
    int pale = 0;
    for (int x = 0; x < 600; ++x)
        pale += qGray(map.pixel(x, 596)) > 200;
    EXPECT_GT(pale, 20);
}

TEST(GridLabels, DegreesAndMinutesWithTheirHemisphere) {
    EXPECT_EQ(DegreesMinutesLabel(-106.875, false), "106\u00B052'30\"W");
    EXPECT_EQ(DegreesMinutesLabel(32.25, true), "32\u00B015'N");
    EXPECT_EQ(DegreesMinutesLabel(-33.5, true), "33\u00B030'S");
    EXPECT_EQ(DegreesMinutesLabel(0.0, true), "0\u00B000'");
}

} // namespace
} // namespace varrow
