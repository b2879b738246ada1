#include "win/win_windows.h"

#include <atomic>
#include <optional>
#include <thread>

#include "app/program_paths.h"
#include "platform/file_system.h"
#include "update/update_worker.h"
#include "win/message_box.h"
#include "win/shell_open.h"
#include "win/update_window.h"
#include "win/win_text.h"

namespace tavrin::win {

namespace {

constexpr UINT kCheckEnded = WM_APP + 20;

}  // namespace

CWinWindows::CWinWindows(LauncherEvents& events, WebEngine& engine)
    : m_events(events), m_engine(engine) {}

CWinWindows::~CWinWindows() = default;

MessageAnswer CWinWindows::Ask(const Message& message) {
    HWND owner = nullptr;
    if (message.owner == MessageOwner::kLogin && m_login) {
        owner = m_login->Window();
    } else if (message.owner == MessageOwner::kGame && m_game) {
        owner = m_game->Window();
    }
    ++m_nOpenBoxes;
    const MessageAnswer answer = ShowMessage(owner, message);
    --m_nOpenBoxes;
    ReleaseRetired();
    return answer;
}

void CWinWindows::ReleaseRetired() {
    if (m_nOpenBoxes == 0) {
        m_retired.clear();
    }
}

void CWinWindows::WaitForUpdateCheck(const std::function<void()>& check, UpdateProgress& progress) {
    // The check runs on its own thread; this one keeps the windows' messages moving until
    // the check says it has ended, and shows the update window once it takes a while.
    const DWORD self = GetCurrentThreadId();
    // The message queue exists before the worker can post to it.
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    std::optional<std::thread> worker = StartUpdateThread([&check, self] {
        check();
        PostThreadMessageW(self, kCheckEnded, 0, 0);
    });
    if (!worker) {
        return;
    }
    const UINT_PTR showTimer = SetTimer(nullptr, 0, m_nUpdateWindowDelayMs, nullptr);
    std::unique_ptr<UpdateWindow> window;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == kCheckEnded) {
            break;
        }
        if (message.hwnd == nullptr && message.message == WM_TIMER && message.wParam == showTimer) {
            KillTimer(nullptr, showTimer);
            window = std::make_unique<UpdateWindow>(progress, m_scale);
            if (!window->Create()) {
                window.reset();
            }
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    KillTimer(nullptr, showTimer);
    worker->join();
}

void CWinWindows::ShowLoginWindow() {
    if (!m_login) {
        m_login = std::make_unique<LoginWindow>(m_events, m_engine, m_scale);
        if (!m_login->Create()) {
            // The pictures are built into the program: without them the program file is
            // damaged. Said, then the program ends.
            m_login.reset();
            ShowMessage(nullptr,
                        {MessageKind::kOk, "界面图片缺失，安装已损坏。\n请重新安装启动器。"});
            m_events.CloseRequested();
            return;
        }
    }
    m_login->Show(true);
    if (m_game) {
        m_game->Hide();
    }
}

void CWinWindows::Navigate(const std::string& address) {
    if (m_login && m_login->View() != nullptr) {
        m_login->View()->Navigate(address);
    }
}

bool CWinWindows::CanGoBack() {
    return m_login && m_login->View() != nullptr && m_login->View()->CanGoBack();
}

void CWinWindows::GoBack() {
    if (m_login && m_login->View() != nullptr) {
        m_login->View()->GoBack();
    }
}

std::vector<platform::BrowserCookie> CWinWindows::BrowserCookies() {
    if (m_login && m_login->View() != nullptr) {
        return m_login->View()->Cookies();
    }
    return {};
}

std::string CWinWindows::PlayerFolder() const {
    return m_engine.PlayerFolder().empty() ? GetModuleDir() + "ruffle" : m_engine.PlayerFolder();
}

bool CWinWindows::GamePlayerPresent(std::string& folder) {
    folder = PlayerFolder();
    return platform::IsExistingFile(folder + "\\ruffle.js");
}

void CWinWindows::OpenGameWindow(const ClientConfigData& config) {
    if (m_game) {
        m_game->Hide();
        m_retired.push_back(std::move(m_game));
        ReleaseRetired();
    }
    auto game = std::make_unique<GameWindow>(m_events, m_engine, config, m_scale);
    game->SetBrowser([this](const std::string& address) { OpenInBrowser(address); });
    game->SetMovieWatch(m_movieWatch);
    if (!game->Create()) {
        return;
    }
    m_game = std::move(game);
    if (m_login) {
        // Out of the task bar for the rest of the process: the game window has its own
        // button there from now on.
        m_login->Hide();
    }
    m_game->Show();
}

void CWinWindows::FocusGame() {
    if (m_game) {
        m_game->FocusPlayer();
    }
}

void CWinWindows::OpenInBrowser(const std::string& address) {
    if (!IsWebAddress(address)) {
        return;
    }
    if (m_browserHook) {
        m_browserHook(address);
        return;
    }
    OpenWebAddress(address);
}

void CWinWindows::CloseWindows(int exitCode) {
    if (m_game) {
        m_game->Hide();
        m_retired.push_back(std::move(m_game));
    }
    if (m_login) {
        m_login->Hide();
    }
    ReleaseRetired();
    PostQuitMessage(exitCode);
}

}  // namespace tavrin::win
