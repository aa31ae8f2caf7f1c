#include "NetLib.h"

#include "WebImageLoader.h"

#include <QUrl>

#include <curl/curl.h>
#include <sys/socket.h>

#include <QDateTime>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace varrow {

namespace {

// More than the most workers that run at once.
constexpr int KeptConnections = 32;

// One connection cache for every client in the program, so that the tiles of a
// load reuse the connections of the tiles before them although each tile has a
// client of its own.
class TSharedConnections {
public:
    TSharedConnections() {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        Handle = curl_share_init();
        if (!Handle) return;
        curl_share_setopt(Handle, CURLSHOPT_LOCKFUNC, &TSharedConnections::Lock);
        curl_share_setopt(Handle, CURLSHOPT_UNLOCKFUNC, &TSharedConnections::Unlock);
        curl_share_setopt(Handle, CURLSHOPT_USERDATA, this);
        curl_share_setopt(Handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        curl_share_setopt(Handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    }
    CURLSH* Handle = nullptr;

private:
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
        static_cast<TSharedConnections*>(self)->Locks.at(static_cast<size_t>(data)).lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* self) {
        static_cast<TSharedConnections*>(self)->Locks.at(static_cast<size_t>(data)).unlock();
    }
    std::array<std::mutex, CURL_LOCK_DATA_LAST> Locks;
};

TSharedConnections& Shared() {
    // Never destroyed: clients may still hold the cache while the program exits,
    // and the system closes the sockets anyway.
    static TSharedConnections* shared = new TSharedConnections;
    return *shared;
}

using TClock = std::chrono::steady_clock;
// How often a client waiting for its host looks whether it was closed.
constexpr auto CloseCheckInterval = std::chrono::milliseconds(10);
// Held back this long for a 429 or 503 that does not say how long.
constexpr int DefaultHoldSeconds = 1;
// A service that asks for longer is treated as asking for this.
constexpr int MaxHoldSeconds = 24 * 3600;

// Per host: the requests running now among the clients that keep a limit,
// and the moment before which the host asked not to be asked again.
class THostGates {
public:
    enum class TWait { Granted, Closed, TimedOut, HeldBack };

    // Waits for a place (limit > 0) and for any hold to pass, checking
    // closed() now and then. deadline empty: no watchdog.
    TWait Enter(const std::string& host, int limit, std::optional<TClock::time_point> deadline,
                const std::function<bool()>& closed, int& heldSeconds) {
        std::unique_lock<std::mutex> lock(Lock);
        for (;;) {
            if (closed()) return TWait::Closed;
            THost& h = Hosts[host];
            const TClock::time_point now = TClock::now();
            if (h.NotBefore > now) {
                if (deadline && h.NotBefore >= *deadline) {
                    heldSeconds = static_cast<int>(
                        std::chrono::ceil<std::chrono::seconds>(h.NotBefore - now).count());
                    return TWait::HeldBack;
                }
                Changed.wait_until(lock, std::min(h.NotBefore, now + CloseCheckInterval));
                continue;
            }
            if (limit <= 0 || h.Running < limit) {
                if (limit > 0) ++h.Running;
                return TWait::Granted;
            }
            if (deadline && now >= *deadline) return TWait::TimedOut;
            Changed.wait_for(lock, CloseCheckInterval);
        }
    }
    void Leave(const std::string& host) {
        {
            std::lock_guard<std::mutex> guard(Lock);
            THost& h = Hosts[host];
            if (h.Running > 0) --h.Running;
        }
        Changed.notify_all();
    }
    void HoldBack(const std::string& host, int seconds) {
        {
            std::lock_guard<std::mutex> guard(Lock);
            THost& h = Hosts[host];
            h.NotBefore = std::max(h.NotBefore, TClock::now() + std::chrono::seconds(seconds));
        }
        Changed.notify_all();
    }

private:
    struct THost {
        int Running = 0;
        TClock::time_point NotBefore;
    };
    std::mutex Lock;
    std::condition_variable Changed;
    std::map<std::string, THost> Hosts;
};

THostGates& Gates() {
    static THostGates* gates = new THostGates; // for the same reason as Shared()
    return *gates;
}

// Leaves the host's place on every way out of a request.
class THostPlace {
public:
    THostPlace(std::string host, bool held) : Host(std::move(host)), Held(held) {}
    ~THostPlace() {
        if (Held) Gates().Leave(Host);
    }
    THostPlace(const THostPlace&) = delete;
    THostPlace& operator=(const THostPlace&) = delete;

private:
    std::string Host;
    bool Held;
};

// Retry-After is seconds or an HTTP date; -1 when it is neither.
int RetryAfterSeconds(const QByteArray& value) {
    const QByteArray text = value.trimmed();
    bool ok = false;
    const long long seconds = text.toLongLong(&ok);
    if (ok)
        return seconds < 0 ? -1 : static_cast<int>(std::min<long long>(seconds, MaxHoldSeconds));
    const QDateTime when = QDateTime::fromString(QString::fromLatin1(text), Qt::RFC2822Date);
    if (!when.isValid()) return -1;
    const qint64 left = QDateTime::currentDateTimeUtc().secsTo(when);
    return static_cast<int>(std::clamp<qint64>(left, 0, MaxHoldSeconds));
}

// Scheme, host and port: what a connection limit counts by.
std::string HostKey(const QUrl& url) {
    return QStringLiteral("%1://%2:%3")
        .arg(url.scheme(), url.host())
        .arg(url.port(url.scheme() == QLatin1String("https") ? 443 : 80))
        .toStdString();
}

} // namespace

QByteArray VarrowUserAgent() {
    return QByteArrayLiteral("Varrow/" VARROW_VERSION);
}

struct TIdHTTPEx::TCallbacks {
    static size_t WriteBody(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<TIdHTTPEx*>(user);
        const size_t bytes = size * count;
        if (self->MaxBodyBytes > 0 &&
            self->Received.size() + static_cast<qint64>(bytes) > self->MaxBodyBytes) {
            self->TooLarge = true;
            return 0; // fails the transfer before the body is held
        }
        // No exception may cross libcurl, not even bad_alloc from the append.
        try {
            self->Received.append(data, static_cast<qsizetype>(bytes));
            if (self->OnPacketRecvd) self->OnPacketRecvd(self);
        } catch (...) {
            self->HandlerError = std::current_exception();
            return 0; // fails the transfer; GetBody rethrows
        }
        return bytes;
    }

    static curl_socket_t OpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
        auto* self = static_cast<TIdHTTPEx*>(user);
        self->Status(QStringLiteral("Connecting to %1.").arg(self->Host));
        return socket(address->family, address->socktype, address->protocol);
    }

    static int BeforeRequest(void* user, char*, char*, int, int) {
        static_cast<TIdHTTPEx*>(user)->Status(QStringLiteral("Connected."));
        return CURL_PREREQFUNC_OK;
    }
};

TIdHTTPEx::TIdHTTPEx() {
    TSharedConnections& shared = Shared();
    Easy = curl_easy_init();
    Multi = curl_multi_init();
    if (!Easy || !Multi || !shared.Handle) {
        curl_easy_cleanup(Easy);
        curl_multi_cleanup(Multi);
        throw THttpError("Cannot create an HTTP client.");
    }
    // Each client has a multi handle of its own, and libcurl trims the shared
    // cache to what one multi handle allows whenever a connection goes back
    // (4 for a handle with one transfer). Every worker of a load must find a
    // connection to keep, or each tile pays for a new one.
    curl_multi_setopt(Multi, CURLMOPT_MAXCONNECTS, static_cast<long>(KeptConnections));
}

TIdHTTPEx::~TIdHTTPEx() {
    curl_easy_cleanup(Easy);
    curl_multi_cleanup(Multi);
}

void TIdHTTPEx::Status(const QString& text) {
    if (!OnStatus) return;
    try {
        OnStatus(this, text);
    } catch (...) {
        if (!HandlerError) HandlerError = std::current_exception();
    }
}

void TIdHTTPEx::Reuse() {
    TimeOut = DefaultTimeOut;
    MaxBodyBytes = 0;
    UserAgent.clear();
    HostConnectionLimit = 0;
    HonourRetryAfter = false;
    Body.clear();
    OnPacketRecvd = nullptr;
    OnStatus = nullptr;
    CloseRequested.store(false);
    Received.clear();
    TooLarge = false;
    Host.clear();
    HandlerError = nullptr;
}

void TIdHTTPEx::CloseConnection() {
    CloseRequested.store(true);
    curl_multi_wakeup(Multi);
}

void TIdHTTPEx::ThrowIfClosed() {
    if (CloseRequested.exchange(false)) throw THttpClosed("Connection closed.");
}

void TIdHTTPEx::GetBody(const QString& url) {
    const QByteArray address = url.toUtf8();
    const QUrl parsed(url);
    Host = parsed.port() >= 0 ? QStringLiteral("%1:%2").arg(parsed.host()).arg(parsed.port())
                              : parsed.host();
    if (HostConnectionLimit <= 0 && !HonourRetryAfter) {
        Transfer(address, TimeOut > 0 ? TimeOut : 0);
        return;
    }
    // The watchdog covers the waits for the host as well as the transfers.
    const TClock::time_point start = TClock::now();
    std::optional<TClock::time_point> deadline;
    if (TimeOut > 0) deadline = start + std::chrono::milliseconds(TimeOut);
    const std::string host = HostKey(parsed);
    const auto closed = [this] { return CloseRequested.load(); };
    for (;;) {
        int heldSeconds = 0;
        const THostGates::TWait wait =
            Gates().Enter(host, HostConnectionLimit, deadline, closed, heldSeconds);
        if (wait == THostGates::TWait::Closed) {
            CloseRequested.store(false);
            throw THttpClosed("Connection closed.");
        }
        if (wait == THostGates::TWait::TimedOut)
            throw THttpError(
                QStringLiteral("Timed out waiting for a connection to %1").arg(Host).toStdString());
        if (wait == THostGates::TWait::HeldBack)
            throw THttpError(QStringLiteral("%1 asked to wait %2 s before the next request")
                                 .arg(Host)
                                 .arg(heldSeconds)
                                 .toStdString());
        long left = 0;
        if (deadline) {
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - TClock::now())
                    .count();
            left = static_cast<long>(std::max<long long>(ms, 1));
        }
        TReply reply;
        {
            THostPlace place(host, HostConnectionLimit > 0);
            reply = Transfer(address, left);
        }
        if (reply.Status >= 200 && reply.Status <= 299) return;
        // 429 or 503: hold every client of the host back, then ask again
        // if the watchdog leaves time for it (Enter decides).
        Gates().HoldBack(host, reply.RetryAfterSeconds >= 0 ? reply.RetryAfterSeconds
                                                            : DefaultHoldSeconds);
    }
}

TIdHTTPEx::TReply TIdHTTPEx::Transfer(const QByteArray& address, long timeOutMs) {
    Received.clear();
    TooLarge = false;
    HandlerError = nullptr;
    char errorText[CURL_ERROR_SIZE] = {};

    CURL* easy = Easy;
    curl_easy_reset(easy);
    curl_easy_setopt(easy, CURLOPT_URL, address.constData());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_SHARE, Shared().Handle);
    // The watchdog covers the whole request: connect, send and receive.
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeOutMs);
    // Honouring Retry-After needs the headers of the error answer.
    if (!HonourRetryAfter) curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    if (!UserAgent.isEmpty()) curl_easy_setopt(easy, CURLOPT_USERAGENT, UserAgent.constData());
    // A body announced as too long is refused before any of it is read.
    if (MaxBodyBytes > 0)
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(MaxBodyBytes));
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &TCallbacks::WriteBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &TCallbacks::OpenSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &TCallbacks::BeforeRequest);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);

    CURLM* multi = Multi;
    if (curl_multi_add_handle(multi, easy) != CURLM_OK)
        throw THttpError("Cannot start the HTTP request.");

    bool closed = false;
    bool finished = false;
    CURLcode result = CURLE_OK;
    while (!finished) {
        // Checked before every step so that a close from another thread ends the
        // request at once instead of at the next packet or the watchdog.
        if (CloseRequested.exchange(false)) {
            closed = true;
            break;
        }
        int running = 0;
        const CURLMcode step = curl_multi_perform(multi, &running);
        if (step != CURLM_OK) {
            curl_multi_remove_handle(multi, easy);
            curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
            throw THttpError(curl_multi_strerror(step));
        }
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                result = message->data.result;
                finished = true;
            }
        }
        if (!finished) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    TReply reply;
    reply.Status = status;
    if (HonourRetryAfter && result == CURLE_OK && (status == 429 || status == 503)) {
        curl_header* header = nullptr;
        if (curl_easy_header(easy, "Retry-After", 0, CURLH_HEADER, -1, &header) == CURLHE_OK)
            reply.RetryAfterSeconds = RetryAfterSeconds(QByteArray(header->value));
    }
    // Removing an unfinished transfer drops its connection rather than
    // returning a half-read one to the shared cache.
    curl_multi_remove_handle(multi, easy);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);

    if (HandlerError) {
        const std::exception_ptr error = HandlerError;
        HandlerError = nullptr;
        std::rethrow_exception(error);
    }
    if (closed) {
        Status(QStringLiteral("Disconnected."));
        throw THttpClosed("Connection closed.");
    }
    if (TooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        Received.clear();
        Status(QStringLiteral("Disconnected."));
        throw THttpError(QStringLiteral("Tile too large: more than %1 MiB")
                             .arg(MaxBodyBytes / (1024 * 1024))
                             .toStdString());
    }
    if (result != CURLE_OK) {
        Status(QStringLiteral("Disconnected."));
        if (result == CURLE_HTTP_RETURNED_ERROR)
            throw THttpStatusError(QStringLiteral("HTTP error %1").arg(status).toStdString());
        throw THttpError(errorText[0] ? errorText : curl_easy_strerror(result));
    }
    if (HonourRetryAfter && (status == 429 || status == 503)) {
        Received.clear();
        return reply;
    }
    if (status < 200 || status > 299)
        throw THttpStatusError(QStringLiteral("HTTP error %1").arg(status).toStdString());
    Body = Received;
    Received.clear();
    return reply;
}

bool TIdHTTPEx::GetBitmap(const QString& url, QImage& bitmap) {
    GetBody(url);
    DecodeImage(Body, url, bitmap);
    return true;
}

} // namespace varrow
