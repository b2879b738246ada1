#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/loopback_socket.h"

namespace tavrin::test {

SocketHandle ListenOnLoopback(std::uint16_t& port) {
    // Non-blocking: a connection that goes away between poll() and accept() must not leave
    // the peer stuck in accept() when the test wants it to stop.
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) {
        return kNoSocket;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(s);
        return kNoSocket;
    }
    port = ntohs(addr.sin_port);
    return s;
}

bool WaitReadable(SocketHandle s, int timeoutMs) {
    pollfd p{static_cast<int>(s), POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0;
}

SocketHandle AcceptConnection(SocketHandle listener) {
    // The accepted connection blocks again (accept4 without SOCK_NONBLOCK).
    const int s = accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
    return s < 0 ? kNoSocket : s;
}

long ReceiveSome(SocketHandle s, char* buffer, std::size_t size) {
    return static_cast<long>(recv(static_cast<int>(s), buffer, size, 0));
}

bool SendAll(SocketHandle s, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n =
            send(static_cast<int>(s), data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void CloseSocket(SocketHandle s) {
    if (s != kNoSocket) {
        close(static_cast<int>(s));
    }
}

}  // namespace tavrin::test
