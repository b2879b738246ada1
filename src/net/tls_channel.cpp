#include "net/tls_channel.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/trust_store.h"

namespace tavrin {

namespace {

constexpr int kRecordSize = 16 * 1024 + 512;  // one TLS record with its overhead

bool IsIpAddress(const std::string& host) {
    ASN1_OCTET_STRING* ip = a2i_IPADDRESS(host.c_str());
    if (ip == nullptr) {
        return false;
    }
    ASN1_OCTET_STRING_free(ip);
    return true;
}

std::string LastOpenSslError() {
    char text[256] = {};
    const unsigned long code = ERR_peek_last_error();
    ERR_error_string_n(code, text, sizeof text);
    return code != 0 ? text : "TLS failure";
}

std::string Der(X509* certificate) {
    const int size = i2d_X509(certificate, nullptr);
    if (size <= 0) {
        return {};
    }
    std::string der(static_cast<std::size_t>(size), '\0');
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    i2d_X509(certificate, &out);
    return der;
}

// What the server sent, its own certificate first; OpenSSL's list of untrusted
// certificates holds that one too.
std::vector<std::string> SentChain(X509_STORE_CTX* store, X509* leaf) {
    std::vector<std::string> chain{Der(leaf)};
    const STACK_OF(X509)* sent = X509_STORE_CTX_get0_untrusted(store);
    for (int i = 0; i < sk_X509_num(sent); ++i) {
        X509* certificate = sk_X509_value(sent, i);
        if (X509_cmp(certificate, leaf) != 0) {
            chain.push_back(Der(certificate));
        }
    }
    return chain;
}

// The names and address the handshake set (SSL_set1_host, the address), checked as
// OpenSSL's own verification does: X509_V_OK, or the mismatch.
int CheckPeerIdentity(X509_STORE_CTX* store, X509* leaf) {
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(store);
    const unsigned int flags = X509_VERIFY_PARAM_get_hostflags(param);
    bool hostMatches = X509_VERIFY_PARAM_get0_host(param, 0) == nullptr;
    for (int i = 0; !hostMatches && X509_VERIFY_PARAM_get0_host(param, i) != nullptr; ++i) {
        hostMatches =
            X509_check_host(leaf, X509_VERIFY_PARAM_get0_host(param, i), 0, flags, nullptr) > 0;
    }
    if (!hostMatches) {
        return X509_V_ERR_HOSTNAME_MISMATCH;
    }
    char* ip = X509_VERIFY_PARAM_get1_ip_asc(param);
    const bool ipMatches = ip == nullptr || X509_check_ip_asc(leaf, ip, 0) > 0;
    OPENSSL_free(ip);
    return ipMatches ? X509_V_OK : X509_V_ERR_IP_ADDRESS_MISMATCH;
}

}  // namespace

TlsClientContext::~TlsClientContext() {
    SSL_CTX_free(m_ctx);
}

bool TlsClientContext::Load(const std::string& caFile) {
    SSL_CTX_free(m_ctx);
    m_ctx = SSL_CTX_new(TLS_client_method());
    if (m_ctx == nullptr) {
        return false;
    }
    SSL_CTX_set_min_proto_version(m_ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(m_ctx, SSL_VERIFY_PEER, nullptr);
    // Bodies have their own length or last chunk, so a close without TLS's own goodbye
    // loses nothing that would go unnoticed; many servers close that way.
    SSL_CTX_set_options(m_ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    bool loaded = true;
    if (!caFile.empty()) {
        loaded = SSL_CTX_load_verify_locations(m_ctx, caFile.c_str(), nullptr) == 1;
    } else if (platform::SystemVerifiesServerChains()) {
        // Asked at each handshake, so roots the system fetches or gains later count.
        SSL_CTX_set_cert_verify_callback(m_ctx, &TlsChannel::VerifyWithSystem, nullptr);
    } else {
        loaded = platform::AddSystemTrustedRoots(SSL_CTX_get_cert_store(m_ctx));
    }
    if (!loaded) {
        SSL_CTX_free(m_ctx);
        m_ctx = nullptr;
    }
    return loaded;
}

TlsChannel::TlsChannel(const TlsClientContext& context, SocketHandle socket) : m_socket(socket) {
    if (context.Get() == nullptr) {
        return;
    }
    m_ssl = SSL_new(context.Get());
    BIO* input = BIO_new(BIO_s_mem());
    BIO* output = BIO_new(BIO_s_mem());
    if (m_ssl == nullptr || input == nullptr || output == nullptr) {
        BIO_free(input);
        BIO_free(output);
        SSL_free(m_ssl);
        m_ssl = nullptr;
        return;
    }
    SSL_set_bio(m_ssl, input, output);
    SSL_set_connect_state(m_ssl);
    SSL_set_app_data(m_ssl, this);  // for VerifyWithSystem
}

TlsChannel::~TlsChannel() {
    SSL_free(m_ssl);
}

bool TlsChannel::FlushOutput(int timeoutMs) {
    BIO* output = SSL_get_wbio(m_ssl);
    char* data = nullptr;
    const long pending = BIO_get_mem_data(output, &data);
    if (pending <= 0) {
        return true;
    }
    const bool sent = tavrin::SendAll(m_socket, data, pending, timeoutMs) == pending;
    (void)BIO_reset(output);
    return sent;
}

long TlsChannel::FeedInput(int timeoutMs) {
    char buffer[kRecordSize];
    const long n = RecvWithTimeout(m_socket, buffer, sizeof buffer, timeoutMs);
    if (n > 0 && BIO_write(SSL_get_rbio(m_ssl), buffer, static_cast<int>(n)) != n) {
        return -1;
    }
    return n;
}

int TlsChannel::VerifyWithSystem(x509_store_ctx_st* store, void*) {
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* channel = ssl != nullptr ? static_cast<TlsChannel*>(SSL_get_app_data(ssl)) : nullptr;
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    if (channel == nullptr || leaf == nullptr) {
        X509_STORE_CTX_set_error(store, X509_V_ERR_UNSPECIFIED);
        return 0;
    }
    // The name first: it needs nothing from the system, which may go to the network.
    const int identity = CheckPeerIdentity(store, leaf);
    if (identity != X509_V_OK) {
        X509_STORE_CTX_set_error(store, identity);
        return 0;
    }
    if (!platform::VerifyServerChainWithSystem(SentChain(store, leaf),
                                               channel->m_handshakeTimeoutMs, channel->m_error)) {
        X509_STORE_CTX_set_error(store, X509_V_ERR_CERT_UNTRUSTED);
        return 0;
    }
    X509_STORE_CTX_set_error(store, X509_V_OK);
    return 1;
}

TlsHandshake TlsChannel::Handshake(const std::string& host, int timeoutMs) {
    if (m_ssl == nullptr) {
        m_error = "no TLS context";
        return TlsHandshake::kRefused;
    }
    ERR_clear_error();
    m_error.clear();
    m_handshakeTimeoutMs = timeoutMs;
    // An address is checked as an address and is not sent as a server name.
    if (IsIpAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), host.c_str());
    } else {
        SSL_set_tlsext_host_name(m_ssl, host.c_str());
        SSL_set1_host(m_ssl, host.c_str());
    }
    for (;;) {
        const int done = SSL_do_handshake(m_ssl);
        const int error = done == 1 ? SSL_ERROR_NONE : SSL_get_error(m_ssl, done);
        if (!FlushOutput(timeoutMs)) {
            m_error = "connection lost during the TLS handshake";
            return TlsHandshake::kTransport;
        }
        if (done == 1) {
            return TlsHandshake::kOk;
        }
        if (error != SSL_ERROR_WANT_READ) {
            // The system's reason, when it refused the chain, says more than OpenSSL's code.
            const long verify = SSL_get_verify_result(m_ssl);
            if (m_error.empty()) {
                m_error = verify != X509_V_OK ? X509_verify_cert_error_string(verify)
                                              : LastOpenSslError();
            }
            return TlsHandshake::kRefused;
        }
        if (FeedInput(timeoutMs) <= 0) {
            m_error = "connection lost during the TLS handshake";
            return TlsHandshake::kTransport;
        }
    }
}

long TlsChannel::SendAll(const char* data, long length, int timeoutMs) {
    long sent = 0;
    while (m_ssl != nullptr && sent < length) {
        const int piece = static_cast<int>(std::min<long>(length - sent, INT_MAX));
        const int n = SSL_write(m_ssl, data + sent, piece);
        if (n <= 0 || !FlushOutput(timeoutMs)) {
            break;
        }
        sent += n;
    }
    return sent;
}

long TlsChannel::Receive(char* buffer, long length, int timeoutMs) {
    if (m_ssl == nullptr) {
        return -1;
    }
    for (;;) {
        const int n = SSL_read(m_ssl, buffer, static_cast<int>(std::min<long>(length, INT_MAX)));
        if (n > 0) {
            return n;
        }
        const int error = SSL_get_error(m_ssl, n);
        // Reading may have produced records to send (a key update's answer).
        if (!FlushOutput(timeoutMs)) {
            return -1;
        }
        if (error == SSL_ERROR_ZERO_RETURN) {
            return 0;
        }
        if (error != SSL_ERROR_WANT_READ) {
            // With unexpected EOF ignored, a plain close arrives here as ZERO_RETURN too.
            return -1;
        }
        const long fed = FeedInput(timeoutMs);
        if (fed <= 0) {
            return fed;
        }
    }
}

long TlsChannel::ReceiveFor(void* channel, char* buffer, long length, int timeoutMs) {
    return static_cast<TlsChannel*>(channel)->Receive(buffer, length, timeoutMs);
}

}  // namespace tavrin
