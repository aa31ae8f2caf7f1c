#pragma once

// The HTTP client that fetches tiles: one blocking GET into memory under a
// watchdog for the whole request, with a tick for each packet read, status
// texts, and a close that another thread may call while the request runs.
// Clients of public map services also name themselves, share a limit of
// connections per host and hold back when the service asks them to.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <atomic>
#include <exception>
#include <functional>
#include <stdexcept>

namespace varrow {

// Every failure of a request (connection, HTTP status, watchdog, close) is one
// of these; decoding failures come from the image decoder.
class THttpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The service answered, with an HTTP status that is no success.
class THttpStatusError : public THttpError {
public:
    using THttpError::THttpError;
};

// The request was ended by CloseConnection ("Connection closed.").
class THttpClosed : public THttpError {
public:
    using THttpError::THttpError;
};

// "Varrow/0.1.0": how the program names itself to the services it asks.
QByteArray VarrowUserAgent();

class TIdHTTPEx {
public:
    using TNotifyEvent = std::function<void(TIdHTTPEx* sender)>;
    using TOnStatus = std::function<void(TIdHTTPEx* sender, const QString& status)>;

    // Tiles are fetched with this watchdog unless the owner sets another.
    static constexpr int DefaultTimeOut = 5000;

    TIdHTTPEx();
    ~TIdHTTPEx();
    TIdHTTPEx(const TIdHTTPEx&) = delete;
    TIdHTTPEx& operator=(const TIdHTTPEx&) = delete;

    // Milliseconds for one whole request (connect, send, receive); 0 = no limit.
    int TimeOut = DefaultTimeOut;
    // A longer body ends the request at once ("Tile too large: more than 4
    // MiB"); 0 = no limit.
    qint64 MaxBodyBytes = 0;
    // Sent as the User-Agent header when not empty; otherwise none is sent.
    QByteArray UserAgent;
    // At most this many requests of the whole program run at once to the
    // host (scheme, host and port) of the URL, among the clients that set a
    // limit; waiting for one of them counts against the watchdog. 0 = no limit.
    int HostConnectionLimit = 0;
    // A 429 or 503 answer holds back every client of the host until its
    // Retry-After has passed (1 s when it gives none), and is asked again
    // then if the watchdog allows; otherwise the request fails at once. A
    // client with this set also waits for a hold that another one met.
    bool HonourRetryAfter = false;
    // Body of the last successful request; a failed one leaves it as it was.
    QByteArray Body;
    // Raised on the requesting thread for every packet of the response read.
    TNotifyEvent OnPacketRecvd;
    // Raised on the requesting thread when the connection's state changes.
    TOnStatus OnStatus;

    // GET url into Body; throws THttpError on any failure, including an HTTP
    // status outside 200..299 (THttpClosed for a close).
    void GetBody(const QString& url);
    // GetBody, then decode Body into bitmap (Format_RGB32); throws on failure.
    bool GetBitmap(const QString& url, QImage& bitmap);
    // Back to the state of a new client, settings and a pending close
    // included, keeping its libcurl handles: a worker thread reuses one client
    // for tile after tile instead of making one per tile.
    void Reuse();
    // Any thread: fails the running request at once. A close that arrives
    // between two requests fails the next one, so an abort can never miss a
    // request that was just starting.
    void CloseConnection();
    // A close has been asked for that no request has met yet. Whoever waits
    // on behalf of this client (for work another client does) stops then.
    bool CloseRequestedPending() const { return CloseRequested.load(); }
    // Throws THttpClosed, using up the close, when one is pending.
    void ThrowIfClosed();

private:
    struct TCallbacks;
    friend struct TCallbacks;
    struct TReply {
        long Status = 0;
        int RetryAfterSeconds = -1; // -1: not given
    };
    void Status(const QString& text);
    // One transfer within timeOutMs (0 = no limit); throws on failure except
    // for a 429 or 503 that HonourRetryAfter asks to hold back for.
    TReply Transfer(const QByteArray& address, long timeOutMs);

    void* Easy = nullptr;  // CURL*
    void* Multi = nullptr; // CURLM*, which lets CloseConnection wake a waiting request
    std::atomic<bool> CloseRequested{false};
    QByteArray Received;             // the running request's body so far
    bool TooLarge = false;           // the running request passed MaxBodyBytes
    QString Host;                    // for the status texts
    std::exception_ptr HandlerError; // a notification handler threw inside libcurl
};

} // namespace varrow
