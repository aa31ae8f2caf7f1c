#pragma once

// The web-Mercator tiles that the reprojected sources are made of, shared by
// every worker of the program: decoded tiles kept in memory, the disk cache
// behind them, and one fetch per tile however many UTM tiles need it. A
// worker that needs a tile another worker is fetching waits for that fetch
// instead of asking again; a fetch given up because its worker was aborted
// is taken over by the next worker that needs the tile.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace varrow {

class TIdHTTPEx;
class TTileDiskCache;

// One tile of one layer (a URL template) of a service.
struct TSourceTileId {
    QString Layer; // the layer's name in the disk cache
    int Z = 0;
    int X = 0; // the service's own column, 0..2^Z-1
    int Y = 0;
};

// How to get a tile that memory does not hold.
struct TSourceTileFetch {
    std::function<QString(const TSourceTileId&)> Url;
    std::shared_ptr<TTileDiskCache> Disk; // may be null
    bool Offline = false;                 // never ask the service
};

class TSourceTiles {
public:
    static constexpr std::size_t DefaultMemoryBytes = std::size_t(64) << 20;

    explicit TSourceTiles(std::size_t memoryBytes = DefaultMemoryBytes);
    // The one store of the program.
    static TSourceTiles& Shared();

    // Any thread: every tile of ids decoded (256 × 256, Format_RGB32), in
    // order. A failure without an answer (refused, timed out, closed) is
    // thrown at once; one with an answer (an HTTP error status, a body that
    // does not decode, "Offline: ..." for a tile the disk cache does not
    // hold) is thrown once every other tile has been tried. A close of
    // client ends its waits for other workers' fetches as well.
    std::vector<QImage> Get(const std::vector<TSourceTileId>& ids, const TSourceTileFetch& fetch,
                            TIdHTTPEx& client);

    // Tiles asked of the services (not of memory or the disk) since the start.
    int NetworkFetches() const;
    // Forgets the decoded tiles (for tests and benchmarks that want them cold).
    void ClearMemory();

private:
    struct TFetching {
        bool Done = false;
        bool GivenUp = false;  // the fetching worker was aborted; anyone may try again
        QString Error;         // the fetch failed for this reason
        bool Answered = false; // the failure came with an answer, not a dead line
        QImage Image;
    };
    struct TKept {
        QString Key;
        QImage Image;
    };

    QImage FetchOne(const TSourceTileId& id, const TSourceTileFetch& fetch, TIdHTTPEx& client);
    void Finish(const QString& key, const std::shared_ptr<TFetching>& entry);
    bool LookupLocked(const QString& key, QImage& image);
    void KeepLocked(const QString& key, const QImage& image);

    const std::size_t m_memoryBytes;
    mutable std::mutex m_lock;
    std::condition_variable m_finished;
    std::list<TKept> m_kept; // most recently used first
    std::unordered_map<QString, std::list<TKept>::iterator> m_index;
    std::size_t m_bytes = 0;
    std::unordered_map<QString, std::shared_ptr<TFetching>> m_fetching;
    int m_networkFetches = 0;
};

} // namespace varrow
