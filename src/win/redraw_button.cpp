#include "win/redraw_button.h"

#include <utility>

#include "win/win_text.h"
#include "win/window_class.h"

namespace tavrin::win {

namespace {

constexpr wchar_t kWindowClass[] = L"TavrinImageButton";

// Premultiplied `top` over `bottom`.
std::uint32_t Over(std::uint32_t top, std::uint32_t bottom) {
    const std::uint32_t keep = 255 - (top >> 24);
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t channel =
            ((top >> shift) & 0xFF) + (((bottom >> shift) & 0xFF) * keep + 127) / 255;
        out |= (channel > 255 ? 255 : channel) << shift;
    }
    return out;
}

}  // namespace

Picture CutPicture(const Picture& picture, int x, int y, int width, int height) {
    Picture cut;
    cut.width = width;
    cut.height = height;
    cut.pixels.assign(static_cast<std::size_t>(width) * height, 0);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const int px = x + column;
            const int py = y + row;
            if (px >= 0 && py >= 0 && px < picture.width && py < picture.height) {
                cut.pixels[static_cast<std::size_t>(row) * width + column] =
                    picture.pixels[static_cast<std::size_t>(py) * picture.width + px];
            }
        }
    }
    return cut;
}

CRedrawButton::CRedrawButton(const ButtonImages& images, std::function<void()> clicked,
                             double scale)
    : m_images(images), m_clicked(std::move(clicked)) {
    SetScale(scale);
}

void CRedrawButton::SetScale(double scale) {
    for (int state = 0; state < kButtonStateCount; ++state) {
        m_pictures[state] = LoadScaledPicture(m_images[state], "png", scale);
    }
    if (m_hwnd != nullptr) {
        SetWindowPos(m_hwnd, nullptr, 0, 0, Width(), Height(),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(m_hwnd, nullptr, FALSE);
    }
}

CRedrawButton::~CRedrawButton() {
    if (m_hwnd != nullptr) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
}

bool CRedrawButton::Create(HWND parent, int x, int y, const std::string& name) {
    if (m_pictures[kStateNormal].IsNull()) {
        return false;
    }
    RegisterWindowClass(kWindowClass,
                        &MemberProc<CRedrawButton, &CRedrawButton::m_hwnd, &CRedrawButton::Handle>);
    const std::wstring title = WideFromUtf8(name);
    m_hwnd = CreateWindowExW(0, kWindowClass, title.c_str(), WS_CHILD | WS_VISIBLE, x, y, Width(),
                             Height(), parent, nullptr, GetModuleHandleW(nullptr), this);
    return m_hwnd != nullptr;
}

ButtonState CRedrawButton::CurrentState() const {
    return ChooseButtonState({m_bHover != 0, m_bPressed != 0, false, !IsWindowEnabled(m_hwnd)});
}

bool CRedrawButton::Inside(LPARAM lParam) const {
    const int x = static_cast<short>(LOWORD(lParam));
    const int y = static_cast<short>(HIWORD(lParam));
    return x >= 0 && y >= 0 && x < Width() && y < Height();
}

void CRedrawButton::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hwnd, &paint);
    const Picture& picture =
        m_pictures[CurrentState()].IsNull() ? m_pictures[kStateNormal] : m_pictures[CurrentState()];
    Picture shown = picture;
    if (m_bkDC.width == picture.width && m_bkDC.height == picture.height) {
        for (std::size_t i = 0; i < shown.pixels.size(); ++i) {
            shown.pixels[i] = Over(picture.pixels[i], m_bkDC.pixels[i]);
        }
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = shown.width;
    info.bmiHeader.biHeight = -shown.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, shown.width, shown.height, 0, 0, 0, shown.height,
                      shown.pixels.data(), &info, DIB_RGB_COLORS);
    EndPaint(m_hwnd, &paint);
}

LRESULT CRedrawButton::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_MOUSEMOVE: {
            const int hover = Inside(lParam) ? 1 : 0;
            if (hover != m_bHover) {
                m_bHover = hover;
                InvalidateRect(m_hwnd, nullptr, FALSE);
            }
            if (hover != 0) {
                TRACKMOUSEEVENT leave{sizeof(leave), TME_LEAVE, m_hwnd, 0};
                TrackMouseEvent(&leave);
            }
            return 0;
        }
        case WM_MOUSELEAVE:
            m_bHover = 0;
            InvalidateRect(m_hwnd, nullptr, FALSE);
            return 0;
        case WM_LBUTTONDOWN:
            m_bPressed = 1;
            m_bHover = 1;
            SetCapture(m_hwnd);
            InvalidateRect(m_hwnd, nullptr, FALSE);
            return 0;
        case WM_LBUTTONUP: {
            const bool click = m_bPressed != 0 && Inside(lParam);
            m_bPressed = 0;
            ReleaseCapture();
            InvalidateRect(m_hwnd, nullptr, FALSE);
            if (click && m_clicked) {
                m_clicked();  // may end the program: nothing of this button after it
            }
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

}  // namespace tavrin::win
