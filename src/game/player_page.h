// The page that plays a game movie in Ruffle, the same in every web engine: built in memory,
// shown with the movie's own address as its origin, and the messages it sends its player
// (the movie's calls, commands, links, sockets, how the start went). Each engine only carries
// the page and the messages; what they mean is here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "game/game_relay.h"

namespace tavrin {

// What the game window puts on its player before the movie, as the Flash control took it.
struct PlayerOptions {
    std::string quality;
    std::string allowScriptAccess;
    bool allowFullScreen = false;
    std::string wmode;
    bool menu = true;
    std::string flashVars;
    // The player also says what it cannot do for the movie, not only its errors.
    bool warnings = false;
    // The page sends what the player logs to its host as messages, for an engine that does
    // not tell its host the page's console.
    bool consoleToHost = false;
};

struct PlayerPageSetup {
    std::string movie;
    PlayerOptions options;
    // Where the page finds Ruffle's files (ruffle.js and its modules): an address prefix
    // ending in '/'.
    std::string files;
    // The bridge's address prefix: the page appends its message, encoded for a query.
    std::string bridge;
    // How the page's game sockets reach the launcher: "webmessage" (the engine's web
    // messages, chrome.webview) or "webchannel" (Qt's web channel, qt.webChannelTransport);
    // none: the movie's sockets fail.
    std::string channel;
    // The Chinese font for the movie's device-font text, when the system has one.
    std::string fontUrl;
    std::vector<std::string> fontFamilies;
    std::vector<GameRelay::Proxy> proxies;
    // This page's script nonce; only scripts that carry it (or come from `scriptOrigin`,
    // the origin of `files`) run.
    std::string nonce;
    std::string scriptOrigin;
    // The launcher's page scripts: those that run before Ruffle, and the page's own.
    std::vector<std::string> preludeScripts;
    std::string pageScript;
};

// The whole page, as HTML.
std::string BuildPlayerPage(const PlayerPageSetup& setup);

// The texts the page shows while it loads and when the movie cannot be played.
extern const char* const kPlayerLoadingText;

// A message of the player page. `kind` is one of "flashcall" (`request`), "fscommand"
// (`command`, `args`), "navigate" (`url`), "socket" (`url`: the proxy address), "started"
// (`movie`: what the player read of it), "failed" (`reason`, `detail`), "console" (`level`:
// "error", "warn" or "log"; `detail`: the line), "relay" (`op`: "open", "send", "receive" or
// "close" on the connection at `url`; `data`: the bytes of a send, base64 in the message);
// anything else, or a message that is not JSON, has an empty kind.
struct PageMessage {
    std::string kind;
    std::string request;
    std::string command;
    std::string args;
    std::string url;
    std::string reason;
    std::string detail;
    std::string level;
    std::string op;
    std::string data;
    struct Movie {
        int swfVersion = 0;
        bool actionScript3 = false;
        double width = 0;
        double height = 0;
        double frameRate = 0;
    } movie;
    // The movie's description as the page sent it (JSON), for those that report it.
    std::string movieJson;
};
PageMessage ParsePageMessage(const std::string& json);

// The answer to a socket message: the WebSocket address for the movie, or why there is none.
std::string SocketAnswer(const std::string& url, const std::string& error);
// The page's answer to a socket message, from the relay's.
std::string SocketAnswer(const GameRelay::Answer& answer);

// Carries a "relay" message to the relay's channel and gives its answer, as JSON, once:
// perhaps later and from the relay's thread. Open: {"ok":bool}; send: {"ok":bool} once the
// relay has taken the bytes (false: the connection is over); receive: {"data":base64} or, at
// the end, {"closed":code}; close: {"ok":true}.
void AnswerRelayMessage(GameRelay& relay, const PageMessage& message,
                        std::function<void(std::string)> answer);

// A script that calls a callback the movie registered, with an ExternalInterface request;
// it evaluates to the movie's answer, or null.
std::string CallFunctionScript(const std::string& request);

// The bridge message in a bridge address's query ("?m=<message>"), decoded; empty when the
// query holds none.
std::string BridgeMessageFromQuery(const std::string& query);

}  // namespace tavrin
