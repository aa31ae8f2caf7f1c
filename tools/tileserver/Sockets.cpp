#include "Sockets.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

namespace varrow::tileserver {

namespace {

bool Endpoint(const sockaddr_storage& sa, std::string& address, int& port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (sa.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&sa);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        port = ntohs(in->sin_port);
    } else if (sa.ss_family == AF_INET6) {
        const auto* in = reinterpret_cast<const sockaddr_in6*>(&sa);
        inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text);
        port = ntohs(in->sin6_port);
    } else {
        return false;
    }
    address = text;
    return true;
}

// Calls visit with every descriptor of the process until it returns true.
template <typename Visit> bool ForEachDescriptor(Visit visit) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return false;
    bool found = false;
    while (const dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0' && visit(static_cast<int>(fd))) {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

} // namespace

bool WidenListenBacklog(int port) {
    return ForEachDescriptor([port](int fd) {
        int listening = 0;
        socklen_t length = sizeof listening;
        if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) != 0 || !listening)
            return false;
        sockaddr_storage local{};
        socklen_t localLength = sizeof local;
        std::string address;
        int localPort = 0;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
            !Endpoint(local, address, localPort) || localPort != port)
            return false;
        // Listening again on a listening socket only changes its backlog.
        return listen(fd, SOMAXCONN) == 0;
    });
}

ConnectionWatch::ConnectionWatch(std::string remoteAddress, int remotePort, int localPort)
    : m_remoteAddress(std::move(remoteAddress)), m_remotePort(remotePort), m_localPort(localPort) {
    ForEachDescriptor([this](int fd) {
        if (!SameConnection(fd)) return false;
        m_fd = fd;
        return true;
    });
}

bool ConnectionWatch::SameConnection(int fd) const {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
    sockaddr_storage peer{}, local{};
    socklen_t peerLength = sizeof peer, localLength = sizeof local;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0)
        return false;
    std::string peerAddress, localAddress;
    int peerPort = 0, localPort = 0;
    return Endpoint(peer, peerAddress, peerPort) && Endpoint(local, localAddress, localPort) &&
           peerPort == m_remotePort && localPort == m_localPort && peerAddress == m_remoteAddress;
}

bool ConnectionWatch::ClientConnected() {
    if (m_fd < 0) return true;
    // Once closed, the descriptor may be reused by another connection.
    if (!SameConnection(m_fd)) return false;
    pollfd p{m_fd, static_cast<short>(POLLIN | POLLRDHUP), 0};
    if (poll(&p, 1, 0) <= 0) return true;
    return (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) == 0;
}

} // namespace varrow::tileserver
