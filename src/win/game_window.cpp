#include "win/game_window.h"

#include <utility>

#include "app/app_globals.h"
#include "win/win_text.h"
#include "win/window_class.h"

namespace tavrin::win {

namespace {

constexpr wchar_t kWindowClass[] = L"TavrinGame";

RECT ToRect(const Rect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}

}  // namespace

ScreenMetrics PrimaryScreen() {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return {GetSystemMetrics(SM_CXSCREEN), work.bottom};
}

GameWindow::GameWindow(LauncherEvents& events, WebEngine& engine, ClientConfigData config)
    : m_events(events), m_engine(engine), m_config(std::move(config)) {}

GameWindow::~GameWindow() {
    m_player.reset();
    if (m_hwnd != nullptr) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
}

bool GameWindow::Create() {
    RegisterWindowClass(kWindowClass,
                        &MemberProc<GameWindow, &GameWindow::m_hwnd, &GameWindow::Handle>,
                        static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    const Rect frame = PlaceFrame(kInitialFrameChoice, PrimaryScreen()).rect;
    const std::wstring caption = WideFromUtf8(GameWindowCaption(g_strBaseName, m_config.title));
    m_hwnd = CreateWindowExW(WS_EX_APPWINDOW, kWindowClass, caption.c_str(),
                             WS_POPUP | WS_MINIMIZEBOX | WS_SYSMENU | WS_CLIPCHILDREN, frame.left,
                             frame.top, frame.Width(), frame.Height(), nullptr, nullptr,
                             GetModuleHandleW(nullptr), this);
    if (m_hwnd == nullptr) {
        return false;
    }
    const auto places = PlaceGameControls({frame.Width(), frame.Height()});
    RECT player{0, 0, frame.Width(), frame.Height()};
    if (places) {
        for (const ControlPlace& place : *places) {
            if (place.id == kFlashControlId) {
                player = ToRect(place.rect);
            }
        }
    }
    m_player = m_engine.CreateView(m_hwnd, player);
    if (m_player == nullptr) {
        return false;
    }
    m_player->Navigate(m_config.mainFlash);
    return true;
}

void GameWindow::Show() {
    ShowWindow(m_hwnd, SW_SHOW);
    SetForegroundWindow(m_hwnd);
    FocusPlayer();
}

void GameWindow::Hide() {
    ShowWindow(m_hwnd, SW_HIDE);
}

void GameWindow::FocusPlayer() {
    SetFocus(m_hwnd);
}

void GameWindow::Layout() {
    RECT client;
    GetClientRect(m_hwnd, &client);
    const auto places = PlaceGameControls({client.right, client.bottom});
    if (!places || !m_player) {
        return;
    }
    for (const ControlPlace& place : *places) {
        if (place.id == kFlashControlId) {
            m_player->SetBounds(ToRect(place.rect));
        }
    }
}

LRESULT GameWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            Layout();
            break;
        case WM_KEYDOWN:
            switch (GameKeyActionFor(static_cast<int>(wParam))) {
                case GameKeyAction::kRefresh:
                    m_events.RefreshAsked();
                    return 0;
                case GameKeyAction::kSwallow:
                    return 0;
                case GameKeyAction::kForwardToMovie:
                case GameKeyAction::kDefault:
                    break;
            }
            break;
        case WM_CLOSE:
            // Closing the window from outside ends the program at once; only the close
            // button asks.
            Hide();
            m_events.CloseRequested();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

}  // namespace tavrin::win
