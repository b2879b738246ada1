#include "win/ui_mailbox.h"

#include <utility>

namespace tavrin::win {

namespace {

constexpr wchar_t kClassName[] = L"TavrinMailbox";
constexpr UINT kDeliver = WM_APP + 30;

}  // namespace

UiMailbox::UiMailbox() {
    static const bool registered = [] {
        WNDCLASSW type{};
        type.lpfnWndProc = &UiMailbox::Proc;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = kClassName;
        return RegisterClassW(&type) != 0;
    }();
    (void)registered;
    // A message-only window: never shown, never in the way of the windows' own messages.
    m_hwnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    if (m_hwnd != nullptr) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
}

UiMailbox::~UiMailbox() {
    if (m_hwnd != nullptr) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
}

void UiMailbox::Post(std::function<void()> work) {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_work.push_back(std::move(work));
    }
    PostMessageW(m_hwnd, kDeliver, 0, 0);
}

LRESULT CALLBACK UiMailbox::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* mailbox = reinterpret_cast<UiMailbox*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == kDeliver && mailbox != nullptr) {
        mailbox->DeliverOne();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void UiMailbox::DeliverOne() {
    std::function<void()> work;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_work.empty()) {
            return;
        }
        work = std::move(m_work.front());
        m_work.pop_front();
    }
    // The piece may end the mailbox: nothing of it is touched after.
    work();
}

}  // namespace tavrin::win
