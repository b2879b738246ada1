// Work for the window thread from any thread: the game relay answers from its own threads,
// and what a page asked for sometimes has to wait until its handler has returned. Each piece
// runs on the thread that made the mailbox, from its message loop (a message box's included);
// what is still waiting when the mailbox goes is dropped, never run.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

namespace tavrin::win {

class UiMailbox {
public:
    UiMailbox();
    ~UiMailbox();
    UiMailbox(const UiMailbox&) = delete;
    UiMailbox& operator=(const UiMailbox&) = delete;

    // From any thread. A piece may delete the mailbox itself.
    void Post(std::function<void()> work);

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void DeliverOne();

    HWND m_hwnd = nullptr;
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_work;
};

}  // namespace tavrin::win
