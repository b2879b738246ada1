#include "win/game_check.h"

#include <cstdio>
#include <memory>
#include <string>

#include "app/app_globals.h"
#include "app/launcher_command.h"
#include "app/program_paths.h"
#include "flow/flash_protocol.h"
#include "game/game_check.h"
#include "platform/file_system.h"
#include "platform/temp_dir.h"
#include "win/movie_player.h"
#include "win/screen_picture.h"
#include "win/win_text.h"
#include "win/window_class.h"

namespace tavrin::win {

namespace {

constexpr wchar_t kWindowClass[] = L"TavrinGameCheck";
constexpr UINT_PTR kStartTimer = 1;
constexpr UINT_PTR kPlayTimer = 2;
constexpr int kWidth = 800;
constexpr int kHeight = 600;

// The window the movie plays in; it ends the message loop when the check is over.
class CheckWindow {
public:
    CheckWindow(const GameCheckOptions& options, GameCheckReport& report)
        : m_options(options), m_report(report) {}
    ~CheckWindow() {
        if (m_hwnd != nullptr) {
            SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
            DestroyWindow(m_hwnd);
        }
    }
    CheckWindow(const CheckWindow&) = delete;
    CheckWindow& operator=(const CheckWindow&) = delete;

    HWND Create() {
        RegisterWindowClass(kWindowClass,
                            &MemberProc<CheckWindow, &CheckWindow::m_hwnd, &CheckWindow::Handle>,
                            static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        RECT frame{0, 0, kWidth, kHeight};
        AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
        CreateWindowExW(0, kWindowClass, L"tavrin --check-game", WS_OVERLAPPEDWINDOW, 40, 40,
                        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                        GetModuleHandleW(nullptr), this);
        ShowWindow(m_hwnd, SW_SHOWNORMAL);
        // A movie that has not started in its time does not run at all.
        SetTimer(m_hwnd, kStartTimer, kCheckStartSeconds * 1000, nullptr);
        return m_hwnd;
    }
    // The movie showed its first frame: it plays its time from here.
    void Started() {
        KillTimer(m_hwnd, kStartTimer);
        SetTimer(m_hwnd, kPlayTimer, m_options.seconds * 1000, nullptr);
    }
    // The page said the movie cannot be played: a moment for its last words.
    void Failed() { SetTimer(m_hwnd, kPlayTimer, 500, nullptr); }
    bool Drew() const { return m_bDrew; }

private:
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_TIMER && (wParam == kPlayTimer || !m_report.HasStarted())) {
            KillTimer(m_hwnd, kStartTimer);
            KillTimer(m_hwnd, kPlayTimer);
            if (wParam == kPlayTimer) {
                Look();
            }
            PostQuitMessage(0);
            return 0;
        }
        if (message == WM_CLOSE) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcW(m_hwnd, message, wParam, lParam);
    }

    // The look at the screen comes while the player still runs.
    void Look() {
        RECT area{};
        GetClientRect(m_hwnd, &area);
        MapWindowPoints(m_hwnd, nullptr, reinterpret_cast<POINT*>(&area), 2);
        const Picture shot = CaptureScreen(area);
        m_bDrew = ShowsSomething(shot);
        if (!m_options.screenshot.empty() && !SavePng(shot, WideFromAnsi(m_options.screenshot))) {
            std::fprintf(stderr, "tavrin: the screenshot could not be written to %s\n",
                         m_options.screenshot.c_str());
        }
    }

    HWND m_hwnd = nullptr;
    const GameCheckOptions& m_options;
    GameCheckReport& m_report;
    bool m_bDrew = false;
};

void Watch(const PageMessage& message, GameCheckReport& report, CheckWindow& window) {
    if (message.kind == "flashcall") {
        report.Called(FlashRequestName(message.request));
    } else if (message.kind == "fscommand") {
        report.Commanded(message.command);
    } else if (message.kind == "started") {
        report.Started(message.movie);
        window.Started();
    } else if (message.kind == "failed") {
        report.Failed(message.reason);
        window.Failed();
    } else if (message.kind == "console") {
        report.PlayerLine(message.level == "error", message.detail);
    }
}

}  // namespace

int RunGameCheck(WebEngine& engine, int argc, char** argv) {
    GameCheckOptions options;
    std::string error;
    if (!ParseGameCheckOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "tavrin: %s (tavrin --help says more)\n", error.c_str());
        return kExitUsage;
    }
    g_strBaseName = ComputeBaseName(GetModulePath());
    PrintCheckLine("movie", options.movie);
    PrintMovieFormat(options.movie);
    GameCheckReport report;
    std::string whatToDo;
    if (!engine.Available(whatToDo)) {
        report.Failed(whatToDo);
        return report.Finish(false);
    }
    // Nothing of the players' logins or saved games is touched: a profile for this run.
    const std::string profile = platform::MakePrivateTempDir("tavrin-check-");
    engine.SetDataFolder(profile);
    engine.onFailed = [&report](const std::string& failure) {
        report.Failed(failure);
        PostQuitMessage(0);
    };
    CheckWindow window(options, report);
    const HWND hwnd = window.Create();
    RECT bounds{};
    GetClientRect(hwnd, &bounds);
    std::unique_ptr<WebView> view = engine.CreateView(hwnd, bounds);
    std::unique_ptr<MoviePlayer> player;
    if (view) {
        MoviePlayer::Host host;
        host.watch = [&](const PageMessage& message) { Watch(message, report, window); };
        host.socketSettled = [&report](const GameRelay::Answer& answer) {
            report.SocketAnswered(answer.endpoint, SocketOutcome(answer));
        };
        player = std::make_unique<MoviePlayer>(*view, host);
        player->ReportPlayerConsole();
        ClientConfigData config;
        config.mainFlash = options.movie;
        config.flashVars = options.flashVars;
        config.sockets = options.sockets;
        player->Play(config);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    } else {
        report.Failed("the web engine made no view");
    }
    engine.onFailed = nullptr;
    player.reset();
    view.reset();
    if (!profile.empty()) {  // what the engine still holds stays, in the temp folder
        platform::DeleteDirContents(profile);
        platform::RemoveDirectoryEntry(profile);
    }
    return report.Finish(window.Drew());
}

}  // namespace tavrin::win
