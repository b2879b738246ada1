#include "win/self_test.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "app/app_globals.h"
#include "app/diagnostics.h"
#include "app/launcher_command.h"
#include "app/program_paths.h"
#include "flow/launcher_flow.h"
#include "flow/self_test_views.h"
#include "game/player_font.h"
#include "game/self_test_road.h"
#include "platform/system_paths.h"
#include "platform/temp_dir.h"
#include "win/screen_picture.h"
#include "win/ui_mailbox.h"
#include "win/win_app.h"
#include "win/win_windows.h"

namespace tavrin::win {

namespace {

constexpr UINT kPollMs = 200;

// More than one colour on the screen in `area` of `window` (all of it when empty).
bool DrawsSomething(HWND window, RECT area = {}) {
    if (window == nullptr || !IsWindowVisible(window)) {
        return false;
    }
    if (IsRectEmpty(&area)) {
        GetClientRect(window, &area);
    }
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&area), 2);
    return ShowsSomething(CaptureScreen(area));
}

// The launcher's road with the self-test's views between the flow and the windows.
struct Road {
    explicit Road(WebEngine& engine) : windows(flow, engine) {}
    SystemServices services;
    CWinWindows windows;
    SelfTestViews views{windows};
    LauncherFlow flow{services, views};
    bool movieStarted = false;
    std::string playerRequestHeaders;
    HWND thief = nullptr;
    int thiefPolls = 0;

    HWND Game() const { return windows.Game() != nullptr ? windows.Game()->Window() : nullptr; }

    // Another window takes the focus for a moment; then the game window has it again.
    void StealFocus() {
        thief = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 120,
                                80, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetForegroundWindow(thief);
        SetFocus(thief);
        thiefPolls = 3;
    }

    // As a player's key: through the system's input, to whatever has the focus.
    void PressKey() {
        if (thief != nullptr && --thiefPolls <= 0) {
            DestroyWindow(thief);
            thief = nullptr;
            SetForegroundWindow(Game());
            SetFocus(Game());
            return;
        }
        if (thief != nullptr) {
            return;
        }
        INPUT keys[2] = {};
        for (INPUT& key : keys) {
            key.type = INPUT_KEYBOARD;
            key.ki.wVk = 'Q';
        }
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, keys, sizeof(INPUT));
    }

    SelfTestFrontEnd FrontEnd() {
        SelfTestFrontEnd front;
        front.loginShown = [this] { return views.LoginShown(); };
        front.loginDrawn = [this] {
            // Where the page is: the window's own artwork around it does not count.
            const LoginWindow* login = windows.Login();
            return login != nullptr && DrawsSomething(login->Layer(), login->ViewBounds());
        };
        front.gameOpened = [this] { return views.GameOpened(); };
        front.movieStarted = [this] { return movieStarted; };
        front.playerRequestHeaders = [this](std::string& headers) {
            headers = playerRequestHeaders;
            return !headers.empty();
        };
        front.movieDrawn = [this] {
            const GameWindow* game = windows.Game();
            return game != nullptr && DrawsSomething(game->Window(), game->PlayerBounds());
        };
        front.stealFocus = [this] { StealFocus(); };
        front.pressKey = [this] { PressKey(); };
        return front;
    }
};

// Looks at the steps every kPollMs, between the window thread's other messages: a timer's
// message would wait while the engine keeps the queue busy.
class Ticker {
public:
    explicit Ticker(std::function<bool()> poll)
        : m_poll(std::move(poll)), m_thread([this] { Run(); }) {}
    ~Ticker() {
        m_bStop = true;
        m_thread.join();
    }
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;

private:
    void Run() {
        while (!m_bStop) {
            Sleep(kPollMs);
            m_mailbox.Post([this] {
                if (!m_bOver && !m_poll()) {
                    m_bOver = true;
                }
            });
        }
    }

    std::function<bool()> m_poll;
    UiMailbox m_mailbox;
    bool m_bOver = false;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

}  // namespace

int RunSelfTest(WebEngine& engine, int argc, char** argv) {
    std::string reportFile;
    if (!ParseSelfTestOptions(argc, argv, reportFile)) {
        return kExitUsage;
    }
    // Nothing of the player's: a data directory and log of its own, a profile of this run.
    g_strBaseName = ComputeBaseName(GetModulePath()) + "-self-test";
    SetDiagnosticsFile(DiagnosticsFileFor(platform::UserStateFolder(), g_strBaseName));
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    SelfTestRun run(reportFile);
    std::string whatToDo;
    if (!engine.Available(whatToDo)) {
        run.Header("engine=none");
        run.Fail(whatToDo);
        return run.Finish();
    }
    run.Header("engine=" + engine.Description());
    const std::string profile = platform::MakePrivateTempDir("tavrin-self-test-profile-");
    engine.SetDataFolder(profile);
    Road road(engine);
    SelfTestSite site(ReadSelfTestMovie(road.windows.PlayerFolder() + "\\self-test.swf", run));
    const std::string folder = PrepareSelfTestOperator(site, run);
    if (folder.empty()) {
        RemoveSelfTestOperator(profile);
        return run.Finish();
    }
    road.services.Configure(folder + "config.ini", g_strBaseName);
    road.windows.SetMovieWatch([&road](const PageMessage& message) {
        road.movieStarted = road.movieStarted || message.kind == "started";
    });
    AddSelfTestSteps(run, site, road.FrontEnd());
    road.views.onBox = [&run](const std::string& text) {
        run.Fail("the launcher asked the player: " + text);
    };
    engine.onPlayerRequest = [&road](const std::string& headers) {
        road.playerRequestHeaders = headers;
    };
    engine.onFailed = [&run, &road](const std::string& failure) {
        run.Fail(failure);
        road.flow.RunExitSequence(kExitNoWebEngine);
    };
    Ticker ticker([&run, &road] {
        if (run.Poll()) {
            return true;
        }
        road.flow.RunExitSequence(0);
        return false;
    });
    PreparePlayerFont(PlayerFontCacheFolder());
    if (road.flow.Start()) {
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    engine.onFailed = nullptr;
    engine.onPlayerRequest = nullptr;
    run.Fail("the launcher ended before the step");
    RemoveSelfTestOperator(folder);
    RemoveSelfTestOperator(profile);  // what the engine still holds stays, in the temp folder
    return run.Finish();
}

}  // namespace tavrin::win
