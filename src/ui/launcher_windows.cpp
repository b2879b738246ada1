#include "ui/launcher_windows.h"

#include <QCoreApplication>
#include <QDir>

#include "ui/browser_profile.h"
#include "ui/game_window.h"
#include "ui/login_window.h"
#include "ui/message_box.h"
#include "ui/ruffle_scheme.h"
#include "ui/shell_open.h"
#include "ui/update_window.h"

namespace tavrin::ui {

CLauncherWindows::CLauncherWindows(LauncherEvents& events) : m_events(events) {}

CLauncherWindows::~CLauncherWindows() {
    DeleteWindows();
}

CTavrinDlg* CLauncherWindows::LoginWindow() const {
    return m_pLoginDlg;
}

CFlashPayer* CLauncherWindows::GameWindow() const {
    return m_pGameWnd;
}

void CLauncherWindows::DeleteWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete m_pGameWnd;
    delete m_pLoginDlg;
}

MessageAnswer CLauncherWindows::Ask(const Message& message) {
    const QString text = QString::fromStdString(message.text);
    if (message.owner == MessageOwner::kGame && m_pGameWnd != nullptr) {
        // The window counts its open boxes: it is not deleted under one.
        return m_pGameWnd->Ask(text, message.kind, message.icon);
    }
    QWidget* over = message.owner == MessageOwner::kLogin ? m_pLoginDlg.data() : nullptr;
    return ShowMessage(over, text, message.kind, message.icon);
}

void CLauncherWindows::WaitForUpdateCheck(const std::function<void()>& check,
                                          UpdateProgress& progress) {
    RunUpdateWithWindow(check, progress);
}

void CLauncherWindows::ShowLoginWindow() {
    if (m_pLoginDlg == nullptr) {
        m_pLoginDlg = new CTavrinDlg(m_events);
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

void CLauncherWindows::Navigate(const std::string& address) {
    if (m_pLoginDlg != nullptr) {
        m_pLoginDlg->ControlLayer().Navigate(address);
    }
}

bool CLauncherWindows::CanGoBack() {
    return m_pLoginDlg != nullptr && m_pLoginDlg->ControlLayer().View()->CanGoBackToPage();
}

void CLauncherWindows::GoBack() {
    if (m_pLoginDlg != nullptr) {
        m_pLoginDlg->ControlLayer().View()->GoBack();
    }
}

std::vector<platform::BrowserCookie> CLauncherWindows::BrowserCookies() {
    return ui::BrowserCookies();
}

bool CLauncherWindows::GamePlayerPresent(std::string& folder) {
    if (CFlashPayer::CheckFlashVersion()) {
        return true;
    }
    folder = QDir::toNativeSeparators(RuffleFolder()).toStdString();
    return false;
}

void CLauncherWindows::OpenGameWindow(const ClientConfigData& config) {
    if (m_pGameWnd != nullptr) {
        // Taken away after the current event, which may be one of its own.
        m_pGameWnd->Retire();
    }
    m_pGameWnd = new CFlashPayer(m_events, config);
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

void CLauncherWindows::FocusGame() {
    if (m_pGameWnd != nullptr) {
        m_pGameWnd->FlashControl()->setFocus();
    }
}

void CLauncherWindows::OpenInBrowser(const std::string& address) {
    OpenInDefaultBrowser(address);
}

void CLauncherWindows::CloseWindows(int exitCode) {
    if (m_pGameWnd != nullptr) {
        m_pGameWnd->Retire();
    }
    if (m_pLoginDlg != nullptr) {
        // Taken away after the current event: this may run inside one of its handlers.
        m_pLoginDlg->hide();
        m_pLoginDlg->deleteLater();
    }
    // Ends a running event loop at its next turn; during start-up the flow says not to
    // enter it.
    QCoreApplication::exit(exitCode);
}

}  // namespace tavrin::ui
