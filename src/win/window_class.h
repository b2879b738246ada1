// Window classes and procedures for the front end's windows: a window's messages go to a
// member of the object it was made for (CreateWindowExW's last argument).
#pragma once

#include <windows.h>

namespace tavrin::win {

// Registers the class `name` once (a second registration fails harmlessly), with the
// program's icon and the arrow cursor.
void RegisterWindowClass(const wchar_t* name, WNDPROC proc, HBRUSH background = nullptr);

// The procedure of a window made for an object of T: its handle goes into the object's
// `Slot` at WM_NCCREATE (the first messages come before CreateWindowExW returns) and its
// messages to `Handler`. Once the object clears GWLP_USERDATA, the system's handling is left.
template <typename T, HWND T::*Slot, LRESULT (T::*Handler)(UINT, WPARAM, LPARAM)>
LRESULT CALLBACK MemberProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* owner = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
        owner->*Slot = hwnd;
    }
    auto* owner = reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return owner != nullptr && owner->*Slot == hwnd ? (owner->*Handler)(message, wParam, lParam)
                                                    : DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace tavrin::win
