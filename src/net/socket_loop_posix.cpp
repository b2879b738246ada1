// The transport's calls for an event loop on POSIX (the game relay's): a loopback listener,
// non-blocking sockets, poll() over many of them, a wake-up pair.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "net/socket_transport.h"

namespace tavrin {

SocketHandle ListenOnLoopback(std::uint16_t& port) {
    const SocketHandle s = CreateTcpSocket();
    if (s == kInvalidSocket) {
        return kInvalidSocket;
    }
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    if (bind(static_cast<int>(s), reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 ||
        listen(static_cast<int>(s), SOMAXCONN) != 0 ||
        getsockname(static_cast<int>(s), reinterpret_cast<sockaddr*>(&at), &length) != 0) {
        SetLastSocketError(errno);
        CloseSocket(s);
        return kInvalidSocket;
    }
    port = ntohs(at.sin_port);
    return s;
}

SocketHandle AcceptConnection(SocketHandle listener) {
    const int s =
        accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (s < 0) {
        SetLastSocketError(errno);
        return kInvalidSocket;
    }
    return s;
}

bool SetNonBlocking(SocketHandle socket) {
    const int flags = fcntl(static_cast<int>(socket), F_GETFL);
    if (flags < 0 || fcntl(static_cast<int>(socket), F_SETFL, flags | O_NONBLOCK) != 0) {
        SetLastSocketError(errno);
        return false;
    }
    return true;
}

int PollSockets(PollEntry* entries, std::size_t count, int timeoutMs) {
    std::vector<pollfd> fds(count);
    for (std::size_t i = 0; i < count; ++i) {
        fds[i].fd = static_cast<int>(entries[i].socket);
        fds[i].events = static_cast<short>((entries[i].wantRead ? POLLIN : 0) |
                                           (entries[i].wantWrite ? POLLOUT : 0));
    }
    int n = 0;
    do {
        n = poll(fds.data(), fds.size(), timeoutMs);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        SetLastSocketError(errno);
        return -1;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const short got = fds[i].revents;
        entries[i].readable = (got & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
        entries[i].writable = (got & (POLLOUT | POLLERR | POLLHUP)) != 0;
    }
    return n;
}

namespace {

// What a call that does not wait gives: its count, kWouldBlock, or -1 with the error kept.
long NowResult(ssize_t n) {
    if (n >= 0) {
        return static_cast<long>(n);
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        return kWouldBlock;
    }
    SetLastSocketError(errno);
    return -1;
}

}  // namespace

long ReceiveNow(SocketHandle socket, char* buffer, long length) {
    ssize_t n = 0;
    do {
        n = recv(static_cast<int>(socket), buffer, static_cast<std::size_t>(length), 0);
    } while (n < 0 && errno == EINTR);
    return NowResult(n);
}

long SendNow(SocketHandle socket, const char* buffer, long length) {
    ssize_t n = 0;
    do {
        n = send(static_cast<int>(socket), buffer, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return NowResult(n);
}

bool MakeWakePair(SocketHandle& wait, SocketHandle& raise) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair) != 0) {
        SetLastSocketError(errno);
        return false;
    }
    wait = pair[0];
    raise = pair[1];
    return true;
}

}  // namespace tavrin
