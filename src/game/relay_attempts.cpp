// The relay's connects: each on a thread of its own, a bounded number at a time, with the
// server's socket policies asked at the address the connection then goes to.
#include <utility>

#include "app/diagnostics.h"
#include "game/relay_state.h"
#include "net/wait_limit.h"

namespace tavrin {

using namespace relay;

std::shared_ptr<PolicyCache> PolicyCache::ForThisRun() {
    static const auto cache = std::make_shared<PolicyCache>();
    return cache;
}

PolicyAnswer PolicyCache::Get(const std::string& address, std::uint16_t port, int timeoutMs) {
    const std::string key = Endpoint(address, port);
    std::unique_lock<std::mutex> lock(m_mutex);
    Entry& entry = m_entries[key];  // map entries stay where they are
    const auto usable = [&] {
        return entry.answer &&
               (entry.answer->status == PolicyAnswer::Status::kReceived ||
                std::chrono::steady_clock::now() <
                    entry.answeredAt + std::chrono::milliseconds(m_failureMemoryMs));
    };
    // Another connection is asking this server: its answer does for this one too.
    WaitInSlices(timeoutMs, [&](int sliceMs) {
        const auto free = [&] { return !entry.asking; };
        if (sliceMs < 0) {
            m_answered.wait(lock, free);
            return 1;
        }
        return m_answered.wait_for(lock, std::chrono::milliseconds(sliceMs), free) ? 1 : 0;
    });
    if (usable()) {
        return *entry.answer;
    }
    if (entry.asking) {
        PolicyAnswer late;
        late.error = "no policy from " + key + " within " + std::to_string(timeoutMs) + " ms";
        return late;
    }
    entry.asking = true;
    lock.unlock();
    // Asked without the lock: other servers' answers need not wait for this one.
    PolicyAnswer answer = RequestSocketPolicy(address, port, timeoutMs);
    lock.lock();
    entry.asking = false;
    // A request cut short by the relay's stop says nothing about the server.
    if (!WaitLimit::Reached()) {
        entry.answer = answer;
        entry.answeredAt = std::chrono::steady_clock::now();
    }
    m_answered.notify_all();
    return answer;
}

namespace {

// The address a connection to `host` goes to, looked up once: "" when there is none.
std::string AddressOf(const std::string& host, int timeoutMs) {
    if (host.find(':') != std::string::npos) {
        return host;  // an IPv6 address
    }
    const Ipv4Address address = ResolveHostAddress(host, true, timeoutMs);
    return address == kNoAddress ? std::string() : AddressText(address);
}

// One link's connect: the policy first, where the list does not name the server, then the
// connection. Every wait ends soon after `cancelled` is set.
void Attempt(const std::shared_ptr<GameRelay::State>& state, Finished done, SocketEndpoint target,
             bool listed, const std::string& movieHost, bool movieHttps,
             const std::shared_ptr<std::atomic<bool>>& cancelled) {
    const WaitLimit limit(std::nullopt, [&cancelled] { return cancelled->load(); });
    const GameRelay::Limits& limits = state->limits;
    // A listed server is the operator's: reached by its name. Any other is reached at the
    // address its policies came from.
    std::string address = target.host;
    if (listed) {
        done.detail = "listed";
    } else if (address = AddressOf(target.host, limits.connectTimeoutMs); address.empty()) {
        done.result = Answer::Result::kFailed;
        done.detail = "no address for " + target.host;
    } else {
        const PolicySource source = [&](const std::string&, std::uint16_t port) {
            return state->policies->Get(address, port, limits.policyTimeoutMs);
        };
        const SocketPermission permission = DecideSocketPermission(
            source, movieHost, movieHttps, target.host, target.port, limits.masterPolicyPort);
        done.detail = permission.reason;
        if (!permission.allowed) {
            done.result = Answer::Result::kRefused;
        }
    }
    if (done.result == Answer::Result::kConnected) {
        const SocketHandle s = ConnectTcp(address, target.port, limits.connectTimeoutMs);
        if (s == kInvalidSocket || !SetNonBlocking(s)) {
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

void GameRelay::State::StartAttempts() {
    while (!waitingToAttempt.empty() &&
           attempts.size() < static_cast<std::size_t>(std::max(limits.attemptsInFlight, 1))) {
        const std::string ticket = std::move(waitingToAttempt.front());
        waitingToAttempt.pop_front();
        const auto found = links.find(ticket);
        if (found == links.end()) {
            continue;  // gone before its turn
        }
        Link& link = *found->second;
        link.attemptStarted = true;
        Finished done{ticket};
        attempts.emplace(ticket,
                         std::thread(Attempt, shared_from_this(), std::move(done), link.target,
                                     link.listed, movieHost, movieHttps, link.attemptCancelled));
    }
}

void GameRelay::State::EndAttempt(const std::string& ticket) {
    const auto found = attempts.find(ticket);
    if (found != attempts.end()) {
        // It has handed in its outcome under this lock and only returns now.
        found->second.join();
        attempts.erase(found);
    }
}

void GameRelay::State::StopAttempts() {
    std::map<std::string, std::thread> running;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        for (auto& [ticket, link] : links) {
            *link->attemptCancelled = true;
        }
        running.swap(attempts);
        waitingToAttempt.clear();
    }
    for (auto& [ticket, thread] : running) {
        thread.join();
    }
}

}  // namespace tavrin
