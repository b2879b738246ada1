#include "win/update_window.h"

#include "app/app_globals.h"
#include "win/picture.h"
#include "win/win_text.h"
#include "win/window_class.h"

namespace tavrin::win {

namespace {

constexpr wchar_t kWindowClass[] = L"TavrinUpdate";
constexpr int kWidth = 400;
constexpr int kHeight = 150;
constexpr RECT kBar{84, 84, 380, 94};
constexpr RECT kStage{84, 52, 380, 76};
constexpr RECT kDetail{84, 96, 380, 116};
constexpr int kCancelId = 1;
constexpr UINT_PTR kRefreshTimer = 1;
// The launcher's title-strip colours, so the window reads as part of it.
constexpr COLORREF kTop = RGB(92, 58, 34);
constexpr COLORREF kBottom = RGB(34, 20, 11);
constexpr COLORREF kBorder = RGB(140, 96, 58);
constexpr COLORREF kOrange = RGB(255, 138, 20);
constexpr COLORREF kText = RGB(255, 243, 224);
constexpr COLORREF kDetailText = RGB(224, 200, 168);

COLORREF Between(COLORREF a, COLORREF b, int at, int span) {
    const auto mix = [&](int x, int y) { return x + (y - x) * at / span; };
    return RGB(mix(GetRValue(a), GetRValue(b)), mix(GetGValue(a), GetGValue(b)),
               mix(GetBValue(a), GetBValue(b)));
}

void Fill(HDC dc, RECT area, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &area, brush);
    DeleteObject(brush);
}

void Text(HDC dc, const std::string& utf8, RECT area, COLORREF colour, UINT format) {
    const std::wstring text = WideFromUtf8(utf8);
    SetTextColor(dc, colour);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
              format | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
}

}  // namespace

UpdateWindow::UpdateWindow(UpdateProgress& progress, double scale)
    : m_progress(progress),
      m_scale(scale > 0 ? scale : static_cast<double>(GetDpiForSystem()) / 96.0) {}

UpdateWindow::~UpdateWindow() {
    if (m_hwnd != nullptr) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
    DeleteObject(m_font);
    DeleteObject(m_titleFont);
    DeleteObject(m_buttonFont);
}

bool UpdateWindow::Create() {
    RegisterWindowClass(kWindowClass,
                        &MemberProc<UpdateWindow, &UpdateWindow::m_hwnd, &UpdateWindow::Handle>);
    const std::wstring title = CaptionName() + L" \u66f4\u65b0";  // 更新
    // Laid out in logical pixels, shown in the screen's.
    const int width = Scaled(kWidth, m_scale);
    const int height = Scaled(kHeight, m_scale);
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    m_hwnd = CreateWindowExW(WS_EX_APPWINDOW, kWindowClass, title.c_str(), WS_POPUP, left, top,
                             width, height, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (m_hwnd == nullptr) {
        return false;
    }
    const int corner = Scaled(16, m_scale);
    SetWindowRgn(m_hwnd, CreateRoundRectRgn(0, 0, width + 1, height + 1, corner, corner), FALSE);
    m_font = CreateFontW(-14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                         CLEARTYPE_QUALITY, 0, L"Microsoft YaHei");
    m_titleFont = CreateFontW(-15, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                              CLEARTYPE_QUALITY, 0, L"Microsoft YaHei");
    m_cancel = CreateWindowExW(0, L"BUTTON", L"\u53d6\u6d88", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                               Scaled(300, m_scale), Scaled(118, m_scale), Scaled(80, m_scale),
                               Scaled(24, m_scale), m_hwnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCancelId)),
                               GetModuleHandleW(nullptr), nullptr);  // 取消
    m_buttonFont = CreateFontW(-Scaled(14, m_scale), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                               DEFAULT_CHARSET, 0, 0, CLEARTYPE_QUALITY, 0, L"Microsoft YaHei");
    SendMessageW(m_cancel, WM_SETFONT, reinterpret_cast<WPARAM>(m_buttonFont), FALSE);
    // Decoded once: the window repaints ten times a second.
    m_icon = LoadScaledPicture(128, "png", m_scale);
    SetTimer(m_hwnd, kRefreshTimer, 100, nullptr);
    Refresh();
    ShowWindow(m_hwnd, SW_SHOW);
    SetForegroundWindow(m_hwnd);
    return true;
}

void UpdateWindow::Refresh() {
    m_shown =
        m_model.Read(m_progress.Read(), m_progress.Cancelled(), UpdateWindowModel::Clock::now());
    InvalidateRect(m_hwnd, nullptr, FALSE);
}

void UpdateWindow::Cancel() {
    m_progress.Cancel();
    EnableWindow(m_cancel, FALSE);
    Refresh();
}

void UpdateWindow::Paint() {
    PAINTSTRUCT paint;
    HDC target = BeginPaint(m_hwnd, &paint);
    // Off-screen first, so that the timer's redraws do not flicker.
    HDC dc = CreateCompatibleDC(target);
    const int width = Scaled(kWidth, m_scale);
    const int height = Scaled(kHeight, m_scale);
    HBITMAP frame = CreateCompatibleBitmap(target, width, height);
    HGDIOBJ oldBitmap = SelectObject(dc, frame);
    // Drawn in logical pixels; the transform brings them to the screen's.
    SetGraphicsMode(dc, GM_ADVANCED);
    const XFORM toScreen{static_cast<FLOAT>(m_scale), 0, 0, static_cast<FLOAT>(m_scale), 0, 0};
    SetWorldTransform(dc, &toScreen);
    for (int y = 0; y < kHeight; ++y) {
        Fill(dc, RECT{0, y, kWidth, y + 1}, Between(kTop, kBottom, y, kHeight));
    }
    Fill(dc, RECT{16, 40, kWidth - 16, 42}, kOrange);
    HBRUSH border = CreateSolidBrush(kBorder);
    HRGN outline = CreateRoundRectRgn(0, 0, kWidth, kHeight, 16, 16);
    FrameRgn(dc, outline, border, 1, 1);
    DeleteObject(outline);
    DeleteObject(border);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, m_titleFont);
    wchar_t title[128] = {};
    GetWindowTextW(m_hwnd, title, 128);
    SetTextColor(dc, kText);
    RECT titleArea{16, 10, kWidth - 16, 36};
    DrawTextW(dc, title, -1, &titleArea, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, m_font);
    Text(dc, m_shown.stage, kStage, kText, DT_LEFT | DT_VCENTER);
    Text(dc, m_shown.detail, kDetail, kDetailText, DT_LEFT | DT_VCENTER);
    // The bar: a dark track, filled in orange as far as the package has come.
    Fill(dc, kBar, RGB(20, 12, 6));
    RECT done = kBar;
    done.right = kBar.left + static_cast<LONG>((kBar.right - kBar.left) * m_shown.barPart);
    Fill(dc, done, kOrange);
    const Picture& icon = m_icon;
    if (HBITMAP bitmap = MakeBitmap(icon); bitmap != nullptr) {
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ oldIcon = SelectObject(source, bitmap);
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, 16, 56, 56, 56, source, 0, 0, icon.width, icon.height, blend);
        SelectObject(source, oldIcon);
        DeleteDC(source);
        DeleteObject(bitmap);
    }
    ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
    BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(frame);
    DeleteDC(dc);
    EndPaint(m_hwnd, &paint);
}

LRESULT UpdateWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_TIMER:
            if (wParam == kRefreshTimer) {
                Refresh();
            }
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kCancelId) {
                Cancel();
            }
            return 0;
        case WM_NCHITTEST: {
            // Dragged anywhere but on its button.
            const LRESULT hit = DefWindowProcW(m_hwnd, message, wParam, lParam);
            return hit == HTCLIENT ? HTCAPTION : hit;
        }
        case WM_CLOSE:
            // Closing it is a cancel, never the end of the program: the login window is still
            // to come.
            Cancel();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

}  // namespace tavrin::win
