// The transport on POSIX: non-blocking sockets, every wait a poll() with its time-out.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "net/socket_transport.h"
#include "net/wait_limit.h"

namespace tavrin {

namespace {

// Waits until the socket is ready for `events`; false after the time-out or when the
// thread's wait limit is reached (ETIMEDOUT), or on a failure (its error stored).
bool WaitFor(SocketHandle socket, short events, int timeoutMs) {
    pollfd p{static_cast<int>(socket), events, 0};
    int error = 0;
    const int ready = WaitInSlices(timeoutMs, [&](int sliceMs) {
        const int n = poll(&p, 1, sliceMs);
        if (n < 0 && errno != EINTR) {
            error = errno;
            return -1;
        }
        return n > 0 ? 1 : 0;
    });
    if (ready > 0) {
        return true;
    }
    SetLastSocketError(ready == 0 ? ETIMEDOUT : error);
    return false;
}

Ipv4Address LookUp(const std::string& host) {
    if (Ipv4Address standIn = kNoAddress; LookUpByStandIn(host, standIn)) {
        if (standIn == kNoAddress) {
            SetLastSocketError(EHOSTUNREACH);
        }
        return standIn;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        // No errno of its own: the host cannot be reached by that name.
        SetLastSocketError(EHOSTUNREACH);
        return kNoAddress;
    }
    const Ipv4Address address =
        reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return address;
}

}  // namespace

int SocketTimedOutError() {
    return ETIMEDOUT;
}

int SocketStartup() {
    return 0;
}

void SocketCleanup() {}

SocketHandle CreateTcpSocket() {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) {
        SetLastSocketError(errno);
        return kInvalidSocket;
    }
    const int on = 1;
    if (setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        SetLastSocketError(errno);
        close(s);
        return kInvalidSocket;
    }
    return s;
}

void CloseSocket(SocketHandle socket) {
    if (socket != kInvalidSocket) {
        close(static_cast<int>(socket));
    }
}

Ipv4Address ResolveHostAddress(const std::string& host, bool useThread, int timeoutMs) {
    in_addr dotted{};
    if (inet_pton(AF_INET, host.c_str(), &dotted) == 1) {
        return dotted.s_addr;
    }
    if (!useThread) {
        return LookUp(host);
    }
    // The lookup runs on a thread of its own, as the caller may be one that must not be
    // held inside the resolver's library state, and as the resolver has no time-out of ours:
    // past the caller's, the thread is left to finish alone with the result it shares.
    struct Lookup {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        Ipv4Address address = kNoAddress;
        int error = 0;
    };
    auto shared = std::make_shared<Lookup>();
    std::thread([shared, host] {
        const Ipv4Address address = LookUp(host);
        const int error = GetLastSocketError();
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->address = address;
        shared->error = error;
        shared->finished = true;
        shared->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(shared->mutex);
    const auto finished = [&] { return shared->finished; };
    const int found = WaitInSlices(timeoutMs, [&](int sliceMs) {
        if (sliceMs < 0) {
            shared->done.wait(lock, finished);
            return 1;
        }
        return shared->done.wait_for(lock, std::chrono::milliseconds(sliceMs), finished) ? 1 : 0;
    });
    if (found <= 0) {
        SetLastSocketError(ETIMEDOUT);
        return kNoAddress;
    }
    if (shared->address == kNoAddress) {
        SetLastSocketError(shared->error);
    }
    return shared->address;
}

int ConnectToHost(SocketHandle socket, const std::string& host, std::uint16_t port, int timeoutMs,
                  bool useThread) {
    const auto start = std::chrono::steady_clock::now();
    const Ipv4Address address = ResolveHostAddress(host, useThread, timeoutMs);
    if (address == kNoAddress) {
        return -1;
    }
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
    return ConnectWithTimeout(socket, {address, port},
                              static_cast<int>(std::max<long long>(timeoutMs - spent, 0)));
}

namespace {

int ConnectTo(SocketHandle socket, const sockaddr* to, socklen_t size, int timeoutMs) {
    const int s = static_cast<int>(socket);
    if (connect(s, to, size) == 0) {
        return 0;
    }
    if (errno != EINPROGRESS) {
        SetLastSocketError(errno);
        return -1;
    }
    if (!WaitFor(socket, POLLOUT, timeoutMs)) {
        return -1;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
    }
    if (error != 0) {
        SetLastSocketError(error);
        return -1;
    }
    return 0;
}

}  // namespace

int ConnectWithTimeout(SocketHandle socket, const SocketAddress& address, int timeoutMs) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(address.port);
    to.sin_addr.s_addr = address.address;
    return ConnectTo(socket, reinterpret_cast<const sockaddr*>(&to), sizeof to, timeoutMs);
}

SocketHandle ConnectTcp(const std::string& host, std::uint16_t port, int timeoutMs) {
    sockaddr_in6 to{};
    if (inet_pton(AF_INET6, host.c_str(), &to.sin6_addr) != 1) {
        const SocketHandle s = CreateTcpSocket();
        if (s != kInvalidSocket && ConnectToHost(s, host, port, timeoutMs, true) != 0) {
            CloseSocket(s);
            return kInvalidSocket;
        }
        return s;
    }
    const int s = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) {
        SetLastSocketError(errno);
        return kInvalidSocket;
    }
    to.sin6_family = AF_INET6;
    to.sin6_port = htons(port);
    if (ConnectTo(s, reinterpret_cast<const sockaddr*>(&to), sizeof to, timeoutMs) != 0) {
        close(s);
        return kInvalidSocket;
    }
    return s;
}

long SendWithTimeout(SocketHandle socket, const char* buffer, long length, int timeoutMs) {
    for (;;) {
        const ssize_t n =
            send(static_cast<int>(socket), buffer, static_cast<std::size_t>(length), MSG_NOSIGNAL);
        if (n >= 0) {
            return static_cast<long>(n);
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            SetLastSocketError(errno);
            return -1;
        }
        if (!WaitFor(socket, POLLOUT, timeoutMs)) {
            return -1;
        }
    }
}

long RecvWithTimeout(SocketHandle socket, char* buffer, long length, int timeoutMs) {
    // Read first and wait only when nothing is there: a busy transfer needs no poll at all.
    for (;;) {
        const ssize_t n =
            recv(static_cast<int>(socket), buffer, static_cast<std::size_t>(length), 0);
        if (n >= 0) {
            return static_cast<long>(n);
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            SetLastSocketError(errno);
            return -1;
        }
        if (errno != EINTR && !WaitFor(socket, POLLIN, timeoutMs)) {
            return -1;
        }
    }
}

}  // namespace tavrin
