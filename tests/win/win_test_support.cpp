#include "win_test_support.h"

namespace tavrin::win {

HWND WaitForWindow(const wchar_t* windowClass, const wchar_t* title) {
    HWND window = nullptr;
    for (int i = 0; i < 6000 && window == nullptr; ++i, Sleep(10)) {
        window = FindWindowW(windowClass, title);
    }
    return window;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
                return done();
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(10);
    }
    return done();
}

}  // namespace tavrin::win
