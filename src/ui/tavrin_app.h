// The application object: the process's settings, the launcher's road (LauncherFlow) with
// its Qt windows, the event loop, and the browser profile's release at the very end.
#pragma once

#include <functional>
#include <string>

#include <QApplication>

#include "flow/launcher_flow.h"
#include "flow/launcher_services.h"
#include "ui/launcher_windows.h"

namespace tavrin::ui {

class CTavrinApp : public QApplication {
    Q_OBJECT

public:
    // Settings that must be in place before the application object exists.
    static void PrepareProcess();

    // `watch`, when given, puts views of its own between the flow and the windows (the
    // self-test's), made from the windows.
    using ViewsWatch = std::function<LauncherViews&(LauncherViews& windows)>;
    CTavrinApp(int& argc, char** argv, const ViewsWatch& watch = {});
    ~CTavrinApp() override;

    // Runs start-up and then the event loop until the exit sequence ends it. Returns false
    // like the framework call it stands for; ExitCode() tells how the program ended.
    bool InitInstance();
    int ExitCode() const { return m_flow.ExitCode(); }

    LauncherFlow& Flow() { return m_flow; }
    CLauncherWindows& Windows() { return m_windows; }

    // The settings file; config.ini beside the program unless a test points elsewhere.
    std::string m_strIniPath;
    // The base name the run goes by (its data directory, log and profile); the program's own
    // unless set.
    std::string m_strBaseName;

private:
    void InstallChineseQtTranslations();

    SystemServices m_services;
    // The windows report to the flow (made just below, before any window exists); the flow
    // tells the windows.
    CLauncherWindows m_windows{m_flow};
    LauncherFlow m_flow;
};

}  // namespace tavrin::ui
