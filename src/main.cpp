#include <cstdio>
#include <cstring>

#include "app/version.h"
#include "ui/tavrin_app.h"

int main(int argc, char** argv) {
    // Answered before anything needs a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tavrin %s\n", tavrin::kLauncherVersionText);
        return 0;
    }
    tavrin::ui::CTavrinApp::PrepareProcess();
    tavrin::ui::CTavrinApp app(argc, argv);
    app.InitInstance();
    return app.ExitCode();
}
