// Measures how long the launcher takes from the start of its process until the login page
// has completed in the login window. Runs the real start-up against the configuration in
// config.ini beside it, prints one line "startup_to_login_ms N" and ends.
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <QTimer>

#include "ui/login_window.h"
#include "ui/tavrin_app.h"

namespace {

// Milliseconds since this process was started, as the kernel counts it.
double MillisecondsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Field 22 is the start time in clock ticks after boot; fields after the name in ( ).
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long startTicks = 0;
    for (int i = 3; i <= 22 && rest >> field; ++i) {
        if (i == 22) {
            startTicks = std::stoull(field);
        }
    }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
    return nowMs - startTicks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

int main(int argc, char** argv) {
    using tavrin::ui::CTavrinApp;
    CTavrinApp::PrepareProcess();
    CTavrinApp app(argc, argv);
    QTimer watch;
    bool connected = false;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        tavrin::ui::CTavrinDlg* login = app.Windows().LoginWindow();
        if (connected || login == nullptr) {
            return;
        }
        connected = true;
        QObject::connect(
            &login->ControlLayer(), &tavrin::ui::CControlLayerDlg::pageCompleted, [&app] {
                std::printf("startup_to_login_ms %.0f\n", MillisecondsSinceProcessStart());
                std::fflush(stdout);
                app.Flow().CloseRequested();
            });
    });
    watch.start(1);
    app.InitInstance();
    return connected ? 0 : 1;
}
