#include "win/stand_in_engine.h"
#include "win/win_app.h"

int main(int argc, char** argv) {
    // The engine the program shows pages with. Until the system's engine is wired in, the
    // stand-in shows each page's address.
    tavrin::win::StandInEngine engine;
    (void)argc;
    (void)argv;
    return tavrin::win::RunLauncher(engine);
}
