// TLS test peers: a certificate authority made on the spot, and an https server on
// 127.0.0.1 that answers each connection with scripted bytes, optionally after playing an
// HTTP proxy's CONNECT step. It speaks TLS over memory buffers, like the client, so it runs
// the same on every platform.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct evp_pkey_st;
struct x509_st;

namespace tavrin::test {

struct IssuedCertificate {
    std::string certificatePem;
    std::string keyPem;
};

class TestCa {
public:
    explicit TestCa(const std::string& commonName = "Tavrin Test CA");
    ~TestCa();
    TestCa(const TestCa&) = delete;
    TestCa& operator=(const TestCa&) = delete;

    // The CA's certificate, for the client's CA file.
    std::string CertificatePem() const;
    // A server certificate for subjectAltName `names` ("DNS:localhost,IP:127.0.0.1"), valid
    // from now + fromSeconds to now + untilSeconds.
    IssuedCertificate Issue(const std::string& names, long fromSeconds = -3600,
                            long untilSeconds = 86400) const;

private:
    evp_pkey_st* m_key = nullptr;
    x509_st* m_certificate = nullptr;
};

class TlsPeer {
public:
    struct Exchange {
        std::string connectRequest;  // what the peer got while playing a proxy
        std::string request;         // the request head that came through TLS
    };
    using Handler = std::function<std::string(const std::string& requestHead)>;

    // What each connection starts with before TLS: nothing, an HTTP proxy's CONNECT
    // (answered with 200), or a SOCKS 5 handshake without authentication (granted).
    enum class Proxy { kNone, kHttpConnect, kSocks5 };

    TlsPeer(const IssuedCertificate& certificate, Handler handler, Proxy proxy = Proxy::kNone);
    ~TlsPeer();
    TlsPeer(const TlsPeer&) = delete;
    TlsPeer& operator=(const TlsPeer&) = delete;

    std::uint16_t Port() const { return m_port; }
    std::string Url(const std::string& host, const std::string& path) const;
    std::vector<Exchange> Exchanges() const;
    // Handshakes that failed (the client refused the certificate, or went away).
    int FailedHandshakes() const { return m_failedHandshakes; }

private:
    void Serve();
    void Answer(std::intptr_t connection);

    IssuedCertificate m_certificate;
    Handler m_handler;
    Proxy m_proxy;
    std::uint16_t m_port = 0;
    std::intptr_t m_listener;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_failedHandshakes{0};
    mutable std::mutex m_mutex;
    std::vector<Exchange> m_exchanges;
    std::thread m_thread;
};

}  // namespace tavrin::test
