// The stand-in engine: a view that paints its address on a plain page and completes every
// navigation at once (after the current message, as a real engine does). The page's part (a
// script's navigation, its cookies) is played by whoever holds the view: the tests.
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

    // What a page would have set.
    std::vector<platform::BrowserCookie> cookies;
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
