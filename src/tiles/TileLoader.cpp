#include "TileLoader.h"

#include "NetLib.h"
#include "TilePixels.h"
#include "TileWorkerThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QtDebug>

#include <algorithm>
#include <cmath>

namespace varrow {

namespace {

// Clears on scope exit what must be cleared on every path out of a function.
template <typename F> class TFinally {
public:
    explicit TFinally(F f) : Fn(std::move(f)) {}
    ~TFinally() { Fn(); }
    TFinally(const TFinally&) = delete;
    TFinally& operator=(const TFinally&) = delete;

private:
    F Fn;
};

} // namespace

TTileLoader::TTileLoader(TTileSourcePtr source)
    : SourceValue(std::move(source)), TimeOutValue(TTileWorkerThread::TimeOut) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) throw TLoadError("The tile loader needs a running Qt application.");
    if (!SourceValue) throw TLoadError("The tile loader needs a tile source.");
    Context = std::make_unique<QObject>();
    if (Context->thread() != app->thread()) Context->moveToThread(app->thread());
    Dispatcher = std::thread(&TTileLoader::DispatcherLoop, this);
}

TTileLoader::~TTileLoader() {
    // The owner is going away too: its handlers must not be called from here.
    OnProgress = nullptr;
    OnTileDrawn = nullptr;
    OnError = nullptr;
    {
        std::lock_guard<std::mutex> guard(Lock);
        StopRequested = true;
    }
    Wake.notify_all();
    if (Dispatcher.joinable()) Dispatcher.join();
    Abort();
    // No worker runs now; their threads' last posts are made once these are joined.
    Threads.Stop();
    std::vector<std::unique_ptr<TTileWorkerThread>> finished;
    {
        std::lock_guard<std::mutex> guard(Lock);
        finished.swap(Finished);
    }
    finished.clear();
    // Context goes before the cache: nothing posted can run after this point.
    Context.reset();
}

int TTileLoader::WorkersForConnectionSpeed(int selectorIndex) {
    return selectorIndex == 1 ? DialupWorkers : BroadbandWorkers;
}

void TTileLoader::SetMaxWorkers(int n) {
    if (n == MaxWorkersValue.load()) return;
    MaxWorkersValue.store(n <= 0 ? 1 : n);
    Wake.notify_all();
}

void TTileLoader::SetSource(TTileSourcePtr source) {
    if (!source) return;
    std::lock_guard<std::mutex> guard(Lock);
    SourceValue = std::move(source);
}

TTileSourcePtr TTileLoader::Source() const {
    std::lock_guard<std::mutex> guard(Lock);
    return SourceValue;
}

TLoadStats TTileLoader::Stats() const {
    TLoadStats stats;
    stats.Generation = LoadGeneration.load();
    stats.Done = DoneCount.load();
    stats.Total = TotalCount.load();
    stats.Percent = PercentValue.load();
    stats.CacheHits = CacheHitCount.load();
    stats.Retries = RetryCount.load();
    stats.Lost = LostCount.load();
    {
        std::lock_guard<std::mutex> guard(StatusLock);
        stats.Status = Status;
        stats.LastError = LastErrorText;
    }
    stats.Source = Source()->Name();
    return stats;
}

void TTileLoader::CountRetry(const QString& error) {
    {
        std::lock_guard<std::mutex> guard(StatusLock);
        LastErrorText = error;
    }
    RetryCount.fetch_add(1);
}

void TTileLoader::SetRequestTimeOut(int milliseconds) {
    std::lock_guard<std::mutex> guard(Lock);
    TimeOutValue = milliseconds;
}

int TTileLoader::RequestTimeOut() const {
    std::lock_guard<std::mutex> guard(Lock);
    return TimeOutValue;
}

bool TTileLoader::IsBusy() const {
    return ActiveWorkerCount() > 0;
}

int TTileLoader::ActiveWorkerCount() const {
    std::lock_guard<std::mutex> guard(Lock);
    return static_cast<int>(ActiveWorkers.size());
}

int TTileLoader::PendingCount() const {
    std::lock_guard<std::mutex> guard(Lock);
    return static_cast<int>(Pending.size());
}

QString TTileLoader::StatusText() const {
    std::lock_guard<std::mutex> guard(StatusLock);
    return Status;
}

bool TTileLoader::OnGuiThread() const {
    return QThread::currentThread() == Context->thread();
}

void TTileLoader::PostToGuiThread(std::function<void()> fn) {
    // Workers hand their GUI work over and go on without waiting for it: a
    // worker never waits for the GUI thread, so an Abort, wherever it is called
    // from, can always wait for the workers. Work posted by one worker runs in
    // the order it was posted, so a tile is drawn before its worker is reported
    // ended.
    QMetaObject::invokeMethod(
        Context.get(),
        [fn = std::move(fn)]() {
            try {
                fn();
            } catch (const std::exception& error) {
                qWarning("Tile loader: %s", error.what());
            } catch (...) {
                qWarning("Tile loader: unknown error");
            }
        },
        Qt::QueuedConnection);
}

int TTileLoader::ProgressPercent(int done, int total, int bytes) {
    if (total <= 0) return 0;
    if (done >= total) return 100;
    const double share = 1.0 / total;
    const double value =
        100.0 * (double(done) / total + share * (double(bytes) / BytesPerTile) * 0.8);
    return static_cast<int>(std::clamp(std::trunc(value), 0.0, 99.0));
}

void TTileLoader::ReportProgress() {
    // What the workers of an aborted load report is not progress: the abort
    // ends with a report of its own, and nothing of it may look like the end
    // of the load that follows.
    if (Aborting.load()) return;
    if (OnGuiThread()) {
        DeliverProgress();
        return;
    }
    // One report in flight at a time: it reads the counters when it runs, so
    // it shows every change made before then. A delivery of tiles on its way
    // ends with a report too.
    if (ArrivalPosted.load() || ProgressPosted.exchange(true)) return;
    PostToGuiThread([this] {
        ProgressPosted.store(false);
        DeliverProgress();
    });
}

void TTileLoader::DeliverProgress() {
    if (Aborting.load()) return;
    const int percent = ProgressPercent(DoneCount.load(), TotalCount.load(), BytesCount.load());
    PercentValue.store(percent);
    if (OnProgress) OnProgress(Stats());
}

void TTileLoader::BeginLoad(int total) {
    DoneCount.store(0);
    TotalCount.store(total);
    PercentValue.store(0);
    BytesCount.store(0);
    {
        std::lock_guard<std::mutex> guard(StatusLock);
        Status.clear();
        LastErrorText.clear();
    }
    LostCount.store(0);
    RetryCount.store(0);
    CacheHitCount.store(0);
    ReportProgress();
}

void TTileLoader::QueueRequest(const TTileRequest& request) {
    {
        std::lock_guard<std::mutex> guard(Lock);
        Pending.push_back(request);
    }
    Wake.notify_all();
}

void TTileLoader::DrawOnCanvas(const QImage& tile, QImage& canvas, TPoint position,
                               const TTileLocation& location) {
    {
        std::lock_guard<std::recursive_mutex> guard(CanvasMutex);
        DrawTilePixels(tile, canvas, position, location.Outline);
    }
    if (OnTileDrawn) OnTileDrawn(QRect(position.X, position.Y, TileSize, TileSize));
}

void TTileLoader::LoadView(QImage& canvas, const TTileLocation& location, bool outline, int nx,
                           int ny) {
    if (!OnGuiThread()) throw TLoadError("A view can only be loaded from the GUI thread.");
    if (Aborting.load())
        throw TLoadError("A view cannot be loaded while the previous load is being aborted.");
    const QString counts = TileCountProblem(nx, ny);
    if (!counts.isEmpty()) throw TLoadError(counts.toStdString());
    if (canvas.isNull() || canvas.width() != nx * TileSize || canvas.height() != ny * TileSize)
        throw TLoadError(QStringLiteral("The map image is %1 × %2 pixels, not the %3 × %4 that "
                                        "the view needs; it could not be allocated.")
                             .arg(canvas.width())
                             .arg(canvas.height())
                             .arg(nx * TileSize)
                             .arg(ny * TileSize)
                             .toStdString());
    // Workers of an earlier load would count into this one and draw into a
    // mosaic that may be gone.
    if (IsBusy() || PendingCount() > 0) Abort();

    TileCache.AgeAll();
    const QString source = Source()->Key();
    const int generation = ++LoadGeneration;
    BeginLoad((nx + 2) * (ny + 2));
    if (LoadGeneration != generation) return;
    std::lock_guard<std::recursive_mutex> canvasGuard(CanvasMutex);
    QImage tile;
    // South to north, west to east, the ring included.
    for (int j = -1; j <= ny; ++j) {
        for (int i = -1; i <= nx; ++i) {
            TTileLocation request = location;
            request.Tile = TPoint{location.Tile.X + i, location.Tile.Y + j};
            request.Outline = outline;
            WrapTileColumn(request.Tile.X, request.Zone, request.Scale);
            // From the unwrapped column: a tile of the next zone is drawn where
            // the column would lie.
            const TPoint position{TileSize * i - location.Offset.X,
                                  TileSize * (ny - 1 - j) + location.Offset.Y};
            if (TileCache.Lookup(request, source, tile)) {
                DrawOnCanvas(tile, canvas, position, request);
                // A handler aborted this load or started another: the rest
                // of this layout would draw into a mosaic its owner let go.
                if (LoadGeneration != generation) return;
                CacheHitCount.fetch_add(1);
                DoneCount.fetch_add(1);
                BytesCount.store(0);
                ReportProgress();
                if (LoadGeneration != generation) return;
            } else {
                QueueRequest(TTileRequest{&canvas, position, request, generation});
            }
        }
    }
}

void TTileLoader::ClearPending() {
    std::lock_guard<std::mutex> guard(Lock);
    Pending.clear();
}

void TTileLoader::StopWorkers() {
    {
        // Under the lock: a worker leaves the list, and may be freed, on its
        // own thread. Telling one to stop never waits for it.
        std::lock_guard<std::mutex> guard(Lock);
        for (auto it = ActiveWorkers.rbegin(); it != ActiveWorkers.rend(); ++it)
            if (!(*it)->AbortRequested()) (*it)->RequestAbort();
    }
    // A worker posts its delivery after leaving the list, so this thread wakes
    // for every worker's end. What the deliveries carry belongs to an old
    // generation and is dropped.
    while (IsBusy()) {
        // Only what the workers hand over (drawing, errors, their end): user
        // input waits, so no click can start anything inside the abort.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
    }
    // Every worker left its tile before leaving the list: what the last ones
    // left is counted now, not after the abort.
    DeliverArrived();
}

void TTileLoader::Abort() {
    if (!OnGuiThread()) {
        qWarning("TTileLoader::Abort must be called on the GUI thread");
        return;
    }
    if (Aborting.load()) return;
    AbortedGeneration.store(LoadGeneration++);
    {
        // Under the queue lock, so the dispatcher cannot start one more worker
        // after the workers have been told to stop.
        std::lock_guard<std::mutex> guard(Lock);
        Aborting.store(true);
    }
    TFinally finish([this] {
        DoneCount.store(0);
        PercentValue.store(0);
        BytesCount.store(0);
        {
            std::lock_guard<std::mutex> guard(StatusLock);
            Status = QStringLiteral("Aborted");
        }
        {
            std::lock_guard<std::mutex> guard(Lock);
            Aborting.store(false);
        }
        Wake.notify_all();
        try {
            TLoadStats stats = Stats();
            stats.Aborted = true;
            if (OnProgress) OnProgress(stats);
        } catch (...) {
            qWarning("Tile loader: the progress handler failed during an abort");
        }
    });
    ClearPending();
    StopWorkers();
}

TTileWorkerThread* TTileLoader::ListWorker(const TTileRequest& request) {
    if (Aborting.load()) return nullptr;
    auto worker = std::make_unique<TTileWorkerThread>(request.Canvas, &TileCache, request.Location,
                                                      request.Position, request.Generation);
    worker->Loader = this;
    worker->PacketHandler = [this](TIdHTTPEx* sender) { PacketReceived(sender); };
    worker->StatusHandler = [this](TIdHTTPEx* sender, const QString& text) {
        StatusChanged(sender, text);
    };
    worker->Source = SourceValue;
    worker->RequestTimeOut = TimeOutValue;
    // Listed before it runs, so its end always finds it here.
    ActiveWorkers.push_back(std::move(worker));
    return ActiveWorkers.back().get();
}

bool TTileLoader::StartWorker(const TTileRequest& request) {
    TTileWorkerThread* started = ListWorker(request);
    if (!started) return false;
    try {
        started->Start(Threads);
    } catch (...) {
        ActiveWorkers.pop_back();
        return false;
    }
    return true;
}

void TTileLoader::ReapFinished(std::unique_lock<std::mutex>& lock) {
    while (!Finished.empty()) {
        std::vector<std::unique_ptr<TTileWorkerThread>> finished;
        finished.swap(Finished);
        lock.unlock();
        finished.clear(); // workers that have made their last call
        lock.lock();
    }
}

void TTileLoader::DispatcherLoop() {
    std::unique_lock<std::mutex> lock(Lock);
    for (;;) {
        ReapFinished(lock);
        if (StopRequested) return;
        if (!Aborting.load() && !Pending.empty() &&
            static_cast<int>(ActiveWorkers.size()) < MaxWorkersValue.load()) {
            const TTileRequest request = Pending.front();
            Pending.pop_front();
            if (!StartWorker(request)) {
                // The system refused a thread: the tile is lost, and the load
                // must still be able to finish.
                LostCount.fetch_add(1);
                DoneCount.fetch_add(1);
                BytesCount.store(0);
                lock.unlock();
                ReportProgress();
                lock.lock();
            }
            continue;
        }
        Wake.wait(lock);
    }
}

void TTileLoader::ShowError(const QString& message) {
    PostToGuiThread([this, message] {
        if (OnError)
            OnError(message);
        else
            qWarning("Tile loader: %s", qPrintable(message));
    });
}

TTileWorkerThread* TTileLoader::WorkerFinished(TTileWorkerThread* worker) {
    bool post = false;
    TTileWorkerThread* next = nullptr;
    std::vector<std::unique_ptr<TTileWorkerThread>> done;
    {
        std::lock_guard<std::mutex> guard(Lock);
        TArrivedTile arrived{TTileRequest{worker->Canvas(), worker->Position(), worker->Location(),
                                          worker->Generation()},
                             worker->TakeTile(), worker->Lost()};
        Arrived.push_back(std::move(arrived));
        // Workers that ended before this one have made their last call.
        done.swap(Finished);
        // The slot is free now, not when the GUI thread gets round to it.
        auto it = std::find_if(ActiveWorkers.begin(), ActiveWorkers.end(),
                               [worker](const auto& active) { return active.get() == worker; });
        if (it != ActiveWorkers.end()) {
            Finished.push_back(std::move(*it));
            ActiveWorkers.erase(it);
        }
        // The next queued tile starts on this thread; an abort has emptied the
        // queue, and a stopping loader starts nothing.
        if (!StopRequested && !Pending.empty() &&
            static_cast<int>(ActiveWorkers.size()) < MaxWorkersValue.load()) {
            try {
                next = ListWorker(Pending.front());
                if (next) Pending.pop_front();
            } catch (...) {
                next = nullptr; // left to the dispatcher
            }
        }
        post = !ArrivalPosted.exchange(true);
    }
    // Without a next tile here, the dispatcher looks whether it can start one.
    if (!next) Wake.notify_all();
    if (post) PostToGuiThread([this] { DeliverArrived(); });
    done.clear();
    return next;
}

void TTileLoader::PacketReceived(TIdHTTPEx*) {
    BytesCount.fetch_add(BytesPerPacket);
    ReportProgress();
}

void TTileLoader::StatusChanged(TIdHTTPEx*, const QString& text) {
    if (Aborting.load()) return; // the abort's own status stands
    {
        std::lock_guard<std::mutex> guard(StatusLock);
        Status = text;
    }
    ReportProgress();
}

void TTileLoader::DeliverArrived() {
    std::vector<TArrivedTile> arrived;
    {
        std::lock_guard<std::mutex> guard(Lock);
        arrived.swap(Arrived);
        ArrivalPosted.store(false);
    }
    bool counted = false;
    for (const TArrivedTile& tile : arrived) {
        if (tile.Request.Generation != LoadGeneration.load()) {
            // The load being aborted still counts its lost tiles; nothing of
            // it is drawn, and nothing of an older load counts at all.
            if (Aborting.load() && tile.Request.Generation == AbortedGeneration.load() &&
                tile.Lost)
                LostCount.fetch_add(1);
            continue;
        }
        if (tile.Lost) {
            LostCount.fetch_add(1);
        } else {
            DrawOnCanvas(tile.Tile, *tile.Request.Canvas, tile.Request.Position,
                         tile.Request.Location);
            // The drawing handler aborted or restarted the load.
            if (tile.Request.Generation != LoadGeneration.load()) continue;
        }
        DoneCount.fetch_add(1);
        counted = true;
    }
    if (counted) BytesCount.store(0);
    // Reported even when nothing counted: progress the workers left to this
    // delivery is shown.
    if (!arrived.empty()) ReportProgress();
}

} // namespace varrow
