#include "win/stand_in_engine.h"

#include "win/win_text.h"

namespace tavrin::win {

namespace {

constexpr UINT kCompleteMessage = WM_APP + 1;
constexpr wchar_t kClassName[] = L"TavrinStandInView";

void RegisterClassOnce() {
    static const bool registered = [] {
        WNDCLASSW type{};
        type.lpfnWndProc = DefWindowProcW;
        type.hInstance = GetModuleHandleW(nullptr);
        type.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        type.lpszClassName = kClassName;
        return RegisterClassW(&type) != 0;
    }();
    (void)registered;
}

}  // namespace

StandInView::StandInView(HWND parent, const RECT& bounds) {
    RegisterClassOnce();
    m_hwnd = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, bounds.left, bounds.top,
                             bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    if (m_hwnd != nullptr) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StandInView::Proc));
    }
}

StandInView::~StandInView() {
    if (m_hwnd != nullptr) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
}

LRESULT CALLBACK StandInView::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* view = reinterpret_cast<StandInView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (view != nullptr && message == kCompleteMessage) {
        if (view->onDocumentComplete && !view->m_history.empty()) {
            const std::string address = view->m_history.back();
            view->onDocumentComplete(address);
        }
        return 0;
    }
    if (view != nullptr && message == WM_KEYDOWN && view->onKey &&
        view->onKey(static_cast<UINT>(wParam))) {
        return 0;
    }
    if (view != nullptr && message == WM_PAINT) {
        view->Paint();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void StandInView::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hwnd, &paint);
    RECT area;
    GetClientRect(m_hwnd, &area);
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const std::wstring text = WideFromUtf8(Location());
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    EndPaint(m_hwnd, &paint);
}

void StandInView::Navigate(const std::string& address) {
    m_history.push_back(address);
    InvalidateRect(m_hwnd, nullptr, TRUE);
    PostMessageW(m_hwnd, kCompleteMessage, 0, 0);
}

std::string StandInView::Location() const {
    return m_history.empty() ? std::string("about:blank") : m_history.back();
}

bool StandInView::CanGoBack() const {
    return m_history.size() >= 2 && m_history[m_history.size() - 2] != "about:blank";
}

void StandInView::GoBack() {
    if (m_history.size() < 2) {
        return;
    }
    m_history.pop_back();
    InvalidateRect(m_hwnd, nullptr, TRUE);
    PostMessageW(m_hwnd, kCompleteMessage, 0, 0);
}

std::vector<platform::BrowserCookie> StandInView::Cookies() const {
    return cookies;
}

void StandInView::SetBounds(const RECT& bounds) {
    MoveWindow(m_hwnd, bounds.left, bounds.top, bounds.right - bounds.left,
               bounds.bottom - bounds.top, TRUE);
}

void StandInView::Focus() {
    SetFocus(m_hwnd);
}

PlayerAddresses StandInView::AddressesFor(const std::string& token) const {
    const std::string files = "https://player.stand-in.invalid/";
    return {files, "https://player.stand-in.invalid", files + "fonts/chinese/" + token,
            files + "bridge/" + token + "?m="};
}

void StandInView::ShowPlayerPage(const std::string& movie, const std::string& page) {
    playerPage = page;
    scripts.clear();
    Navigate(movie);
}

void StandInView::RunScript(const std::string& script) {
    scripts.push_back(script);
}

void StandInView::ExitFullScreen() {
    if (onFullScreen) {
        onFullScreen(false);
    }
}

std::unique_ptr<WebView> StandInEngine::CreateView(HWND parent, const RECT& bounds) {
    auto view = std::make_unique<StandInView>(parent, bounds);
    if (view->Window() == nullptr) {
        return nullptr;
    }
    return view;
}

}  // namespace tavrin::win
