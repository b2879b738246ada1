// The downloader's transport: TCP sockets with blocking-style operations, each wait bounded
// by its own time-out in milliseconds, and a reader that buffers what arrives in a ring of
// 10240 bytes and hands it out as bytes, lines or pieces.
//
// Failures give -1 (0 bytes for ReaderReadChunk, 256 for ReaderGetByte) and leave the cause
// in a per-thread last socket error: the system's code (errno values on POSIX, Winsock codes
// on Windows); a wait that timed out leaves ETIMEDOUT on POSIX.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tavrin {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;
// An IPv4 address in network byte order; kNoAddress when a name does not resolve.
using Ipv4Address = std::uint32_t;
inline constexpr Ipv4Address kNoAddress = 0xFFFFFFFFu;

struct SocketAddress {
    Ipv4Address address = kNoAddress;
    std::uint16_t port = 0;  // host byte order
};

int GetLastSocketError();
void SetLastSocketError(int error);
// The last socket error a wait that timed out leaves (ETIMEDOUT, WSAETIMEDOUT).
int SocketTimedOutError();

// Starts the system's socket library (Winsock 2.2); 0, or -1. Stopped by SocketCleanup.
int SocketStartup();
void SocketCleanup();

SocketHandle CreateTcpSocket();
void CloseSocket(SocketHandle socket);

// A dotted address without any lookup; else the first IPv4 address of the name, looked up
// on a thread of its own when useThread is set. The caller waits for that thread at most
// timeoutMs (negative: as long as it takes); a lookup that takes longer is left to finish
// on its own and gives kNoAddress with the timed-out error.
Ipv4Address ResolveHostAddress(const std::string& host, bool useThread, int timeoutMs = -1);

// The dotted text of an address ("127.0.0.1").
std::string AddressText(Ipv4Address address);

// Tests answer name lookups themselves (a name whose address changes between lookups, say);
// an empty function gives them back to the system. Set while no lookup runs.
void SetHostLookupForTests(std::function<Ipv4Address(const std::string& host)> lookup);
// For the transports: true, with the address, when the tests answer lookups.
bool LookUpByStandIn(const std::string& host, Ipv4Address& address);

// Looks the host up and connects, both within timeoutMs.
int ConnectToHost(SocketHandle socket, const std::string& host, std::uint16_t port, int timeoutMs,
                  bool useThread);
int ConnectWithTimeout(SocketHandle socket, const SocketAddress& address, int timeoutMs);
// A new connection to host:port within timeoutMs: an IPv6 address as it is, anything else as
// ConnectToHost does (IPv4, a name looked up on a thread of its own). kInvalidSocket, with the
// last error set, on failure.
SocketHandle ConnectTcp(const std::string& host, std::uint16_t port, int timeoutMs);

// Bytes sent (at least 0), or -1.
long SendWithTimeout(SocketHandle socket, const char* buffer, long length, int timeoutMs);
// Total bytes sent; less than length means failure.
long SendAll(SocketHandle socket, const char* buffer, long length, int timeoutMs);
// Bytes received, 0 when the peer has closed, or -1.
long RecvWithTimeout(SocketHandle socket, char* buffer, long length, int timeoutMs);

// For the game relay's event loop: many sockets, none of its calls ever waits.

// A listening socket on 127.0.0.1 at a port the system picks (set in `port`).
SocketHandle ListenOnLoopback(std::uint16_t& port);
// A connection waiting on the listener, non-blocking; kInvalidSocket when none waits.
SocketHandle AcceptConnection(SocketHandle listener);
// Makes a connected socket non-blocking (those from ConnectToHost may not be).
bool SetNonBlocking(SocketHandle socket);

struct PollEntry {
    SocketHandle socket = kInvalidSocket;
    bool wantRead = false;
    bool wantWrite = false;
    bool readable = false;  // also when closed, reset or failed: the next receive says which
    bool writable = false;
};
// Waits up to timeoutMs (negative: no limit) until an entry is ready; the count of ready
// entries, 0 after the time-out, -1 on a failure.
int PollSockets(PollEntry* entries, std::size_t count, int timeoutMs);

inline constexpr long kWouldBlock = -2;
// Without waiting: bytes moved, kWouldBlock when the socket has nothing or no room now, 0
// (receive only) when the peer has closed, -1 on a failure.
long ReceiveNow(SocketHandle socket, char* buffer, long length);
long SendNow(SocketHandle socket, const char* buffer, long length);

// Two connected sockets: a byte sent on `raise` makes `wait` readable, to wake a thread
// that waits in PollSockets.
bool MakeWakePair(SocketHandle& wait, SocketHandle& raise);

inline constexpr int kReaderSize = 10240;
inline constexpr int kReaderLineSize = 1024;

struct SocketReader {
    SocketHandle socket = kInvalidSocket;  // not owned
    // When set, bytes come from here instead of the socket (a TLS channel over it); same
    // results as RecvWithTimeout.
    long (*receive)(void* context, char* buffer, long length, int timeoutMs) = nullptr;
    void* receiveContext = nullptr;
    int size = kReaderSize;
    std::unique_ptr<unsigned char[]> data;
    int count = 0;
    int readPosition = 0;
    int writePosition = 0;
};

// Null for kInvalidSocket.
SocketReader* CreateSocketReader(SocketHandle socket);
void FreeSocketReader(SocketReader* reader);

// Bytes added, 0 (peer closed), or -1.
int ReaderFill(SocketReader* reader, int timeoutMs);
// 0-255, or 256 when no byte can be had.
int ReaderGetByte(SocketReader* reader, int timeoutMs);
// Up to 1023 bytes of a line into `line` (NUL-terminated; a CR before the LF is dropped).
// status: 0 the line ended, 1 it goes on in the next call, -1 nothing more could be read.
// Gives 0, or -1 when no byte could be had.
int ReaderReadLine(SocketReader* reader, char* line, int& status, int timeoutMs);
// Up to 10240 bytes of what is there (filling first when empty); 0 when nothing can be had.
int ReaderReadChunk(SocketReader* reader, int timeoutMs, char* buffer);
// The same with at most maxBytes: for bodies whose pieces have their own lengths. With the
// ring empty, one receive goes straight into `buffer`, up to maxBytes.
int ReaderReadUpTo(SocketReader* reader, int timeoutMs, char* buffer, int maxBytes);

}  // namespace tavrin
