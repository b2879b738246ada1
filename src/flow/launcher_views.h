// What the launcher's road asks of a front end: the windows, the boxes, the login browser and
// the wait for the update check. The front end draws and takes input; every decision of the
// road is made by LauncherFlow, which calls these and nothing else of the windows.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/config.h"
#include "platform/url_fetch.h"
#include "update/update_progress.h"

namespace tavrin {

// kRetryQuit: a failure the player can try again (重试) or end with (退出); kRetryCancel:
// one the player can try again or leave for now (取消), the launcher going on.
enum class MessageKind { kOk, kYesNo, kRetryQuit, kRetryCancel };
enum class MessageAnswer { kOk, kYes, kNo, kRetry, kQuit, kCancel };
// kUsual: the exclamation on OK boxes, the question mark on Yes/No boxes.
enum class MessageIcon { kUsual, kNone };
// The window a box belongs to: it stays over that window and blocks it.
enum class MessageOwner { kNone, kLogin, kGame };

// Error boxes (OK and Retry boxes with their exclamation) end with where the log is, for
// whoever helps the player: this label, then the file.
inline constexpr char kLogPlaceLabel[] = "记录文件（联系客服时请一并提供）：";
inline bool NamesTheLog(MessageKind kind, MessageIcon icon) {
    return icon == MessageIcon::kUsual && kind != MessageKind::kYesNo;
}

struct Message {
    MessageKind kind = MessageKind::kOk;
    std::string text;  // UTF-8
    MessageOwner owner = MessageOwner::kNone;
    MessageIcon icon = MessageIcon::kUsual;
};

class LauncherViews {
public:
    virtual ~LauncherViews() = default;

    // A box the player answers; the windows keep running (and reporting) while it is open.
    virtual MessageAnswer Ask(const Message& message) = 0;

    // Runs `check` off the window thread and returns once it has ended. A check that takes
    // long enough to be noticed shows the update window, which follows `progress` and whose
    // cancel goes there. A check that cannot be started is skipped.
    virtual void WaitForUpdateCheck(const std::function<void()>& check,
                                    UpdateProgress& progress) = 0;

    // Shows the login window (made on the first call), in the task bar and in front; the
    // game window, when there is one, is hidden.
    virtual void ShowLoginWindow() = 0;
    // The login browser.
    virtual void Navigate(const std::string& address) = 0;
    // True when there is a page before the current one to go back to; GoBack goes there.
    virtual bool CanGoBack() = 0;
    virtual void GoBack() = 0;
    // The cookies the login pages have set, for fetches on the player's session.
    virtual std::vector<platform::BrowserCookie> BrowserCookies() = 0;

    // False, with the folder it looks in, when the game's player is not installed.
    virtual bool GamePlayerPresent(std::string& folder) = 0;
    // A new game window playing the configuration's movie; the one before, if any, goes.
    // The login window leaves the screen and the task bar.
    virtual void OpenGameWindow(const ClientConfigData& config) = 0;
    // The keyboard back to the game's movie.
    virtual void FocusGame() = 0;

    // The player's own browser.
    virtual void OpenInBrowser(const std::string& address) = 0;

    // The exit sequence's part: every window off the screen and gone once no box is open
    // over it, and the event loop told to end with `exitCode`.
    virtual void CloseWindows(int exitCode) = 0;
};

}  // namespace tavrin
