// The bytes of each connection: the page's opening request, the two directions, the closes
// and the bounds. Called on the relay's thread with its lock held.
#include <algorithm>

#include "app/diagnostics.h"
#include "game/relay_state.h"

namespace tavrin {

using namespace relay;

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
    if (found == links.end() || found->second->Claimed() || !found->second->claimBy ||
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
    if (link.serverEnded && link.Claimed() && !link.closeSent &&
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
    TakeFromMovie(link, out.data);
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
    const std::string_view bytes(buffer, static_cast<std::size_t>(n));
    if (link.closeSent) {
        return;
    }
    if (link.channel) {
        link.toMovie += bytes;
    } else {
        link.toMovie += EncodeWebSocketFrame(WebSocketOpcode::kBinary, bytes);
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
    if (link.channel) {
        link.closeCode = code;  // the page hears it after the bytes before it
    } else {
        link.toMovie += EncodeWebSocketClose(code);
    }
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

}  // namespace tavrin
