#pragma once

// Socket plumbing the HTTP library does not offer. It does not hand out its
// sockets, so they are found among the process's descriptors (Linux).

#include <string>

namespace varrow::tileserver {

// Tells a handler whether its client is still connected, the socket being
// found by its two endpoints. Used by the stall fault, which would otherwise
// hold a worker thread long after the client gave up.
class ConnectionWatch {
public:
    ConnectionWatch(std::string remoteAddress, int remotePort, int localPort);

    // False once the client has closed or reset the connection. When the
    // socket cannot be found the answer is always true.
    bool ClientConnected();

private:
    bool SameConnection(int fd) const;

    std::string m_remoteAddress;
    int m_remotePort;
    int m_localPort;
    int m_fd = -1;
};

// The HTTP library listens with a backlog of 5, so a client that opens a
// dozen connections at once has some of them dropped and retried a second
// later. Finds the process's listening socket on the port and widens its
// backlog; false if there is none.
bool WidenListenBacklog(int port);

} // namespace varrow::tileserver
