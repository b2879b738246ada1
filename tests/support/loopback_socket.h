// Just enough of the sockets API for test peers, on POSIX and Winsock alike.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin::test {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

enum class Family { kIpv4, kIpv6 };

// Listens on 127.0.0.1 (::1 for kIpv6) at a port the system picks; kNoSocket on failure (a
// system without IPv6 has no ::1).
SocketHandle ListenOnLoopback(std::uint16_t& port, int backlog = 16, Family family = Family::kIpv4);
// Listens on an IPv4 address of this machine (the whole of 127.0.0.0/8 is loopback on Linux)
// at `port`, or, when it is 0, at a port the system picks (set in `port`).
SocketHandle ListenOnAddress(const char* ipv4, std::uint16_t& port, int backlog = 16);

// Waits up to timeoutMs for a socket to become readable (or a connection to arrive).
bool WaitReadable(SocketHandle s, int timeoutMs);

enum class Blocking { Yes, No };

// A non-blocking connection (Blocking::No) never waits in a call: it fails instead, and
// WouldBlock() says so.
SocketHandle AcceptConnection(SocketHandle listener, Blocking blocking = Blocking::Yes);

// Reads what is there: the byte count, 0 when the peer closed, -1 on an error.
long ReceiveSome(SocketHandle s, char* buffer, std::size_t size);

bool SendAll(SocketHandle s, const std::string& data);

// Sends what fits: the byte count, -1 on an error.
long SendSome(SocketHandle s, const char* data, std::size_t size);

// After a failed ReceiveSome or SendSome: it failed only because a non-blocking connection
// had nothing to give or no room yet, or a signal came; try again.
bool WouldBlock();

// True when the other side has closed or reset the connection, looking without waiting
// (unread data is left in place).
bool PeerGone(SocketHandle s);

void CloseSocket(SocketHandle s);

// Closes with a reset (SO_LINGER 0) in place of an orderly close.
void ResetConnection(SocketHandle s);

// A stop signal for the waits of a peer's threads: once RaiseStop has been called on
// `raise`, `wait` stays readable for good (it is never read), so every WaitFor given it
// returns at once, and WaitReadable(wait, ms) is a pause that a stop cuts short.
bool MakeStopSignal(SocketHandle& wait, SocketHandle& raise);
void RaiseStop(SocketHandle raise);

enum class Await { Readable, Writable };
enum class Waited { Ready, TimedOut, Stopped };

// Waits up to timeoutMs for s to become readable (a closed or broken connection counts) or
// writable, or for the stop signal's `wait` end to be raised.
Waited WaitFor(SocketHandle s, Await what, SocketHandle stop, int timeoutMs);

}  // namespace tavrin::test
