#include "win/window_class.h"

namespace tavrin::win {

void RegisterWindowClass(const wchar_t* name, WNDPROC proc, HBRUSH background) {
    WNDCLASSW type{};
    type.lpfnWndProc = proc;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    type.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128));
    type.hbrBackground = background;
    type.lpszClassName = name;
    RegisterClassW(&type);
}

}  // namespace tavrin::win
