#include "flow/self_test_views.h"

#include "app/diagnostics.h"

namespace tavrin {

MessageAnswer SelfTestViews::Ask(const Message& message) {
    Diagnose("self-test: the launcher asked the player: %s", message.text.c_str());
    if (onBox) {
        onBox(message.text);
    }
    switch (message.kind) {
        case MessageKind::kOk:
            return MessageAnswer::kOk;
        case MessageKind::kYesNo:
            return MessageAnswer::kNo;
        case MessageKind::kRetryQuit:
            return MessageAnswer::kQuit;
        case MessageKind::kRetryCancel:
            break;
    }
    return MessageAnswer::kCancel;
}

void SelfTestViews::WaitForUpdateCheck(const std::function<void()>& check,
                                       UpdateProgress& progress) {
    m_inner.WaitForUpdateCheck(check, progress);
}

void SelfTestViews::ShowLoginWindow() {
    m_bLoginShown = true;
    m_inner.ShowLoginWindow();
}

void SelfTestViews::Navigate(const std::string& address) {
    m_inner.Navigate(address);
}

bool SelfTestViews::CanGoBack() {
    return m_inner.CanGoBack();
}

void SelfTestViews::GoBack() {
    m_inner.GoBack();
}

std::vector<platform::BrowserCookie> SelfTestViews::BrowserCookies() {
    return m_inner.BrowserCookies();
}

bool SelfTestViews::GamePlayerPresent(std::string& folder) {
    return m_inner.GamePlayerPresent(folder);
}

void SelfTestViews::OpenGameWindow(const ClientConfigData& config) {
    m_bGameOpened = true;
    m_inner.OpenGameWindow(config);
}

void SelfTestViews::FocusGame() {
    m_inner.FocusGame();
}

void SelfTestViews::OpenInBrowser(const std::string& address) {
    // Nothing leaves the self-test for the player's browser.
    Diagnose("self-test: the launcher would open %s in the browser", address.c_str());
}

void SelfTestViews::CloseWindows(int exitCode) {
    m_inner.CloseWindows(exitCode);
}

}  // namespace tavrin
