#pragma once

// What the service answers to one tile request, apart from HTTP plumbing:
// parsing the query and fault settings, choosing the fault, fetching the
// encoded tile.

#include "FaultPlan.h"
#include "TileEncoder.h"

#include <QByteArray>

#include <string>
#include <utility>
#include <vector>

namespace varrow::tileserver {

struct ServiceRequest {
    // Path segments before "tile.ashx", e.g. {"fault=stall", "latency=20"}.
    std::vector<std::string> Segments;
    // Query pairs in order; keys other than t, s, x, y, z and the fault
    // settings are ignored.
    std::vector<std::pair<std::string, std::string>> Query;
};

struct ServiceReply {
    int Status = 200;
    std::string ContentType;
    QByteArray Body;
    bool Stall = false; // send nothing, hold the connection
    int LatencyMs = 0;  // wait this long before answering
};

class TileService {
public:
    TileService(FaultPlan& plan, TileCache& cache) : m_plan(plan), m_cache(cache) {}

    // Thread-safe.
    ServiceReply Handle(const ServiceRequest& request);

private:
    FaultPlan& m_plan;
    TileCache& m_cache;
};

} // namespace varrow::tileserver
