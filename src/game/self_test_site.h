// The small operator that `tavrin --self-test` serves itself on 127.0.0.1: a platform
// configuration, an update description that offers nothing, a login page that sets an
// HttpOnly session cookie, calls `window.external` and goes on to the verification address,
// the client configuration for a session only, the self-test movie, and a game server that
// echoes each line the movie sends. What arrived is kept, for the report.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tavrin {

class SelfTestSite {
public:
    // `movie`: the self-test movie's bytes (empty when the program has none).
    explicit SelfTestSite(std::string movie);
    ~SelfTestSite();
    SelfTestSite(const SelfTestSite&) = delete;
    SelfTestSite& operator=(const SelfTestSite&) = delete;

    // Listens for the web and the game server; false when it cannot.
    bool Start();
    // "http://127.0.0.1:PORT"; the platform configuration is at Origin() + "/config".
    std::string Origin() const;
    std::uint16_t GamePort() const;

    // True, with what came with it, once the site has seen `what`: "platform configuration",
    // "update description", "login page" (the engine's User-Agent), "page: <name>" (what the
    // login page reported: "external", "cookie"), "verification" (the engine's), "session"
    // (the launcher's own fetch of the client configuration carried the page's HttpOnly
    // cookie), "movie" (fetched by the player), "game: connected", "game: <first word>" (a
    // line of the movie's: "sysmem", "echoed", "key", "fullscreen").
    bool Seen(const std::string& what, std::string* detail = nullptr) const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace tavrin
