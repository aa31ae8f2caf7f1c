// The map session against the real tile service: what a load leaves behind
// when another replaces it, and the loads it refuses.

#include "workspace/MapSession.h"

#include "support/ErrorOf.h"
#include "support/ImageCompare.h"
#include "support/TileServerSuite.h"
#include "tiles/TileLoader.h"
#include "workspace/Navigation.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace varrow {
namespace {

constexpr int LoadDeadlineMs = 60000; // a deadline for a broken load, not a timing check

using test::GridPixels;

class MapSessionTest : public test::TileServerHomeSuite {
protected:
    void SetUp() override { ASSERT_TRUE(serverStarted) << server->error().toStdString(); }
    std::unique_ptr<TMapSession> Session(const QString& options = QString()) {
        return std::make_unique<TMapSession>(options.isEmpty() ? server->baseUrl()
                                                               : server->baseUrl() + "/" + options);
    }
};

TEST_F(MapSessionTest, ALoadThatReplacesOneWhoseLastTileIsInFlightCompletes) {
    // One download at a time from a slow service: the old load has every tile
    // but the last, nothing queued, when the user pans.
    auto session = Session(QStringLiteral("latency=250"));
    session->View().Speed = TConnectionSpeed::Dialup;
    session->View().TileCountX = session->View().TileCountY = 1;
    session->View().Scale = 64.0;
    session->View().Easting = 400000.0;
    session->SetGridOptions({true, TGridType::Minutes15});
    QSignalSpy completed(session.get(), &TMapSession::loadCompleted);
    session->LoadCurrentView(true);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return session->Stats().Done == session->Stats().Total - 1 && session->IsBusy(); },
        LoadDeadlineMs));

    TNavigator(*session).Pan(1, 0);
    EXPECT_EQ(completed.count(), 0) << "the abort completed nothing";
    EXPECT_FALSE(session->LoadComplete());
    ASSERT_TRUE(QTest::qWaitFor([&] { return completed.count() == 1; }, LoadDeadlineMs));
    // The new load's own end: its counters, its time, its grid, its background.
    const TLoadStats stats = session->Stats();
    EXPECT_TRUE(stats.Complete());
    EXPECT_EQ(stats.Total, 9);
    EXPECT_GT(session->LoadSeconds(), 3 * 0.2); // three tiles are new, one at a time
    EXPECT_GT(GridPixels(session->Mosaic()), 200);
    EXPECT_EQ(session->Canvas().Background(), session->Mosaic());
}

TEST_F(MapSessionTest, ZonesThatDoNotExistAreRefusedAndNothingLoads) {
    auto session = Session();
    QSignalSpy starts(session.get(), &TMapSession::loadStarting);
    for (const int zone : {0, 61, -61, 1000}) {
        session->View().Zone = zone;
        const std::string error = test::ErrorOf([&] { session->LoadCurrentView(true); });
        EXPECT_NE(error.find("1 to 60"), std::string::npos) << zone << ": " << error;
    }
    EXPECT_EQ(starts.count(), 0);
    EXPECT_FALSE(session->HasMap());
    session->View().Zone = -13;
    session->View().Northing = 7000000.0;
    session->View().TileCountX = session->View().TileCountY = 1;
    session->LoadCurrentView(true);
    EXPECT_EQ(starts.count(), 1);
    session->Abort();
}

TEST_F(MapSessionTest, TheLoadedViewIsTheMapShownNotTheFieldsTypedSince) {
    auto session = Session();
    session->View().TileCountX = session->View().TileCountY = 1;
    session->View().Easting = 307300.0; // 100 m past the tile's corner: less than one pixel
    session->LoadCurrentView(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return session->LoadComplete(); }, LoadDeadlineMs));
    EXPECT_EQ(session->LoadedView().Easting, 307200.0) << "the corner the mosaic starts at";
    TNavigator(*session).SetPosition(500000.0, 4000000.0);
    EXPECT_EQ(session->LoadedView().Easting, 307200.0);
    EXPECT_EQ(session->LoadedView().Northing, 3584000.0);
    const TMapPosition corner = session->LoadedView().PixelToPosition(0, 200, 200);
    EXPECT_EQ(corner.Easting, 307200.0);
}

} // namespace
} // namespace varrow
