#include "TileService.h"

#include "demo/TileRenderer.h"
#include "geo/WebMercator.h"
#include "tiles/NetLib.h"

#include <cmath>
#include <stdexcept>

namespace varrow::tileserver {

namespace {

ServiceReply BadRequest(const std::string& why) {
    ServiceReply reply;
    reply.Status = 400;
    reply.ContentType = "text/plain";
    reply.Body = QByteArray::fromStdString("bad request: " + why + "\n");
    return reply;
}

ServiceReply TextReply(int status, const char* text) {
    ServiceReply reply;
    reply.Status = status;
    reply.ContentType = "text/plain";
    reply.Body = text;
    return reply;
}

// Reads the five tile numbers; an error message on failure.
std::string ParseAddress(const ServiceRequest& request, TileAddress& a) {
    struct Key {
        const char* Name;
        int* Value;
        bool Seen;
    };
    Key keys[] = {{"t", &a.Theme, false},
                  {"s", &a.ScaleCode, false},
                  {"x", &a.X, false},
                  {"y", &a.Y, false},
                  {"z", &a.Zone, false}};
    for (const auto& [name, value] : request.Query) {
        for (Key& k : keys) {
            if (name != k.Name) continue;
            if (k.Seen) return std::string(k.Name) + " given twice";
            if (!ParseInt(value, *k.Value))
                return std::string(k.Name) + "=" + value + " is not a whole number";
            k.Seen = true;
        }
    }
    for (const Key& k : keys)
        if (!k.Seen) return std::string("missing ") + k.Name + " (expected t, s, x, y, z)";
    return demo::TileAddressProblem(a);
}

// The web-Mercator tile of GET /xyz/{z}/{x}/{y}.png; layer=topo (the
// default) or imagery picks the picture.
std::string ParseXyz(const ServiceRequest& request, TileAddress& a) {
    const std::array<std::string, 3>& path = *request.Xyz;
    int z = 0, x = 0, y = 0;
    if (!ParseInt(path[0], z) || !ParseInt(path[1], x) || !ParseInt(path[2], y))
        return "the tile's z, x and y must be whole numbers";
    if (z < 0 || z > MaxMercatorZoom)
        return "z=" + std::to_string(z) + ": zoom must be 0 to " + std::to_string(MaxMercatorZoom);
    const long long n = 1LL << z;
    if (x < 0 || x >= n || y < 0 || y >= n)
        return "x and y must be 0 to " + std::to_string(n - 1) + " at zoom " + std::to_string(z);
    a = TileAddress{static_cast<int>(demo::Theme::Topo), z, x, y, XyzZone};
    for (const auto& [key, value] : request.Query) {
        if (key != "layer") continue;
        if (value == "imagery")
            a.Theme = static_cast<int>(demo::Theme::ColorAerial);
        else if (value != "topo")
            return "layer=" + value + ": layer must be topo or imagery";
    }
    return {};
}

// One tile of another map source, fetched as one of the program's workers would.
QImage FetchUpstream(const TTileSource& source, const TileAddress& a) {
    TTileLocation location;
    location.Theme = a.Theme == 1   ? TTileTheme::Aerial
                     : a.Theme == 4 ? TTileTheme::ColorAerial
                                    : TTileTheme::Topo;
    location.Scale = demo::ScaleOfCode(a.ScaleCode);
    location.Tile = TPoint{a.X, a.Y};
    location.Zone = a.Zone;
    TIdHTTPEx client;
    client.MaxBodyBytes = MaxTileBodyBytes;
    QImage bitmap;
    source.FetchTile(client, location, bitmap);
    return bitmap;
}

ServiceReply FaultReply(const Decision& decision) {
    ServiceReply reply;
    reply.LatencyMs = decision.LatencyMs;
    switch (decision.Fault) {
    case FaultKind::Stall:
        reply.Stall = true;
        break;
    case FaultKind::Html:
        reply.ContentType = "text/html";
        reply.Body = QByteArray::fromStdString(HtmlFaultPage());
        break;
    case FaultKind::NotFound:
        reply = TextReply(404, "not found\n");
        break;
    case FaultKind::ServerError:
        reply = TextReply(500, "internal server error\n");
        break;
    case FaultKind::TooMany:
    case FaultKind::Unavailable:
        reply = decision.Fault == FaultKind::TooMany ? TextReply(429, "too many requests\n")
                                                     : TextReply(503, "service unavailable\n");
        if (decision.RetryAfter) reply.RetryAfter = std::to_string(*decision.RetryAfter);
        break;
    case FaultKind::Oversize:
        reply.ContentType = MimeType(ImageFormat::Png);
        reply.Body = OversizeBody();
        break;
    case FaultKind::None:
    case FaultKind::Short:
    case FaultKind::Corrupt:
    case FaultKind::Huge:
        break;
    }
    reply.LatencyMs = decision.LatencyMs;
    return reply;
}

} // namespace

ServiceReply TileService::Handle(const ServiceRequest& request) {
    FaultSettings settings;
    for (const std::string& segment : request.Segments) {
        const std::size_t eq = segment.find('=');
        if (eq == std::string::npos)
            return BadRequest("path segment '" + segment + "' is not a key=value setting");
        const std::string error = settings.Apply(std::string_view(segment).substr(0, eq),
                                                 std::string_view(segment).substr(eq + 1));
        if (!error.empty()) return BadRequest(error);
    }
    // Query keys win over path segments.
    for (const auto& [key, value] : request.Query) {
        if (key != "fault" && key != "failfirst" && key != "latency" && key != "format" &&
            key != "retryafter")
            continue;
        const std::string error = settings.Apply(key, value);
        if (!error.empty()) return BadRequest(error);
    }
    TileAddress address;
    const std::string error =
        request.Xyz ? ParseXyz(request, address) : ParseAddress(request, address);
    if (!error.empty()) return BadRequest(error);
    // Web-Mercator tiles are PNG, as their URLs say, unless asked otherwise.
    if (request.Xyz && !settings.Format) settings.Format = ImageFormat::Png;

    const Decision decision = m_plan.Decide(address, settings);
    if (decision.Fault != FaultKind::None && decision.Fault != FaultKind::Short &&
        decision.Fault != FaultKind::Corrupt && decision.Fault != FaultKind::Huge)
        return FaultReply(decision);

    std::string key = std::to_string(address.Theme) + '/' + std::to_string(address.ScaleCode) +
                      '/' + std::to_string(address.X) + '/' + std::to_string(address.Y) + '/' +
                      std::to_string(address.Zone);
    std::function<QImage()> render = [&address] { return demo::RenderTile(address); };
    if (request.Xyz) {
        render = [&address] {
            return demo::RenderMercatorTile(address.Theme, address.ScaleCode, address.X, address.Y);
        };
    } else if (m_upstream) {
        key = m_upstream->Key().toStdString() + '|' + key;
        render = [this, &address] { return FetchUpstream(*m_upstream, address); };
    }
    QByteArray image;
    try {
        image = m_cache.Get(key, decision.Format, render);
    } catch (const std::exception& e) {
        ServiceReply r = TextReply(502, "");
        r.Body = QByteArray("the map source failed: ") + e.what() + '\n';
        r.LatencyMs = decision.LatencyMs;
        return r;
    }
    if (image.isEmpty()) {
        ServiceReply r = TextReply(500, "the tile could not be encoded\n");
        r.LatencyMs = decision.LatencyMs;
        return r;
    }
    ServiceReply reply;
    reply.LatencyMs = decision.LatencyMs;
    reply.ContentType = MimeType(decision.Format);
    if (decision.Fault == FaultKind::Short)
        reply.Body = ShortBody(image);
    else if (decision.Fault == FaultKind::Corrupt)
        reply.Body = CorruptBody(image, decision.Format);
    else if (decision.Fault == FaultKind::Huge)
        reply.Body = HugeBody(image);
    else
        reply.Body = image;
    return reply;
}

} // namespace varrow::tileserver
