#include "ui/tavrin_app.h"

#include <cstdio>

#include <QDir>
#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/app_globals.h"
#include "app/config.h"
#include "app/data_dir.h"
#include "app/diagnostics.h"
#include "app/program_paths.h"
#include "app/version.h"
#include "net/socket_transport.h"
#include "platform/system_paths.h"
#include "ui/browser_profile.h"
#include "ui/game_window.h"
#include "ui/login_window.h"
#include "ui/message_box.h"
#include "ui/ruffle_scheme.h"
#include "ui/shell_open.h"
#include "ui/update_window.h"
#include "update/update_worker.h"

namespace tavrin::ui {

namespace {
CTavrinApp* g_pApp = nullptr;
// Start-up could not fetch the platform configuration.
constexpr int kExitConfigUnavailable = 1;
constexpr int kExitUpdatingElsewhere = 2;

QElapsedTimer StartedTimer() {
    QElapsedTimer timer;
    timer.start();
    return timer;
}

}  // namespace

CTavrinApp* TheApp() {
    return g_pApp;
}

void CTavrinApp::PrepareProcess() {
    // The browser views share one graphics context with the windows that hold them.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    RegisterRuffleScheme();
}

CTavrinApp::CTavrinApp(int& argc, char** argv) : QApplication(argc, argv) {
    g_pApp = this;
    InstallChineseQtTranslations();
}

void CTavrinApp::InstallChineseQtTranslations() {
    // The launcher speaks Chinese whatever the system's language: Qt's own words in its
    // dialogs (是, 否, 确定) must match the texts above them.
    auto* translator = new QTranslator(this);
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        Diagnose(
            "tavrin: Qt's Chinese translations are missing; dialogs show their "
            "buttons in English");
        delete translator;
        return;
    }
    installTranslator(translator);
}

CTavrinApp::~CTavrinApp() {
    // Pages and views must be gone before the browser profile is released.
    delete m_pGameWnd;
    delete m_pLoginDlg;
    ReleaseLauncherProfile();
    g_pApp = nullptr;
}

bool CTavrinApp::InitInstance() {
    g_strBaseName = ComputeBaseName(GetModulePath());
    // From here on every diagnostic line is also kept, for whoever helps the player.
    SetDiagnosticsFile(DiagnosticsFileFor(platform::UserStateFolder(), g_strBaseName));
    Diagnose("tavrin: version %s starting as %s", kLauncherVersionText, g_strBaseName.c_str());
    const QElapsedTimer sinceStart = StartedTimer();
    // Settings would live under this name; the launcher stores none.
    setApplicationName(QString::fromLocal8Bit(g_strBaseName));
    setOrganizationName(QString::fromLocal8Bit(g_strBaseName));
    m_bQuitAfterUpdate = 0;
    // A failure here shows up later, as downloads that cannot connect.
    SocketStartup();
    PrepareDataDir();
    if (m_strIniPath.empty()) {
        m_strIniPath = ConfigIniPath();
    }
    // The player can try again (the network may be back) or end; the second line says
    // what went wrong, for whoever helps them.
    std::string failure;
    QElapsedTimer configFetch = StartedTimer();
    while (!LoadPlatformConfig(m_strIniPath, &failure)) {
        Diagnose("tavrin: no platform configuration: %s", failure.c_str());
        const QString text = tr("配置文件读取失败！\n原因：") + QString::fromStdString(failure);
        if (ShowMessage(nullptr, text, MessageKind::kRetryQuit) != MessageAnswer::kRetry) {
            m_nExitCode = kExitConfigUnavailable;
            RunExitSequence();
            return false;
        }
        configFetch.restart();
    }
    Diagnose("tavrin: platform configuration from %s (%lld ms)",
             PlatformConfigUrl(m_strIniPath).c_str(),
             static_cast<long long>(configFetch.elapsed()));
    DiagnoseDetail("tavrin: login page %s, verification at %s, update service %s",
                   PlatformConfig.minMainPage.c_str(), PlatformConfig.szVerify.c_str(),
                   PlatformConfig.updateUrl.c_str());
    // The update check runs on a thread of its own while start-up waits for it; a check
    // that takes a while shows its window. A hand-over to the updater ends start-up at once.
    const QElapsedTimer updateCheck = StartedTimer();
    RunUpdateWithWindow(m_update, m_bQuitAfterUpdate);
    Diagnose("tavrin: update check took %lld ms%s", static_cast<long long>(updateCheck.elapsed()),
             m_bQuitAfterUpdate != 0 ? "; handed over to the updater" : "");
    if (m_bQuitAfterUpdate != 0) {
        return false;
    }
    if (m_update.m_bBusyElsewhere) {
        // The other copy is replacing the launcher; a second game beside it would be
        // running the program that is being replaced.
        Diagnose("tavrin: another copy of the launcher is updating; this one ends");
        ShowMessage(nullptr, tr("启动器正在另一个窗口中更新。\n请等待更新完成后再启动游戏。"),
                    MessageKind::kOk);
        m_nExitCode = kExitUpdatingElsewhere;
        RunExitSequence();
        return false;
    }
    ShowLoginWindow();
    Diagnose("tavrin: login window shown %lld ms after the start",
             static_cast<long long>(sinceStart.elapsed()));
    const QElapsedTimer pruning = StartedTimer();
    PruneDataDir();
    DiagnoseDetail("tavrin: data directory pruned in %lld ms",
                   static_cast<long long>(pruning.elapsed()));
    if (!m_bExitRequested) {
        exec();
    }
    // Pages and views must be gone before the browser profile is released, replaced game
    // windows still waiting for their deletion included.
    sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete m_pGameWnd;
    delete m_pLoginDlg;
    ReleaseLauncherProfile();
    return false;
}

void CTavrinApp::ShowLoginWindow() {
    if (m_pLoginDlg == nullptr) {
        m_pLoginDlg = new CTavrinDlg();
        m_pLoginDlg->OnInitDialog();
    }
    if (m_pLoginDlg->windowFlags().testFlag(Qt::Tool)) {
        // Back from the game: the login window has its task-bar button again.
        m_pLoginDlg->setWindowFlag(Qt::Tool, false);
    }
    m_pLoginDlg->show();
    m_pLoginDlg->raise();
    m_pLoginDlg->activateWindow();
    if (m_pGameWnd != nullptr) {
        m_pGameWnd->hide();
    }
}

void CTavrinApp::OpenGameWindow() {
    if (m_pGameWnd != nullptr) {
        if (m_pGameWnd->m_bGameLoaded) {
            return;
        }
        // Taken away after the current event, which may be one of its own.
        m_pGameWnd->Retire();
    }
    m_pGameWnd = new CFlashPayer();
    if (!m_pGameWnd->CheckFlashVersion()) {
        if (m_pLoginDlg != nullptr) {
            m_pLoginDlg->ControlLayer().View()->GoBack();
        }
        // The player comes with the launcher, so it can only be missing, never too old: a
        // newer Flash from the web would not help, installing the launcher again would.
        Diagnose("tavrin: the Flash player files are missing in %s",
                 RuffleFolder().toLocal8Bit().constData());
        ShowMessage(nullptr,
                    tr("游戏播放组件缺失，安装已损坏。\n请重新安装启动器后再进行游戏。\n"
                       "缺失的文件夹：") +
                        QDir::toNativeSeparators(RuffleFolder()),
                    MessageKind::kOk);
        RunExitSequence();
        return;
    }
    m_pGameWnd->OnInitDialog();
    if (m_pLoginDlg != nullptr && m_pLoginDlg->isVisible()) {
        // Out of the task bar for the rest of the process: the game window has its own
        // button there from now on.
        m_pLoginDlg->hide();
        m_pLoginDlg->setWindowFlag(Qt::Tool, true);
    }
    m_pGameWnd->show();
    m_pGameWnd->raise();
    m_pGameWnd->activateWindow();
    emit gameWindowOpened();
}

void CTavrinApp::RunExitSequence() {
    if (m_bExitRequested) {
        return;
    }
    m_bExitRequested = true;
    SocketCleanup();
    if (m_pGameWnd != nullptr) {
        m_pGameWnd->Retire();
    }
    if (m_pLoginDlg != nullptr) {
        // Taken away after the current event: this may run inside one of its handlers.
        m_pLoginDlg->hide();
        m_pLoginDlg->deleteLater();
    }
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
