// Loader throughput against the bundled tile service:
//   1. a cold n x n view (ring included) at a given service latency, against
//      the ideal of ceil(tiles / 14) round trips;
//   2. a reload of a smaller view served wholly from the cache;
//   3. a cold view at 0 ms latency with tiles the service has already encoded.
// Each cold load is followed by curl --parallel --parallel-max 14 fetching the
// same URLs from the same service, the anchor for what the network allows.
//
// varrow-bench-loader [--latency-ms 50] [--size 20] [--reload-size 10]
//                     [--fast-size 20] [--rounds 3] [--fast-only] [--no-curl]
//                     [--service URL] [--tiles PATH-TO-varrow-tiles]

#include "tiles/TileLoader.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTextStream>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <sys/resource.h>

using namespace varrow;

namespace {

class TServer {
public:
    // With an address, that running service (its latency is its own) stands in.
    bool Start(const QString& executable, int latencyMs, const QString& address = QString()) {
        if (!address.isEmpty()) {
            Base = address;
            return true;
        }
        Process.start(executable, {"--host", "127.0.0.1", "--port", "0", "--latency-ms",
                                   QString::number(latencyMs)});
        if (!Process.waitForStarted(5000)) return false;
        static const QRegularExpression listening(QStringLiteral("listening on (\\S+)"));
        QByteArray seen;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            Process.waitForReadyRead(200);
            seen += Process.readAllStandardOutput();
            const QRegularExpressionMatch m = listening.match(QString::fromUtf8(seen));
            if (m.hasMatch()) {
                Base = m.captured(1);
                return true;
            }
        }
        return false;
    }
    ~TServer() {
        Process.terminate();
        if (!Process.waitForFinished(5000)) Process.kill();
    }
    QProcess Process;
    QString Base;
};

TTileLocation BenchLocation() {
    TTileLocation location;
    location.Theme = TTileTheme::Topo;
    location.Scale = 4.0;
    location.Zone = 13;
    location.Tile = TPoint{384, 4480};
    return location;
}

double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

struct TRun {
    long Faults = 0; // minor page faults of this process during the load
    int Tiles = 0;
    double Milliseconds = 0;
    double CpuMilliseconds = 0; // this process, all threads
    int CacheHits = 0;
    int Lost = 0;
};

// Loads one view and returns when the load has reached 100 percent.
TRun Load(TTileLoader& loader, int n) {
    // One mosaic per size for the whole run: its pages are faulted in once,
    // outside the timed loads, as the window's mosaic of a repeated view is.
    static std::map<int, QImage> mosaics;
    QImage& mosaic = mosaics[n];
    if (mosaic.isNull()) mosaic = QImage(n * TileSize, n * TileSize, QImage::Format_RGB32);
    mosaic.fill(Qt::white);
    QEventLoop loop;
    bool complete = false;
    loader.OnProgress = [&](const TLoadStats& stats) {
        if (stats.Complete()) {
            complete = true;
            loop.quit();
        }
    };
    QElapsedTimer clock;
    const double cpuBefore = CpuMs();
    const long faultsBefore = MinorFaults();
    clock.start();
    loader.LoadView(mosaic, BenchLocation(), false, n, n);
    if (!complete) {
        QTimer::singleShot(600000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    TRun run;
    run.Milliseconds = double(clock.nsecsElapsed()) / 1e6;
    run.CpuMilliseconds = CpuMs() - cpuBefore;
    run.Faults = MinorFaults() - faultsBefore;
    run.Tiles = loader.Total();
    run.CacheHits = loader.CacheHits();
    run.Lost = loader.Lost();
    // Timed out: the workers must not draw into the mosaic after it is gone.
    if (!complete) loader.Abort();
    loader.OnProgress = nullptr;
    return run;
}

// The URLs of the tiles a load of an n x n view at BenchLocation asks for.
QStringList ViewUrls(const QString& base, int n) {
    QStringList urls;
    const TTileLocation location = BenchLocation();
    for (int j = -1; j <= n; ++j) {
        for (int i = -1; i <= n; ++i) {
            TTileLocation tile = location;
            tile.Tile = TPoint{location.Tile.X + i, location.Tile.Y + j};
            WrapTileColumn(tile.Tile.X, tile.Zone, tile.Scale);
            urls << BuildTileUrl(tile, base);
        }
    }
    return urls;
}

// Wall time of curl fetching urls 14 at a time (its start included), or a
// negative number when curl is missing or fails.
double CurlMs(const QStringList& urls) {
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (curl.isEmpty()) return -1;
    QTemporaryFile config;
    if (!config.open()) return -1;
    {
        QTextStream out(&config);
        for (const QString& url : urls)
            out << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
    }
    config.flush();
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(curl, {"--silent", "--fail", "--parallel", "--parallel-max",
                         QString::number(TTileLoader::BroadbandWorkers), "--config",
                         config.fileName()});
    if (!process.waitForFinished(600000) || process.exitCode() != 0) return -1;
    return double(clock.nsecsElapsed()) / 1e6;
}

void PrintCurl(const TRun& run, double curlMs) {
    if (curlMs < 0) {
        std::printf("%-34s curl failed or missing\n", "");
        return;
    }
    std::printf("%-34s curl --parallel-max 14 %8.1f ms  %8.1f tiles/s  ratio %.2f\n", "",
                curlMs, run.Tiles / (curlMs / 1000.0), run.Milliseconds / curlMs);
}

void Print(const char* what, const TRun& run) {
    std::printf("%-34s tiles %4d  wall %8.1f ms  %8.1f tiles/s  cpu %7.1f ms  faults %6ld  hits "
                "%4d  lost %d\n",
                what, run.Tiles, run.Milliseconds, run.Tiles / (run.Milliseconds / 1000.0),
                run.CpuMilliseconds, run.Faults, run.CacheHits, run.Lost);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption latencyOpt("latency-ms", "Service latency.", "ms", "50");
    const QCommandLineOption sizeOpt("size", "Tiles per side of the cold view.", "n", "20");
    const QCommandLineOption reloadOpt("reload-size", "Tiles per side of the reload.", "n", "10");
    const QCommandLineOption fastOpt("fast-size", "Tiles per side at 0 ms latency.", "n", "20");
    const QCommandLineOption roundsOpt("rounds", "Loads at 0 ms latency.", "n", "3");
    const QCommandLineOption fastOnlyOpt("fast-only", "Only the loads at 0 ms latency.");
    const QCommandLineOption noCurlOpt("no-curl", "Without the curl anchor.");
    const QCommandLineOption serviceOpt("service", "A running service for the 0 ms loads.", "url");
    const QCommandLineOption tilesOpt("tiles", "The varrow-tiles executable.", "path",
                                      QStringLiteral(VARROW_TILES_EXECUTABLE));
    parser.addOptions({latencyOpt, sizeOpt, reloadOpt, fastOpt, roundsOpt, fastOnlyOpt, noCurlOpt,
                       serviceOpt, tilesOpt});
    parser.process(app);
    const int latency = parser.value(latencyOpt).toInt();
    const int size = parser.value(sizeOpt).toInt();
    const int reloadSize = parser.value(reloadOpt).toInt();
    const int fastSize = parser.value(fastOpt).toInt();
    const int rounds = parser.value(roundsOpt).toInt();
    const bool withCurl = !parser.isSet(noCurlOpt);
    const QString executable = parser.value(tilesOpt);

    try {
        if (!parser.isSet(fastOnlyOpt)) {
            TServer server;
            if (!server.Start(executable, latency)) {
                std::fprintf(stderr, "cannot start %s\n", qPrintable(executable));
                return 1;
            }
            std::printf("service latency %d ms, %d workers\n", latency,
                        TTileLoader::BroadbandWorkers);
            // The service renders a tile on first request; that is its cost,
            // not the loader's, so it sees every tile once beforehand.
            TRun first;
            {
                TTileLoader warm(std::make_shared<TTileServiceSource>(server.Base));
                warm.SetMaxWorkers(TTileLoader::BroadbandWorkers);
                first = Load(warm, size);
            }
            Print(qPrintable(QStringLiteral("first %1 x %1 (service renders)").arg(size)), first);
            TTileLoader loader(std::make_shared<TTileServiceSource>(server.Base));
            loader.SetMaxWorkers(TTileLoader::BroadbandWorkers);
            const TRun cold = Load(loader, size);
            const double ideal =
                std::ceil(cold.Tiles / double(TTileLoader::BroadbandWorkers)) * latency;
            Print(qPrintable(QStringLiteral("cold %1 x %1, empty cache").arg(size)), cold);
            std::printf("%-34s ideal %.1f ms  ratio %.3f\n", "", ideal,
                        ideal > 0 ? cold.Milliseconds / ideal : 0.0);
            if (withCurl) PrintCurl(cold, CurlMs(ViewUrls(server.Base, size)));

            TTileLoader small(std::make_shared<TTileServiceSource>(server.Base));
            small.SetMaxWorkers(TTileLoader::BroadbandWorkers);
            Load(small, reloadSize);
            const TRun reload = Load(small, reloadSize);
            Print(qPrintable(QStringLiteral("reload %1 x %1 from cache").arg(reloadSize)), reload);
        }
        {
            TServer server;
            if (!server.Start(executable, 0, parser.value(serviceOpt))) {
                std::fprintf(stderr, "cannot start %s\n", qPrintable(executable));
                return 1;
            }
            TTileLoader loader(std::make_shared<TTileServiceSource>(server.Base));
            loader.SetMaxWorkers(TTileLoader::BroadbandWorkers);
            Load(loader, fastSize); // the service renders and encodes every tile once
            const QStringList urls = ViewUrls(server.Base, fastSize);
            for (int round = 1; round <= rounds; ++round) {
                loader.Cache().Clear();
                const TRun fast = Load(loader, fastSize);
                Print(
                    qPrintable(
                        QStringLiteral("0 ms latency %1 x %1, round %2").arg(fastSize).arg(round)),
                    fast);
                if (withCurl) PrintCurl(fast, CurlMs(urls));
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
