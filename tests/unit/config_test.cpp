#include "app/config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "app/app_globals.h"
#include "app/operator_site.h"
#include "platform/url_fetch.h"
#include "support/http_peer.h"
#include "support/temp_dir.h"

namespace tavrin {
namespace {

using test::HttpPeer;
using test::HttpReply;
using test::HttpRequest;
using test::MakeReply;

TEST(UrlDecode, DecodesEscapesAndPlus) {
    const struct {
        const char* in;
        std::string out;
    } cases[] = {
        {"a%2Fb+c%3d", "a/b c="},
        {"a%2fb", "a/b"},
        {"%E5%90%AF", "\xE5\x90\xAF"},
        {"%D5%5C", std::string("\xD5\x5C")},  // a GBK character whose trail byte is '\'
        {"%00x", std::string("\0x", 2)},
        {"100%", "100%"},      // nothing after the sign
        {"%4", "%4"},          // one digit only
        {"%zz%4g", "%zz%4g"},  // not hexadecimal
        {"%%41", "%A"},
        {"++", "  "},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UrlDecode(c.in), c.out) << c.in;
    }
}

constexpr const char* kPlatformDoc =
    "<?xml version=\"1.0\" encoding=\"gbk\"?>\n"
    "<!-- operator configuration -->\n"
    "<config>\n"
    "  <other officialUrl=\"http://wrong/\"/>\n"
    "  <url officialUrl=\"http%3A%2F%2Fwww.example%2F\" rechargeUrl=\"http://pay/?a=1&amp;b=2\"\n"
    "       bbsUrl=\"http://bbs/\" svrUrl=\"http://svr/\" minMainPage=\"http://login/\"\n"
    "       szVerify=\"verify.php\" updateUrl=\"http://upd/update.ini?t=\"\n"
    "       AdobeFlashUrl=\"http://flash/\"/>\n"
    "  <url officialUrl=\"http://second/\"/>\n"
    "</config>\n";

TEST(ParsePlatformConfig, ReadsTheFirstUrlChildOfTheFirstElement) {
    PlatformConfigData c;
    ASSERT_TRUE(ParsePlatformConfig(kPlatformDoc, c));
    EXPECT_EQ(c.officialUrl, "http://www.example/");
    EXPECT_EQ(c.rechargeUrl, "http://pay/?a=1&b=2");
    EXPECT_EQ(c.bbsUrl, "http://bbs/");
    EXPECT_EQ(c.svrUrl, "http://svr/");
    EXPECT_EQ(c.minMainPage, "http://login/");
    EXPECT_EQ(c.szVerify, "verify.php");
    EXPECT_EQ(c.updateUrl, "http://upd/update.ini?t=");
    EXPECT_EQ(c.AdobeFlashUrl, "http://flash/");
}

TEST(ParsePlatformConfig, UnusableDocumentsLeaveTheRecordUntouched) {
    const char* const docs[] = {
        "",
        "not xml at all",
        "<config><url officialUrl=\"x\"></config>",    // not well-formed
        "<config><link officialUrl=\"x\"/></config>",  // no "url" child
        "<url officialUrl=\"x\"/>",                    // "url" is the container itself
        "<html><body><h1>404 Not Found</h1></body></html>",
        "<a/><config><url officialUrl=\"x\"/></config>",  // only the first element counts
    };
    for (const char* doc : docs) {
        PlatformConfigData c;
        c.officialUrl = "kept";
        EXPECT_FALSE(ParsePlatformConfig(doc, c)) << doc;
        EXPECT_EQ(c.officialUrl, "kept") << doc;
    }
}

TEST(ParsePlatformConfig, MissingAttributesAreEmpty) {
    PlatformConfigData c;
    c.bbsUrl = "old";
    ASSERT_TRUE(ParsePlatformConfig("<c><url officialUrl=\"o\"/></c>", c));
    EXPECT_EQ(c.officialUrl, "o");
    EXPECT_EQ(c.bbsUrl, "");
}

TEST(ParseClientConfig, OnlyZeroClosesTheGame) {
    const struct {
        const char* attribute;
        bool open;
    } cases[] = {
        {" isOpen=\"0\"", false}, {" isOpen=\"%30\"", false},
        {" isOpen=\"1\"", true},  {" isOpen=\"true\"", true},
        {" isOpen=\"00\"", true}, {" isOpen=\"\"", true},
        {" isOpen=\" 0\"", true}, {"", true},
    };
    for (const auto& c : cases) {
        ClientConfigData config;
        const std::string doc =
            std::string("<r><clientConfig title=\"t\"") + c.attribute + "/></r>";
        ASSERT_TRUE(ParseClientConfig(doc, config)) << doc;
        EXPECT_EQ(config.isOpen, c.open) << doc;
    }
}

TEST(ParseClientConfig, DecodesEveryUsedAttribute) {
    ClientConfigData c;
    ASSERT_TRUE(ParseClientConfig(
        "<root><clientConfig mainFlash=\"http%3A%2F%2Fcdn%2Fmain.swf\" "
        "flashVars=\"uid%3D7%26key%3Dab+c\" title=\"%E5%8F%8C%E7%BA%BF1%E5%8C%BA\" "
        "version=\"9\" listFileName=\"l.txt\" isOpen=\"1\" errorPage=\"http://err/\" "
        "area_url=\"http://area/?s=1\" sockets=\"10.0.0.5%3A8001%2C+game.example%3A9000\"/></root>",
        c));
    EXPECT_EQ(c.mainFlash, "http://cdn/main.swf");
    EXPECT_EQ(c.flashVars, "uid=7&key=ab c");
    EXPECT_EQ(c.title,
              "\xE5\x8F\x8C\xE7\xBA\xBF"
              "1\xE5\x8C\xBA");
    EXPECT_TRUE(c.isOpen);
    EXPECT_EQ(c.errorPage, "http://err/");
    EXPECT_EQ(c.area_url, "http://area/?s=1");
    EXPECT_EQ(c.sockets, "10.0.0.5:8001, game.example:9000");
}

TEST(ParseSocketList, HostAndPortEntriesInOrderEachOnce) {
    const struct {
        const char* list;
        std::vector<SocketEndpoint> endpoints;
        std::vector<std::string> rejected;
    } cases[] = {
        {"", {}, {}},
        {"127.0.0.1:843", {{"127.0.0.1", 843}}, {}},
        {"a.example:1,b.example:65535 c:2\t\r\nd:3",
         {{"a.example", 1}, {"b.example", 65535}, {"c", 2}, {"d", 3}},
         {}},
        {" ,, a:1 ,a:1, ", {{"a", 1}}, {}},
        {"[::1]:7000", {{"::1", 7000}}, {}},
        {"a:0 a:65536 a: :80 a a:8x ::1:80 a:-1 a:+5",
         {},
         {"a:0", "a:65536", "a:", ":80", "a", "a:8x", "::1:80", "a:-1", "a:+5"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> rejected;
        EXPECT_EQ(ParseSocketList(c.list, &rejected), c.endpoints) << c.list;
        EXPECT_EQ(rejected, c.rejected) << c.list;
    }
}

// A peer that serves one body for every request.
HttpPeer::Handler Serve(int status, std::string body) {
    return [status, body](const HttpRequest&) { return MakeReply(status, body); };
}

TEST(FetchUrlText, JoinsLinesWithoutTheirLineFeeds) {
    HttpPeer peer(Serve(200, "<a\nb=\"1\r\n2\">\n</a>\n"));
    std::string text = "untouched";
    ASSERT_TRUE(FetchUrlText(peer.Url("/doc"), text));
    EXPECT_EQ(text, "<ab=\"1\r2\"></a>");
}

TEST(FetchUrlText, TakesTheSchemeInAnyCase) {
    HttpPeer peer(Serve(200, "<a/>"));
    for (const std::string scheme : {"HTTP", "Http"}) {
        std::string text;
        EXPECT_TRUE(FetchUrlText(scheme + peer.Url("/doc").substr(4), text)) << scheme;
        EXPECT_EQ(text, "<a/>") << scheme;
    }
}

TEST(FetchUrlText, ReturnsErrorPagesAsText) {
    HttpPeer peer(Serve(404, "<html>gone</html>"));
    std::string text;
    ASSERT_TRUE(FetchUrlText(peer.Url("/missing"), text));
    EXPECT_EQ(text, "<html>gone</html>");
}

TEST(FetchUrlText, SendsAPlainGetWithTheBaseNameAsUserAgent) {
    g_strBaseName = "Launcher";
    HttpPeer peer(Serve(200, "x"));
    std::string text;
    ASSERT_TRUE(FetchUrlText(peer.Url("/rzt/?c=index&a=micnf&yid=7"), text));
    g_strBaseName.clear();
    const std::vector<HttpRequest> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/rzt/?c=index&a=micnf&yid=7");
    EXPECT_EQ(requests[0].headers.at("user-agent"), "Launcher");
}

TEST(FetchUrlText, FailsWithoutTouchingTheTextWhenNothingAnswers) {
    std::uint16_t deadPort = 0;
    {
        HttpPeer gone(Serve(200, ""));
        deadPort = gone.Port();
    }
    std::string text = "untouched";
    std::string error;
    EXPECT_FALSE(FetchUrlText("http://127.0.0.1:" + std::to_string(deadPort) + "/", text, &error));
    EXPECT_EQ(text, "untouched");
    EXPECT_FALSE(error.empty());
}

TEST(FetchUrlText, ARedirectWithoutAUsableAddressIsAFailureNotADocument) {
    HttpPeer peer([](const HttpRequest& request) {
        const std::string location = request.target == "/empty" ? "Location: \r\n" : "";
        return HttpReply{"HTTP/1.1 302 Found\r\n" + location +
                         "Content-Type: text/xml\r\nContent-Length: 4\r\n\r\n<r/>"};
    });
    for (const char* target : {"/none", "/empty"}) {
        std::string text = "untouched";
        std::string error;
        EXPECT_FALSE(FetchUrlText(peer.Url(target), text, &error)) << target;
        EXPECT_EQ(text, "untouched") << target;
        EXPECT_NE(error.find("redirect"), std::string::npos) << target << ": " << error;
    }
}

TEST(FetchUrlText, EveryFetchAsksTheServerAgainWhateverItSaysOfCaching) {
    // Verification answers carry the player's session: never one kept from an earlier fetch.
    std::atomic<int> served{0};
    HttpPeer peer([&served](const HttpRequest&) {
        return MakeReply(200, "<r n=\"" + std::to_string(++served) + "\"/>", "text/xml",
                         "Cache-Control: public, max-age=3600\r\n");
    });
    std::string first;
    std::string second;
    ASSERT_TRUE(FetchUrlText(peer.Url("/verify?u=1"), first));
    ASSERT_TRUE(FetchUrlText(peer.Url("/verify?u=1"), second));
    EXPECT_EQ(first, "<r n=\"1\"/>");
    EXPECT_EQ(second, "<r n=\"2\"/>");
}

TEST(FetchUrlText, RefusesAddressesThatAreNotWebAddressesByItsOwnRule) {
    // Refused before the HTTP client is asked, whatever protocols that one would speak.
    test::TempDir tmp;
    tmp.Write("secret.txt", "local");
    const std::string addresses[] = {"file://" + tmp / "secret.txt", "ftp://127.0.0.1:1/x",
                                     "dict://127.0.0.1:1/x", "gopher://127.0.0.1:1/x"};
    for (const std::string& address : addresses) {
        std::string text = "untouched";
        std::string error;
        EXPECT_FALSE(FetchUrlText(address, text, &error)) << address;
        EXPECT_EQ(text, "untouched");
        EXPECT_NE(error.find("only http and https"), std::string::npos) << address << ": " << error;
    }
}

TEST(FetchUrlBody, GivesUpOnASilentServerWithinItsLimit) {
    HttpPeer peer([](const HttpRequest&) { return HttpReply{"", {}, true}; });
    platform::FetchLimits limits;
    limits.totalTimeoutMs = 300;
    std::string body = "untouched";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(platform::FetchUrlBody(peer.Url("/"), "t", body, limits));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(body, "untouched");
}

TEST(FetchUrlBody, RefusesABodyOverTheLimit) {
    HttpPeer peer(Serve(200, std::string(5000, 'x')));
    platform::FetchLimits limits;
    limits.maxBodyBytes = 4096;
    std::string body = "untouched";
    std::string error;
    EXPECT_FALSE(platform::FetchUrlBody(peer.Url("/"), "t", body, limits, &error));
    EXPECT_EQ(body, "untouched");
    EXPECT_FALSE(error.empty());
}

// The names of the cookies a request carried, sorted.
std::string CookieNames(const HttpRequest& request) {
    const auto found = request.headers.find("cookie");
    if (found == request.headers.end()) {
        return "";
    }
    std::vector<std::string> names;
    std::string header = found->second + ";";
    for (std::size_t at = 0, end; (end = header.find(';', at)) != std::string::npos; at = end + 1) {
        const std::size_t start = header.find_first_not_of(' ', at);
        const std::string pair = header.substr(start, end - start);
        names.push_back(pair.substr(0, pair.find('=')));
    }
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names) {
        joined += (joined.empty() ? "" : ",") + name;
    }
    return joined;
}

TEST(FetchUrlText, CarriesTheBrowsersCookiesByItsRules) {
    // "/hop" sends the fetch on to the same peer under the name "localhost".
    std::uint16_t port = 0;
    HttpPeer peer([&port](const HttpRequest& request) {
        if (request.target == "/hop") {
            return HttpReply{"HTTP/1.1 302 Found\r\nLocation: http://localhost:" +
                             std::to_string(port) + "/game/there\r\nContent-Length: 0\r\n\r\n"};
        }
        return MakeReply(200, "<r/>");
    });
    port = peer.Port();
    using platform::BrowserCookie;
    const std::vector<BrowserCookie> cookies = {
        {"session", "s1", "127.0.0.1", true, "/", false, true, 0},
        {"game", "g", "127.0.0.1", true, "/game", false, false, 0},
        {"secure", "x", "127.0.0.1", true, "/", true, false, 0},
        {"expired", "x", "127.0.0.1", true, "/", false, false, 1000},
        {"lasting", "x", "127.0.0.1", true, "/", false, false, 4102444800},  // 2100
        {"other", "x", "example.com", false, "/", false, false, 0},
        {"ipdomain", "x", "0.0.1", false, "/", false, false, 0},
        {"local", "l", "localhost", true, "/", false, false, 0},
    };
    const struct {
        const char* target;
        const char* sent;
    } cases[] = {
        // Loopback counts as secure, as browsers treat it.
        {"/", "lasting,secure,session"},
        {"/game", "game,lasting,secure,session"},
        {"/game/verify?u=%E4%B8%AD", "game,lasting,secure,session"},
        {"/gamer", "lasting,secure,session"},
        {"/hop", "lasting,secure,session"},
        {"/game/there", "local"},  // after the redirect: only the new host's cookies
    };
    for (const auto& c : cases) {
        if (std::string(c.target) == "/game/there") {
            continue;  // reached through "/hop"
        }
        std::string text;
        ASSERT_TRUE(FetchUrlText(peer.Url(c.target), text, nullptr, cookies)) << c.target;
    }
    const std::vector<HttpRequest> requests = peer.Requests();
    for (const auto& c : cases) {
        const auto request =
            std::find_if(requests.begin(), requests.end(),
                         [&](const HttpRequest& r) { return r.target == c.target; });
        ASSERT_NE(request, requests.end()) << c.target;
        EXPECT_EQ(CookieNames(*request), c.sent) << c.target;
    }
}

TEST(FetchUrlText, CookiesGoToTheHostTheRequestWentTo) {
    // Addresses that readers disagree about: whichever host the request reaches, it carries
    // that host's cookies and never those of the host another reading would name.
    HttpPeer peer(Serve(200, "<r/>"));
    using platform::BrowserCookie;
    const std::vector<BrowserCookie> cookies = {
        {"here", "1", "127.0.0.1", true, "/", false, false, 0},
        {"there", "2", "evil.example", true, "/", false, false, 0},
    };
    const std::string port = std::to_string(peer.Port());
    const std::string addresses[] = {
        "http://evil.example@127.0.0.1:" + port + "/a",
        "http://evil.example\\@127.0.0.1:" + port + "/b",
        "http://127.0.0.1:" + port + "\\@evil.example/c",
        "http://127.0.0.1:" + port + "/d\\@evil.example/",
    };
    for (const std::string& address : addresses) {
        std::string text;
        FetchUrlText(address, text, nullptr, cookies);  // some go nowhere
    }
    for (const HttpRequest& request : peer.Requests()) {
        EXPECT_EQ(CookieNames(request), "here") << request.target;
    }
}

TEST(CookieHeaderFor, ChoosesByDomainPathSchemeAndTimeLongestPathFirst) {
    using platform::BrowserCookie;
    const std::vector<BrowserCookie> cookies = {
        {"a", "1", "example.com", false, "/", false, false, 0},
        {"b", "2", "example.com", true, "/app/", false, false, 0},
        {"c", "3", "www.example.com", true, "/", true, false, 0},
        {"e", "5", "localhost", true, "/", true, false, 0},
        {"d", "4", "example.com", false, "/", false, false, 500},
        // Secure cookies of hosts that look like loopback addresses and are not.
        {"f", "6", "127.x.example.com", true, "/", true, false, 0},
        {"g", "7", "127.0.0.1", true, "/", true, false, 0},
        {"h", "8", "127.0.0.256", true, "/", true, false, 0},
        {"i", "9", "127.1.2.3.4", true, "/", true, false, 0},
    };
    const struct {
        const char* url;
        const char* header;
    } cases[] = {
        {"http://example.com/", "a=1; d=4"},
        {"HTTP://EXAMPLE.com:8080/app/x?q=1", "b=2; a=1; d=4"},
        {"http://www.example.com/app/", "a=1; d=4"},
        {"https://www.example.com/", "a=1; c=3; d=4"},
        {"http://user@badexample.com/", ""},
        {"http://example.com/application", "a=1; d=4"},
        {"ftp://example.com/", ""},
        {"http://localhost/", "e=5"},  // loopback is a secure context
        {"http://127.0.0.1:8080/", "g=7"},
        {"http://127.x.example.com/", "a=1; d=4"},  // not loopback: no secure cookie
        {"https://127.x.example.com/", "a=1; d=4; f=6"},
        {"http://127.0.0.256/", ""},
        {"http://127.1.2.3.4/", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::CookieHeaderFor(c.url, cookies, 100), c.header) << c.url;
    }
    EXPECT_EQ(platform::CookieHeaderFor("http://example.com/", cookies, 500), "a=1");
}

class LoadConfig : public ::testing::Test {
protected:
    test::TempDir m_tmp;
};

TEST_F(LoadConfig, PlatformAddressIsConfigUrlPlusPlatformCutTo15) {
    HttpPeer peer(Serve(200, kPlatformDoc));
    m_tmp.Write("config.ini", "[config]\r\nplatform=12345678901234567890\r\nconfigUrl=" +
                                  peer.Url("/rzt/?c=index&a=micnf&yid=") + "\r\n");
    const Loaded<PlatformConfigData> loaded = LoadPlatformConfig(m_tmp / "config.ini");
    ASSERT_TRUE(loaded);
    ASSERT_EQ(peer.Requests().size(), 1u);
    EXPECT_EQ(peer.Requests()[0].target, "/rzt/?c=index&a=micnf&yid=123456789012345");
    EXPECT_EQ(loaded.value->szVerify, "verify.php");
    EXPECT_EQ(loaded.value->configUrl, peer.Url("/rzt/?c=index&a=micnf&yid=123456789012345"));
}

TEST_F(LoadConfig, MissingSettingsFileUsesTheBuiltInAddressAndPlatformZero) {
    EXPECT_EQ(PlatformConfigUrl(m_tmp / "none.ini"), std::string(kDefaultConfigUrlBase) + "0");
    EXPECT_EQ(ReadUpdateKey(m_tmp / "none.ini"), "");
    m_tmp.Write("config.ini", "[config]\r\nupdateKey = " + std::string(64, 'a') + "\r\n");
    EXPECT_EQ(ReadUpdateKey(m_tmp / "config.ini"), std::string(64, 'a'));
}

// An error page, or a document without a login page, would give a blank login window.
TEST_F(LoadConfig, UnusablePlatformDocumentsAreFailuresThatSayWhy) {
    for (const std::string body : {"<html>nope</html>", "<c><url officialUrl=\"x\"/></c>"}) {
        HttpPeer peer(Serve(404, body));
        m_tmp.Write("config.ini", "[config]\nconfigUrl=" + peer.Url("/c?yid=") + "\n");
        const Loaded<PlatformConfigData> loaded = LoadPlatformConfig(m_tmp / "config.ini");
        EXPECT_FALSE(loaded) << body;
        EXPECT_TRUE(loaded.fetched) << body;
        EXPECT_NE(loaded.failure.find("no configuration"), std::string::npos) << loaded.failure;
    }
}

TEST_F(LoadConfig, UnreachablePlatformDocumentIsAFailure) {
    std::uint16_t deadPort = 0;
    {
        HttpPeer gone(Serve(200, ""));
        deadPort = gone.Port();
    }
    m_tmp.Write("config.ini",
                "[config]\nconfigUrl=http://127.0.0.1:" + std::to_string(deadPort) + "/c?yid=\n");
    const Loaded<PlatformConfigData> loaded = LoadPlatformConfig(m_tmp / "config.ini");
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(loaded.fetched);
}

TEST_F(LoadConfig, AClientConfigThatCannotBeFetchedOrReadIsAFailureThatSaysWhy) {
    HttpPeer good(Serve(200, "<r><clientConfig title=\"One\" isOpen=\"1\"/></r>"));
    const Loaded<ClientConfigData> loaded =
        LoadClientConfig(good.Url("/verify.php?u=1"), PlatformConfigData{});
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded.value->title, "One");
    EXPECT_TRUE(loaded.value->isOpen);

    std::uint16_t deadPort = 0;
    {
        HttpPeer gone(Serve(200, ""));
        deadPort = gone.Port();
    }
    HttpPeer broken(Serve(500, "<r><clientConfig title=\"Two\" isOpen=\"0\""));
    HttpPeer other(Serve(200, "<r><platform/></r>"));
    const std::string failing[] = {
        broken.Url("/verify.php?u=2"),
        other.Url("/verify.php?u=3"),
        "http://127.0.0.1:" + std::to_string(deadPort) + "/verify.php?u=4",
    };
    for (const std::string& url : failing) {
        const Loaded<ClientConfigData> failed = LoadClientConfig(url, PlatformConfigData{});
        EXPECT_FALSE(failed) << url;
        EXPECT_FALSE(failed.failure.empty()) << url;
    }
}

}  // namespace
}  // namespace tavrin

namespace tavrin {
namespace {

TEST(OperatorSite, AnAddressIsTheOperatorsWhenItsRegistrableDomainIsOneOfTheSites) {
    const struct {
        const char* url;
        const char* site;
        bool expected;
    } cases[] = {
        {"http://login.op.example.com/verify", "http://config.op.example.com/rzt/?a=1", true},
        {"https://OP.Example.COM./verify", "http://op.example.com:8080/", true},
        {"http://www.op.example.co.uk/v", "http://op.example.co.uk/", true},
        {"http://ads.example.net/verify", "http://config.op.example.com/", false},
        {"http://other.co.uk/v", "http://op.co.uk/", false},       // co.uk is a suffix
        {"https://a.github.io/v", "https://b.github.io/", false},  // so is github.io
        {"http://op.example.com@evil.example/v", "http://op.example.com/", false},
        {"http://evil.example/op.example.com", "http://op.example.com/", false},
        {"http://127.0.0.1:8080/verify", "http://127.0.0.1:9090/login", true},
        {"http://127.0.0.2/verify", "http://127.0.0.1/login", false},
        {"http://192.168.3.4/verify", "http://10.1.3.4/login", false},  // an address is itself
        {"http://0x7f.0.3.4/verify", "http://10.1.3.4/login", false},
        {"http://[::1]:8080/v", "http://[::1]/", true},
        {"op.example.com/verify", "http://op.example.com/", false},  // no address at all
        {"http://op.example.com/v", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OnOperatorSite(c.url, {"http://unrelated.example.org/", c.site}), c.expected)
            << c.url << " on " << c.site;
    }
}

TEST_F(LoadConfig, AGameServerListCountsOnlyFromTheOperatorsSite) {
    HttpPeer verify(Serve(200, "<r><clientConfig isOpen=\"1\" sockets=\"10.0.0.7:5000\"/></r>"));
    const struct {
        std::string configUrl;
        std::string loginPage;
        std::string expected;
    } cases[] = {
        {verify.Url("/rzt/"), "http://login.op.example/", "10.0.0.7:5000"},
        {"http://config.op.example/rzt/", verify.Url("/login/"), "10.0.0.7:5000"},
        {"http://config.op.example/rzt/", "http://login.op.example/", ""},
    };
    for (const auto& c : cases) {
        PlatformConfigData platform;
        platform.configUrl = c.configUrl;
        platform.minMainPage = c.loginPage;
        const Loaded<ClientConfigData> loaded =
            LoadClientConfig(verify.Url("/verify.php"), platform);
        ASSERT_TRUE(loaded);
        EXPECT_EQ(loaded.value->sockets, c.expected) << c.configUrl << " " << c.loginPage;
    }
}

}  // namespace
}  // namespace tavrin
