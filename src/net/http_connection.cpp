#include "net/http_connection.h"

#include <algorithm>

#include "net/proxy_handshake.h"
#include "net/request_result.h"
#include "net/tls_channel.h"

namespace tavrin {

void Deadline::Start(int ms) {
    m_bSet = ms > 0;
    m_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

int Deadline::Cut(int timeoutMs) const {
    if (!m_bSet) {
        return timeoutMs;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          m_at - std::chrono::steady_clock::now())
                          .count();
    return static_cast<int>(std::clamp<long long>(left, 0, timeoutMs));
}

std::optional<std::chrono::steady_clock::time_point> Deadline::At() const {
    return m_bSet ? std::optional(m_at) : std::nullopt;
}

bool Deadline::Passed() const {
    return m_bSet && std::chrono::steady_clock::now() >= m_at;
}

HttpConnection::HttpConnection(const DownloadOptions& options, const Deadline& deadline)
    : m_options(options), m_deadline(deadline) {}

HttpConnection::~HttpConnection() {
    Close();
}

void HttpConnection::Close() {
    m_tls.reset();
    if (m_pReader != nullptr) {
        FreeSocketReader(m_pReader);
        m_pReader = nullptr;
    }
    if (m_socket != kInvalidSocket) {
        CloseSocket(m_socket);
        m_socket = kInvalidSocket;
    }
}

int HttpConnection::Open(const HttpTarget& target) {
    Close();
    m_socket = CreateTcpSocket();
    if (m_socket == kInvalidSocket) {
        return kRequestFailed;
    }
    m_pReader = CreateSocketReader(m_socket);
    if (m_pReader == nullptr) {
        return kRequestFailed;
    }
    const int connected = Connect(target);
    if (connected != kRequestOk || !target.Secure()) {
        return connected;
    }
    return StartTls(target);
}

ProxyLink HttpConnection::Link() const {
    return {m_socket, m_pReader, m_deadline.Cut(m_options.connectTimeoutMs),
            m_deadline.Cut(m_options.sendTimeoutMs), m_deadline.Cut(m_options.recvTimeoutMs)};
}

int HttpConnection::Connect(const HttpTarget& target) {
    const ProxyServer& proxy = m_options.proxy.server;
    const int connectMs = m_deadline.Cut(m_options.connectTimeoutMs);
    switch (m_options.proxy.type) {
        case kProxyNone:
            return ConnectToHost(m_socket, target.host, target.port, connectMs, true) == 0
                       ? kRequestOk
                       : kRequestRetry;
        case kProxyHttp:
            return ConnectToHost(m_socket, proxy.host, proxy.port, connectMs, true) == 0
                       ? kRequestOk
                       : kRequestRetry;
        case kProxySocks4:
            return Socks4Handshake(Link(), proxy, target.host, target.port, false);
        case kProxySocks4a:
            return Socks4Handshake(Link(), proxy, target.host, target.port, true);
        case kProxySocks5:
            return Socks5Handshake(Link(), proxy, target.host, target.port);
        default:
            return kRequestFailed;
    }
}

int HttpConnection::StartTls(const HttpTarget& target) {
    if (m_options.proxy.type == kProxyHttp) {
        const int tunnel = OpenHttpTunnel(Link(), m_options.proxy.server, target.host, target.port,
                                          m_options.userAgent);
        if (tunnel != kRequestOk) {
            return tunnel;
        }
    }
    if (!m_tlsContext) {
        m_tlsContext = std::make_unique<TlsClientContext>();
        if (!m_tlsContext->Load(m_options.caFile)) {
            m_tlsContext.reset();
            m_strTlsError = "cannot load the trusted certificates";
            return kRequestFailed;
        }
    }
    m_tls = std::make_unique<TlsChannel>(*m_tlsContext, m_socket);
    const TlsHandshake shaken =
        m_tls->Handshake(target.host, m_deadline.Cut(m_options.recvTimeoutMs));
    m_strTlsError = m_tls->Error();
    if (shaken != TlsHandshake::kOk) {
        m_tls.reset();
        // A certificate that fails now fails on every attempt.
        return shaken == TlsHandshake::kRefused ? kRequestFailed : kRequestRetry;
    }
    m_pReader->receive = &TlsChannel::ReceiveFor;
    m_pReader->receiveContext = m_tls.get();
    return kRequestOk;
}

long HttpConnection::Send(const std::string& data) {
    const long length = static_cast<long>(data.size());
    const int timeout = m_deadline.Cut(m_options.sendTimeoutMs);
    return m_tls ? m_tls->SendAll(data.data(), length, timeout)
                 : SendAll(m_socket, data.data(), length, timeout);
}

}  // namespace tavrin
