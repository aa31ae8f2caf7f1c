#include "TileBuffers.h"

#include "TileLibrary.h"

#include <mutex>
#include <new>
#include <vector>

namespace varrow {

namespace {

constexpr int RowBytes = TileSize * 4;
constexpr size_t BufferBytes = size_t(RowBytes) * TileSize;
// More than the tiles in flight and waiting to be drawn at once; beyond this,
// memory goes back to the system.
constexpr size_t KeptBuffers = 64;

class TBufferPool {
public:
    uchar* Take() {
        {
            std::lock_guard<std::mutex> guard(Lock);
            if (!Free.empty()) {
                uchar* buffer = Free.back();
                Free.pop_back();
                return buffer;
            }
        }
        return static_cast<uchar*>(::operator new(BufferBytes));
    }

    void Give(uchar* buffer) {
        {
            std::lock_guard<std::mutex> guard(Lock);
            if (Free.size() < KeptBuffers) {
                Free.push_back(buffer);
                return;
            }
        }
        ::operator delete(buffer);
    }

private:
    std::mutex Lock;
    std::vector<uchar*> Free;
};

// Never destroyed: tiles may be let go during the program's exit.
TBufferPool& Pool() {
    static TBufferPool* pool = new TBufferPool;
    return *pool;
}

void GiveBack(void* buffer) {
    Pool().Give(static_cast<uchar*>(buffer));
}

} // namespace

QImage NewTileImage() {
    uchar* buffer = Pool().Take();
    QImage image(buffer, TileSize, TileSize, RowBytes, QImage::Format_RGB32, GiveBack, buffer);
    if (image.isNull()) GiveBack(buffer);
    return image;
}

} // namespace varrow
