// Moving the map without a window: the navigator against a session that
// loads from the real tile service.

#include "workspace/Navigation.h"

#include "support/TileServerSuite.h"
#include "workspace/MapSession.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace varrow {
namespace {

class NavigationTest : public test::TileServerHomeSuite {
protected:
    void SetUp() override {
        ASSERT_TRUE(serverStarted) << server->error().toStdString();
        session = std::make_unique<TMapSession>(server->baseUrl());
        navigator = std::make_unique<TNavigator>(*session);
        loads = std::make_unique<QSignalSpy>(session.get(), &TMapSession::loadStarting);
    }
    void TearDown() override {
        loads.reset();
        navigator.reset();
        if (session) session->Abort();
        session.reset();
    }
    TMapViewState& View() { return session->View(); }
    // Whether the last load kept the magnification (reset view false).
    bool LastLoadKeptTheView() const { return !loads->last().at(0).toBool(); }

    std::unique_ptr<TMapSession> session;
    std::unique_ptr<TNavigator> navigator;
    std::unique_ptr<QSignalSpy> loads;
};

TEST_F(NavigationTest, PansMoveByWholeTilesAndWrapIntoTheNeighbourZone) {
    navigator->Pan(0, 1);
    EXPECT_EQ(View().Northing, 3584000.0 + 102400.0);
    EXPECT_TRUE(LastLoadKeptTheView());
    navigator->Pan(-1, -1);
    EXPECT_EQ(View().Easting, 307200.0 - 102400.0);
    EXPECT_EQ(View().Northing, 3584000.0);

    // Column 8 is the last of a zone at 512 m; the offset in the tile stays.
    View().Easting = 8 * 102400.0 + 100 * 512.0;
    navigator->Pan(1, 0);
    EXPECT_EQ(View().Zone, 14);
    EXPECT_EQ(View().Easting, 100 * 512.0);
    // South of the equator the zone to the east of -13 is -14.
    View().Zone = -13;
    View().Northing = 7000000.0;
    View().Easting = 8 * 102400.0;
    navigator->Pan(1, 0);
    EXPECT_EQ(View().Zone, -14);
    EXPECT_EQ(View().Easting, 0.0);
    navigator->Pan(-1, 0);
    EXPECT_EQ(View().Zone, -13);
    EXPECT_EQ(loads->count(), 5);
}

TEST_F(NavigationTest, ZoneButtonsPutTheCentreOnTheSharedEdgeInEitherHemisphere) {
    navigator->EastZone();
    EXPECT_EQ(View().Zone, 14);
    EXPECT_DOUBLE_EQ(View().Easting,
                     ZoneEdgeEastings(14, NorthAmerican1983, 3584000.0).West - 153600.0);
    View().Zone = 60;
    navigator->EastZone();
    EXPECT_EQ(View().Zone, 1);
    View().Zone = -13;
    View().Northing = 7000000.0;
    navigator->EastZone();
    EXPECT_EQ(View().Zone, -14);
    navigator->WestZone();
    EXPECT_EQ(View().Zone, -13);
    View().Zone = -1;
    navigator->WestZone();
    EXPECT_EQ(View().Zone, -60);
}

TEST_F(NavigationTest, ScaleChangesKeepTheCentreAndDragsMoveByTheDraggedPixels) {
    const TGeoPosition before = View().MosaicCentre();
    navigator->ChangeScale(1); // 256 m per pixel
    EXPECT_EQ(View().Scale, 256.0);
    EXPECT_EQ(View().Easting, 307200.0 + 76800.0);
    EXPECT_FALSE(LastLoadKeptTheView());
    const TGeoPosition after = View().MosaicCentre();
    EXPECT_NEAR(after.Longitude, before.Longitude, 1e-9);
    EXPECT_NEAR(after.Latitude, before.Latitude, 1e-9);

    navigator->ChangeScale(5); // 16 m per pixel
    const double easting = View().Easting;
    const double northing = View().Northing;
    navigator->DragBegin(QPoint(100, 100));
    EXPECT_EQ(navigator->DragMove(QPoint(110, 105)), QPoint(10, 5));
    navigator->DragEnd(QPoint(110, 105));
    EXPECT_EQ(View().Easting, easting - 160.0);
    EXPECT_EQ(View().Northing, northing + 80.0);
    EXPECT_TRUE(LastLoadKeptTheView());

    // A drag below easting 0 continues in the zone to the west.
    View().Easting = 100.0;
    navigator->DragBegin(QPoint(0, 0));
    navigator->DragEnd(QPoint(10, 0));
    EXPECT_EQ(View().Zone, 12);
    EXPECT_EQ(View().Easting, 921600.0 - 60.0);
}

TEST_F(NavigationTest, ADoubleClickCentresThenZoomsOneStepWithOneLoad) {
    const TMapPosition clicked = View().PixelToPosition(150, 450, 600);
    const int before = static_cast<int>(loads->count());
    navigator->DoubleClick(QPoint(150, 450), QPoint(300, 300), true, false);
    EXPECT_EQ(loads->count(), before + 1);
    EXPECT_EQ(View().Scale, 256.0);
    const TGeoPosition centre = View().MosaicCentre();
    EXPECT_NEAR(centre.Longitude, clicked.Longitude, 0.01);
    EXPECT_NEAR(centre.Latitude, clicked.Latitude, 0.01);
    // At the finest scale a zoom in only centres.
    navigator->ChangeScale(11);
    navigator->DoubleClick(QPoint(300, 300), QPoint(300, 300), true, false);
    EXPECT_EQ(View().Scale, 0.25);
    EXPECT_TRUE(LastLoadKeptTheView());
}

} // namespace
} // namespace varrow
