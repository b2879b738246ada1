// The game movie on Windows: the player page that the Linux program shows too (Ruffle, the
// same page scripts), in the game window's web view, and the answers to what the page asks,
// as the Flash control's host gave them: the movie's calls (GetSysMem), its commands
// (GameRefresh), links for the default browser, and its sockets through the game relay.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/config.h"
#include "game/game_relay.h"
#include "game/player_page.h"
#include "win/ui_mailbox.h"
#include "win/web_engine.h"

namespace tavrin::win {

class MoviePlayer {
public:
    struct Host {
        // The movie's own GameRefresh, told after the page's message has been answered.
        std::function<void()> refresh;
        std::function<void(const std::string& address)> openInBrowser;
        // Every message of the page once it has been answered, and how the relay settled each
        // of the movie's sockets: for an operator's check and the self-test.
        std::function<void(const PageMessage& message)> watch;
        std::function<void(const GameRelay::Answer& answer)> socketSettled;
    };
    // Plays in `view`, which must outlive the player.
    MoviePlayer(WebView& view, Host host);
    ~MoviePlayer();
    MoviePlayer(const MoviePlayer&) = delete;
    MoviePlayer& operator=(const MoviePlayer&) = delete;

    // Shows the player page for the client configuration's movie, its flash variables and
    // game servers; the Chinese font and sockets when there are.
    void Play(const ClientConfigData& config);
    // Calls a callback the movie registered, without waiting for it (stageResize).
    void NotifyFlashFunction(const std::string& name);
    // From the next Play on, the player also logs its warnings (what it cannot do for the
    // movie), not only its errors.
    void ReportPlayerConsole() { m_bConsole = true; }

    // The page, as built for the latest Play.
    const std::string& Page() const { return m_strPage; }

private:
    void OnPageMessage(const std::string& json, const WebView::Answer& answer);
    void Answer(const PageMessage& message, const WebView::Answer& answer);
    void OnSocket(const std::string& proxyUrl, const WebView::Answer& answer);

    WebView& m_view;
    Host m_host;
    std::string m_strToken;
    std::string m_strPage;
    bool m_bConsole = false;
    // Before the relay: the relay's last answers are posted here until it has stopped.
    UiMailbox m_mailbox;
    std::unique_ptr<GameRelay> m_relay;
};

// A script of the launcher's page scripts, built into the program; empty when it is not.
std::string PageScript(const wchar_t* name);

}  // namespace tavrin::win
