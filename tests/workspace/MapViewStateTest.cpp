#include "workspace/MapViewState.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace varrow;

TEST(MapViewState, DefaultViewCapturesAsLocation3_35) {
    const TMapViewState view;
    const TTileLocation loc = view.CaptureView();
    EXPECT_EQ(loc.Tile, (TPoint{3, 35}));
    EXPECT_EQ(loc.Offset, (TPoint{0, 0}));
    EXPECT_EQ(loc.Zone, 13);
    EXPECT_EQ(loc.Scale, 512.0);
    EXPECT_EQ(loc.Theme, TTileTheme::Topo);
    EXPECT_EQ(loc.Name, "Location-3-35");
    EXPECT_EQ(view.MosaicSize(), QSize(600, 600));
    EXPECT_EQ(view.MaxWorkers(), 14);
}

TEST(MapViewState, CaptureTruncatesSubPixelOffsets) {
    TMapViewState view;
    view.Easting = 307300.0;
    EXPECT_EQ(view.CaptureView().Tile.X, 3);
    EXPECT_EQ(view.CaptureView().Offset.X, 0);
    view.Scale = 0.25;
    EXPECT_EQ(view.CaptureView().Tile.X, 6146);
    EXPECT_EQ(view.CaptureView().Offset.X, 0);
}

TEST(MapViewState, ApplyingACapturedLocationRestoresTheView) {
    TMapViewState view;
    view.Easting = 412345.0;
    view.Northing = 3650408.0;
    view.Zone = 14;
    view.Scale = 4.0;
    view.Theme = TTileTheme::ColorAerial;
    TMapViewState other;
    other.ApplyLocation(view.CaptureView());
    EXPECT_EQ(other.Zone, 14);
    EXPECT_EQ(other.Scale, 4.0);
    EXPECT_EQ(other.Theme, TTileTheme::ColorAerial);
    // Back to whole pixels of the scale.
    EXPECT_EQ(other.Easting, 412344.0);
    EXPECT_EQ(other.Northing, 3650408.0);
}

TEST(MapViewState, MagnificationOfOneIsTrackPosition23) {
    TMapViewState view;
    view.SetZoomFactor(1.0);
    EXPECT_EQ(view.MagPosition, 23);
    EXPECT_NEAR(view.ZoomFactor(), 0.997, 1e-12);
    view.SetZoomFactor(4.0);
    EXPECT_NEAR(view.ZoomFactor(), 4.0, 1e-12);
    view.SetZoomFactor(100.0);
    EXPECT_EQ(view.MagPosition, TMapViewState::MagMax);
    view.SetZoomFactor(2.0);
    const double f = view.ZoomFactor();
    EXPECT_EQ(view.ScreenToMosaic(QPoint(int(300 * f), int(150 * f))), QPoint(300, 150));
}

TEST(MapViewState, PixelsEastOfTheZoneEdgeReadInTheNextZone) {
    TMapViewState view; // zone 13 at 512 m/px
    view.Easting = 700000.0;
    const int h = view.MosaicSize().height();
    const TMapPosition inside = view.PixelToPosition(0, h, h);
    EXPECT_EQ(inside.Zone, 13);
    EXPECT_EQ(inside.Easting, 700000.0);
    EXPECT_EQ(inside.Northing, 3584000.0);
    // 200 px east is 802,400 m: past the east edge, on the zone's own tiles.
    const TMapPosition east = view.PixelToPosition(200, h, h);
    EXPECT_EQ(east.Zone, 14);
    const TZoneEdges edges = ZoneEdgeEastings(13, NorthAmerican1983, 3584000.0);
    EXPECT_NEAR(east.Easting, 700000.0 + 200 * 512.0 - edges.East + edges.West, 1e-6);
    EXPECT_GT(east.Longitude, -102.0);
}

TEST(MapViewState, PixelsPastTheTileGridReadWhereTheirTilesCameFrom) {
    // 600 px east is 1,007,200 m, past the zone's 921,600 m of tiles: the
    // loader drew zone 14's columns there, from its column 0.
    TMapViewState view;
    view.Easting = 700000.0;
    const int h = view.MosaicSize().height();
    const TMapPosition past = view.PixelToPosition(600, h, h);
    EXPECT_EQ(past.Zone, 14);
    EXPECT_EQ(past.Easting, 1007200.0 - 921600.0);
    const TGeoPosition shown = UtmToGeographic(14, NorthAmerican1983, 3584000.0, 85600.0);
    EXPECT_DOUBLE_EQ(past.Longitude, shown.Longitude);
    EXPECT_DOUBLE_EQ(past.Latitude, shown.Latitude);

    // West of easting 0 the tiles are the west neighbour's last ones.
    view.Easting = -51200.0;
    const TMapPosition west = view.PixelToPosition(0, h, h);
    EXPECT_EQ(west.Zone, 12);
    EXPECT_EQ(west.Easting, 921600.0 - 51200.0);

    // South of the equator the zone east of -13 is -14.
    view.Zone = -13;
    view.Northing = 7000000.0;
    view.Easting = 800000.0;
    const TMapPosition south = view.PixelToPosition(300, h, h);
    EXPECT_EQ(south.Zone, -14);
    EXPECT_EQ(south.Easting, 800000.0 + 300 * 512.0 - 921600.0);
    EXPECT_LT(south.Latitude, 0.0);
}

TEST(MapViewState, NoLatitudeBeyondThePoles) {
    TMapViewState view;
    view.Northing = 9990000.0;
    view.Easting = 400000.0;
    const int h = view.MosaicSize().height();
    for (const double x : {0.0, 300.0, 600.0}) {
        const TMapPosition p = view.PixelToPosition(x, 0, h);
        EXPECT_LE(std::fabs(p.Latitude), 90.0) << x;
    }
}

TEST(MapViewState, PixelAndPositionRoundTrip) {
    TMapViewState view;
    view.Scale = 16.0;
    view.TileCountX = view.TileCountY = 5;
    const int h = view.MosaicSize().height();
    for (const QPoint px : {QPoint(0, 0), QPoint(123, 456), QPoint(999, 1000)}) {
        const TMapPosition p = view.PixelToPosition(px.x(), px.y(), h);
        EXPECT_EQ(view.PositionToPixel(p.Latitude, p.Longitude, h), px);
    }
}

TEST(MapViewState, CentreOnPutsThePointMidMosaic) {
    TMapViewState view;
    view.Scale = 4.0;
    view.TileCountX = view.TileCountY = 5;
    view.CentreOn(32.78, -96.80);
    EXPECT_EQ(view.Zone, 14);
    const TGeoPosition c = view.MosaicCentre();
    EXPECT_NEAR(c.Latitude, 32.78, 1e-4);
    EXPECT_NEAR(c.Longitude, -96.80, 1e-4);
}
