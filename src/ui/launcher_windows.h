// CLauncherWindows: the Qt front end of the launcher's road. It holds the login and game
// windows and does what LauncherFlow tells it; the windows report to the flow directly.
// Only this file knows both windows: neither includes the other.
#pragma once

#include <QObject>
#include <QPointer>

#include "flow/launcher_events.h"
#include "flow/launcher_views.h"

namespace tavrin::ui {

class CFlashPayer;
class CTavrinDlg;

class CLauncherWindows : public QObject, public LauncherViews {
    Q_OBJECT

public:
    // The windows report to `events`, which must outlive them.
    explicit CLauncherWindows(LauncherEvents& events);
    ~CLauncherWindows() override;

    // Null when there is none (yet, or any more).
    CTavrinDlg* LoginWindow() const;
    CFlashPayer* GameWindow() const;
    // Deletes every window now, replaced ones still waiting included: pages and views must
    // be gone before the browser profile is released.
    void DeleteWindows();

    // LauncherViews
    MessageAnswer Ask(const Message& message) override;
    void WaitForUpdateCheck(const std::function<void()>& check, UpdateProgress& progress) override;
    void ShowLoginWindow() override;
    void Navigate(const std::string& address) override;
    bool CanGoBack() override;
    void GoBack() override;
    std::vector<platform::BrowserCookie> BrowserCookies() override;
    bool GamePlayerPresent(std::string& folder) override;
    void OpenGameWindow(const ClientConfigData& config) override;
    void FocusGame() override;
    void OpenInBrowser(const std::string& address) override;
    void CloseWindows(int exitCode) override;

signals:
    // A new game window is on the screen.
    void gameWindowOpened();

private:
    LauncherEvents& m_events;
    QPointer<CTavrinDlg> m_pLoginDlg;
    QPointer<CFlashPayer> m_pGameWnd;
};

}  // namespace tavrin::ui
