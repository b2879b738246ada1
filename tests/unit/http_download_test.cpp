// Downloads against scripted peers on loopback: the body, the request on the wire, redirects,
// retries, stopping, the completion mutex and the SOCKS handshakes.
#include "net/http_download.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/file_system.h"
#include "platform/named_mutex.h"
#include "support/download_setup.h"
#include "support/http_peer.h"
#include "support/tcp_peer.h"
#include "support/temp_dir.h"

namespace tavrin {
namespace {

using test::UniqueSuffix;

using test::HttpPeer;
using test::HttpReply;
using test::HttpRequest;
using test::TcpPeer;

std::string Body(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        body[i] = static_cast<char>((i * 131 + 7) % 251);
    }
    return body;
}

HttpReply Reply(const std::string& status, const std::string& headers, const std::string& body) {
    return {"HTTP/1.1 " + status + "\r\n" + headers + "Content-Length: " +
            std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body};
}

// What the peer has received once it has at least `bytes` of it (the peer reads on its own
// thread, so the download may finish first).
std::string ReceivedBy(const TcpPeer& peer, std::size_t bytes) {
    for (int i = 0; i < 200 && peer.Received().size() < bytes; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return peer.Received();
}

class Downloads : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SocketStartup(), 0);
        m_download.Options().connectTimeoutMs = 2000;
        m_download.Options().recvTimeoutMs = 2000;
        m_download.Options().sendTimeoutMs = 2000;
        m_download.Options().mutexPrefix = "_MUTEX_test" + UniqueSuffix();
    }
    void TearDown() override { SocketCleanup(); }

    std::string Target() const { return m_tmp / "out/target.bin"; }

    test::TempDir m_tmp;
    CHttpDownload m_download;
};

TEST_F(Downloads, TheBodyLandsInTheTargetStampedWithLastModified) {
    const std::string body = Body(100000);
    HttpPeer peer([&](const HttpRequest&) {
        return Reply("200 OK", "Last-Modified: Wed, 21 Oct 2015 07:28:00 GMT\r\n", body);
    });
    std::vector<int> codes;
    std::string name;
    m_download.Options().progress = [&](const DownloadProgress& p) {
        codes.push_back(p.code);
        name = p.name;
    };
    const DownloadOutcome outcome = m_download.Download(peer.Url("/pkg/target.bin"), Target());
    ASSERT_EQ(outcome.result, DL_OK) << outcome.reason;
    EXPECT_EQ(test::ReadFile(Target()), body);
    EXPECT_FALSE(platform::PathExists(Target() + ".down"));
    struct stat st;
    ASSERT_EQ(stat(Target().c_str(), &st), 0);
    EXPECT_EQ(static_cast<long long>(st.st_mtime), 1445412480LL);
    ASSERT_GE(codes.size(), 4u);
    EXPECT_EQ((std::vector<int>{codes[0], codes[1], codes[2]}), (std::vector<int>{2, 1, 3}));
    EXPECT_EQ(outcome.received, 100000);
    EXPECT_EQ(outcome.total, 100000);
    EXPECT_EQ(outcome.status, 200);
    EXPECT_EQ(outcome.lastModified, 1445412480);
    EXPECT_EQ(outcome.url, peer.Url("/pkg/target.bin"));
    EXPECT_EQ(name, "target.bin");
}

TEST_F(Downloads, TheRequestGoesOutByteForByte) {
    TcpPeer peer({"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", false});
    m_download.Options().serverAuth = true;
    m_download.Options().user = "u";
    m_download.Options().password = "p";
    const std::string address = "http://127.0.0.1:" + std::to_string(peer.Port()) + "/a/b.zip";
    ASSERT_EQ(m_download.Download(address, Target()).result, DL_OK);
    const std::string expected =
        "GET /a/b.zip HTTP/1.1\r\n"
        "Authorization: Basic dTpw\r\n"
        "Host: 127.0.0.1:" +
        std::to_string(peer.Port()) +
        "\r\n"
        "Accept: */*\r\n"
        "Pragma: no-cache\r\n"
        "Cache-Control: no-cache\r\n"
        "User-Agent: HttpDownload/2.0\r\n"
        "Connection: close\r\n\r\n";
    EXPECT_EQ(ReceivedBy(peer, expected.size()), expected);
}

TEST_F(Downloads, RedirectsKeepTheLocationsCaseAndSetTheReferer) {
    HttpPeer peer([](const HttpRequest& r) {
        if (r.target == "/start") {
            return HttpReply{
                "HTTP/1.1 302 Found\r\nLocation: /Files/Game.ZIP\r\n"
                "Content-Length: 0\r\n\r\n"};
        }
        return r.target == "/Files/Game.ZIP" ? Reply("200 OK", "", "zip") : Reply("404 No", "", "");
    });
    ASSERT_EQ(m_download.Download(peer.Url("/start"), Target()).result, DL_OK);
    const auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].target, "/Files/Game.ZIP");
    EXPECT_EQ(requests[1].headers.at("referer"), peer.Url("/start"));
    EXPECT_EQ(test::ReadFile(Target()), "zip");
    // The next download of the same downloader does not tell its server where the last
    // one was redirected from.
    ASSERT_EQ(m_download.Download(peer.Url("/Files/Game.ZIP"), Target()).result, DL_OK);
    EXPECT_EQ(peer.Requests().back().headers.count("referer"), 0u);
}

TEST_F(Downloads, ARedirectLoopEndsAfterTwentyRedirects) {
    HttpPeer peer([](const HttpRequest&) {
        return HttpReply{"HTTP/1.1 302 Found\r\nLocation: /again\r\nContent-Length: 0\r\n\r\n"};
    });
    EXPECT_EQ(m_download.Download(peer.Url("/again"), Target()).result, DL_FAILED);
    EXPECT_EQ(peer.Requests().size(), static_cast<std::size_t>(CHttpDownload::kMaxRedirects + 1));
}

TEST_F(Downloads, CredentialsStayWithTheirServer) {
    HttpPeer other([](const HttpRequest&) { return Reply("200 OK", "", "x"); });
    HttpPeer first([&](const HttpRequest&) {
        return HttpReply{"HTTP/1.1 301 Moved\r\nLocation: " + other.Url("/x") +
                         "\r\nContent-Length: 0\r\n\r\n"};
    });
    m_download.Options().serverAuth = true;
    m_download.Options().user = "secret";
    ASSERT_EQ(m_download.Download(first.Url("/x"), Target()).result, DL_OK);
    EXPECT_EQ(first.Requests().at(0).headers.count("authorization"), 1u);
    EXPECT_EQ(other.Requests().at(0).headers.count("authorization"), 0u);
}

TEST_F(Downloads, NotFoundAndEmptyResourcesFailWithoutAFile) {
    const struct {
        const char* status;
        std::string body;
        int result;
    } cases[] = {{"404 Not Found", "gone", DL_NOT_FOUND},
                 {"200 OK", "", DL_FAILED},
                 {"403 Forbidden", "no", DL_FAILED}};
    for (const auto& c : cases) {
        HttpPeer peer([&](const HttpRequest&) { return Reply(c.status, "", c.body); });
        EXPECT_EQ(m_download.Download(peer.Url("/f"), Target()).result, c.result) << c.status;
        EXPECT_FALSE(platform::PathExists(Target())) << c.status;
    }
}

HttpReply ChunkedReply(const std::string& chunks) {
    return {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n" + chunks};
}

TEST_F(Downloads, ChunkedBodiesAreDecodedIntoTheTarget) {
    const std::string big = Body(70000);  // spans several reads and write blocks
    const struct {
        const char* name;
        std::string chunks;
        int result;
        std::string body;
    } cases[] = {
        {"chunks", "5\r\nhello\r\n1;ext=x\r\n \r\n5\r\nworld\r\n0\r\n\r\n", DL_OK, "hello world"},
        {"trailer", "3\r\nabc\r\n0\r\nChecksum: 1\r\n\r\n", DL_OK, "abc"},
        {"large", "11170\r\n" + big + "\r\n0\r\n\r\n", DL_OK, big},
        {"empty body", "0\r\n\r\n", DL_OK, ""},
        {"bad size", "5\r\nhello\r\nzz\r\nxx\r\n0\r\n\r\n", DL_FAILED, ""},
        {"data longer than its size", "3\r\nabcdef\r\n0\r\n\r\n", DL_FAILED, ""},
        {"cut inside a chunk", "a\r\nabc", DL_FAILED, ""},
        {"no last chunk", "3\r\nabc\r\n", DL_FAILED, ""},
    };
    for (const auto& c : cases) {
        HttpPeer peer([&](const HttpRequest&) { return ChunkedReply(c.chunks); });
        EXPECT_EQ(m_download.Download(peer.Url("/gen"), Target()).result, c.result) << c.name;
        if (c.result == DL_OK) {
            EXPECT_EQ(test::ReadFile(Target()), c.body) << c.name;
        } else {
            EXPECT_FALSE(platform::PathExists(Target())) << c.name;
        }
        platform::DeleteFileForced(Target());
    }
}

// Whatever a server sends after the announced length is not part of the file.
TEST_F(Downloads, BytesAfterTheBodyAreNotWritten) {
    const std::string body = Body(30000);
    HttpPeer peer([&](const HttpRequest&) {
        HttpReply reply = Reply("200 OK", "", body);
        reply.bytes += std::string(40000, 'x');
        return reply;
    });
    ASSERT_EQ(m_download.Download(peer.Url("/f"), Target()).result, DL_OK);
    EXPECT_EQ(test::ReadFile(Target()), body);
}

TEST_F(Downloads, ServerErrorsAreRetriedWithinTheBudgetAfterThePause) {
    HttpPeer peer([](const HttpRequest&) { return Reply("503 Busy", "", "later"); });
    m_download.Options().retry.mode = 1;
    m_download.Options().retry.maxRetries = 2;
    m_download.Options().retry.delayMs = 200;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_download.Download(peer.Url("/f"), Target()).result, DL_FAILED);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(peer.Requests().size(), 3u);
    EXPECT_GE(took, std::chrono::milliseconds(400));
    EXPECT_LT(took, std::chrono::seconds(5));
}

TEST_F(Downloads, ABrokenBodyStartsAgainWithinTheRetryBudget) {
    const std::string body = Body(5000);
    for (const int mode : {0, 1}) {
        std::atomic<int> calls{0};
        HttpPeer peer([&](const HttpRequest&) {
            HttpReply full = Reply("200 OK", "", body);
            if (calls++ == 0) {
                full.bytes.resize(full.bytes.size() - 2000);  // the connection ends early
            }
            return full;
        });
        m_download.Options().retry.mode = mode;
        m_download.Options().retry.maxRetries = 2;
        const int result = m_download.Download(peer.Url("/f"), Target()).result;
        if (mode == 0) {
            EXPECT_EQ(result, DL_FAILED);
            EXPECT_FALSE(platform::PathExists(Target() + ".down"));
        } else {
            ASSERT_EQ(result, DL_OK);
            EXPECT_EQ(test::ReadFile(Target()), body);
            EXPECT_EQ(calls.load(), 2);
        }
    }
}

// After a cut, the next attempt asks for the rest of the same body; a server that cannot
// give it (200 or 416) gives the whole body again. The result is the body, byte for byte.
TEST_F(Downloads, ABrokenBodyContinuesWhereItBroke) {
    const std::string body = Body(300000);
    const std::string etag = "\"v1\"";
    for (const std::string answer : {"206", "200", "416"}) {
        HttpPeer peer([&](const HttpRequest& r) {
            const auto range = r.headers.find("range");
            if (peer.Requests().size() == 1) {  // cut after two thirds
                return HttpReply{"HTTP/1.1 200 OK\r\nETag: " + etag +
                                 "\r\nContent-Length: 300000\r\n\r\n" + body.substr(0, 200000)};
            }
            if (range == r.headers.end() || answer == "200") {
                return Reply("200 OK", "ETag: " + etag + "\r\n", body);
            }
            if (answer == "416") {
                return HttpReply{"HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\n\r\n"};
            }
            const std::size_t from = std::stoul(range->second.substr(6));
            return HttpReply{"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " +
                             std::to_string(from) + "-299999/300000\r\nContent-Length: " +
                             std::to_string(body.size() - from) + "\r\n\r\n" + body.substr(from)};
        });
        m_download.Options().retry.mode = 1;
        m_download.Options().retry.maxRetries = 1;
        ASSERT_EQ(m_download.Download(peer.Url("/pkg.zip"), Target()).result, DL_OK) << answer;
        EXPECT_TRUE(test::ReadFile(Target()) == body) << answer;
        const std::vector<HttpRequest> asked = peer.Requests();
        ASSERT_GE(asked.size(), 2u) << answer;
        EXPECT_EQ(asked[1].headers.at("range"), "bytes=200000-") << answer;
        EXPECT_EQ(asked[1].headers.at("if-range"), etag) << answer;
        EXPECT_EQ(asked.size(), answer == "416" ? 3u : 2u) << answer;
    }
}

// Between the two requests the server put another file of the same length in its place, and
// answers the range without heeding If-Range: the download starts again from zero.
TEST_F(Downloads, ARangeOfAnotherFileStartsTheBodyAgain) {
    const std::string first = Body(300000);
    std::string second = first;
    second[100000] = static_cast<char>(second[100000] ^ 0x5A);  // in the part already kept
    HttpPeer peer([&](const HttpRequest& r) {
        if (peer.Requests().size() == 1) {
            return HttpReply{"HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nContent-Length: 300000\r\n\r\n" +
                             first.substr(0, 200000)};
        }
        if (r.headers.count("range") != 0) {
            return HttpReply{
                "HTTP/1.1 206 Partial Content\r\nETag: \"v2\"\r\nContent-Range: bytes "
                "200000-299999/300000\r\nContent-Length: 100000\r\n\r\n" +
                second.substr(200000)};
        }
        return Reply("200 OK", "ETag: \"v2\"\r\n", second);
    });
    m_download.Options().retry.mode = 1;
    m_download.Options().retry.maxRetries = 1;
    ASSERT_EQ(m_download.Download(peer.Url("/pkg.zip"), Target()).result, DL_OK);
    EXPECT_TRUE(test::ReadFile(Target()) == second);
    const std::vector<HttpRequest> asked = peer.Requests();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[2].headers.count("range"), 0u);
}

TEST_F(Downloads, TheOwnerCanStopADownload) {
    HttpPeer peer([](const HttpRequest&) { return Reply("200 OK", "", Body(200000)); });
    m_download.Options().progress = [this](const DownloadProgress& p) {
        if (p.code == 3 && p.received > 0) {
            m_download.Stop();
        }
    };
    EXPECT_EQ(m_download.Download(peer.Url("/f"), Target()).result, DL_STOPPED);
    EXPECT_FALSE(platform::PathExists(Target()));
    EXPECT_FALSE(platform::PathExists(Target() + ".down"));  // no partial body left behind
}

TEST_F(Downloads, SizesPastFourGiBAreCountedWhole) {
    const std::int64_t announced = (std::int64_t{5} << 30) + 7;
    HttpPeer peer([&](const HttpRequest&) {
        return HttpReply{"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(announced) +
                         "\r\n\r\n" + Body(1000)};
    });
    std::vector<DownloadProgress> seen;
    m_download.Options().progress = [&](const DownloadProgress& p) {
        seen.push_back(p);
        if (p.received >= 1000) {
            m_download.Stop();
        }
    };
    EXPECT_EQ(m_download.Download(peer.Url("/big.iso"), Target()).result, DL_STOPPED);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().total, announced);
    EXPECT_EQ(seen.back().received, 1000);
}

TEST_F(Downloads, ASecondFinisherKeepsTheFirstOnesTarget) {
    const std::string prefix = "_MUTEX_second" + UniqueSuffix();
    m_download.Options().mutexPrefix = prefix;
    HttpPeer peer([](const HttpRequest&) { return Reply("200 OK", "", "mine"); });
    // Another process is putting the same file in place right now.
    auto other = std::make_unique<platform::NamedMutex>(prefix + "_target.bin");
    ASSERT_TRUE(other->Lock());
    std::atomic<int> result{-1};
    std::thread worker([&] { result = m_download.Download(peer.Url("/f"), Target()).result; });
    while (test::ReadFile(Target() + ".down") != "mine") {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_tmp.Write("out/target.bin", "theirs");
    other.reset();
    worker.join();
    EXPECT_EQ(result.load(), DL_OK);
    EXPECT_EQ(test::ReadFile(Target()), "theirs");
    EXPECT_FALSE(platform::PathExists(Target() + ".down"));
}

TEST_F(Downloads, ATargetThatCannotBeReplacedFailsAndStaysAsItWas) {
    HttpPeer peer([](const HttpRequest&) { return Reply("200 OK", "", "new"); });
    m_tmp.Write("out/target.bin/kept.txt", "old");  // a folder where the file belongs
    EXPECT_EQ(m_download.Download(peer.Url("/f"), Target()).result, DL_FAILED);
    EXPECT_TRUE(platform::IsDirectory(Target()));
    EXPECT_EQ(test::ReadFile(Target() + "/kept.txt"), "old");
    EXPECT_FALSE(platform::PathExists(Target() + ".down"));
}

// The tool names its completion mutex by the target's folder: finishing a/pkg.zip while
// another copy finishes b/pkg.zip must not count as the same file.
TEST_F(Downloads, SameNamedTargetsInOtherFoldersDoNotShareTheMutex) {
    HttpPeer peer([](const HttpRequest&) { return Reply("200 OK", "", "fresh"); });
    const std::string mine = m_tmp / "b/pkg.zip";
    const std::string theirs = m_tmp / "a/pkg.zip";
    m_tmp.Write("b/pkg.zip", "stale");
    platform::NamedMutex other(TargetMutexPrefix(theirs) + "_pkg.zip");
    ASSERT_TRUE(other.Lock());
    m_download.Options().mutexPrefix = TargetMutexPrefix(mine);
    EXPECT_EQ(m_download.Download(peer.Url("/pkg.zip"), mine).result, DL_OK);
    EXPECT_EQ(test::ReadFile(mine), "fresh");
    EXPECT_EQ(TargetMutexPrefix(mine), TargetMutexPrefix(m_tmp / "b/other.zip"));
}

// A server that sends a byte now and then never lets a wait time out; only the download's
// own deadline ends it.
TEST_F(Downloads, ATricklingServerIsLeftAtTheDeadline) {
    HttpPeer peer([](const HttpRequest&) {
        HttpReply reply = Reply("200 OK", "", Body(1000));
        reply.trickle = std::chrono::milliseconds(100);  // the whole reply would take 100 s
        return reply;
    });
    m_download.Options().deadlineMs = 800;
    m_download.Options().retry.mode = 2;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_download.Download(peer.Url("/f"), Target()).result, DL_FAILED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(platform::PathExists(Target() + ".down"));
}

// A server that trickles one byte at a time, each well within the wait's own time-out, inside
// a header line, a chunk-size line or a TLS record: the download ends by its deadline, and
// within a moment of its owner's stop.
TEST_F(Downloads, TricklesInsideALineOrARecordEndByTheDeadlineAndTheStop) {
    const std::string chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const struct {
        const char* where;
        const char* scheme;
        std::string bytes;
        std::size_t atOnce;
    } cases[] = {
        {"a header line", "http", "HTTP/1.1 200 OK\r\nX-Slow: " + std::string(500, 'a'), 20},
        {"a chunk-size line", "http", chunkedHead + std::string(500, '0'), chunkedHead.size()},
        {"a TLS record", "https", std::string("\x16\x03\x03\x40\x00", 5) + std::string(500, 'a'),
         5},
    };
    using Clock = std::chrono::steady_clock;
    for (const auto& c : cases) {
        for (const bool stop : {false, true}) {
            TcpPeer peer({.send = c.bytes,
                          .closeAfter = false,
                          .trickle = std::chrono::milliseconds(100),
                          .trickleFrom = c.atOnce});
            std::atomic<bool> cancel{false};
            m_download.Options().cancel = &cancel;
            m_download.Options().deadlineMs = stop ? 0 : 1500;
            std::thread stopper([&] {
                if (stop) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(500));
                    cancel = true;
                }
            });
            const auto start = Clock::now();
            const int result = m_download
                                   .Download(std::string(c.scheme) + "://127.0.0.1:" +
                                                 std::to_string(peer.Port()) + "/f",
                                             Target())
                                   .result;
            const auto took = Clock::now() - start;
            stopper.join();
            m_download.Options().cancel = nullptr;
            EXPECT_EQ(result, stop ? DL_STOPPED : DL_FAILED) << c.where;
            EXPECT_LT(took, stop ? std::chrono::milliseconds(500 + 200)
                                 : std::chrono::milliseconds(1500 + 1000))
                << c.where << (stop ? ", stopped" : ", deadline");
            EXPECT_GE(took, std::chrono::milliseconds(stop ? 500 : 1500)) << c.where;
        }
    }
}

// Another program holds the completion mutex and never lets go: the download ends by its
// deadline, or at its owner's stop, and the target stays as it was.
TEST_F(Downloads, AStuckHolderOfTheCompletionMutexHoldsNothingUp) {
    HttpPeer peer([](const HttpRequest&) { return Reply("200 OK", "", Body(1000)); });
    for (const bool stop : {false, true}) {
        // Held on a thread of its own: a Windows mutex lets its owning thread in again.
        std::atomic<int> held{0};
        std::thread holder([&] {
            platform::NamedMutex mutex(m_download.Options().mutexPrefix + "_target.bin");
            held = mutex.Lock() ? 1 : -1;
            while (held == 1) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        while (held == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_EQ(held, 1);
        std::atomic<bool> cancel{false};
        m_download.Options().cancel = &cancel;
        m_download.Options().deadlineMs = stop ? 0 : 1000;
        std::thread stopper([&] {
            if (stop) {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                cancel = true;
            }
        });
        const auto start = std::chrono::steady_clock::now();
        const DownloadOutcome outcome = m_download.Download(peer.Url("/f"), Target());
        const auto took = std::chrono::steady_clock::now() - start;
        stopper.join();
        held = 2;
        holder.join();
        m_download.Options().cancel = nullptr;
        EXPECT_EQ(outcome.result, stop ? DL_STOPPED : DL_FAILED);
        EXPECT_LT(took, std::chrono::milliseconds(stop ? 700 : 2000));
        EXPECT_FALSE(platform::PathExists(Target()));
    }
}

TEST_F(Downloads, BodiesOverTheLimitFailBeforeTheyAreWritten) {
    const std::string chunked =
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
        "400\r\n" +
        std::string(1024, 'a') +
        "\r\n"
        "400\r\n" +
        std::string(1024, 'b') + "\r\n0\r\n\r\n";
    for (const std::string& reply : {Reply("200 OK", "", Body(2000)).bytes, chunked}) {
        HttpPeer peer([&](const HttpRequest&) { return HttpReply{reply}; });
        std::remove(Target().c_str());
        m_download.Options().maxBodyBytes = 1500;
        EXPECT_EQ(m_download.Download(peer.Url("/update.ini"), Target()).result, DL_FAILED);
        EXPECT_FALSE(platform::PathExists(Target()));
        m_download.Options().maxBodyBytes = 2048;
        EXPECT_EQ(m_download.Download(peer.Url("/update.ini"), Target()).result, DL_OK);
    }
}

TEST_F(Downloads, InterimAnswersBeforeTheRealOneAreSkipped) {
    HttpPeer peer([](const HttpRequest&) {
        return HttpReply{
            "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </s>\r\n\r\n" +
            Reply("200 OK", "", "body").bytes};
    });
    EXPECT_EQ(m_download.Download(peer.Url("/f"), Target()).result, DL_OK);
    EXPECT_EQ(test::ReadFile(Target()), "body");
}

TEST_F(Downloads, ThroughSocks4TheRequestFollowsTheHandshake) {
    TcpPeer proxy(
        {std::string("\0\x5a\0\0\0\0\0\0", 8) + "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello",
         false});
    test::UseProxy(m_download.Options(), kProxySocks4, proxy.Port());
    m_download.Options().proxy.server.user =
        "id";  // SOCKS 4's user id, sent without authentication
    ASSERT_EQ(m_download.Download("http://10.1.2.3:8080/f", Target()).result, DL_OK);
    EXPECT_EQ(test::ReadFile(Target()), "hello");
    const std::string sent = ReceivedBy(proxy, 29);
    EXPECT_EQ(sent.substr(0, 11), std::string("\4\1\x1f\x90\x0a\1\2\3id\0", 11));
    EXPECT_EQ(sent.substr(11, 18), "GET /f HTTP/1.1\r\nH");
}

TEST_F(Downloads, ThroughAnHttpProxyTheRequestNamesTheWholeAddress) {
    TcpPeer proxy({"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", false});
    test::UseProxy(m_download.Options(), kProxyHttp, proxy.Port(), "who", "pw");
    ASSERT_EQ(m_download.Download("http://files.example/pkg", Target()).result, DL_OK);
    const std::string sent = ReceivedBy(proxy, 80);
    EXPECT_EQ(sent.substr(0, sent.find("Host:")),
              "GET http://files.example/pkg HTTP/1.1\r\n"
              "Proxy-Authorization: Basic d2hvOnB3\r\n");
}

TEST_F(Downloads, Socks5WithCredentialsSendsThemAndTheTargetsAddress) {
    TcpPeer proxy({std::string("\5\2"
                               "\1\0"
                               "\5\0\0\1\0\0\0\0\0\0",
                               14) +
                       "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx",
                   false});
    test::UseProxy(m_download.Options(), kProxySocks5, proxy.Port(), "u", "pw");
    ASSERT_EQ(m_download.Download("http://10.0.0.9:81/f", Target()).result, DL_OK);
    EXPECT_EQ(ReceivedBy(proxy, 20).substr(0, 20), std::string("\5\2\0\2"
                                                               "\1\1u\2pw"
                                                               "\5\1\0\1\x0a\0\0\x09\0\x51",
                                                               20));
}

TEST_F(Downloads, Socks5AskingForCredentialsWeDoNotHaveFailsAtOnce) {
    TcpPeer proxy({"\x05\x02", false});
    test::UseProxy(m_download.Options(), kProxySocks5, proxy.Port());
    m_download.Options().retry.mode = 2;  // would retry forever if this were retryable
    EXPECT_EQ(m_download.Download("http://h.example/f", Target()).result, DL_FAILED);
    EXPECT_EQ(ReceivedBy(proxy, 3), std::string("\5\1\0", 3));
}

TEST_F(Downloads, Socks5FieldsOver255BytesAreRefusedBeforeAnythingIsSent) {
    const std::string longName(256, 'n');
    const struct {
        const char* what;
        std::string host, user, password;
    } cases[] = {
        {"host", longName + ".example", "", ""},
        {"user", "h.example", longName, "pw"},
        {"password", "h.example", "u", longName},
    };
    for (const auto& c : cases) {
        TcpPeer proxy({"\x05\x02\x01\x00", false});
        test::UseProxy(m_download.Options(), kProxySocks5, proxy.Port(), c.user, c.password);
        EXPECT_EQ(m_download.Download("http://" + c.host + "/f", Target()).result, DL_FAILED)
            << c.what;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(proxy.Received(), "") << c.what;
    }
}

TEST_F(Downloads, BadAddressesAndPathsFailAtOnce) {
    m_download.Options().retry.mode = 2;  // unlimited: only a failure that is final can end these
    EXPECT_EQ(m_download.Download("", Target()).result, DL_FAILED);
    EXPECT_EQ(m_download.Download("ftp://h/f", Target()).result, DL_FAILED);
    EXPECT_EQ(m_download.Download("http://127.0.0.1:70000/f", Target()).result, DL_FAILED);
    EXPECT_EQ(m_download.Download("127.0.0.1:/f", Target()).result, DL_FAILED);
    EXPECT_EQ(m_download.Download("http://h/f", "  ").result, DL_FAILED);
    m_download.Options().proxy.type = 2;  // not a supported proxy type
    EXPECT_EQ(m_download.Download("http://127.0.0.1/f", Target()).result, DL_FAILED);
}

}  // namespace
}  // namespace tavrin
