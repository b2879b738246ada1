// What the Windows front end's tests share: waiting for a window of another thread, and
// running this thread's messages until something holds.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>

namespace tavrin::win {

// A top-level window of another thread of this test, once it shows; null after a minute. It
// shows within a second, but a Wine under load (a build beside the lane) took over five.
HWND WaitForWindow(const wchar_t* windowClass, const wchar_t* title);

// Runs the windows' messages until `done` holds or the time is up; returns `done()`.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace tavrin::win
