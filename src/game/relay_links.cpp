// The bytes of each connection: the two directions, the closes and the bounds. Called on the
// relay's thread with its lock held.
#include <algorithm>

#include "app/diagnostics.h"
#include "game/relay_state.h"

namespace tavrin {

using namespace relay;

void GameRelay::State::MoveLink(Link& link, const PollEntry* server) {
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
    // The server's end reaches the movie after all the server sent.
    if (link.serverEnded && link.Claimed() && !link.closeSent &&
        link.stage != Link::Stage::kDeciding) {
        CloseMovie(link, link.stage == Link::Stage::kFailed ? kCloseServerError : kCloseNormal);
    }
}

void GameRelay::State::TakeFromMovie(Link& link, const std::string& bytes) {
    if (link.stage == Link::Stage::kFailed || link.serverEnded) {
        return;
    }
    link.toServer += bytes;
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
        link.toMovie.append(buffer, static_cast<std::size_t>(n));
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
    if (link.closeSent || !link.Claimed()) {
        return;
    }
    link.closeCode = code;  // the page hears it after the bytes before it
    link.closeSent = true;
    link.endBy = Clock::now() + kCloseGrace;
}

// True when nothing is left to do for the link: both sides done and their bytes delivered,
// or its time is up.
bool GameRelay::State::LinkIsOver(Link& link, Clock::time_point now) {
    if (!link.Claimed()) {
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
    // What the movie wrote last still goes out before the server sees the close, and what
    // the server sent reaches the page before its close.
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
        // Its page hears it now, not after the next wait of the loop.
        MoveChannel(*worst, true, calls);
    }
}

std::size_t GameRelay::State::HeldLocked() const {
    std::size_t held = 0;
    for (const auto& [ticket, link] : links) {
        held += link->HeldForServer() + link->HeldForMovie();
    }
    return held;
}

}  // namespace tavrin
