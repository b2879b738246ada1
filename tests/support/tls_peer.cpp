#include "support/tls_peer.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "support/loopback_socket.h"

namespace tavrin::test {

namespace {

constexpr int kPollMs = 20;
constexpr int kWaitMs = 5000;

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using SslPtr = std::unique_ptr<SSL, Deleter<SSL, SSL_free>>;
using CtxPtr = std::unique_ptr<SSL_CTX, Deleter<SSL_CTX, SSL_CTX_free>>;

std::string BioText(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<std::size_t>(size));
}

EVP_PKEY* NewKey() {
    return EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
}

void AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// Signs until r and s of the ECDSA signature are 32 bytes each. Wine's chain engine takes a
// shorter one (a leading zero byte: about one signature in 128) for a bad signature, as
// some converters to the fixed-size form do; that is no fault of the certificate's.
void Sign(X509* certificate, EVP_PKEY* key) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        X509_sign(certificate, key, EVP_sha256());
        const ASN1_BIT_STRING* signature = nullptr;
        X509_get0_signature(&signature, nullptr, certificate);
        const unsigned char* der = signature->data;
        ECDSA_SIG* parsed = d2i_ECDSA_SIG(nullptr, &der, signature->length);
        const BIGNUM* r = nullptr;
        const BIGNUM* s = nullptr;
        if (parsed != nullptr) {
            ECDSA_SIG_get0(parsed, &r, &s);
        }
        const bool full = parsed != nullptr && BN_num_bytes(r) == 32 && BN_num_bytes(s) == 32;
        ECDSA_SIG_free(parsed);
        if (full) {
            return;
        }
    }
}

X509* NewCertificate(EVP_PKEY* key, const std::string& commonName, long from, long until) {
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    static std::atomic<long> serial{1};
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial++);
    X509_gmtime_adj(X509_getm_notBefore(certificate), from);
    X509_gmtime_adj(X509_getm_notAfter(certificate), until);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                               0);
    return certificate;
}

// Moves OpenSSL's output to the socket, then waits for input and hands it to OpenSSL.
bool Pump(SSL* ssl, SocketHandle connection, bool wantInput) {
    BIO* output = SSL_get_wbio(ssl);
    const std::string pending = BioText(output);
    (void)BIO_reset(output);
    if (!pending.empty() && !SendAll(connection, pending)) {
        return false;
    }
    if (!wantInput) {
        return true;
    }
    if (!WaitReadable(connection, kWaitMs)) {
        return false;
    }
    char buffer[16 * 1024];
    const long n = ReceiveSome(connection, buffer, sizeof buffer);
    return n > 0 && BIO_write(SSL_get_rbio(ssl), buffer, static_cast<int>(n)) == n;
}

// Reads up to the end of a request head, through TLS or (ssl null) straight from the socket.
bool ReadHead(SSL* ssl, SocketHandle connection, std::string& head) {
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (ssl == nullptr) {
            if (!WaitReadable(connection, kWaitMs)) {
                return false;
            }
            const long n = ReceiveSome(connection, buffer, sizeof buffer);
            if (n <= 0) {
                return false;
            }
            head.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        const int n = SSL_read(ssl, buffer, sizeof buffer);
        if (n > 0) {
            head.append(buffer, static_cast<std::size_t>(n));
        } else if (SSL_get_error(ssl, n) != SSL_ERROR_WANT_READ || !Pump(ssl, connection, true)) {
            return false;
        }
    }
    return true;
}

// Exactly `count` bytes, appended to `into`.
bool ReadExactly(SocketHandle connection, std::size_t count, std::string& into) {
    char buffer[512];
    while (count > 0) {
        if (!WaitReadable(connection, kWaitMs)) {
            return false;
        }
        const long n = ReceiveSome(connection, buffer, std::min(count, sizeof buffer));
        if (n <= 0) {
            return false;
        }
        into.append(buffer, static_cast<std::size_t>(n));
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

// The greeting (no authentication), then the connect request, which is kept.
bool PlaySocks5(SocketHandle connection, std::string& request) {
    std::string greeting;
    if (!ReadExactly(connection, 3, greeting) || !SendAll(connection, std::string("\5\0", 2)) ||
        !ReadExactly(connection, 4, request)) {
        return false;
    }
    const char type = request[3];
    std::size_t rest = type == 1 ? 4 + 2 : 0;
    if (type == 3) {
        if (!ReadExactly(connection, 1, request)) {
            return false;
        }
        rest = static_cast<unsigned char>(request.back()) + 2u;
    }
    return rest > 0 && ReadExactly(connection, rest, request) &&
           SendAll(connection, std::string("\5\0\0\1\0\0\0\0\0\0", 10));
}

}  // namespace

TestCa::TestCa(const std::string& commonName) : m_key(NewKey()) {
    m_certificate = NewCertificate(m_key, commonName, -86400, 7 * 86400);
    X509_set_issuer_name(m_certificate, X509_get_subject_name(m_certificate));
    AddExtension(m_certificate, m_certificate, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(m_certificate, m_certificate, NID_key_usage, "critical,keyCertSign,cRLSign");
    Sign(m_certificate, m_key);
}

TestCa::~TestCa() {
    X509_free(m_certificate);
    EVP_PKEY_free(m_key);
}

std::string TestCa::CertificatePem() const {
    BioPtr bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(bio.get(), m_certificate);
    return BioText(bio.get());
}

IssuedCertificate TestCa::Issue(const std::string& names, long fromSeconds,
                                long untilSeconds) const {
    KeyPtr key(NewKey());
    X509Ptr certificate(NewCertificate(key.get(), "server", fromSeconds, untilSeconds));
    X509_set_issuer_name(certificate.get(), X509_get_subject_name(m_certificate));
    AddExtension(certificate.get(), m_certificate, NID_subject_alt_name, names);
    AddExtension(certificate.get(), m_certificate, NID_ext_key_usage, "serverAuth");
    Sign(certificate.get(), m_key);
    BioPtr certBio(BIO_new(BIO_s_mem()));
    BioPtr keyBio(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(certBio.get(), certificate.get());
    PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    return {BioText(certBio.get()), BioText(keyBio.get())};
}

TlsPeer::TlsPeer(const IssuedCertificate& certificate, Handler handler, Proxy proxy)
    : m_certificate(certificate),
      m_handler(std::move(handler)),
      m_proxy(proxy),
      m_listener(ListenOnLoopback(m_port)) {
    m_thread = std::thread([this] { Serve(); });
}

TlsPeer::~TlsPeer() {
    m_stop = true;
    m_thread.join();
    CloseSocket(m_listener);
}

std::string TlsPeer::Url(const std::string& host, const std::string& path) const {
    return "https://" + host + ":" + std::to_string(m_port) + path;
}

std::vector<TlsPeer::Exchange> TlsPeer::Exchanges() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_exchanges;
}

void TlsPeer::Serve() {
    // One connection at a time is enough for a downloader, which opens them one by one.
    while (!m_stop) {
        if (!WaitReadable(m_listener, kPollMs)) {
            continue;
        }
        const SocketHandle connection = AcceptConnection(m_listener);
        if (connection != kNoSocket) {
            Answer(connection);
            CloseSocket(connection);
        }
    }
}

void TlsPeer::Answer(std::intptr_t connection) {
    Exchange exchange;
    if (m_proxy == Proxy::kHttpConnect &&
        (!ReadHead(nullptr, connection, exchange.connectRequest) ||
         !SendAll(connection, "HTTP/1.1 200 Connection established\r\n\r\n"))) {
        return;
    }
    if (m_proxy == Proxy::kSocks5 && !PlaySocks5(connection, exchange.connectRequest)) {
        return;
    }
    CtxPtr ctx(SSL_CTX_new(TLS_server_method()));
    BioPtr certBio(BIO_new_mem_buf(m_certificate.certificatePem.data(),
                                   static_cast<int>(m_certificate.certificatePem.size())));
    BioPtr keyBio(BIO_new_mem_buf(m_certificate.keyPem.data(),
                                  static_cast<int>(m_certificate.keyPem.size())));
    X509Ptr cert(PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr));
    KeyPtr key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
    SSL_CTX_use_certificate(ctx.get(), cert.get());
    SSL_CTX_use_PrivateKey(ctx.get(), key.get());
    SslPtr ssl(SSL_new(ctx.get()));
    SSL_set_bio(ssl.get(), BIO_new(BIO_s_mem()), BIO_new(BIO_s_mem()));
    SSL_set_accept_state(ssl.get());
    for (;;) {
        const int done = SSL_do_handshake(ssl.get());
        if (done == 1) {
            break;
        }
        const bool again = SSL_get_error(ssl.get(), done) == SSL_ERROR_WANT_READ;
        // An alert for the client still goes out before giving up.
        if (!Pump(ssl.get(), connection, again) || !again) {
            ++m_failedHandshakes;
            return;
        }
    }
    if (!Pump(ssl.get(), connection, false) || !ReadHead(ssl.get(), connection, exchange.request)) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_exchanges.push_back(exchange);
    }
    const std::string reply = m_handler(exchange.request);
    if (SSL_write(ssl.get(), reply.data(), static_cast<int>(reply.size())) > 0) {
        SSL_shutdown(ssl.get());
        Pump(ssl.get(), connection, false);
    }
}

}  // namespace tavrin::test
