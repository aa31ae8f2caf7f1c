#pragma once

// What the service answers to one tile request, apart from HTTP plumbing:
// parsing the query and fault settings, choosing the fault, fetching the
// encoded tile. Tiles are the demo landscape's (as UTM tiles for tile.ashx,
// as web-Mercator tiles for /xyz/), or another map source's served as
// tile.ashx.

#include "FaultPlan.h"
#include "TileEncoder.h"
#include "tiles/TileSource.h"

#include <QByteArray>

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace varrow::tileserver {

// The zone that web-Mercator tiles carry in the fault bookkeeping, so that
// they never count towards a UTM tile's failures.
constexpr int XyzZone = 1000;

struct ServiceRequest {
    // Path segments before "tile.ashx" or "xyz", e.g. {"fault=stall", "latency=20"}.
    std::vector<std::string> Segments;
    // Query pairs in order; keys other than t, s, x, y, z, layer and the
    // fault settings are ignored.
    std::vector<std::pair<std::string, std::string>> Query;
    // For GET /xyz/{z}/{x}/{y}.png: z, x and y as the path gives them.
    std::optional<std::array<std::string, 3>> Xyz;
};

struct ServiceReply {
    int Status = 200;
    std::string ContentType;
    QByteArray Body;
    bool Stall = false;     // send nothing, hold the connection
    int LatencyMs = 0;      // wait this long before answering
    std::string RetryAfter; // the Retry-After header, when not empty
};

class TileService {
public:
    // upstream: the source tile.ashx requests are served from; none for the
    // demo landscape.
    TileService(FaultPlan& plan, TileCache& cache, TTileSourcePtr upstream = nullptr)
        : m_plan(plan), m_cache(cache), m_upstream(std::move(upstream)) {}

    // Thread-safe.
    ServiceReply Handle(const ServiceRequest& request);

private:
    FaultPlan& m_plan;
    TileCache& m_cache;
    TTileSourcePtr m_upstream;
};

} // namespace varrow::tileserver
