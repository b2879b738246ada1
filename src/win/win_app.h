// The Windows program: the process's settings, the launcher's road with its Win32 windows and
// an engine, and the message loop until the exit sequence ends it.
#pragma once

#include <string>

#include "flow/launcher_flow.h"
#include "flow/launcher_services.h"
#include "win/web_engine.h"
#include "win/win_windows.h"

namespace tavrin::win {

// The launcher's road with its Win32 windows. The flow and its windows refer to each other:
// the windows report to the flow (made just below, before any window exists), the flow tells
// the windows.
struct WinLauncher {
    explicit WinLauncher(WebEngine& engine) : windows(flow, engine) {}
    SystemServices services;
    CWinWindows windows;
    LauncherFlow flow{services, windows};
};

// The system has no engine to show pages with (the player was told what to do).
inline constexpr int kExitNoWebEngine = 3;

// Runs the launcher with `engine` and the settings file at `iniPath` (config.ini beside the
// program when empty); the exit code.
int RunLauncher(WebEngine& engine, const std::string& iniPath = {});

}  // namespace tavrin::win
