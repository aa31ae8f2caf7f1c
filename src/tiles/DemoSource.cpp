#include "DemoSource.h"

#include "demo/TileRenderer.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace varrow {

namespace {

// Painting is all processor: more tiles at once than cores only adds their
// scratch memory, not speed. The loader's other workers wait here their turn.
class TRenderGate {
public:
    TRenderGate() : m_free(static_cast<int>(std::max(2u, std::thread::hardware_concurrency()))) {}

    void Enter() {
        std::unique_lock<std::mutex> lock(m_lock);
        m_wake.wait(lock, [this] { return m_free > 0; });
        --m_free;
    }
    void Leave() {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            ++m_free;
        }
        m_wake.notify_one();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    int m_free;
};

TRenderGate& Gate() {
    static TRenderGate* gate = new TRenderGate; // never destroyed: workers may still paint at exit
    return *gate;
}

class TGatePass {
public:
    TGatePass() { Gate().Enter(); }
    ~TGatePass() { Gate().Leave(); }
    TGatePass(const TGatePass&) = delete;
    TGatePass& operator=(const TGatePass&) = delete;
};

} // namespace

void TDemoSource::FetchTile(TIdHTTPEx&, const TTileLocation& location, QImage& bitmap) const {
    const demo::TileAddress address{ThemeCode(location.Theme), ScaleCode(location.Scale),
                                    location.Tile.X, location.Tile.Y, location.Zone};
    const std::string problem = demo::TileAddressProblem(address);
    if (!problem.empty()) throw TTileError("The demo landscape has no such tile: " + problem);
    const TGatePass pass;
    bitmap = demo::RenderTile(address);
}

} // namespace varrow
