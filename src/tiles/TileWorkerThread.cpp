#include "TileWorkerThread.h"

#include "TileBuffers.h"
#include "TileCache.h"
#include "TileLoader.h"
#include "WorkerThreads.h"

#include <exception>

namespace varrow {

TTileWorkerThread::TTileWorkerThread(QImage* canvas, TTileCache* cache,
                                     const TTileLocation& location, TPoint position,
                                     int generation)
    : Cache(cache), TilePosition(position), TileLocation(location), CanvasImage(canvas),
      LoadGeneration(generation) {}

void TTileWorkerThread::Start(TWorkerThreads& threads) {
    // The thread goes straight on to the next tile: handing it to another
    // thread cost two wake-ups per tile on a fast service.
    threads.Run([this] {
        for (TTileWorkerThread* worker = this; worker;)
            worker = worker->Execute();
    });
}

void TTileWorkerThread::RequestAbort() {
    AbortFlag.store(true);
    std::lock_guard<std::mutex> guard(HttpLock);
    if (Http) Http->CloseConnection();
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
    // One client per thread, kept from tile to tile: making one (its handles,
    // its wake-up sockets) cost as much as a request on a fast service.
    thread_local std::unique_ptr<TIdHTTPEx> kept;
    try {
        if (!kept) kept = std::make_unique<TIdHTTPEx>();
    } catch (...) {
        return false;
    }
    TIdHTTPEx* client = kept.get();
    client->Reuse();
    client->OnPacketRecvd = PacketHandler;
    client->OnStatus = StatusHandler;
    client->TimeOut = RequestTimeOut;
    client->MaxBodyBytes = MaxTileBodyBytes;
    {
        std::lock_guard<std::mutex> guard(HttpLock);
        Http = client;
    }
    bool fetched = false;
    Bitmap = NewTileImage(); // sources that decode reuse its memory
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
    // The handlers hold this worker's loader; the next tile sets its own.
    client->OnPacketRecvd = nullptr;
    client->OnStatus = nullptr;
    return fetched;
}

TTileWorkerThread* TTileWorkerThread::Execute() {
    LostFlag.store(false);
    bool fetched = false;
    try {
        fetched = FetchWithRetries();
    } catch (...) {
        fetched = false;
    }
    // A source that answers without a picture has not delivered the tile.
    if (fetched && Bitmap.isNull()) fetched = false;
    if (fetched) {
        try {
            if (Bitmap.format() != QImage::Format_RGB32)
                Bitmap = Bitmap.convertToFormat(QImage::Format_RGB32);
            Cache->Store(Bitmap, TileLocation, Source->Key(), 0);
        } catch (const std::exception& error) {
            Loader->ShowError(QString::fromUtf8(error.what()));
        } catch (...) {
            Loader->ShowError(QStringLiteral("Unknown error while storing a tile."));
        }
    } else {
        Bitmap = QImage();
        LostFlag.store(true);
    }
    // The last touch of this object on this thread: the loader frees it later.
    return Loader->WorkerFinished(this);
}

} // namespace varrow
