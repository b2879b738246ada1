// LauncherFlow: the launcher's road from start to end, without a window of its own. Start-up
// in order (the platform configuration, the update check, the login window), the login
// page's verification, entering the game, refresh through the area page, the closed game, and
// the one exit sequence every way out takes. The windows report what happened (LauncherEvents)
// and are told what to show (LauncherViews); the session's values live here and nowhere else.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "app/config.h"
#include "flow/launcher_events.h"
#include "flow/launcher_services.h"
#include "flow/launcher_views.h"
#include "update/update_progress.h"

namespace tavrin {

// How the launcher ended, for whoever started it.
inline constexpr int kExitNormal = 0;
// Start-up could not fetch the platform configuration and the player gave up.
inline constexpr int kExitConfigUnavailable = 1;
// Another copy of the launcher is updating it.
inline constexpr int kExitUpdatingElsewhere = 2;

class LauncherFlow : public LauncherEvents {
public:
    LauncherFlow(LauncherServices& services, LauncherViews& views);

    // Start-up up to the login window. False when the program must end without running its
    // event loop: the player gave up, the updater took over, another copy is updating.
    bool Start();
    // The login window on this configuration's login page: start-up's last step, and where
    // the front end's tests begin.
    void ShowLogin(const PlatformConfigData& platform);

    // LauncherEvents
    bool IsVerification(const std::string& address) const override;
    void VerificationReached(const std::string& address) override;
    void LinkClicked(LoginLink link) override;
    void RefreshAsked() override;
    void MovieAskedRefresh() override;
    void QuitAsked() override;
    void CloseRequested() override;

    // The exit sequence; runs once, whoever asks.
    void RunExitSequence(int exitCode);
    bool Ending() const { return m_bEnding; }
    int ExitCode() const { return m_nExitCode; }
    // True while a game window plays and no refresh is under way.
    bool GameLoaded() const { return m_bGameLoaded; }
    const PlatformConfigData& Platform() const { return m_platform; }

private:
    bool FetchPlatformConfig();
    // The update check with its window; false when the launcher must end after it.
    bool CheckForUpdate();
    void EnterGame();
    // Back to the page before the verification, or to the login page.
    void LeaveVerification();
    void ReloadAreaPage();
    void OpenInBrowser(const std::string& address);

    LauncherServices& m_services;
    LauncherViews& m_views;
    PlatformConfigData m_platform;
    // The last client configuration that was read: the game's session.
    ClientConfigData m_client;
    UpdateProgress m_updateProgress;
    std::chrono::steady_clock::time_point m_started;
    bool m_bLoginShown = false;
    bool m_bGameLoaded = false;
    // Counts game windows, so that an answer given to a window already replaced is dropped.
    std::uint64_t m_nGameWindows = 0;
    bool m_bEnding = false;
    int m_nExitCode = kExitNormal;
};

}  // namespace tavrin
