// tavrin --self-test on Linux: the launcher's road through Qt WebEngine against the small
// operator the program serves itself, with a step-by-step report (see game/self_test_site.h).
#pragma once

namespace tavrin::ui {

// Runs the self-test the command line asks for; 0 when every step passed, 1 when one did
// not, 2 for a command line that is not understood.
int RunSelfTest(int argc, char** argv);

}  // namespace tavrin::ui
