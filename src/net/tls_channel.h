// TLS for the downloader: OpenSSL over memory buffers, with the socket transport carrying
// the encrypted bytes. So every wait is the transport's own, with its time-out, on every
// platform, and the same code runs over a direct connection, a SOCKS proxy or an HTTP
// proxy's CONNECT tunnel.
#pragma once

#include <memory>
#include <string>

#include "net/socket_transport.h"

struct ssl_ctx_st;
struct ssl_st;
struct x509_store_ctx_st;

namespace tavrin {

// The certificates a client trusts: the system's (OpenSSL with the system's roots, or the
// system's own chain engine where it has one, see platform/trust_store.h), or those of one
// PEM file (an operator's own CA), which OpenSSL checks on every system.
class TlsClientContext {
public:
    TlsClientContext() = default;
    ~TlsClientContext();
    TlsClientContext(const TlsClientContext&) = delete;
    TlsClientContext& operator=(const TlsClientContext&) = delete;

    // False when the roots cannot be loaded (a missing or unreadable CA file).
    bool Load(const std::string& caFile);
    ssl_ctx_st* Get() const { return m_ctx; }

private:
    ssl_ctx_st* m_ctx = nullptr;
};

enum class TlsHandshake {
    kOk,
    kTransport,  // the connection broke or a wait timed out: worth another attempt
    kRefused,    // the certificate or the protocol failed: another attempt would fail too
};

class TlsChannel {
public:
    TlsChannel(const TlsClientContext& context, SocketHandle socket);
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // Speaks TLS with the server named `host` (sent as SNI, checked against the
    // certificate, which must chain to the context's roots).
    TlsHandshake Handshake(const std::string& host, int timeoutMs);
    // Why the handshake was refused, for messages.
    const std::string& Error() const { return m_error; }

    // Bytes sent; less than length means failure.
    long SendAll(const char* data, long length, int timeoutMs);
    // Bytes received, 0 when the server has closed, or -1.
    long Receive(char* buffer, long length, int timeoutMs);

    // For SocketReader::receive.
    static long ReceiveFor(void* channel, char* buffer, long length, int timeoutMs);

private:
    friend class TlsClientContext;  // installs VerifyWithSystem

    // OpenSSL's verification handed to the system: the name as OpenSSL checks it, then the
    // chain by the system. Fails the handshake with the reason in the channel's error.
    static int VerifyWithSystem(x509_store_ctx_st* store, void* unused);

    bool FlushOutput(int timeoutMs);
    // Moves what the socket has into OpenSSL; bytes moved, 0 closed, -1 failed.
    long FeedInput(int timeoutMs);

    SocketHandle m_socket;
    ssl_st* m_ssl = nullptr;
    std::string m_error;
    int m_handshakeTimeoutMs = 0;
};

}  // namespace tavrin
