// One browser of the double: the controller, its view and the page it shows. Navigations go
// as the engine's do: NavigationStarting (normalised address), the document's resource
// request where a filter matches (the launcher may answer it, now or after a deferral), the
// network otherwise, the commit, then NavigationCompleted; a navigation overtaken by a later
// one completes as cancelled.
#include <algorithm>

#include "engine_double/double_args.h"
#include "engine_double/double_player.h"
#include "engine_double/double_state.h"
#include "win/webview2_view.h"
#include "win/win_text.h"

namespace tavrin::test::engine_double {

// A key for the browser whose view is `window`.
void PressKeyIn(HWND window, UINT key, bool control, bool repeat);

namespace {

constexpr wchar_t kBridgeMark[] = L"\u0001tavrin-bridge";

// `*` any run, `?` any one character, as the engine reads its filters.
bool Matches(const char* pattern, const char* text) {
    if (*pattern == '\0') {
        return *text == '\0';
    }
    if (*pattern == '*') {
        return Matches(pattern + 1, text) || (*text != '\0' && Matches(pattern, text + 1));
    }
    return *text != '\0' && (*pattern == '?' || *pattern == *text) &&
           Matches(pattern + 1, text + 1);
}

bool IsCharacterKey(UINT key) {
    return (key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9') || key == VK_SPACE;
}

class Settings : public Com<wv2::ICoreWebView2Settings3, wv2::ICoreWebView2Settings> {
public:
    HRESULT STDMETHODCALLTYPE put_IsWebMessageEnabled(BOOL value) override {
        webMessages = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_AreDefaultScriptDialogsEnabled(BOOL value) override {
        defaultDialogs = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE put_AreHostObjectsAllowed(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE put_AreBrowserAcceleratorKeysEnabled(BOOL value) override {
        browserKeys = value;
        return S_OK;
    }
    DOUBLE_UNUSED(get_IsScriptEnabled)
    DOUBLE_UNUSED(put_IsScriptEnabled)
    DOUBLE_UNUSED(get_IsWebMessageEnabled)
    DOUBLE_UNUSED(get_AreDefaultScriptDialogsEnabled)
    DOUBLE_UNUSED(get_IsStatusBarEnabled)
    DOUBLE_UNUSED(get_AreDevToolsEnabled)
    DOUBLE_UNUSED(get_AreDefaultContextMenusEnabled)
    DOUBLE_UNUSED(get_AreHostObjectsAllowed)
    DOUBLE_UNUSED(get_IsZoomControlEnabled)
    DOUBLE_UNUSED(get_IsBuiltInErrorPageEnabled)
    DOUBLE_UNUSED(put_IsBuiltInErrorPageEnabled)
    DOUBLE_UNUSED(get_UserAgent)
    DOUBLE_UNUSED(put_UserAgent)
    DOUBLE_UNUSED(get_AreBrowserAcceleratorKeysEnabled)
    BOOL defaultDialogs = TRUE;
    BOOL webMessages = TRUE;  // the engine's default; a navigation takes the value it finds
    BOOL browserKeys = TRUE;
};

LRESULT CALLBACK PaintAddress(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN) {
        // Input the system delivers (a player's key) takes the engine's road for a key.
        PressKeyIn(hwnd, static_cast<UINT>(wParam), GetKeyState(VK_CONTROL) < 0,
                   (lParam & (1 << 30)) != 0);
        return 0;
    }
    if (message != WM_PAINT) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    RECT area;
    GetClientRect(hwnd, &area);
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    wchar_t text[512] = {};
    GetWindowTextW(hwnd, text, 512);
    DrawTextW(dc, text, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(hwnd, &paint);
    return 0;
}

HWND MakeWindow(HWND parent) {
    static const ATOM kClass = [] {
        WNDCLASSW c{};
        c.lpfnWndProc = PaintAddress;
        c.hInstance = GetModuleHandleW(nullptr);
        c.lpszClassName = L"TavrinEngineDoubleView";
        c.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
        return RegisterClassW(&c);
    }();
    return CreateWindowExW(0, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(kClass)), L"",
                           WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 0, 0, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

class Browser : public ViewDouble, public PageDouble, public std::enable_shared_from_this<Browser> {
public:
    Browser(HWND parent, int generation)
        : m_parent(parent), m_generation(generation), m_window(MakeWindow(parent)) {}
    ~Browser() {
        if (IsWindow(m_window)) {
            DestroyWindow(m_window);
        }
    }

    bool Dead() const { return m_closed || m_generation != State().generation; }

    // ViewDouble
    PageDouble& Page() override { return *this; }
    HWND Window() override { return m_window; }
    RECT Bounds() override { return m_bounds; }
    bool Visible() override { return m_visible; }
    bool Closed() override { return m_closed; }
    int PositionNotices() override { return m_notices; }
    bool PressKey(UINT key, bool control, bool repeat) override;
    void RendererExits() override;
    std::vector<std::string> Log() override { return m_log; }

    // PageDouble
    std::string Address() override { return m_doc.address; }
    std::string Text() override { return m_doc.text; }
    bool HasExternal() override { return m_doc.external; }
    void CallExternal(const std::string& request,
                      std::function<void(bool, std::string)> done) override;
    void Dialog(int kind, const std::string& text, std::function<void(bool)> done) override;
    void Fetch(const std::string& address, int context, const std::string& origin,
               std::function<void(DoubleResponse)> done) override;
    void Navigate(const std::string& address) override { StartNavigation(address, Kind::kPage); }
    void OpenWindow(const std::string& address) override;
    void RequestFullScreen(bool on) override;
    bool PostWebMessage(const std::string& json) override;
    void OnWebMessage(std::function<void(const std::string&)> message) override {
        m_pageMessage = std::move(message);
    }
    void OnKey(std::function<void(UINT key)> key) override { m_pageKey = std::move(key); }
    std::vector<std::string> Scripts() override { return m_doc.scripts; }

    enum class Kind { kLauncher, kPage, kBack, kReload };
    void StartNavigation(const std::string& address, Kind kind);
    void Died(int kind);

    // What the COM objects reach.
    wv2::ICoreWebView2* m_sender = nullptr;
    wv2::ICoreWebView2Controller* m_controllerSender = nullptr;
    HWND m_parent;
    int m_generation;
    HWND m_window;
    RECT m_bounds{};
    bool m_visible = false;
    bool m_closed = false;
    int m_notices = 0;
    ComPtr<Settings> m_settings = Make<Settings>();
    std::vector<ComPtr<wv2::ICoreWebView2NavigationStartingEventHandler>> m_starting;
    std::vector<ComPtr<wv2::ICoreWebView2NavigationCompletedEventHandler>> m_completed;
    std::vector<ComPtr<wv2::ICoreWebView2WebResourceRequestedEventHandler>> m_resources;
    std::vector<ComPtr<wv2::ICoreWebView2ScriptDialogOpeningEventHandler>> m_dialogs;
    std::vector<ComPtr<wv2::ICoreWebView2NewWindowRequestedEventHandler>> m_windows;
    std::vector<ComPtr<wv2::ICoreWebView2ProcessFailedEventHandler>> m_failed;
    std::vector<ComPtr<wv2::ICoreWebView2ContainsFullScreenElementChangedEventHandler>>
        m_fullScreen;
    std::vector<ComPtr<wv2::ICoreWebView2AcceleratorKeyPressedEventHandler>> m_keys;
    std::vector<ComPtr<wv2::ICoreWebView2WebMessageReceivedEventHandler>> m_webMessages;
    std::function<void(const std::string&)> m_pageMessage;
    bool m_webMessagesAtStart = true;  // the latest navigation's
    std::vector<std::pair<std::string, int>> m_filters;
    struct Script {
        std::string text;
        bool ready = false;
    };
    std::vector<Script> m_scripts;
    std::vector<std::string> m_history;
    int m_index = -1;
    struct Document {
        std::string address;
        std::string text;
        bool external = false;
        std::vector<std::string> scripts;
        bool webMessages = false;
    } m_doc;
    bool m_bFullScreen = false;
    std::function<void(UINT key)> m_pageKey;
    UINT64 m_navigations = 0;
    UINT64 m_latest = 0;

private:
    void Starting(const std::string& address, UINT64 id, Kind kind, int redirects);
    void RequestDocument(const std::string& uri, UINT64 id, Kind kind, bool external,
                         int redirects);
    void Arrived(const std::string& uri, UINT64 id, Kind kind, bool external, int redirects,
                 DoubleResponse got);
    void Commit(const std::string& uri, const std::string& text, bool external, Kind kind);
    void Completed(const std::string& uri, UINT64 id, bool success, int status);
    // Raises the resource request when one of the launcher's filters takes `uri`; `done`
    // gets its answer, or the network's.
    void Request(const std::string& uri, int context, const std::string& origin,
                 std::function<void(DoubleResponse)> done);
    std::vector<std::string> m_log;
};

void Browser::StartNavigation(const std::string& address, Kind kind) {
    const UINT64 id = ++m_navigations;
    m_latest = id;
    auto self = shared_from_this();
    Later([self, address, id, kind] { self->Starting(address, id, kind, 0); });
}

void Browser::Starting(const std::string& address, UINT64 id, Kind kind, int redirects) {
    if (Dead()) {
        return;
    }
    const std::string uri = win::NormalisedAddress(address);
    m_log.push_back("navigate " + uri);
    m_webMessagesAtStart = m_settings->webMessages != FALSE;
    auto args = Make<NavigationStartingArgs>();
    args->uri = uri;
    args->id = id;
    Raise(m_starting, m_sender,
          static_cast<wv2::ICoreWebView2NavigationStartingEventArgs*>(args.Get()));
    // The document gets the scripts that were ready when its navigation started.
    const bool external = std::any_of(m_scripts.begin(), m_scripts.end(), [](const Script& s) {
        return s.ready && s.text.find("tavrin-bridge") != std::string::npos;
    });
    auto self = shared_from_this();
    Later([self, uri, id, kind, external, redirects] {
        self->RequestDocument(uri, id, kind, external, redirects);
    });
}

void Browser::RequestDocument(const std::string& uri, UINT64 id, Kind kind, bool external,
                              int redirects) {
    if (Dead()) {
        return;
    }
    if (id != m_latest) {
        Completed(uri, id, false, kErrorOperationCanceled);
        return;
    }
    auto self = shared_from_this();
    Request(uri, wv2::kResourceDocument, "",
            [self, uri, id, kind, external, redirects](DoubleResponse got) {
                self->Arrived(uri, id, kind, external, redirects, std::move(got));
            });
}

void Browser::Arrived(const std::string& uri, UINT64 id, Kind kind, bool external, int redirects,
                      DoubleResponse got) {
    if (Dead()) {
        return;
    }
    if (id != m_latest) {
        Completed(uri, id, false, kErrorOperationCanceled);
        return;
    }
    const std::string headers = "\r\n" + got.headers;
    const auto header = [&headers](const std::string& name) {
        std::string lower = headers;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const std::size_t at = lower.find("\r\n" + name + ":");
        if (at == std::string::npos) {
            return std::string();
        }
        const std::size_t begin = headers.find_first_not_of(' ', at + name.size() + 3);
        return headers.substr(begin, headers.find("\r\n", begin) - begin);
    };
    if (!got.fromLauncher && got.status >= 300 && got.status < 400 && !header("location").empty() &&
        redirects < 10) {
        std::string next = header("location");
        if (next.find("://") == std::string::npos) {
            next = win::OriginOf(uri) + (next[0] == '/' ? "" : "/") + next;
        }
        Starting(next, id, kind, redirects + 1);
        return;
    }
    if (got.status == 0) {
        Commit(uri, "", false, kind);  // the engine's own error page
        Completed(uri, id, false, kErrorCannotConnect);
        return;
    }
    if (header("content-disposition").rfind("attachment", 0) == 0) {
        m_log.push_back("download " + uri);  // the page stays
        Completed(uri, id, false, kErrorConnectionAborted);
        return;
    }
    Commit(uri, got.body, external, kind);
    auto self = shared_from_this();
    const bool success = got.status < 400;
    Later([self, uri, id, success] { self->Completed(uri, id, success, kErrorUnknown); });
}

void Browser::Commit(const std::string& uri, const std::string& text, bool external, Kind kind) {
    if (kind == Kind::kBack) {
        --m_index;
    } else if (kind != Kind::kReload) {
        m_history.resize(static_cast<std::size_t>(m_index + 1));
        m_history.push_back(uri);
        m_index = static_cast<int>(m_history.size()) - 1;
    }
    m_doc = {uri, text, external, {}, m_webMessagesAtStart};
    m_pageKey = nullptr;
    m_pageMessage = nullptr;
    SetWindowTextW(m_window, win::WideFromUtf8(uri).c_str());
    InvalidateRect(m_window, nullptr, TRUE);
    if (m_bFullScreen) {
        RequestFullScreen(false);
    }
}

void Browser::Completed(const std::string& uri, UINT64 id, bool success, int status) {
    if (Dead()) {
        return;
    }
    m_log.push_back("complete " + uri + (success ? " ok" : " failed"));
    auto args = Make<NavigationCompletedArgs>();
    args->success = success;
    args->status = status;
    args->id = id;
    Raise(m_completed, m_sender,
          static_cast<wv2::ICoreWebView2NavigationCompletedEventArgs*>(args.Get()));
    if (success && PlaysPlayerPages()) {
        auto self = shared_from_this();
        Later([self] {
            if (!self->Dead()) {
                PlayPlayerPage(self);
            }
        });
    }
}

void Browser::Request(const std::string& uri, int context, const std::string& origin,
                      std::function<void(DoubleResponse)> done) {
    const bool filtered = std::any_of(m_filters.begin(), m_filters.end(), [&](const auto& f) {
        return (f.second == wv2::kResourceAll || f.second == context) &&
               Matches(f.first.c_str(), uri.c_str());
    });
    if (!filtered) {
        Later([uri, done] { done(FetchFromNetwork(uri)); });
        return;
    }
    auto args = Make<ResourceArgs>();
    args->request->uri = uri;
    args->context = context;
    if (!origin.empty()) {
        args->request->headers->values[L"origin"] = win::WideFromUtf8(origin);
    }
    Raise(m_resources, m_sender,
          static_cast<wv2::ICoreWebView2WebResourceRequestedEventArgs*>(args.Get()));
    AfterDeferral(args->deferral, [args, uri, done] {
        if (!args->response) {
            done(FetchFromNetwork(uri));
            return;
        }
        done({true, args->response->status, args->response->headers, args->response->body});
    });
}

void Browser::CallExternal(const std::string& request,
                           std::function<void(bool, std::string)> done) {
    if (!m_doc.external) {
        Later([done] { done(false, {}); });  // window.external has no such method
        return;
    }
    auto args = Make<DialogArgs>();
    args->uri = m_doc.address;
    args->kind = wv2::kDialogPrompt;
    args->message = kBridgeMark;
    args->defaultText = request;
    Raise(m_dialogs, m_sender,
          static_cast<wv2::ICoreWebView2ScriptDialogOpeningEventArgs*>(args.Get()));
    AfterDeferral(args->deferral, [args, done] {
        done(args->accepted, args->accepted ? win::Utf8FromWide(args->result) : std::string());
    });
}

void Browser::Dialog(int kind, const std::string& text, std::function<void(bool)> done) {
    if (m_settings->defaultDialogs) {
        m_log.push_back("engine dialog " + text);
        Later([done] { done(false); });
        return;
    }
    auto args = Make<DialogArgs>();
    args->uri = m_doc.address;
    args->kind = kind;
    args->message = win::WideFromUtf8(text);
    Raise(m_dialogs, m_sender,
          static_cast<wv2::ICoreWebView2ScriptDialogOpeningEventArgs*>(args.Get()));
    AfterDeferral(args->deferral, [args, done] { done(args->accepted); });
}

void Browser::Fetch(const std::string& address, int context, const std::string& origin,
                    std::function<void(DoubleResponse)> done) {
    Request(win::NormalisedAddress(address), context, origin, std::move(done));
}

void Browser::OpenWindow(const std::string& address) {
    auto args = Make<NewWindowArgs>();
    args->uri = win::NormalisedAddress(address);
    Raise(m_windows, m_sender,
          static_cast<wv2::ICoreWebView2NewWindowRequestedEventArgs*>(args.Get()));
    if (!args->handled) {
        m_log.push_back("window " + args->uri);
    }
}

void Browser::RequestFullScreen(bool on) {
    if (m_bFullScreen == on) {
        return;
    }
    m_bFullScreen = on;
    Raise(m_fullScreen, m_sender, static_cast<IUnknown*>(nullptr));
}

void PressKeyIn(HWND window, UINT key, bool control, bool repeat) {
    for (const auto& browser : State().browsers) {
        if (browser->m_window == window) {
            browser->PressKey(key, control, repeat);
            return;
        }
    }
}

bool Browser::PressKey(UINT key, bool control, bool repeat) {
    if (Dead() || GetFocus() != m_window) {
        return false;
    }
    if (control || !IsCharacterKey(key)) {
        auto args = Make<KeyArgs>();
        args->key = key;
        args->lParam = repeat ? (1 << 30) : 0;
        Raise(m_keys, m_controllerSender,
              static_cast<wv2::ICoreWebView2AcceleratorKeyPressedEventArgs*>(args.Get()));
        if (args->handled || !m_settings->browserKeys) {
            return true;
        }
    }
    if (key == VK_F5 || (control && key == 'R')) {
        m_log.push_back("reload");
        StartNavigation(m_doc.address, Kind::kReload);
    } else if (control && key == 'P') {
        m_log.push_back("print");
    } else if ((control && key == 'F') || key == VK_F3) {
        m_log.push_back("find");
    } else if (m_pageKey) {
        m_pageKey(key);
    }
    return true;
}

bool Browser::PostWebMessage(const std::string& json) {
    if (!m_doc.webMessages) {
        return false;
    }
    auto self = shared_from_this();
    const std::string source = m_doc.address;
    Later([self, source, json] {
        if (self->Dead() || self->m_doc.address != source) {
            return;
        }
        auto args = Make<WebMessageArgs>();
        args->source = source;
        args->json = json;
        Raise(self->m_webMessages, self->m_sender,
              static_cast<wv2::ICoreWebView2WebMessageReceivedEventArgs*>(args.Get()));
    });
    return true;
}

void Browser::RendererExits() {
    m_doc = {m_doc.address, "", false, {}};
    SetWindowTextW(m_window, L"");
    Died(wv2::kRenderProcessExited);
}

void Browser::Died(int kind) {
    auto args = Make<ProcessFailedArgs>(kind);
    Raise(m_failed, m_sender, static_cast<wv2::ICoreWebView2ProcessFailedEventArgs*>(args.Get()));
}

namespace {

class View : public Com<wv2::ICoreWebView2_2, wv2::ICoreWebView2> {
public:
    explicit View(std::shared_ptr<Browser> browser) : b(std::move(browser)) { b->m_sender = this; }
    ~View() override {
        if (b->m_sender == this) {
            b->m_sender = nullptr;
        }
    }

    HRESULT STDMETHODCALLTYPE get_Settings(wv2::ICoreWebView2Settings** out) override {
        b->m_settings->AddRef();
        *out = b->m_settings.Get();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* out) override {
        *out = Dup(b->m_doc.address.empty() ? std::string("about:blank") : b->m_doc.address);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override {
        if (b->Dead()) {
            return kInvalidState;
        }
        const std::string address = win::Utf8FromWide(uri);
        if (address.find(':') == std::string::npos) {
            return E_INVALIDARG;
        }
        b->StartNavigation(address, Browser::Kind::kLauncher);
        return S_OK;
    }
    template <typename Handler>
    HRESULT Add(std::vector<ComPtr<Handler>>& list, Handler* handler, wv2::EventToken* token) {
        if (handler == nullptr || token == nullptr) {
            return E_POINTER;
        }
        list.push_back(ComPtr<Handler>::Share(handler));
        token->value = static_cast<std::int64_t>(list.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE add_NavigationStarting(
        wv2::ICoreWebView2NavigationStartingEventHandler* h, wv2::EventToken* t) override {
        return Add(b->m_starting, h, t);
    }
    HRESULT STDMETHODCALLTYPE add_NavigationCompleted(
        wv2::ICoreWebView2NavigationCompletedEventHandler* h, wv2::EventToken* t) override {
        return Add(b->m_completed, h, t);
    }
    HRESULT STDMETHODCALLTYPE add_ScriptDialogOpening(
        wv2::ICoreWebView2ScriptDialogOpeningEventHandler* h, wv2::EventToken* t) override {
        return Add(b->m_dialogs, h, t);
    }
    HRESULT STDMETHODCALLTYPE add_ProcessFailed(wv2::ICoreWebView2ProcessFailedEventHandler* h,
                                                wv2::EventToken* t) override {
        return Add(b->m_failed, h, t);
    }
    HRESULT STDMETHODCALLTYPE add_NewWindowRequested(
        wv2::ICoreWebView2NewWindowRequestedEventHandler* h, wv2::EventToken* t) override {
        return Add(b->m_windows, h, t);
    }
    HRESULT STDMETHODCALLTYPE add_ContainsFullScreenElementChanged(
        wv2::ICoreWebView2ContainsFullScreenElementChangedEventHandler* h,
        wv2::EventToken* t) override {
        return Add(b->m_fullScreen, h, t);
    }
    HRESULT STDMETHODCALLTYPE add_WebResourceRequested(
        wv2::ICoreWebView2WebResourceRequestedEventHandler* h, wv2::EventToken* t) override {
        return Add(b->m_resources, h, t);
    }
    HRESULT STDMETHODCALLTYPE add_WebMessageReceived(
        wv2::ICoreWebView2WebMessageReceivedEventHandler* h, wv2::EventToken* t) override {
        return Add(b->m_webMessages, h, t);
    }
    // To the document that is there now, on a later message; one that does not take web
    // messages has nothing listening.
    HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR json) override {
        if (b->Dead()) {
            return kInvalidState;
        }
        if (json == nullptr) {
            return E_INVALIDARG;
        }
        if (!b->m_doc.webMessages) {
            return S_OK;
        }
        const std::shared_ptr<Browser> browser = b;
        const std::string address = b->m_doc.address;
        const std::string text = win::Utf8FromWide(json);
        Later([browser, address, text] {
            if (!browser->Dead() && browser->m_doc.address == address && browser->m_pageMessage) {
                browser->m_pageMessage(text);
            }
        });
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
        LPCWSTR script,
        wv2::ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* done) override {
        if (b->Dead()) {
            return kInvalidState;
        }
        b->m_scripts.push_back({win::Utf8FromWide(script), false});
        const std::size_t index = b->m_scripts.size() - 1;
        auto handler =
            ComPtr<wv2::ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler>::Share(
                done);
        auto browser = b;
        // Ready a message later than work asked for at the same time: a navigation asked for
        // right after this call starts before the script is in place.
        Later([browser, index, handler] {
            Later([browser, index, handler] {
                browser->m_scripts[index].ready = true;
                if (handler) {
                    const std::wstring id = std::to_wstring(index + 1);
                    std::vector one{handler};
                    Raise(one, S_OK, id.c_str());
                }
            });
        });
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    ExecuteScript(LPCWSTR script, wv2::ICoreWebView2ExecuteScriptCompletedHandler* done) override {
        if (b->Dead()) {
            return kInvalidState;
        }
        const std::string text = win::Utf8FromWide(script);
        b->m_doc.scripts.push_back(text);
        auto handler = ComPtr<wv2::ICoreWebView2ExecuteScriptCompletedHandler>::Share(done);
        auto browser = b;
        Later([browser, text, handler] {
            if (text.find("exitFullscreen") != std::string::npos) {
                browser->RequestFullScreen(false);
            }
            if (handler) {
                std::vector one{handler};
                Raise(one, S_OK, L"null");
            }
        });
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reload() override {
        if (b->Dead()) {
            return kInvalidState;
        }
        b->StartNavigation(b->m_doc.address, Browser::Kind::kReload);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_CanGoBack(BOOL* out) override {
        *out = b->m_index > 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GoBack() override {
        if (b->Dead()) {
            return kInvalidState;
        }
        if (b->m_index > 0) {
            b->StartNavigation(b->m_history[static_cast<std::size_t>(b->m_index - 1)],
                               Browser::Kind::kBack);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ContainsFullScreenElement(BOOL* out) override {
        *out = b->m_bFullScreen;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(LPCWSTR uri, int context) override {
        if (b->Dead()) {
            return kInvalidState;
        }
        b->m_filters.emplace_back(win::Utf8FromWide(uri), context);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_CookieManager(wv2::ICoreWebView2CookieManager** out) override {
        auto manager = MakeCookieManager();
        manager->AddRef();
        *out = manager.Get();
        return S_OK;
    }

    DOUBLE_UNUSED(NavigateToString)
    DOUBLE_UNUSED(remove_NavigationStarting)
    DOUBLE_UNUSED(add_ContentLoading)
    DOUBLE_UNUSED(remove_ContentLoading)
    DOUBLE_UNUSED(add_SourceChanged)
    DOUBLE_UNUSED(remove_SourceChanged)
    DOUBLE_UNUSED(add_HistoryChanged)
    DOUBLE_UNUSED(remove_HistoryChanged)
    DOUBLE_UNUSED(remove_NavigationCompleted)
    DOUBLE_UNUSED(add_FrameNavigationStarting)
    DOUBLE_UNUSED(remove_FrameNavigationStarting)
    DOUBLE_UNUSED(add_FrameNavigationCompleted)
    DOUBLE_UNUSED(remove_FrameNavigationCompleted)
    DOUBLE_UNUSED(remove_ScriptDialogOpening)
    DOUBLE_UNUSED(add_PermissionRequested)
    DOUBLE_UNUSED(remove_PermissionRequested)
    DOUBLE_UNUSED(remove_ProcessFailed)
    DOUBLE_UNUSED(RemoveScriptToExecuteOnDocumentCreated)
    DOUBLE_UNUSED(CapturePreview)
    DOUBLE_UNUSED(PostWebMessageAsString)
    DOUBLE_UNUSED(remove_WebMessageReceived)
    DOUBLE_UNUSED(CallDevToolsProtocolMethod)
    DOUBLE_UNUSED(get_BrowserProcessId)
    DOUBLE_UNUSED(get_CanGoForward)
    DOUBLE_UNUSED(GoForward)
    DOUBLE_UNUSED(GetDevToolsProtocolEventReceiver)
    DOUBLE_UNUSED(Stop)
    DOUBLE_UNUSED(remove_NewWindowRequested)
    DOUBLE_UNUSED(add_DocumentTitleChanged)
    DOUBLE_UNUSED(remove_DocumentTitleChanged)
    DOUBLE_UNUSED(get_DocumentTitle)
    DOUBLE_UNUSED(AddHostObjectToScript)
    DOUBLE_UNUSED(RemoveHostObjectFromScript)
    DOUBLE_UNUSED(OpenDevToolsWindow)
    DOUBLE_UNUSED(remove_ContainsFullScreenElementChanged)
    DOUBLE_UNUSED(remove_WebResourceRequested)
    DOUBLE_UNUSED(RemoveWebResourceRequestedFilter)
    DOUBLE_UNUSED(add_WindowCloseRequested)
    DOUBLE_UNUSED(remove_WindowCloseRequested)
    DOUBLE_UNUSED(add_WebResourceResponseReceived)
    DOUBLE_UNUSED(remove_WebResourceResponseReceived)
    DOUBLE_UNUSED(NavigateWithWebResourceRequest)
    DOUBLE_UNUSED(add_DOMContentLoaded)
    DOUBLE_UNUSED(remove_DOMContentLoaded)

    std::shared_ptr<Browser> b;
};

class Controller : public Com<wv2::ICoreWebView2Controller> {
public:
    explicit Controller(std::shared_ptr<Browser> browser)
        : b(std::move(browser)), m_view(Make<View>(b)) {
        b->m_controllerSender = this;
    }
    ~Controller() override {
        if (b->m_controllerSender == this) {
            b->m_controllerSender = nullptr;
        }
    }
    HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) override {
        if (b->Dead()) {
            return kInvalidState;
        }
        b->m_visible = visible != FALSE;
        ShowWindow(b->m_window, visible ? SW_SHOWNA : SW_HIDE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override {
        if (b->Dead()) {
            return kInvalidState;
        }
        b->m_bounds = bounds;
        MoveWindow(b->m_window, bounds.left, bounds.top, bounds.right - bounds.left,
                   bounds.bottom - bounds.top, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE MoveFocus(int) override {
        if (b->Dead()) {
            return kInvalidState;
        }
        SetFocus(b->m_window);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(
        wv2::ICoreWebView2AcceleratorKeyPressedEventHandler* h, wv2::EventToken* t) override {
        return m_view->Add(b->m_keys, h, t);
    }
    HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override {
        if (b->Dead()) {
            return kInvalidState;
        }
        ++b->m_notices;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Close() override {
        if (b->m_closed) {
            return S_OK;
        }
        b->m_closed = true;
        // The engine lets go of every handler the launcher gave it.
        b->m_starting.clear();
        b->m_completed.clear();
        b->m_resources.clear();
        b->m_dialogs.clear();
        b->m_windows.clear();
        b->m_failed.clear();
        b->m_fullScreen.clear();
        b->m_keys.clear();
        DestroyWindow(b->m_window);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_CoreWebView2(wv2::ICoreWebView2** out) override {
        if (b->m_closed) {
            *out = nullptr;
            return kInvalidState;
        }
        m_view->AddRef();
        *out = m_view.Get();
        return S_OK;
    }
    DOUBLE_UNUSED(get_IsVisible)
    DOUBLE_UNUSED(get_Bounds)
    DOUBLE_UNUSED(get_ZoomFactor)
    DOUBLE_UNUSED(put_ZoomFactor)
    DOUBLE_UNUSED(add_ZoomFactorChanged)
    DOUBLE_UNUSED(remove_ZoomFactorChanged)
    DOUBLE_UNUSED(SetBoundsAndZoomFactor)
    DOUBLE_UNUSED(add_MoveFocusRequested)
    DOUBLE_UNUSED(remove_MoveFocusRequested)
    DOUBLE_UNUSED(add_GotFocus)
    DOUBLE_UNUSED(remove_GotFocus)
    DOUBLE_UNUSED(add_LostFocus)
    DOUBLE_UNUSED(remove_LostFocus)
    DOUBLE_UNUSED(remove_AcceleratorKeyPressed)
    DOUBLE_UNUSED(get_ParentWindow)
    DOUBLE_UNUSED(put_ParentWindow)

    std::shared_ptr<Browser> b;

private:
    ComPtr<View> m_view;
};

}  // namespace

ComPtr<wv2::ICoreWebView2Controller> MakeController(HWND parent, int generation) {
    auto browser = std::make_shared<Browser>(parent, generation);
    State().browsers.push_back(browser);
    return Upcast<wv2::ICoreWebView2Controller>(Make<Controller>(browser));
}

void BrowserProcessEnded() {
    auto& state = State();
    ++state.generation;
    const auto browsers = state.browsers;
    for (const auto& browser : browsers) {
        if (!browser->m_closed && browser->m_generation == state.generation - 1) {
            ShowWindow(browser->m_window, SW_HIDE);
            browser->Died(wv2::kBrowserProcessExited);
        }
    }
}

std::vector<ViewDouble*> AllViews() {
    std::vector<ViewDouble*> views;
    for (const auto& browser : State().browsers) {
        views.push_back(browser.get());
    }
    return views;
}

}  // namespace tavrin::test::engine_double
