// The downloader's text handling: addresses, dates, credentials, the request it sends and
// the response headers it reads.
#include <gtest/gtest.h>

#include <ctime>

#include "net/http_download.h"
#include "net/http_parse.h"

namespace tavrin {
namespace {

TEST(ParseUrl, AcceptsOnlyHttpAndHttpsAddressesWithAPath) {
    const struct {
        const char* url;
        bool ok;
        const char* host;
        const char* object;
        std::uint16_t port;
    } cases[] = {
        {"http://Host.Example/Path/File.ZIP", true, "Host.Example", "/Path/File.ZIP", 80},
        {"HTTP://h:8080/a?b=c", true, "h", "/a?b=c", 8080},
        {"  http://h/  ", true, "h", "/", 80},
        {"http://h", false, "", "", 0},  // no path
        {"http://", false, "", "", 0},
        {"https://h/a", true, "h", "/a", 443},
        {"HTTPS://h:8443/a", true, "h", "/a", 8443},
        {"ftp://h/a", false, "", "", 0},  // a scheme this downloader does not speak
        {"h/a", false, "", "", 0},
        {"http://h:65535/a", true, "h", "/a", 65535},
        {"http://h:70000/a", false, "", "", 0},  // no such port, not 70000 - 65536
        {"http://h:/a", false, "", "", 0},
        {"http://h:0/a", false, "", "", 0},
        {"http://h:8x/a", false, "", "", 0},
        {"http:///a", false, "", "", 0},  // no host
        {"http://h/a\r\nX-Injected: 1", false, "", "", 0},
        {"", false, "", "", 0},
    };
    for (const auto& c : cases) {
        std::string host = "x", object = "x";
        std::uint16_t port = 1;
        EXPECT_EQ(ParseUrl(c.url, host, object, port), c.ok) << c.url;
        EXPECT_EQ(host, c.host) << c.url;
        EXPECT_EQ(object, c.object) << c.url;
        EXPECT_EQ(port, c.port) << c.url;
    }
}

TEST(ParseHttpDate, ReadsGmtDatesAsUtc) {
    const struct {
        const char* text;
        bool ok;
        std::int64_t time;
    } cases[] = {
        {"wed, 21 oct 2015 07:28:00 gmt", true, 1445412480},
        {"Sat, 06 Jun 2015 10:00:00 GMT", true, 1433584800},  // June is month 6
        {"thu, 01 jan 1970 00:00:00 gmt", true, 0},
        {"sun, 29 feb 2004 23:59:59 gmt", true, 1078099199},
        {"21 oct 2015 07:28:00 gmt", false, 0},       // no weekday and comma
        {"wed, 21 oct 1800 07:28:00 gmt", false, 0},  // out of range
        {"wed, 21 oct 2015 25:28:00 gmt", false, 0},
        {"wed,", false, 0},
        {"wed, 21 foo 2015 07:28:00 gmt", false, 0},  // no month
        {"wed, 21 n,d 2015 07:28:00 gmt", false, 0},  // the month table's commas
        {"wed, 1111", false, 0},                      // no year
    };
    for (const auto& c : cases) {
        std::int64_t time = -1;
        EXPECT_EQ(ParseHttpDate(c.text, time), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(time, c.time) << c.text;
        }
    }
}

TEST(Base64Encode, StandardAlphabetWithPadding) {
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode("user:pa ss"), "dXNlcjpwYSBzcw==");
    EXPECT_EQ(Base64Encode("\xff\xfe\xfd"), "//79");
}

// What the page sends is taken only as it encodes it: a text OpenSSL alone would read
// differently (blanks skipped, a padding in the middle read as the end) is refused.
TEST(Base64Decode, OnlyPaddedStandardBase64) {
    const struct {
        const char* text;
        bool ok;
        std::string bytes;
    } cases[] = {
        {"", true, ""},          {"Zg==", true, "f"},
        {"Zm8=", true, "fo"},    {"AP8A", true, std::string("\0\xff\0", 3)},
        {"Zg", false, ""},       {"Zg=", false, ""},
        {"Zg==Zg==", false, ""}, {"Z g=", false, ""},
        {"Zm-_", false, ""},     {"Z===", false, ""},
        {"====", false, ""},
    };
    for (const auto& c : cases) {
        std::string bytes = "left over";
        EXPECT_EQ(Base64Decode(c.text, bytes), c.ok) << c.text;
        EXPECT_EQ(bytes, c.bytes) << c.text;
    }
    std::string all;
    for (int i = 0; i < 3 * 256; ++i) {
        all += static_cast<char>(i * 7);
    }
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{2}, all.size()}) {
        std::string back;
        ASSERT_TRUE(Base64Decode(Base64Encode(all.substr(0, size)), back));
        EXPECT_EQ(back, all.substr(0, size));
    }
}

HttpTarget Aim(const std::string& url) {
    const std::optional<HttpTarget> target = HttpTarget::Parse(url);
    EXPECT_TRUE(target) << url;
    return target.value_or(HttpTarget{});
}

// What ParseResponseHead gives for one head, its outputs starting from values it must
// overwrite.
struct Parsed {
    int result = -1;
    std::uint64_t length = 99;
    int status = -99;
    std::int64_t modified = 0;
    std::optional<HttpTarget> redirect;
};

Parsed ParseHeader(const HttpTarget& from, const std::string& header) {
    ResponseHead head;
    head.contentLength = 99;
    head.status = -99;
    Parsed p;
    p.result = ParseResponseHead(header, from, head);
    p.length = head.contentLength;
    p.status = head.status;
    p.modified = head.lastModified;
    p.redirect = head.redirect;
    return p;
}

TEST(BuildRequest, TheFixedHeaderSetInItsOrder) {
    const HttpTarget target = Aim("http://files.example:8080/pkg/Game");
    DownloadOptions options;
    EXPECT_EQ(BuildRequest(target, options, {}),
              "GET /pkg/Game HTTP/1.1\r\n"
              "Host: files.example:8080\r\n"
              "Accept: */*\r\n"
              "Pragma: no-cache\r\n"
              "Cache-Control: no-cache\r\n"
              "User-Agent: HttpDownload/2.0\r\n"
              "Connection: close\r\n\r\n");
    options.proxy.type = kProxyHttp;
    options.proxy.server = {"proxy", 3128, true, "p", "q"};
    const std::string viaProxy = BuildRequest(target, options, {"http://files.example/old"});
    EXPECT_EQ(viaProxy.substr(0, viaProxy.find("Host:")),
              "GET http://files.example:8080/pkg/Game HTTP/1.1\r\n"
              "Proxy-Authorization: Basic cDpx\r\n");
    EXPECT_NE(viaProxy.find("Referer: http://files.example/old\r\nConnection: close"),
              std::string::npos);
}

struct HeaderCase {
    const char* name;
    const char* header;
    int result;
    std::uint64_t length;
    int status;
};

TEST(ParseResponseHeader, StatusDecidesTheOutcome) {
    const HeaderCase cases[] = {
        {"ok", "HTTP/1.1 200 OK\r\nContent-Length: 12\r\n", kRequestOk, 12, 200},
        {"name in any case", "HTTP/1.1 200 OK\r\ncOnTeNt-LeNgTh:  7 \r\n", kRequestOk, 7, 200},
        {"partial content", "HTTP/1.1 206 Partial\r\nContent-Length: 5\r\n", kRequestOk, 5, 206},
        {"zero length", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n", kRequestOk, 0, 200},
        {"no length", "HTTP/1.1 200 OK\r\nServer: x\r\n", kRequestFailed, 0, 200},
        {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n", kRequestFailed, 0, 200},
        {"over 4 GiB", "HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n", kRequestOk, 4294967296u,
         200},
        {"past any disk", "HTTP/1.1 200 OK\r\nContent-Length: 1152921504606846977\r\n",
         kRequestFailed, 0, 200},
        {"past 64 bits", "HTTP/1.1 200 OK\r\nContent-Length: 18446744073709551617\r\n",
         kRequestFailed, 0, 200},
        {"no reason phrase", "HTTP/1.1 200\r\nContent-Length: 1\r\n", kRequestFailed, 0, 0},
        {"empty", "", kRequestFailed, 0, 0},
        {"not found", "HTTP/1.1 404 Not Found\r\n", kRequestNotFound, 0, 404},
        {"forbidden", "HTTP/1.1 403 Forbidden\r\n", kRequestFailed, 0, 403},
        {"server error", "HTTP/1.1 503 Busy\r\n", kRequestRetry, 0, 503},
        {"negative status", "HTTP/1.1 -1 What\r\n", kRequestFailed, 0, 0},
        {"status not a number", "HTTP/1.1 OK Fine\r\nContent-Length: 1\r\n", kRequestFailed, 0, 0},
        {"empty reason", "HTTP/1.1 200 \r\nContent-Length: 3\r\n", kRequestOk, 3, 200},
        {"no version", "Content-Length: 932\r\nServer: x\r\n", kRequestFailed, 0, 0},
        {"length inside another name",
         "HTTP/1.1 200 OK\r\nX-Content-Length: 5\r\nContent-Length: 9\r\n", kRequestOk, 9, 200},
        {"only a length inside another name", "HTTP/1.1 200 OK\r\nX-Content-Length: 5\r\n",
         kRequestFailed, 0, 200},
        {"length with junk", "HTTP/1.1 200 OK\r\nContent-Length: 1x2345\r\n", kRequestFailed, 0,
         200},
        {"lengths that differ", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 50\r\n",
         kRequestFailed, 0, 200},
        {"the same length twice", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 5\r\n",
         kRequestOk, 5, 200},
        {"redirect without location", "HTTP/1.1 302 Found\r\n", kRequestFailed, 0, 302},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n", kRequestOk, 0, 200},
        {"chunks outrank a length",
         "HTTP/1.1 200 OK\r\nContent-Length: 9\r\nTransfer-Encoding: chunked\r\n", kRequestOk, 0,
         200},
        {"a coding we cannot undo", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n",
         kRequestFailed, 0, 200},
    };
    for (const HeaderCase& c : cases) {
        const Parsed p = ParseHeader(Aim("http://h/a/b.zip"), c.header);
        EXPECT_EQ(p.result, c.result) << c.name;
        EXPECT_EQ(p.length, c.length) << c.name;
        EXPECT_EQ(p.status, c.status) << c.name;
    }
}

TEST(ParseResponseHeader, LastModifiedOrTheTimeOfReading) {
    const HttpTarget from = Aim("http://h/a");
    Parsed p = ParseHeader(from,
                           "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n"
                           "Last-Modified: Wed, 21 Oct 2015 07:28:00 GMT\r\n");
    ASSERT_EQ(p.result, kRequestOk);
    EXPECT_EQ(p.modified, 1445412480);
    const auto before = static_cast<std::int64_t>(std::time(nullptr));
    p = ParseHeader(from, "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nLast-Modified: someday\r\n");
    ASSERT_EQ(p.result, kRequestOk);
    EXPECT_GE(p.modified, before);
    EXPECT_LE(p.modified, before + 5);
}

// Fields count only at the start of a line: "Content-Location" is not "Location", and
// "X-Last-Modified" is not "Last-Modified".
TEST(ParseResponseHeader, FieldsAreFoundByTheirWholeName) {
    const HttpTarget from = Aim("http://h/a/b.zip");
    const Parsed redirected = ParseHeader(from,
                                          "HTTP/1.1 302 Found\r\nContent-Location: /decoy.zip\r\n"
                                          "Location: /real.zip\r\n");
    ASSERT_EQ(redirected.result, kRequestStoppedOrRedirect);
    ASSERT_TRUE(redirected.redirect);
    EXPECT_EQ(redirected.redirect->object, "/real.zip");
    const Parsed p = ParseHeader(from,
                                 "HTTP/1.1 200 OK\r\nX-Last-Modified: Thu, 01 Jan 1970 "
                                 "00:00:00 GMT\r\nLast-Modified: Wed, 21 Oct 2015 07:28:00 "
                                 "GMT\r\nContent-Length: 1\r\n");
    ASSERT_EQ(p.result, kRequestOk);
    EXPECT_EQ(p.modified, 1445412480);
}

TEST(ParseResponseHeader, RedirectsJoinTheLocationToTheAddress) {
    const struct {
        const char* from;
        const char* location;
        int result;
        const char* url;
        const char* host;
        const char* object;
        std::uint16_t port;
    } cases[] = {
        {"http://h:81/a/b.zip", "/X/Y.zip", kRequestStoppedOrRedirect, "http://h:81/X/Y.zip", "h",
         "/X/Y.zip", 81},
        {"http://h/a/b/c.zip", "../z.zip", kRequestStoppedOrRedirect, "http://h/a/z.zip", "h",
         "/a/z.zip", 80},
        {"http://h/a/b/c.zip", "d.zip", kRequestStoppedOrRedirect, "http://h/a/b/d.zip", "h",
         "/a/b/d.zip", 80},
        {"http://h/a/b.zip", "HTTP://Other:8080/New.zip", kRequestStoppedOrRedirect,
         "HTTP://Other:8080/New.zip", "Other", "/New.zip", 8080},
        {"http://h/a/b.zip", "\\win\\Style.zip", kRequestStoppedOrRedirect,
         "http://h/win/Style.zip", "h", "/win/Style.zip", 80},
        {"http://h/a/b.zip", "https://secure/b.zip", kRequestStoppedOrRedirect,
         "https://secure/b.zip", "secure", "/b.zip", 443},
        {"https://h:8443/a/b.zip", "/c.zip", kRequestStoppedOrRedirect, "https://h:8443/c.zip", "h",
         "/c.zip", 8443},
        {"https://h/a/b.zip", "/c.zip", kRequestStoppedOrRedirect, "https://h/c.zip", "h", "/c.zip",
         443},
        {"https://h/a/b.zip", "http://h/c.zip", kRequestStoppedOrRedirect, "http://h/c.zip", "h",
         "/c.zip", 80},
        {"http://h/a/b.zip", "ftp://h/b.zip", kRequestFailed, "http://h/a/b.zip", "h", "/a/b.zip",
         80},
        {"https://h/a/b.zip", "//cdn.example/c.zip", kRequestStoppedOrRedirect,
         "https://cdn.example/c.zip", "cdn.example", "/c.zip", 443},
        {"http://h/a/b.zip", "/c.zip\rX-Injected: 1", kRequestFailed, "http://h/a/b.zip", "h",
         "/a/b.zip", 80},
    };
    for (const auto& c : cases) {
        const HttpTarget from = Aim(c.from);
        const std::string header =
            std::string("HTTP/1.1 302 Found\r\nLocation: ") + c.location + "\r\n";
        const Parsed p = ParseHeader(from, header);
        EXPECT_EQ(p.result, c.result) << c.location;
        // A refused redirect leaves the download where it was.
        const HttpTarget to = p.redirect.value_or(from);
        EXPECT_EQ(to.url, c.url) << c.location;
        EXPECT_EQ(to.host, c.host) << c.location;
        EXPECT_EQ(to.object, c.object) << c.location;
        EXPECT_EQ(to.port, c.port) << c.location;
    }
}

TEST(ParseChunkSizeLine, HexSizesWithOptionalExtensions) {
    const struct {
        const char* line;
        bool ok;
        std::uint64_t size;
    } cases[] = {
        {"0", true, 0},
        {"1a", true, 26},
        {"FFff", true, 0xFFFF},
        {"10;name=v", true, 16},
        {"10 ; name", true, 16},
        {"80000000", true, 0x80000000},
        {"1000000000000000", true, std::uint64_t{1} << 60},
        {"1000000000000001", false, 0},
        // A digit past 2^60 would wrap the size to a small one.
        {"10000000000000000", false, 0},
        {"1000000000000000f", false, 0},
        {"00000000000000000000001", true, 1},
        {"ffffffffffffffffff", false, 0},
        {"", false, 0},
        {";x", false, 0},
        {"-1", false, 0},
        {"1 2", false, 0},
        {"0x10", false, 0},
        {"g", false, 0},
    };
    for (const auto& c : cases) {
        std::uint64_t size = 12345;
        EXPECT_EQ(ParseChunkSizeLine(c.line, size), c.ok) << c.line;
        EXPECT_EQ(size, c.size) << c.line;
    }
}

}  // namespace
}  // namespace tavrin
