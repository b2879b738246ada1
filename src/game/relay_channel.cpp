// The page's side of a connection through the web engine's own message channel: the page's
// calls (open, send, receive, close) come from the front end's thread; those that cannot be
// answered at once wait in their link for the relay's thread.
#include <algorithm>
#include <utility>

#include "app/diagnostics.h"
#include "game/relay_state.h"

namespace tavrin {

using namespace relay;

namespace {

// The most one answer to a receive carries: the page decodes it in one go.
constexpr std::size_t kChannelAnswerBytes = 1024 * 1024;

}  // namespace

Link* GameRelay::State::TicketLink(const std::string& url) {
    const std::string prefix = Prefix() + "t/";
    if (url.rfind(prefix, 0) != 0) {
        return nullptr;
    }
    const auto found = links.find(url.substr(prefix.size()));
    return found != links.end() ? found->second.get() : nullptr;
}

Link* GameRelay::State::ChannelLink(const std::string& url) {
    Link* link = TicketLink(url);
    return link != nullptr && link->channelOpen ? link : nullptr;
}

void GameRelay::State::MoveChannel(Link& link, bool overBudget, Calls& answers) {
    if (link.sendDone) {
        const bool over = link.stage == Link::Stage::kFailed || link.serverEnded || link.closeSent;
        // While the server is not there yet, the movie's writes wait in the page.
        const bool room = !overBudget && (link.stage == Link::Stage::kOpen ||
                                          link.HeldForServer() < limits.pendingToServer);
        if (over || room) {
            if (!over) {
                TakeFromMovie(link, link.sendWaiting);
            }
            link.sendWaiting.clear();
            answers.push_back([done = std::move(link.sendDone), over] { done(!over); });
            link.sendDone = nullptr;
        }
    }
    if (!link.receiveDone) {
        return;
    }
    GameRelay::Received received;
    if (link.HeldForMovie() > 0) {
        const std::size_t count = std::min(link.HeldForMovie(), kChannelAnswerBytes);
        received.bytes = link.toMovie.substr(link.toMovieSent, count);
        link.toMovieSent += count;
        if (link.toMovieSent == link.toMovie.size()) {
            link.toMovie.clear();
            link.toMovieSent = 0;
        }
    } else if (link.closeSent) {
        received.closeCode = link.closeCode != 0 ? link.closeCode : kCloseNormal;
        link.movieEnded = true;
    } else {
        return;
    }
    answers.push_back([done = std::move(link.receiveDone), received] { done(received); });
    link.receiveDone = nullptr;
}

// A link that goes answers the page's waiting calls: its connection is over.
void GameRelay::State::EndChannelCalls(Link& link, Calls& answers) {
    if (link.sendDone) {
        answers.push_back([done = std::move(link.sendDone)] { done(false); });
        link.sendDone = nullptr;
    }
    if (link.receiveDone) {
        const std::uint16_t code = link.closeCode != 0 ? link.closeCode : kCloseServerError;
        answers.push_back([done = std::move(link.receiveDone), code] {
            done({std::string(), code});
        });
        link.receiveDone = nullptr;
    }
}

bool GameRelay::ChannelOpen(const std::string& url) {
    State& state = *m_state;
    const std::lock_guard<std::mutex> lock(state.mutex);
    Link* link = state.TicketLink(url);
    if (link == nullptr || link->Claimed() || !link->claimBy ||
        link->stage == Link::Stage::kFailed) {
        Diagnose("socket relay: a page's connection refused: no fresh ticket");
        return false;
    }
    link->channelOpen = true;
    state.Wake();
    return true;
}

// A call that can be answered at once is answered on the caller's thread, which spares the
// page a wait for the relay's.
void GameRelay::ChannelSend(const std::string& url, std::string bytes,
                            std::function<void(bool)> taken) {
    State& state = *m_state;
    State::Calls answers;
    {
        const std::lock_guard<std::mutex> lock(state.mutex);
        Link* link = state.ChannelLink(url);
        if (link == nullptr || link->sendDone) {
            // No such connection, or one send at a time: what the movie wrote goes nowhere.
            Diagnose("socket relay: a page's bytes refused: %s",
                     link == nullptr ? "no such connection" : "a send already waits");
            answers.push_back([taken] { taken(false); });
        } else {
            link->sendWaiting = std::move(bytes);
            link->sendDone = std::move(taken);
            state.MoveChannel(*link, state.HeldLocked() >= state.limits.budget, answers);
            state.Wake();
        }
    }
    for (const auto& answer : answers) {
        answer();
    }
}

void GameRelay::ChannelReceive(const std::string& url, std::function<void(const Received&)> done) {
    State& state = *m_state;
    State::Calls answers;
    {
        const std::lock_guard<std::mutex> lock(state.mutex);
        Link* link = state.ChannelLink(url);
        if (link == nullptr || link->receiveDone || link->movieEnded) {
            if (link == nullptr || link->receiveDone) {
                Diagnose("socket relay: a page's receive refused: %s",
                         link == nullptr ? "no such connection" : "a receive already waits");
            }
            answers.push_back([done] { done({std::string(), kCloseServerError}); });
        } else {
            link->receiveDone = std::move(done);
            state.MoveChannel(*link, state.HeldLocked() >= state.limits.budget, answers);
            state.Wake();  // the server may be read again
        }
    }
    for (const auto& answer : answers) {
        answer();
    }
}

void GameRelay::ChannelClose(const std::string& url) {
    State& state = *m_state;
    State::Calls answers;
    std::unique_lock<std::mutex> lock(state.mutex);
    Link* link = state.ChannelLink(url);
    if (link == nullptr || link->movieEnded) {
        return;
    }
    // As a WebSocket's close: what the movie wrote before still reaches the server.
    link->movieEnded = true;
    link->closeSent = true;
    link->closeCode = kCloseNormal;
    link->toMovie.clear();
    link->toMovieSent = 0;
    state.EndChannelCalls(*link, answers);
    state.Wake();
    lock.unlock();
    for (const auto& answer : answers) {
        answer();
    }
}

}  // namespace tavrin
