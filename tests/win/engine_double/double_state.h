// What the engine double keeps for the whole process: its browsers (one per controller), the
// cookie store and the faults a test asked for.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine_double/double_com.h"
#include "engine_double/engine_double.h"

namespace tavrin::test::engine_double {

class Browser;

struct EngineState {
    std::vector<std::shared_ptr<Browser>> browsers;
    std::vector<platform::BrowserCookie> cookies;
    std::wstring profile;
    HRESULT failStart = S_OK;
    bool failCookieDomains = false;
    // Bumped when the browser process ends: what belonged to the old one is dead.
    int generation = 0;
};
EngineState& State();

// A request over the network, with the store's cookies (redirects not followed).
DoubleResponse FetchFromNetwork(const std::string& uri);
void StoreCookie(const platform::BrowserCookie& cookie);
ComPtr<wv2::ICoreWebView2CookieManager> MakeCookieManager();

// The controller and its view for `parent`, of the browser process `generation`.
ComPtr<wv2::ICoreWebView2Controller> MakeController(HWND parent, int generation);

}  // namespace tavrin::test::engine_double
