#include "app/launcher_command.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/diagnostics.h"

namespace tavrin {

namespace {

const char kHelp[] =
    "usage: tavrin [--help | --version] [--log-level=info|debug]\n"
    "       tavrin --check-game URL [--flash-vars VARS] [--sockets LIST] [--seconds N]\n"
    "                           [--screenshot FILE]\n"
    "       tavrin --self-test [--report FILE]\n"
    "\n"
    "Starts the game launcher: reads config.ini beside this program (configUrl, platform,\n"
    "updateKey in section config), fetches the operator's configuration, checks for an\n"
    "update, then shows the login window.\n"
    "\n"
    "  --log-level=debug  also log every request and answer and the game player's console\n"
    "                     (TAVRIN_LOG_LEVEL=debug does the same)\n"
    "\n"
    "  --check-game URL   for operators: plays the movie at URL in the launcher's player\n"
    "                     for --seconds N (8) from its first frame, with --flash-vars VARS\n"
    "                     and the game servers of --sockets LIST (as a client configuration\n"
    "                     names them), and prints what it is, whether it started and drew,\n"
    "                     what it called (ExternalInterface, fscommand, sockets) and what\n"
    "                     the player warned of; --screenshot FILE keeps its last picture;\n"
    "                     exit status 0 when it ran, 1 when it did not\n"
    "\n"
    "  --self-test        for players' machines: runs the launcher's road (login page,\n"
    "                     verification, game window, a small movie, its calls and a game\n"
    "                     socket) against a small operator the program serves itself on\n"
    "                     127.0.0.1, through this machine's web engine, and prints each\n"
    "                     step with pass or fail and its time (also into --report FILE);\n"
    "                     exit status 0 when every step passed, 1 when one failed\n"
    "\n"
    "The log is <base name>.log in $XDG_STATE_HOME (else ~/.local/state; on Windows the\n"
    "local application data folder).\n";

bool IsAlone(int argc, char** argv, const char* option) {
    return argc == 2 && std::strcmp(argv[1], option) == 0;
}

}  // namespace

LauncherMode LauncherModeOf(int argc, char** argv) {
    if (IsAlone(argc, argv, "--version")) {
        return LauncherMode::kVersion;
    }
    if (IsAlone(argc, argv, "--help") || IsAlone(argc, argv, "-h")) {
        return LauncherMode::kHelp;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check-game") == 0) {
            return LauncherMode::kCheckGame;
        }
        if (std::strcmp(argv[i], "--self-test") == 0) {
            return LauncherMode::kSelfTest;
        }
    }
    return LauncherMode::kRun;
}

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
    LogLevel level = LogLevel::kInfo;
    if (!chosen.empty() && !ParseLogLevel(chosen, level)) {
        std::fprintf(stderr, "tavrin: unknown log level \"%s\" (info or debug)\n", chosen.c_str());
        return false;
    }
    SetLogLevel(level);
    return true;
}

void PrintLauncherHelp(std::FILE* out) {
    std::fputs(kHelp, out);
}

}  // namespace tavrin
