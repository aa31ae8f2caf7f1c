// The real varrow-tiles, started as a process and asked over HTTP.

#include "support/TileServerProcess.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

using varrow::test::TileServerProcess;

namespace {

const std::string Tile = "tile.ashx?t=2&s=19&x=3&y=35&z=13";

struct Answer {
    bool Ok = false; // a complete HTTP answer arrived
    int Status = 0;
    std::string Type;
    std::string Body;
    std::string RetryAfter;
};

Answer Get(const TileServerProcess& server, const std::string& path, int readTimeoutMs = 5000) {
    httplib::Client client("127.0.0.1", server.port());
    client.set_connection_timeout(2);
    client.set_read_timeout(readTimeoutMs / 1000, (readTimeoutMs % 1000) * 1000);
    Answer a;
    if (auto res = client.Get(path.c_str())) {
        a.Ok = true;
        a.Status = res->status;
        a.Type = res->get_header_value("Content-Type");
        a.Body = res->body;
        a.RetryAfter = res->get_header_value("Retry-After");
    }
    return a;
}

QImage Decode(const std::string& body) {
    QImage image;
    image.loadFromData(reinterpret_cast<const uchar*>(body.data()), static_cast<int>(body.size()));
    return image;
}

#define START(server) ASSERT_TRUE((server).start()) << (server).error().toStdString()

} // namespace

TEST(TileServer, ServesEveryFormatAsA200By200Tile) {
    TileServerProcess server;
    START(server);
    const struct {
        const char* Format;
        const char* Type;
    } formats[] = {
        {"jpeg", "image/jpeg"}, {"png", "image/png"}, {"gif", "image/gif"}, {"bmp", "image/bmp"}};
    for (const auto& f : formats) {
        SCOPED_TRACE(f.Format);
        const Answer a = Get(server, "/" + Tile + "&format=" + f.Format);
        ASSERT_EQ(a.Status, 200);
        EXPECT_EQ(a.Type, f.Type);
        EXPECT_EQ(Decode(a.Body).size(), QSize(200, 200));
    }
    // Every theme, a southern zone and the finest scale.
    for (const char* path :
         {"/tile.ashx?t=1&s=19&x=3&y=35&z=13", "/tile.ashx?t=4&s=19&x=3&y=35&z=13",
          "/tile.ashx?t=2&s=8&x=4000&y=120000&z=-33"}) {
        const Answer a = Get(server, path);
        EXPECT_EQ(a.Status, 200) << path;
        EXPECT_EQ(Decode(a.Body).size(), QSize(200, 200)) << path;
    }

    TileServerProcess pngServer({"--format", "png"});
    START(pngServer);
    const Answer png = Get(pngServer, "/" + Tile);
    EXPECT_EQ(png.Type, "image/png");
    EXPECT_EQ(Decode(png.Body).size(), QSize(200, 200));
}

TEST(TileServer, SameAddressGivesTheSameBytesEvenFromAnotherProcess) {
    TileServerProcess first, second;
    START(first);
    START(second);
    for (const char* path : {"/tile.ashx?t=4&s=12&x=384&y=4480&z=13",
                             "/tile.ashx?t=2&s=16&x=24&y=280&z=13&format=png"}) {
        const Answer a = Get(first, path), b = Get(first, path), c = Get(second, path);
        ASSERT_EQ(a.Status, 200);
        EXPECT_EQ(a.Body, b.Body) << path;
        EXPECT_EQ(a.Body, c.Body) << path;
    }
    // Neighbouring addresses are different pictures.
    EXPECT_NE(Get(first, "/tile.ashx?t=4&s=12&x=385&y=4480&z=13").Body,
              Get(first, "/tile.ashx?t=4&s=12&x=384&y=4480&z=13").Body);
}

TEST(TileServer, BadQueriesGetA400WithAReason) {
    TileServerProcess server;
    START(server);
    for (const char* path :
         {"/tile.ashx", "/tile.ashx?t=2&s=19&x=3&y=35", "/tile.ashx?t=3&s=19&x=3&y=35&z=13",
          "/tile.ashx?t=2&s=20&x=3&y=35&z=13", "/tile.ashx?t=2&s=7&x=3&y=35&z=13",
          "/tile.ashx?t=2&s=19&x=3.5&y=35&z=13", "/tile.ashx?t=2&s=19&x=3&y=35&z=62",
          "/tile.ashx?t=2&s=19&x=&y=35&z=13", "/tile.ashx?t=2&s=19&x=99999999999&y=35&z=13",
          "/tile.ashx?t=2&s=19&x=3&y=400&z=13", "/tile.ashx?t=2&t=4&s=19&x=3&y=35&z=13",
          "/tile.ashx?t=2&s=19&x=3&y=35&z=13&fault=slow",
          "/tile.ashx?t=2&s=19&x=3&y=35&z=13&latency=-5",
          "/tile.ashx?t=2&s=19&x=3&y=35&z=13&format=tiff",
          "/delay=5/tile.ashx?t=2&s=19&x=3&y=35&z=13", "/oops/tile.ashx?t=2&s=19&x=3&y=35&z=13"}) {
        const Answer a = Get(server, path);
        EXPECT_EQ(a.Status, 400) << path;
        EXPECT_NE(a.Body.find("bad request"), std::string::npos) << path;
    }
    // Unknown query keys are someone else's business.
    EXPECT_EQ(Get(server, "/" + Tile + "&nocache=1").Status, 200);
}

TEST(TileServer, EachFaultKindMisbehavesAsNamed) {
    TileServerProcess server;
    START(server);
    const std::string image = Get(server, "/" + Tile).Body;
    ASSERT_GT(image.size(), 100u);

    const Answer html = Get(server, "/" + Tile + "&fault=html");
    EXPECT_EQ(html.Status, 200);
    EXPECT_EQ(html.Type, "text/html");
    EXPECT_NE(html.Body.find("<html>"), std::string::npos);

    EXPECT_EQ(Get(server, "/" + Tile + "&fault=404").Status, 404);
    EXPECT_EQ(Get(server, "/" + Tile + "&fault=500").Status, 500);

    const Answer shortBody = Get(server, "/" + Tile + "&fault=short");
    EXPECT_EQ(shortBody.Status, 200);
    EXPECT_EQ(shortBody.Body, image.substr(0, 9));

    const Answer corrupt = Get(server, "/" + Tile + "&fault=corrupt");
    EXPECT_EQ(corrupt.Status, 200);
    EXPECT_EQ(corrupt.Body.substr(0, 3), image.substr(0, 3));
    EXPECT_TRUE(Decode(corrupt.Body).isNull());

    // A stall sends nothing: the client gives up, and the service carries on.
    QElapsedTimer clock;
    clock.start();
    const Answer stalled = Get(server, "/" + Tile + "&fault=stall", 600);
    EXPECT_FALSE(stalled.Ok);
    EXPECT_GE(clock.elapsed(), 550);
    EXPECT_EQ(Get(server, "/" + Tile).Body, image);
}

TEST(TileServer, FailFirstFailsEachChosenTileThatManyTimes) {
    TileServerProcess server({"--fail-first", "2", "--fault", "404", "--fault-tiles", "3:35,5:35"});
    START(server);
    EXPECT_EQ(Get(server, "/" + Tile).Status, 404);
    EXPECT_EQ(Get(server, "/tile.ashx?t=2&s=19&x=4&y=35&z=13").Status, 200) << "not a chosen tile";
    EXPECT_EQ(Get(server, "/" + Tile).Status, 404);
    EXPECT_EQ(Get(server, "/" + Tile).Status, 200);
    EXPECT_EQ(Get(server, "/" + Tile).Status, 200);
    // Each theme of a chosen tile is a tile of its own.
    EXPECT_EQ(Get(server, "/tile.ashx?t=1&s=19&x=3&y=35&z=13").Status, 404);
    EXPECT_EQ(Get(server, "/tile.ashx?t=2&s=19&x=5&y=35&z=13").Status, 404);
}

TEST(TileServer, PathSegmentsActAsQueryKeys) {
    // A client that can only prefix "/tile.ashx?..." with a base address can
    // still pick faults: base "http://host:port/failfirst=1/fault=html".
    TileServerProcess server;
    START(server);
    const std::string base = "/failfirst=1/fault=html/";
    const Answer first = Get(server, base + Tile);
    EXPECT_EQ(first.Type, "text/html");
    const Answer second = Get(server, base + Tile);
    EXPECT_EQ(second.Status, 200);
    EXPECT_EQ(Decode(second.Body).size(), QSize(200, 200));
    // The counts of one fault setting leave other settings alone.
    EXPECT_EQ(Get(server, "/failfirst=1/" + Tile).Status, 500);

    EXPECT_EQ(Get(server, "/format=gif//" + Tile).Type, "image/gif");
    EXPECT_FALSE(Get(server, "/fault=stall/" + Tile, 400).Ok);
    // A query key wins over a segment.
    EXPECT_EQ(Get(server, "/fault=404/" + Tile + "&fault=none").Status, 200);
}

TEST(TileServer, LatencyDelaysEachAnswerButNotOneAnother) {
    TileServerProcess server({"--latency-ms", "300"});
    START(server);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Get(server, "/" + Tile).Status, 200);
    EXPECT_GE(clock.elapsed(), 300);

    clock.restart();
    EXPECT_EQ(Get(server, "/" + Tile + "&latency=0").Status, 200);
    EXPECT_LT(clock.elapsed(), 250);

    // 40 clients at once are all answered in about one latency, not forty
    // (the tiles are rendered beforehand: this is about waiting, not drawing).
    for (int x = 0; x < 5; ++x)
        Get(server, "/tile.ashx?t=2&s=19&x=" + std::to_string(x) + "&y=35&z=13&latency=0");
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    clock.restart();
    for (int i = 0; i < 40; ++i)
        clients.emplace_back([&, i] {
            const std::string path =
                "/tile.ashx?t=2&s=19&x=" + std::to_string(i % 5) + "&y=35&z=13";
            if (Get(server, path).Status == 200) ++answered;
        });
    for (std::thread& t : clients)
        t.join();
    EXPECT_EQ(answered, 40);
    EXPECT_LT(clock.elapsed(), 1500);
}

TEST(TileServer, StopsPromptlyOnTerminateEvenWithAStalledClient) {
    QProcess process;
    process.start(TileServerProcess::executable(),
                  {"--host", "127.0.0.1", "--port", "0", "--fault", "stall"});
    ASSERT_TRUE(process.waitForReadyRead(10000));
    const QString line = QString::fromUtf8(process.readLine()).trimmed();
    ASSERT_TRUE(line.startsWith("listening on http://127.0.0.1:")) << line.toStdString();
    const int port = line.section(':', -1).toInt();
    ASSERT_GT(port, 0);

    std::thread stalled([port] {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(20, 0);
        (void)client.Get(("/" + Tile).c_str());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    QElapsedTimer clock;
    clock.start();
    process.terminate();
    EXPECT_TRUE(process.waitForFinished(5000));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    stalled.join();
}

TEST(TileServer, CommandLineIsChecked) {
    QProcess help;
    help.start(TileServerProcess::executable(), {"--help"});
    ASSERT_TRUE(help.waitForFinished(10000));
    EXPECT_EQ(help.exitCode(), 0);
    EXPECT_TRUE(help.readAllStandardOutput().contains("--fail-first"));

    for (const QStringList& args :
         {QStringList{"--fault", "slow"}, QStringList{"--port", "70000"},
          QStringList{"--fault-tiles", "3"}, QStringList{"--frobnicate"},
          QStringList{"--latency-ms"}, QStringList{"--source", "osm"},
          QStringList{"--source", "xyz:http://h/{z}/{x}"}, QStringList{"--retry-after", "-1"}}) {
        QProcess bad;
        bad.start(TileServerProcess::executable(), args);
        ASSERT_TRUE(bad.waitForFinished(10000));
        EXPECT_EQ(bad.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_FALSE(bad.readAllStandardError().isEmpty());
    }
}

TEST(TileServer, ServesTheLandscapeAsWebMercatorTiles) {
    TileServerProcess server;
    START(server);
    const Answer topo = Get(server, "/xyz/10/200/380.png");
    ASSERT_EQ(topo.Status, 200);
    EXPECT_EQ(topo.Type, "image/png");
    EXPECT_EQ(Decode(topo.Body).size(), QSize(256, 256));
    EXPECT_EQ(Get(server, "/xyz/10/200/380.png?layer=topo").Body, topo.Body);
    const Answer imagery = Get(server, "/xyz/10/200/380.png?layer=imagery");
    EXPECT_EQ(Decode(imagery.Body).size(), QSize(256, 256));
    EXPECT_NE(imagery.Body, topo.Body);
    EXPECT_EQ(Get(server, "/xyz/10/200/380.png?format=jpeg").Type, "image/jpeg");
    EXPECT_EQ(Decode(Get(server, "/xyz/0/0/0.png").Body).size(), QSize(256, 256));

    for (const char* path :
         {"/xyz/10/1024/380.png", "/xyz/10/-1/380.png", "/xyz/24/0/0.png", "/xyz/a/0/0.png",
          "/xyz/10/200/380.png?layer=streets", "/oops/xyz/10/200/380.png"}) {
        const Answer a = Get(server, path);
        EXPECT_EQ(a.Status, 400) << path;
        EXPECT_NE(a.Body.find("bad request"), std::string::npos) << path;
    }
}

TEST(TileServer, WebMercatorTilesMisbehaveOnRequestToo) {
    TileServerProcess server({"--retry-after", "3"});
    START(server);
    const std::string tile = "xyz/10/200/380.png";
    EXPECT_EQ(Get(server, "/fault=404/" + tile).Status, 404);
    EXPECT_EQ(Get(server, "/" + tile + "?fault=html").Type, "text/html");
    const Answer busy = Get(server, "/fault=429/retryafter=7/" + tile);
    EXPECT_EQ(busy.Status, 429);
    EXPECT_EQ(busy.RetryAfter, "7");
    const Answer down = Get(server, "/fault=503/" + tile);
    EXPECT_EQ(down.Status, 503);
    EXPECT_EQ(down.RetryAfter, "3") << "the service's own setting";
    // Fail-first counts web-Mercator tiles apart from UTM tiles with the same numbers.
    EXPECT_EQ(Get(server, "/failfirst=1/" + tile).Status, 500);
    EXPECT_EQ(Get(server, "/failfirst=1/tile.ashx?t=2&s=10&x=200&y=380&z=13").Status, 500);
    EXPECT_EQ(Get(server, "/failfirst=1/" + tile).Status, 200);
    // The counts of what was asked, for the tests of polite clients.
    const Answer stats = Get(server, "/stats");
    EXPECT_NE(stats.Body.find("requests=7\n"), std::string::npos) << stats.Body;
    EXPECT_NE(stats.Body.find("peak=1\n"), std::string::npos) << stats.Body;
    EXPECT_NE(stats.Body.find("distinct=6\n"), std::string::npos) << stats.Body;
}

TEST(TileServer, ServesAnotherMapSourceAsTileAshx) {
    TileServerProcess fixture;
    START(fixture);
    QTemporaryDir cache;
    const QString upstream =
        QStringLiteral("xyz:") + fixture.baseUrl() + QStringLiteral("/xyz/{z}/{x}/{y}.png");
    TileServerProcess relay({"--source", upstream, "--cache", cache.path()});
    START(relay);
    const Answer a = Get(relay, "/tile.ashx?t=2&s=16&x=70&y=684&z=13");
    ASSERT_EQ(a.Status, 200) << a.Body;
    EXPECT_EQ(a.Type, "image/jpeg");
    EXPECT_EQ(Decode(a.Body).size(), QSize(200, 200));
    EXPECT_EQ(Get(relay, "/tile.ashx?t=2&s=16&x=70&y=684&z=13").Body, a.Body);
    const Answer asked = Get(fixture, "/stats");
    EXPECT_EQ(asked.Body.find("requests=0\n"), std::string::npos) << "the fixture was asked";
    EXPECT_FALSE(QDir(cache.path() + "/tiles").isEmpty()) << "and its tiles kept";

    // Offline with an empty cache, the relay answers that it has no tile.
    QTemporaryDir empty;
    TileServerProcess offline({"--source", upstream, "--cache", empty.path(), "--offline"});
    START(offline);
    const Answer none = Get(offline, "/tile.ashx?t=2&s=16&x=70&y=684&z=13");
    EXPECT_EQ(none.Status, 502);
    EXPECT_NE(none.Body.find("Offline"), std::string::npos) << none.Body;
}
