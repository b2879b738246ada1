// tavrin.exe --self-test: the launcher's road through the system's WebView2 engine against
// the small operator the program serves itself, with the same step-by-step report as on
// Linux (see game/self_test_road.h).
#pragma once

#include "win/web_engine.h"

namespace tavrin::win {

// Runs the self-test the command line asks for; 0 when every step passed, 1 when one did
// not, 2 for a command line that is not understood.
int RunSelfTest(WebEngine& engine, int argc, char** argv);

}  // namespace tavrin::win
