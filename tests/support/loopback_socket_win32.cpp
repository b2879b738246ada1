#include <winsock2.h>

#include <ws2tcpip.h>

#include "support/loopback_socket.h"

namespace tavrin::test {

namespace {
struct WinsockUser {
    WinsockUser() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockUser() { WSACleanup(); }
};
void EnsureWinsock() {
    static WinsockUser user;
}
}  // namespace

SocketHandle ListenOnLoopback(std::uint16_t& port) {
    EnsureWinsock();
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        return kNoSocket;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof addr;
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        closesocket(s);
        return kNoSocket;
    }
    port = ntohs(addr.sin_port);
    // Non-blocking, so that accept() never waits for a connection that went away.
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
    return static_cast<SocketHandle>(s);
}

bool WaitReadable(SocketHandle s, int timeoutMs) {
    WSAPOLLFD p{static_cast<SOCKET>(s), POLLRDNORM, 0};
    return WSAPoll(&p, 1, timeoutMs) > 0;
}

SocketHandle AcceptConnection(SocketHandle listener) {
    const SOCKET s = accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET) {
        return kNoSocket;
    }
    u_long off = 0;  // an accepted socket takes the listener's mode
    ioctlsocket(s, FIONBIO, &off);
    return static_cast<SocketHandle>(s);
}

long ReceiveSome(SocketHandle s, char* buffer, std::size_t size) {
    return recv(static_cast<SOCKET>(s), buffer, static_cast<int>(size), 0);
}

bool SendAll(SocketHandle s, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const int n = send(static_cast<SOCKET>(s), data.data() + sent,
                           static_cast<int>(data.size() - sent), 0);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void CloseSocket(SocketHandle s) {
    if (s != kNoSocket) {
        closesocket(static_cast<SOCKET>(s));
    }
}

}  // namespace tavrin::test
