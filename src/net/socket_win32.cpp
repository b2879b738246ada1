// The transport on Windows: Winsock 2 sockets driven by event objects (WSAEventSelect), every
// wait bounded by its own time-out.
#include <winsock2.h>

#include <windows.h>

#include <ws2tcpip.h>

#include <cstring>
#include <string>

#include "net/socket_transport.h"
#include "net/wait_limit.h"

namespace tavrin {

namespace {

SOCKET Native(SocketHandle s) {
    return static_cast<SOCKET>(s);
}

// True when the event was signalled within the time-out; otherwise the last error says
// why, WSAETIMEDOUT for the time-out and for the thread's wait limit (the wait itself leaves
// the error of the call before it, usually WSAEWOULDBLOCK).
bool WaitForEvent(WSAEVENT event, int timeoutMs) {
    const int ready = WaitInSlices(timeoutMs, [&](int sliceMs) {
        const DWORD waited = WSAWaitForMultipleEvents(
            1, &event, TRUE, sliceMs < 0 ? WSA_INFINITE : static_cast<DWORD>(sliceMs), TRUE);
        return waited == WSA_WAIT_EVENT_0                                       ? 1
               : waited == WSA_WAIT_TIMEOUT || waited == WSA_WAIT_IO_COMPLETION ? 0
                                                                                : -1;
    });
    if (ready == 0) {
        WSASetLastError(WSAETIMEDOUT);
    }
    return ready > 0;
}

// An auto-reset event for one operation's waits; null, with the error stored, when the
// system has none to give.
WSAEVENT NewWaitEvent() {
    WSAEVENT event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr) {
        SetLastSocketError(static_cast<int>(GetLastError()));
    }
    return event;
}

Ipv4Address LookUp(const char* name) {
    if (Ipv4Address standIn = kNoAddress; LookUpByStandIn(name, standIn)) {
        return standIn;
    }
    const hostent* entry = gethostbyname(name);
    if (entry == nullptr || entry->h_addr_list[0] == nullptr) {
        return kNoAddress;
    }
    in_addr first;
    std::memcpy(&first, entry->h_addr_list[0], sizeof first);
    return inet_addr(inet_ntoa(first));
}

// A lookup on a thread of its own, shared with the caller until both let go: a caller that
// stops waiting leaves the thread to finish alone.
struct Lookup {
    std::string name;
    Ipv4Address address = kNoAddress;
    int error = 0;
    LONG holders = 2;
};

void Release(Lookup* lookup) {
    if (InterlockedDecrement(&lookup->holders) == 0) {
        delete lookup;
    }
}

DWORD WINAPI ResolveThreadProc(LPVOID parameter) {
    auto* lookup = static_cast<Lookup*>(parameter);
    lookup->address = LookUp(lookup->name.c_str());
    lookup->error = WSAGetLastError();
    Release(lookup);
    return 0;
}

}  // namespace

int SocketTimedOutError() {
    return WSAETIMEDOUT;
}

int SocketStartup() {
    WSADATA data{};
    const int rc = WSAStartup(MAKEWORD(2, 2), &data);
    if (rc != 0) {
        SetLastSocketError(rc);
        return -1;
    }
    if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != LOBYTE(data.wVersion)) {
        WSACleanup();
        SetLastSocketError(WSAVERNOTSUPPORTED);
        return -1;
    }
    return 0;
}

void SocketCleanup() {
    WSACleanup();
}

SocketHandle CreateTcpSocket() {
    const SOCKET s = WSASocketA(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s == INVALID_SOCKET) {
        SetLastSocketError(WSAGetLastError());
        return kInvalidSocket;
    }
    const int on = 1;
    if (setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) !=
        0) {
        SetLastSocketError(WSAGetLastError());
        closesocket(s);
        return kInvalidSocket;
    }
    return static_cast<SocketHandle>(s);
}

void CloseSocket(SocketHandle socket) {
    if (socket != kInvalidSocket) {
        closesocket(Native(socket));
    }
}

Ipv4Address ResolveHostAddress(const std::string& host, bool useThread, int timeoutMs) {
    const unsigned long dotted = inet_addr(host.c_str());
    if (dotted != INADDR_NONE) {
        return dotted;
    }
    if (useThread) {
        auto* lookup = new Lookup{host};
        HANDLE thread = CreateThread(nullptr, 0, &ResolveThreadProc, lookup, 0, nullptr);
        if (thread != nullptr) {
            const bool finished =
                WaitInSlices(timeoutMs, [thread](int sliceMs) {
                    const DWORD wait = sliceMs < 0 ? INFINITE : static_cast<DWORD>(sliceMs);
                    return WaitForSingleObject(thread, wait) == WAIT_OBJECT_0 ? 1 : 0;
                }) > 0;
            CloseHandle(thread);
            const Ipv4Address address = finished ? lookup->address : kNoAddress;
            const int error = finished ? lookup->error : WSAETIMEDOUT;
            Release(lookup);
            if (address == kNoAddress) {
                WSASetLastError(error);
            }
            return address;
        }
        delete lookup;
    }
    return LookUp(host.c_str());
}

int ConnectToHost(SocketHandle socket, const std::string& host, std::uint16_t port, int timeoutMs,
                  bool useThread) {
    const ULONGLONG start = GetTickCount64();
    const Ipv4Address address = ResolveHostAddress(host, useThread, timeoutMs);
    if (address == kNoAddress) {
        SetLastSocketError(WSAGetLastError());
        return -1;
    }
    const auto spent = static_cast<long long>(GetTickCount64() - start);
    return ConnectWithTimeout(socket, {address, port},
                              static_cast<int>(spent < timeoutMs ? timeoutMs - spent : 0));
}

namespace {

int ConnectTo(SocketHandle socket, const sockaddr* to, int size, int timeoutMs) {
    WSAEVENT event = NewWaitEvent();
    if (event == nullptr) {
        return -1;
    }
    const SOCKET s = Native(socket);
    if (WSAEventSelect(s, event, FD_CONNECT) != 0) {
        CloseHandle(event);
        SetLastSocketError(WSAGetLastError());
        return -1;
    }
    int result = 0;
    if (WSAConnect(s, to, size, nullptr, nullptr, nullptr, nullptr) != 0) {
        const int error = WSAGetLastError();
        result = -1;
        if (error == WSAEWOULDBLOCK) {
            WSANETWORKEVENTS events{};
            if (!WaitForEvent(event, timeoutMs)) {
                SetLastSocketError(WSAGetLastError());
            } else if (WSAEnumNetworkEvents(s, event, &events) != 0) {
                SetLastSocketError(WSAGetLastError());
            } else if (events.iErrorCode[FD_CONNECT_BIT] != 0) {
                SetLastSocketError(events.iErrorCode[FD_CONNECT_BIT]);
            } else {
                result = 0;
            }
        } else {
            SetLastSocketError(error);
        }
    }
    WSAEventSelect(s, event, 0);
    CloseHandle(event);
    return result;
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
    const SOCKET s = WSASocketA(AF_INET6, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s == INVALID_SOCKET) {
        SetLastSocketError(WSAGetLastError());
        return kInvalidSocket;
    }
    to.sin6_family = AF_INET6;
    to.sin6_port = htons(port);
    const auto handle = static_cast<SocketHandle>(s);
    if (ConnectTo(handle, reinterpret_cast<const sockaddr*>(&to), sizeof to, timeoutMs) != 0) {
        closesocket(s);
        return kInvalidSocket;
    }
    return handle;
}

long SendWithTimeout(SocketHandle socket, const char* buffer, long length, int timeoutMs) {
    WSAEVENT event = NewWaitEvent();
    if (event == nullptr) {
        return -1;
    }
    const SOCKET s = Native(socket);
    for (;;) {
        WSABUF chunk{static_cast<ULONG>(length), const_cast<char*>(buffer)};
        DWORD sent = 0;
        if (WSASend(s, &chunk, 1, &sent, 0, nullptr, nullptr) == 0) {
            CloseHandle(event);
            return static_cast<long>(sent);
        }
        if (WSAGetLastError() != WSAEWOULDBLOCK) {
            break;
        }
        Sleep(100);
        WSANETWORKEVENTS events{};
        const bool ready = WSAEventSelect(s, event, FD_WRITE | FD_CLOSE) == 0 &&
                           WaitForEvent(event, timeoutMs) &&
                           WSAEnumNetworkEvents(s, event, &events) == 0;
        // Taken before the next call can change it: a time-out must read as one.
        int error = ready ? 0 : WSAGetLastError();
        WSAEventSelect(s, event, 0);
        if (ready && events.lNetworkEvents == FD_CLOSE) {
            error = events.iErrorCode[FD_CLOSE_BIT] != 0 ? events.iErrorCode[FD_CLOSE_BIT]
                                                         : WSAECONNRESET;
        } else if (ready && events.lNetworkEvents == FD_WRITE) {
            error = events.iErrorCode[FD_WRITE_BIT];
        }
        if (error != 0) {
            CloseHandle(event);
            SetLastSocketError(error);
            return -1;
        }
    }
    const int error = WSAGetLastError();
    CloseHandle(event);
    SetLastSocketError(error);
    return -1;
}

long RecvWithTimeout(SocketHandle socket, char* buffer, long length, int timeoutMs) {
    WSAEVENT event = NewWaitEvent();
    if (event == nullptr) {
        return -1;
    }
    const SOCKET s = Native(socket);
    for (;;) {
        if (WSAEventSelect(s, event, FD_READ | FD_CLOSE) != 0) {
            CloseHandle(event);
            SetLastSocketError(WSAGetLastError());
            return -1;
        }
        if (!WaitForEvent(event, timeoutMs)) {
            const int error = WSAGetLastError();
            WSAEventSelect(s, event, 0);
            CloseHandle(event);
            SetLastSocketError(error);
            return -1;
        }
        WSANETWORKEVENTS events{};
        const bool known = WSAEnumNetworkEvents(s, event, &events) == 0;
        const bool closedOnly = events.lNetworkEvents == FD_CLOSE;
        const bool readFailed =
            events.lNetworkEvents == FD_READ && events.iErrorCode[FD_READ_BIT] != 0;
        WSAEventSelect(s, event, 0);
        // Closed with nothing left to read, or a failed read: no bytes will come.
        if (!known || closedOnly || readFailed) {
            break;
        }
        WSABUF chunk{static_cast<ULONG>(length), buffer};
        DWORD received = 0;
        DWORD flags = 0;
        if (WSARecv(s, &chunk, 1, &received, &flags, nullptr, nullptr) == 0) {
            CloseHandle(event);
            return static_cast<long>(received);
        }
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK) {
            CloseHandle(event);
            SetLastSocketError(error);
            return -1;
        }
        Sleep(100);
    }
    CloseHandle(event);
    SetLastSocketError(WSAGetLastError());
    return -1;
}

}  // namespace tavrin
