#include "TileService.h"

#include "demo/TileRenderer.h"

#include <cmath>

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
        if (key != "fault" && key != "failfirst" && key != "latency" && key != "format") continue;
        const std::string error = settings.Apply(key, value);
        if (!error.empty()) return BadRequest(error);
    }
    TileAddress address;
    const std::string error = ParseAddress(request, address);
    if (!error.empty()) return BadRequest(error);

    const Decision decision = m_plan.Decide(address, settings);
    ServiceReply reply;
    reply.LatencyMs = decision.LatencyMs;
    switch (decision.Fault) {
    case FaultKind::Stall:
        reply.Stall = true;
        return reply;
    case FaultKind::Html:
        reply.ContentType = "text/html";
        reply.Body = QByteArray::fromStdString(HtmlFaultPage());
        return reply;
    case FaultKind::NotFound: {
        ServiceReply r = TextReply(404, "not found\n");
        r.LatencyMs = decision.LatencyMs;
        return r;
    }
    case FaultKind::ServerError: {
        ServiceReply r = TextReply(500, "internal server error\n");
        r.LatencyMs = decision.LatencyMs;
        return r;
    }
    case FaultKind::Oversize:
        reply.ContentType = MimeType(ImageFormat::Png);
        reply.Body = OversizeBody();
        return reply;
    case FaultKind::None:
    case FaultKind::Short:
    case FaultKind::Corrupt:
    case FaultKind::Huge:
        break;
    }

    const QByteArray image = m_cache.Get(address, decision.Format);
    if (image.isEmpty()) {
        ServiceReply r = TextReply(500, "the tile could not be encoded\n");
        r.LatencyMs = decision.LatencyMs;
        return r;
    }
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
