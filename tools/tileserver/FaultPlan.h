#pragma once

// Fault injection: the settings a test gives the service (on its command line,
// per request as query keys, or as path segments before tile.ashx), how they
// combine, and the "fail the first N requests of each tile" bookkeeping.

#include "TileEncoder.h"
#include "demo/TileAddress.h"

#include <QByteArray>

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace varrow::tileserver {

enum class FaultKind {
    None,
    Stall,       // accept and send nothing until the client gives up
    Html,        // 200 with an HTML page
    NotFound,    // 404
    ServerError, // 500
    Short,       // 200 with the first 9 bytes of the image
    Corrupt,     // 200 with the image signature followed by garbage
    Huge,        // 200 with the image followed by 64 MiB of padding
    Oversize,    // 200 with a small PNG of 4000 × 4000 pixels
    TooMany,     // 429, with Retry-After when the settings give one
    Unavailable, // 503, the same
};

// A whole decimal integer, optionally signed, that fits in an int.
bool ParseInt(std::string_view text, int& value);

// "stall", "html", "404", "500", "short", "corrupt", "huge", "oversize", "429",
// "503" or "none".
std::optional<FaultKind> ParseFaultKind(std::string_view text);
const char* FaultName(FaultKind kind);

struct TileCell {
    int X = 0;
    int Y = 0;
    friend bool operator==(const TileCell& a, const TileCell& b) {
        return a.X == b.X && a.Y == b.Y;
    }
};

// "X:Y[,X:Y...]"; nullopt when malformed.
std::optional<std::vector<TileCell>> ParseTileCells(std::string_view text);

// Unset fields defer to the next level: a request's settings override the
// server's field by field.
struct FaultSettings {
    std::optional<FaultKind> Fault;
    std::optional<int> FailFirst;
    std::optional<int> LatencyMs;
    std::optional<ImageFormat> Format;
    std::optional<int> RetryAfter; // seconds a 429 or 503 asks the client to wait

    // Applies one "key=value" setting: fault, failfirst, latency, format or retryafter.
    // Returns an error message, empty on success.
    std::string Apply(std::string_view key, std::string_view value);
    // The settings as text, for telling apart the fail-first counters of
    // requests that ask for different things.
    std::string Signature() const;
};

// Upper bounds that keep a typo from holding a connection for days.
constexpr int MaxLatencyMs = 600000;
constexpr int MaxFailFirst = 1000000;
constexpr int MaxRetryAfter = 3600;

// How one request is to be answered.
struct Decision {
    FaultKind Fault = FaultKind::None; // None: serve the tile
    int LatencyMs = 0;
    ImageFormat Format = ImageFormat::Jpeg;
    std::optional<int> RetryAfter; // the Retry-After of a 429 or 503
};

class FaultPlan {
public:
    // Server-wide settings and the tiles (columns:rows) that faults are
    // restricted to; an empty list means every tile.
    FaultPlan(FaultSettings server, std::vector<TileCell> faultTiles);

    // Decides one request, counting it towards fail-first. Thread-safe.
    Decision Decide(const TileAddress& address, const FaultSettings& request);

private:
    bool Targets(const TileAddress& address) const;

    const FaultSettings m_server;
    const std::vector<TileCell> m_tiles;
    std::mutex m_mutex;
    std::unordered_map<std::string, int> m_seen; // requests so far per tile and settings
};

// The bodies of the faults that send one.
std::string HtmlFaultPage();
QByteArray ShortBody(const QByteArray& image);
// Keeps the format's signature so the client gets past recognising the
// format, then garbage (the same length as the image, the same every time).
QByteArray CorruptBody(const QByteArray& image, ImageFormat format);
// The image, then padding up to 64 MiB: a body no tile needs.
QByteArray HugeBody(const QByteArray& image);
// A PNG of 4000 × 4000 pixels of one colour, a few kilobytes long.
QByteArray OversizeBody();

} // namespace varrow::tileserver
