// tavrin.exe --check-game: the operator's movie check on Windows, with the same report as on
// Linux. The movie plays in the real player page in a window of its own, on `engine`, with a
// browser profile of this run only.
#pragma once

#include "win/web_engine.h"

namespace tavrin::win {

// Runs the check the command line asks for and prints the report; the exit status as on
// Linux (0 ran, 1 did not, 2 a command line not understood).
int RunGameCheck(WebEngine& engine, int argc, char** argv);

}  // namespace tavrin::win
