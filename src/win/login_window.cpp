#include "win/login_window.h"

#include "app/app_globals.h"
#include "app/diagnostics.h"
#include "flow/login_rules.h"
#include "win/win_text.h"
#include "win/window_class.h"

namespace tavrin::win {

namespace {

constexpr wchar_t kWindowClass[] = L"TavrinLogin";
constexpr wchar_t kLayerClass[] = L"TavrinControlLayer";
// The layer's own colour, shown nowhere: the picture shows through it.
constexpr COLORREF kLayerKey = RGB(255, 0, 255);
constexpr int kLoginPicture = 146;

}  // namespace

LoginWindow::LoginWindow(LauncherEvents& events, WebEngine& engine, double scale)
    : m_events(events),
      m_engine(engine),
      m_scale(scale > 0 ? scale : static_cast<double>(GetDpiForSystem()) / 96.0) {}

LoginWindow::~LoginWindow() {
    m_view.reset();
    for (auto& button : m_buttons) {
        button.reset();
    }
    if (m_layer != nullptr) {
        SetWindowLongPtrW(m_layer, GWLP_USERDATA, 0);
        DestroyWindow(m_layer);
    }
    if (m_hwnd != nullptr) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
}

bool LoginWindow::Create() {
    // Above 100 % the finer picture, at the screen's pixels.
    m_picture = LoadScaledPicture(kLoginPicture, "png", m_scale);
    if (m_picture.IsNull()) {
        Diagnose("tavrin: picture %d is missing from the program", kLoginPicture);
        return false;
    }
    RegisterWindowClass(kWindowClass,
                        &MemberProc<LoginWindow, &LoginWindow::m_hwnd, &LoginWindow::Handle>);
    static const HBRUSH layerBrush = CreateSolidBrush(kLayerKey);
    RegisterWindowClass(kLayerClass,
                        &MemberProc<LoginWindow, &LoginWindow::m_layer, &LoginWindow::HandleLayer>,
                        layerBrush);
    const std::wstring title = CaptionName();
    m_hwnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_APPWINDOW, kWindowClass, title.c_str(),
                             WS_POPUP | WS_MINIMIZEBOX | WS_SYSMENU, 0, 0, m_picture.width,
                             m_picture.height, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (m_hwnd == nullptr) {
        Diagnose("tavrin: the login window cannot be made (error %lu)", GetLastError());
        return false;
    }
    m_layer = CreateWindowExW(
        WS_EX_LAYERED | WS_EX_TOOLWINDOW, kLayerClass, L"", WS_POPUP, kControlLayerBox.left,
        kControlLayerBox.top, Scaled(kControlLayerBox.width, m_scale),
        Scaled(kControlLayerBox.height, m_scale), m_hwnd, nullptr, GetModuleHandleW(nullptr), this);
    if (m_layer == nullptr) {
        Diagnose("tavrin: the login window's layer cannot be made (error %lu)", GetLastError());
        return false;
    }
    SetLayeredWindowAttributes(m_layer, kLayerKey, 0, LWA_COLORKEY);
    if (!CreateButtons()) {
        Diagnose("tavrin: the login window's buttons cannot be made");
        return false;
    }
    m_view = m_engine.CreateView(m_layer, ViewBounds());
    if (m_view == nullptr) {
        Diagnose("tavrin: the login window's browser cannot be made");
        return false;
    }
    // A page that reaches the verification address leads into the game; the address goes on
    // exactly as the browser asked for it.
    m_view->onDocumentComplete = [this](const std::string& address) {
        if (m_events.IsVerification(address)) {
            m_events.VerificationReached(address);
        }
    };
    DrawPicture();
    return true;
}

bool LoginWindow::CreateButtons() {
    for (std::size_t i = 0; i < kLoginButtons.size(); ++i) {
        const LoginButton& place = kLoginButtons[i];
        auto button = std::make_unique<CRedrawButton>(
            place.images, [this, id = place.id] { Clicked(id); }, m_scale);
        if (!button->Create(m_layer, Scaled(place.x, m_scale), Scaled(place.y, m_scale),
                            place.name)) {
            return false;
        }
        m_buttons[i] = std::move(button);
    }
    PlaceButtons();
    return true;
}

void LoginWindow::PlaceButtons() {
    for (std::size_t i = 0; i < kLoginButtons.size(); ++i) {
        CRedrawButton& button = *m_buttons[i];
        const int x = Scaled(kLoginButtons[i].x, m_scale);
        const int y = Scaled(kLoginButtons[i].y, m_scale);
        MoveWindow(button.Window(), x, y, button.Width(), button.Height(), FALSE);
        // Drawn over the login picture that lies under the layer there.
        button.SetBackground(CutPicture(m_picture, Scaled(kControlLayerBox.left, m_scale) + x,
                                        Scaled(kControlLayerBox.top, m_scale) + y, button.Width(),
                                        button.Height()));
        InvalidateRect(button.Window(), nullptr, FALSE);
    }
}

RECT LoginWindow::ViewBounds() const {
    return {Scaled(kLoginViewBox.left, m_scale), Scaled(kLoginViewBox.top, m_scale),
            Scaled(kLoginViewBox.left + kLoginViewBox.width, m_scale),
            Scaled(kLoginViewBox.top + kLoginViewBox.height, m_scale)};
}

void LoginWindow::Rescale(double scale, const RECT& suggested) {
    Picture picture = LoadScaledPicture(kLoginPicture, "png", scale);
    if (picture.IsNull() || scale == m_scale) {
        return;
    }
    m_scale = scale;
    m_picture = std::move(picture);
    SetWindowPos(m_hwnd, nullptr, suggested.left, suggested.top, m_picture.width, m_picture.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(m_layer, nullptr, 0, 0, Scaled(kControlLayerBox.width, m_scale),
                 Scaled(kControlLayerBox.height, m_scale),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceLayer();
    for (auto& button : m_buttons) {
        button->SetScale(m_scale);
    }
    PlaceButtons();
    if (m_view) {
        m_view->SetBounds(ViewBounds());
    }
    DrawPicture();
}

CRedrawButton* LoginWindow::Button(LoginButtonId id) const {
    for (std::size_t i = 0; i < kLoginButtons.size(); ++i) {
        if (kLoginButtons[i].id == id) {
            return m_buttons[i].get();
        }
    }
    return nullptr;
}

void LoginWindow::Clicked(LoginButtonId id) {
    switch (id) {
        case LoginButtonId::kOfficial:
            m_events.LinkClicked(LoginLink::kOfficial);
            break;
        case LoginButtonId::kRecharge:
            m_events.LinkClicked(LoginLink::kRecharge);
            break;
        case LoginButtonId::kForum:
            m_events.LinkClicked(LoginLink::kForum);
            break;
        case LoginButtonId::kService:
            m_events.LinkClicked(LoginLink::kService);
            break;
        case LoginButtonId::kMinimise:
            ShowWindow(m_layer, SW_HIDE);
            ShowWindow(m_hwnd, SW_MINIMIZE);
            break;
        case LoginButtonId::kClose:
            m_events.CloseRequested();
            break;
    }
}

void LoginWindow::DrawPicture() {
    HBITMAP bitmap = MakeBitmap(m_picture);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT place;
    GetWindowRect(m_hwnd, &place);
    POINT at{place.left, place.top};
    SIZE size{m_picture.width, m_picture.height};
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(m_hwnd, screen, &at, &size, memory, &origin, 0, &blend, ULW_ALPHA);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
}

void LoginWindow::PlaceLayer() {
    RECT place;
    GetWindowRect(m_hwnd, &place);
    SetWindowPos(m_layer, nullptr, place.left + Scaled(kControlLayerBox.left, m_scale),
                 place.top + Scaled(kControlLayerBox.top, m_scale), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void LoginWindow::Show(bool inTaskBar) {
    LONG_PTR style = GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE);
    style = inTaskBar ? ((style | WS_EX_APPWINDOW) & ~WS_EX_TOOLWINDOW)
                      : ((style | WS_EX_TOOLWINDOW) & ~WS_EX_APPWINDOW);
    SetWindowLongPtrW(m_hwnd, GWL_EXSTYLE, style);
    ShowWindow(m_hwnd, SW_SHOW);
    ShowWindow(m_layer, SW_SHOWNOACTIVATE);
    PlaceLayer();
    SetForegroundWindow(m_hwnd);
}

void LoginWindow::Hide() {
    ShowWindow(m_layer, SW_HIDE);
    ShowWindow(m_hwnd, SW_HIDE);
}

LRESULT LoginWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCHITTEST:
            // The whole picture is the window's caption: a press anywhere on it drags.
            return HTCAPTION;
        case WM_WINDOWPOSCHANGED:
            if (m_layer != nullptr) {
                PlaceLayer();
            }
            if (m_view) {
                m_view->ParentMoved();
            }
            break;
        case WM_DPICHANGED:
            // Moved to a screen of another scale: the pictures and places for that one.
            Rescale(HIWORD(wParam) / 96.0, *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_MINIMIZE && m_layer != nullptr) {
                ShowWindow(m_layer, SW_HIDE);
            } else if ((wParam & 0xFFF0) == SC_RESTORE && m_layer != nullptr) {
                ShowWindow(m_layer, SW_SHOWNOACTIVATE);
            }
            break;
        case WM_CLOSE:
            // Alt+F4 and the system's close end the whole program; the exit sequence takes
            // the window away itself.
            m_events.CloseRequested();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

LRESULT LoginWindow::HandleLayer(UINT message, WPARAM wParam, LPARAM lParam) {
    const int logicalY = static_cast<int>(static_cast<short>(HIWORD(lParam)) / m_scale);
    if (message == WM_LBUTTONDOWN && InLayerDragBand(logicalY)) {
        // The band drags the login window, which brings the layer along.
        ReleaseCapture();
        SendMessageW(m_hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
        return 0;
    }
    if (message == WM_CLOSE) {
        m_events.CloseRequested();
        return 0;
    }
    if (message == WM_SETFOCUS && m_view) {
        m_view->Focus();  // the login page's fields take the keys
        return 0;
    }
    return DefWindowProcW(m_layer, message, wParam, lParam);
}

}  // namespace tavrin::win
