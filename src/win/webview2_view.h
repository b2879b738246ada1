// A view of the Chromium-based engine (WebView2): a controller in its parent window, made as
// soon as the engine has started; what is asked of it before then waits and follows in order.
//
// It maps what the Linux program's view does: pages shown with Navigate get the launcher's
// `window.external` (a marked prompt() that the view answers itself, as there); the player
// page is served for the movie's own address, and its player's files, the Chinese font and
// its bridge to the launcher come from a host that only this view answers
// (https://player.tavrin.invalid/); its game sockets' bytes come and go as the engine's web
// messages; new windows go to the default browser; the page's full screen and the keys the
// launcher keeps (F5, Esc) go to the window that holds the view.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "win/com_ptr.h"
#include "win/ui_mailbox.h"
#include "win/web_engine.h"
#include "win/webview2_api.h"

namespace tavrin::win {

// What a view needs of the engine that made it (WebView2Engine): the started engine, a new
// start when its browser process ended, and the responses it answers requests with.
class WebView2Host : public WebEngine {
public:
    // Calls `ready` with the started engine: at once when it is there, else once it has
    // started. When it cannot start, onFailed is told (once) and `ready` never runs.
    virtual void WhenStarted(std::function<void(wv2::ICoreWebView2Environment*)> ready) = 0;
    // The browser process of `environment` ended: the next WhenStarted starts the engine
    // again (once, however many views ask).
    virtual void Restart(wv2::ICoreWebView2Environment* environment) = 0;
    // A response for a resource request: `status`, the header lines, the body.
    virtual ComPtr<wv2::ICoreWebView2WebResourceResponse> Response(int status,
                                                                   const std::string& headers,
                                                                   const std::string& body) = 0;
};

// The player's own host: never looked up, every request to it is answered by the view.
inline constexpr char kPlayerHost[] = "https://player.tavrin.invalid";

class WebView2View : public WebView {
public:
    WebView2View(WebView2Host& engine, HWND parent, const RECT& bounds);
    ~WebView2View() override;
    WebView2View(const WebView2View&) = delete;
    WebView2View& operator=(const WebView2View&) = delete;

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
    void ParentMoved() override;

private:
    // Asks the engine for a controller in the parent window (again after its browser process
    // ended).
    void MakeController();
    void Attach(wv2::ICoreWebView2Controller* controller,
                wv2::ICoreWebView2Environment* environment);
    void Configure();
    // Runs `work` once the engine's view is there and the page script asked for is ready,
    // after the work that waits already.
    void WhenReady(std::function<void()> work);
    void RunWaiting();
    // The login pages' `window.external`, ready before the navigation that follows.
    void InstallExternal();
    // The engine's browser process ended: a new one, and the page that was shown.
    void Recreate();
    template <typename Interface, typename Member>
    ComPtr<Interface> Handle(Member member);

    HRESULT OnNavigationStarting(wv2::ICoreWebView2NavigationStartingEventArgs* args);
    HRESULT OnNavigationCompleted(wv2::ICoreWebView2NavigationCompletedEventArgs* args);
    HRESULT OnResource(wv2::ICoreWebView2WebResourceRequestedEventArgs* args);
    HRESULT OnDialog(wv2::ICoreWebView2ScriptDialogOpeningEventArgs* args);
    HRESULT OnNewWindow(wv2::ICoreWebView2NewWindowRequestedEventArgs* args);
    HRESULT OnKey(wv2::ICoreWebView2AcceleratorKeyPressedEventArgs* args);
    HRESULT OnFullScreenChanged();
    HRESULT OnProcessFailed(wv2::ICoreWebView2ProcessFailedEventArgs* args);
    HRESULT OnWebMessage(wv2::ICoreWebView2WebMessageReceivedEventArgs* args);
    // The player host's answer to `path` (after the host, without the query).
    // (webview2_requests.cpp)
    void AnswerPlayerRequest(const std::string& path, const std::string& query,
                             const std::string& origin,
                             wv2::ICoreWebView2WebResourceRequestedEventArgs* args);
    std::string PlayerFolder() const;
    void Respond(wv2::ICoreWebView2WebResourceRequestedEventArgs* args, int status,
                 const std::string& headers, const std::string& body);

    WebView2Host& m_engine;
    HWND m_parent;
    RECT m_bounds;
    ComPtr<wv2::ICoreWebView2Controller> m_controller;
    ComPtr<wv2::ICoreWebView2> m_view;
    ComPtr<wv2::ICoreWebView2Environment> m_environment;
    std::deque<std::function<void()>> m_waiting;
    // The latest navigation's address: as asked for, or as the page went.
    std::string m_strLocation;
    bool m_bOwnNavigation = false;
    UINT64 m_latestNavigation = 0;
    bool m_bExternalInstalled = false;
    bool m_bToldRequestHeaders = false;
    bool m_bScriptPending = false;
    std::vector<platform::BrowserCookie> m_cookies;
    std::string m_strMovie;
    // The movie's address as the engine writes it, for its requests.
    std::string m_strMovieUri;
    std::string m_strPage;
    std::vector<std::string> m_movieFilters;
    mutable std::string m_strToken;
    // Counts the player pages shown: an answer to a web message goes only to the page that
    // asked.
    int m_nPlayerPage = 0;
    bool m_bFullScreen = false;
    UiMailbox m_mailbox;
    // What the engine's handlers hold: they may be called after the view has gone.
    std::shared_ptr<WebView2View*> m_self;
};

// The answer to a call of the login page's `window.external` (JSON {method, args}), as the
// page's script expects it: "true", "false", "error" (the call throws), or the reporter's
// state.
std::string AnswerExternalCall(const std::string& request);

// "scheme://host[:port]" of an address, the port left out where it is the scheme's own;
// empty for one without both.
std::string OriginOf(const std::string& address);

// An http or https address as the engine reports it and matches its resource filters: scheme
// and host in lower case, the host in punycode, the scheme's own port left out, an empty path
// made "/", dot segments resolved, the fragment dropped. Other addresses lose only the
// fragment.
std::string NormalisedAddress(const std::string& address);

}  // namespace tavrin::win
