// The loader, its workers and the cache together, against the real tile service.

#include "tiles/TileLoader.h"
#include "support/LoadMap.h"
#include "support/TileServerSuite.h"
#include "tiles/NetLib.h"
#include "tiles/DemoSource.h"
#include "demo/TileRenderer.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sys/resource.h>
#include <unistd.h>

using namespace varrow;

namespace {

// Serves events until done() holds, failing after a deadline instead of hanging.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 60000) {
    return test::ServeEventsUntil(done, timeoutMs);
}

bool Complete(const TTileLoader& loader) {
    return loader.Percent() == 100 && !loader.IsBusy();
}

// A cleared mosaic of nx by ny tiles, as the loader expects it.
QImage Mosaic(int nx, int ny) {
    QImage mosaic(nx * TileSize, ny * TileSize, QImage::Format_RGB32);
    mosaic.fill(Qt::white);
    return mosaic;
}

// Everything a loader tells its owner.
struct TWatch {
    explicit TWatch(TTileLoader& loader) {
        loader.OnProgress = [this, &loader](const TLoadStats& stats) {
            Reports.push_back(stats);
            PeakWorkers = std::max(PeakWorkers, loader.ActiveWorkerCount());
        };
        loader.OnTileDrawn = [this](const QRect& rect) { Drawn.push_back(rect); };
    }
    std::vector<TLoadStats> Reports;
    std::vector<QRect> Drawn;
    int PeakWorkers = 0;
};

TTileLocation Place(int row, double scale = 4.0, int column = 384, int zone = 13) {
    TTileLocation location;
    location.Theme = TTileTheme::Topo;
    location.Scale = scale;
    location.Tile = TPoint{column, row};
    location.Zone = zone;
    return location;
}

// Top-left mosaic corner of tile (i, j) of a view, j counted northward.
QPoint Corner(const TTileLocation& view, int i, int j, int ny) {
    return QPoint(TileSize * i - view.Offset.X, TileSize * (ny - 1 - j) + view.Offset.Y);
}

// Every mosaic pixel the tile covers equals the tile's own pixel.
::testing::AssertionResult TileAt(const QImage& mosaic, const QImage& tile, QPoint corner) {
    if (tile.size() != QSize(TileSize, TileSize)) return ::testing::AssertionFailure() << "no tile";
    for (int y = 0; y < TileSize; ++y)
        for (int x = 0; x < TileSize; ++x) {
            const QPoint p = corner + QPoint(x, y);
            if (!mosaic.rect().contains(p)) continue;
            if (mosaic.pixel(p) != tile.pixel(x, y))
                return ::testing::AssertionFailure()
                       << "mosaic pixel (" << p.x() << ", " << p.y()
                       << ") differs from tile pixel (" << x << ", " << y << ")";
        }
    return ::testing::AssertionSuccess();
}

bool AllWhite(const QImage& mosaic, const QRect& area) {
    const QRect inside = area & mosaic.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (mosaic.pixel(x, y) != qRgb(255, 255, 255)) return false;
    return true;
}

TTileSourcePtr Service(const QString& base) {
    return std::make_shared<TTileServiceSource>(base);
}

class TileLoaderTest : public test::TileServiceThreadSuite {
protected:
    // The service, with per-request faults as path segments ("failfirst=2/fault=500").
    static QString Base(const QString& options = QString()) {
        return options.isEmpty() ? Server->baseUrl() : Server->baseUrl() + "/" + options;
    }
    static TTileSourcePtr Source(const QString& options = QString()) {
        return Service(Base(options));
    }
    // The tile as the service serves it, decoded the way the loader decodes it.
    static QImage Served(const TTileLocation& location) {
        TIdHTTPEx client;
        QImage tile;
        client.GetBitmap(BuildTileUrl(location, Base()), tile);
        return tile;
    }
};

} // namespace

TEST(TileLoaderProgress, HundredOnlyWhenEveryTileHasFinished) {
    EXPECT_EQ(TTileLoader::ProgressPercent(0, 0, 0), 0);
    EXPECT_EQ(TTileLoader::ProgressPercent(0, 25, 0), 0);
    EXPECT_EQ(TTileLoader::ProgressPercent(24, 25, 0), 96);
    EXPECT_EQ(TTileLoader::ProgressPercent(24, 25, 63 * 256), 99);
    // Bytes in flight can credit a tile with more than its share; the load is
    // still not complete.
    EXPECT_EQ(TTileLoader::ProgressPercent(24, 25, 64 * 256), 99);
    EXPECT_EQ(TTileLoader::ProgressPercent(0, 1, 1000000), 99);
    EXPECT_EQ(TTileLoader::ProgressPercent(25, 25, 0), 100);
    EXPECT_EQ(TTileLoader::ProgressPercent(12, 25, 0), 48);
}

TEST(TileLoaderMosaic, ALoadRefusesAMosaicOfTheWrongSize) {
    // A load refuses a mosaic that is missing or of the wrong size.
    QImage none;
    QImage small = Mosaic(2, 2);
    TTileLoader loader(Service("http://127.0.0.1:1"));
    EXPECT_THROW(loader.LoadView(none, Place(4480), false, 3, 3), TLoadError);
    EXPECT_THROW(loader.LoadView(small, Place(4480), false, 3, 3), TLoadError);
    EXPECT_EQ(loader.PendingCount(), 0);
    EXPECT_FALSE(loader.IsBusy());

    // Abort when idle: 0 and "Aborted", nothing else.
    TWatch watch(loader);
    loader.Abort();
    ASSERT_EQ(watch.Reports.size(), 1u);
    EXPECT_EQ(watch.Reports[0].Percent, 0);
    EXPECT_EQ(watch.Reports[0].Status, "Aborted");
    EXPECT_TRUE(watch.Reports[0].Aborted);
}

TEST(TileLoaderDemo, TilesPaintedOnTheWorkersAreDrawnWhereTheyBelongTwiceInARow) {
    // The in-process source: fourteen workers paint at once through the
    // painter's gate, each thread going on to the next tile as it ends.
    const TTileLocation view = Place(4480);
    const int nx = 5, ny = 4;
    TTileLoader loader(std::make_shared<TDemoSource>());
    loader.SetMaxWorkers(TTileLoader::BroadbandWorkers);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        QImage mosaic = Mosaic(nx, ny);
        TWatch watch(loader);
        loader.LoadView(mosaic, view, false, nx, ny);
        ASSERT_TRUE(PumpUntil([&] { return Complete(loader); }));
        EXPECT_EQ(loader.Total(), (nx + 2) * (ny + 2));
        EXPECT_EQ(loader.Lost() + loader.Retries(), 0);
        EXPECT_EQ(loader.CacheHits(), round == 0 ? 0 : loader.Total());
        EXPECT_LE(watch.PeakWorkers, TTileLoader::BroadbandWorkers);
        for (int j = -1; j <= ny; ++j)
            for (int i = -1; i <= nx; ++i) {
                const demo::TileAddress address{ThemeCode(view.Theme), ScaleCode(view.Scale),
                                                view.Tile.X + i, view.Tile.Y + j, view.Zone};
                EXPECT_TRUE(TileAt(mosaic, demo::RenderTile(address), Corner(view, i, j, ny)))
                    << "tile " << i << ", " << j;
            }
    }
}

TEST_F(TileLoaderTest, ColdLoadDrawsEachTileAsServedAcrossTheZoneEdge) {
    // 512 m per pixel has 9 columns a zone: columns 6..10 of zone 13 are
    // 6, 7, 8 there and 0, 1 of zone 14.
    TTileLocation view = Place(35, 512.0, 7);
    view.Offset = TPoint{50, 120};
    const int nx = 3, ny = 2;
    const int columns[] = {6, 7, 8, 0, 1};
    const int zones[] = {13, 13, 13, 14, 14};

    QImage mosaic = Mosaic(nx, ny);
    TTileLoader loader(Source());
    loader.SetMaxWorkers(TTileLoader::BroadbandWorkers);
    TWatch watch(loader);
    loader.LoadView(mosaic, view, false, nx, ny);
    ASSERT_TRUE(PumpUntil([&] { return Complete(loader); }));

    EXPECT_EQ(loader.Total(), 20);
    EXPECT_EQ(loader.CacheHits() + loader.Retries() + loader.Lost(), 0);
    // 100 exactly when every tile has finished, at most 99 before.
    for (const TLoadStats& report : watch.Reports) {
        EXPECT_LE(report.Percent, report.Done < report.Total ? 99 : 100);
        EXPECT_EQ(report.Percent == 100, report.Done == report.Total);
    }
    ASSERT_FALSE(watch.Reports.empty());
    EXPECT_EQ(watch.Reports.back().Percent, 100);

    std::set<std::pair<int, int>> drawn;
    for (const QRect& rect : watch.Drawn) {
        EXPECT_EQ(rect.size(), QSize(TileSize, TileSize));
        drawn.insert({rect.x(), rect.y()});
    }
    EXPECT_EQ(watch.Drawn.size(), 20u);
    for (int j = -1; j <= ny; ++j)
        for (int i = -1; i <= nx; ++i) {
            SCOPED_TRACE(testing::Message() << "tile i=" << i << " j=" << j);
            TTileLocation served = view;
            served.Tile = TPoint{columns[i + 1], view.Tile.Y + j};
            served.Zone = zones[i + 1];
            const QPoint corner = Corner(view, i, j, ny);
            EXPECT_EQ(drawn.count({corner.x(), corner.y()}), 1u);
            EXPECT_TRUE(TileAt(mosaic, Served(served), corner));
        }
    // The location's own tile has its south-west corner on the mosaic's.
    EXPECT_EQ(Corner(view, 0, 0, ny), QPoint(-50, 320));
}

TEST_F(TileLoaderTest, ReloadIsServedWhollyFromTheCache) {
    const TTileLocation view = Place(35, 512.0, 3); // the program's start view
    QImage first = Mosaic(3, 3);
    QImage again = Mosaic(3, 3);
    QImage framed = Mosaic(3, 3);
    TTileLoader loader(Source());
    loader.SetMaxWorkers(TTileLoader::BroadbandWorkers);
    loader.LoadView(first, view, false, 3, 3);
    ASSERT_TRUE(PumpUntil([&] { return Complete(loader); }));
    EXPECT_EQ(loader.Total(), 25);

    TWatch watch(loader);
    loader.LoadView(again, view, false, 3, 3);
    // All of it happened inside LoadView: no worker, nothing queued.
    EXPECT_EQ(loader.CacheHits(), 25);
    EXPECT_EQ(loader.Done(), 25);
    EXPECT_EQ(loader.Percent(), 100);
    EXPECT_FALSE(loader.IsBusy());
    EXPECT_EQ(loader.PendingCount(), 0);
    EXPECT_EQ(watch.PeakWorkers, 0);
    EXPECT_EQ(watch.Drawn.size(), 25u);
    EXPECT_EQ(again, first);

    // With tile outlines each tile is framed in black on its own border.
    loader.LoadView(framed, view, true, 3, 3);
    EXPECT_EQ(loader.CacheHits(), 25);
    const QPoint corner = Corner(view, 0, 0, 3); // (0, 400)
    for (int k = 0; k < TileSize; ++k) {
        EXPECT_EQ(framed.pixel(corner + QPoint(k, 0)), qRgb(0, 0, 0));
        EXPECT_EQ(framed.pixel(corner + QPoint(k, TileSize - 1)), qRgb(0, 0, 0));
        EXPECT_EQ(framed.pixel(corner + QPoint(0, k)), qRgb(0, 0, 0));
        EXPECT_EQ(framed.pixel(corner + QPoint(TileSize - 1, k)), qRgb(0, 0, 0));
    }
    EXPECT_EQ(framed.copy(QRect(corner + QPoint(1, 1), QSize(198, 198))),
              first.copy(QRect(corner + QPoint(1, 1), QSize(198, 198))));
}

TEST_F(TileLoaderTest, AHandlerThatAbortsACachedLoadEndsItsLayout) {
    const TTileLocation view = Place(4590);
    QImage first = Mosaic(3, 3);
    QImage again = Mosaic(3, 3);
    TTileLoader loader(Source());
    loader.SetMaxWorkers(TTileLoader::BroadbandWorkers);
    loader.LoadView(first, view, false, 3, 3);
    ASSERT_TRUE(PumpUntil([&] { return Complete(loader); }));

    // The first tile drawn from the cache aborts the load, and its owner
    // considers the mosaic gone: nothing more may be drawn or queued.
    int drawn = 0;
    loader.OnTileDrawn = [&](const QRect&) {
        if (++drawn == 1) loader.Abort();
    };
    loader.LoadView(again, view, false, 3, 3);
    EXPECT_EQ(drawn, 1);
    EXPECT_EQ(loader.Done(), 0);
    EXPECT_EQ(loader.PendingCount(), 0);
    EXPECT_FALSE(loader.IsBusy());
    EXPECT_EQ(loader.StatusText(), "Aborted");
}

TEST_F(TileLoaderTest, QueueOrderAndTheWorkerLimit) {
    // Dial-up: one worker, tiles arrive one by one in queue order, south row
    // first, west to east.
    {
        const TTileLocation view = Place(4500);
        QImage mosaic = Mosaic(3, 3);
        TTileLoader loader(Source("latency=20"));
        loader.SetMaxWorkers(TTileLoader::WorkersForConnectionSpeed(1));
        EXPECT_EQ(loader.MaxWorkers(), 1);
        TWatch watch(loader);
        loader.LoadView(mosaic, view, false, 3, 3);
        EXPECT_EQ(loader.PendingCount() + loader.ActiveWorkerCount(), 25);
        ASSERT_TRUE(PumpUntil([&] { return Complete(loader); }));
        std::vector<QRect> expected;
        for (int j = -1; j <= 3; ++j)
            for (int i = -1; i <= 3; ++i)
                expected.push_back(QRect(Corner(view, i, j, 3), QSize(TileSize, TileSize)));
        EXPECT_EQ(watch.Drawn, expected);
        EXPECT_EQ(watch.PeakWorkers, 1);
    }
    // Broadband: up to 14 at once, never more.
    {
        QImage mosaic = Mosaic(3, 3);
        TTileLoader loader(Source("latency=200"));
        loader.SetMaxWorkers(TTileLoader::WorkersForConnectionSpeed(0));
        EXPECT_EQ(loader.MaxWorkers(), 14);
        TWatch watch(loader);
        loader.LoadView(mosaic, Place(4510), false, 3, 3);
        ASSERT_TRUE(PumpUntil([&] { return Complete(loader); }));
        EXPECT_GT(watch.PeakWorkers, 1);
        EXPECT_LE(watch.PeakWorkers, 14);
        EXPECT_EQ(loader.Lost(), 0);
    }
    TTileLoader loader(Source()); // a limit of 0 or less means one
    loader.SetMaxWorkers(-3);
    EXPECT_EQ(loader.MaxWorkers(), 1);
}

TEST_F(TileLoaderTest, RetriedTilesAreDrawnAndCachedLostTilesAreNot) {
    // Two failed attempts, then the tile: drawn, cached, two retries each.
    {
        const TTileLocation view = Place(4520);
        QImage mosaic = Mosaic(1, 1);
        QImage again = Mosaic(1, 1);
        TTileLoader loader(Source("failfirst=2/fault=500"));
        loader.SetMaxWorkers(TTileLoader::BroadbandWorkers);
        loader.LoadView(mosaic, view, false, 1, 1);
        ASSERT_TRUE(PumpUntil([&] { return Complete(loader); }));
        EXPECT_EQ(loader.Retries(), 2 * 9);
        EXPECT_EQ(loader.Lost(), 0);
        EXPECT_TRUE(TileAt(mosaic, Served(view), Corner(view, 0, 0, 1)));
        loader.LoadView(again, view, false, 1, 1);
        EXPECT_EQ(loader.CacheHits(), 9);
        EXPECT_EQ(again, mosaic);
    }
    // Four failed attempts: lost, four retries each, the mosaic left as cleared,
    // nothing cached; the load still completes.
    {
        const TTileLocation view = Place(4530);
        QImage mosaic = Mosaic(1, 1);
        QImage again = Mosaic(1, 1);
        TTileLoader loader(Source("failfirst=4/fault=500"));
        loader.SetMaxWorkers(TTileLoader::BroadbandWorkers);
        TWatch watch(loader);
        loader.LoadView(mosaic, view, false, 1, 1);
        ASSERT_TRUE(PumpUntil([&] { return Complete(loader); }));
        EXPECT_EQ(loader.Lost(), 9);
        EXPECT_EQ(loader.Retries(), 4 * 9);
        EXPECT_EQ(loader.Done(), 9);
        EXPECT_TRUE(watch.Drawn.empty());
        EXPECT_TRUE(AllWhite(mosaic, mosaic.rect()));
        // Not cached: the next load fetches them, and now the service answers.
        loader.LoadView(again, view, false, 1, 1);
        EXPECT_EQ(loader.CacheHits(), 0);
        ASSERT_TRUE(PumpUntil([&] { return Complete(loader); }));
        EXPECT_EQ(loader.Lost(), 0);
        EXPECT_TRUE(TileAt(again, Served(view), Corner(view, 0, 0, 1)));
    }
}

TEST_F(TileLoaderTest, WatchdogLosesTheTilesOfAStalledService) {
    QImage mosaic = Mosaic(1, 1);
    TTileLoader loader(Source("fault=stall"));
    loader.SetMaxWorkers(TTileLoader::BroadbandWorkers);
    EXPECT_EQ(loader.RequestTimeOut(), 5000);
    loader.SetRequestTimeOut(200);
    loader.LoadView(mosaic, Place(4540), false, 1, 1);
    ASSERT_TRUE(PumpUntil([&] { return Complete(loader); }));
    EXPECT_EQ(loader.Lost(), 9);
    EXPECT_EQ(loader.Retries(), 4 * 9);
    EXPECT_TRUE(AllWhite(mosaic, mosaic.rect()));
}

TEST_F(TileLoaderTest, AbortStopsALoadAtOnceAndKeepsItsCounts) {
    // A stalled service and the full 5 s watchdog: only the abort can end the
    // running attempts early.
    auto mosaic = std::make_unique<QImage>(Mosaic(3, 3));
    QImage next = Mosaic(1, 1);
    TTileLoader loader(Source("fault=stall"));
    loader.SetMaxWorkers(TTileLoader::BroadbandWorkers);
    TWatch watch(loader);
    loader.LoadView(*mosaic, Place(4550), false, 3, 3);
    ASSERT_TRUE(PumpUntil([&] { return loader.ActiveWorkerCount() == 14; }));
    EXPECT_TRUE(loader.IsBusy());

    QElapsedTimer clock;
    clock.start();
    loader.Abort();
    EXPECT_LT(clock.elapsed(), 4000); // well before any watchdog

    EXPECT_FALSE(loader.IsBusy());
    EXPECT_EQ(loader.PendingCount(), 0);
    EXPECT_EQ(loader.Percent(), 0);
    EXPECT_EQ(loader.Done(), 0);
    EXPECT_EQ(loader.StatusText(), "Aborted");
    ASSERT_FALSE(watch.Reports.empty());
    EXPECT_EQ(watch.Reports.back().Percent, 0);
    EXPECT_EQ(watch.Reports.back().Status, "Aborted");
    // Each running worker lost its tile after one (aborted) attempt.
    // (a worker stopped before its first attempt adds no retry).
    EXPECT_EQ(loader.Lost(), 14);
    EXPECT_LE(loader.Retries(), 14);
    EXPECT_EQ(loader.CacheHits(), 0);

    // Nothing of the aborted load comes later, so its mosaic may go.
    mosaic.reset();
    const size_t reports = watch.Reports.size();
    QElapsedTimer quiet;
    quiet.start();
    PumpUntil([&] { return quiet.elapsed() > 300; });
    EXPECT_EQ(watch.Reports.size(), reports);
    EXPECT_TRUE(watch.Drawn.empty());

    // The loader goes on working.
    loader.SetSource(Source());
    loader.LoadView(next, Place(4560), false, 1, 1);
    ASSERT_TRUE(PumpUntil([&] { return Complete(loader); }));
    EXPECT_EQ(loader.Lost(), 0);
}

TEST_F(TileLoaderTest, AbortFromAHandlerOrByDestructionNeverHangs) {
    // Aborting from inside the loader's own notification.
    {
        QImage mosaic = Mosaic(3, 3);
        TTileLoader loader(Source("latency=100"));
        loader.SetMaxWorkers(TTileLoader::BroadbandWorkers);
        int drawn = 0;
        bool aborted = false;
        loader.OnTileDrawn = [&](const QRect&) {
            ++drawn;
            if (!aborted) {
                aborted = true;
                loader.Abort();
            }
        };
        loader.LoadView(mosaic, Place(4570), false, 3, 3);
        ASSERT_TRUE(PumpUntil([&] { return aborted; }));
        EXPECT_FALSE(loader.IsBusy());
        EXPECT_EQ(loader.PendingCount(), 0);
        EXPECT_EQ(loader.StatusText(), "Aborted");
        EXPECT_LT(drawn, 25);
    }
    // Destroying the loader in the middle of a load stops its workers first.
    auto mosaic = std::make_unique<QImage>(Mosaic(3, 3));
    auto loader = std::make_unique<TTileLoader>(Source("fault=stall"));
    loader->LoadView(*mosaic, Place(4580), false, 3, 3);
    ASSERT_TRUE(PumpUntil([&] { return loader->IsBusy(); }));
    QElapsedTimer clock;
    clock.start();
    loader.reset();
    EXPECT_LT(clock.elapsed(), 4000);
    mosaic.reset();
}

TEST_F(TileLoaderTest, AnAbortWithTheLastTileInFlightReportsAbortedNeverComplete) {
    // One worker and a slow service: every tile but the last has finished,
    // nothing is queued, and the last one is still downloading.
    QImage mosaic = Mosaic(1, 1);
    QImage next = Mosaic(1, 1);
    TTileLoader loader(Source("latency=300"));
    loader.SetMaxWorkers(TTileLoader::DialupWorkers);
    TWatch watch(loader);
    loader.LoadView(mosaic, Place(4600), false, 1, 1);
    ASSERT_TRUE(PumpUntil([&] { return loader.Done() == 8 && loader.IsBusy(); }));
    ASSERT_EQ(loader.PendingCount(), 0);
    const int before = loader.Stats().Generation;
    watch.Reports.clear();
    loader.Abort();
    ASSERT_FALSE(watch.Reports.empty());
    for (const TLoadStats& report : watch.Reports) {
        EXPECT_NE(report.Percent, 100);
        EXPECT_FALSE(report.Complete());
    }
    EXPECT_TRUE(watch.Reports.back().Aborted);
    EXPECT_EQ(watch.Reports.back().Status, "Aborted");
    EXPECT_GT(watch.Reports.back().Generation, before);

    // The next load's own end is the one that completes.
    watch.Reports.clear();
    loader.SetSource(Source());
    loader.LoadView(next, Place(4601), false, 1, 1);
    const int generation = loader.Stats().Generation;
    ASSERT_TRUE(PumpUntil([&] { return Complete(loader); }));
    ASSERT_FALSE(watch.Reports.empty());
    EXPECT_TRUE(watch.Reports.back().Complete());
    EXPECT_EQ(watch.Reports.back().Generation, generation);
}

TEST_F(TileLoaderTest, TilesOfAnotherSizeAndOverlongBodiesAreFailedAttempts) {
    struct Case {
        const char* fault;
        const char* error;
    } cases[] = {{"fault=oversize", "Tile is 4000 × 4000 pixels, not 200 × 200"},
                 {"fault=huge", "Tile too large: more than 4 MiB"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        QImage mosaic = Mosaic(1, 1);
        TTileLoader loader(Source(c.fault));
        loader.SetMaxWorkers(TTileLoader::BroadbandWorkers);
        // Nine 4 MiB bodies at once can take the busy service past the usual
        // watchdog; this test is about the size, not the watchdog.
        loader.SetRequestTimeOut(30000);
        TWatch watch(loader);
        loader.LoadView(mosaic, Place(4610), false, 1, 1);
        ASSERT_TRUE(PumpUntil([&] { return Complete(loader); }));
        // Retried like any bad tile, then lost: nothing drawn, nothing cached.
        const TLoadStats stats = loader.Stats();
        EXPECT_EQ(stats.Lost, 9);
        EXPECT_EQ(stats.Retries, 4 * 9);
        EXPECT_EQ(stats.LastError, QString::fromUtf8(c.error));
        EXPECT_TRUE(watch.Drawn.empty());
        EXPECT_TRUE(AllWhite(mosaic, mosaic.rect()));
        for (int i = 0; i < loader.Cache().Capacity; ++i)
            EXPECT_EQ(loader.Cache().Entry(i).Location.Scale, 0.0);
    }
}
