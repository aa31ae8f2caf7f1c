#include "FaultPlan.h"

#include "demo/Noise.h"

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <charconv>

namespace varrow::tileserver {

namespace {

// The counters are small, but a long-running demo server should not grow
// without bound; forgetting them all now and then only restarts the counts.
constexpr std::size_t MaxCounters = 1000000;

} // namespace

bool ParseInt(std::string_view text, int& value) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

std::optional<FaultKind> ParseFaultKind(std::string_view text) {
    if (text == "none") return FaultKind::None;
    if (text == "stall") return FaultKind::Stall;
    if (text == "html") return FaultKind::Html;
    if (text == "404") return FaultKind::NotFound;
    if (text == "500") return FaultKind::ServerError;
    if (text == "short") return FaultKind::Short;
    if (text == "corrupt") return FaultKind::Corrupt;
    if (text == "huge") return FaultKind::Huge;
    if (text == "oversize") return FaultKind::Oversize;
    if (text == "429") return FaultKind::TooMany;
    if (text == "503") return FaultKind::Unavailable;
    return std::nullopt;
}

const char* FaultName(FaultKind kind) {
    switch (kind) {
    case FaultKind::None:
        return "none";
    case FaultKind::Stall:
        return "stall";
    case FaultKind::Html:
        return "html";
    case FaultKind::NotFound:
        return "404";
    case FaultKind::ServerError:
        return "500";
    case FaultKind::Short:
        return "short";
    case FaultKind::Corrupt:
        return "corrupt";
    case FaultKind::Huge:
        return "huge";
    case FaultKind::Oversize:
        return "oversize";
    case FaultKind::TooMany:
        return "429";
    case FaultKind::Unavailable:
        return "503";
    }
    return "none";
}

std::optional<std::vector<TileCell>> ParseTileCells(std::string_view text) {
    std::vector<TileCell> cells;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const std::size_t colon = item.find(':');
        TileCell cell;
        if (colon == std::string_view::npos || !ParseInt(item.substr(0, colon), cell.X) ||
            !ParseInt(item.substr(colon + 1), cell.Y))
            return std::nullopt;
        cells.push_back(cell);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
        if (text.empty()) return std::nullopt; // trailing comma
    }
    if (cells.empty()) return std::nullopt;
    return cells;
}

std::string FaultSettings::Apply(std::string_view key, std::string_view value) {
    const std::string shown = std::string(key) + "=" + std::string(value);
    if (key == "fault") {
        const auto kind = ParseFaultKind(value);
        if (!kind)
            return shown + ": fault must be stall, html, 404, 500, short, corrupt, huge, "
                           "oversize, 429, 503 or none";
        Fault = kind;
        return {};
    }
    // A whole number from 0 to max, in the unit the message names.
    const auto number = [&](std::optional<int>& field, int max, const char* unit) {
        int n = 0;
        if (!ParseInt(value, n) || n < 0 || n > max)
            return shown + ": " + std::string(key) + " must be " + unit + " from 0 to " +
                   std::to_string(max);
        field = n;
        return std::string();
    };
    if (key == "failfirst") return number(FailFirst, MaxFailFirst, "a whole number");
    if (key == "latency") return number(LatencyMs, MaxLatencyMs, "milliseconds");
    if (key == "retryafter") return number(RetryAfter, MaxRetryAfter, "seconds");
    if (key == "format") {
        const auto format = ParseImageFormat(value);
        if (!format) return shown + ": format must be jpeg, png, gif or bmp";
        Format = format;
        return {};
    }
    return shown + ": unknown setting (fault, failfirst, latency, format, retryafter)";
}

std::string FaultSettings::Signature() const {
    std::string s;
    s += "fault=" + std::string(Fault ? FaultName(*Fault) : "");
    s += ";failfirst=" + (FailFirst ? std::to_string(*FailFirst) : std::string());
    s += ";latency=" + (LatencyMs ? std::to_string(*LatencyMs) : std::string());
    s += ";format=" + std::string(Format ? FormatName(*Format) : "");
    s += ";retryafter=" + (RetryAfter ? std::to_string(*RetryAfter) : std::string());
    return s;
}

FaultPlan::FaultPlan(FaultSettings server, std::vector<TileCell> faultTiles)
    : m_server(std::move(server)), m_tiles(std::move(faultTiles)) {}

bool FaultPlan::Targets(const TileAddress& a) const {
    return m_tiles.empty() ||
           std::find(m_tiles.begin(), m_tiles.end(), TileCell{a.X, a.Y}) != m_tiles.end();
}

Decision FaultPlan::Decide(const TileAddress& a, const FaultSettings& request) {
    Decision d;
    d.LatencyMs = request.LatencyMs.value_or(m_server.LatencyMs.value_or(0));
    d.Format = request.Format.value_or(m_server.Format.value_or(ImageFormat::Jpeg));
    d.RetryAfter = request.RetryAfter ? request.RetryAfter : m_server.RetryAfter;
    // "fault=none" on a request turns every fault off, the server's included.
    if (request.Fault == FaultKind::None || !Targets(a)) return d;
    const FaultKind kind = request.Fault.value_or(m_server.Fault.value_or(FaultKind::None));
    const int failFirst = request.FailFirst.value_or(m_server.FailFirst.value_or(0));
    if (failFirst <= 0) {
        d.Fault = kind;
        return d;
    }
    // Counted per tile and per the request's own settings, so that tests
    // sharing one server do not use up each other's failures.
    const std::string key = std::to_string(a.Theme) + '/' + std::to_string(a.ScaleCode) + '/' +
                            std::to_string(a.X) + '/' + std::to_string(a.Y) + '/' +
                            std::to_string(a.Zone) + '|' + request.Signature();
    int seen = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_seen.size() >= MaxCounters) m_seen.clear();
        int& count = m_seen[key];
        if (count <= failFirst) ++count; // stop counting once past, so the count cannot overflow
        seen = count;
    }
    if (seen <= failFirst) d.Fault = kind == FaultKind::None ? FaultKind::ServerError : kind;
    return d;
}

std::string HtmlFaultPage() {
    return "<!DOCTYPE html>\n<html><head><title>Service unavailable</title></head>\n"
           "<body><h1>Service unavailable</h1>\n"
           "<p>The map service is down for maintenance. Please try again later.</p>\n"
           "</body></html>\n";
}

QByteArray ShortBody(const QByteArray& image) {
    return image.left(9);
}

QByteArray CorruptBody(const QByteArray& image, ImageFormat format) {
    QByteArray body = image;
    const int keep = std::min<int>(SignatureLength(format), static_cast<int>(body.size()));
    // Garbage with the high bit clear: no 0xFF, so a JPEG decoder finds no
    // further marker, and no GIF block introducer it could follow.
    std::uint32_t h = 0x2545f491u;
    for (int i = keep; i < body.size(); ++i) {
        h = demo::HashLattice(i, 0, 0, h);
        char c = static_cast<char>(h & 0x7fu);
        if (c == 0x21 || c == 0x2c || c == 0x3b) c = 0x55;
        body[i] = c;
    }
    return body;
}

} // namespace varrow::tileserver

namespace varrow::tileserver {

QByteArray HugeBody(const QByteArray& image) {
    constexpr qsizetype Size = 64 * 1024 * 1024;
    QByteArray body = image;
    if (body.size() < Size) body.append(Size - body.size(), '\0');
    return body;
}

QByteArray OversizeBody() {
    // Encoded once: the picture compresses to almost nothing.
    static const QByteArray body = [] {
        QImage picture(4000, 4000, QImage::Format_RGB32);
        picture.fill(qRgb(200, 30, 30));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");
        return bytes;
    }();
    return body;
}

} // namespace varrow::tileserver
