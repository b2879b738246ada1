#include "game/game_relay.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <utility>

#include "app/diagnostics.h"
#include "net/http_parse.h"
#include "net/socket_transport.h"
#include "net/websocket.h"

namespace tavrin {

namespace {

using Clock = std::chrono::steady_clock;
using Answer = GameRelay::Answer;

constexpr std::size_t kChunkBytes = 64 * 1024;
// How long a connection whose movie has gone may take to hand its last bytes to the server.
constexpr auto kFlushTime = std::chrono::seconds(10);
// How long the page has to answer the relay's close.
constexpr auto kCloseGrace = std::chrono::seconds(2);
// How long a page has to send its WebSocket's opening request.
constexpr auto kHandshakeTime = std::chrono::seconds(5);

std::string RandomToken() {
    static const char kDigits[] = "0123456789abcdef";
    std::random_device random;
    std::string token;
    for (int i = 0; i < 32; ++i) {
        token += kDigits[random() % 16];
    }
    return token;
}

std::string Endpoint(const std::string& host, std::uint16_t port) {
    return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
           std::to_string(port);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// "scheme://host:port" of an http(s) address, the port always written; empty for others.
std::string OriginOf(const std::string& url) {
    const std::size_t colon = url.find("://");
    if (colon == std::string::npos) {
        return {};
    }
    const std::string scheme = Lower(url.substr(0, colon));
    if (scheme != "http" && scheme != "https") {
        return {};
    }
    std::string host;
    std::string object;
    std::uint16_t port = 0;
    // An Origin field has no path.
    const std::string address = url.find('/', colon + 3) == std::string::npos ? url + "/" : url;
    if (!ParseUrl(address, host, object, port) || host.empty()) {
        return {};
    }
    return scheme + "://" + Lower(host) + ":" + std::to_string(port);
}

// One movie connection: the page's WebSocket and the game server's TCP connection.
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
    SocketHandle movie = kInvalidSocket;
    WebSocketFrameReader reader{true};
    std::string toServer;
    std::size_t toServerSent = 0;
    std::string toMovie;  // whole frames
    std::size_t toMovieSent = 0;
    bool serverEnded = false;  // the server closed, failed, or was let go
    bool movieEnded = false;   // the page closed its WebSocket, or it broke
    bool closeSent = false;
    std::optional<Clock::time_point> endBy;    // the page's time to answer our close
    std::optional<Clock::time_point> flushBy;  // the server's to take the movie's last bytes
    Clock::time_point serverTookAt = Clock::now();

    std::size_t HeldForServer() const { return toServer.size() - toServerSent; }
    std::size_t HeldForMovie() const { return toMovie.size() - toMovieSent; }
};

// A page's connection before its opening request is read.
struct Opening {
    SocketHandle socket = kInvalidSocket;
    std::string received;
    std::string reply;  // a refusal on its way, then the socket closes
    std::size_t replySent = 0;
    Clock::time_point giveUpAt;
};

struct Finished {
    std::string ticket;
    SocketHandle server = kInvalidSocket;
    Answer::Result result = Answer::Result::kConnected;
    std::string detail;
};

}  // namespace

struct GameRelay::State {
    Limits limits;
    std::vector<SocketEndpoint> listed;
    std::vector<std::string> policyHosts;
    ConnectDone observer;

    mutable std::mutex mutex;
    bool stopping = false;
    std::string runKey = RandomToken();
    SocketHandle listener = kInvalidSocket;
    std::uint16_t port = 0;
    SocketHandle wakeWait = kInvalidSocket;
    SocketHandle wakeRaise = kInvalidSocket;
    std::string pageOrigin;
    std::string movieHost;
    bool movieHttps = false;
    std::map<std::string, std::unique_ptr<Link>> links;
    std::vector<Opening> openings;
    std::vector<Finished> finished;
    std::map<std::string, PolicyAnswer> policies;  // "host:port", for the run
    std::thread thread;

    // Callbacks are made without the lock, collected while it is held.
    std::vector<std::function<void()>> calls;

    ~State() {
        for (auto& [ticket, link] : links) {
            CloseSocket(link->server);
            CloseSocket(link->movie);
        }
        for (const Opening& opening : openings) {
            CloseSocket(opening.socket);
        }
        for (const Finished& done : finished) {
            CloseSocket(done.server);
        }
        CloseSocket(listener);
        CloseSocket(wakeWait);
        CloseSocket(wakeRaise);
    }

    void Wake() const {
        const char byte = 1;
        SendNow(wakeRaise, &byte, 1);
    }

    std::string Prefix() const {
        return "ws://127.0.0.1:" + std::to_string(port) + "/" + runKey + "/";
    }

    void Answer(Link& link, Answer::Result result, const std::string& detail) {
        GameRelay::Answer answer{result, {}, link.endpoint, detail};
        if (result == Answer::Result::kConnected || result == Answer::Result::kPending) {
            answer.url = Prefix() + "t/" + link.ticket;
            link.claimBy = Clock::now() + std::chrono::milliseconds(limits.unclaimedTicketMs);
        }
        if (link.done) {
            calls.push_back([done = std::move(link.done), answer] { done(answer); });
            link.done = nullptr;
        }
        if (result != Answer::Result::kPending && observer) {
            calls.push_back([observer = observer, answer] { observer(answer); });
        }
    }

    PolicyAnswer CachedPolicy(const std::string& host, std::uint16_t port) {
        const std::string key = Endpoint(host, port);
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (const auto found = policies.find(key); found != policies.end()) {
                return found->second;
            }
        }
        PolicyAnswer answer = RequestSocketPolicy(host, port, limits.policyTimeoutMs);
        const std::lock_guard<std::mutex> lock(mutex);
        policies.emplace(key, answer);
        return answer;
    }

    void Serve();
    void ServeOnce();
    void TakeFinished(Finished& done);
    void AcceptOpenings();
    void ReadOpening(Opening& opening);
    void MoveLink(Link& link, const PollEntry* movie, const PollEntry* server);
    void ReadMovie(Link& link);
    void ReadServer(Link& link);
    void EndServer(Link& link, const char* why);
    void CloseMovie(Link& link, std::uint16_t code);
    bool LinkIsOver(Link& link, Clock::time_point now);
    void LetGoOfStalled(Clock::time_point now);
    std::size_t HeldLocked() const;
};

namespace {

// The connect of one link, on a thread of its own: the policy first, where the list does not
// name the server, then the connection.
void Attempt(std::shared_ptr<GameRelay::State> state, std::string ticket, SocketEndpoint target,
             bool listed, std::string movieHost, bool movieHttps) {
    Finished done{ticket};
    if (listed) {
        done.detail = "listed";
    } else {
        const PolicySource source = [&state](const std::string& host, std::uint16_t port) {
            return state->CachedPolicy(host, port);
        };
        const SocketPermission permission =
            DecideSocketPermission(source, movieHost, movieHttps, target.host, target.port,
                                   state->limits.masterPolicyPort);
        done.detail = permission.reason;
        if (!permission.allowed) {
            done.result = Answer::Result::kRefused;
        }
    }
    if (done.result == Answer::Result::kConnected) {
        const SocketHandle s = CreateTcpSocket();
        if (s == kInvalidSocket ||
            ConnectToHost(s, target.host, target.port, state->limits.connectTimeoutMs, true) != 0 ||
            !SetNonBlocking(s)) {
            const int error = GetLastSocketError();
            CloseSocket(s);
            done.result = Answer::Result::kFailed;
            done.detail = error == SocketTimedOutError()
                              ? "no answer in time"
                              : "no connection (error " + std::to_string(error) + ")";
        } else {
            done.server = s;
        }
    }
    const std::lock_guard<std::mutex> lock(state->mutex);
    state->finished.push_back(std::move(done));
    state->Wake();
}

}  // namespace

void GameRelay::State::Serve() {
    for (;;) {
        std::vector<std::function<void()>> toCall;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (stopping) {
                return;
            }
        }
        ServeOnce();
        {
            const std::lock_guard<std::mutex> lock(mutex);
            toCall.swap(calls);
        }
        for (const auto& call : toCall) {
            call();
        }
    }
}

// One turn of the loop: wait for the sockets (or the next deadline), then serve them.
void GameRelay::State::ServeOnce() {
    std::vector<PollEntry> entries;
    std::vector<std::pair<std::string, bool>> owners;  // link ticket, movie side
    Clock::time_point next = Clock::now() + std::chrono::seconds(1);
    {
        const std::lock_guard<std::mutex> lock(mutex);
        const bool overBudget = HeldLocked() >= limits.budget;
        entries.push_back({wakeWait, true});
        entries.push_back({listener, true});
        for (const Opening& opening : openings) {
            entries.push_back({opening.socket, opening.reply.empty(), !opening.reply.empty()});
            next = std::min(next, opening.giveUpAt);
        }
        for (const auto& [ticket, link] : links) {
            if (link->done) {
                next = std::min(next, link->answerBy);
            }
            if (link->claimBy && link->movie == kInvalidSocket) {
                next = std::min(next, *link->claimBy);
            }
            for (const auto& end : {link->endBy, link->flushBy}) {
                if (end) {
                    next = std::min(next, *end);
                }
            }
            if (link->movie != kInvalidSocket) {
                const bool room =
                    link->stage == Link::Stage::kOpen
                        ? !overBudget
                        : link->HeldForServer() < limits.pendingToServer && !overBudget;
                entries.push_back(
                    {link->movie, !link->movieEnded && room, link->HeldForMovie() > 0});
                owners.emplace_back(ticket, true);
            }
            if (link->server != kInvalidSocket) {
                entries.push_back({link->server,
                                   !link->serverEnded && !overBudget &&
                                       link->HeldForMovie() < limits.pendingToMovie,
                                   link->HeldForServer() > 0});
                owners.emplace_back(ticket, false);
            }
        }
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
    PollSockets(entries.data(), entries.size(),
                static_cast<int>(std::clamp<long long>(wait.count() + 1, 0, 1000)));

    const std::lock_guard<std::mutex> lock(mutex);
    if (entries[0].readable) {
        char drain[64];
        while (ReceiveNow(wakeWait, drain, sizeof drain) > 0) {
        }
    }
    for (Finished& done : finished) {
        TakeFinished(done);
    }
    finished.clear();
    if (entries[1].readable) {
        AcceptOpenings();
    }
    for (std::size_t i = 0; i < openings.size(); ++i) {
        ReadOpening(openings[i]);
    }
    openings.erase(std::remove_if(openings.begin(), openings.end(),
                                  [](const Opening& o) { return o.socket == kInvalidSocket; }),
                   openings.end());
    std::map<std::string, std::pair<const PollEntry*, const PollEntry*>> ready;
    const std::size_t firstLinkEntry = entries.size() - owners.size();
    for (std::size_t i = 0; i < owners.size(); ++i) {
        auto& sides = ready[owners[i].first];
        (owners[i].second ? sides.first : sides.second) = &entries[firstLinkEntry + i];
    }
    const Clock::time_point now = Clock::now();
    for (auto it = links.begin(); it != links.end();) {
        Link& link = *it->second;
        if (link.done && now >= link.answerBy && link.stage == Link::Stage::kDeciding) {
            Answer(link, Answer::Result::kPending, "still connecting");
        }
        const auto sides = ready.find(it->first);
        if (sides != ready.end()) {
            MoveLink(link, sides->second.first, sides->second.second);
        }
        if (LinkIsOver(link, now)) {
            CloseSocket(link.server);
            CloseSocket(link.movie);
            it = links.erase(it);
        } else {
            ++it;
        }
    }
    if (HeldLocked() >= limits.budget) {
        LetGoOfStalled(now);
    }
}

void GameRelay::State::TakeFinished(Finished& done) {
    const auto found = links.find(done.ticket);
    if (found == links.end()) {
        CloseSocket(done.server);  // the ticket has expired meanwhile
        return;
    }
    Link& link = *found->second;
    link.detail = done.detail;
    if (done.result == Answer::Result::kConnected) {
        Diagnose("socket relay: %s connected (%s)", link.endpoint.c_str(), done.detail.c_str());
        link.stage = Link::Stage::kOpen;
        link.server = done.server;
        link.serverTookAt = Clock::now();
        Answer(link, Answer::Result::kConnected, done.detail);
        return;
    }
    Diagnose("socket relay: %s %s: %s", link.endpoint.c_str(),
             done.result == Answer::Result::kRefused ? "refused" : "failed", done.detail.c_str());
    link.stage = Link::Stage::kFailed;
    link.failure = done.result;
    const bool answered = !link.done;
    Answer(link, done.result, done.detail);
    if (answered) {
        // The page went on with it: its socket closes, and what the movie wrote goes nowhere.
        link.toServer.clear();
        link.toServerSent = 0;
        link.serverEnded = true;
        if (link.movie != kInvalidSocket) {
            CloseMovie(link, kCloseServerError);
        }
    } else {
        link.claimBy = Clock::now();  // nothing will come for it
    }
}

void GameRelay::State::AcceptOpenings() {
    for (;;) {
        const SocketHandle s = AcceptConnection(listener);
        if (s == kInvalidSocket) {
            return;
        }
        if (openings.size() >= static_cast<std::size_t>(limits.connections)) {
            CloseSocket(s);  // a page does not open this many at once
            continue;
        }
        openings.push_back({s, {}, {}, 0, Clock::now() + kHandshakeTime});
    }
}

void GameRelay::State::ReadOpening(Opening& opening) {
    const auto refuse = [&opening](int status, const char* reason, const std::string& why) {
        Diagnose("socket relay: a WebSocket refused: %s", why.c_str());
        opening.reply = WebSocketRefusal(status, reason);
        opening.replySent = 0;
    };
    if (Clock::now() >= opening.giveUpAt) {
        CloseSocket(opening.socket);
        opening.socket = kInvalidSocket;
        return;
    }
    if (!opening.reply.empty()) {
        const long n = SendNow(opening.socket, opening.reply.data() + opening.replySent,
                               static_cast<long>(opening.reply.size() - opening.replySent));
        if (n > 0) {
            opening.replySent += static_cast<std::size_t>(n);
        }
        if (n == -1 || opening.replySent == opening.reply.size()) {
            CloseSocket(opening.socket);
            opening.socket = kInvalidSocket;
        }
        return;
    }
    char buffer[2048];
    const long n = ReceiveNow(opening.socket, buffer, sizeof buffer);
    if (n == 0 || n == -1) {
        CloseSocket(opening.socket);
        opening.socket = kInvalidSocket;
        return;
    }
    if (n > 0) {
        opening.received.append(buffer, static_cast<std::size_t>(n));
    }
    WebSocketRequest request;
    std::size_t consumed = 0;
    std::string error;
    const RequestParse parsed = ParseWebSocketRequest(opening.received, request, consumed, error);
    if (parsed == RequestParse::kIncomplete) {
        return;
    }
    if (parsed == RequestParse::kInvalid) {
        refuse(400, "Bad Request", error);
        return;
    }
    const std::string prefix = "/" + runKey + "/t/";
    const auto found = request.path.rfind(prefix, 0) == 0
                           ? links.find(request.path.substr(prefix.size()))
                           : links.end();
    if (pageOrigin.empty() || OriginOf(request.origin) != pageOrigin) {
        refuse(403, "Forbidden", "from " + request.origin + ", not the player page");
        return;
    }
    if (found == links.end() || found->second->movie != kInvalidSocket || !found->second->claimBy ||
        found->second->stage == Link::Stage::kFailed) {
        refuse(403, "Forbidden", "no fresh ticket");
        return;
    }
    Link& link = *found->second;
    link.movie = opening.socket;
    opening.socket = kInvalidSocket;
    link.toMovie.insert(0, WebSocketOpening(request.key));
    // What the page sent after its request already belongs to the WebSocket.
    if (consumed < opening.received.size()) {
        WebSocketFrameReader::Output out;
        link.reader.Feed(std::string_view(opening.received).substr(consumed), out);
        link.toServer += out.data;
    }
}

void GameRelay::State::MoveLink(Link& link, const PollEntry* movie, const PollEntry* server) {
    if (movie != nullptr && movie->readable && !link.movieEnded) {
        ReadMovie(link);
    }
    if (server != nullptr && server->readable && !link.serverEnded) {
        ReadServer(link);
    }
    if (link.server != kInvalidSocket && link.HeldForServer() > 0) {
        const long n = SendNow(link.server, link.toServer.data() + link.toServerSent,
                               static_cast<long>(std::min(link.HeldForServer(), kChunkBytes * 4)));
        if (n > 0) {
            link.toServerSent += static_cast<std::size_t>(n);
            link.serverTookAt = Clock::now();
            if (link.toServerSent == link.toServer.size()) {
                link.toServer.clear();
                link.toServerSent = 0;
            }
        } else if (n == -1) {
            EndServer(link, nullptr);
        }
    }
    if (link.movie != kInvalidSocket && link.HeldForMovie() > 0) {
        const long n = SendNow(link.movie, link.toMovie.data() + link.toMovieSent,
                               static_cast<long>(link.HeldForMovie()));
        if (n > 0) {
            link.toMovieSent += static_cast<std::size_t>(n);
            if (link.toMovieSent == link.toMovie.size()) {
                link.toMovie.clear();
                link.toMovieSent = 0;
            }
        } else if (n == -1) {
            link.movieEnded = true;
            link.toMovie.clear();
            link.toMovieSent = 0;
        }
    }
    // The server's end reaches the movie after all the server sent.
    if (link.serverEnded && link.movie != kInvalidSocket && !link.closeSent &&
        link.stage != Link::Stage::kDeciding) {
        CloseMovie(link, link.stage == Link::Stage::kFailed ? kCloseServerError : kCloseNormal);
    }
}

void GameRelay::State::ReadMovie(Link& link) {
    char buffer[kChunkBytes];
    const long n = ReceiveNow(link.movie, buffer, sizeof buffer);
    if (n == kWouldBlock) {
        return;
    }
    if (n <= 0) {
        link.movieEnded = true;
        return;
    }
    WebSocketFrameReader::Output out;
    link.reader.Feed(std::string_view(buffer, static_cast<std::size_t>(n)), out);
    if (link.stage != Link::Stage::kFailed && !link.serverEnded) {
        link.toServer += out.data;
    }
    if (out.pinged && !link.closeSent) {
        link.toMovie += EncodeWebSocketFrame(WebSocketOpcode::kPong, out.ping);
    }
    if (!out.error.empty()) {
        Diagnose("socket relay: the page broke the WebSocket protocol: %s", out.error.c_str());
        CloseMovie(link, kCloseProtocolError);
        link.movieEnded = true;
    } else if (out.closed) {
        link.movieEnded = true;
        if (!link.closeSent) {
            link.toMovie += EncodeWebSocketClose(kCloseNormal);
            link.closeSent = true;
        }
    }
    if (link.stage == Link::Stage::kOpen && link.HeldForServer() > limits.pendingToServer) {
        Diagnose("socket relay: %s does not take what the game sends; closed",
                 link.endpoint.c_str());
        link.toServer.clear();
        link.toServerSent = 0;
        EndServer(link, nullptr);
        CloseMovie(link, kCloseTooMuchData);
    }
}

void GameRelay::State::ReadServer(Link& link) {
    char buffer[kChunkBytes];
    const long n = ReceiveNow(link.server, buffer, sizeof buffer);
    if (n == kWouldBlock) {
        return;
    }
    if (n <= 0) {
        EndServer(link, nullptr);
        return;
    }
    if (!link.closeSent) {
        link.toMovie += EncodeWebSocketFrame(WebSocketOpcode::kBinary,
                                             std::string_view(buffer, static_cast<std::size_t>(n)));
    }
}

void GameRelay::State::EndServer(Link& link, const char* why) {
    if (why != nullptr) {
        Diagnose("socket relay: %s %s", link.endpoint.c_str(), why);
    }
    link.serverEnded = true;
    CloseSocket(link.server);
    link.server = kInvalidSocket;
}

void GameRelay::State::CloseMovie(Link& link, std::uint16_t code) {
    if (link.closeSent || link.movie == kInvalidSocket) {
        return;
    }
    link.toMovie += EncodeWebSocketClose(code);
    link.closeSent = true;
    link.endBy = Clock::now() + kCloseGrace;
}

// True when nothing is left to do for the link: both sides done and their bytes delivered,
// or its time is up.
bool GameRelay::State::LinkIsOver(Link& link, Clock::time_point now) {
    if (link.movie == kInvalidSocket) {
        // Never claimed: the ticket lapses, the server connection with it.
        return !link.done && link.claimBy && now >= *link.claimBy;
    }
    if (link.endBy && now >= *link.endBy) {
        return true;
    }
    if (!link.movieEnded) {
        return false;
    }
    if (link.stage == Link::Stage::kDeciding) {
        return false;  // the server still gets what the movie wrote, once it is there
    }
    // What the movie wrote last still goes out before the server sees the close, and the
    // answer to the page's close before its socket closes.
    const bool serverDone = link.server == kInvalidSocket || link.HeldForServer() == 0;
    if (serverDone && link.HeldForMovie() == 0) {
        return true;
    }
    if (!link.flushBy) {
        link.flushBy = now + kFlushTime;
    }
    return now >= *link.flushBy;
}

void GameRelay::State::LetGoOfStalled(Clock::time_point now) {
    const auto stalled = std::chrono::milliseconds(limits.stalledServerMs);
    Link* worst = nullptr;
    for (auto& [ticket, link] : links) {
        if (link->stage == Link::Stage::kOpen && link->HeldForServer() > 0 &&
            now - link->serverTookAt >= stalled &&
            (worst == nullptr || link->HeldForServer() > worst->HeldForServer())) {
            worst = link.get();
        }
    }
    if (worst != nullptr) {
        Diagnose("socket relay: %s has taken nothing for %d s while the relay is full; closed",
                 worst->endpoint.c_str(), limits.stalledServerMs / 1000);
        worst->toServer.clear();
        worst->toServerSent = 0;
        EndServer(*worst, nullptr);
        CloseMovie(*worst, kCloseTooMuchData);
    }
}

std::size_t GameRelay::State::HeldLocked() const {
    std::size_t held = 0;
    for (const auto& [ticket, link] : links) {
        held += link->HeldForServer() + link->HeldForMovie();
    }
    return held;
}

GameRelay::GameRelay(std::vector<SocketEndpoint> listed, std::vector<std::string> policyHosts,
                     Limits limits)
    : m_state(std::make_shared<State>()) {
    m_state->limits = limits;
    m_state->listed = std::move(listed);
    m_state->policyHosts = std::move(policyHosts);
}

GameRelay::~GameRelay() {
    {
        const std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->stopping = true;
        m_state->Wake();
    }
    if (m_state->thread.joinable()) {
        m_state->thread.join();
    }
}

bool GameRelay::Start() {
    State& state = *m_state;
    state.listener = ListenOnLoopback(state.port);
    if (state.listener == kInvalidSocket || !MakeWakePair(state.wakeWait, state.wakeRaise)) {
        Diagnose("socket relay: cannot listen on the loopback interface (error %d)",
                 GetLastSocketError());
        return false;
    }
    state.thread = std::thread([shared = m_state] { shared->Serve(); });
    return true;
}

void GameRelay::SetMovie(const std::string& movieUrl) {
    std::string host;
    std::string object;
    std::uint16_t port = 0;
    const bool parsed = ParseUrl(movieUrl, host, object, port);
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->pageOrigin = OriginOf(movieUrl);
    m_state->movieHost = parsed ? Lower(host) : std::string();
    m_state->movieHttps = IsSecureUrl(movieUrl);
}

void GameRelay::SetObserver(ConnectDone observer) {
    m_state->observer = std::move(observer);
}

std::vector<GameRelay::Proxy> GameRelay::Proxies() const {
    const std::string prefix = m_state->Prefix();
    std::vector<Proxy> proxies;
    for (std::size_t i = 0; i < m_state->listed.size(); ++i) {
        proxies.push_back(
            {m_state->listed[i].host, m_state->listed[i].port, prefix + "e/" + std::to_string(i)});
    }
    for (std::size_t i = 0; i < m_state->policyHosts.size(); ++i) {
        proxies.push_back({m_state->policyHosts[i], 0, prefix + "p/" + std::to_string(i) + "/"});
    }
    return proxies;
}

namespace {

// The server behind a proxy address of the relay: a listed one ("e/<index>") or a port of a
// policy host ("p/<index>/<port>").
bool Resolve(const std::string& prefix, const std::vector<SocketEndpoint>& listed,
             const std::vector<std::string>& policyHosts, const std::string& url,
             SocketEndpoint& target, bool& isListed) {
    if (url.rfind(prefix, 0) != 0) {
        return false;
    }
    const std::string rest = url.substr(prefix.size());
    const auto number = [](const std::string& text, unsigned long max, unsigned long& out) {
        if (text.empty() || text.size() > 5 ||
            !std::all_of(text.begin(), text.end(),
                         [](unsigned char c) { return std::isdigit(c); }) ||
            (text.size() > 1 && text[0] == '0')) {
            return false;
        }
        out = std::stoul(text);
        return out <= max;
    };
    unsigned long index = 0;
    if (rest.rfind("e/", 0) == 0 && number(rest.substr(2), 65535, index) && index < listed.size()) {
        target = listed[index];
        isListed = true;
        return true;
    }
    const std::size_t slash = rest.find('/', 2);
    unsigned long port = 0;
    if (rest.rfind("p/", 0) == 0 && slash != std::string::npos &&
        number(rest.substr(2, slash - 2), 65535, index) && index < policyHosts.size() &&
        number(rest.substr(slash + 1), 65535, port) && port > 0) {
        target = {policyHosts[index], static_cast<unsigned short>(port)};
        isListed = false;
        return true;
    }
    return false;
}

}  // namespace

std::string GameRelay::EndpointFor(const std::string& proxyUrl) const {
    SocketEndpoint target;
    bool listed = false;
    return Resolve(m_state->Prefix(), m_state->listed, m_state->policyHosts, proxyUrl, target,
                   listed)
               ? Endpoint(target.host, target.port)
               : std::string();
}

void GameRelay::Connect(const std::string& proxyUrl, ConnectDone done) {
    State& state = *m_state;
    SocketEndpoint target;
    bool listed = false;
    if (state.listener == kInvalidSocket ||
        !Resolve(state.Prefix(), state.listed, state.policyHosts, proxyUrl, target, listed)) {
        done({Answer::Result::kFailed, {}, {}, "not a game server of this game"});
        return;
    }
    const std::string endpoint = Endpoint(target.host, target.port);
    std::unique_lock<std::mutex> lock(state.mutex);
    if (state.links.size() >= static_cast<std::size_t>(state.limits.connections)) {
        lock.unlock();
        done({Answer::Result::kFailed, {}, endpoint, "too many connections"});
        return;
    }
    auto link = std::make_unique<Link>();
    link->ticket = RandomToken();
    link->target = target;
    link->endpoint = endpoint;
    link->listed = listed;
    link->done = std::move(done);
    link->answerBy = Clock::now() + std::chrono::milliseconds(state.limits.quickAnswerMs);
    const std::string ticket = link->ticket;
    state.links.emplace(ticket, std::move(link));
    std::thread(Attempt, m_state, ticket, target, listed, state.movieHost, state.movieHttps)
        .detach();
    state.Wake();
}

int GameRelay::OpenConnections() const {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return static_cast<int>(
        std::count_if(m_state->links.begin(), m_state->links.end(),
                      [](const auto& entry) { return entry.second->movie != kInvalidSocket; }));
}

std::size_t GameRelay::HeldForMovies() const {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    std::size_t held = 0;
    for (const auto& [ticket, link] : m_state->links) {
        held += link->HeldForMovie();
    }
    return held;
}

std::size_t GameRelay::Held() const {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->HeldLocked();
}

std::vector<std::string> PolicyHostsFor(const std::string& movieUrl, const std::string& flashVars,
                                        std::size_t limit) {
    std::vector<std::string> hosts;
    const auto add = [&hosts, limit](std::string host) {
        host = Lower(std::move(host));
        if (!host.empty() && hosts.size() < limit &&
            std::find(hosts.begin(), hosts.end(), host) == hosts.end()) {
            hosts.push_back(std::move(host));
        }
    };
    std::string host;
    std::string object;
    std::uint16_t port = 0;
    if (ParseUrl(movieUrl, host, object, port)) {
        add(host);
    }
    // A dotted address ("10.0.0.7") or a name whose last label has letters
    // ("game.example.com"), not a version number ("1.2") or a file name's dot alone.
    const auto looksLikeHost = [](const std::string& text) {
        if (text.empty() || text.size() > 253 || text.find('.') == std::string::npos ||
            text.front() == '.' || text.back() == '.' || text.find("..") != std::string::npos ||
            !std::all_of(text.begin(), text.end(), [](unsigned char c) {
                return std::isalnum(c) != 0 || c == '.' || c == '-';
            })) {
            return false;
        }
        const std::string last = text.substr(text.rfind('.') + 1);
        const bool named = std::any_of(last.begin(), last.end(),
                                       [](unsigned char c) { return std::isalpha(c) != 0; });
        return named || std::count(text.begin(), text.end(), '.') == 3;
    };
    std::string_view rest = flashVars;
    while (!rest.empty()) {
        const std::size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        std::string value = UrlDecode(pair.substr(equals + 1));
        if (value.find("://") != std::string::npos) {
            if (ParseUrl(value, host, object, port)) {
                add(host);
            }
            continue;
        }
        const std::size_t colon = value.rfind(':');
        if (colon != std::string::npos) {
            value.resize(colon);
        }
        if (looksLikeHost(value)) {
            add(value);
        }
    }
    return hosts;
}

}  // namespace tavrin
