// The transport's calls for an event loop on Windows (the game relay's): a loopback
// listener, non-blocking sockets, WSAPoll over many of them, a wake-up pair.
#include <winsock2.h>

#include <windows.h>

#include <ws2tcpip.h>

#include <vector>

#include "net/socket_transport.h"

namespace tavrin {

namespace {

SOCKET Native(SocketHandle s) {
    return static_cast<SOCKET>(s);
}

}  // namespace

SocketHandle ListenOnLoopback(std::uint16_t& port) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        SetLastSocketError(WSAGetLastError());
        return kInvalidSocket;
    }
    // No SO_REUSEADDR here: on Windows it would let another program bind the same port.
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof at;
    u_long nonBlocking = 1;
    if (bind(s, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 ||
        listen(s, SOMAXCONN) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&at), &length) != 0 ||
        ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        SetLastSocketError(WSAGetLastError());
        closesocket(s);
        return kInvalidSocket;
    }
    port = ntohs(at.sin_port);
    return static_cast<SocketHandle>(s);
}

SocketHandle AcceptConnection(SocketHandle listener) {
    const SOCKET s = accept(Native(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET) {
        SetLastSocketError(WSAGetLastError());
        return kInvalidSocket;
    }
    const SocketHandle accepted = static_cast<SocketHandle>(s);
    if (!SetNonBlocking(accepted)) {
        closesocket(s);
        return kInvalidSocket;
    }
    return accepted;
}

bool SetNonBlocking(SocketHandle socket) {
    // A socket that had event selection keeps it until it is cleared; then FIONBIO applies.
    WSAEventSelect(Native(socket), nullptr, 0);
    u_long on = 1;
    if (ioctlsocket(Native(socket), FIONBIO, &on) != 0) {
        SetLastSocketError(WSAGetLastError());
        return false;
    }
    return true;
}

int PollSockets(PollEntry* entries, std::size_t count, int timeoutMs) {
    std::vector<WSAPOLLFD> fds(count);
    for (std::size_t i = 0; i < count; ++i) {
        fds[i].fd = Native(entries[i].socket);
        fds[i].events = static_cast<SHORT>((entries[i].wantRead ? POLLRDNORM : 0) |
                                           (entries[i].wantWrite ? POLLWRNORM : 0));
    }
    const int n = WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
    if (n == SOCKET_ERROR) {
        SetLastSocketError(WSAGetLastError());
        return -1;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const SHORT got = fds[i].revents;
        entries[i].readable = (got & (POLLRDNORM | POLLHUP | POLLERR | POLLNVAL)) != 0;
        entries[i].writable = (got & (POLLWRNORM | POLLERR | POLLHUP)) != 0;
    }
    return n;
}

namespace {

// What a call that does not wait gives: its count, kWouldBlock, or -1 with the error kept.
long NowResult(int n) {
    if (n >= 0) {
        return n;
    }
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
        return kWouldBlock;
    }
    SetLastSocketError(error);
    return -1;
}

}  // namespace

long ReceiveNow(SocketHandle socket, char* buffer, long length) {
    return NowResult(recv(Native(socket), buffer, static_cast<int>(length), 0));
}

long SendNow(SocketHandle socket, const char* buffer, long length) {
    return NowResult(send(Native(socket), buffer, static_cast<int>(length), 0));
}

bool MakeWakePair(SocketHandle& wait, SocketHandle& raise) {
    // Windows has no socketpair: a loopback connection to a listener of our own.
    std::uint16_t port = 0;
    const SocketHandle listener = ListenOnLoopback(port);
    if (listener == kInvalidSocket) {
        return false;
    }
    const SOCKET out = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    if (out == INVALID_SOCKET ||
        connect(out, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        SetLastSocketError(WSAGetLastError());
        if (out != INVALID_SOCKET) {
            closesocket(out);
        }
        CloseSocket(listener);
        return false;
    }
    WSAPOLLFD ready{Native(listener), POLLRDNORM, 0};
    WSAPoll(&ready, 1, 5000);
    const SocketHandle in = AcceptConnection(listener);
    CloseSocket(listener);
    if (in == kInvalidSocket || !SetNonBlocking(static_cast<SocketHandle>(out))) {
        closesocket(out);
        CloseSocket(in);
        return false;
    }
    wait = in;
    raise = static_cast<SocketHandle>(out);
    return true;
}

}  // namespace tavrin
