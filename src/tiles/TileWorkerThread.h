#pragma once

// One tile download on a thread of its own: fetch with retries, hand the tile
// to the GUI thread for drawing, keep a copy in the cache, then tell the loader
// that it has ended.

#include "NetLib.h"
#include "TileLibrary.h"
#include "TileSource.h"

#include <QImage>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

namespace varrow {

class TTileCache;
class TTileLoader;

class TTileWorkerThread {
public:
    static constexpr int MaxAttempts = 4;
    static constexpr int TimeOut = TIdHTTPEx::DefaultTimeOut;

    // Created by the loader, which sets Loader and the handlers and lists the
    // worker as active before calling Start.
    TTileWorkerThread(QImage* canvas, TTileCache* cache, const TTileLocation& location,
                      TPoint position);
    // Joins the thread: the loader frees a worker only after it has ended.
    ~TTileWorkerThread();
    TTileWorkerThread(const TTileWorkerThread&) = delete;
    TTileWorkerThread& operator=(const TTileWorkerThread&) = delete;

    TTileLoader* Loader = nullptr;
    TIdHTTPEx::TNotifyEvent PacketHandler;
    TIdHTTPEx::TOnStatus StatusHandler;
    TTileSourcePtr Source;        // where the tile comes from
    int RequestTimeOut = TimeOut; // watchdog of each attempt, milliseconds

    void Start();
    // GUI thread: no further attempt, and the running one fails at once.
    void RequestAbort();
    bool AbortRequested() const { return AbortFlag.load(); }
    bool Lost() const { return LostFlag.load(); }
    const TTileLocation& Location() const { return TileLocation; }
    TPoint Position() const { return TilePosition; }

    // GUI thread: draws the tile unscaled at position (clipped by the canvas)
    // and frames it in black when the location's Outline is set.
    static void DrawTile(const QImage& bitmap, QImage& canvas, TPoint position,
                         const TTileLocation& location);
    // One attempt; false on any failure, whose reason goes to *error.
    static bool FetchTile(TIdHTTPEx& client, QImage& bitmap, const TTileLocation& location,
                          const TTileSource& source, QString* error = nullptr);

private:
    void Execute();
    bool FetchWithRetries();

    TTileCache* Cache;
    QImage Bitmap;
    TPoint TilePosition;
    TTileLocation TileLocation;
    QImage* Canvas;
    std::atomic<bool> LostFlag{false};
    std::atomic<bool> AbortFlag{false};
    std::mutex HttpLock; // guards Http against an abort closing a freed client
    TIdHTTPEx* Http = nullptr;
    std::thread Thread;
};

} // namespace varrow
