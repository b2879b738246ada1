// Just enough of the sockets API for test peers, on POSIX and Winsock alike.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin::test {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// Listens on 127.0.0.1 at a port the system picks; kNoSocket on failure.
SocketHandle ListenOnLoopback(std::uint16_t& port);

// Waits up to timeoutMs for a socket to become readable (or a connection to arrive).
bool WaitReadable(SocketHandle s, int timeoutMs);

SocketHandle AcceptConnection(SocketHandle listener);

// Reads what is there: the byte count, 0 when the peer closed, -1 on an error.
long ReceiveSome(SocketHandle s, char* buffer, std::size_t size);

bool SendAll(SocketHandle s, const std::string& data);

void CloseSocket(SocketHandle s);

}  // namespace tavrin::test
