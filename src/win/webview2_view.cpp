#include "win/webview2_view.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <utility>

#include "app/diagnostics.h"
#include "flow/login_rules.h"
#include "win/movie_player.h"
#include "win/win_text.h"

namespace tavrin::win {

namespace {

// One text property of the engine's; false when its getter failed (whatever it left in
// its out-parameter is not the property's).
template <typename Getter>
bool ReadText(Getter get, std::string& text) {
    LPWSTR raw = nullptr;
    const bool read = SUCCEEDED(get(&raw));
    text = read ? TakeEngineString(raw) : std::string();
    return read;
}

std::vector<platform::BrowserCookie> ReadCookies(wv2::ICoreWebView2CookieList* list) {
    std::vector<platform::BrowserCookie> cookies;
    UINT32 count = 0;
    list->get_Count(&count);
    for (UINT32 i = 0; i < count; ++i) {
        ComPtr<wv2::ICoreWebView2Cookie> item;
        list->GetValueAtIndex(i, item.Put());
        platform::BrowserCookie cookie;
        // A cookie without its name, value or domain cannot be sent as the page would.
        if (!item || !ReadText([&](LPWSTR* t) { return item->get_Name(t); }, cookie.name) ||
            !ReadText([&](LPWSTR* t) { return item->get_Value(t); }, cookie.value) ||
            !ReadText([&](LPWSTR* t) { return item->get_Domain(t); }, cookie.domain)) {
            Diagnose("browser: a cookie of the engine could not be read; left out");
            continue;
        }
        // The engine writes a cookie for a domain and its subdomains with a leading dot.
        if (!cookie.domain.empty() && cookie.domain[0] == '.') {
            cookie.domain.erase(0, 1);
            cookie.hostOnly = false;
        }
        if (!ReadText([&](LPWSTR* t) { return item->get_Path(t); }, cookie.path) ||
            cookie.path.empty()) {
            cookie.path = "/";
        }
        BOOL flag = FALSE;
        cookie.secure = SUCCEEDED(item->get_IsSecure(&flag)) && flag != FALSE;
        flag = FALSE;
        cookie.httpOnly = SUCCEEDED(item->get_IsHttpOnly(&flag)) && flag != FALSE;
        flag = TRUE;
        double expires = 0;
        if (SUCCEEDED(item->get_IsSession(&flag)) && flag == FALSE &&
            SUCCEEDED(item->get_Expires(&expires)) && expires > 0) {
            cookie.expires = static_cast<std::int64_t>(expires);
        }
        cookies.push_back(std::move(cookie));
    }
    return cookies;
}

}  // namespace

std::string AnswerExternalCall(const std::string& request) {
    const nlohmann::json call = nlohmann::json::parse(request, nullptr, false);
    if (!call.is_object()) {
        return "false";
    }
    const auto method = call.find("method");
    const auto args = call.find("args");
    const std::string name = method != call.end() && method->is_string() ? *method : "";
    const std::string first =
        args != call.end() && args->is_array() && !args->empty() && args->front().is_string()
            ? args->front().get<std::string>()
            : std::string();
    if (name == "designer-state") {
        // The link and pointer reporter stays off: nothing of the launcher turns it on.
        return R"({"links":false,"pointer":false})";
    }
    std::int32_t room = 0;
    if (name == "invoke_enterroom" && !ParseRoomArgument(first, room)) {
        return "error";  // the page's call throws, as automation's did
    }
    return "true";
}

WebView2View::WebView2View(WebView2Host& engine, HWND parent, const RECT& bounds)
    : m_engine(engine),
      m_parent(parent),
      m_bounds(bounds),
      m_self(std::make_shared<WebView2View*>(this)) {
    MakeController();
}

void WebView2View::MakeController() {
    std::weak_ptr<WebView2View*> self = m_self;
    HWND parent = m_parent;
    m_engine.WhenStarted([self, parent](wv2::ICoreWebView2Environment* environment) {
        if (self.expired()) {
            return;
        }
        auto keep = ComPtr<wv2::ICoreWebView2Environment>::Share(environment);
        auto done = MakeHandler<wv2::ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
            [self, keep](HRESULT result, wv2::ICoreWebView2Controller* controller) {
                const auto view = self.lock();
                if (!view) {
                    if (controller != nullptr) {
                        controller->Close();
                    }
                    return S_OK;
                }
                if (FAILED(result) || controller == nullptr) {
                    Diagnose("tavrin: the engine cannot make a view (0x%08lx)",
                             static_cast<unsigned long>(result));
                    return S_OK;
                }
                (*view)->Attach(controller, keep.Get());
                return S_OK;
            });
        const HRESULT asked = environment->CreateCoreWebView2Controller(parent, done.Get());
        if (FAILED(asked)) {
            Diagnose("tavrin: the engine cannot make a view (0x%08lx)",
                     static_cast<unsigned long>(asked));
        }
    });
}

WebView2View::~WebView2View() {
    m_self.reset();
    if (m_controller) {
        m_controller->Close();
    }
}

template <typename Interface, typename Member>
ComPtr<Interface> WebView2View::Handle(Member member) {
    std::weak_ptr<WebView2View*> self = m_self;
    return MakeHandler<Interface>([self, member](auto, auto args) -> HRESULT {
        const auto view = self.lock();
        return view ? ((*view)->*member)(args) : S_OK;
    });
}

void WebView2View::Attach(wv2::ICoreWebView2Controller* controller,
                          wv2::ICoreWebView2Environment* environment) {
    m_controller = ComPtr<wv2::ICoreWebView2Controller>::Share(controller);
    m_environment = ComPtr<wv2::ICoreWebView2Environment>::Share(environment);
    m_controller->get_CoreWebView2(m_view.Put());
    if (!m_view) {
        return;
    }
    m_controller->put_Bounds(m_bounds);
    m_controller->put_IsVisible(TRUE);
    Configure();
    RunWaiting();
}

void WebView2View::Configure() {
    ComPtr<wv2::ICoreWebView2Settings> settings;
    m_view->get_Settings(settings.Put());
    if (settings) {
        // The launcher's own windows: no browser menus, tools, zoom or status bar; the
        // page's dialogs come to the launcher (its bridge is one of them).
        settings->put_AreDefaultContextMenusEnabled(FALSE);
        settings->put_AreDevToolsEnabled(FALSE);
        settings->put_IsStatusBarEnabled(FALSE);
        settings->put_IsZoomControlEnabled(FALSE);
        settings->put_AreHostObjectsAllowed(FALSE);
        settings->put_IsWebMessageEnabled(FALSE);
        settings->put_AreDefaultScriptDialogsEnabled(FALSE);
        // Nor the browser's shortcuts: Ctrl+R would reload the game and drop its
        // connections, Ctrl+P print it (runtimes before 1.0.864 lack the setting).
        if (const auto third = settings.As<wv2::ICoreWebView2Settings3>()) {
            third->put_AreBrowserAcceleratorKeysEnabled(FALSE);
        }
    }
    wv2::EventToken token{};
    m_view->add_NavigationStarting(Handle<wv2::ICoreWebView2NavigationStartingEventHandler>(
                                       &WebView2View::OnNavigationStarting)
                                       .Get(),
                                   &token);
    m_view->add_NavigationCompleted(Handle<wv2::ICoreWebView2NavigationCompletedEventHandler>(
                                        &WebView2View::OnNavigationCompleted)
                                        .Get(),
                                    &token);
    m_view->add_WebResourceRequested(
        Handle<wv2::ICoreWebView2WebResourceRequestedEventHandler>(&WebView2View::OnResource).Get(),
        &token);
    m_view->add_ScriptDialogOpening(
        Handle<wv2::ICoreWebView2ScriptDialogOpeningEventHandler>(&WebView2View::OnDialog).Get(),
        &token);
    m_view->add_NewWindowRequested(
        Handle<wv2::ICoreWebView2NewWindowRequestedEventHandler>(&WebView2View::OnNewWindow).Get(),
        &token);
    m_view->add_ProcessFailed(
        Handle<wv2::ICoreWebView2ProcessFailedEventHandler>(&WebView2View::OnProcessFailed).Get(),
        &token);
    m_view->add_WebMessageReceived(
        Handle<wv2::ICoreWebView2WebMessageReceivedEventHandler>(&WebView2View::OnWebMessage).Get(),
        &token);
    std::weak_ptr<WebView2View*> self = m_self;
    m_view->add_ContainsFullScreenElementChanged(
        MakeHandler<wv2::ICoreWebView2ContainsFullScreenElementChangedEventHandler>(
            [self](wv2::ICoreWebView2*, IUnknown*) -> HRESULT {
                const auto view = self.lock();
                return view ? (*view)->OnFullScreenChanged() : S_OK;
            })
            .Get(),
        &token);
    m_controller->add_AcceleratorKeyPressed(
        Handle<wv2::ICoreWebView2AcceleratorKeyPressedEventHandler>(&WebView2View::OnKey).Get(),
        &token);
    m_view->AddWebResourceRequestedFilter(WideFromUtf8(std::string(kPlayerHost) + "/*").c_str(),
                                          wv2::kResourceAll);
}

void WebView2View::WhenReady(std::function<void()> work) {
    m_waiting.push_back(std::move(work));
    RunWaiting();
}

void WebView2View::RunWaiting() {
    while (m_view && !m_bScriptPending && !m_waiting.empty()) {
        auto work = std::move(m_waiting.front());
        m_waiting.pop_front();
        work();
    }
}

void WebView2View::InstallExternal() {
    if (m_bExternalInstalled) {
        return;
    }
    // The pages the launcher navigates to (the login and area pages) find `window.external`
    // before their own scripts run, and their Flash banners play in the launcher's player;
    // the player page has no use for either. The engine applies the script to navigations
    // that start after it said the script is in place.
    m_bExternalInstalled = true;
    std::weak_ptr<WebView2View*> self = m_self;
    auto done = MakeHandler<wv2::ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler>(
        [self](HRESULT result, LPCWSTR) -> HRESULT {
            const auto view = self.lock();
            if (!view) {
                return S_OK;
            }
            if (FAILED(result)) {
                Diagnose("browser: the login pages' bridge could not be installed (0x%08lx)",
                         static_cast<unsigned long>(result));
            }
            (*view)->m_bScriptPending = false;
            (*view)->RunWaiting();
            return S_OK;
        });
    const HRESULT added = m_view->AddScriptToExecuteOnDocumentCreated(
        WideFromUtf8(PageScript(L"SCRIPT_EXTERNAL") + "\nwindow.__tavrinRuffleFiles = '" +
                     kPlayerHost + "/';\n" + PageScript(L"SCRIPT_LOGIN_FLASH"))
            .c_str(),
        done.Get());
    m_bScriptPending = SUCCEEDED(added);
    if (FAILED(added)) {
        Diagnose("browser: the login pages' bridge could not be installed (0x%08lx)",
                 static_cast<unsigned long>(added));
    }
}

void WebView2View::Navigate(const std::string& address) {
    m_strLocation = address;
    WhenReady([this] { InstallExternal(); });
    WhenReady([this, address] {
        m_bOwnNavigation = true;
        m_view->Navigate(WideFromUtf8(address).c_str());
    });
}

std::string WebView2View::Location() const {
    return m_strLocation.empty() ? std::string("about:blank") : m_strLocation;
}

bool WebView2View::CanGoBack() const {
    BOOL can = FALSE;
    if (m_view) {
        m_view->get_CanGoBack(&can);
    }
    return can != FALSE;
}

void WebView2View::GoBack() {
    WhenReady([this] { m_view->GoBack(); });
}

void WebView2View::ParentMoved() {
    if (m_controller) {
        m_controller->NotifyParentWindowPositionChanged();
    }
}

std::vector<platform::BrowserCookie> WebView2View::Cookies() const {
    return m_cookies;
}

void WebView2View::SetBounds(const RECT& bounds) {
    m_bounds = bounds;
    if (m_controller) {
        m_controller->put_Bounds(bounds);
    }
}

void WebView2View::Focus() {
    WhenReady([this] { m_controller->MoveFocus(wv2::kFocusProgrammatic); });
}

PlayerAddresses WebView2View::AddressesFor(const std::string& token) const {
    m_strToken = token;
    const std::string files = std::string(kPlayerHost) + "/";
    return {files, kPlayerHost, files + "fonts/chinese/" + token,
            files + "bridge/" + token + "?m=", "webmessage"};
}

void WebView2View::ShowPlayerPage(const std::string& movie, const std::string& page) {
    m_strMovie = movie;
    m_strMovieUri = NormalisedAddress(movie);
    m_strPage = page;
    m_strLocation = movie;
    ++m_nPlayerPage;
    WhenReady([this, movie] {
        // Web messages carry the page's game sockets: for the player page only, from its
        // navigation on.
        ComPtr<wv2::ICoreWebView2Settings> settings;
        m_view->get_Settings(settings.Put());
        if (settings) {
            settings->put_IsWebMessageEnabled(TRUE);
        }
        // The page is served for the movie's own address, so that it has the movie's origin.
        // The engine matches filters against the address as it writes it (wildcards and all:
        // the request itself is compared exactly).
        if (std::find(m_movieFilters.begin(), m_movieFilters.end(), m_strMovieUri) ==
            m_movieFilters.end()) {
            m_movieFilters.push_back(m_strMovieUri);
            m_view->AddWebResourceRequestedFilter(WideFromUtf8(m_strMovieUri).c_str(),
                                                  wv2::kResourceDocument);
        }
        m_bOwnNavigation = true;
        m_view->Navigate(WideFromUtf8(movie).c_str());
    });
}

void WebView2View::RunScript(const std::string& script) {
    WhenReady([this, script] { m_view->ExecuteScript(WideFromUtf8(script).c_str(), nullptr); });
}

void WebView2View::ExitFullScreen() {
    RunScript("document.fullscreenElement && document.exitFullscreen()");
}

HRESULT WebView2View::OnNavigationStarting(wv2::ICoreWebView2NavigationStartingEventArgs* args) {
    LPWSTR uri = nullptr;
    args->get_Uri(&uri);
    const std::string address = TakeEngineString(uri);
    args->get_NavigationId(&m_latestNavigation);
    // The launcher's own navigation keeps the address as it was asked for; where the page
    // goes on its own (a link, a form, a redirect) is the engine's.
    if (!m_bOwnNavigation) {
        m_strLocation = address;
    }
    m_bOwnNavigation = false;
    return S_OK;
}

HRESULT WebView2View::OnNavigationCompleted(wv2::ICoreWebView2NavigationCompletedEventArgs* args) {
    UINT64 id = 0;
    args->get_NavigationId(&id);
    if (id != m_latestNavigation) {
        return S_OK;  // overtaken by a later navigation, which reports for itself
    }
    // Every finished load is told, as the Linux view does: an error page (an HTTP error, a
    // page that stopped itself) may still be the verification address.
    BOOL success = FALSE;
    args->get_IsSuccess(&success);
    if (!success) {
        int status = 0;
        args->get_WebErrorStatus(&status);
        Diagnose("browser: %s did not load completely (engine status %d)", m_strLocation.c_str(),
                 status);
    }
    // The page's cookies, for the launcher's own fetch that may follow, before it hears
    // of the page; and not from inside the engine's handler, as the flow may open windows,
    // boxes or end the program.
    const std::string address = m_strLocation;
    std::weak_ptr<WebView2View*> self = m_self;
    const auto told = [self, address] {
        const auto view = self.lock();
        if (!view) {
            return;
        }
        (*view)->m_mailbox.Post([self, address] {
            const auto later = self.lock();
            if (later && (*later)->onDocumentComplete) {
                (*later)->onDocumentComplete(address);
            }
        });
    };
    const auto second = m_view.As<wv2::ICoreWebView2_2>();
    ComPtr<wv2::ICoreWebView2CookieManager> cookies;
    if (second) {
        second->get_CookieManager(cookies.Put());
    }
    const HRESULT asked =
        cookies ? cookies->GetCookies(
                      L"", MakeHandler<wv2::ICoreWebView2GetCookiesCompletedHandler>(
                               [self, told](HRESULT result, wv2::ICoreWebView2CookieList* list) {
                                   const auto view = self.lock();
                                   if (view && SUCCEEDED(result) && list != nullptr) {
                                       (*view)->m_cookies = ReadCookies(list);
                                   }
                                   told();
                                   return S_OK;
                               })
                               .Get())
                : E_NOINTERFACE;
    if (FAILED(asked)) {
        told();
    }
    return S_OK;
}

}  // namespace tavrin::win
