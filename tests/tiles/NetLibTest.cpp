// The HTTP client and the image decoder against the real tile service.

#include "tiles/NetLib.h"
#include "support/TileServerSuite.h"
#include "tiles/TileWorkerThread.h"
#include "tiles/WebImageLoader.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using namespace varrow;

namespace {

class NetLib : public test::TileServiceThreadSuite {
protected:
    // URL of a tile, with faults or options given as path segments ("fault=html").
    static QString Url(const QString& options = QString(), int x = 384, int y = 4480) {
        TTileLocation location;
        location.Scale = 4.0;
        location.Tile = TPoint{x, y};
        location.Zone = 13;
        QString base = Server->baseUrl();
        if (!options.isEmpty()) base += QLatin1Char('/') + options;
        return BuildTileUrl(location, base);
    }
};

std::string ErrorOf(TIdHTTPEx& client, const QString& url) {
    QImage bitmap;
    try {
        client.GetBitmap(url, bitmap);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no error";
}

// Fetches n tiles at once, one client each as the workers do, and returns how
// many new connections they opened.
int ConnectionsOpened(int n, const std::function<QString(int)>& url) {
    std::atomic<int> opened{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < n; ++i)
        threads.emplace_back([&, i] {
            TIdHTTPEx client;
            client.OnStatus = [&](TIdHTTPEx*, const QString& status) {
                if (status.startsWith(QLatin1String("Connecting"))) ++opened;
            };
            client.GetBody(url(i));
        });
    for (std::thread& thread : threads)
        thread.join();
    return opened.load();
}

double SecondsSince(const QElapsedTimer& clock) {
    return double(clock.elapsed()) / 1000.0;
}

} // namespace

TEST_F(NetLib, EveryImageFormatDecodesToTheMosaicFormat) {
    struct Case {
        const char* Format;
        TWebImageKind Kind;
    };
    const Case cases[] = {{"jpeg", TWebImageKind::Jpeg},
                          {"png", TWebImageKind::Png},
                          {"gif", TWebImageKind::Gif},
                          {"bmp", TWebImageKind::Bmp}};
    QImage png, bmp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Format);
        TIdHTTPEx client;
        QImage bitmap;
        ASSERT_TRUE(client.GetBitmap(Url(QStringLiteral("format=") + c.Format), bitmap));
        EXPECT_EQ(ImageKindFromSignature(client.Body.left(SignatureLength)), c.Kind);
        EXPECT_EQ(bitmap.size(), QSize(TileSize, TileSize));
        EXPECT_EQ(bitmap.format(), QImage::Format_RGB32);
        // Whatever decodes it, the tile has the pixels Qt's own reader gives.
        QImage reference;
        ASSERT_TRUE(reference.loadFromData(client.Body));
        EXPECT_EQ(bitmap, reference.convertToFormat(QImage::Format_RGB32));
        if (c.Kind == TWebImageKind::Png) png = bitmap;
        if (c.Kind == TWebImageKind::Bmp) bmp = bitmap;
    }
    // Both are lossless: the same tile, pixel for pixel.
    EXPECT_EQ(png, bmp);
}

TEST_F(NetLib, BodiesThatAreNoTileFailWithTheirOwnMessage) {
    TIdHTTPEx client;
    // An HTML page: no signature, and the tile URL's "extension" is no image type.
    const QString html = Url("fault=html");
    const QString extension = html.mid(html.lastIndexOf(QLatin1Char('.')) + 1).toLower();
    EXPECT_EQ(ErrorOf(client, html), "Unsupport Image Type: " + extension.toStdString());
    EXPECT_TRUE(client.Body.contains("<")); // the request itself succeeded

    // Nine bytes: too short to test a signature.
    EXPECT_EQ(ErrorOf(client, Url("fault=short")), "Stream read error");
    EXPECT_EQ(client.Body.size(), 9);

    // A real signature followed by garbage: the decoder's error.
    const std::string corrupt = ErrorOf(client, Url("fault=corrupt"));
    EXPECT_NE(corrupt, "no error");
    EXPECT_EQ(corrupt.find("Unsupport"), std::string::npos);

    // HTTP errors fail the request and keep the previous body.
    QImage bitmap;
    ASSERT_TRUE(client.GetBitmap(Url(), bitmap));
    const QByteArray good = client.Body;
    EXPECT_THROW(client.GetBody(Url("fault=404")), THttpError);
    EXPECT_THROW(client.GetBody(Url("fault=500")), THttpError);
    EXPECT_EQ(client.Body, good);
}

TEST_F(NetLib, SignatureWinsOverTheUrlExtension) {
    TIdHTTPEx client;
    client.GetBody(Url("format=png"));
    const QByteArray pngBody = client.Body;
    QImage asJpgUrl, reference;
    DecodeImage(pngBody, "http://example.invalid/tile.jpg", asJpgUrl);
    ASSERT_TRUE(reference.loadFromData(pngBody, "PNG"));
    EXPECT_EQ(asJpgUrl, reference.convertToFormat(QImage::Format_RGB32));

    // A JPEG whose first bytes are damaged: the extension picks the decoder...
    client.GetBody(Url());
    QByteArray damaged = client.Body;
    damaged[0] = 'X';
    QImage out;
    try {
        DecodeImage(damaged, "http://example.invalid/tile.JPEG", out);
        FAIL() << "a JPEG without its start marker decoded";
    } catch (const TImageError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot decode the JPEG image.");
    }
    // ...and without one there is none.
    EXPECT_THROW(DecodeImage(damaged, "http://example.invalid/tile", out), TImageError);

    EXPECT_EQ(UrlExtension("http://127.0.0.1:8600/tile.ashx?t=2&S=19"), "ashx?t=2&s=19");
    EXPECT_EQ(UrlExtension("C:\\maps.d\\tile"), "");
    EXPECT_EQ(UrlExtension("http://host.example:80"), "");
    EXPECT_EQ(UrlExtension("tile"), "");
}

TEST_F(NetLib, WatchdogEndsAStalledRequest) {
    TIdHTTPEx client;
    client.TimeOut = 300;
    QElapsedTimer clock;
    clock.start();
    EXPECT_THROW(client.GetBody(Url("fault=stall")), THttpError);
    EXPECT_GE(clock.elapsed(), 290); // libcurl's clock may end a hair before ours
    EXPECT_LT(SecondsSince(clock), 15.0);
    // The client is reusable afterwards.
    QImage bitmap;
    EXPECT_TRUE(client.GetBitmap(Url(), bitmap));
}

TEST_F(NetLib, TilesWaitFiveSecondsForAStalledService) {
    TIdHTTPEx client;
    EXPECT_EQ(client.TimeOut, 5000);
    EXPECT_EQ(TTileWorkerThread::TimeOut, 5000);
    QElapsedTimer clock;
    clock.start();
    EXPECT_THROW(client.GetBody(Url("fault=stall")), THttpError);
    // What matters is that it waits the five seconds, not their last millisecond.
    EXPECT_GE(clock.elapsed(), 4900);
    EXPECT_LT(SecondsSince(clock), 30.0);
}

TEST_F(NetLib, CloseFromAnotherThreadEndsTheRequestAtOnce) {
    TIdHTTPEx client;
    client.TimeOut = 60000; // far beyond the test's patience: only the close can end it
    std::mutex lock;
    std::condition_variable changed;
    bool connected = false;
    client.OnStatus = [&](TIdHTTPEx*, const QString& status) {
        if (status == QLatin1String("Connected.")) {
            std::lock_guard<std::mutex> guard(lock);
            connected = true;
            changed.notify_all();
        }
    };
    std::thread closer([&] {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait_for(guard, std::chrono::seconds(20), [&] { return connected; });
        guard.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        client.CloseConnection();
    });
    QElapsedTimer clock;
    clock.start();
    try {
        client.GetBody(Url("fault=stall"));
        ADD_FAILURE() << "a stalled request succeeded";
    } catch (const THttpError& error) {
        EXPECT_EQ(std::string(error.what()), "Connection closed.");
    }
    closer.join();
    EXPECT_TRUE(connected);
    EXPECT_LT(SecondsSince(clock), 30.0);

    // A close between requests fails the next one at once, then the client
    // works again.
    client.CloseConnection();
    EXPECT_THROW(client.GetBody(Url()), THttpError);
    EXPECT_NO_THROW(client.GetBody(Url()));
}

TEST_F(NetLib, NotifiesPacketsAndStatusAndReusesConnections) {
    std::atomic<int> packets{0};
    QStringList statuses;
    {
        TIdHTTPEx first;
        first.OnPacketRecvd = [&](TIdHTTPEx* sender) {
            EXPECT_EQ(sender, &first);
            ++packets;
        };
        first.OnStatus = [&](TIdHTTPEx*, const QString& status) { statuses << status; };
        first.GetBody(Url(QString(), 385));
        EXPECT_GE(packets.load(), 1);
        EXPECT_TRUE(statuses.contains(QLatin1String("Connected.")));
    }
    // A second client, as the next tile's worker has, finds the connection of
    // the first in the shared cache instead of opening one.
    statuses.clear();
    TIdHTTPEx second;
    second.OnStatus = [&](TIdHTTPEx*, const QString& status) { statuses << status; };
    second.GetBody(Url(QString(), 386));
    EXPECT_TRUE(statuses.contains(QLatin1String("Connected.")));
    for (const QString& status : statuses)
        EXPECT_FALSE(status.startsWith(QLatin1String("Connecting"))) << status.toStdString();
}

TEST_F(NetLib, ConnectionsOfAFullSetOfWorkersAreKept) {
    // Each request is held long enough that all of a round run at once and
    // need a connection each; the second round fills the cache whatever the
    // first lost to a slow connect, and the third then opens none.
    const int workers = 14;
    for (int round = 1; round <= 3; ++round) {
        const int opened = ConnectionsOpened(
            workers, [&](int i) { return Url("latency=300", 400 + i, 4400 + round); });
        if (round == 3) {
            EXPECT_EQ(opened, 0);
        }
    }
}
