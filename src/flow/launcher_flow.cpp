#include "flow/launcher_flow.h"

#include "app/diagnostics.h"
#include "flow/game_frame.h"
#include "flow/login_rules.h"

namespace tavrin {

namespace {

// The launcher speaks Chinese whatever the system's language.
constexpr const char* kConfigUnavailable = "配置文件读取失败！\n原因：";
constexpr const char* kUpdatingElsewhere =
    "启动器正在另一个窗口中更新。\n请等待更新完成后再启动游戏。";
constexpr const char* kGameUnavailable = "暂时无法进入游戏，请稍后重试。\n原因：";
// The player comes with the launcher, so it can only be missing, never too old: a newer
// Flash from the web would not help, installing the launcher again would.
constexpr const char* kPlayerMissing =
    "游戏播放组件缺失，安装已损坏。\n请重新安装启动器后再进行游戏。\n缺失的文件夹：";
constexpr const char* kAskRefresh = "是否刷新游戏?";
constexpr const char* kAskQuit = "是否退出游戏?";

long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

}  // namespace

LauncherFlow::LauncherFlow(LauncherServices& services, LauncherViews& views)
    : m_services(services), m_views(views), m_started(std::chrono::steady_clock::now()) {}

bool LauncherFlow::Start() {
    m_services.Prepare();
    if (!FetchPlatformConfig() || !CheckForUpdate()) {
        return false;
    }
    ShowLogin(m_platform);
    Diagnose("tavrin: login window shown %lld ms after the start", MillisecondsSince(m_started));
    const auto pruning = std::chrono::steady_clock::now();
    m_services.PruneDataDir();
    DiagnoseDetail("tavrin: data directory pruned in %lld ms", MillisecondsSince(pruning));
    return !m_bEnding;
}

bool LauncherFlow::FetchPlatformConfig() {
    // The player can try again (the network may be back) or end; the second line says what
    // went wrong, for whoever helps them.
    for (;;) {
        const auto fetch = std::chrono::steady_clock::now();
        Loaded<PlatformConfigData> loaded = m_services.LoadPlatformConfig();
        if (loaded) {
            m_platform = std::move(*loaded.value);
            Diagnose("tavrin: platform configuration from %s (%lld ms)",
                     m_platform.configUrl.c_str(), MillisecondsSince(fetch));
            DiagnoseDetail("tavrin: login page %s, verification at %s, update service %s",
                           m_platform.minMainPage.c_str(), m_platform.szVerify.c_str(),
                           m_platform.updateUrl.c_str());
            return true;
        }
        Diagnose("tavrin: no platform configuration: %s", loaded.failure.c_str());
        const Message box{MessageKind::kRetryQuit, kConfigUnavailable + loaded.failure};
        if (m_views.Ask(box) != MessageAnswer::kRetry) {
            RunExitSequence(kExitConfigUnavailable);
            return false;
        }
    }
}

bool LauncherFlow::CheckForUpdate() {
    // The check runs on a thread of its own while start-up waits for it; a check that takes
    // a while shows its window.
    const auto started = std::chrono::steady_clock::now();
    UpdateReport report;
    m_views.WaitForUpdateCheck(
        [this, &report] { report = m_services.CheckForUpdate(m_platform, m_updateProgress); },
        m_updateProgress);
    Diagnose("tavrin: update check took %lld ms%s", MillisecondsSince(started),
             report.handedOver ? "; handed over to the updater" : "");
    if (report.handedOver) {
        // The updater replaces this program and starts it again: nothing more to do here.
        return false;
    }
    if (report.busyElsewhere) {
        // The other copy is replacing the launcher; a second game beside it would be running
        // the program that is being replaced.
        Diagnose("tavrin: another copy of the launcher is updating; this one ends");
        m_views.Ask({MessageKind::kOk, kUpdatingElsewhere});
        RunExitSequence(kExitUpdatingElsewhere);
        return false;
    }
    return true;
}

void LauncherFlow::ShowLogin(const PlatformConfigData& platform) {
    if (m_bEnding) {
        return;
    }
    m_platform = platform;
    m_views.ShowLoginWindow();
    if (!m_bLoginShown) {
        m_bLoginShown = true;
        m_views.Navigate(m_platform.minMainPage);
    }
}

bool LauncherFlow::IsVerification(const std::string& address) const {
    return IsVerifiedAddress(address, m_platform.szVerify);
}

void LauncherFlow::VerificationReached(const std::string& address) {
    if (m_bEnding || !IsVerification(address)) {
        return;
    }
    // The verification address may look at the session the login page started. One that
    // cannot be fetched or read is no way into the game, least of all into the last one's.
    for (;;) {
        Loaded<ClientConfigData> loaded =
            m_services.LoadClientConfig(address, m_platform, m_views.BrowserCookies());
        if (loaded) {
            m_client = std::move(*loaded.value);
            break;
        }
        m_views.ShowLoginWindow();
        const MessageAnswer answer = m_views.Ask(
            {MessageKind::kRetryCancel, kGameUnavailable + loaded.failure, MessageOwner::kLogin});
        if (m_bEnding) {
            return;
        }
        if (answer != MessageAnswer::kRetry) {
            Diagnose("tavrin: the game was not entered: its client configuration is missing");
            LeaveVerification();
            return;
        }
    }
    if (!m_client.isOpen) {
        m_views.ShowLoginWindow();
        LeaveVerification();
        OpenInBrowser(m_client.errorPage);
        return;
    }
    EnterGame();
    if (!m_bEnding) {
        m_views.Navigate("about:blank");
    }
}

void LauncherFlow::EnterGame() {
    if (m_bGameLoaded) {
        return;  // a game plays already; only a refresh makes way for a new one
    }
    std::string folder;
    if (!m_views.GamePlayerPresent(folder)) {
        m_views.GoBack();
        Diagnose("tavrin: the Flash player files are missing in %s", folder.c_str());
        m_views.Ask({MessageKind::kOk, kPlayerMissing + folder});
        RunExitSequence(kExitNormal);
        return;
    }
    ++m_nGameWindows;
    m_bGameLoaded = true;
    m_views.OpenGameWindow(m_client);
}

void LauncherFlow::LeaveVerification() {
    if (m_views.CanGoBack()) {
        m_views.GoBack();
    } else {
        // After a refresh: behind the verification lies the blank page the game left, which
        // would leave the player an empty window. The login page instead.
        m_views.Navigate(m_platform.minMainPage);
    }
}

void LauncherFlow::ReloadAreaPage() {
    m_views.Navigate(BuildAreaPageUrl(m_client.area_url, m_services.SecondsSince1970()));
}

void LauncherFlow::OpenInBrowser(const std::string& address) {
    // An operator without such a page leaves the value empty: the button does nothing.
    if (!address.empty()) {
        m_views.OpenInBrowser(address);
    }
}

void LauncherFlow::LinkClicked(LoginLink link) {
    switch (link) {
        case LoginLink::kOfficial:
            OpenInBrowser(m_platform.officialUrl);
            break;
        case LoginLink::kRecharge:
            OpenInBrowser(m_platform.rechargeUrl);
            break;
        case LoginLink::kForum:
            OpenInBrowser(m_platform.bbsUrl);
            break;
        case LoginLink::kService:
            OpenInBrowser(m_platform.svrUrl);
            break;
    }
}

void LauncherFlow::RefreshAsked() {
    if (m_bEnding || m_nGameWindows == 0) {
        return;
    }
    const std::uint64_t window = m_nGameWindows;
    const bool yes = m_views.Ask({MessageKind::kYesNo, kAskRefresh, MessageOwner::kGame,
                                  MessageIcon::kNone}) == MessageAnswer::kYes;
    if (m_bEnding || window != m_nGameWindows) {
        return;  // a new game window has come while the box was open
    }
    switch (TakeRefreshAnswer(yes, m_bGameLoaded)) {
        case RefreshStep::kReturnFocus:
            m_views.FocusGame();
            break;
        case RefreshStep::kAlreadyPending:
            break;
        case RefreshStep::kReloadAreaPage:
            ReloadAreaPage();
            break;
    }
}

void LauncherFlow::MovieAskedRefresh() {
    if (m_bEnding || !m_bGameLoaded) {
        return;
    }
    m_bGameLoaded = false;
    ReloadAreaPage();
}

void LauncherFlow::QuitAsked() {
    if (m_bEnding) {
        return;
    }
    const std::uint64_t window = m_nGameWindows;
    if (m_views.Ask({MessageKind::kYesNo, kAskQuit, MessageOwner::kGame}) != MessageAnswer::kYes) {
        if (!m_bEnding && window == m_nGameWindows) {
            m_views.FocusGame();
        }
        return;
    }
    // Even from a window replaced while the box was open: the player asked to quit.
    RunExitSequence(kExitNormal);
}

void LauncherFlow::CloseRequested() {
    RunExitSequence(kExitNormal);
}

void LauncherFlow::RunExitSequence(int exitCode) {
    if (m_bEnding) {
        return;
    }
    m_bEnding = true;
    m_nExitCode = exitCode;
    m_bGameLoaded = false;
    m_services.Release();
    m_views.CloseWindows(exitCode);
    m_services.PruneDataDir();
}

}  // namespace tavrin
