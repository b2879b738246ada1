#include <cstdio>

#include "app/launcher_command.h"
#include "app/version.h"
#include "ui/game_check.h"
#include "ui/self_test.h"
#include "ui/tavrin_app.h"

int main(int argc, char** argv) {
    // Answered before anything needs a display.
    switch (tavrin::LauncherModeOf(argc, argv)) {
        case tavrin::LauncherMode::kVersion:
            std::printf("tavrin %s\n", tavrin::kLauncherVersionText);
            return 0;
        case tavrin::LauncherMode::kHelp:
            tavrin::PrintLauncherHelp(stdout);
            return 0;
        default:
            break;
    }
    if (!tavrin::ApplyLogLevel(argc, argv)) {
        return tavrin::kExitUsage;
    }
    switch (tavrin::LauncherModeOf(argc, argv)) {
        case tavrin::LauncherMode::kCheckGame:
            return tavrin::ui::RunGameCheck(argc, argv);
        case tavrin::LauncherMode::kSelfTest:
            return tavrin::ui::RunSelfTest(argc, argv);
        default:
            break;
    }
    tavrin::ui::CTavrinApp::PrepareProcess();
    tavrin::ui::CTavrinApp app(argc, argv);
    app.InitInstance();
    return app.ExitCode();
}
