#include "TileWorkerThread.h"

#include "TileCache.h"
#include "TileLoader.h"

#include <QPainter>

#include <exception>

namespace varrow {

TTileWorkerThread::TTileWorkerThread(QImage* canvas, TTileCache* cache,
                                     const TTileLocation& location, TPoint position)
    : Cache(cache), TilePosition(position), TileLocation(location), Canvas(canvas) {}

TTileWorkerThread::~TTileWorkerThread() {
    if (Thread.joinable()) Thread.join();
}

void TTileWorkerThread::Start() {
    Thread = std::thread(&TTileWorkerThread::Execute, this);
}

void TTileWorkerThread::RequestAbort() {
    AbortFlag.store(true);
    std::lock_guard<std::mutex> guard(HttpLock);
    if (Http) Http->CloseConnection();
}

void TTileWorkerThread::DrawTile(const QImage& bitmap, QImage& canvas, TPoint position,
                                 const TTileLocation& location) {
    QPainter painter(&canvas);
    painter.drawImage(position.X, position.Y, bitmap);
    if (location.Outline) {
        // A one-pixel frame over the tile's outermost rows and columns.
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::black, 0));
        painter.drawRect(position.X, position.Y, TileSize - 1, TileSize - 1);
    }
}

bool TTileWorkerThread::FetchTile(TIdHTTPEx& client, QImage& bitmap, const TTileLocation& location,
                                  const TTileSource& source, QString* error) {
    try {
        source.FetchTile(client, location, bitmap);
        return true;
    } catch (const std::exception& e) {
        if (error) *error = QString::fromUtf8(e.what());
    } catch (...) {
        if (error) *error = QStringLiteral("Unknown error");
    }
    return false;
}

bool TTileWorkerThread::FetchWithRetries() {
    std::unique_ptr<TIdHTTPEx> client;
    try {
        client = std::make_unique<TIdHTTPEx>();
    } catch (...) {
        return false;
    }
    client->OnPacketRecvd = PacketHandler;
    client->OnStatus = StatusHandler;
    client->TimeOut = RequestTimeOut;
    client->MaxBodyBytes = MaxTileBodyBytes;
    {
        std::lock_guard<std::mutex> guard(HttpLock);
        Http = client.get();
    }
    bool fetched = false;
    for (int attempt = 0; attempt < MaxAttempts && !fetched; ++attempt) {
        if (AbortFlag.load()) break;
        QString error;
        fetched = FetchTile(*client, Bitmap, TileLocation, *Source, &error);
        if (!fetched) Loader->CountRetry(error);
    }
    {
        std::lock_guard<std::mutex> guard(HttpLock);
        Http = nullptr;
    }
    return fetched;
}

void TTileWorkerThread::Execute() {
    LostFlag.store(false);
    bool fetched = false;
    try {
        fetched = FetchWithRetries();
    } catch (...) {
        fetched = false;
    }
    if (fetched) {
        try {
            Loader->TileFetched(Bitmap, Canvas, TilePosition, TileLocation);
            Cache->Store(Bitmap, TileLocation, Source->Key(), 0);
        } catch (const std::exception& error) {
            Loader->ShowError(QString::fromUtf8(error.what()));
        } catch (...) {
            Loader->ShowError(QStringLiteral("Unknown error while storing a tile."));
        }
    } else {
        LostFlag.store(true);
    }
    // The last touch of this object on this thread: the loader frees it later.
    Loader->WorkerEnded(this);
}

} // namespace varrow
