#pragma once

// Lays out a view plus a one-tile ring around it, draws what the cache holds at
// once, queues the rest and feeds the queue to worker threads from a dispatcher
// thread, never running more workers than the connection allows. Counts
// finished tiles, cache hits, failed attempts and lost tiles and reports them
// on the GUI thread (the thread of the Qt application).
//
// The owner (the map session): creates the loader on the GUI thread, sets
// OnProgress (and OnTileDrawn, OnError) and a tile source, and for every load
// calls Abort, SetMaxWorkers, clears the mosaic and calls LoadView. It keeps
// the mosaic alive until the load has reached 100 percent or Abort has
// returned, and runs the Qt event loop meanwhile: tiles are drawn and progress
// is reported from it.

#include "LoadStats.h"
#include "TileCache.h"
#include "TileLibrary.h"
#include "TileSource.h"
#include "WorkerThreads.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

class QObject;

namespace varrow {

class TTileWorkerThread;
class TIdHTTPEx;

class TLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TTileRequest {
    QImage* Canvas = nullptr;
    TPoint Position;        // top-left corner of the tile in mosaic pixels
    TTileLocation Location; // the tile to fetch, with its Outline flag
    int Generation = 0;     // of the load that asked for it
};

// A worker's outcome, waiting for the GUI thread to draw and count it.
struct TArrivedTile {
    TTileRequest Request;
    QImage Tile;       // null when the tile was lost
    bool Lost = false; // the worker's Lost flag: fetching failed
};

class TTileLoader {
public:
    using TProgressEvent = std::function<void(const TLoadStats& stats)>;
    // The mosaic rectangle a tile was drawn into, unclipped: it may lie partly
    // or wholly outside the mosaic (the ring around the view).
    using TTileDrawnEvent = std::function<void(const QRect& rect)>;
    using TErrorEvent = std::function<void(const QString& message)>;

    static constexpr int BroadbandWorkers = 14;
    static constexpr int DialupWorkers = 1;
    static constexpr int InitialMaxWorkers = 10;
    // A tile in flight is credited up to 0.8 of its share, reckoning this many bytes.
    static constexpr int BytesPerTile = 13000;
    static constexpr int BytesPerPacket = 256;

    // GUI thread, with a Q(Core)Application in place. Starts the dispatcher.
    explicit TTileLoader(TTileSourcePtr source);
    // Stops the dispatcher, aborts any load (waiting for its workers) and frees the cache.
    ~TTileLoader();
    TTileLoader(const TTileLoader&) = delete;
    TTileLoader& operator=(const TTileLoader&) = delete;

    // Handlers; all of them run on the GUI thread.
    TProgressEvent OnProgress;
    TTileDrawnEvent OnTileDrawn;
    // An unexpected error after a tile was fetched (drawing, caching); without
    // a handler it goes to the Qt message log.
    TErrorEvent OnError;

    void SetMaxWorkers(int n);
    int MaxWorkers() const { return MaxWorkersValue.load(); }
    // Worker limit for the connection-speed selector: 0 "Broadband", 1 "Dialup".
    static int WorkersForConnectionSpeed(int selectorIndex);

    // Workers started from now on ask source; running ones finish with theirs.
    void SetSource(TTileSourcePtr source);
    TTileSourcePtr Source() const;
    // Watchdog of each download attempt; TTileWorkerThread::TimeOut unless changed.
    void SetRequestTimeOut(int milliseconds);
    int RequestTimeOut() const;

    // GUI thread. Lays out and starts one load into canvas, which must be nx*200
    // by ny*200 pixels; returns when every tile is drawn from the cache or
    // queued. A load still running is aborted first. Throws TLoadError on bad
    // arguments.
    void LoadView(QImage& canvas, const TTileLocation& location, bool outline, int nx, int ny);
    // GUI thread. Drops the queue, stops the workers and waits for them while
    // serving their GUI work (never user input); then reports 0 and "Aborted".
    void Abort();
    // Whether workers are running (queued requests alone do not count).
    bool IsBusy() const;

    TTileCache& Cache() { return TileCache; }
    // Held while anything draws into the mosaic; re-entrant for the GUI thread.
    std::recursive_mutex& CanvasLock() { return CanvasMutex; }

    // The counters as they are now, with the load's generation.
    TLoadStats Stats() const;

    int Done() const { return DoneCount.load(); }
    int Total() const { return TotalCount.load(); }
    int Percent() const { return PercentValue.load(); }
    int Bytes() const { return BytesCount.load(); }
    QString StatusText() const;
    int CacheHits() const { return CacheHitCount.load(); }
    int Retries() const { return RetryCount.load(); }
    int Lost() const { return LostCount.load(); }
    int ActiveWorkerCount() const;
    int PendingCount() const;

    // 100 only when every tile has finished; a load in progress shows at most 99
    // however many bytes are in flight.
    static int ProgressPercent(int done, int total, int bytes);

private:
    friend class TTileWorkerThread;

    // Called by workers on their own threads.
    void CountRetry(const QString& error);
    void ShowError(const QString& message);
    // The worker's last call: frees its slot and leaves its tile for the GUI
    // thread. Returns the worker of the next queued tile, listed as active,
    // for the calling thread to run; null when none is to start.
    TTileWorkerThread* WorkerFinished(TTileWorkerThread* worker);

    void PacketReceived(TIdHTTPEx* sender);
    void StatusChanged(TIdHTTPEx* sender, const QString& text);
    // GUI thread: draws and counts every tile that has arrived since the last call.
    void DeliverArrived();

    void BeginLoad(int total);
    void ReportProgress();
    void DeliverProgress();
    void QueueRequest(const TTileRequest& request);
    void DrawOnCanvas(const QImage& tile, QImage& canvas, TPoint position,
                      const TTileLocation& location);
    void StopWorkers();
    void ClearPending();
    void DispatcherLoop();
    bool StartWorker(const TTileRequest& request);
    TTileWorkerThread* ListWorker(const TTileRequest& request);
    bool OnGuiThread() const;
    void PostToGuiThread(std::function<void()> fn);
    void ReapFinished(std::unique_lock<std::mutex>& lock);

    TTileCache TileCache;
    std::recursive_mutex CanvasMutex;
    std::unique_ptr<QObject> Context; // lives on the GUI thread; posted work runs there
    TWorkerThreads Threads;           // what the workers run on

    // Queue, active and finished workers, settings the dispatcher reads.
    mutable std::mutex Lock;
    std::condition_variable Wake;
    std::deque<TTileRequest> Pending;
    std::vector<std::unique_ptr<TTileWorkerThread>> ActiveWorkers;
    // Workers past their last call, freed by the dispatcher or the next one to end.
    std::vector<std::unique_ptr<TTileWorkerThread>> Finished;
    // Tiles handed over by workers: one posted delivery draws them all, so a
    // fast service costs the GUI thread one event per batch, not two per tile.
    std::vector<TArrivedTile> Arrived;
    std::atomic<bool> ArrivalPosted{false}; // written under Lock
    bool StopRequested = false;
    TTileSourcePtr SourceValue;
    int TimeOutValue;

    std::atomic<bool> Aborting{false};
    // Bumped by every load and abort (on the GUI thread), so that a load whose
    // handler aborted or restarted it stops laying out its tiles, and every
    // report says which load it is of.
    std::atomic<int> LoadGeneration{0};
    std::atomic<int> AbortedGeneration{-1}; // the load the running abort ends
    std::atomic<int> MaxWorkersValue{InitialMaxWorkers};
    std::atomic<int> DoneCount{0};
    std::atomic<int> TotalCount{0};
    std::atomic<int> PercentValue{0};
    std::atomic<int> BytesCount{0};
    std::atomic<int> CacheHitCount{0};
    std::atomic<int> RetryCount{0};
    std::atomic<int> LostCount{0};
    std::atomic<bool> ProgressPosted{false};
    mutable std::mutex StatusLock;
    QString Status;
    QString LastErrorText;

    std::thread Dispatcher;
};

} // namespace varrow
