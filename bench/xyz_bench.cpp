// A cold map through a reprojecting source against curl fetching the same
// source tiles, side by side in one run, both from the fixture XYZ service of
// varrow-tiles at the same latency:
//   - the n x n map (ring included) loaded as the program loads it (14
//     workers, at most 6 requests at once to the host), with an empty disk
//     cache and nothing in memory;
//   - curl --parallel --parallel-max 6 fetching exactly the source tiles that
//     map needs.
// Also the source tiles fetched per UTM tile of the map. The service paints
// every tile once beforehand, so that both measure waiting, not painting.
//
// varrow-bench-xyz [--latency-ms 50] [--size 20] [--scale 64] [--rounds 2]
//                  [--at 39.56,-105.59]   (Colorado; 64.0,-147.0 is Alaska)

#include "geo/Georef.h"
#include "support/LoadMap.h"
#include "support/TileServerProcess.h"
#include "tiles/MapSources.h"
#include "tiles/Reproject.h"
#include "tiles/SourceTiles.h"
#include "tiles/TileLoader.h"
#include "tiles/XyzSource.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <set>
#include <tuple>

using namespace varrow;

namespace {

// The map whose south-west corner lies at a place.
TTileLocation BenchView(double latitude, double longitude, double scale) {
    const TUtmPosition u = GeographicToUtm(NorthAmerican1983, latitude, longitude);
    TTileLocation location;
    location.Theme = TTileTheme::Topo;
    location.Scale = scale;
    location.Zone = u.Zone;
    TPoint offset;
    TileFromUtm(u.Easting, u.Northing, scale, location.Tile, offset);
    return location;
}

// The source tiles the loader's (n + 2) x (n + 2) tiles need, as URLs.
QStringList SourceUrls(const TTileLocation& view, int n, const QString& urlTemplate) {
    std::set<std::tuple<int, int, int>> tiles;
    for (int j = -1; j <= n; ++j)
        for (int i = -1; i <= n; ++i) {
            TTileLocation tile = view;
            tile.Tile = TPoint{view.Tile.X + i, view.Tile.Y + j};
            WrapTileColumn(tile.Tile.X, tile.Zone, tile.Scale);
            const TReprojection plan(tile, 22);
            const TSourceTileRange& r = plan.SourceTiles();
            for (int y = r.Y0; y <= r.Y1; ++y)
                for (int x = r.X0; x <= r.X1; ++x)
                    tiles.insert({r.Zoom, r.WrappedColumn(x), y});
        }
    QStringList urls;
    for (const auto& [z, x, y] : tiles)
        urls << XyzTileUrl(urlTemplate, {}, z, x, y);
    return urls;
}

// curl fetching urls, at most `parallel` at once; milliseconds, or -1.
double Curl(const QStringList& urls, int parallel, const QString& folder) {
    QFile config(folder + QStringLiteral("/urls.curl"));
    if (!config.open(QIODevice::WriteOnly)) return -1;
    for (const QString& url : urls)
        config.write(QStringLiteral("url = \"%1\"\noutput = \"/dev/null\"\n").arg(url).toUtf8());
    config.close();
    QProcess curl;
    QElapsedTimer clock;
    clock.start();
    curl.start(QStringLiteral("curl"), {"--silent", "--fail", "--parallel", "--parallel-max",
                                        QString::number(parallel), "--config", config.fileName()});
    if (!curl.waitForFinished(600000) || curl.exitCode() != 0) return -1;
    return double(clock.nsecsElapsed()) / 1e6;
}

struct TMapRun {
    double Milliseconds = -1;
    int Tiles = 0;
    int Lost = 0;
    int Fetched = 0;
};

TMapRun LoadCold(const TMapSourceChoice& choice, const TTileLocation& view, int n) {
    TSourceTiles::Shared().ClearMemory();
    TTileLoader loader(MakeTileSource(choice));
    loader.SetMaxWorkers(TTileLoader::BroadbandWorkers);
    const int fetchedBefore = TSourceTiles::Shared().NetworkFetches();
    QElapsedTimer clock;
    clock.start();
    const test::TMapLoad load = test::LoadMap(loader, view, n, n, 600000);
    TMapRun run;
    if (load.Finished) run.Milliseconds = double(clock.nsecsElapsed()) / 1e6;
    run.Tiles = load.Stats.Total;
    run.Lost = load.Stats.Lost;
    run.Fetched = TSourceTiles::Shared().NetworkFetches() - fetchedBefore;
    return run;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption latencyOpt("latency-ms",
                                        "Wait of the fixture before each source tile.", "ms", "50");
    const QCommandLineOption sizeOpt("size", "UTM tiles per side of the map, ring excluded.", "n",
                                     "20");
    const QCommandLineOption scaleOpt("scale", "Metres per pixel.", "m", "64");
    const QCommandLineOption roundsOpt("rounds", "Runs of each, alternating.", "n", "2");
    const QCommandLineOption atOpt("at", "South-west corner, latitude,longitude.", "lat,lon",
                                   "39.56,-105.59");
    parser.addOptions({latencyOpt, sizeOpt, scaleOpt, roundsOpt, atOpt});
    parser.process(app);
    const int latency = parser.value(latencyOpt).toInt();
    const int n = parser.value(sizeOpt).toInt();
    const double scale = parser.value(scaleOpt).toDouble();
    const int rounds = std::max(1, parser.value(roundsOpt).toInt());

    varrow::test::TileServerProcess server;
    if (!server.start()) {
        std::fprintf(stderr, "varrow-bench-xyz: %s\n", qPrintable(server.error()));
        return 1;
    }
    const QString painted = server.baseUrl() + QStringLiteral("/xyz/{z}/{x}/{y}.png");
    const QString slow =
        server.baseUrl() + QStringLiteral("/latency=%1/xyz/{z}/{x}/{y}.png").arg(latency);
    const QStringList at = parser.value(atOpt).split(QLatin1Char(','));
    if (at.size() != 2) {
        std::fprintf(stderr, "varrow-bench-xyz: --at needs latitude,longitude\n");
        return 2;
    }
    const TTileLocation view = BenchView(at[0].toDouble(), at[1].toDouble(), scale);
    const QStringList urls = SourceUrls(view, n, slow);
    QTemporaryDir work;
    // Paint every source tile once, quickly, so that no run pays for painting.
    if (Curl(SourceUrls(view, n, painted), 6, work.path()) < 0) {
        std::fprintf(stderr, "varrow-bench-xyz: curl failed (is it installed?)\n");
        return 1;
    }
    const int utmTiles = (n + 2) * (n + 2);
    const TReprojection corner(view, 22);
    std::printf("%d x %d map at %g m/px from %s (%d UTM tiles with the ring), %lld source tiles "
                "at zoom %d (%.2f source pixels a map pixel), %d ms latency\n",
                n, n, scale, qPrintable(parser.value(atOpt)), utmTiles,
                static_cast<long long>(urls.size()), corner.Zoom(), corner.Ratio(), latency);

    for (int round = 1; round <= rounds; ++round) {
        const double curl = Curl(urls, 6, work.path());
        QTemporaryDir cache;
        TMapSourceChoice choice;
        choice.Kind = TMapSourceKind::Xyz;
        choice.Custom.Templates[static_cast<int>(TTileTheme::Topo)] = slow;
        choice.Custom.MaxZoom = 22;
        choice.CacheRoot = cache.path();
        const TMapRun map = LoadCold(choice, view, n);
        std::printf("round %d: curl --parallel-max 6 %8.1f ms | Varrow cold map %8.1f ms "
                    "(%.2f x curl), %d source tiles fetched = %.2f per UTM tile, lost %d\n",
                    round, curl, map.Milliseconds, map.Milliseconds / curl, map.Fetched,
                    double(map.Fetched) / map.Tiles, map.Lost);
    }
    const double ideal = std::ceil(double(urls.size()) / 6.0) * latency;
    std::printf("ideal at 6 at once: %.0f ms (%lld tiles / 6 x %d ms)\n", ideal,
                static_cast<long long>(urls.size()), latency);
    return 0;
}
