// GameRelay's calls and its thread's loop: one poll over the game servers' sockets and the
// wake-up pair, then each connection moved on (relay_links.cpp, relay_channel.cpp).
#include <algorithm>
#include <utility>

#include "app/diagnostics.h"
#include "game/game_relay.h"
#include "game/relay_state.h"
#include "net/http_parse.h"

namespace tavrin {

using namespace relay;

GameRelay::State::~State() {
    for (auto& [ticket, link] : links) {
        CloseSocket(link->server);
    }
    for (const Finished& done : finished) {
        CloseSocket(done.server);
    }
    CloseSocket(wakeWait);
    CloseSocket(wakeRaise);
}

void GameRelay::State::Wake() const {
    const char byte = 1;
    SendNow(wakeRaise, &byte, 1);
}

std::string GameRelay::State::Prefix() const {
    return kChannelPrefix + runKey + "/";
}

void GameRelay::State::Answer(Link& link, Answer::Result result, const std::string& detail) {
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
    std::vector<std::string> owners;  // the link of each server's entry
    Clock::time_point next = Clock::now() + std::chrono::seconds(1);
    {
        const std::lock_guard<std::mutex> lock(mutex);
        StartAttempts();
        const bool overBudget = HeldLocked() >= limits.budget;
        entries.push_back({wakeWait, true});
        for (const auto& [ticket, link] : links) {
            if (link->done) {
                next = std::min(next, link->answerBy);
            }
            if (link->claimBy && !link->Claimed()) {
                next = std::min(next, *link->claimBy);
            }
            for (const auto& end : {link->endBy, link->flushBy}) {
                if (end) {
                    next = std::min(next, *end);
                }
            }
            if (link->server != kInvalidSocket) {
                entries.push_back({link->server,
                                   !link->serverEnded && !overBudget &&
                                       link->HeldForMovie() < limits.pendingToMovie,
                                   link->HeldForServer() > 0});
                owners.push_back(ticket);
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
    std::map<std::string, const PollEntry*> ready;
    for (std::size_t i = 0; i < owners.size(); ++i) {
        ready[owners[i]] = &entries[1 + i];
    }
    const Clock::time_point now = Clock::now();
    for (auto it = links.begin(); it != links.end();) {
        Link& link = *it->second;
        if (link.done && now >= link.answerBy && link.stage == Link::Stage::kDeciding) {
            Answer(link, Answer::Result::kPending, "still connecting");
        }
        const auto server = ready.find(it->first);
        // The page's bytes taken before the server is written to, and what the server sent
        // handed to a waiting page at once.
        if (link.channelOpen) {
            MoveChannel(link, HeldLocked() >= limits.budget, calls);
        }
        if (server != ready.end() || link.channelOpen) {
            MoveLink(link, server != ready.end() ? server->second : nullptr);
        }
        if (link.channelOpen) {
            MoveChannel(link, HeldLocked() >= limits.budget, calls);
        }
        if (LinkIsOver(link, now)) {
            *link.attemptCancelled = true;  // its connect, if still running, ends soon
            EndChannelCalls(link, calls);
            CloseSocket(link.server);
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
    EndAttempt(done.ticket);
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
        if (link.Claimed()) {
            CloseMovie(link, kCloseServerError);
        }
    } else {
        link.claimBy = Clock::now();  // nothing will come for it
    }
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
    m_state->StopAttempts();
}

bool GameRelay::Start() {
    State& state = *m_state;
    if (!MakeWakePair(state.wakeWait, state.wakeRaise)) {
        Diagnose("socket relay: cannot make its wake-up pair (error %d)", GetLastSocketError());
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
    m_state->movieHost = parsed ? Lower(host) : std::string();
    m_state->movieHttps = IsSecureUrl(movieUrl);
}

void GameRelay::SetObserver(ConnectDone observer) {
    m_state->observer = std::move(observer);
}

void GameRelay::SetPolicyCache(std::shared_ptr<PolicyCache> cache) {
    m_state->policies = std::move(cache);
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

std::string GameRelay::EndpointFor(const std::string& proxyUrl) const {
    SocketEndpoint target;
    bool listed = false;
    return ResolveProxy(m_state->Prefix(), m_state->listed, m_state->policyHosts, proxyUrl, target,
                        listed)
               ? Endpoint(target.host, target.port)
               : std::string();
}

void GameRelay::Connect(const std::string& proxyUrl, ConnectDone done) {
    State& state = *m_state;
    SocketEndpoint target;
    bool listed = false;
    if (!state.thread.joinable() ||
        !ResolveProxy(state.Prefix(), state.listed, state.policyHosts, proxyUrl, target, listed)) {
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
    state.waitingToAttempt.push_back(ticket);
    state.Wake();
}

int GameRelay::OpenConnections() const {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return static_cast<int>(
        std::count_if(m_state->links.begin(), m_state->links.end(),
                      [](const auto& entry) { return entry.second->Claimed(); }));
}

int GameRelay::AttemptsInFlight() const {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return static_cast<int>(m_state->attempts.size());
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

}  // namespace tavrin
