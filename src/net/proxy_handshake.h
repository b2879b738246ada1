// The proxy's part of a connection, over the socket transport: the SOCKS 4, 4a and 5
// handshakes, and the CONNECT tunnel through an HTTP proxy for https. Each gives a
// RequestResult: kRequestOk, kRequestRetry for what may pass on another attempt (a failed
// connect, a cut or refused exchange, a proxy's 5xx), kRequestFailed for what would repeat.
#pragma once

#include <cstdint>
#include <string>

#include "net/request_result.h"
#include "net/socket_transport.h"

namespace tavrin {

// The connection of one attempt, and how long each of its waits may last.
struct ProxyLink {
    SocketHandle socket = kInvalidSocket;  // made, not owned
    SocketReader* reader = nullptr;        // reads from `socket`
    int connectTimeoutMs = 0;
    int sendTimeoutMs = 0;
    int recvTimeoutMs = 0;
};

struct ProxyServer {
    std::string host;
    std::uint16_t port = 0;
    bool auth = false;  // SOCKS 5 and HTTP proxies get the password only when set
    std::string user;   // SOCKS 4 sends it as its user id in any case
    std::string password;
};

// Connects to the SOCKS 4 proxy and has it connect to host:port. The name is resolved here;
// when it cannot be, SOCKS 4a (allowHostName) hands the name to the proxy, SOCKS 4 gives up.
int Socks4Handshake(const ProxyLink& link, const ProxyServer& proxy, const std::string& host,
                    std::uint16_t port, bool allowHostName);

// Connects to the SOCKS 5 proxy, logs in with user and password when `proxy.auth` is set
// (else offers no authentication), and has it connect to host:port. A host name, user or
// password over 255 bytes fails before anything is sent.
int Socks5Handshake(const ProxyLink& link, const ProxyServer& proxy, const std::string& host,
                    std::uint16_t port);

// On a link already connected to an HTTP proxy: asks it for a tunnel to host:port and reads
// its answer to the end of the head. A 2xx opens the tunnel.
int OpenHttpTunnel(const ProxyLink& link, const ProxyServer& proxy, const std::string& host,
                   std::uint16_t port, const std::string& userAgent);

}  // namespace tavrin
