// The launcher's road through the real WebView2 adapter, on the engine double (a loader whose
// engine follows the SDK's documented contract at its least convenient, in this process).
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "app/app_globals.h"
#include "app/program_paths.h"
#include "engine_double/engine_double.h"
#include "flow/launcher_flow.h"
#include "net/http_parse.h"
#include "support/game_peer.h"
#include "support/http_peer.h"
#include "support/temp_dir.h"
#include "win/message_box.h"
#include "win/shell_open.h"
#include "win/webview2_engine.h"
#include "win/webview2_view.h"
#include "win/win_app.h"
#include "win/win_text.h"
#include "win/win_windows.h"
#include "win_test_support.h"

namespace tavrin::win {
namespace {

using test::DoubleResponse;
using test::EngineDouble;
using test::HttpPeer;
using test::HttpRequest;
using test::MakeReply;
using test::PageDouble;
using test::ViewDouble;

const std::string kDoubleFolder = GetModuleDir() + "double-runtime\\";

std::string QueryEncoded(const std::string& text) {
    std::string encoded;
    for (const unsigned char c : text) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", c);
        encoded += std::isalnum(c) ? std::string(1, static_cast<char>(c)) : std::string(hex);
    }
    return encoded;
}

// A field of the player page's set-up, as its script reads it.
std::string SetupField(const std::string& page, const std::string& name) {
    std::smatch found;
    const std::regex field("\"" + name + "\":\"([^\"]*)\"");
    return std::regex_search(page, found, field) ? found[1].str() : std::string();
}

bool HasLine(const std::vector<std::string>& log, const std::string& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

class AdapterRoad : public ::testing::Test {
protected:
    AdapterRoad()
        : m_game({"hello from the game", ""}),
          m_peer([this](const HttpRequest& request) { return Serve(request); }),
          m_engine(kDoubleFolder) {}

    test::HttpReply Serve(const HttpRequest& request) {
        const std::string& target = request.target;
        if (target.rfind("/config", 0) == 0) {
            return MakeReply(200, "<c><url minMainPage=\"" + m_peer.Url("/login") +
                                      "\" szVerify=\"/verify\"/></c>");
        }
        if (target == "/login" || target == "/area") {
            return MakeReply(200, "<html><body>login</body></html>", "text/html",
                             "Set-Cookie: sid=s3cret; HttpOnly\r\nSet-Cookie: zone=cn; Path=/\r\n");
        }
        if (target.rfind("/verify", 0) == 0 && m_verifyStatus != 200) {
            return MakeReply(m_verifyStatus, "<html>forbidden</html>", "text/html");
        }
        if (target.rfind("/verify", 0) == 0) {
            return MakeReply(
                200, "<c><clientConfig title=\"双线1区\" isOpen=\"1\" mainFlash=\"" +
                         m_peer.Url(m_moviePath) + "\" area_url=\"" + m_peer.Url("/area") +
                         "\" sockets=\"127.0.0.1:" + std::to_string(m_game.Port()) + "\"/></c>");
        }
        if (target == "/download") {
            return MakeReply(200, "bytes", "application/octet-stream",
                             "Content-Disposition: attachment; filename=a.bin\r\n");
        }
        return MakeReply(404, "no such page", "text/html");
    }

    void SetUp() override {
        g_strBaseName = "tavrin_win_tests";
        m_tmp.Write("config.ini", "[config]\r\nconfigUrl=" + m_peer.Url("/config?p=") + "\r\n");
        m_tmp.Write("ruffle/ruffle.js", "// the player");
        m_tmp.Write("ruffle/core.wasm", "\0asm");
        SetMessageBoxHook([this](const BoxRequest& request) {
            m_boxes.push_back(Utf8FromWide(request.text));
            m_boxInHandler = m_boxInHandler || (m_double != nullptr && m_double->InHandler());
            return m_answer;
        });
        SetBrowserOpenHook([this](const std::string& address) {
            m_opened.push_back(address);
            m_openedInHandler = m_openedInHandler || (m_double != nullptr && m_double->InHandler());
        });
        std::string whatToDo;
        ASSERT_TRUE(m_engine.Available(whatToDo)) << whatToDo;
        const auto control =
            reinterpret_cast<EngineDouble* (*)()>(reinterpret_cast<void*>(GetProcAddress(
                GetModuleHandleW(WideFromAnsi(kDoubleFolder + "WebView2Loader.dll").c_str()),
                "TavrinEngineDouble")));
        ASSERT_NE(control, nullptr);
        m_double = control();
        m_double->Reset();
    }
    void TearDown() override {
        SetMessageBoxHook({});
        SetBrowserOpenHook({});
        if (m_double != nullptr) {
            EXPECT_EQ(m_double->DoubleFrees(), 0);
        }
    }

    ViewDouble* View(std::size_t index) {
        const auto views = m_double->Views();
        return index < views.size() ? views[index] : nullptr;
    }
    bool Loaded(std::size_t index, const std::string& address) {
        ViewDouble* view = View(index);
        return view != nullptr && HasLine(view->Log(), "complete " + address + " ok");
    }

    // Start-up up to the login page, loaded.
    void StartUp(WinLauncher& launcher) {
        launcher.services.Configure(m_tmp / "config.ini", g_strBaseName);
        launcher.windows.SetPlayerFolder(m_tmp / "ruffle");
        ASSERT_TRUE(launcher.flow.Start());
        ASSERT_TRUE(PumpUntil([&] { return Loaded(0, m_peer.Url("/login")); }));
    }
    // On to the game window, its player page loaded.
    void OpenGame(WinLauncher& launcher) {
        StartUp(launcher);
        View(0)->Page().Navigate(m_peer.Url("/verify?u=1"));
        ASSERT_TRUE(PumpUntil([&] { return Loaded(1, m_peer.Url("/m.swf")); }));
    }
    // A request of the player page, answered.
    DoubleResponse Fetch(PageDouble& page, const std::string& address, int context,
                         const std::string& origin = "") {
        DoubleResponse got;
        bool done = false;
        page.Fetch(address, context, origin, [&](DoubleResponse r) {
            got = std::move(r);
            done = true;
        });
        EXPECT_TRUE(PumpUntil([&] { return done; })) << address;
        return got;
    }
    std::pair<bool, std::string> CallExternal(PageDouble& page, const std::string& request) {
        std::pair<bool, std::string> got;
        bool done = false;
        page.CallExternal(request, [&](bool answered, std::string text) {
            got = {answered, std::move(text)};
            done = true;
        });
        EXPECT_TRUE(PumpUntil([&] { return done; })) << request;
        return got;
    }

    test::GamePeer m_game;
    HttpPeer m_peer;
    test::TempDir m_tmp;
    WebView2Engine m_engine;
    EngineDouble* m_double = nullptr;
    int m_verifyStatus = 200;
    std::string m_moviePath = "/game/../m.swf#start";
    std::vector<std::string> m_boxes;
    bool m_boxInHandler = false;
    std::vector<std::string> m_opened;
    bool m_openedInHandler = false;
    MessageAnswer m_answer = MessageAnswer::kNo;
};

// The first page a player sees already has `window.external` (its script was in place before
// the navigation started); the verification carries the page's cookies, HttpOnly ones too.
TEST_F(AdapterRoad, TheLoginPageHasItsBridgeAndTheVerificationItsCookies) {
    WinLauncher launcher(m_engine);
    StartUp(launcher);
    EXPECT_NE(m_engine.Version().find("engine double"), std::string::npos);
    EXPECT_EQ(m_double->ProfileFolder(), m_engine.ProfileFolder());
    PageDouble& login = View(0)->Page();
    ASSERT_TRUE(login.HasExternal());
    const struct {
        const char* request;
        const char* answer;
    } calls[] = {
        {R"({"method":"invoke_enterroom","args":["12"]})", "true"},
        {R"({"method":"invoke_enterroom","args":["4294967296"]})", "error"},
        {R"({"method":"designer-state"})", R"({"links":false,"pointer":false})"},
    };
    for (const auto& call : calls) {
        EXPECT_EQ(CallExternal(login, call.request),
                  std::make_pair(true, std::string(call.answer)));
    }

    login.Navigate(m_peer.Url("/verify?u=1"));
    ASSERT_TRUE(PumpUntil([&] { return launcher.windows.Game() != nullptr; }));
    int verifications = 0;
    for (const HttpRequest& request : m_peer.Requests()) {
        if (request.target == "/verify?u=1") {
            ++verifications;
            EXPECT_NE(request.headers.at("cookie").find("sid=s3cret"), std::string::npos);
        }
    }
    EXPECT_EQ(verifications, 2);  // the page's, then the launcher's own
    EXPECT_TRUE(m_boxes.empty());
}

// The player page is served for the movie's address as the engine writes it, never fetched
// from the operator; its files, bridge and movie calls are answered whether or not the
// engine has put an Origin on the request yet; devices and other origins are refused.
TEST_F(AdapterRoad, ThePlayerPageItsFilesBridgeAndSocketAreTheLaunchers) {
    WinLauncher launcher(m_engine);
    OpenGame(launcher);
    PageDouble& page = View(1)->Page();
    ASSERT_NE(page.Text().find("__tavrinFlashSetup"), std::string::npos) << page.Text();
    for (const HttpRequest& request : m_peer.Requests()) {
        EXPECT_EQ(request.target.find(".swf"), std::string::npos) << request.target;
    }
    const std::string files = SetupField(page.Text(), "files");
    const std::string bridge = SetupField(page.Text(), "bridge");
    const std::string origin = OriginOf(m_peer.Url("/"));
    ASSERT_FALSE(bridge.empty());
    const std::string started = bridge + QueryEncoded(R"({"kind":"started"})");
    const struct {
        std::string address;
        std::string origin;
        int status;
    } requests[] = {
        {files + "ruffle.js", "", 200},
        {files + "COM1", "", 404},
        {files + "nul.js", "", 404},
        {files + "..%5Cconfig.ini", "", 404},
        {started, "", 200},
        {started, origin, 200},
        {started, "http://elsewhere.test", 403},
        {files + "bridge/not-the-secret?m=x", origin, 404},
    };
    for (const auto& r : requests) {
        const DoubleResponse got = Fetch(page, r.address, 7, r.origin);
        EXPECT_TRUE(got.fromLauncher) << r.address;
        EXPECT_EQ(got.status, r.status) << r.address << " from " << r.origin;
    }
    EXPECT_NE(Fetch(page, files + "core.wasm", 6).headers.find("Content-Type: application/wasm"),
              std::string::npos);
    const std::string font = SetupField(page.Text(), "url");
    if (!font.empty()) {  // the system has a Chinese font
        EXPECT_EQ(Fetch(page, font, 5, origin).status, 200);
        EXPECT_EQ(Fetch(page, font, 5, "http://elsewhere.test").status, 403);
    }

    const DoubleResponse memory = Fetch(
        page,
        bridge +
            QueryEncoded(
                R"({"kind":"flashcall","request":"<invoke name=\"GetSysMem\" returntype=\"xml\"/>"})"),
        7);
    EXPECT_EQ(memory.body.rfind("<string>", 0), 0u) << memory.body;
    // The listed game server's proxy (a policy host's needs its port added).
    const std::string proxy =
        SetupField(page.Text(), "port\":" + std::to_string(m_game.Port()) + ",\"proxyUrl");
    ASSERT_FALSE(proxy.empty());
    const DoubleResponse socket =
        Fetch(page, bridge + QueryEncoded(R"({"kind":"socket","url":")" + proxy + R"("})"), 7);
    EXPECT_NE(socket.body.find("\"url\":\"ws://tavrin-relay.invalid/"), std::string::npos)
        << socket.body;
}

// The game's socket through the engine's web messages, as the player page's socket uses them:
// each call answered to the page with its id; a document of another origin is not heard.
TEST_F(AdapterRoad, TheGamesSocketGoesThroughTheEnginesWebMessages) {
    using nlohmann::json;
    WinLauncher launcher(m_engine);
    OpenGame(launcher);
    PageDouble& page = View(1)->Page();
    const std::string proxy =
        SetupField(page.Text(), "port\":" + std::to_string(m_game.Port()) + ",\"proxyUrl");
    EXPECT_EQ(SetupField(page.Text(), "channel"), "webmessage");
    const DoubleResponse socket =
        Fetch(page,
              SetupField(page.Text(), "bridge") +
                  QueryEncoded(R"({"kind":"socket","url":")" + proxy + R"("})"),
              7);
    const std::string url = json::parse(socket.body, nullptr, false).value("url", "");
    ASSERT_EQ(url.rfind("ws://tavrin-relay.invalid/", 0), 0u) << socket.body;
    std::vector<json> replies;
    const auto listen = [&] {
        page.OnWebMessage(
            [&](const std::string& text) { replies.push_back(json::parse(text, nullptr, false)); });
    };
    const auto call = [&](int id, json message,
                          std::chrono::milliseconds wait = std::chrono::seconds(10)) {
        message["id"] = id;
        message["kind"] = "relay";
        message["url"] = url;
        EXPECT_TRUE(page.PostWebMessage(message.dump()));
        PumpUntil([&] { return !replies.empty() && replies.back().value("id", 0) == id; }, wait);
        return !replies.empty() && replies.back().value("id", 0) == id
                   ? replies.back().value("answer", json())
                   : json();
    };
    listen();
    EXPECT_EQ(call(1, {{"op", "open"}}), json({{"ok", true}}));
    EXPECT_EQ(call(2, {{"op", "receive"}}), json({{"data", Base64Encode("hello from the game")}}));
    EXPECT_EQ(call(3, {{"op", "send"}, {"data", Base64Encode("over web messages")}}),
              json({{"ok", true}}));
    const auto serverGot = [&](const std::string& bytes) {
        const auto received = m_game.Received();
        return std::find(received.begin(), received.end(), bytes) != received.end();
    };
    EXPECT_TRUE(PumpUntil([&] { return serverGot("over web messages"); }));

    // The view shows a page of another site (a link the movie followed, say).
    const std::string elsewhere = "http://localhost:" + m_peer.Url("/").substr(17);
    page.Navigate(elsewhere + "area");
    ASSERT_TRUE(PumpUntil([&] { return page.Address() == NormalisedAddress(elsewhere + "area"); }));
    listen();
    EXPECT_EQ(call(4, {{"op", "send"}, {"data", Base64Encode("from elsewhere")}},
                   std::chrono::milliseconds(1000)),
              json());
    EXPECT_FALSE(serverGot("over web messagesfrom elsewhere"));
}

// Keys reach the game after its window lost and regained the focus; the browser's own
// shortcuts and a held F5 do nothing; full screen comes and goes; the page's new windows go
// to the player's browser once the page's script has gone on; a move reaches the engine.
TEST_F(AdapterRoad, TheGamePagesKeysFullScreenAndNewWindowsAreTheLaunchers) {
    WinLauncher launcher(m_engine);
    OpenGame(launcher);
    GameWindow* game = launcher.windows.Game();
    ViewDouble* player = View(1);

    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                 nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    SetFocus(other);
    EXPECT_FALSE(player->PressKey('A', false, false));
    SetForegroundWindow(game->Window());
    SetActiveWindow(game->Window());
    PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_TRUE(player->PressKey('A', false, false));
    DestroyWindow(other);

    EXPECT_TRUE(player->PressKey('R', true, false));
    EXPECT_TRUE(player->PressKey('P', true, false));
    EXPECT_TRUE(player->PressKey(VK_F5, false, false));
    ASSERT_TRUE(PumpUntil([&] { return !m_boxes.empty(); }));
    EXPECT_TRUE(player->PressKey(VK_F5, false, true));
    PumpUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(m_boxes, std::vector<std::string>{"是否刷新游戏?"});
    for (const char* browserAction : {"reload", "print"}) {
        EXPECT_FALSE(HasLine(player->Log(), browserAction)) << browserAction;
    }

    player->Page().RequestFullScreen(true);
    ASSERT_TRUE(PumpUntil([&] { return game->FullScreen(); }));
    EXPECT_TRUE(player->PressKey(VK_ESCAPE, false, false));
    ASSERT_TRUE(PumpUntil([&] { return !game->FullScreen(); }));

    player->Page().OpenWindow("http://news.example.test/a");
    ASSERT_TRUE(PumpUntil([&] { return !m_opened.empty(); }));
    EXPECT_EQ(m_opened, std::vector<std::string>{"http://news.example.test/a"});
    EXPECT_FALSE(m_openedInHandler);
    EXPECT_FALSE(HasLine(player->Log(), "window http://news.example.test/a"));

    const int notices = player->PositionNotices();
    RECT at;
    GetWindowRect(game->Window(), &at);
    SetWindowPos(game->Window(), nullptr, at.left + 20, at.top + 10, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_GT(player->PositionNotices(), notices);
}

// A renderer that ends gets its page again; a browser process that ends gets a new engine and
// both views their pages; a verification answered with an error still reaches the launcher,
// whose box shows after the engine's handler has returned.
TEST_F(AdapterRoad, EngineFailuresAndFailedLoadsAreRecoveredOrSaid) {
    WinLauncher launcher(m_engine);
    OpenGame(launcher);
    View(1)->RendererExits();
    EXPECT_TRUE(View(1)->Page().Text().empty());
    ASSERT_TRUE(PumpUntil(
        [&] { return View(1)->Page().Text().find("__tavrinFlashSetup") != std::string::npos; }));

    m_double->BrowserExits();
    ASSERT_TRUE(PumpUntil(
        [&] { return Loaded(3, m_peer.Url("/m.swf")) || Loaded(2, m_peer.Url("/m.swf")); }));
    EXPECT_EQ(m_double->Views().size(), 4u);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(AdapterRoad, AVerificationAnsweredWithAnErrorIsSaidOutsideTheEnginesHandler) {
    m_verifyStatus = 403;
    m_answer = MessageAnswer::kCancel;
    WinLauncher launcher(m_engine);
    StartUp(launcher);
    // A navigation that becomes a download (here from another origin) leaves the page, and
    // its calls, as they were.
    std::string download = m_peer.Url("/download");
    download.replace(download.find("127.0.0.1"), 9, "localhost");
    View(0)->Page().Navigate(download);
    ASSERT_TRUE(PumpUntil([&] { return HasLine(View(0)->Log(), "download " + download); }));
    EXPECT_EQ(CallExternal(View(0)->Page(), R"({"method":"invoke_enterroom","args":["1"]})"),
              std::make_pair(true, std::string("true")));

    View(0)->Page().Navigate(m_peer.Url("/verify?u=1"));
    ASSERT_TRUE(PumpUntil([&] { return !m_boxes.empty(); }));
    EXPECT_FALSE(m_boxInHandler);
}

// The engine's folder: in UTF-16 whatever the code page, and a folder it cannot use is said
// as such, not as a runtime to reinstall. A cookie that cannot be read is left out, its
// strings freed once.
TEST_F(AdapterRoad, TheProfileFolderAndUnreadableCookiesAreHandledAsTheyAre) {
    m_double->FailStart(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(RunLauncher(m_engine, m_tmp / "config.ini"), kExitNoWebEngine);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].rfind("游戏网页组件无法使用它的数据文件夹", 0), 0u) << m_boxes[0];
    EXPECT_NE(m_boxes[0].find(Utf8FromWide(m_engine.ProfileFolder())), std::string::npos);

    WebView2Engine engine(kDoubleFolder);
    std::string whatToDo;
    ASSERT_TRUE(engine.Available(whatToDo));
    m_boxes.clear();
    m_double->FailCookieDomains(true);
    WinLauncher launcher(engine);
    launcher.services.Configure(m_tmp / "config.ini", g_strBaseName);
    launcher.windows.SetPlayerFolder(m_tmp / "ruffle");
    ASSERT_TRUE(launcher.flow.Start());
    ASSERT_TRUE(PumpUntil([&] { return Loaded(0, m_peer.Url("/login")); }));
    View(0)->Page().Navigate(m_peer.Url("/verify?u=1"));
    ASSERT_TRUE(PumpUntil([&] { return launcher.windows.Game() != nullptr; }));
    const std::vector<HttpRequest> requests = m_peer.Requests();
    EXPECT_EQ(requests.back().target, "/verify?u=1");
    EXPECT_EQ(requests.back().headers.count("cookie"), 0u);
}

// A user whose folder's name is outside the system's code page (Korean on a Chinese system)
// still gets the engine's profile in it, named in UTF-16 to the engine.
TEST_F(AdapterRoad, TheProfileFolderNeedNotFitTheCodePage) {
    const wchar_t* const key =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    const std::wstring local = WideFromAnsi(m_tmp / "") + L"\uBCF8\uC778\\AppData\\Local";
    ASSERT_EQ(SHCreateDirectoryExW(nullptr, local.c_str(), nullptr), ERROR_SUCCESS);
    wchar_t before[MAX_PATH] = {};
    DWORD size = sizeof before;
    const bool had = RegGetValueW(HKEY_CURRENT_USER, key, L"Local AppData",
                                  RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                                  before, &size) == ERROR_SUCCESS;
    RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Local AppData", REG_SZ, local.c_str(),
                    static_cast<DWORD>((local.size() + 1) * sizeof(wchar_t)));
    const std::wstring folder = m_engine.ProfileFolder();
    WinLauncher launcher(m_engine);
    StartUp(launcher);
    const std::wstring given = m_double->ProfileFolder();
    if (had) {
        RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Local AppData", REG_EXPAND_SZ, before, size);
    } else {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"Local AppData");
    }
    EXPECT_EQ(folder.rfind(local, 0), 0u) << Utf8FromWide(folder);
    EXPECT_EQ(given, folder);
}

// The page's own dialogs: alert and confirm in the launcher's box once the engine's handler has
// returned, with the player's answer; a page's prompt left unanswered (the launcher has no text
// box for it); the question before leaving a page let go.
TEST_F(AdapterRoad, ThePagesDialogsAreTheLaunchersBoxesOrLeftAsTheyAre) {
    WinLauncher launcher(m_engine);
    StartUp(launcher);
    const struct {
        int kind;
        MessageAnswer answer;
        bool accepted;
        bool boxed;
    } dialogs[] = {
        {0, MessageAnswer::kOk, true, true},  {1, MessageAnswer::kYes, true, true},
        {1, MessageAnswer::kNo, false, true}, {2, MessageAnswer::kOk, false, false},
        {3, MessageAnswer::kOk, true, false},
    };
    for (const auto& d : dialogs) {
        m_boxes.clear();
        m_answer = d.answer;
        bool done = false;
        bool accepted = !d.accepted;
        View(0)->Page().Dialog(d.kind, "欢迎", [&](bool a) {
            accepted = a;
            done = true;
        });
        ASSERT_TRUE(PumpUntil([&] { return done; })) << d.kind;
        EXPECT_EQ(accepted, d.accepted) << d.kind;
        EXPECT_EQ(m_boxes.size(), d.boxed ? 1u : 0u) << d.kind;
    }
    EXPECT_FALSE(m_boxInHandler);
}

// Addresses as the engine writes them, which the movie's filter and the player page compare.
TEST(NormalisedAddress, IsTheEnginesForm) {
    const struct {
        const char* given;
        const char* engine;
    } cases[] = {
        {"HTTP://Game.Example.COM:80/a/./b/../c#start", "http://game.example.com/a/c"},
        {"https://h.test:0443/x/..", "https://h.test/"},
        {"http://h.test:8080", "http://h.test:8080/"},
        {"http://[::1]/m.swf", "http://[::1]/m.swf"},
        {"http://[::1]:81/m.swf?a=1#b", "http://[::1]:81/m.swf?a=1"},
        {"http://\xe4\xbe\x8b\xe5\xad\x90.\xe6\xb5\x8b\xe8\xaf\x95/m.swf",
         "http://xn--fsqu00a.xn--0zwm56d/m.swf"},
        {"http://h.test\\game\\m.swf", "http://h.test/game/m.swf"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NormalisedAddress(c.given), c.engine) << c.given;
    }
}

}  // namespace
}  // namespace tavrin::win
