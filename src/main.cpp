#include <cstdio>
#include <cstring>

#include "app/version.h"
#include "ui/tavrin_app.h"

namespace {

const char* const kHelp =
    "usage: tavrin [--help | --version]\n"
    "\n"
    "Starts the game launcher: reads config.ini beside this program (configUrl, platform,\n"
    "updateKey in section config), fetches the operator's configuration, checks for an\n"
    "update, then shows the login window.\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before anything needs a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tavrin %s\n", tavrin::kLauncherVersionText);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    tavrin::ui::CTavrinApp::PrepareProcess();
    tavrin::ui::CTavrinApp app(argc, argv);
    app.InitInstance();
    return app.ExitCode();
}
