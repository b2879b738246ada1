// The connection a download's request travels on, in layers: the socket, a proxy's handshake
// (HTTP CONNECT tunnel or SOCKS 4, 4a, 5) and TLS for https. A new one for every attempt.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "net/download_options.h"
#include "net/http_request.h"
#include "net/socket_transport.h"

namespace tavrin {

class TlsChannel;
class TlsClientContext;

// A download's time limit: every wait is cut to what is left of it.
class Deadline {
public:
    // `ms` from now; 0 or less for none.
    void Start(int ms);
    // `timeoutMs`, cut to what is left before the deadline.
    int Cut(int timeoutMs) const;
    bool Passed() const;
    // When it passes; none when there is no deadline.
    std::optional<std::chrono::steady_clock::time_point> At() const;

private:
    bool m_bSet = false;
    std::chrono::steady_clock::time_point m_at;
};

class HttpConnection {
public:
    // Timeouts, proxy and trusted CAs come from `options`; both must outlive the connection.
    HttpConnection(const DownloadOptions& options, const Deadline& deadline);
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    // A new connection to `target`, directly or through the proxy, with TLS for https:
    // kRequestOk, kRequestRetry (another attempt may pass) or kRequestFailed (it would not).
    int Open(const HttpTarget& target);
    // Sends all of `data`; the bytes sent, fewer on a failure or time-out.
    long Send(const std::string& data);
    // Reads the answer, through TLS for https.
    SocketReader* Reader() const { return m_pReader; }
    void Close();
    // Why the last TLS handshake failed; empty when none did.
    const std::string& TlsError() const { return m_strTlsError; }
    // A new download: no handshake has failed yet.
    void ForgetTlsError() { m_strTlsError.clear(); }

private:
    int Connect(const HttpTarget& target);
    int StartTls(const HttpTarget& target);
    ProxyLink Link() const;

    const DownloadOptions& m_options;
    const Deadline& m_deadline;
    SocketHandle m_socket = kInvalidSocket;
    SocketReader* m_pReader = nullptr;
    // Loaded once, for every connection of the download.
    std::unique_ptr<TlsClientContext> m_tlsContext;
    std::unique_ptr<TlsChannel> m_tls;
    std::string m_strTlsError;
};

}  // namespace tavrin
