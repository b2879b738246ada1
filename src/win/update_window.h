// The small window that shows an update while start-up waits for it: what is happening, the
// bytes and the speed, a bar, and a button to go on without the update. The words are the
// shared ones (flow/update_window_text); the window draws them with GDI.
#pragma once

#include <windows.h>

#include <string>

#include "flow/update_window_text.h"
#include "update/update_progress.h"
#include "win/picture.h"

namespace tavrin::win {

class UpdateWindow {
public:
    // At `scale` (2 for 200 %), or at the system's when it is 0.
    explicit UpdateWindow(UpdateProgress& progress, double scale = 0);
    ~UpdateWindow();
    UpdateWindow(const UpdateWindow&) = delete;
    UpdateWindow& operator=(const UpdateWindow&) = delete;

    // Makes the window, shown and in front; false when it cannot be made.
    bool Create();
    // Reads the check's progress again and shows it; the window's own timer calls it.
    void Refresh();

    HWND Window() const { return m_hwnd; }
    HWND CancelButton() const { return m_cancel; }
    // What the window says now, for tests and the log.
    const UpdateWindowText& Shown() const { return m_shown; }

private:
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    void Cancel();

    UpdateProgress& m_progress;
    double m_scale;
    UpdateWindowModel m_model;
    UpdateWindowText m_shown;
    HWND m_hwnd = nullptr;
    HWND m_cancel = nullptr;
    HFONT m_font = nullptr;
    HFONT m_titleFont = nullptr;
    HFONT m_buttonFont = nullptr;
    Picture m_icon;
};

}  // namespace tavrin::win
