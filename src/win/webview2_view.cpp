#include "win/webview2_view.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <utility>

#include "app/diagnostics.h"
#include "flow/login_rules.h"
#include "win/message_box.h"
#include "win/movie_player.h"
#include "win/shell_open.h"
#include "win/webview2_engine.h"
#include "win/win_text.h"

namespace tavrin::win {

namespace {

// The mark of a `window.external` call in the page's prompt().
constexpr wchar_t kBridgeMark[] = L"\u0001tavrin-bridge";

std::vector<platform::BrowserCookie> ReadCookies(wv2::ICoreWebView2CookieList* list) {
    std::vector<platform::BrowserCookie> cookies;
    UINT32 count = 0;
    list->get_Count(&count);
    for (UINT32 i = 0; i < count; ++i) {
        ComPtr<wv2::ICoreWebView2Cookie> item;
        list->GetValueAtIndex(i, item.Put());
        if (!item) {
            continue;
        }
        platform::BrowserCookie cookie;
        LPWSTR text = nullptr;
        item->get_Name(&text);
        cookie.name = TakeEngineString(text);
        item->get_Value(&text);
        cookie.value = TakeEngineString(text);
        item->get_Domain(&text);
        cookie.domain = TakeEngineString(text);
        // The engine writes a cookie for a domain and its subdomains with a leading dot.
        if (!cookie.domain.empty() && cookie.domain[0] == '.') {
            cookie.domain.erase(0, 1);
            cookie.hostOnly = false;
        }
        item->get_Path(&text);
        cookie.path = TakeEngineString(text);
        BOOL flag = FALSE;
        item->get_IsSecure(&flag);
        cookie.secure = flag != FALSE;
        item->get_IsHttpOnly(&flag);
        cookie.httpOnly = flag != FALSE;
        item->get_IsSession(&flag);
        double expires = 0;
        if (flag == FALSE && SUCCEEDED(item->get_Expires(&expires))) {
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

WebView2View::WebView2View(WebView2Engine& engine, HWND parent, const RECT& bounds)
    : m_engine(engine),
      m_parent(parent),
      m_bounds(bounds),
      m_self(std::make_shared<WebView2View*>(this)) {
    std::weak_ptr<WebView2View*> self = m_self;
    m_engine.WhenStarted([self, parent](wv2::ICoreWebView2Environment* environment) {
        if (self.expired()) {
            return;
        }
        auto done = MakeHandler<wv2::ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
            [self](HRESULT result, wv2::ICoreWebView2Controller* controller) {
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
                (*view)->Attach(controller);
                return S_OK;
            });
        environment->CreateCoreWebView2Controller(parent, done.Get());
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

void WebView2View::Attach(wv2::ICoreWebView2Controller* controller) {
    m_controller = ComPtr<wv2::ICoreWebView2Controller>::Share(controller);
    m_controller->get_CoreWebView2(m_view.Put());
    if (!m_view) {
        return;
    }
    m_controller->put_Bounds(m_bounds);
    m_controller->put_IsVisible(TRUE);
    Configure();
    std::vector<std::function<void()>> waiting;
    waiting.swap(m_waiting);
    for (auto& work : waiting) {
        work();
    }
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
    if (m_view) {
        work();
    } else {
        m_waiting.push_back(std::move(work));
    }
}

void WebView2View::Navigate(const std::string& address) {
    m_strLocation = address;
    m_bOwnNavigation = true;
    WhenReady([this, address] {
        if (!m_bExternalInstalled) {
            // The pages the launcher navigates to (the login and area pages) find
            // `window.external` before their own scripts run; the player page has no use
            // for it.
            m_bExternalInstalled = true;
            m_view->AddScriptToExecuteOnDocumentCreated(
                WideFromUtf8(PageScript(L"SCRIPT_EXTERNAL")).c_str(), nullptr);
        }
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
            files + "bridge/" + token + "?m="};
}

void WebView2View::ShowPlayerPage(const std::string& movie, const std::string& page) {
    m_strMovie = movie;
    m_strPage = page;
    m_strLocation = movie;
    m_bOwnNavigation = true;
    WhenReady([this, movie] {
        // The page is served for the movie's own address, so that it has the movie's origin.
        if (std::find(m_movieFilters.begin(), m_movieFilters.end(), movie) ==
            m_movieFilters.end()) {
            m_movieFilters.push_back(movie);
            m_view->AddWebResourceRequestedFilter(WideFromUtf8(movie).c_str(),
                                                  wv2::kResourceDocument);
        }
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
    // The launcher's own navigation keeps the address as it was asked for; where the page
    // goes on its own (a link, a form, a redirect) is the engine's.
    if (!m_bOwnNavigation) {
        m_strLocation = address;
    }
    m_bOwnNavigation = false;
    return S_OK;
}

HRESULT WebView2View::OnNavigationCompleted(wv2::ICoreWebView2NavigationCompletedEventArgs* args) {
    BOOL success = FALSE;
    args->get_IsSuccess(&success);
    if (!success) {
        int status = 0;
        args->get_WebErrorStatus(&status);
        Diagnose("browser: %s did not load (engine status %d)", m_strLocation.c_str(), status);
        return S_OK;
    }
    // The page's cookies, for the launcher's own fetch that may follow, before it hears
    // of the page.
    const std::string address = m_strLocation;
    std::weak_ptr<WebView2View*> self = m_self;
    const auto told = [self, address] {
        const auto view = self.lock();
        if (view && (*view)->onDocumentComplete) {
            (*view)->onDocumentComplete(address);
        }
    };
    const auto second = m_view.As<wv2::ICoreWebView2_2>();
    ComPtr<wv2::ICoreWebView2CookieManager> cookies;
    if (second) {
        second->get_CookieManager(cookies.Put());
    }
    if (!cookies) {
        told();
        return S_OK;
    }
    cookies->GetCookies(
        L"", MakeHandler<wv2::ICoreWebView2GetCookiesCompletedHandler>(
                 [self, told](HRESULT result, wv2::ICoreWebView2CookieList* list) -> HRESULT {
                     const auto view = self.lock();
                     if (view && SUCCEEDED(result) && list != nullptr) {
                         (*view)->m_cookies = ReadCookies(list);
                     }
                     told();
                     return S_OK;
                 })
                 .Get());
    return S_OK;
}

HRESULT WebView2View::OnDialog(wv2::ICoreWebView2ScriptDialogOpeningEventArgs* args) {
    int kind = wv2::kDialogAlert;
    args->get_Kind(&kind);
    LPWSTR rawMessage = nullptr;
    args->get_Message(&rawMessage);
    const std::wstring message = rawMessage != nullptr ? rawMessage : L"";
    CoTaskMemFree(rawMessage);
    if (kind == wv2::kDialogPrompt && message == kBridgeMark) {
        // A call of `window.external`, from a frame of the page's own origin only.
        LPWSTR rawUri = nullptr;
        args->get_Uri(&rawUri);
        LPWSTR rawText = nullptr;
        args->get_DefaultText(&rawText);
        const std::string request = TakeEngineString(rawText);
        if (OriginOf(TakeEngineString(rawUri)) == OriginOf(m_strLocation)) {
            args->put_ResultText(WideFromUtf8(AnswerExternalCall(request)).c_str());
            args->Accept();
        }
        return S_OK;
    }
    if (kind != wv2::kDialogAlert && kind != wv2::kDialogConfirm) {
        // A page's own prompt (the launcher has no text box for it) or a question before
        // leaving it: left as if dismissed, or let go.
        if (kind != wv2::kDialogPrompt) {
            args->Accept();
        }
        return S_OK;
    }
    // The page's alert or confirm in the launcher's own box, once the engine's handler has
    // returned; the page waits for it.
    ComPtr<wv2::ICoreWebView2Deferral> deferral;
    args->GetDeferral(deferral.Put());
    auto pending = ComPtr<wv2::ICoreWebView2ScriptDialogOpeningEventArgs>::Share(args);
    HWND owner = GetAncestor(m_parent, GA_ROOT);
    m_mailbox.Post([pending, deferral, owner, kind, text = Utf8FromWide(message)] {
        const MessageAnswer answer = ShowMessage(
            owner, {kind == wv2::kDialogConfirm ? MessageKind::kYesNo : MessageKind::kOk, text,
                    MessageOwner::kNone, MessageIcon::kUsual});
        if (answer == MessageAnswer::kOk || answer == MessageAnswer::kYes) {
            pending->Accept();
        }
        if (deferral) {
            deferral->Complete();
        }
    });
    return S_OK;
}

HRESULT WebView2View::OnNewWindow(wv2::ICoreWebView2NewWindowRequestedEventArgs* args) {
    LPWSTR uri = nullptr;
    args->get_Uri(&uri);
    const std::string address = TakeEngineString(uri);
    // No window of the engine's own: the address goes to the player's browser.
    args->put_Handled(TRUE);
    if (IsWebAddress(address)) {
        OpenWebAddress(address);
    } else {
        Diagnose("browser: a new window for %s was not opened", address.c_str());
    }
    return S_OK;
}

HRESULT WebView2View::OnKey(wv2::ICoreWebView2AcceleratorKeyPressedEventArgs* args) {
    int kind = wv2::kKeyUp;
    args->get_KeyEventKind(&kind);
    UINT key = 0;
    args->get_VirtualKey(&key);
    if (kind != wv2::kKeyDown && kind != wv2::kSystemKeyDown) {
        return S_OK;
    }
    // F5 never reloads a page of the launcher's; the window decides what it means.
    const bool taken = onKey && onKey(key);
    if (taken || key == VK_F5) {
        args->put_Handled(TRUE);
    }
    return S_OK;
}

HRESULT WebView2View::OnFullScreenChanged() {
    BOOL contains = FALSE;
    m_view->get_ContainsFullScreenElement(&contains);
    if ((contains != FALSE) != m_bFullScreen) {
        m_bFullScreen = contains != FALSE;
        if (onFullScreen) {
            onFullScreen(m_bFullScreen);
        }
    }
    return S_OK;
}

HRESULT WebView2View::OnProcessFailed(wv2::ICoreWebView2ProcessFailedEventArgs* args) {
    int kind = 0;
    args->get_ProcessFailedKind(&kind);
    Diagnose("browser: a process of the engine ended (kind %d) while showing %s", kind,
             m_strLocation.c_str());
    return S_OK;
}

}  // namespace tavrin::win
