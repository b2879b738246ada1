#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/diagnostics.h"
#include "app/version.h"
#include "ui/game_check.h"
#include "ui/tavrin_app.h"

namespace {

const char* const kHelp =
    "usage: tavrin [--help | --version] [--log-level=info|debug]\n"
    "%s"
    "\n"
    "Starts the game launcher: reads config.ini beside this program (configUrl, platform,\n"
    "updateKey in section config), fetches the operator's configuration, checks for an\n"
    "update, then shows the login window.\n"
    "\n"
    "  --log-level=debug  also log every request and answer and the game player's console\n"
    "                     (TAVRIN_LOG_LEVEL=debug does the same)\n"
    "\n"
    "  --check-game URL   for operators: plays the movie at URL in the launcher's player\n"
    "                     for --seconds N (8), with --flash-vars VARS and the game servers\n"
    "                     of --sockets LIST (as a client configuration names them), and\n"
    "                     prints what it is, whether it started and drew, what it called\n"
    "                     (ExternalInterface, fscommand, sockets) and what the player\n"
    "                     warned of; --screenshot FILE keeps its last picture; exit\n"
    "                     status 0 when it ran, 1 when it did not\n"
    "\n"
    "The log is <base name>.log in $XDG_STATE_HOME (else ~/.local/state; on Windows the\n"
    "local application data folder).\n";

constexpr int kExitUsage = 2;

// The level from the environment, then from the command line, which wins. False, said on
// the error output, for a level that is none.
bool ApplyLogLevel(int argc, char** argv) {
    const std::string option = "--log-level";
    std::string chosen;
    if (const char* fromEnvironment = std::getenv("TAVRIN_LOG_LEVEL")) {
        chosen = fromEnvironment;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind(option + "=", 0) == 0) {
            chosen = arg.substr(option.size() + 1);
        } else if (arg == option && i + 1 < argc) {
            chosen = argv[++i];
        }
    }
    tavrin::LogLevel level = tavrin::LogLevel::kInfo;
    if (!chosen.empty() && !tavrin::ParseLogLevel(chosen, level)) {
        std::fprintf(stderr, "tavrin: unknown log level \"%s\" (info or debug)\n", chosen.c_str());
        return false;
    }
    tavrin::SetLogLevel(level);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Answered before anything needs a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tavrin %s\n", tavrin::kLauncherVersionText);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf(kHelp, tavrin::ui::kGameCheckUsage);
        return 0;
    }
    if (!ApplyLogLevel(argc, argv)) {
        return kExitUsage;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check-game") == 0) {
            return tavrin::ui::RunGameCheck(argc, argv);
        }
    }
    tavrin::ui::CTavrinApp::PrepareProcess();
    tavrin::ui::CTavrinApp app(argc, argv);
    app.InitInstance();
    return app.ExitCode();
}
