// The launcher program's command line, the same on every system: what a start asks for
// (the launcher, its version, its help, an operator's movie check or the player's self-test)
// and how much it logs.
#pragma once

#include <cstdio>

namespace tavrin {

enum class LauncherMode { kRun, kVersion, kHelp, kCheckGame, kSelfTest };

// The exit status of a command line that is not understood.
constexpr int kExitUsage = 2;

// --version and --help (-h) alone; --check-game or --self-test anywhere; else the launcher,
// whose other arguments belong to the window system.
LauncherMode LauncherModeOf(int argc, char** argv);

// The level from TAVRIN_LOG_LEVEL, then from --log-level=L or --log-level L, which wins.
// False, said on the error output, for a level that is none.
bool ApplyLogLevel(int argc, char** argv);

// The launcher's --help.
void PrintLauncherHelp(std::FILE* out);

}  // namespace tavrin
