// Windows fills its "ROOT" store lazily: its chain engine fetches a root the first time a
// chain needs it. So the client must ask the chain engine during each handshake; a root
// the system comes to trust after the client was set up has to count at once. Names and
// addresses stay as strictly checked as under OpenSSL's own verification, and a CA file
// still replaces the system's trust.
#include <windows.h>
// wincrypt.h needs the declarations of windows.h before it.
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/socket_transport.h"
#include "net/tls_channel.h"
#include "support/temp_dir.h"
#include "support/tls_peer.h"

namespace tavrin {
namespace {

// A CA in the current user's "ROOT" store for as long as the object lives, even when the
// test fails: the Wine prefix outlives the test. Each change is committed at once, so the
// chain engine, which opens the store for itself, sees it (Wine writes a store out only
// when it is committed or its last reference goes). Windows itself would ask the user to
// confirm a new root; this test is for Wine.
class ScopedUserRoot {
public:
    explicit ScopedUserRoot(const std::string& pem)
        : m_store(CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                                CERT_SYSTEM_STORE_CURRENT_USER, L"Root")) {
        DWORD size = 0;
        if (m_store == nullptr || !CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER,
                                                        nullptr, &size, nullptr, nullptr)) {
            return;
        }
        std::vector<BYTE> der(size);
        if (CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &size,
                                 nullptr, nullptr) &&
            CertAddEncodedCertificateToStore(m_store, X509_ASN_ENCODING, der.data(), size,
                                             CERT_STORE_ADD_NEW, &m_root)) {
            CertControlStore(m_store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
        }
    }
    ~ScopedUserRoot() {
        if (m_root != nullptr) {
            CertDeleteCertificateFromStore(m_root);
            CertControlStore(m_store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
        }
        if (m_store != nullptr) {
            CertCloseStore(m_store, 0);
        }
    }
    ScopedUserRoot(const ScopedUserRoot&) = delete;
    ScopedUserRoot& operator=(const ScopedUserRoot&) = delete;

    bool Added() const { return m_root != nullptr; }

private:
    HCERTSTORE m_store;
    PCCERT_CONTEXT m_root = nullptr;
};

struct Outcome {
    TlsHandshake result;
    std::string error;
};

// Wine's chain engine takes its time under load (a first run of it in a busy prefix took
// over 3 s once): the bound is for a hang, not for speed.
constexpr int kHandshakeBoundMs = 20000;

Outcome HandshakeWith(const TlsClientContext& context, const test::IssuedCertificate& certificate,
                      const std::string& host) {
    test::TlsPeer peer(certificate, [](const std::string&) { return std::string(); });
    const SocketHandle socket = CreateTcpSocket();
    if (ConnectToHost(socket, "127.0.0.1", peer.Port(), kHandshakeBoundMs, false) != 0) {
        CloseSocket(socket);
        return {TlsHandshake::kTransport, "cannot connect to the peer"};
    }
    TlsChannel channel(context, socket);
    const TlsHandshake result = channel.Handshake(host, kHandshakeBoundMs);
    Outcome outcome{result, channel.Error()};
    CloseSocket(socket);
    return outcome;
}

class SystemTrust : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(SocketStartup(), 0); }
    void TearDown() override { SocketCleanup(); }

    test::TestCa m_ca;
};

TEST_F(SystemTrust, TheChainEngineDecidesAtEachHandshake) {
    test::TestCa stranger("Stranger CA");
    test::TestCa impostor;  // the trusted CA's name with a key of its own
    test::TempDir tmp;
    tmp.Write("stranger.pem", stranger.CertificatePem());
    TlsClientContext system;
    TlsClientContext caFile;
    ASSERT_TRUE(system.Load(""));
    ASSERT_TRUE(caFile.Load(tmp / "stranger.pem"));
    // Only now does the system come to trust the test CA, as when Windows fetches a root.
    ScopedUserRoot root(m_ca.CertificatePem());
    ASSERT_TRUE(root.Added());

    const struct {
        const char* name;
        const TlsClientContext& context;
        test::IssuedCertificate certificate;
        const char* host;
        const char* errorPart;  // null: the handshake succeeds
    } cases[] = {
        {"address", system, m_ca.Issue("IP:127.0.0.1"), "127.0.0.1", nullptr},
        {"host name", system, m_ca.Issue("DNS:localhost"), "localhost", nullptr},
        {"wrong host name", system, m_ca.Issue("DNS:other.example"), "localhost",
         "hostname mismatch"},
        {"address certificate for a name", system, m_ca.Issue("IP:127.0.0.1"), "localhost",
         "hostname mismatch"},
        {"wrong address", system, m_ca.Issue("IP:127.0.0.2"), "127.0.0.1", "IP address mismatch"},
        {"address only as a DNS name", system, m_ca.Issue("DNS:127.0.0.1"), "127.0.0.1",
         "IP address mismatch"},
        {"expired", system, m_ca.Issue("IP:127.0.0.1", -7200, -3600), "127.0.0.1", "expired"},
        {"unknown CA", system, stranger.Issue("IP:127.0.0.1"), "127.0.0.1", "trust"},
        {"CA named like a trusted one", system, impostor.Issue("IP:127.0.0.1"), "127.0.0.1",
         "signature"},
        {"CA file", caFile, stranger.Issue("IP:127.0.0.1"), "127.0.0.1", nullptr},
        {"system root beside a CA file", caFile, m_ca.Issue("IP:127.0.0.1"), "127.0.0.1", "issuer"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = HandshakeWith(c.context, c.certificate, c.host);
        if (c.errorPart == nullptr) {
            EXPECT_EQ(outcome.result, TlsHandshake::kOk) << c.name << ": " << outcome.error;
        } else {
            EXPECT_EQ(outcome.result, TlsHandshake::kRefused) << c.name;
            EXPECT_NE(outcome.error.find(c.errorPart), std::string::npos)
                << c.name << ": " << outcome.error;
        }
    }
}

}  // namespace
}  // namespace tavrin
