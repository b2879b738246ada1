// The game relay's insides, shared by its files: one connection's state, and the relay's
// state that its thread, the callers and the connect threads share under its mutex.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "game/game_relay.h"
#include "net/socket_transport.h"

namespace tavrin {

namespace relay {

using Clock = std::chrono::steady_clock;
using Answer = GameRelay::Answer;

constexpr std::size_t kChunkBytes = 64 * 1024;
// How long a connection whose movie has gone may take to hand its last bytes to the server.
constexpr auto kFlushTime = std::chrono::seconds(10);
// How long the page has to hear the relay's close.
constexpr auto kCloseGrace = std::chrono::seconds(2);

// The WebSocket close codes the page's socket reports.
constexpr std::uint16_t kCloseNormal = 1000;
constexpr std::uint16_t kCloseTooMuchData = 1009;
constexpr std::uint16_t kCloseServerError = 1011;

std::string RandomToken();
// "host:port", an IPv6 address in brackets.
std::string Endpoint(const std::string& host, std::uint16_t port);
std::string Lower(std::string text);
// The server behind a proxy address of the relay: a listed one ("e/<index>") or a port of a
// policy host ("p/<index>/<port>").
bool ResolveProxy(const std::string& prefix, const std::vector<SocketEndpoint>& listed,
                  const std::vector<std::string>& policyHosts, const std::string& url,
                  SocketEndpoint& target, bool& isListed);

// The address the page's connections through the engine's channel carry: no network knows
// it, and the page takes it for its own object, never a real WebSocket.
constexpr const char* kChannelPrefix = "ws://tavrin-relay.invalid/";

// One movie connection: the page's side, over the engine's channel, and the game server's TCP
// connection.
struct Link {
    std::string ticket;
    SocketEndpoint target;
    std::string endpoint;
    bool listed = false;
    enum class Stage { kDeciding, kOpen, kFailed } stage = Stage::kDeciding;
    Answer::Result failure = Answer::Result::kFailed;
    std::string detail;

    GameRelay::ConnectDone done;  // until the page has its answer
    Clock::time_point answerBy;
    std::optional<Clock::time_point> claimBy;  // the ticket's end, once given out

    SocketHandle server = kInvalidSocket;
    // Once the page has claimed the ticket, its calls wait here until they can be answered.
    bool channelOpen = false;
    std::string sendWaiting;
    std::function<void(bool)> sendDone;
    std::function<void(const GameRelay::Received&)> receiveDone;
    std::uint16_t closeCode = 0;  // what the page is told after the server's last bytes

    std::string toServer;
    std::size_t toServerSent = 0;
    std::string toMovie;
    std::size_t toMovieSent = 0;
    bool serverEnded = false;  // the server closed, failed, or was let go
    bool movieEnded = false;   // the page closed its socket, or heard the close
    bool closeSent = false;
    std::optional<Clock::time_point> endBy;    // the page's time to hear our close
    std::optional<Clock::time_point> flushBy;  // the server's to take the movie's last bytes
    Clock::time_point serverTookAt = Clock::now();
    // Its connect: waiting for its turn until started; told to end when the link goes.
    bool attemptStarted = false;
    std::shared_ptr<std::atomic<bool>> attemptCancelled = std::make_shared<std::atomic<bool>>();

    bool Claimed() const { return channelOpen; }
    std::size_t HeldForServer() const { return toServer.size() - toServerSent; }
    std::size_t HeldForMovie() const { return toMovie.size() - toMovieSent; }
};

struct Finished {
    std::string ticket;
    SocketHandle server = kInvalidSocket;
    Answer::Result result = Answer::Result::kConnected;
    std::string detail;
};

}  // namespace relay

struct GameRelay::State : std::enable_shared_from_this<GameRelay::State> {
    Limits limits;
    std::vector<SocketEndpoint> listed;
    std::vector<std::string> policyHosts;
    ConnectDone observer;

    mutable std::mutex mutex;
    bool stopping = false;
    std::string runKey = relay::RandomToken();
    SocketHandle wakeWait = kInvalidSocket;
    SocketHandle wakeRaise = kInvalidSocket;
    std::string movieHost;
    bool movieHttps = false;
    std::map<std::string, std::unique_ptr<relay::Link>> links;
    std::vector<relay::Finished> finished;
    std::shared_ptr<PolicyCache> policies = PolicyCache::ForThisRun();
    std::deque<std::string> waitingToAttempt;     // tickets, in the order they came
    std::map<std::string, std::thread> attempts;  // by ticket, until it is taken in
    std::thread thread;

    // Callbacks are made without the lock, collected while it is held.
    using Calls = std::vector<std::function<void()>>;
    Calls calls;

    ~State();
    void Wake() const;
    std::string Prefix() const;
    // Gives the page (once) and the observer (for final outcomes) the link's answer.
    void Answer(relay::Link& link, GameRelay::Answer::Result result, const std::string& detail);

    // The loop (relay_serve.cpp).
    void Serve();
    void ServeOnce();
    void TakeFinished(relay::Finished& done);
    // The connects (relay_attempts.cpp), with the lock held: the next ones started while
    // there is room, and a finished one's thread taken in.
    void StartAttempts();
    void EndAttempt(const std::string& ticket);
    // Once the relay's thread has ended: every connect told to end, and waited for.
    void StopAttempts();
    // The bytes of each connection (relay_links.cpp), with the lock held.
    // A channel link's waiting calls (relay_channel.cpp), answered when they can be: the
    // answers to make once the lock is let go.
    void MoveChannel(relay::Link& link, bool overBudget, Calls& answers);
    void EndChannelCalls(relay::Link& link, Calls& answers);
    // The link of a ticket address of the channel; ChannelLink: only one the page has claimed.
    relay::Link* TicketLink(const std::string& url);
    relay::Link* ChannelLink(const std::string& url);
    void TakeFromMovie(relay::Link& link, const std::string& bytes);
    void MoveLink(relay::Link& link, const PollEntry* server);
    void ReadServer(relay::Link& link);
    void EndServer(relay::Link& link, const char* why);
    void CloseMovie(relay::Link& link, std::uint16_t code);
    bool LinkIsOver(relay::Link& link, relay::Clock::time_point now);
    void LetGoOfStalled(relay::Clock::time_point now);
    std::size_t HeldLocked() const;
};

}  // namespace tavrin
