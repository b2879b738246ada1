#include "ui/tavrin_app.h"

#include "app/app_globals.h"
#include "app/config.h"
#include "app/data_dir.h"
#include "app/file_utils.h"
#include "ui/message_box.h"

namespace tavrin::ui {

namespace {
CTavrinApp* g_pApp = nullptr;
// Start-up could not fetch the platform configuration.
constexpr int kExitConfigUnavailable = 1;
}  // namespace

CTavrinApp* TheApp() {
    return g_pApp;
}

CTavrinApp::CTavrinApp(int& argc, char** argv) : QApplication(argc, argv) {
    g_pApp = this;
}

CTavrinApp::~CTavrinApp() {
    g_pApp = nullptr;
}

bool CTavrinApp::InitInstance() {
    g_strBaseName = ComputeBaseName(GetModulePath());
    // Settings would live under this name; the launcher stores none.
    setApplicationName(QString::fromLocal8Bit(g_strBaseName));
    setOrganizationName(QString::fromLocal8Bit(g_strBaseName));
    m_bQuitAfterUpdate = 0;

    PrepareDataDir();
    if (m_strIniPath.empty()) {
        m_strIniPath = ConfigIniPath();
    }
    if (!LoadPlatformConfig(m_strIniPath)) {
        ShowMessage(nullptr, QStringLiteral("配置文件读取失败！"), MessageKind::kOk);
        m_nExitCode = kExitConfigUnavailable;
        RunExitSequence();
        return false;
    }
    // The update worker runs here once it exists; a hand-over ends start-up at once.
    if (m_bQuitAfterUpdate != 0) {
        return false;
    }
    ShowLoginWindow();
    PruneDataDir();
    if (!m_bExitRequested) {
        exec();
    }
    return false;
}

void CTavrinApp::ShowLoginWindow() {
    // The login window is not part of the program yet. Without a window the player could
    // only end the process by force, so start-up ends here instead.
    RunExitSequence();
}

void CTavrinApp::RunExitSequence() {
    if (m_bExitRequested) {
        return;
    }
    m_bExitRequested = true;
    PruneDataDir();
    // Ends a running event loop at its next turn; during start-up InitInstance sees
    // m_bExitRequested and never enters the loop.
    exit(m_nExitCode);
}

void CTavrinApp::PrepareDataDir() {
    tavrin::PrepareDataDir();
}

void CTavrinApp::PruneDataDir() {
    tavrin::PruneDataDir(g_strDataDir, g_strBaseName);
}

}  // namespace tavrin::ui
