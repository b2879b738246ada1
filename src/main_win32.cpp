#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "app/launcher_command.h"
#include "app/program_paths.h"
#include "app/version.h"
#include "platform/console.h"
#include "win/game_check.h"
#include "win/self_test.h"
#include "win/stand_in_engine.h"
#include "win/webview2_engine.h"
#include "win/win_app.h"

int main(int argc, char** argv) {
    const tavrin::LauncherMode mode = tavrin::LauncherModeOf(argc, argv);
    if (mode != tavrin::LauncherMode::kRun) {
        tavrin::platform::UseStartingConsole();
    }
    if (mode == tavrin::LauncherMode::kVersion) {
        std::printf("tavrin %s\n", tavrin::kLauncherVersionText);
        return 0;
    }
    if (mode == tavrin::LauncherMode::kHelp) {
        tavrin::PrintLauncherHelp(stdout);
        return 0;
    }
    if (!tavrin::ApplyLogLevel(argc, argv)) {
        return tavrin::kExitUsage;
    }
    // The web engine's objects live in this thread's apartment for the whole run (the picture
    // decoder enters it too, and leaves it only down to this count).
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // --stand-in-engine shows each page's address instead of the page, for trying the
    // windows where no engine runs (under Wine).
    std::unique_ptr<tavrin::win::WebEngine> engine;
    if (argc == 2 && std::strcmp(argv[1], "--stand-in-engine") == 0) {
        engine = std::make_unique<tavrin::win::StandInEngine>();
    } else {
        engine = std::make_unique<tavrin::win::WebView2Engine>(tavrin::GetModuleDir());
    }
    switch (mode) {
        case tavrin::LauncherMode::kCheckGame:
            return tavrin::win::RunGameCheck(*engine, argc, argv);
        case tavrin::LauncherMode::kSelfTest:
            return tavrin::win::RunSelfTest(*engine, argc, argv);
        default:
            return tavrin::win::RunLauncher(*engine);
    }
}
