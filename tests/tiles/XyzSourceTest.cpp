// Maps made of web-Mercator tiles, loaded as the program loads them: the
// fixture XYZ service of varrow-tiles (the demo landscape as web-Mercator
// tiles) through the reprojecting source, its shared source tiles and its
// disk cache, against the demo landscape drawn directly.

#include "tiles/MapSources.h"
#include "tiles/NetLib.h"
#include "tiles/Reproject.h"
#include "tiles/SourceTiles.h"
#include "tiles/TileLoader.h"
#include "tiles/TileSource.h"

#include "demo/TileRenderer.h"
#include "support/FixtureStats.h"
#include "support/ImageCompare.h"
#include "support/LoadMap.h"
#include "support/TileServiceThread.h"

#include <QDirIterator>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <thread>

using namespace varrow;
using namespace varrow::test;

namespace {

// Colorado, south-west of Denver, at 64 m per pixel.
TTileLocation Colorado(TTileTheme theme = TTileTheme::Topo, double scale = 64.0) {
    TTileLocation location;
    location.Theme = theme;
    location.Scale = scale;
    location.Zone = 13;
    TPoint offset;
    TileFromUtm(450000.0, 4380000.0, scale, location.Tile, offset);
    return location;
}

// The view's own tiles drawn directly, where the loader puts them.
QImage DirectMap(const TTileLocation& view, int nx, int ny) {
    QImage map(nx * TileSize, ny * TileSize, QImage::Format_RGB32);
    QPainter painter(&map);
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const demo::TileAddress a{ThemeCode(view.Theme), ScaleCode(view.Scale), view.Tile.X + i,
                                      view.Tile.Y + j, view.Zone};
            painter.drawImage(TileSize * i, TileSize * (ny - 1 - j),
                              demo::RenderTile(a, {false, false}));
        }
    return map;
}

// Tile files in a cache folder, each checked to be a whole image.
int WholeTileFiles(const QString& folder, int* broken = nullptr) {
    int n = 0;
    QDirIterator it(folder, {QStringLiteral("*.tile")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QImage image(it.next());
        ++n;
        if (broken && image.size() != QSize(256, 256)) ++*broken;
    }
    return n;
}

class XyzSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cacheRoot.isValid());
        // Each test counts its own fetches; decoded tiles of another test's
        // fixture would stand in for this one's.
        TSourceTiles::Shared().ClearMemory();
    }
    void Start(const QStringList& args = {}) {
        server = std::make_unique<TileServiceThread>(args);
        ASSERT_TRUE(server->started()) << server->error().toStdString();
    }
    // The fixture as a custom source; settings go into its path ("fault=html").
    TMapSourceChoice Choice(const QString& settings = QString(), bool offline = false) {
        const QString base = server->baseUrl() +
                             (settings.isEmpty() ? QString() : QLatin1Char('/') + settings) +
                             QStringLiteral("/xyz/{z}/{x}/{y}.png");
        TMapSourceChoice choice;
        choice.Kind = TMapSourceKind::Xyz;
        choice.Custom.Templates[static_cast<int>(TTileTheme::Topo)] = base;
        choice.Custom.Templates[static_cast<int>(TTileTheme::ColorAerial)] =
            base + QStringLiteral("?layer=imagery");
        choice.Custom.Name = QStringLiteral("Fixture");
        choice.Custom.Attribution = QStringLiteral("Demo landscape");
        choice.Custom.MaxZoom = 22;
        choice.Offline = offline;
        choice.CacheRoot = cacheRoot.path();
        return choice;
    }
    TMapLoad Load(const TMapSourceChoice& choice, const TTileLocation& view, int nx, int ny,
                  int workers = TTileLoader::BroadbandWorkers) {
        TTileLoader loader(MakeTileSource(choice));
        loader.SetMaxWorkers(workers);
        return LoadMap(loader, view, nx, ny);
    }
    QString TilesFolder() const { return TTileDiskCache::TilesFolderOf(cacheRoot.path()); }

    QTemporaryDir cacheRoot;
    std::unique_ptr<TileServiceThread> server;
};

} // namespace

TEST_F(XyzSourceTest, TenByTenMapMatchesTheDirectMapAndComesBackWithoutAsking) {
    Start();
    const TTileLocation view = Colorado();
    const int fetchedBefore = TSourceTiles::Shared().NetworkFetches();
    const TMapLoad first = Load(Choice(), view, 10, 10);
    ASSERT_TRUE(first.Finished);
    EXPECT_EQ(first.Stats.Lost, 0) << first.Stats.LastError.toStdString();
    EXPECT_EQ(first.Stats.Retries, 0);
    const double mean = MeanError(first.Mosaic, DirectMap(view, 10, 10));
    std::cout << "10 x 10 map at 64 m in Colorado: mean difference " << mean
              << " levels per channel\n";
    EXPECT_LT(mean, 6.0);

    // Every source tile was asked for once, however many UTM tiles share it.
    const TFixtureStats asked = FixtureStats(server->baseUrl());
    EXPECT_EQ(asked.Requests, asked.Distinct);
    EXPECT_EQ(asked.Requests, TSourceTiles::Shared().NetworkFetches() - fetchedBefore);
    EXPECT_EQ(WholeTileFiles(TilesFolder()), asked.Distinct);

    // A second run, with nothing in memory: all from the disk, nothing asked.
    TSourceTiles::Shared().ClearMemory();
    const TMapLoad second = Load(Choice(), view, 10, 10);
    ASSERT_TRUE(second.Finished);
    EXPECT_EQ(second.Stats.Lost, 0);
    EXPECT_EQ(FixtureStats(server->baseUrl()).Requests, asked.Requests);
    EXPECT_EQ(second.Mosaic, first.Mosaic);
}

TEST_F(XyzSourceTest, OfflineLosesOnlyWhatTheDiskCacheDoesNotHold) {
    Start();
    const TTileLocation view = Colorado(TTileTheme::Topo, 512.0);
    const TMapLoad empty = Load(Choice(QString(), true), view, 1, 1);
    ASSERT_TRUE(empty.Finished);
    EXPECT_EQ(empty.Stats.Lost, 9);
    EXPECT_TRUE(empty.Stats.LastError.startsWith(QLatin1String("Offline:")))
        << empty.Stats.LastError.toStdString();
    EXPECT_EQ(FixtureStats(server->baseUrl()).Requests, 0);

    ASSERT_EQ(Load(Choice(), view, 1, 1).Stats.Lost, 0);
    const int asked = FixtureStats(server->baseUrl()).Requests;
    TSourceTiles::Shared().ClearMemory();
    const TMapLoad cached = Load(Choice(QString(), true), view, 1, 1);
    EXPECT_EQ(cached.Stats.Lost, 0);
    // Two tiles east, the old ring's east column is the new one's west column:
    // it is cached, and what lies further east is not.
    TTileLocation east = view;
    east.Tile.X += 2;
    const TMapLoad partly = Load(Choice(QString(), true), east, 1, 1);
    EXPECT_GT(partly.Stats.Lost, 0);
    EXPECT_LE(partly.Stats.Lost, 6);
    EXPECT_EQ(FixtureStats(server->baseUrl()).Requests, asked);
}

TEST_F(XyzSourceTest, WhatTheServiceAnswersWithAnErrorIsNeverKept) {
    Start();
    const TTileLocation view = Colorado(TTileTheme::Topo, 512.0);
    for (const char* fault : {"fault=html", "fault=404", "fault=corrupt", "fault=short"}) {
        SCOPED_TRACE(fault);
        const TMapLoad load = Load(Choice(QString::fromLatin1(fault)), view, 1, 1);
        EXPECT_EQ(load.Stats.Lost, 9);
        EXPECT_EQ(WholeTileFiles(TilesFolder()), 0);
    }
    // A failure that passes is kept once it passes; the tiles come whole.
    const TMapLoad retried = Load(Choice(QStringLiteral("failfirst=1")), view, 1, 1);
    EXPECT_EQ(retried.Stats.Lost, 0);
    EXPECT_GT(retried.Stats.Retries, 0);
    int broken = 0;
    EXPECT_GT(WholeTileFiles(TilesFolder(), &broken), 0);
    EXPECT_EQ(broken, 0);
}

TEST_F(XyzSourceTest, FourteenWorkersKeepToSixRequestsAtOnceAndNameVarrow) {
    Start({"--latency-ms", "50"});
    const TMapLoad load = Load(Choice(), Colorado(TTileTheme::Topo, 8.0), 4, 4);
    ASSERT_TRUE(load.Finished);
    EXPECT_EQ(load.Stats.Lost, 0);
    const TFixtureStats stats = FixtureStats(server->baseUrl());
    EXPECT_LE(stats.Peak, 6);
    EXPECT_GE(stats.Peak, 4);
    EXPECT_LE(stats.Connections, 6);
    EXPECT_TRUE(stats.Agent.startsWith(QLatin1String("Varrow/"))) << stats.Agent.toStdString();
}

TEST_F(XyzSourceTest, AerialIsTheImageryInGrey) {
    Start();
    const TMapLoad colour = Load(Choice(), Colorado(TTileTheme::ColorAerial), 1, 1);
    const TMapLoad grey = Load(Choice(), Colorado(TTileTheme::Aerial), 1, 1);
    ASSERT_EQ(colour.Stats.Lost + grey.Stats.Lost, 0);
    QImage expected = colour.Mosaic;
    ConvertToGrey(expected);
    EXPECT_EQ(grey.Mosaic, expected);
    EXPECT_NE(MeanError(colour.Mosaic, grey.Mosaic), 0.0);
}

TEST_F(XyzSourceTest, AnAbortedLoadLeavesNoSharedFetchBehind) {
    Start({"--latency-ms", "200"});
    const TTileLocation view = Colorado(TTileTheme::Topo, 8.0);
    TTileLoader loader(MakeTileSource(Choice()));
    loader.SetMaxWorkers(TTileLoader::BroadbandWorkers);
    for (const int waitMs : {50, 300, 700}) {
        QImage mosaic(5 * TileSize, 5 * TileSize, QImage::Format_RGB32);
        mosaic.fill(Qt::white);
        loader.LoadView(mosaic, view, false, 5, 5);
        QElapsedTimer clock;
        clock.start();
        ServeEventsUntil([&] { return clock.elapsed() >= waitMs; });
        loader.Abort();
        EXPECT_FALSE(loader.IsBusy());
    }
    // What the aborted workers were fetching is fetched again by those that need it.
    const TMapLoad whole = LoadMap(loader, view, 5, 5);
    ASSERT_TRUE(whole.Finished);
    EXPECT_EQ(whole.Stats.Lost, 0) << whole.Stats.LastError.toStdString();
}

TEST_F(XyzSourceTest, AWorkerWaitingForAnotherTakesOverWhenThatOneIsAborted) {
    Start({"--latency-ms", "600"});
    const TSourceTileId tile{QStringLiteral("fixture"), 10, 200, 380};
    TSourceTileFetch fetch;
    fetch.Url = [this](const TSourceTileId& id) {
        return server->baseUrl() +
               QStringLiteral("/xyz/%1/%2/%3.png").arg(id.Z).arg(id.X).arg(id.Y);
    };
    TSourceTiles tiles;
    TIdHTTPEx first, second;
    std::string firstError, secondError;
    const auto get = [&](TIdHTTPEx& client, std::string& error) {
        try {
            if (tiles.Get({tile}, fetch, client).at(0).size() != QSize(256, 256)) error = "no tile";
        } catch (const std::exception& e) {
            error = e.what();
        }
    };
    std::thread a([&] { get(first, firstError); });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    std::thread b([&] { get(second, secondError); });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    first.CloseConnection(); // the first one's load is aborted mid-fetch
    a.join();
    b.join();
    EXPECT_EQ(firstError, "Connection closed.");
    EXPECT_EQ(secondError, "") << "the waiting worker fetched the tile itself";
    EXPECT_EQ(tiles.NetworkFetches(), 2);

    // An abort of the one that waits ends its wait at once.
    const TSourceTileId other{QStringLiteral("fixture"), 10, 201, 380};
    TIdHTTPEx third, fourth;
    std::string thirdError, fourthError;
    const auto getOther = [&](TIdHTTPEx& client, std::string& error) {
        try {
            tiles.Get({other}, fetch, client);
        } catch (const std::exception& e) {
            error = e.what();
        }
    };
    std::thread c([&] { getOther(third, thirdError); });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    QElapsedTimer clock;
    std::thread d([&] {
        clock.start();
        getOther(fourth, fourthError);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    fourth.CloseConnection();
    d.join();
    EXPECT_EQ(fourthError, "Connection closed.");
    EXPECT_LT(clock.elapsed(), 400);
    c.join();
    EXPECT_EQ(thirdError, "");
}

TEST_F(XyzSourceTest, AFailedFetchFailsItsWaitersWithoutAskingAgain) {
    Start({"--latency-ms", "300"});
    TSourceTileFetch fetch;
    fetch.Url = [this](const TSourceTileId& id) {
        return server->baseUrl() +
               QStringLiteral("/fault=500/xyz/%1/%2/%3.png").arg(id.Z).arg(id.X).arg(id.Y);
    };
    TSourceTiles tiles;
    std::vector<std::string> errors(4);
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < errors.size(); ++k) {
        threads.emplace_back([&, k] {
            TIdHTTPEx client;
            try {
                tiles.Get({{QStringLiteral("fixture"), 10, 202, 380}}, fetch, client);
            } catch (const std::exception& e) {
                errors[k] = e.what();
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    for (std::thread& t : threads)
        t.join();
    for (const std::string& e : errors)
        EXPECT_EQ(e, "HTTP error 500");
    EXPECT_EQ(FixtureStats(server->baseUrl()).Requests, 1);
}

TEST_F(XyzSourceTest, TilesThatFailOnceAreAllAskedForSoOneRetryFindsThem) {
    Start();
    TSourceTileFetch fetch;
    fetch.Url = [this](const TSourceTileId& id) {
        return server->baseUrl() +
               QStringLiteral("/failfirst=1/xyz/%1/%2/%3.png").arg(id.Z).arg(id.X).arg(id.Y);
    };
    std::vector<TSourceTileId> ids;
    for (int x = 200; x < 206; ++x)
        ids.push_back({QStringLiteral("fixture"), 10, x, 380});
    TSourceTiles tiles;
    TIdHTTPEx client;
    EXPECT_THROW(tiles.Get(ids, fetch, client), TTileError);
    EXPECT_EQ(FixtureStats(server->baseUrl()).Requests, 6);
    const std::vector<QImage> images = tiles.Get(ids, fetch, client);
    EXPECT_EQ(FixtureStats(server->baseUrl()).Requests, 12);
    ASSERT_EQ(images.size(), ids.size());
    for (const QImage& image : images)
        EXPECT_EQ(image.size(), QSize(256, 256));

    // No answer at all is thrown as it came, not gathered with the others.
    TSourceTileFetch dead;
    dead.Url = [](const TSourceTileId&) { return QStringLiteral("http://127.0.0.1:1/t.png"); };
    TSourceTiles none;
    EXPECT_THROW(none.Get(ids, dead, client), THttpError);
}

TEST_F(XyzSourceTest, TwoProcessesShareOneCache) {
    Start({"--latency-ms", "20"});
    // varrow-tiles serving the fixture as tile.ashx, with this test's cache.
    const QString upstream =
        QStringLiteral("xyz:") + server->baseUrl() + QStringLiteral("/xyz/{z}/{x}/{y}.png");
    TileServiceThread other({"--source", upstream, "--cache", cacheRoot.path()});
    ASSERT_TRUE(other.started()) << other.error().toStdString();
    TMapSourceChoice direct = Choice();
    direct.Custom.Templates = {};
    direct.Custom.Templates[static_cast<int>(TTileTheme::Topo)] = upstream.mid(4);
    direct.Custom.MaxZoom = UsgsMaxZoom; // what varrow-tiles' xyz: source uses

    // Both processes fetch and keep the same tiles at the same time.
    const TTileLocation view = Colorado(TTileTheme::Topo, 64.0);
    TTileLoader here(MakeTileSource(direct));
    TTileLoader there(std::make_shared<TTileServiceSource>(other.baseUrl() + "/format=png"));
    for (TTileLoader* l : {&here, &there})
        l->SetMaxWorkers(TTileLoader::BroadbandWorkers);
    QImage a(3 * TileSize, 3 * TileSize, QImage::Format_RGB32), b = a;
    a.fill(Qt::white);
    b.fill(Qt::white);
    here.LoadView(a, view, false, 3, 3);
    there.LoadView(b, view, false, 3, 3);
    ASSERT_TRUE(ServeEventsUntil([&] {
        return here.Percent() == 100 && there.Percent() == 100 && !here.IsBusy() && !there.IsBusy();
    }));
    EXPECT_EQ(here.Lost() + there.Lost(), 0);
    EXPECT_EQ(a, b) << "the same tiles, reprojected in either process";
    int broken = 0;
    EXPECT_EQ(WholeTileFiles(TilesFolder(), &broken), FixtureStats(server->baseUrl()).Distinct);
    EXPECT_EQ(broken, 0);

    // And the cache they made serves an offline map whole.
    direct.Offline = true;
    TSourceTiles::Shared().ClearMemory();
    TTileLoader offline(MakeTileSource(direct));
    EXPECT_EQ(LoadMap(offline, view, 3, 3).Stats.Lost, 0);
}
