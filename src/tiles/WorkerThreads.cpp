#include "WorkerThreads.h"

#include <system_error>

namespace varrow {

TWorkerThreads::~TWorkerThreads() {
    Stop();
}

void TWorkerThreads::Run(std::function<void()> job) {
    std::unique_lock<std::mutex> lock(Lock);
    if (Stopping)
        throw std::system_error(std::make_error_code(std::errc::operation_canceled),
                                "the worker threads are stopping");
    // Each queued job takes one idle thread; more jobs than idle threads need
    // a thread each.
    const bool spawn = static_cast<int>(Jobs.size()) >= Idle;
    if (spawn) Threads.emplace_back(&TWorkerThreads::Serve, this); // may throw: nothing queued yet
    Jobs.push_back(std::move(job));
    lock.unlock();
    Wake.notify_one();
}

void TWorkerThreads::Stop() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> guard(Lock);
        Stopping = true;
        threads.swap(Threads);
    }
    Wake.notify_all();
    for (std::thread& thread : threads)
        if (thread.joinable()) thread.join();
}

int TWorkerThreads::ThreadCount() const {
    std::lock_guard<std::mutex> guard(Lock);
    return static_cast<int>(Threads.size());
}

void TWorkerThreads::Serve() {
    std::unique_lock<std::mutex> lock(Lock);
    for (;;) {
        ++Idle;
        Wake.wait(lock, [this] { return !Jobs.empty() || Stopping; });
        --Idle;
        if (Jobs.empty()) return; // stopping, and nothing left to run
        std::function<void()> job = std::move(Jobs.front());
        Jobs.pop_front();
        lock.unlock();
        job();
        job = nullptr; // what the job holds goes before the thread waits again
        lock.lock();
    }
}

} // namespace varrow
