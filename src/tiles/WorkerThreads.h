#pragma once

// The operating-system threads the loader's workers run on. A worker is still
// one per tile and lives for that tile alone; only the thread under it is
// kept for the next one, because starting a thread per tile (its stack mapped,
// faulted in and given back) cost more than drawing the tile.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace varrow {

class TWorkerThreads {
public:
    TWorkerThreads() = default;
    // Stop() if not done already.
    ~TWorkerThreads();
    TWorkerThreads(const TWorkerThreads&) = delete;
    TWorkerThreads& operator=(const TWorkerThreads&) = delete;

    // Runs job on an idle thread, or on a new one when none is idle. Throws
    // std::system_error when the system refuses a new thread.
    void Run(std::function<void()> job);
    // Lets the running jobs end, then joins every thread. Later Runs are refused.
    void Stop();
    int ThreadCount() const;

private:
    void Serve();

    mutable std::mutex Lock;
    std::condition_variable Wake;
    std::deque<std::function<void()>> Jobs;
    std::vector<std::thread> Threads;
    int Idle = 0;
    bool Stopping = false;
};

} // namespace varrow
