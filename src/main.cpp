#include "ui/tavrin_app.h"

int main(int argc, char** argv) {
    tavrin::ui::CTavrinApp::PrepareProcess();
    tavrin::ui::CTavrinApp app(argc, argv);
    app.InitInstance();
    return app.ExitCode();
}
