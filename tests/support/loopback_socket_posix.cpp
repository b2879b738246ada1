#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "support/loopback_socket.h"

namespace tavrin::test {

namespace {

// `ipv4` for Family::kIpv4; `port` in: the port wanted, 0 for any; out: the port taken.
SocketHandle Listen(Family family, const char* ipv4, std::uint16_t& port, int backlog) {
    // Non-blocking: a connection that goes away between poll() and accept() must not leave
    // the peer stuck in accept() when the test wants it to stop.
    const bool v6 = family == Family::kIpv6;
    const int s = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) {
        return kNoSocket;
    }
    sockaddr_storage addr{};
    socklen_t len = 0;
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
            close(s);
            return kNoSocket;
        }
        len = sizeof *a;
    }
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(s, backlog) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(s);
        return kNoSocket;
    }
    port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port
                    : reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    return s;
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
    pollfd p{static_cast<int>(s), POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0;
}

SocketHandle AcceptConnection(SocketHandle listener, Blocking blocking) {
    // accept4 without SOCK_NONBLOCK: the connection blocks again.
    const int s = accept4(static_cast<int>(listener), nullptr, nullptr,
                          SOCK_CLOEXEC | (blocking == Blocking::No ? SOCK_NONBLOCK : 0));
    return s < 0 ? kNoSocket : s;
}

long ReceiveSome(SocketHandle s, char* buffer, std::size_t size) {
    return static_cast<long>(recv(static_cast<int>(s), buffer, size, 0));
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
    return static_cast<long>(send(static_cast<int>(s), data, size, MSG_NOSIGNAL));
}

bool WouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

bool PeerGone(SocketHandle s) {
    pollfd p{static_cast<int>(s), POLLIN | POLLRDHUP, 0};
    if (poll(&p, 1, 0) <= 0) {
        return false;
    }
    char byte;
    const ssize_t n = recv(static_cast<int>(s), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

void CloseSocket(SocketHandle s) {
    if (s != kNoSocket) {
        close(static_cast<int>(s));
    }
}

void ResetConnection(SocketHandle s) {
    if (s != kNoSocket) {
        const linger hard{1, 0};
        setsockopt(static_cast<int>(s), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        close(static_cast<int>(s));
    }
}

bool MakeStopSignal(SocketHandle& wait, SocketHandle& raise) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair) != 0) {
        wait = raise = kNoSocket;
        return false;
    }
    wait = pair[0];
    raise = pair[1];
    return true;
}

void RaiseStop(SocketHandle raise) {
    const char byte = 's';
    while (send(static_cast<int>(raise), &byte, 1, MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
}

Waited WaitFor(SocketHandle s, Await what, SocketHandle stop, int timeoutMs) {
    const short events = what == Await::Readable ? POLLIN : POLLOUT;
    pollfd p[2] = {{static_cast<int>(s), events, 0}, {static_cast<int>(stop), POLLIN, 0}};
    for (;;) {
        const int n = poll(p, 2, timeoutMs);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (p[1].revents != 0) {
            return Waited::Stopped;
        }
        return n > 0 ? Waited::Ready : Waited::TimedOut;
    }
}

}  // namespace tavrin::test
