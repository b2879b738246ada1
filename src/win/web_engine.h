// The web engine behind the Windows windows: a browser view in a window, and what it tells
// its owner. The real one is the Chromium-based engine Windows ships; a stand-in draws a plain
// page and lets tests play the page's part, so that every window runs where no engine does.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/url_fetch.h"

namespace tavrin::win {

class WebView {
public:
    virtual ~WebView() = default;

    virtual void Navigate(const std::string& address) = 0;
    // The address of the latest navigation, exactly as it was asked for.
    virtual std::string Location() const = 0;
    // True when there is a page before the current one (not a blank one) to go back to.
    virtual bool CanGoBack() const = 0;
    virtual void GoBack() = 0;
    // The cookies the view's pages have set, for the launcher's own fetches.
    virtual std::vector<platform::BrowserCookie> Cookies() const = 0;
    // Where the view lies in its parent window, in the parent's pixels.
    virtual void SetBounds(const RECT& bounds) = 0;

    // Told, after the current message, when the document of the latest navigation is
    // complete, with its address.
    std::function<void(const std::string& address)> onDocumentComplete;
};

class WebEngine {
public:
    virtual ~WebEngine() = default;
    // False, with what the player must do, when the engine cannot run on this machine.
    virtual bool Available(std::string& whatToDo) = 0;
    // A view in `parent`, at `bounds`; null when the engine cannot make one.
    virtual std::unique_ptr<WebView> CreateView(HWND parent, const RECT& bounds) = 0;
};

}  // namespace tavrin::win
