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

GameWindow::GameWindow(LauncherEvents& events, WebEngine& engine, ClientConfigData config,
                       double scale)
    : m_events(events),
      m_engine(engine),
      m_config(std::move(config)),
      m_scale(scale > 0 ? scale : static_cast<double>(GetDpiForSystem()) / 96.0) {}

ScreenMetrics GameWindow::LogicalScreen() const {
    const ScreenMetrics screen = PrimaryScreen();
    return {static_cast<int>(screen.screenWidth / m_scale),
            static_cast<int>(screen.workAreaBottom / m_scale)};
}

Size GameWindow::Logical(int width, int height) const {
    return {static_cast<int>(width / m_scale + 0.5), static_cast<int>(height / m_scale + 0.5)};
}

Rect GameWindow::Physical(const Rect& logical) const {
    return {Scaled(logical.left, m_scale), Scaled(logical.top, m_scale),
            Scaled(logical.right, m_scale), Scaled(logical.bottom, m_scale)};
}

GameWindow::~GameWindow() {
    m_movie.reset();
    m_player.reset();
    m_buttons.clear();
    if (m_hwnd != nullptr) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
    DeleteObject(m_titleFont);
}

bool GameWindow::Create() {
    RegisterWindowClass(kWindowClass,
                        &MemberProc<GameWindow, &GameWindow::m_hwnd, &GameWindow::Handle>);
    LoadFramePictures();
    const Rect frame = Physical(PlaceFrame(kInitialFrameChoice, LogicalScreen()).rect);
    const std::wstring caption = CaptionName() + L"(" + WideFromUtf8(m_config.title) + L")";
    m_hwnd = CreateWindowExW(WS_EX_APPWINDOW, kWindowClass, caption.c_str(),
                             WS_POPUP | WS_MINIMIZEBOX | WS_SYSMENU | WS_CLIPCHILDREN, frame.left,
                             frame.top, frame.Width(), frame.Height(), nullptr, nullptr,
                             GetModuleHandleW(nullptr), this);
    if (m_hwnd == nullptr || !CreateButtons()) {
        return false;
    }
    m_player = m_engine.CreateView(m_hwnd, RECT{0, 0, 1, 1});
    if (m_player == nullptr) {
        return false;
    }
    // Keys the page would get come here first: F5, and Esc in full screen, are the window's.
    m_player->onKey = [this](UINT key) {
        const bool ours = (key == VK_ESCAPE && m_bFullScreen) ||
                          GameKeyActionFor(static_cast<int>(key)) == GameKeyAction::kRefresh ||
                          GameKeyActionFor(static_cast<int>(key)) == GameKeyAction::kSwallow;
        if (ours) {
            // After the engine's handler: a question box may follow.
            PostMessageW(m_hwnd, WM_KEYDOWN, key, 0);
        }
        return ours;
    };
    m_player->onFullScreen = [this](bool on) { SetFullScreen(on); };
    m_movie = std::make_unique<MoviePlayer>(
        *m_player, MoviePlayer::Host{[this] { m_events.MovieAskedRefresh(); },
                                     [this](const std::string& address) {
                                         if (m_browser) {
                                             m_browser(address);
                                         }
                                     },
                                     m_movieWatch,
                                     {}});
    Layout();
    m_movie->Play(m_config);
    return true;
}

void GameWindow::LoadFramePictures() {
    for (const int id : {kTitleStripBitmap, kBottomBorderBitmap, kLeftBorderBitmap,
                         kRightBorderBitmap, kIconBitmap}) {
        m_frameBitmaps[id] = LoadScaledPicture(id, "bmp", m_scale);
    }
    if (m_titleFont != nullptr) {
        DeleteObject(m_titleFont);
    }
    m_titleFont = CreateFontW(-Scaled(MulDiv(kTitleFontPointSize, 96, 72), m_scale), 0, 0, 0,
                              FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                              CLEARTYPE_QUALITY, 0, WideFromUtf8(kTitleFontFace).c_str());
}

void GameWindow::Rescale(double scale, const RECT& suggested) {
    if (scale == m_scale) {
        return;
    }
    m_scale = scale;
    LoadFramePictures();
    for (auto& [id, button] : m_buttons) {
        (void)id;
        button->SetScale(m_scale);
    }
    m_frame = {};
    SetWindowPos(m_hwnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
}

bool GameWindow::CreateButtons() {
    for (const GameButton& b : kGameButtons) {
        auto button = std::make_unique<CRedrawButton>(
            b.images, [this, id = b.id] { Clicked(id); }, m_scale);
        if (!button->Create(m_hwnd, 0, 0, "")) {
            return false;
        }
        m_buttons[b.id] = std::move(button);
    }
    // The window opens at the large size, from where the way is back to the small one.
    ShowWindow(m_buttons[kMaximiseButtonId]->Window(), SW_HIDE);
    return true;
}

CRedrawButton* GameWindow::Button(GameControlId id) const {
    const auto found = m_buttons.find(id);
    return found != m_buttons.end() ? found->second.get() : nullptr;
}

void GameWindow::Clicked(GameControlId id) {
    switch (id) {
        case kRefreshButtonId:
            m_events.RefreshAsked();
            break;
        case kMinimiseButtonId:
            ShowWindow(m_hwnd, SW_MINIMIZE);
            break;
        case kMaximiseButtonId:
            MaximiseAction();
            break;
        case kRestoreButtonId:
            RestoreAction();
            break;
        case kCloseButtonId:
            m_events.QuitAsked();
            break;
        case kFlashControlId:
            break;
    }
}

void GameWindow::MoveTo(const Rect& frame) {
    SetWindowPos(m_hwnd, nullptr, frame.left, frame.top, frame.Width(), frame.Height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void GameWindow::MaximiseAction() {
    Place(FrameChoice::kLarge);
}

void GameWindow::RestoreAction() {
    Place(FrameChoice::kSmall);
}

void GameWindow::Place(FrameChoice choice) {
    const FramePlacement placement = PlaceFrame(choice, LogicalScreen());
    ShowWindow(Button(placement.hiddenButton)->Window(), SW_HIDE);
    ShowWindow(Button(placement.shownButton)->Window(), SW_SHOW);
    MoveTo(Physical(placement.rect));
    FocusPlayer();
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
    if (m_player) {
        m_player->Focus();
    } else {
        SetFocus(m_hwnd);
    }
}

bool GameWindow::OnKey(UINT key) {
    if (key == VK_ESCAPE && m_bFullScreen) {
        m_player->ExitFullScreen();  // as the Flash player's own full screen did
        return true;
    }
    switch (GameKeyActionFor(static_cast<int>(key))) {
        case GameKeyAction::kRefresh:
            m_events.RefreshAsked();
            return true;
        case GameKeyAction::kSwallow:
            return true;
        case GameKeyAction::kForwardToMovie:
        case GameKeyAction::kDefault:
            break;
    }
    return false;
}

void GameWindow::SetFullScreen(bool on) {
    if (on == m_bFullScreen) {
        return;
    }
    m_bFullScreen = on;
    if (on) {
        // The buttons go, and come back as they were.
        m_shownBeforeFullScreen.clear();
        for (const auto& [id, button] : m_buttons) {
            if (IsWindowVisible(button->Window())) {
                m_shownBeforeFullScreen.push_back(id);
                ShowWindow(button->Window(), SW_HIDE);
            }
        }
        GetWindowRect(m_hwnd, &m_rcBeforeFullScreen);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoW(MonitorFromWindow(m_hwnd, MONITOR_DEFAULTTONEAREST), &monitor);
        const RECT& r = monitor.rcMonitor;
        SetWindowPos(m_hwnd, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top, 0);
    } else {
        for (const GameControlId id : m_shownBeforeFullScreen) {
            ShowWindow(Button(id)->Window(), SW_SHOW);
        }
        const RECT& r = m_rcBeforeFullScreen;
        SetWindowPos(m_hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER);
    }
    Layout();
    FocusPlayer();
}

void GameWindow::Layout() {
    RECT client;
    GetClientRect(m_hwnd, &client);
    if (m_bFullScreen) {
        PlacePlayer(client);
        return;
    }
    const auto places = PlaceGameControls(Logical(client.right, client.bottom));
    if (!places) {
        return;
    }
    for (const ControlPlace& place : *places) {
        const Rect at = Physical(place.rect);
        if (place.id == kFlashControlId) {
            PlacePlayer(ToRect(at));
        } else if (CRedrawButton* button = Button(place.id)) {
            MoveWindow(button->Window(), at.left, at.top, at.Width(), at.Height(), FALSE);
        }
    }
    // The buttons draw over the frame as it now is; the paint shows the same one.
    m_frame = DrawFrame(client.right, client.bottom);
    const Picture& frame = m_frame;
    for (const GameControlId id : kBackgroundCaptureOrder) {
        RECT at;
        CRedrawButton* button = Button(id);
        GetWindowRect(button->Window(), &at);
        MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&at), 2);
        button->SetBackground(
            CutPicture(frame, at.left, at.top, at.right - at.left, at.bottom - at.top));
        InvalidateRect(button->Window(), nullptr, FALSE);
    }
    InvalidateRect(m_hwnd, nullptr, FALSE);
}

Picture GameWindow::DrawFrame(int width, int height) {
    Picture frame;
    if (width <= 0 || height <= 0) {
        return frame;
    }
    BITMAPINFO info = TopDownBitmapInfo(width, height);
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP canvas = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, canvas);
    PatBlt(dc, 0, 0, width, height, BLACKNESS);
    for (const FramePiece& piece : FramePaintLayout(Logical(width, height))) {
        const Picture& bitmap = m_frameBitmaps[piece.bitmap];
        if (bitmap.IsNull() || piece.target.IsEmpty()) {
            continue;
        }
        // The pictures are at the screen's scale already; stretched ones fill their place.
        const Rect target = Physical(piece.target);
        const BITMAPINFO source = TopDownBitmapInfo(bitmap.width, bitmap.height);
        const int w = piece.stretched ? target.Width() : bitmap.width;
        const int h = piece.stretched ? target.Height() : bitmap.height;
        StretchDIBits(dc, target.left, target.top, w, h, 0, 0, bitmap.width, bitmap.height,
                      bitmap.pixels.data(), &source, DIB_RGB_COLORS, SRCCOPY);
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB((kTitleTextColor >> 16) & 0xFF, (kTitleTextColor >> 8) & 0xFF,
                         kTitleTextColor & 0xFF));
    HGDIOBJ oldFont = SelectObject(dc, m_titleFont);
    const std::wstring title = WideFromUtf8(m_config.title);
    TextOutW(dc, Scaled(kTitleTextOrigin.x, m_scale), Scaled(kTitleTextOrigin.y, m_scale),
             title.c_str(), static_cast<int>(title.size()));
    SelectObject(dc, oldFont);
    GdiFlush();
    frame.width = width;
    frame.height = height;
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    frame.pixels.assign(pixels, pixels + static_cast<std::size_t>(width) * height);
    for (std::uint32_t& pixel : frame.pixels) {
        pixel |= 0xFF000000u;  // GDI leaves alpha alone: the frame is opaque
    }
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    return frame;
}

void GameWindow::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hwnd, &paint);
    RECT client;
    GetClientRect(m_hwnd, &client);
    // One off-screen frame, so that sizing does not flicker; made when the size last changed.
    if (m_frame.width != client.right || m_frame.height != client.bottom) {
        m_frame = DrawFrame(client.right, client.bottom);
    }
    const Picture& frame = m_frame;
    if (!frame.IsNull()) {
        const BITMAPINFO info = TopDownBitmapInfo(frame.width, frame.height);
        SetDIBitsToDevice(dc, 0, 0, frame.width, frame.height, 0, 0, 0, frame.height,
                          frame.pixels.data(), &info, DIB_RGB_COLORS);
    }
    EndPaint(m_hwnd, &paint);
}

LRESULT GameWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_SIZE:
            if (wParam == SIZE_MINIMIZED) {
                m_bMinimized = true;
                break;
            }
            Layout();
            if (m_bMinimized && m_movie) {
                // Back from the task bar: the movie lays its stage out again.
                m_bMinimized = false;
                m_movie->NotifyFlashFunction("stageResize");
            }
            break;
        case WM_GETMINMAXINFO: {
            if (m_bFullScreen) {
                break;  // the track sizes would keep it from covering the screen
            }
            const TrackSizes limits = GetTrackSizes(LogicalScreen());
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = {Scaled(limits.minimum.width, m_scale),
                                    Scaled(limits.minimum.height, m_scale)};
            info->ptMaxTrackSize = {Scaled(limits.maximum.width, m_scale),
                                    Scaled(limits.maximum.height, m_scale)};
            return 0;
        }
        case WM_NCHITTEST: {
            if (m_bFullScreen) {
                return HTCLIENT;
            }
            POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            ScreenToClient(m_hwnd, &at);
            RECT client;
            GetClientRect(m_hwnd, &client);
            // The shared rules' codes are the system's: the borders size the window.
            const Size logical = Logical(client.right, client.bottom);
            return static_cast<LRESULT>(GameWindowHitTest(
                logical, {static_cast<int>(at.x / m_scale), static_cast<int>(at.y / m_scale)}));
        }
        case WM_LBUTTONDOWN:
            if (!m_bFullScreen &&
                InTitleDragBand(static_cast<int>(static_cast<short>(HIWORD(lParam)) / m_scale))) {
                ReleaseCapture();
                SendMessageW(m_hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
                return 0;
            }
            break;
        case WM_KEYDOWN:
            if (OnKey(static_cast<UINT>(wParam))) {
                return 0;
            }
            break;
        case WM_SETFOCUS:
            // Back from another window (Alt+Tab, the task bar, a box): the keys are the
            // game's again, not the frame's.
            if (m_player) {
                m_player->Focus();
            }
            return 0;
        case WM_MOVE:
            if (m_player) {
                m_player->ParentMoved();
            }
            break;
        case WM_DPICHANGED:
            // Moved to a screen of another scale: the frame and buttons for that one, the
            // same logical size.
            Rescale(HIWORD(wParam) / 96.0, *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_DISPLAYCHANGE:
            // A change of the display puts the window back at the small size.
            RestoreAction();
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
