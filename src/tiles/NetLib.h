#pragma once

// The HTTP client that fetches tiles: one blocking GET into memory under a
// watchdog for the whole request, with a tick for each packet read, status
// texts, and a close that another thread may call while the request runs.

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
    // Body of the last successful request; a failed one leaves it as it was.
    QByteArray Body;
    // Raised on the requesting thread for every packet of the response read.
    TNotifyEvent OnPacketRecvd;
    // Raised on the requesting thread when the connection's state changes.
    TOnStatus OnStatus;

    // GET url into Body; throws THttpError on any failure, including an HTTP
    // status outside 200..299.
    void GetBody(const QString& url);
    // GetBody, then decode Body into bitmap (24 bits per pixel); throws on failure.
    bool GetBitmap(const QString& url, QImage& bitmap);
    // Any thread: fails the running request at once. A close that arrives
    // between two requests fails the next one, so an abort can never miss a
    // request that was just starting.
    void CloseConnection();

private:
    struct TCallbacks;
    friend struct TCallbacks;
    void Status(const QString& text);

    void* Easy = nullptr;  // CURL*
    void* Multi = nullptr; // CURLM*, which lets CloseConnection wake a waiting request
    std::atomic<bool> CloseRequested{false};
    QByteArray Received;             // the running request's body so far
    bool TooLarge = false;           // the running request passed MaxBodyBytes
    QString Host;                    // for the status texts
    std::exception_ptr HandlerError; // a notification handler threw inside libcurl
};

} // namespace varrow
