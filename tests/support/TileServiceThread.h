#pragma once

// The tile service for a whole test suite, started and stopped on a thread of
// its own. Starting a process from a thread leaves ThreadSanitizer blind to
// that thread's locks afterwards (the child shares its memory until exec), so
// the thread that runs the loader must not be the one that starts the service.
// Only atomics cross between the two threads, as the locks of the service's
// thread are invisible to the sanitizer as well.

#include "support/TileServerProcess.h"

#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

namespace varrow::test {

class TileServiceThread {
public:
    explicit TileServiceThread(QStringList args = {}) {
        Thread.reset(QThread::create([this, args] {
            TileServerProcess server(args);
            if (server.start())
                Port.store(server.port());
            else
                ErrorText = server.error().toStdString(); // read only after Ready
            std::unique_lock<std::mutex> lock(Lock);
            Ready.store(true);
            Changed.notify_all();
            Changed.wait(lock, [this] { return Stop.load(); });
        }));
        Thread->start();
        std::unique_lock<std::mutex> lock(Lock);
        Changed.wait(lock, [this] { return Ready.load(); });
    }
    ~TileServiceThread() {
        {
            std::lock_guard<std::mutex> guard(Lock);
            Stop.store(true);
        }
        Changed.notify_all();
        Thread->wait();
    }
    TileServiceThread(const TileServiceThread&) = delete;
    TileServiceThread& operator=(const TileServiceThread&) = delete;

    bool started() const { return Port.load() != 0; }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(Port.load()); }
    QString error() const { return QString::fromStdString(ErrorText); }

private:
    std::unique_ptr<QThread> Thread;
    std::mutex Lock;
    std::condition_variable Changed;
    std::atomic<bool> Ready{false};
    std::atomic<bool> Stop{false};
    std::atomic<int> Port{0};
    std::string ErrorText;
};

} // namespace varrow::test
