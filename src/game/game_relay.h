// GameRelay: the game movie's TCP connections. The Flash player in the page reaches sockets
// only through WebSockets; this relay passes their bytes to the game servers a trusted
// client configuration lists and to servers whose socket policy lets the movie in, and to
// nothing else.
//
// The page's side of a connection goes over the web engine's own message channel: the
// page's WebSocket for a relay address is the page's own object, whose bytes the front end
// hands to ChannelSend and takes from ChannelReceive. No network connection leaves the page,
// so a page served from the Internet, which its engine keeps from reaching the player's own
// machine, still plays its sockets.
//
// A connection starts with the page asking the launcher (Connect) for a proxy address the
// player was given. The relay decides (a listed server, or the Flash player's policy rule)
// and connects in the background; the answer carries a one-time ticket for the page's
// connection that then carries the bytes both ways. When the outcome is known within a short wait
// the page learns it at once, so that a refused or unreachable server fails the movie's connect as
// it did in Flash; past that wait the page goes on and the movie keeps running, the bytes it writes
// waiting in the relay until the server is there (a failure then closes the socket; the server
// never sees bytes it was not allowed).
//
// All sockets are served by one thread of the relay's own; the connects and policy requests
// run on short-lived threads of their own, a bounded number at a time, each ended and waited
// for when its connection goes or the relay stops. A server named by a host name is looked up
// once per connect: its policies are asked for at that address and the connection goes there.
// The callbacks come from the relay's thread (a refusal at once from the caller's).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/config.h"
#include "net/socket_policy.h"

namespace tavrin {

// How long a server's failure to give its policy (no answer, no policy) is remembered: the
// connections of that moment ask once, a later one asks again.
inline constexpr int kPolicyFailureMemoryMs = 5000;

// The socket policies the relays of a run have asked for, by the address and port they came
// from ("203.0.113.5:843"): a server that gave one is asked once in a run, however many movies
// and connections want it; one that gave none is asked again after a few seconds. Those
// asking for one that is being asked wait for that answer.
class PolicyCache {
public:
    explicit PolicyCache(int failureMemoryMs = kPolicyFailureMemoryMs)
        : m_failureMemoryMs(failureMemoryMs) {}
    // The one every relay of this run uses unless it is given another.
    static std::shared_ptr<PolicyCache> ForThisRun();

    // `address`: the address the connection will go to, never a name that may answer
    // differently the next time.
    PolicyAnswer Get(const std::string& address, std::uint16_t port, int timeoutMs);

private:
    struct Entry {
        std::optional<PolicyAnswer> answer;
        std::chrono::steady_clock::time_point answeredAt;
        bool asking = false;
    };
    const int m_failureMemoryMs;
    std::mutex m_mutex;
    std::condition_variable m_answered;
    std::map<std::string, Entry> m_entries;
};

class GameRelay {
public:
    struct Limits {
        // Unsent bytes towards a game server that does not read: past this the connection
        // ends, rather than the launcher holding everything the movie writes. While the
        // server is still being reached, the movie's writes wait in the page instead.
        std::size_t pendingToServer = 8u << 20;
        // Unsent bytes towards the movie: reading from the game server pauses above this, so
        // a flood waits in the server's own buffers.
        std::size_t pendingToMovie = 1u << 20;
        // All connections together: above this, reading pauses everywhere, and a connection
        // whose server has taken nothing for stalledServerMs is ended to make room.
        std::size_t budget = 32u << 20;
        int stalledServerMs = 10000;
        int connections = 64;
        // Connects (with their policy requests) running at once, each on a thread; the
        // others wait their turn.
        int attemptsInFlight = 16;
        int connectTimeoutMs = 20000;  // as a Flash socket's default time-out
        int unclaimedTicketMs = 10000;
        // How long a connect may hold the movie before it goes on in the background.
        int quickAnswerMs = 250;
        int policyTimeoutMs = kPolicyTimeoutMs;
        std::uint16_t masterPolicyPort = kMasterPolicyPort;
    };

    struct Answer {
        enum class Result {
            kConnected,  // the server is there: `url` is the WebSocket's address
            kPending,    // still deciding or connecting: `url` already works
            kFailed,     // could not connect (or no such proxy address, or too many)
            kRefused,    // neither listed nor allowed by a policy
        };
        Result result = Result::kFailed;
        std::string url;
        std::string endpoint;  // "host:port"; empty for an address the relay never gave out
        std::string detail;    // how it was allowed, or why not
    };
    using ConnectDone = std::function<void(const Answer&)>;

    // A proxy address for the player: `port` 0 stands for every port, the port's number to be
    // appended to `url`.
    struct Proxy {
        std::string host;
        std::uint16_t port = 0;
        std::string url;
    };

    // `listed`: the servers of a trusted client configuration; `policyHosts`: the hosts
    // whose servers may let the movie in with a socket policy.
    GameRelay(std::vector<SocketEndpoint> listed, std::vector<std::string> policyHosts,
              Limits limits);
    GameRelay(std::vector<SocketEndpoint> listed, std::vector<std::string> policyHosts)
        : GameRelay(std::move(listed), std::move(policyHosts), Limits()) {}
    ~GameRelay();
    GameRelay(const GameRelay&) = delete;
    GameRelay& operator=(const GameRelay&) = delete;

    // Starts serving; false (in the log) when it cannot.
    bool Start();
    // The movie's address: its host is the domain that policies must allow.
    void SetMovie(const std::string& movieUrl);
    // Every final outcome (connected, failed, refused), for reports; set before Start.
    void SetObserver(ConnectDone observer);
    // The policies the relay asks are kept here (by default, PolicyCache::ForThisRun); set
    // before Start.
    void SetPolicyCache(std::shared_ptr<PolicyCache> cache);

    std::vector<Proxy> Proxies() const;
    // "host:port" behind a proxy address; empty for one never given out.
    std::string EndpointFor(const std::string& proxyUrl) const;

    // Starts a connection for a proxy address; `done` gets the first answer, once.
    void Connect(const std::string& proxyUrl, ConnectDone done);

    // The page's side of a connection through the engine's channel, `url` the address of a
    // Connect's answer. Open claims it, once; false for an address that is not a fresh
    // ticket. The callbacks come once each, from the relay's thread.
    bool ChannelOpen(const std::string& url);
    // The movie's bytes; `taken` (false: the connection is over, the bytes go nowhere) once
    // the relay has room for them: until then the page holds what the movie writes next.
    void ChannelSend(const std::string& url, std::string bytes, std::function<void(bool)> taken);
    // The server's next bytes once there are any; after the last of them, the close.
    struct Received {
        std::string bytes;
        int closeCode = 0;  // 0 while open; a WebSocket close code once the connection ended
    };
    void ChannelReceive(const std::string& url, std::function<void(const Received&)> done);
    // The movie closed its socket.
    void ChannelClose(const std::string& url);

    // Connections whose page side is open, for diagnostics and tests.
    int OpenConnections() const;
    // Connects running now (at most Limits::attemptsInFlight).
    int AttemptsInFlight() const;
    // Bytes held on their way to the movies, and in all.
    std::size_t HeldForMovies() const;
    std::size_t Held() const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

// The hosts whose servers a movie may reach by policy: the movie's own host, then hosts that
// its flash variables name (an address, "host" or "host:port"), each once, at most `limit`.
std::vector<std::string> PolicyHostsFor(const std::string& movieUrl, const std::string& flashVars,
                                        std::size_t limit = 4);

}  // namespace tavrin
