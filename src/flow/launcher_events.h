// What the windows report to the launcher's road: what the player or a page did. The
// windows know nothing else of the road; LauncherFlow decides what follows.
#pragma once

#include <string>

namespace tavrin {

// The login window's four link buttons.
enum class LoginLink { kOfficial, kRecharge, kForum, kService };

class LauncherEvents {
public:
    virtual ~LauncherEvents() = default;

    // True when a page at `address` is the verification: the login browser then reads the
    // address exactly as it asked for it and reports VerificationReached.
    virtual bool IsVerification(const std::string& address) const = 0;
    virtual void VerificationReached(const std::string& address) = 0;
    virtual void LinkClicked(LoginLink link) = 0;

    // The game window's refresh button or F5: asks first.
    virtual void RefreshAsked() = 0;
    // The movie's own GameRefresh: no question.
    virtual void MovieAskedRefresh() = 0;
    // The game window's close button: asks first.
    virtual void QuitAsked() = 0;
    // The login window's close button, Alt+F4, a window closed from outside: ends at once.
    virtual void CloseRequested() = 0;
};

}  // namespace tavrin
