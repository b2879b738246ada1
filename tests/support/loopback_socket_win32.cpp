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

namespace {

// `ipv4` for Family::kIpv4; `port` in: the port wanted, 0 for any; out: the port taken.
SocketHandle Listen(Family family, const char* ipv4, std::uint16_t& port, int backlog) {
    EnsureWinsock();
    const bool v6 = family == Family::kIpv6;
    const SOCKET s = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        return kNoSocket;
    }
    sockaddr_storage addr{};
    int len = 0;
    if (v6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&addr);
        a->sin6_family = AF_INET6;
        a->sin6_addr = in6addr_loopback;
        len = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&addr);
        a->sin_family = AF_INET;
        a->sin_port = htons(port);
        if (inet_pton(AF_INET, ipv4, &a->sin_addr) != 1) {
            closesocket(s);
            return kNoSocket;
        }
        len = sizeof *a;
    }
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(s, backlog) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        closesocket(s);
        return kNoSocket;
    }
    port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port
                    : reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    // Non-blocking, so that accept() never waits for a connection that went away.
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
    return static_cast<SocketHandle>(s);
}

}  // namespace

SocketHandle ListenOnLoopback(std::uint16_t& port, int backlog, Family family) {
    port = 0;
    return Listen(family, "127.0.0.1", port, backlog);
}

SocketHandle ListenOnAddress(const char* ipv4, std::uint16_t& port, int backlog) {
    return Listen(Family::kIpv4, ipv4, port, backlog);
}

bool WaitReadable(SocketHandle s, int timeoutMs) {
    WSAPOLLFD p{static_cast<SOCKET>(s), POLLRDNORM, 0};
    return WSAPoll(&p, 1, timeoutMs) > 0;
}

SocketHandle AcceptConnection(SocketHandle listener, Blocking blocking) {
    const SOCKET s = accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET) {
        return kNoSocket;
    }
    if (blocking == Blocking::Yes) {
        u_long off = 0;  // an accepted socket takes the listener's mode
        ioctlsocket(s, FIONBIO, &off);
    }
    return static_cast<SocketHandle>(s);
}

long ReceiveSome(SocketHandle s, char* buffer, std::size_t size) {
    return recv(static_cast<SOCKET>(s), buffer, static_cast<int>(size), 0);
}

bool SendAll(SocketHandle s, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const long n = SendSome(s, data.data() + sent, data.size() - sent);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

long SendSome(SocketHandle s, const char* data, std::size_t size) {
    return send(static_cast<SOCKET>(s), data, static_cast<int>(size), 0);
}

bool WouldBlock() {
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINTR;
}

bool PeerGone(SocketHandle s) {
    WSAPOLLFD p{static_cast<SOCKET>(s), POLLRDNORM, 0};
    if (WSAPoll(&p, 1, 0) <= 0) {
        return false;
    }
    // Readable: the peek does not wait, whatever the connection's mode.
    char byte;
    const int n = recv(static_cast<SOCKET>(s), &byte, 1, MSG_PEEK);
    return n == 0 || (n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK);
}

void CloseSocket(SocketHandle s) {
    if (s != kNoSocket) {
        closesocket(static_cast<SOCKET>(s));
    }
}

void ResetConnection(SocketHandle s) {
    if (s != kNoSocket) {
        const LINGER hard{1, 0};
        setsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_LINGER,
                   reinterpret_cast<const char*>(&hard), sizeof hard);
        closesocket(static_cast<SOCKET>(s));
    }
}

bool MakeStopSignal(SocketHandle& wait, SocketHandle& raise) {
    // No socketpair on Windows: a loopback connection to a listener of its own.
    wait = raise = kNoSocket;
    std::uint16_t port = 0;
    const SocketHandle listener = ListenOnLoopback(port, 1);
    if (listener == kNoSocket) {
        return false;
    }
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (s != INVALID_SOCKET && connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        WaitReadable(listener, 5000)) {
        wait = AcceptConnection(listener, Blocking::No);
    }
    CloseSocket(listener);
    if (wait == kNoSocket) {
        if (s != INVALID_SOCKET) {
            closesocket(s);
        }
        return false;
    }
    raise = static_cast<SocketHandle>(s);
    return true;
}

void RaiseStop(SocketHandle raise) {
    const char byte = 's';
    send(static_cast<SOCKET>(raise), &byte, 1, 0);
}

Waited WaitFor(SocketHandle s, Await what, SocketHandle stop, int timeoutMs) {
    const SHORT events = what == Await::Readable ? POLLRDNORM : POLLWRNORM;
    WSAPOLLFD p[2] = {{static_cast<SOCKET>(s), events, 0},
                      {static_cast<SOCKET>(stop), POLLRDNORM, 0}};
    const int n = WSAPoll(p, 2, timeoutMs);
    if (p[1].revents != 0) {
        return Waited::Stopped;
    }
    return n > 0 ? Waited::Ready : Waited::TimedOut;
}

}  // namespace tavrin::test
