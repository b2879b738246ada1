// CWinWindows: the Windows front end of the launcher's road. It holds the login and game
// windows and does what LauncherFlow tells it; the windows report to the flow directly.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "flow/launcher_events.h"
#include "flow/launcher_views.h"
#include "win/game_window.h"
#include "win/login_window.h"
#include "win/web_engine.h"

namespace tavrin::win {

class CWinWindows : public LauncherViews {
public:
    // The windows report to `events` and show pages with `engine`; both must outlive them.
    CWinWindows(LauncherEvents& events, WebEngine& engine);
    ~CWinWindows() override;

    LoginWindow* Login() const { return m_login.get(); }
    GameWindow* Game() const { return m_game.get(); }
    // Where the launcher looks for the game's player files: "ruffle" beside the program,
    // unless SetPlayerFolder named another.
    std::string PlayerFolder() const;
    void SetPlayerFolder(std::string folder) { m_engine.SetPlayerFolder(std::move(folder)); }
    // Tests see the addresses instead of a browser opening.
    void SetBrowserHook(std::function<void(const std::string&)> hook) {
        m_browserHook = std::move(hook);
    }
    // Every message of each game window's movie page (the self-test's).
    void SetMovieWatch(std::function<void(const PageMessage&)> watch) {
        m_movieWatch = std::move(watch);
    }
    // The windows' scale (2 for 200 %); the system's unless set.
    void SetScale(double scale) { m_scale = scale; }
    // How long an update check may take before its window shows.
    void SetUpdateWindowDelay(unsigned milliseconds) { m_nUpdateWindowDelayMs = milliseconds; }

    // LauncherViews
    MessageAnswer Ask(const Message& message) override;
    void WaitForUpdateCheck(const std::function<void()>& check, UpdateProgress& progress) override;
    void ShowLoginWindow() override;
    void Navigate(const std::string& address) override;
    bool CanGoBack() override;
    void GoBack() override;
    std::vector<platform::BrowserCookie> BrowserCookies() override;
    bool GamePlayerPresent(std::string& folder) override;
    void OpenGameWindow(const ClientConfigData& config) override;
    void FocusGame() override;
    void OpenInBrowser(const std::string& address) override;
    void CloseWindows(int exitCode) override;

private:
    // Game windows replaced while a box was open go once none is.
    void ReleaseRetired();

    LauncherEvents& m_events;
    WebEngine& m_engine;
    std::unique_ptr<LoginWindow> m_login;
    std::unique_ptr<GameWindow> m_game;
    std::vector<std::unique_ptr<GameWindow>> m_retired;
    int m_nOpenBoxes = 0;
    unsigned m_nUpdateWindowDelayMs = 500;
    double m_scale = 0;
    std::function<void(const std::string&)> m_browserHook;
    std::function<void(const PageMessage&)> m_movieWatch;
};

}  // namespace tavrin::win
