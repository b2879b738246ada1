// The game relay against real sockets on loopback: game servers with and without socket
// policies, and the page's side of each connection through the relay's channel.
#include "game/game_relay.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "net/socket_transport.h"
#include "support/game_peer.h"
#include "support/loopback_socket.h"

namespace tavrin {
namespace {

using Result = GameRelay::Answer::Result;
using test::ChannelClient;
using test::GamePeer;

const std::string kMovie = "http://127.0.0.1:8080/game/arena.swf";

std::string PolicyFor(const std::string& domain, const std::string& ports = "*") {
    return "<cross-domain-policy><allow-access-from domain=\"" + domain + "\" to-ports=\"" + ports +
           "\"/></cross-domain-policy>";
}

// A port where nothing listens: the master policy port in these tests.
std::uint16_t ClosedPort() {
    std::uint16_t port = 0;
    const test::SocketHandle s = test::ListenOnLoopback(port);
    test::CloseSocket(s);
    return port;
}

class RelayTest : public ::testing::Test {
protected:
    void Start(std::vector<SocketEndpoint> listed, const std::string& policyHost = "127.0.0.1") {
        m_limits.masterPolicyPort = ClosedPort();
        m_relay = std::make_unique<GameRelay>(std::move(listed),
                                              std::vector<std::string>{policyHost}, m_limits);
        m_relay->SetObserver([this](const GameRelay::Answer& answer) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_final.push_back(answer);
            m_changed.notify_all();
        });
        m_relay->SetMovie(kMovie);
        // A cache of each relay's own unless the test shares one: ports come back.
        m_relay->SetPolicyCache(m_policies ? m_policies : std::make_shared<PolicyCache>());
        ASSERT_TRUE(m_relay->Start());
    }
    // The proxy address of port `port` on the policy host, or of listed server `index`.
    std::string PolicyProxy(std::uint16_t port) const {
        return m_relay->Proxies().back().url + std::to_string(port);
    }
    GameRelay::Answer Connect(const std::string& proxy) {
        std::unique_lock<std::mutex> lock(m_mutex);
        std::optional<GameRelay::Answer> answer;
        lock.unlock();
        m_relay->Connect(proxy, [&](const GameRelay::Answer& a) {
            const std::lock_guard<std::mutex> inner(m_mutex);
            answer = a;
            m_changed.notify_all();
        });
        lock.lock();
        m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return answer.has_value(); });
        return answer.value_or(GameRelay::Answer{});
    }
    GameRelay::Answer FinalOutcome() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return !m_final.empty(); });
        return m_final.empty() ? GameRelay::Answer{} : m_final.back();
    }

    GameRelay::Limits m_limits;
    std::shared_ptr<PolicyCache> m_policies;
    std::unique_ptr<GameRelay> m_relay;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<GameRelay::Answer> m_final;
};

TEST_F(RelayTest, ListedServersAndServersWhosePolicyAllowsTheMovieAreReachedOthersNever) {
    const struct {
        const char* name;
        std::string policy;  // served on the server's own port; "" none
        bool listed;
        Result expected;
    } cases[] = {
        {"listed, no policy needed", "", true, Result::kConnected},
        {"a policy for any domain", PolicyFor("*"), false, Result::kConnected},
        {"a policy for the movie's host", PolicyFor("127.0.0.1"), false, Result::kConnected},
        {"a policy for another domain", PolicyFor("*.example.com"), false, Result::kRefused},
        {"a policy for other ports", PolicyFor("*", "1-2"), false, Result::kRefused},
        {"a server that says nothing to a policy request", "", false, Result::kRefused},
    };
    m_limits.policyTimeoutMs = 300;  // the silent server's refusal comes in time for the answer
    m_limits.quickAnswerMs = 5000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_final.clear();
        GamePeer server({"", c.policy});
        Start(c.listed ? std::vector<SocketEndpoint>{{"127.0.0.1", server.Port()}}
                       : std::vector<SocketEndpoint>{});
        const std::string proxy =
            c.listed ? m_relay->Proxies().front().url : PolicyProxy(server.Port());
        const GameRelay::Answer answer = Connect(proxy);
        EXPECT_EQ(answer.result, c.expected) << answer.detail;
        EXPECT_EQ(answer.endpoint, "127.0.0.1:" + std::to_string(server.Port()));
        if (c.expected == Result::kConnected) {
            ChannelClient movie(*m_relay);
            ASSERT_TRUE(movie.Open(answer.url));
            movie.Send("HELLO");
            for (int i = 0; i < 100 && server.Received().empty(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            ASSERT_EQ(server.Received().size(), 1u);
        } else {
            EXPECT_TRUE(answer.url.empty());
            // The policy request is all it ever got.
            for (const std::string& received : server.Received()) {
                EXPECT_EQ(received, std::string("<policy-file-request/>\0", 23));
            }
        }
        m_relay.reset();
    }
}

TEST_F(RelayTest, ASlowDecisionLetsThePageGoOnAndTheMoviesBytesWaitForTheServer) {
    m_limits.quickAnswerMs = 50;
    for (const bool allowed : {true, false}) {
        SCOPED_TRACE(allowed ? "allowed in the end" : "refused in the end");
        m_final.clear();
        GamePeer server({"", PolicyFor(allowed ? "*" : "other.example"), 700});
        Start({});
        const auto asked = std::chrono::steady_clock::now();
        const GameRelay::Answer answer = Connect(PolicyProxy(server.Port()));
        EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(600));
        ASSERT_EQ(answer.result, Result::kPending);
        ChannelClient movie(*m_relay);
        ASSERT_TRUE(movie.Open(answer.url));
        ASSERT_TRUE(movie.Send("written while the policy was asked for"));
        const GameRelay::Answer outcome = FinalOutcome();
        EXPECT_EQ(outcome.result, allowed ? Result::kConnected : Result::kRefused);
        if (allowed) {
            for (int i = 0; i < 100 && server.Received().empty(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            ASSERT_EQ(server.Received().size(), 1u);
            EXPECT_EQ(server.Received()[0], "written while the policy was asked for");
        } else {
            EXPECT_EQ(movie.AwaitClose(), 1011);
            EXPECT_TRUE(server.Received().empty());
        }
        m_relay.reset();
    }
}

TEST_F(RelayTest, AServerIsAskedForItsPolicyOnceInARun) {
    GamePeer server({"", PolicyFor("*")});
    m_policies = std::make_shared<PolicyCache>();
    for (int movie = 0; movie < 2; ++movie) {  // a refreshed game gets a relay of its own
        Start({});
        for (int connect = 0; connect < 2; ++connect) {
            EXPECT_EQ(Connect(PolicyProxy(server.Port())).result, Result::kConnected);
        }
        m_relay.reset();
    }
    EXPECT_EQ(server.PolicyRequests(), 1);
}

// A name that answers with a server allowing everything until its policy has been read, and
// with another address after that (on the player's own network, say): the connection goes
// where the policy came from.
TEST_F(RelayTest, AServerIsReachedAtTheAddressItsPolicyCameFrom) {
    GamePeer allowing({"", PolicyFor("*"), 0, true, "127.0.0.2"});
    GamePeer elsewhere({"", "", 0, true, "127.0.0.3", allowing.Port()});
    const auto loopback = [](unsigned char last) {
        const unsigned char bytes[4] = {127, 0, 0, last};
        Ipv4Address address = 0;
        std::memcpy(&address, bytes, sizeof address);
        return address;
    };
    SetHostLookupForTests([&](const std::string& host) {
        return host != "game.test" ? kNoAddress : loopback(allowing.PolicyRequests() > 0 ? 3 : 2);
    });
    m_limits.quickAnswerMs = 5000;
    Start({}, "game.test");
    const GameRelay::Answer answer = Connect(PolicyProxy(allowing.Port()));
    SetHostLookupForTests({});
    ASSERT_EQ(answer.result, Result::kConnected) << answer.detail;
    ChannelClient movie(*m_relay);
    ASSERT_TRUE(movie.Open(answer.url));
    ASSERT_TRUE(movie.Send("HELLO"));
    for (int i = 0; i < 100 && allowing.Received().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(allowing.Received(), std::vector<std::string>{"HELLO"});
    EXPECT_TRUE(elsewhere.Received().empty());
}

// A server that gave no policy in time is refused while that is fresh, and asked again a
// moment later (a game server down at the first connect is not refused for the whole run).
TEST_F(RelayTest, AServerThatGaveNoPolicyIsAskedAgainAfterAMoment) {
    GamePeer server({"", PolicyFor("*"), 600});
    m_policies = std::make_shared<PolicyCache>(300);
    m_limits.quickAnswerMs = 5000;
    m_limits.policyTimeoutMs = 200;
    Start({});
    EXPECT_EQ(Connect(PolicyProxy(server.Port())).result, Result::kRefused);
    EXPECT_EQ(Connect(PolicyProxy(server.Port())).result, Result::kRefused);
    EXPECT_EQ(server.PolicyRequests(), 1);  // the failure was remembered for the second
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    m_limits.policyTimeoutMs = 3000;
    Start({});  // the refreshed game's relay, with the same run's policies
    EXPECT_EQ(Connect(PolicyProxy(server.Port())).result, Result::kConnected);
    EXPECT_EQ(server.PolicyRequests(), 2);
}

// Connects run a few at a time, and a relay that stops ends and waits for its own.
TEST_F(RelayTest, ConnectsRunAFewAtATimeAndEndWithTheirRelay) {
    m_limits.attemptsInFlight = 3;
    m_limits.quickAnswerMs = 0;
    m_limits.policyTimeoutMs = 20000;
    std::vector<std::unique_ptr<GamePeer>> servers;  // each slow to give its policy
    for (int i = 0; i < 8; ++i) {
        servers.push_back(std::make_unique<GamePeer>(GamePeer::Script{"", PolicyFor("*"), 2500}));
    }
    const auto asked = [&] {
        int requests = 0;
        for (const auto& server : servers) {
            requests += server->PolicyRequests();
        }
        return requests;
    };
    Start({});
    for (const auto& server : servers) {
        EXPECT_EQ(Connect(PolicyProxy(server->Port())).result, Result::kPending);
    }
    for (int i = 0; i < 100 && asked() < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(asked(), 3);
    EXPECT_EQ(m_relay->AttemptsInFlight(), 3);
    const auto stopping = std::chrono::steady_clock::now();
    m_relay.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::milliseconds(1500));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(asked(), 3);  // none started after
}

TEST_F(RelayTest, OneBudgetHoldsAllConnectionsToServersThatStopReading) {
    m_limits.budget = 512 * 1024;
    m_limits.stalledServerMs = 500;
    GamePeer server({"", "", 0, false});
    Start({{"127.0.0.1", server.Port()}});
    constexpr int kSockets = 6;
    std::vector<std::unique_ptr<ChannelClient>> movies;
    for (int i = 0; i < kSockets; ++i) {
        const GameRelay::Answer answer = Connect(m_relay->Proxies().front().url);
        ASSERT_EQ(answer.result, Result::kConnected);
        movies.push_back(std::make_unique<ChannelClient>(*m_relay));
        ASSERT_TRUE(movies.back()->Open(answer.url));
    }
    // Each writes until it cannot, far more than the kernel's buffers take; the relay holds
    // at most its budget (and one read beyond it), and lets go of servers that take nothing.
    const std::string block(256 * 1024, 'x');
    std::vector<bool> stuck(kSockets, false);
    std::size_t mostHeld = 0;
    for (int round = 0; round < 256; ++round) {
        for (int i = 0; i < kSockets; ++i) {
            stuck[i] = stuck[i] || !movies[i]->Send(block, 100);
        }
        mostHeld = std::max(mostHeld, m_relay->Held());
    }
    EXPECT_GE(mostHeld, m_limits.budget);
    EXPECT_LE(mostHeld, m_limits.budget + 64 * 1024 * kSockets);
    // The first let go ends within its stall time; the others may not be needed to make room.
    const auto oneClosedForTooMuch = [&] {
        for (int tries = 0; tries < 30; ++tries) {
            for (auto& movie : movies) {
                if (movie->AwaitClose(0) == 1009) {
                    return true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    };
    EXPECT_TRUE(oneClosedForTooMuch());
}

TEST_F(RelayTest, AListedIpv6ServerIsReached) {
    std::uint16_t port = 0;
    const test::SocketHandle listener = test::ListenOnLoopback(port, 4, test::Family::kIpv6);
    if (listener == test::kNoSocket) {
        GTEST_SKIP() << "this system has no IPv6 loopback";
    }
    Start({{"::1", port}});
    const GameRelay::Answer answer = Connect(m_relay->Proxies().front().url);
    ASSERT_EQ(answer.result, Result::kConnected) << answer.detail;
    EXPECT_EQ(answer.endpoint, "[::1]:" + std::to_string(port));
    ChannelClient movie(*m_relay);
    ASSERT_TRUE(movie.Open(answer.url));
    ASSERT_TRUE(movie.Send("over IPv6"));
    ASSERT_TRUE(test::WaitReadable(listener, 5000));
    const test::SocketHandle server = test::AcceptConnection(listener);
    std::string received;
    char buffer[64];
    while (received.size() < 9 && test::WaitReadable(server, 5000)) {
        const long n = test::ReceiveSome(server, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        received.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(received, "over IPv6");
    test::CloseSocket(server);
    test::CloseSocket(listener);
}

TEST(PolicyHosts, TheMoviesHostAndTheHostsItsFlashVariablesName) {
    const struct {
        std::string movie;
        std::string flashVars;
        std::vector<std::string> expected;
    } cases[] = {
        {"http://Game.Example.com/a.swf", "", {"game.example.com"}},
        {"http://cdn.example.com/a.swf",
         "ip=10.0.0.7&port=5000&chat=chat.example.com%3A843",
         {"cdn.example.com", "10.0.0.7", "chat.example.com"}},
        {"https://cdn.example.com/a.swf",
         "api=https%3A%2F%2Fapi.example.net%2Fv1&lang=zh&v=1.2",
         {"cdn.example.com", "api.example.net"}},
        {"http://a.example/x.swf",
         "s1=b.example&s2=c.example&s3=d.example&s4=e.example",
         {"a.example", "b.example", "c.example", "d.example"}},
        {"file:///x.swf", "name=.hidden&n=5&s=a..b", {}},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> hosts = PolicyHostsFor(c.movie, c.flashVars);
        EXPECT_EQ(hosts, c.expected) << c.movie << " " << c.flashVars;
    }
}

}  // namespace
}  // namespace tavrin
