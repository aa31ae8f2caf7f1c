// How the HTTP client treats a public map service: it names itself, keeps
// to a few connections per host whatever the number of workers, and holds
// back when told to, without hammering the service or outstaying its
// watchdog. Against the real varrow-tiles, one service per test so that its
// counts are the test's own.

#include "tiles/NetLib.h"

#include "support/FixtureStats.h"
#include "support/TileServiceThread.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace varrow;
using varrow::test::FixtureStats;
using varrow::test::TileServiceThread;

namespace {

// A fixture tile with settings as path segments ("fault=429/retryafter=1").
QString XyzUrl(const TileServiceThread& server, const QString& settings, int x = 100) {
    const QString prefix = settings.isEmpty() ? QString() : QLatin1Char('/') + settings;
    return server.baseUrl() + prefix + QStringLiteral("/xyz/10/%1/300.png").arg(x);
}

// A client as the reprojecting sources set it up.
void MakePolite(TIdHTTPEx& client) {
    client.UserAgent = VarrowUserAgent();
    client.HostConnectionLimit = 6;
    client.HonourRetryAfter = true;
}

std::string ErrorOf(TIdHTTPEx& client, const QString& url) {
    try {
        client.GetBody(url);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

double Seconds(const QElapsedTimer& clock) {
    return double(clock.elapsed()) / 1000.0;
}

} // namespace

TEST(PoliteClient, NamesItselfOnlyWhenAsked) {
    TileServiceThread server;
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    TIdHTTPEx plain;
    plain.GetBody(XyzUrl(server, QString()));
    EXPECT_EQ(FixtureStats(server.baseUrl()).Agent, "") << "tile.ashx clients stay as they were";
    TIdHTTPEx polite;
    MakePolite(polite);
    polite.GetBody(XyzUrl(server, QString()));
    EXPECT_EQ(FixtureStats(server.baseUrl()).Agent, QStringLiteral("Varrow/" VARROW_VERSION));
}

TEST(PoliteClient, KeepsToItsConnectionLimitWhateverTheThreads) {
    TileServiceThread server({"--latency-ms", "50"});
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    constexpr int Threads = 14, PerThread = 3;
    std::atomic<int> failed{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back([&, t] {
            TIdHTTPEx client;
            MakePolite(client);
            for (int k = 0; k < PerThread; ++k)
                if (ErrorOf(client, XyzUrl(server, QString(), t * PerThread + k)) != "no error")
                    ++failed;
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failed.load(), 0);
    const auto stats = FixtureStats(server.baseUrl());
    EXPECT_EQ(stats.Requests, Threads * PerThread);
    EXPECT_LE(stats.Peak, 6);
    EXPECT_GE(stats.Peak, 5) << "the limit is a limit, not one at a time";
    EXPECT_LE(stats.Connections, 6) << "connections are reused, not opened anew";
    // 42 answers of 50 ms, 6 at a time: 7 rounds at least.
    EXPECT_GE(Seconds(clock), 0.33);
}

TEST(PoliteClient, RetryAfterHoldsBackThenAsksAgainWithinTheWatchdog) {
    TileServiceThread server;
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    for (const char* status : {"429", "503"}) {
        SCOPED_TRACE(status);
        const int before = FixtureStats(server.baseUrl()).Requests;
        // The first answer asks for a second's pause, the second is the tile.
        const QString url =
            XyzUrl(server, QStringLiteral("fault=%1/retryafter=1/failfirst=1").arg(status));
        TIdHTTPEx client;
        MakePolite(client);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(ErrorOf(client, url), "no error");
        EXPECT_GE(Seconds(clock), 0.95);
        EXPECT_LT(Seconds(clock), 3.0);
        EXPECT_EQ(client.Body.left(4), QByteArray("\x89PNG"));
        EXPECT_EQ(FixtureStats(server.baseUrl()).Requests - before, 2);
    }
}

TEST(PoliteClient, ALongHoldFailsAtOnceForEveryClientOfTheHost) {
    TileServiceThread server;
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    TIdHTTPEx first;
    MakePolite(first);
    QElapsedTimer clock;
    clock.start();
    // Thirty seconds is beyond the five-second watchdog: no point waiting.
    const std::string error = ErrorOf(first, XyzUrl(server, "fault=429/retryafter=30"));
    EXPECT_NE(error.find("asked to wait 30 s"), std::string::npos) << error;
    EXPECT_LT(Seconds(clock), 1.0);
    // Another client of the same host, for another tile, does not ask either.
    TIdHTTPEx second;
    MakePolite(second);
    EXPECT_NE(ErrorOf(second, XyzUrl(server, QString(), 7)).find("asked to wait"),
              std::string::npos);
    EXPECT_EQ(FixtureStats(server.baseUrl()).Requests, 1);
    // A client that does not honour holds (tile.ashx) is not held, and a 429
    // is an HTTP error for it as before.
    TIdHTTPEx plain;
    EXPECT_EQ(ErrorOf(plain, XyzUrl(server, "fault=429/retryafter=30", 8)), "HTTP error 429");
}

TEST(PoliteClient, AHoldWithoutRetryAfterIsASecond) {
    TileServiceThread server;
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    TIdHTTPEx client;
    MakePolite(client);
    client.TimeOut = 600; // shorter than the hold: it fails rather than waits
    QElapsedTimer clock;
    clock.start();
    EXPECT_NE(ErrorOf(client, XyzUrl(server, "fault=503/failfirst=1")).find("asked to wait 1 s"),
              std::string::npos);
    EXPECT_LT(Seconds(clock), 0.5);
    EXPECT_EQ(FixtureStats(server.baseUrl()).Requests, 1);
}

TEST(PoliteClient, CloseEndsAWaitForTheHost) {
    TileServiceThread server({"--latency-ms", "3000"});
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    // One place for the host, taken by a slow request; the second client waits for it.
    TIdHTTPEx busy, waiting;
    for (TIdHTTPEx* c : {&busy, &waiting}) {
        MakePolite(*c);
        c->HostConnectionLimit = 1;
    }
    std::thread slow([&] { ErrorOf(busy, XyzUrl(server, QString(), 1)); });
    std::string error;
    QElapsedTimer clock;
    std::thread waiter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        clock.start();
        error = ErrorOf(waiting, XyzUrl(server, QString(), 2));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    waiting.CloseConnection();
    waiter.join();
    EXPECT_EQ(error, "Connection closed.");
    EXPECT_LT(Seconds(clock), 1.0);
    busy.CloseConnection();
    slow.join();
}
