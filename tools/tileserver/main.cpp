// varrow-tiles: the map-tile service Varrow is built against. It renders a
// synthetic landscape for any tile address and can misbehave on request, so
// that it serves as demo data and as the test fixture for the tile loader.
// The same landscape comes as web-Mercator tiles, the fixture of the
// reprojecting sources; and any of the program's map sources can be served
// as tile.ashx to other clients.

#include "FaultPlan.h"
#include "Sockets.h"
#include "TileEncoder.h"
#include "TileService.h"
#include "tiles/MapSources.h"

#include <QGuiApplication>

#include <httplib.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace varrow::tileserver;

namespace {

constexpr int DefaultPort = 8600;
// Many clients fetch 14 tiles at once and tests add stalled connections on
// top; the latency option, not the pool, should set the pace.
constexpr std::size_t WorkerThreads = 128;
// More than a 75 × 75 view and its ring ask for (5,929, in the same order each
// time): a smaller cache would drop each tile just before it is asked again.
constexpr std::size_t CachedTiles = 8192;
constexpr std::size_t CachedBytes = 256u << 20;

const char* const Usage =
    "Usage: varrow-tiles [options]\n"
    "Serves 200 x 200 map tiles of a synthetic landscape at\n"
    "  GET /tile.ashx?t=THEME&s=SCALE&x=COLUMN&y=ROW&z=ZONE\n"
    "(t: 1 Aerial, 2 Topo, 4 Color Aerial; s: log2(metres per pixel) + 10, 8..19),\n"
    "and the same landscape as 256 x 256 web-Mercator tiles at\n"
    "  GET /xyz/Z/X/Y.png[?layer=topo|imagery]\n"
    "GET /stats tells requests, the most at once, distinct ones, connections and the last\n"
    "User-Agent.\n"
    "\n"
    "Options:\n"
    "  --host HOST         address to listen on (default 127.0.0.1)\n"
    "  --port N            port (default 8600; 0 picks a free one)\n"
    "  --format F          jpeg, png, gif or bmp (default jpeg)\n"
    "  --latency-ms N      wait N ms before every answer\n"
    "  --source SOURCE     serve tile.ashx from demo (default), usgs-topo, usgs-imagery,\n"
    "                      usgs-imagery-topo, xyz:TEMPLATE or http://HOST:PORT\n"
    "  --offline           with --source: only what the disk cache holds\n"
    "  --cache DIR         with --source: the disk cache's folder (default $VARROW_CACHE)\n"
    "  --verbose           log every request to standard error\n"
    "  --help              show this text\n"
    "\n"
    "Fault injection:\n"
    "  --fault KIND        stall | html | 404 | 500 | short | corrupt | huge | oversize\n"
    "                      | 429 | 503\n"
    "  --retry-after N     the Retry-After seconds of a 429 or 503\n"
    "  --fail-first N      the first N requests of each tile fail (with KIND, else 500)\n"
    "  --fault-tiles LIST  restrict faults to tiles X:Y[,X:Y...] (columns:rows)\n"
    "\n"
    "The same per request, as query keys or as path segments before tile.ashx or xyz:\n"
    "  fault=KIND failfirst=N latency=MS format=F retryafter=N  (fault=none: no faults)\n"
    "  e.g. GET /fault=stall/latency=20/tile.ashx?t=2&s=19&x=3&y=35&z=13\n"
    "\n"
    "Prints 'listening on http://HOST:PORT' once it accepts connections.\n";

struct Options {
    std::string Host = "127.0.0.1";
    int Port = DefaultPort;
    bool Verbose = false;
    FaultSettings Server;
    std::vector<TileCell> FaultTiles;
    bool HasSource = false;
    varrow::TMapSourceChoice Source;
};

// Parses the command line; false with a message on stderr when it is wrong.
bool ParseOptions(int argc, char** argv, Options& o, bool& help) {
    help = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        const std::size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        const auto next = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= argc) {
                std::fprintf(stderr, "varrow-tiles: %s needs a value\n", arg.c_str());
                return false;
            }
            value = argv[++i];
            return true;
        };
        const auto fail = [&](const std::string& why) {
            std::fprintf(stderr, "varrow-tiles: %s\n", why.c_str());
            return false;
        };
        if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--verbose") {
            o.Verbose = true;
        } else if (arg == "--host") {
            if (!next()) return false;
            if (value.empty()) return fail("--host needs an address");
            o.Host = value;
        } else if (arg == "--port") {
            if (!next()) return false;
            if (!ParseInt(value, o.Port) || o.Port < 0 || o.Port > 65535)
                return fail("--port " + value + ": must be 0 to 65535");
        } else if (arg == "--source") {
            if (!next()) return false;
            QString error;
            if (!varrow::ParseSourceArgument(QString::fromStdString(value), o.Source, error))
                return fail(error.toStdString());
            o.HasSource = true;
        } else if (arg == "--offline") {
            o.Source.Offline = true;
        } else if (arg == "--cache") {
            if (!next()) return false;
            if (value.empty()) return fail("--cache needs a folder");
            o.Source.CacheRoot = QString::fromStdString(value);
        } else if (arg == "--format" || arg == "--latency-ms" || arg == "--fault" ||
                   arg == "--fail-first" || arg == "--retry-after") {
            if (!next()) return false;
            const char* key = arg == "--format"        ? "format"
                              : arg == "--latency-ms"  ? "latency"
                              : arg == "--fault"       ? "fault"
                              : arg == "--retry-after" ? "retryafter"
                                                       : "failfirst";
            const std::string error = o.Server.Apply(key, value);
            if (!error.empty()) return fail(arg + ": " + error);
        } else if (arg == "--fault-tiles") {
            if (!next()) return false;
            const auto cells = ParseTileCells(value);
            if (!cells) return fail("--fault-tiles " + value + ": expected X:Y[,X:Y...]");
            o.FaultTiles = *cells;
        } else {
            return fail("unknown option " + arg + " (see --help)");
        }
    }
    return true;
}

// Set when the service is asked to stop; waits that must end early wait on it.
class StopSignal {
public:
    void Raise() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopped = true;
        }
        m_cv.notify_all();
    }
    // Waits up to ms milliseconds; true if the service is stopping.
    bool WaitFor(int ms) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopped; });
    }
    bool Raised() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_stopped;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stopped = false;
};

// Splits "/a=1/b=2/tile.ashx" captured as "a=1/b=2/" into its segments.
std::vector<std::string> Segments(const std::string& prefix) {
    std::vector<std::string> out;
    std::stringstream in(prefix);
    std::string part;
    while (std::getline(in, part, '/'))
        if (!part.empty()) out.push_back(part);
    return out;
}

std::string UrlHost(const std::string& host) {
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

// What the clients did, for tests that check how politely they ask.
class RequestStats {
public:
    void Begin(const httplib::Request& req) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_requests;
        m_peak = std::max(m_peak, ++m_running);
        m_connections.insert(req.remote_addr + ":" + std::to_string(req.remote_port));
        m_targets.insert(req.target);
        m_agent = req.get_header_value("User-Agent");
    }
    void End() {
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_running;
    }
    std::string Text() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return "requests=" + std::to_string(m_requests) + "\npeak=" + std::to_string(m_peak) +
               "\ndistinct=" + std::to_string(m_targets.size()) +
               "\nconnections=" + std::to_string(m_connections.size()) + "\nagent=" + m_agent +
               "\n";
    }

private:
    std::mutex m_mutex;
    int m_requests = 0, m_running = 0, m_peak = 0;
    std::set<std::string> m_connections;
    std::set<std::string> m_targets; // what was asked for, path and query
    std::string m_agent;
};

} // namespace

int main(int argc, char** argv) {
    Options options;
    bool help = false;
    if (!ParseOptions(argc, argv, options, help)) return 2;
    if (help) {
        std::fputs(Usage, stdout);
        return 0;
    }

    // SIGINT and SIGTERM are taken by a watcher thread through sigwait, so
    // the stop happens on an ordinary thread; every thread started from here
    // on inherits the mask. A client that hangs up mid-answer must not kill us.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // Fonts for the tile labels need a GUI application; no window is shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    varrow::TTileSourcePtr upstream;
    if (options.HasSource && options.Source.Kind != varrow::TMapSourceKind::Demo) {
        try {
            upstream = varrow::MakeTileSource(options.Source);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "varrow-tiles: --source: %s\n", e.what());
            return 2;
        }
    }
    FaultPlan plan(options.Server, options.FaultTiles);
    TileCache cache(CachedTiles, CachedBytes);
    TileService service(plan, cache, upstream);
    StopSignal stop;
    std::mutex logMutex;
    RequestStats stats;

    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(WorkerThreads); };
    server.set_tcp_nodelay(true);
    server.set_keep_alive_max_count(1000);
    // Idle keep-alive connections hold a worker thread and delay a stop.
    server.set_keep_alive_timeout(2);

    const auto answer = [&](const httplib::Request& req, httplib::Response& res,
                            ServiceRequest request) {
        stats.Begin(req);
        if (req.matches.size() > 1) request.Segments = Segments(req.matches[1].str());
        for (const auto& [key, value] : req.params)
            request.Query.emplace_back(key, value);
        const ServiceReply reply = service.Handle(request);

        // Latency is a plain wait with no lock held, cut short by a stop.
        if (reply.LatencyMs > 0 && stop.WaitFor(reply.LatencyMs)) {
            res.status = 503;
            res.set_content("service stopping\n", "text/plain");
        } else if (reply.Stall) {
            ConnectionWatch watch(req.remote_addr, req.remote_port, req.local_port);
            while (!stop.WaitFor(50))
                if (!watch.ClientConnected()) break;
            // Whatever is sent now goes to a closed socket or a client the
            // service is leaving anyway.
            res.status = 503;
            res.set_content("service stopping\n", "text/plain");
        } else {
            res.status = reply.Status;
            if (!reply.RetryAfter.empty()) res.set_header("Retry-After", reply.RetryAfter);
            res.set_content(reply.Body.constData(), static_cast<std::size_t>(reply.Body.size()),
                            reply.ContentType.c_str());
        }
        stats.End();
    };
    server.Get(R"(/(.*/)?tile\.ashx)", [&](const httplib::Request& req, httplib::Response& res) {
        answer(req, res, ServiceRequest{});
    });
    server.Get(R"(/(.*/)?xyz/([^/]+)/([^/]+)/([^/]+)\.png)",
               [&](const httplib::Request& req, httplib::Response& res) {
                   ServiceRequest request;
                   request.Xyz = std::array<std::string, 3>{
                       req.matches[2].str(), req.matches[3].str(), req.matches[4].str()};
                   answer(req, res, request);
               });
    server.Get("/stats", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(stats.Text(), "text/plain");
    });
    server.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(Usage, "text/plain");
    });
    if (options.Verbose) {
        server.set_logger([&](const httplib::Request& req, const httplib::Response& res) {
            std::lock_guard<std::mutex> lock(logMutex);
            std::fprintf(stderr, "%s:%d %s %s -> %d, %zu bytes\n", req.remote_addr.c_str(),
                         req.remote_port, req.method.c_str(), req.target.c_str(), res.status,
                         res.body.size());
        });
    }

    int port = options.Port;
    if (port == 0) {
        port = server.bind_to_any_port(options.Host);
        if (port <= 0) {
            std::fprintf(stderr, "varrow-tiles: cannot listen on %s\n", options.Host.c_str());
            return 1;
        }
    } else if (!server.bind_to_port(options.Host, port)) {
        std::fprintf(stderr, "varrow-tiles: cannot listen on %s:%d\n", options.Host.c_str(), port);
        return 1;
    }
    if (!WidenListenBacklog(port))
        std::fprintf(stderr, "varrow-tiles: could not widen the listen backlog\n");
    std::printf("listening on http://%s:%d\n", UrlHost(options.Host).c_str(), port);
    std::fflush(stdout);

    std::atomic<bool> signalled{false};
    std::thread watcher([&] {
        int received = 0;
        sigwait(&stopSignals, &received);
        signalled = true;
        stop.Raise();
        server.stop();
    });

    const bool listened = server.listen_after_bind();
    if (!signalled) {
        // The server ended on its own: wake the watcher so it can be joined.
        stop.Raise();
        pthread_kill(watcher.native_handle(), SIGTERM);
    }
    watcher.join();
    return listened || signalled ? 0 : 1;
}
