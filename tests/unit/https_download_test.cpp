// Downloads over TLS against an https peer with a CA made by the test: trust, names and
// dates decide, redirects cross between http and https, and an HTTP proxy is tunnelled.
#include <gtest/gtest.h>

#include <chrono>

#include "net/http_download.h"
#include "platform/file_system.h"
#include "support/download_setup.h"
#include "support/http_peer.h"
#include "support/tcp_peer.h"
#include "support/temp_dir.h"
#include "support/tls_peer.h"

namespace tavrin {
namespace {

using test::TlsPeer;

class HttpsDownloads : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SocketStartup(), 0);
        m_tmp.Write("ca.pem", m_ca.CertificatePem());
        m_download.Options().caFile = m_tmp / "ca.pem";
        m_download.Options().connectTimeoutMs = 3000;
        m_download.Options().recvTimeoutMs = 3000;
        m_download.Options().sendTimeoutMs = 3000;
        m_download.Options().mutexPrefix = "_MUTEX_tls" + test::UniqueSuffix();
    }
    void TearDown() override { SocketCleanup(); }

    std::string Target() const { return m_tmp / "out/target.bin"; }

    test::TempDir m_tmp;
    test::TestCa m_ca;
    CHttpDownload m_download;
};

TEST_F(HttpsDownloads, TrustedNamesAndAddressesDownload) {
    const std::string body(300000, 'q');  // many TLS records
    for (const char* host : {"127.0.0.1", "localhost"}) {
        TlsPeer peer(m_ca.Issue("DNS:localhost,IP:127.0.0.1"), [&](const std::string&) {
            return test::MakeReply(200, body, "application/octet-stream").bytes;
        });
        ASSERT_EQ(m_download.Download(peer.Url(host, "/pkg.zip"), Target()).result, DL_OK) << host;
        EXPECT_EQ(test::ReadFile(Target()), body) << host;
        ASSERT_EQ(peer.Exchanges().size(), 1u) << host;
        const std::string request = peer.Exchanges()[0].request;
        EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET /pkg.zip HTTP/1.1") << host;
        EXPECT_NE(request.find("\r\nHost: " + std::string(host) + ":" +
                               std::to_string(peer.Port()) + "\r\n"),
                  std::string::npos)
            << request;
    }
}

// Each of these must fail with result 3 at once: retrying cannot make a certificate good.
TEST_F(HttpsDownloads, UntrustedCertificatesFailWithoutRetrying) {
    test::TestCa stranger;
    const struct {
        const char* name;
        test::IssuedCertificate certificate;
        bool systemRoots;
    } cases[] = {
        {"wrong name", m_ca.Issue("DNS:other.example"), false},
        {"wrong address", m_ca.Issue("IP:127.0.0.2"), false},
        {"expired", m_ca.Issue("IP:127.0.0.1", -7200, -3600), false},
        {"not yet valid", m_ca.Issue("IP:127.0.0.1", 3600, 7200), false},
        {"unknown CA", stranger.Issue("IP:127.0.0.1"), false},
        {"test CA not among the system's roots", m_ca.Issue("IP:127.0.0.1"), true},
    };
    for (const auto& c : cases) {
        TlsPeer peer(c.certificate, [](const std::string&) {
            return test::MakeReply(200, "secret", "application/octet-stream").bytes;
        });
        CHttpDownload download;
        download.Options().caFile = c.systemRoots ? "" : m_download.Options().caFile;
        download.Options().retry.mode = 1;
        download.Options().retry.maxRetries = 3;
        const DownloadOutcome outcome = download.Download(peer.Url("127.0.0.1", "/f"), Target());
        EXPECT_EQ(outcome.result, DL_FAILED) << c.name;
        EXPECT_FALSE(outcome.tlsError.empty()) << c.name;
        EXPECT_EQ(outcome.reason, "TLS: " + outcome.tlsError) << c.name;
        EXPECT_TRUE(peer.Exchanges().empty()) << c.name;
        EXPECT_FALSE(platform::PathExists(Target())) << c.name;
    }
}

// A server that accepts and then says nothing, or says something that is not TLS, ends the
// handshake within the waits' time-outs.
TEST_F(HttpsDownloads, SilentOrPlainServersEndTheHandshake) {
    const struct {
        const char* name;
        test::TcpPeer::Script script;
    } cases[] = {
        {"silent", {"", false}},
        {"plain http", {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", true}},
        {"closes at once", {"", true}},
    };
    m_download.Options().recvTimeoutMs = 300;
    for (const auto& c : cases) {
        test::TcpPeer peer(c.script);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(
            m_download.Download("https://127.0.0.1:" + std::to_string(peer.Port()) + "/f", Target())
                .result,
            DL_FAILED)
            << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << c.name;
        EXPECT_FALSE(platform::PathExists(Target())) << c.name;
    }
}

TEST_F(HttpsDownloads, AMissingCaFileFails) {
    TlsPeer peer(m_ca.Issue("IP:127.0.0.1"), [](const std::string&) {
        return test::MakeReply(200, "x", "application/octet-stream").bytes;
    });
    m_download.Options().caFile = m_tmp / "missing.pem";
    EXPECT_EQ(m_download.Download(peer.Url("127.0.0.1", "/f"), Target()).result, DL_FAILED);
}

TEST_F(HttpsDownloads, RedirectsCrossBetweenHttpAndHttpsWithoutTheCredentials) {
    test::HttpPeer plain([](const test::HttpRequest&) { return test::MakeReply(200, "plain"); });
    TlsPeer secure(m_ca.Issue("IP:127.0.0.1"), [&](const std::string& head) {
        if (head.rfind("GET /start", 0) == 0) {
            return "HTTP/1.1 302 Found\r\nLocation: " + plain.Url("/end") + "\r\n\r\n";
        }
        return test::MakeReply(200, "unexpected", "application/octet-stream").bytes;
    });
    test::HttpPeer entry([&](const test::HttpRequest&) {
        return test::HttpReply{
            "HTTP/1.1 301 Moved\r\nLocation: " + secure.Url("127.0.0.1", "/start") + "\r\n\r\n"};
    });
    m_download.Options().serverAuth = true;
    m_download.Options().user = "u";
    m_download.Options().password = "p";
    ASSERT_EQ(m_download.Download(entry.Url("/begin"), Target()).result, DL_OK);
    EXPECT_EQ(test::ReadFile(Target()), "plain");
    ASSERT_EQ(entry.Requests().size(), 1u);
    EXPECT_EQ(entry.Requests()[0].headers.count("authorization"), 1u);
    ASSERT_EQ(secure.Exchanges().size(), 1u);
    EXPECT_EQ(secure.Exchanges()[0].request.find("Authorization:"), std::string::npos);
    ASSERT_EQ(plain.Requests().size(), 1u);
    EXPECT_EQ(plain.Requests()[0].headers.count("authorization"), 0u);
    EXPECT_EQ(plain.Requests()[0].headers["referer"], secure.Url("127.0.0.1", "/start"));
}

TEST_F(HttpsDownloads, ChunkedBodiesOverTls) {
    TlsPeer peer(m_ca.Issue("IP:127.0.0.1"), [](const std::string&) {
        return std::string(
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
            "4\r\nwiki\r\n5\r\npedia\r\n0\r\n\r\n");
    });
    ASSERT_EQ(m_download.Download(peer.Url("127.0.0.1", "/doc"), Target()).result, DL_OK);
    EXPECT_EQ(test::ReadFile(Target()), "wikipedia");
}

// The proxy sees a CONNECT with its credentials; the request itself goes through the
// tunnel in the server's form, without them.
TEST_F(HttpsDownloads, AnHttpProxyTunnelsWithConnect) {
    TlsPeer proxyAndServer(
        m_ca.Issue("DNS:files.example"),
        [](const std::string&) {
            return test::MakeReply(200, "tunnelled", "application/octet-stream").bytes;
        },
        TlsPeer::Proxy::kHttpConnect);
    test::UseProxy(m_download.Options(), kProxyHttp, proxyAndServer.Port(), "who", "pw");
    ASSERT_EQ(m_download.Download("https://files.example/pkg", Target()).result, DL_OK);
    EXPECT_EQ(test::ReadFile(Target()), "tunnelled");
    ASSERT_EQ(proxyAndServer.Exchanges().size(), 1u);
    const TlsPeer::Exchange e = proxyAndServer.Exchanges()[0];
    EXPECT_EQ(e.connectRequest,
              "CONNECT files.example:443 HTTP/1.1\r\nHost: files.example:443\r\n"
              "Proxy-Authorization: Basic d2hvOnB3\r\nUser-Agent: HttpDownload/2.0\r\n\r\n");
    EXPECT_EQ(e.request.substr(0, e.request.find("\r\n")), "GET /pkg HTTP/1.1");
    EXPECT_EQ(e.request.find("Proxy-Authorization"), std::string::npos);
    EXPECT_NE(e.request.find("\r\nHost: files.example\r\n"), std::string::npos);
}

// Through SOCKS 5 the proxy gets the server's name; TLS then checks that name end to end.
TEST_F(HttpsDownloads, Socks5CarriesTlsToTheNamedServer) {
    for (const char* names : {"DNS:files.example", "DNS:elsewhere.example"}) {
        TlsPeer proxyAndServer(
            m_ca.Issue(names),
            [](const std::string&) {
                return test::MakeReply(200, "through socks", "application/octet-stream").bytes;
            },
            TlsPeer::Proxy::kSocks5);
        test::UseProxy(m_download.Options(), kProxySocks5, proxyAndServer.Port());
        const bool rightName = std::string(names) == "DNS:files.example";
        ASSERT_EQ(m_download.Download("https://files.example:8443/pkg", Target()).result,
                  rightName ? DL_OK : DL_FAILED)
            << names;
        if (rightName) {
            EXPECT_EQ(test::ReadFile(Target()), "through socks");
            ASSERT_EQ(proxyAndServer.Exchanges().size(), 1u);
            EXPECT_EQ(proxyAndServer.Exchanges()[0].connectRequest,
                      std::string("\5\1\0\3\x0d"
                                  "files.example\x20\xfb",
                                  20));
        }
    }
}

}  // namespace
}  // namespace tavrin
