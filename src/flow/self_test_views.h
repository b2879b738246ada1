// The self-test's view of the front end: the front end's own windows, watched, and a box the
// launcher wants to show never waits for a player (it is told to the self-test and answered
// as its way out: quit, cancel, no).
#pragma once

#include <functional>
#include <string>

#include "flow/launcher_views.h"

namespace tavrin {

class SelfTestViews : public LauncherViews {
public:
    explicit SelfTestViews(LauncherViews& inner) : m_inner(inner) {}

    bool LoginShown() const { return m_bLoginShown; }
    bool GameOpened() const { return m_bGameOpened; }
    // Told each box's text, before it is answered.
    std::function<void(const std::string& text)> onBox;

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
    LauncherViews& m_inner;
    bool m_bLoginShown = false;
    bool m_bGameOpened = false;
};

}  // namespace tavrin
