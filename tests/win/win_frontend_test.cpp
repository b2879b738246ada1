// The Windows front end under Wine: its boxes, text, pictures and the launcher's road through
// real Win32 windows, with the stand-in engine playing the pages' part.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <utility>

#include "app/app_globals.h"
#include "app/diagnostics.h"
#include "app/program_paths.h"
#include "flow/launcher_flow.h"
#include "flow/login_rules.h"
#include "support/http_peer.h"
#include "support/temp_dir.h"
#include "win/message_box.h"
#include "win/picture.h"
#include "win/shell_open.h"
#include "win/stand_in_engine.h"
#include "win/webview2_engine.h"
#include "win/webview2_view.h"
#include "win/win_app.h"
#include "win/win_text.h"
#include "win/win_windows.h"
#include "win_test_support.h"

namespace tavrin::win {
namespace {

using test::HttpPeer;
using test::HttpRequest;
using test::MakeReply;

TEST(WinMessageBox, EachKindHasItsButtonsIconAndAnswers) {
    const struct {
        MessageKind kind;
        MessageIcon icon;
        UINT style;
        int pressed;
        MessageAnswer answer;
    } cases[] = {
        {MessageKind::kOk, MessageIcon::kUsual, MB_OK | MB_ICONEXCLAMATION, IDOK,
         MessageAnswer::kOk},
        {MessageKind::kYesNo, MessageIcon::kUsual, MB_YESNO | MB_ICONQUESTION, IDYES,
         MessageAnswer::kYes},
        {MessageKind::kYesNo, MessageIcon::kNone, MB_YESNO, IDCANCEL, MessageAnswer::kNo},
        {MessageKind::kRetryQuit, MessageIcon::kUsual, MB_RETRYCANCEL | MB_ICONEXCLAMATION,
         IDCANCEL, MessageAnswer::kQuit},
        {MessageKind::kRetryCancel, MessageIcon::kUsual, MB_RETRYCANCEL | MB_ICONEXCLAMATION,
         IDRETRY, MessageAnswer::kRetry},
        {MessageKind::kRetryCancel, MessageIcon::kUsual, MB_RETRYCANCEL | MB_ICONEXCLAMATION,
         IDCANCEL, MessageAnswer::kCancel},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BoxStyle(c.kind, c.icon), c.style) << static_cast<int>(c.kind);
        EXPECT_EQ(AnswerFor(c.kind, c.pressed), c.answer) << static_cast<int>(c.kind);
    }
}

// A real box: the player reads Chinese on its buttons, and a Retry/Quit box's other button is
// 退出, which ends the program.
TEST(WinMessageBox, ARetryQuitBoxSaysQuitAndItsAnswerIsQuit) {
    g_strBaseName = "tavrin_win_tests";
    std::wstring retry;
    std::wstring quit;
    std::thread player([&] {
        const HWND box = WaitForWindow(L"#32770", L"tavrin_win_tests");
        wchar_t text[32] = {};
        GetDlgItemTextW(box, IDRETRY, text, 32);
        retry = text;
        GetDlgItemTextW(box, IDCANCEL, text, 32);
        quit = text;
        PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    });
    const MessageAnswer answer =
        ShowMessage(nullptr, {MessageKind::kRetryQuit, "配置文件读取失败！"});
    player.join();
    EXPECT_EQ(answer, MessageAnswer::kQuit);
    EXPECT_EQ(Utf8FromWide(retry), "重试");
    EXPECT_EQ(Utf8FromWide(quit), "退出");
}

// The lane runs with the Chinese code page: names the core keeps in GBK and texts it keeps
// in UTF-8 reach the windows as the same characters.
TEST(WinText, ChineseFromEitherEncodingIsTheSameText) {
    const std::string utf8 = "启动器";
    EXPECT_EQ(Utf8FromWide(WideFromUtf8(utf8)), utf8);
    EXPECT_EQ(WideFromUtf8(utf8), std::wstring(L"\u542f\u52a8\u5668"));
    ASSERT_EQ(GetACP(), 936u);
    EXPECT_EQ(WideFromAnsi("\xc6\xf4\xb6\xaf\xc6\xf7"), WideFromUtf8(utf8));
}

// What the engine's view decides by itself: whose request is the player page's, and the
// answers of the login page's `window.external`.
TEST(WinWebView2, OriginsAndTheLoginPagesCallsAreAnsweredAsOnLinux) {
    const std::pair<const char*, const char*> origins[] = {
        {"http://Game.Example.com:80/a.swf?x=1", "http://game.example.com"},
        {"https://h.test:443", "https://h.test"},
        {"http://127.0.0.1:8080/m.swf", "http://127.0.0.1:8080"},
        {"file:///C:/game.swf", ""},
        {"game.swf", ""},
    };
    for (const auto& [address, origin] : origins) {
        EXPECT_EQ(OriginOf(address), origin) << address;
    }
    const std::pair<const char*, const char*> calls[] = {
        {R"({"method":"invoke_enterroom","args":["12"]})", "true"},
        {R"({"method":"invoke_enterroom","args":["4294967296"]})", "error"},
        {R"({"method":"invoke_inlineurl","args":["http://x.test/"]})", "true"},
        {R"({"method":"designer-state"})", R"({"links":false,"pointer":false})"},
        {"not json", "false"},
    };
    for (const auto& [request, answer] : calls) {
        EXPECT_EQ(AnswerExternalCall(request), answer) << request;
    }
}

TEST(WinPictures, TheLoginPictureDecodesWithItsShapeAndItsSharpVariant) {
    const Picture picture = LoadResourcePicture(146, "png");
    ASSERT_FALSE(picture.IsNull());
    EXPECT_EQ(picture.width, 862);
    EXPECT_EQ(picture.height, 543);
    // Cut out at the bottom-right corner, solid in the middle.
    EXPECT_EQ(picture.pixels.back() >> 24, 0u);
    EXPECT_EQ(picture.pixels[static_cast<std::size_t>(300 * picture.width + 400)] >> 24, 255u);
    const Picture sharp = LoadResourcePicture(146, "png", 2.0);
    EXPECT_EQ(sharp.width, 2 * 862);
    // At 150 % the finer picture, resampled to the screen's pixels, keeps its shape.
    const Picture between = LoadScaledPicture(146, "png", 1.5);
    EXPECT_EQ(between.width, 1293);
    EXPECT_EQ(between.height, 815);
    EXPECT_EQ(between.pixels.back() >> 24, 0u);
    EXPECT_EQ(between.pixels[static_cast<std::size_t>(450 * between.width + 600)] >> 24, 255u);
    EXPECT_TRUE(LoadResourcePicture(999, "png").IsNull());
    const unsigned char notAPicture[] = "GIF? no";
    EXPECT_TRUE(DecodePicture(notAPicture, sizeof notAPicture).IsNull());
}

class WinRoad : public ::testing::Test {
protected:
    WinRoad()
        : m_peer([this](const HttpRequest& request) {
              if (request.target.rfind("/config", 0) == 0) {
                  return MakeReply(
                      200, "<c><url minMainPage=\"" + m_peer.Url("/login") + "\" officialUrl=\"" +
                               m_peer.Url("/official") +
                               "\" bbsUrl=\"file:///etc/passwd\" szVerify=\"/verify\"/></c>");
              }
              return MakeReply(200, "<c><clientConfig title=\"双线1区\" isOpen=\"1\" mainFlash=\"" +
                                        m_peer.Url("/m.swf") + "\" area_url=\"" +
                                        m_peer.Url("/area") + "\"/></c>");
          }) {}

    void SetUp() override {
        g_strBaseName = "tavrin_win_tests";
        m_tmp.Write("config.ini", "[config]\r\nconfigUrl=" + m_peer.Url("/config?p=") + "\r\n");
        m_services.Configure(m_tmp / "config.ini", g_strBaseName);
        SetMessageBoxHook([this](const BoxRequest& request) {
            m_boxes.push_back(Utf8FromWide(request.text));
            m_logFiles.push_back(request.logFile);
            return m_answer;
        });
    }
    void TearDown() override { SetMessageBoxHook({}); }

    // Start-up up to the login window, the player's files in place.
    void StartUp(WinLauncher& launcher) {
        launcher.services.Configure(m_tmp / "config.ini", g_strBaseName);
        m_tmp.Write("ruffle/ruffle.js", "// the player");
        launcher.windows.SetPlayerFolder(m_tmp / "ruffle");
        ASSERT_TRUE(launcher.flow.Start());
    }

    // The exit code the message loop would end with, once the flow has ended it.
    int QuitCode() {
        MSG message;
        return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)
                   ? static_cast<int>(message.wParam)
                   : -1;
    }

    HttpPeer m_peer;
    test::TempDir m_tmp;
    SystemServices m_services;
    StandInEngine m_engine;
    std::vector<std::string> m_boxes;
    std::vector<std::wstring> m_logFiles;  // each box's log place
    MessageAnswer m_answer = MessageAnswer::kOk;
};

TEST_F(WinRoad, TheLoginWindowShowsTheLoginPageAndAVerificationOpensTheGame) {
    WinLauncher launcher(m_engine);
    StartUp(launcher);
    LoginWindow* login = launcher.windows.Login();
    ASSERT_NE(login, nullptr);
    EXPECT_TRUE(IsWindowVisible(login->Window()));
    EXPECT_TRUE(GetWindowLongPtrW(login->Window(), GWL_EXSTYLE) & WS_EX_LAYERED);
    RECT window;
    RECT layer;
    GetWindowRect(login->Window(), &window);
    GetWindowRect(login->Layer(), &layer);
    EXPECT_EQ(window.right - window.left, 862);
    EXPECT_EQ(window.bottom - window.top, 543);
    EXPECT_EQ(layer.left - window.left, kControlLayerBox.left);
    EXPECT_EQ(layer.top - window.top, kControlLayerBox.top);
    EXPECT_EQ(login->View()->Location(), m_peer.Url("/login"));

    // The page's session, then its way to the verification address.
    auto* view = static_cast<StandInView*>(login->View());
    platform::BrowserCookie session;
    session.name = "sid";
    session.value = "s3cret";
    session.domain = "127.0.0.1";
    view->cookies = {session};
    view->Navigate(m_peer.Url("/verify?u=1"));
    ASSERT_TRUE(PumpUntil([&] { return launcher.windows.Game() != nullptr; }));
    GameWindow* game = launcher.windows.Game();
    EXPECT_TRUE(IsWindowVisible(game->Window()));
    EXPECT_FALSE(IsWindowVisible(login->Window()));
    wchar_t caption[64] = {};
    GetWindowTextW(game->Window(), caption, 64);
    EXPECT_EQ(Utf8FromWide(caption), "tavrin_win_tests(双线1区)");
    EXPECT_EQ(game->Player()->Location(), m_peer.Url("/m.swf"));
    EXPECT_EQ(view->Location(), "about:blank");
    const std::vector<HttpRequest> requests = m_peer.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].target, "/verify?u=1");
    EXPECT_EQ(requests[1].headers.at("cookie"), "sid=s3cret");

    // Closing the game window from outside ends the program at once.
    SendMessageW(game->Window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(launcher.flow.Ending());
    EXPECT_EQ(QuitCode(), kExitNormal);
    EXPECT_TRUE(m_boxes.empty());
}

// What the screen shows at a point, as 0xRRGGBB.
unsigned ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

// The picture's pixel at a point, as 0xRRGGBB (opaque pixels only).
unsigned PicturePixel(const Picture& picture, int x, int y) {
    return picture.pixels[static_cast<std::size_t>(y) * picture.width + x] & 0xFFFFFFu;
}

// The login picture is on the screen as it is drawn, and the control layer shows the picture
// through everywhere but on its buttons and its browser; at 200 % the same places, from the
// finer picture.
TEST_F(WinRoad, TheLoginWindowShowsItsPictureThroughItsLayerAtEachScale) {
    for (const double scale : {1.0, 2.0}) {
        WinLauncher launcher(m_engine);
        launcher.windows.SetScale(scale);
        StartUp(launcher);
        LoginWindow* login = launcher.windows.Login();
        RECT at;
        RECT layer;
        GetWindowRect(login->Window(), &at);
        GetWindowRect(login->Layer(), &layer);
        EXPECT_EQ(at.right - at.left, Scaled(862, scale)) << scale;
        EXPECT_EQ(at.bottom - at.top, Scaled(543, scale)) << scale;
        EXPECT_EQ(layer.left - at.left, Scaled(kControlLayerBox.left, scale)) << scale;
        EXPECT_EQ(login->Button(LoginButtonId::kOfficial)->Width(), Scaled(86, scale)) << scale;
        PumpUntil([] { return false; }, std::chrono::milliseconds(500));
        const Picture picture = LoadResourcePicture(146, "png", scale);
        ASSERT_EQ(picture.width, at.right - at.left) << scale;
        const struct {
            const char* where;
            int x;
            int y;
        } opaque[] = {
            {"the logo", 60, 30},
            {"the picture beside the browser, under the layer", 40, 300},
            {"the picture above the browser, under the layer", 300, 120},
        };
        for (const auto& p : opaque) {
            const int x = Scaled(p.x, scale);
            const int y = Scaled(p.y, scale);
            ASSERT_EQ(picture.pixels[static_cast<std::size_t>(y) * picture.width + x] >> 24, 255u)
                << p.where;
            EXPECT_EQ(ScreenPixel(at.left + x, at.top + y), PicturePixel(picture, x, y))
                << p.where << " at " << scale;
        }
        // The browser's page is where the layout puts it.
        EXPECT_EQ(ScreenPixel(layer.left + Scaled(kLoginViewBox.left + 10, scale),
                              layer.top + Scaled(kLoginViewBox.top + 10, scale)),
                  0xFFFFFFu)
            << scale;
        launcher.flow.CloseRequested();
        QuitCode();
    }
}

// Presses and lets go of an image button in its middle, as the pointer would.
void Click(CRedrawButton* button) {
    const LPARAM middle = MAKELPARAM(button->Width() / 2, button->Height() / 2);
    SendMessageW(button->Window(), WM_MOUSEMOVE, 0, middle);
    SendMessageW(button->Window(), WM_LBUTTONDOWN, MK_LBUTTON, middle);
    SendMessageW(button->Window(), WM_LBUTTONUP, 0, middle);
}

SIZE SizeOf(HWND window) {
    RECT place;
    GetWindowRect(window, &place);
    return {place.right - place.left, place.bottom - place.top};
}

TEST_F(WinRoad, TheGameWindowSwitchesItsTwoSizesSizesFromItsBordersAndAsksFirst) {
    WinLauncher launcher(m_engine);
    StartUp(launcher);
    launcher.windows.Login()->View()->Navigate(m_peer.Url("/verify?u=1"));
    ASSERT_TRUE(PumpUntil([&] { return launcher.windows.Game() != nullptr; }));
    GameWindow* game = launcher.windows.Game();
    const Rect large = PlaceFrame(FrameChoice::kLarge, PrimaryScreen()).rect;
    const Rect small = PlaceFrame(FrameChoice::kSmall, PrimaryScreen()).rect;
    EXPECT_EQ(SizeOf(game->Window()).cx, large.Width());
    EXPECT_EQ(SizeOf(game->Window()).cy, large.Height());
    EXPECT_TRUE(IsWindowVisible(game->Button(kRestoreButtonId)->Window()));
    EXPECT_FALSE(IsWindowVisible(game->Button(kMaximiseButtonId)->Window()));

    Click(game->Button(kRestoreButtonId));
    EXPECT_EQ(SizeOf(game->Window()).cx, small.Width());
    EXPECT_EQ(SizeOf(game->Window()).cy, small.Height());
    EXPECT_TRUE(IsWindowVisible(game->Button(kMaximiseButtonId)->Window()));
    // The close button sits in the top-right corner of the small frame, sizing in the
    // bottom-right one.
    RECT close;
    GetWindowRect(game->Button(kCloseButtonId)->Window(), &close);
    RECT frame;
    GetWindowRect(game->Window(), &frame);
    EXPECT_EQ(frame.right - close.right, 2);
    EXPECT_EQ(SendMessageW(game->Window(), WM_NCHITTEST, 0,
                           MAKELPARAM(frame.right - 2, frame.bottom - 2)),
              HTBOTTOMRIGHT);

    // Refresh and quit ask first; No leaves the game as it is.
    Click(game->Button(kRefreshButtonId));
    SendMessageW(game->Window(), WM_KEYDOWN, VK_F5, 0);
    Click(game->Button(kCloseButtonId));
    EXPECT_EQ(m_boxes,
              (std::vector<std::string>{"是否刷新游戏?", "是否刷新游戏?", "是否退出游戏?"}));
    EXPECT_FALSE(launcher.flow.Ending());
    m_answer = MessageAnswer::kYes;
    Click(game->Button(kCloseButtonId));
    EXPECT_TRUE(launcher.flow.Ending());
    EXPECT_EQ(QuitCode(), kExitNormal);
}

// The player page is the shared one with the program's own scripts; the movie's calls and
// commands, its full screen and the keys its page gets come back through the stand-in page.
TEST_F(WinRoad, TheMoviesPageCallsCommandsAndKeysReachTheLauncher) {
    WinLauncher launcher(m_engine);
    StartUp(launcher);
    launcher.windows.Login()->View()->Navigate(m_peer.Url("/verify?u=1"));
    ASSERT_TRUE(PumpUntil([&] { return launcher.windows.Game() != nullptr; }));
    GameWindow* game = launcher.windows.Game();
    auto* page = static_cast<StandInView*>(game->Player());
    EXPECT_EQ(page->Location(), m_peer.Url("/m.swf"));
    for (const std::string& part :
         {"\"movie\":\"" + m_peer.Url("/m.swf") + "\"", std::string("RufflePlayer.newest()"),
          std::string("\"bridge\":\"https://player.stand-in.invalid/bridge/")}) {
        EXPECT_NE(page->playerPage.find(part), std::string::npos) << part;
    }

    const auto send = [&](const std::string& json) {
        std::string answer = "(none)";
        page->onPageMessage(json, [&](const std::string& a) { answer = a; });
        return answer;
    };
    const std::string memory =
        send(R"({"kind":"flashcall","request":"<invoke name=\"GetSysMem\" returntype=\"xml\"/>"})");
    EXPECT_EQ(memory.rfind("<string>", 0), 0u) << memory;
    EXPECT_NE(memory.find(','), std::string::npos) << memory;
    EXPECT_EQ(send(R"({"kind":"flashcall","request":"<invoke name=\"Other\"/>"})"), "");
    // A socket's answer comes from the relay's thread, on this one.
    auto socket = std::make_shared<std::string>();
    page->onPageMessage(R"({"kind":"socket","url":"ws://127.0.0.1:1/nowhere"})",
                        [socket](const std::string& a) { *socket = a; });
    ASSERT_TRUE(PumpUntil([&] { return !socket->empty(); }));
    EXPECT_EQ(*socket, R"({"error":"not a game server of this game"})");

    // Full screen covers the screen without the frame's buttons; Esc in the page leaves it.
    RECT before;
    GetWindowRect(game->Window(), &before);
    page->onFullScreen(true);
    EXPECT_EQ(SizeOf(game->Window()).cx, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_FALSE(IsWindowVisible(game->Button(kCloseButtonId)->Window()));
    SendMessageW(page->Window(), WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(PumpUntil([&] { return !game->FullScreen(); }));
    EXPECT_EQ(SizeOf(game->Window()).cx, before.right - before.left);
    EXPECT_TRUE(IsWindowVisible(game->Button(kCloseButtonId)->Window()));
    EXPECT_FALSE(IsWindowVisible(game->Button(kMaximiseButtonId)->Window()));

    // Back from the task bar the movie lays out its stage again.
    ShowWindow(game->Window(), SW_MINIMIZE);
    ShowWindow(game->Window(), SW_RESTORE);
    ASSERT_EQ(page->scripts.size(), 1u);
    EXPECT_NE(page->scripts[0].find("stageResize"), std::string::npos);

    // F5 in the page asks; the movie's own GameRefresh goes back to the area page at once.
    SendMessageW(page->Window(), WM_KEYDOWN, VK_F5, 0);
    ASSERT_TRUE(PumpUntil([&] { return !m_boxes.empty(); }));
    EXPECT_EQ(m_boxes, std::vector<std::string>{"是否刷新游戏?"});
    EXPECT_EQ(send(R"({"kind":"fscommand","command":"GameRefresh","args":""})"), "");
    LoginWindow* login = launcher.windows.Login();
    ASSERT_TRUE(
        PumpUntil([&] { return login->View()->Location().rfind(m_peer.Url("/area?v="), 0) == 0; }));
    EXPECT_EQ(m_boxes.size(), 1u);
}

// At 200 % the game window keeps its logical geometry in twice the pixels, from the finer
// pictures, and sizes from the same logical borders.
TEST_F(WinRoad, AtTwiceTheScaleTheWindowsKeepTheirGeometryAndFollowAMoveToAnother) {
    WinLauncher launcher(m_engine);
    launcher.windows.SetScale(2.0);
    StartUp(launcher);
    launcher.windows.Login()->View()->Navigate(m_peer.Url("/verify?u=1"));
    ASSERT_TRUE(PumpUntil([&] { return launcher.windows.Game() != nullptr; }));
    GameWindow* game = launcher.windows.Game();
    const ScreenMetrics screen = PrimaryScreen();
    const Rect large =
        PlaceFrame(FrameChoice::kLarge, {screen.screenWidth / 2, screen.workAreaBottom / 2}).rect;
    EXPECT_EQ(SizeOf(game->Window()).cx, 2 * large.Width());
    EXPECT_EQ(SizeOf(game->Window()).cy, 2 * large.Height());
    RECT close;
    GetWindowRect(game->Button(kCloseButtonId)->Window(), &close);
    RECT frame;
    GetWindowRect(game->Window(), &frame);
    EXPECT_EQ(close.right - close.left, 2 * 27);
    EXPECT_EQ(frame.right - close.right, 2 * 2);
    EXPECT_EQ(SendMessageW(game->Window(), WM_NCHITTEST, 0,
                           MAKELPARAM(frame.right - 3, frame.bottom - 3)),
              HTBOTTOMRIGHT);
    EXPECT_EQ(
        SendMessageW(game->Window(), WM_NCHITTEST, 0, MAKELPARAM(frame.left + 300, frame.top + 30)),
        HTCLIENT);

    // Moved to a screen at 100 %: the same logical size in its pixels, from the normal
    // pictures, for both windows.
    RECT half{frame.left, frame.top, frame.left + large.Width(), frame.top + large.Height()};
    SendMessageW(game->Window(), WM_DPICHANGED, MAKEWPARAM(96, 96),
                 reinterpret_cast<LPARAM>(&half));
    EXPECT_EQ(SizeOf(game->Window()).cx, large.Width());
    GetWindowRect(game->Button(kCloseButtonId)->Window(), &close);
    GetWindowRect(game->Window(), &frame);
    EXPECT_EQ(close.right - close.left, 27);
    EXPECT_EQ(frame.right - close.right, 2);
    LoginWindow* login = launcher.windows.Login();
    RECT place{0, 0, 862, 543};
    SendMessageW(login->Window(), WM_DPICHANGED, MAKEWPARAM(96, 96),
                 reinterpret_cast<LPARAM>(&place));
    EXPECT_EQ(SizeOf(login->Window()).cx, 862);
    EXPECT_EQ(SizeOf(login->Layer()).cx, kControlLayerBox.width);
    RECT button;
    GetWindowRect(login->Button(LoginButtonId::kClose)->Window(), &button);
    RECT layer;
    GetWindowRect(login->Layer(), &layer);
    EXPECT_EQ(button.left - layer.left, kLoginButtons.back().x);
    launcher.flow.CloseRequested();
    QuitCode();
}

// The control layer's buttons, pressed with the pointer: links open in the player's browser
// (web addresses only), minimise, close.
TEST_F(WinRoad, TheLoginButtonsShowThePointerAndDoTheirWork) {
    WinLauncher launcher(m_engine);
    launcher.services.Configure(m_tmp / "config.ini", g_strBaseName);
    std::vector<std::string> opened;
    launcher.windows.SetBrowserHook([&](const std::string& address) { opened.push_back(address); });
    ASSERT_TRUE(launcher.flow.Start());
    LoginWindow* login = launcher.windows.Login();
    const auto press = [](CRedrawButton* button) {
        const LPARAM middle = MAKELPARAM(button->Width() / 2, button->Height() / 2);
        SendMessageW(button->Window(), WM_MOUSEMOVE, 0, middle);
        const ButtonState hovered = button->CurrentState();
        SendMessageW(button->Window(), WM_LBUTTONDOWN, MK_LBUTTON, middle);
        const ButtonState pressed = button->CurrentState();
        SendMessageW(button->Window(), WM_LBUTTONUP, 0, middle);
        return std::make_pair(hovered, pressed);
    };
    CRedrawButton* official = login->Button(LoginButtonId::kOfficial);
    ASSERT_NE(official, nullptr);
    EXPECT_EQ(official->Width(), 86);
    EXPECT_EQ(press(official), std::make_pair(kStateHover, kStatePressed));
    press(login->Button(LoginButtonId::kForum));     // not a web address
    press(login->Button(LoginButtonId::kRecharge));  // none configured
    EXPECT_EQ(opened, std::vector<std::string>{m_peer.Url("/official")});

    press(login->Button(LoginButtonId::kMinimise));
    EXPECT_TRUE(PumpUntil([&] { return IsIconic(login->Window()) != FALSE; }));
    EXPECT_FALSE(launcher.flow.Ending());
    press(login->Button(LoginButtonId::kClose));
    EXPECT_TRUE(launcher.flow.Ending());
    EXPECT_EQ(QuitCode(), kExitNormal);
}

// A check that takes a while shows the update window; its cancel reaches the check, which
// then ends, and the window goes with it.
TEST_F(WinRoad, ASlowUpdateCheckShowsItsWindowWhoseCancelReachesTheCheck) {
    WinLauncher launcher(m_engine);
    launcher.windows.SetUpdateWindowDelay(50);
    launcher.windows.SetScale(2.0);
    UpdateProgress progress;
    std::wstring title;
    RECT place{};
    bool cancelled = false;
    launcher.windows.WaitForUpdateCheck(
        [&] {
            // The check's side: it waits for the window, then for the player's cancel.
            const HWND window = WaitForWindow(L"TavrinUpdate", nullptr);
            if (window == nullptr) {
                return;
            }
            wchar_t text[64] = {};
            GetWindowTextW(window, text, 64);
            title = text;
            GetWindowRect(window, &place);
            PostMessageW(FindWindowExW(window, nullptr, L"BUTTON", nullptr), BM_CLICK, 0, 0);
            for (int i = 0; i < 3000 && !progress.Cancelled(); ++i) {
                Sleep(10);
            }
            cancelled = progress.Cancelled();
        },
        progress);
    EXPECT_EQ(Utf8FromWide(title), "tavrin_win_tests 更新");
    EXPECT_EQ(place.right - place.left, 2 * 400);  // at 200 %
    EXPECT_EQ(place.bottom - place.top, 2 * 150);
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(FindWindowW(L"TavrinUpdate", nullptr), nullptr);
}

// Without the engine there is no login page and no game: the player learns what to do, and
// the program ends before anything else.
TEST_F(WinRoad, WithoutTheEnginesLoaderOrRuntimeThePlayerIsToldWhatToDo) {
    WebView2Engine noLoader(m_tmp.Path() + "\\");
    EXPECT_EQ(RunLauncher(noLoader, m_tmp / "config.ini"), kExitNoWebEngine);
    // The player asks for the runtime: the browser fetches Microsoft's installer.
    WebView2Engine noRuntime(GetModuleDir());  // the tests' loader finds no runtime
    std::vector<std::string> opened;
    SetBrowserOpenHook([&opened](const std::string& address) { opened.push_back(address); });
    m_answer = MessageAnswer::kYes;
    EXPECT_EQ(RunLauncher(noRuntime, m_tmp / "config.ini"), kExitNoWebEngine);
    SetBrowserOpenHook({});
    m_answer = MessageAnswer::kNo;
    EXPECT_EQ(m_boxes,
              (std::vector<std::string>{kLoaderMissingText, std::string(kRuntimeMissingText) +
                                                                kRuntimeDownloadQuestion}));
    EXPECT_EQ(opened, std::vector<std::string>{kRuntimeDownloadAddress});
    // The error box names the log the launcher writes; the question has no need to.
    EXPECT_EQ(m_logFiles,
              (std::vector<std::wstring>{WideFromAnsi(DiagnosticsFile()), std::wstring()}));
    EXPECT_NE(DiagnosticsFile(), "");
    EXPECT_TRUE(m_peer.Requests().empty());

    // A runtime that is there but does not start: said when the login window asks for its
    // view, then the exit sequence.
    m_boxes.clear();
    WebView2Engine broken(GetModuleDir() + "broken-runtime\\");
    EXPECT_EQ(RunLauncher(broken, m_tmp / "config.ini"), kExitNoWebEngine);
    EXPECT_EQ(broken.Version(), "120.0.2210.91");
    EXPECT_EQ(m_boxes,
              std::vector<std::string>{std::string(kEngineFailedText) + kRuntimeDownloadQuestion});
}

// The player comes with the launcher: without its files the installation is damaged.
TEST_F(WinRoad, WithoutThePlayersFilesTheGameIsNotEnteredAndTheProgramEnds) {
    WinLauncher launcher(m_engine);
    launcher.services.Configure(m_tmp / "config.ini", g_strBaseName);
    launcher.windows.SetPlayerFolder(m_tmp / "ruffle");
    ASSERT_TRUE(launcher.flow.Start());
    launcher.windows.Login()->View()->Navigate(m_peer.Url("/verify?u=1"));
    ASSERT_TRUE(PumpUntil([&] { return launcher.flow.Ending(); }));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].rfind("游戏播放组件缺失，安装已损坏。", 0), 0u) << m_boxes[0];
    EXPECT_NE(m_boxes[0].find(m_tmp / "ruffle"), std::string::npos) << m_boxes[0];
    EXPECT_EQ(launcher.windows.Game(), nullptr);
    EXPECT_EQ(QuitCode(), kExitNormal);
}

TEST_F(WinRoad, AnUnreachableConfigurationSaysWhyAndEnds) {
    m_tmp.Write("config.ini", "[config]\r\nconfigUrl=http://127.0.0.1:1/config?p=\r\n");
    WinLauncher launcher(m_engine);
    launcher.services.Configure(m_tmp / "config.ini", g_strBaseName);
    m_answer = MessageAnswer::kQuit;
    EXPECT_FALSE(launcher.flow.Start());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].rfind("配置文件读取失败！\n原因：http://127.0.0.1:1/config?p=", 0), 0u)
        << m_boxes[0];
    EXPECT_EQ(launcher.flow.ExitCode(), kExitConfigUnavailable);
    EXPECT_EQ(QuitCode(), kExitConfigUnavailable);
    EXPECT_EQ(launcher.windows.Login(), nullptr);
}

}  // namespace
}  // namespace tavrin::win
