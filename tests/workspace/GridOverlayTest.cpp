// The latitude/longitude grid drawn into a mosaic: spacing, line widths,
// first line values, the two-colour strokes and the lines a view gets.

#include "workspace/GridOverlay.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>

#include <utility>

namespace varrow {
namespace {

bool IsGrid(const QImage& image, int x, int y) {
    const QRgb c = image.pixel(x, y);
    return c == GridColourA.rgb() || c == GridColourB.rgb();
}

int GridPixels(const QImage& image, QRect area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += IsGrid(image, x, y);
    return n;
}

// A view whose top-left corner lies at (latitude, longitude), 9 by 3 tiles,
// and its white mosaic.
std::pair<TMapViewState, QImage> ViewFrom(double latitude, double longitude, double scale) {
    TMapViewState view;
    const TUtmPosition u = GeographicToUtm(NorthAmerican1983, latitude, longitude);
    view.Zone = u.Zone;
    view.Scale = scale;
    view.TileCountX = 9;
    view.Easting = u.Easting;
    view.Northing = u.Northing - view.MosaicSize().height() * scale;
    QImage mosaic(view.MosaicSize(), QImage::Format_RGB32);
    mosaic.fill(Qt::white);
    return {view, mosaic};
}

TEST(GridOverlay, TypesSpacingsLineWidthsAndFirstValues) {
    EXPECT_EQ(GridTypeCaptions(),
              QStringList({"7.5 Minute", "15 Minute", "30 Minute", "1 Degree", "Tiles", "UTM"}));
    const double spacings[] = {0.125, 0.25, 0.5, 1.0, 0.125, 0.125, 0.125};
    for (int item = 0; item < 7; ++item)
        EXPECT_EQ(GridSpacing(item == 6 ? -1 : item), spacings[item]) << item;
    const int widths[ScaleCount] = {1, 1, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3}; // 512 .. 0.25 m/pixel
    for (int item = 0; item < ScaleCount; ++item)
        EXPECT_EQ(GridLineWidth(item), widths[item]) << item;
    EXPECT_TRUE(WantsTileOutlines(true, 4));
    EXPECT_FALSE(WantsLatLongGrid(true, 4));
    EXPECT_TRUE(WantsLatLongGrid(true, 3));
    EXPECT_FALSE(WantsLatLongGrid(true, 5));
    EXPECT_TRUE(WantsUtmGrid(true, 5));
    EXPECT_FALSE(WantsTileOutlines(false, 4) || WantsLatLongGrid(false, 3));

    EXPECT_EQ(FirstGridValue(-107.3, 1.0), -108.0);
    EXPECT_EQ(FirstGridValue(32.1, 0.125), 32.125);
    EXPECT_EQ(FirstGridValue(-107.0, 1.0), -107.0); // already on a line
    EXPECT_EQ(FirstGridValue(-0.1, 0.25), -0.25);
    EXPECT_EQ(FirstGridValue(0.0, 1.0), 0.0);
}

TEST(GridOverlay, StrokesAlternateTheColoursInOppositePhase) {
    QImage image(60, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const QPen before(Qt::green, 4, Qt::DashLine);
    painter.setPen(before);
    DrawGridLine(painter, 5, 5, 45, 5, GridColourA, GridColourB, 2);
    EXPECT_EQ(painter.pen(), before);
    EXPECT_EQ(painter.backgroundMode(), Qt::TransparentMode);
    painter.end();
    int red = 0;
    for (int k = 0; k < 40; ++k) {
        // The second stroke lies one pixel right of and below the first.
        ASSERT_TRUE(IsGrid(image, 5 + k, 5) && IsGrid(image, 6 + k, 6)) << k;
        EXPECT_NE(image.pixel(5 + k, 5), image.pixel(6 + k, 6)) << k;
        red += image.pixel(5 + k, 5) == GridColourA.rgb();
    }
    EXPECT_GT(red, 10);
    EXPECT_LT(red, 30);
    EXPECT_EQ(GridPixels(image, image.rect()), 80);
}

TEST(GridOverlay, OneDegreeGridOverAMosaicFromMinus107Point3ToMinus106Point1) {
    auto [view, mosaic] = ViewFrom(33.2, -107.3, 64.0);
    const int h = mosaic.height();
    ASSERT_NEAR(view.PixelToPosition(0, 0, h).Longitude, -107.3, 1e-6);
    const double east = view.PixelToPosition(mosaic.width(), h, h).Longitude;
    ASSERT_TRUE(east > -106.2 && east < -106.0) << east;

    DrawLatLongGrid(mosaic, view, GridSpacing(3), GridLineWidth(ScaleIndexOf(64.0)));
    // Row 100, well away from the 33rd parallel, is crossed by -107 alone,
    // three strokes wide: -108 lies left of the mosaic, -106 right of it.
    const QPoint at = view.PositionToPixel(view.PixelToPosition(0, 100, h).Latitude, -107.0, h);
    EXPECT_EQ(GridPixels(mosaic, QRect(0, 100, mosaic.width(), 1)), 3);
    EXPECT_EQ(GridPixels(mosaic, QRect(at.x() - 3, 100, 8, 1)), 3);
    // The 33rd parallel crosses the whole mosaic.
    const QPoint parallel = view.PositionToPixel(33.0, -106.7, h);
    EXPECT_EQ(GridPixels(mosaic, QRect(parallel.x(), parallel.y() - 3, 1, 7)), 3);
}

TEST(GridOverlay, StrokesPerLineFollowTheScale) {
    // Zone 13's central meridian, -105, is the one meridian running straight
    // down the mosaic, so its strokes lie side by side in a row.
    for (const auto& [scale, strokes] : {std::pair{512.0, 1}, {256.0, 1}, {128.0, 2}, {32.0, 3}}) {
        auto [view, mosaic] = ViewFrom(33.2, -105.3, scale);
        DrawLatLongGrid(mosaic, view, 1.0, GridLineWidth(ScaleIndexOf(scale)));
        const int x = view.PositionToPixel(33.1, -105.0, mosaic.height()).x();
        // Below the labels at the top edge.
        EXPECT_EQ(GridPixels(mosaic, QRect(x - 4, 60, 9 + strokes, 1)), strokes) << scale;
        EXPECT_TRUE(IsGrid(mosaic, x + strokes - 1, 60)) << scale;
    }
}

TEST(GridOverlay, LinesRunFromEdgeToEdgeWhereGridNorthIsNotTrueNorth) {
    // Four degrees east of zone 12's central meridian at 45 degrees north the
    // meridians lean by about three degrees: the corner longitudes and
    // latitudes land inside the mosaic at the far ends of the lines.
    auto [view, mosaic] = ViewFrom(45.5, -107.5, 512.0);
    const int w = mosaic.width(), h = mosaic.height();
    DrawLatLongGrid(mosaic, view, 0.5, 1);
    const TMapPosition topLeft = view.PixelToPosition(0, 0, h);
    const TMapPosition bottomRight = view.PixelToPosition(w, h, h);
    int checked = 0;
    for (double lat = FirstGridValue(bottomRight.Latitude, 0.5); lat <= topLeft.Latitude;
         lat += 0.5) {
        const QPoint p = view.PositionToPixel(lat, topLeft.Longitude, h);
        const QPoint q = view.PositionToPixel(lat, bottomRight.Longitude, h);
        for (const int x : {0, w - 1}) {
            const int y = p.y() + (x - p.x()) * (q.y() - p.y()) / (q.x() - p.x());
            if (y < 3 || y > h - 4) continue;
            EXPECT_GT(GridPixels(mosaic, QRect(x, y - 2, 1, 5)), 0) << lat << " at x " << x;
            ++checked;
        }
    }
    EXPECT_GE(checked, 3);
}

TEST(GridOverlay, NoGridWhereACornerLiesPastTheDateLine) {
    // Zone 60 ends at 180 degrees: past its east edge the corners read in zone 61.
    TMapViewState view;
    view.Zone = 60;
    view.Northing = 5000000.0;
    view.Easting = ZoneEdgeEastings(60, NorthAmerican1983, view.Northing).East - 100000.0;
    QImage mosaic(view.MosaicSize(), QImage::Format_RGB32);
    mosaic.fill(Qt::white);
    ASSERT_GT(std::fabs(view.PixelToPosition(600, 600, 600).Longitude), 180.0);
    DrawLatLongGrid(mosaic, view, 0.125, 1);
    EXPECT_EQ(GridPixels(mosaic, mosaic.rect()), 0);
    // Past -180 at the west edge of zone 1.
    view.Zone = 1;
    view.Easting = ZoneEdgeEastings(1, NorthAmerican1983, view.Northing).West - 100000.0;
    // West of zone 1 lies zone 60: the map spans the date line.
    ASSERT_GT(view.PixelToPosition(0, 0, 600).Longitude, 170.0);
    ASSERT_LT(view.PixelToPosition(600, 600, 600).Longitude, -170.0);
    DrawLatLongGrid(mosaic, view, 0.125, 1);
    EXPECT_EQ(GridPixels(mosaic, mosaic.rect()), 0);
    EXPECT_EQ(GridPixels(mosaic, mosaic.rect()), 0);
    // The same mosaic a zone further in gets its grid.
    view.Zone = 2;
    DrawLatLongGrid(mosaic, view, 0.125, 1);
    EXPECT_GT(GridPixels(mosaic, mosaic.rect()), 1000);
}

} // namespace
} // namespace varrow
