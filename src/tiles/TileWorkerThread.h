#pragma once

// One tile download on a thread of its own: fetch with retries, keep a copy in
// the cache, then hand the tile to the loader, which frees the worker's slot at
// once, has the tile drawn on the GUI thread and may give the thread the worker
// of the next queued tile to run.

#include "NetLib.h"
#include "TileLibrary.h"
#include "TileSource.h"

#include <QImage>
#include <QString>

#include <atomic>
#include <mutex>

namespace varrow {

class TTileCache;
class TTileLoader;
class TWorkerThreads;

class TTileWorkerThread {
public:
    static constexpr int MaxAttempts = 4;
    static constexpr int TimeOut = TIdHTTPEx::DefaultTimeOut;

    // Created by the loader, which sets Loader and the handlers and lists the
    // worker as active before calling Start.
    TTileWorkerThread(QImage* canvas, TTileCache* cache, const TTileLocation& location,
                      TPoint position, int generation);
    // The loader frees a worker only after its last call, WorkerFinished.
    ~TTileWorkerThread() = default;
    TTileWorkerThread(const TTileWorkerThread&) = delete;
    TTileWorkerThread& operator=(const TTileWorkerThread&) = delete;

    TTileLoader* Loader = nullptr;
    TIdHTTPEx::TNotifyEvent PacketHandler;
    TIdHTTPEx::TOnStatus StatusHandler;
    TTileSourcePtr Source;        // where the tile comes from
    int RequestTimeOut = TimeOut; // watchdog of each attempt, milliseconds

    // Runs the download on one of threads, and after it the workers the
    // loader hands that thread as each one ends.
    void Start(TWorkerThreads& threads);
    // GUI thread: no further attempt, and the running one fails at once.
    void RequestAbort();
    bool AbortRequested() const { return AbortFlag.load(); }
    bool Lost() const { return LostFlag.load(); }
    const TTileLocation& Location() const { return TileLocation; }
    TPoint Position() const { return TilePosition; }
    QImage* Canvas() const { return CanvasImage; }
    int Generation() const { return LoadGeneration; }
    // The fetched tile (Format_RGB32), taken out of the worker; null when it
    // was lost.
    QImage TakeTile() { return std::move(Bitmap); }
    // One attempt; false on any failure, whose reason goes to *error.
    static bool FetchTile(TIdHTTPEx& client, QImage& bitmap, const TTileLocation& location,
                          const TTileSource& source, QString* error = nullptr);

private:
    // The download; returns the worker to run next on this thread, if any.
    TTileWorkerThread* Execute();
    bool FetchWithRetries();

    TTileCache* Cache;
    QImage Bitmap;
    TPoint TilePosition;
    TTileLocation TileLocation;
    QImage* CanvasImage;
    int LoadGeneration; // of the load that queued the tile
    std::atomic<bool> LostFlag{false};
    std::atomic<bool> AbortFlag{false};
    std::mutex HttpLock; // guards Http against an abort closing a freed client
    TIdHTTPEx* Http = nullptr;
};

} // namespace varrow
