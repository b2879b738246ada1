// The stand-in engine: a view that paints its address on a plain page and completes every
// navigation at once (after the current message, as a real engine does), and passes on the
// keys it is given as a page would. The page's part (a script's navigation, its cookies, the
// player page's messages) is played by whoever holds the view: the tests.
#pragma once

#include "win/web_engine.h"

namespace tavrin::win {

class StandInView : public WebView {
public:
    StandInView(HWND parent, const RECT& bounds);
    ~StandInView() override;

    void Navigate(const std::string& address) override;
    std::string Location() const override;
    bool CanGoBack() const override;
    void GoBack() override;
    std::vector<platform::BrowserCookie> Cookies() const override;
    void SetBounds(const RECT& bounds) override;
    void Focus() override;
    PlayerAddresses AddressesFor(const std::string& token) const override;
    void ShowPlayerPage(const std::string& movie, const std::string& page) override;
    void RunScript(const std::string& script) override;
    void ExitFullScreen() override;
    void ParentMoved() override {}

    // What a page would have set.
    std::vector<platform::BrowserCookie> cookies;
    // The player page shown last, and the scripts run in it since.
    std::string playerPage;
    std::vector<std::string> scripts;
    HWND Window() const { return m_hwnd; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();

    HWND m_hwnd = nullptr;
    std::vector<std::string> m_history;
};

class StandInEngine : public WebEngine {
public:
    bool Available(std::string&) override { return true; }
    std::unique_ptr<WebView> CreateView(HWND parent, const RECT& bounds) override;
};

}  // namespace tavrin::win
