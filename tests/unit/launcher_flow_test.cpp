// The launcher's road without windows: events in, what the windows are told out.
#include "flow/launcher_flow.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tavrin {
namespace {

using Log = std::vector<std::string>;

Loaded<PlatformConfigData> Platform() {
    PlatformConfigData p;
    p.minMainPage = "http://op/login";
    p.szVerify = "/verify";
    p.officialUrl = "http://op/official";
    p.configUrl = "http://op/config";
    return {p};
}

Loaded<ClientConfigData> Client(const std::string& title, bool open = true) {
    ClientConfigData c;
    c.title = title;
    c.isOpen = open;
    c.area_url = "http://op/area?s=1";
    c.errorPage = "http://op/closed";
    return {c};
}

template <typename Config>
Loaded<Config> Failure(const std::string& why) {
    Loaded<Config> failed;
    failed.failure = why;
    return failed;
}

std::string Kind(MessageKind kind) {
    switch (kind) {
        case MessageKind::kOk:
            return "ok";
        case MessageKind::kYesNo:
            return "yes-no";
        case MessageKind::kRetryQuit:
            return "retry-quit";
        case MessageKind::kRetryCancel:
            return "retry-cancel";
    }
    return "?";
}

class FakeServices : public LauncherServices {
public:
    explicit FakeServices(Log& log) : m_log(log) {}

    void Prepare() override {}
    Loaded<PlatformConfigData> LoadPlatformConfig() override { return Next(platforms, Platform()); }
    UpdateReport CheckForUpdate(const PlatformConfigData&, UpdateProgress&) override {
        return update;
    }
    Loaded<ClientConfigData> LoadClientConfig(
        const std::string& address, const PlatformConfigData&,
        const std::vector<platform::BrowserCookie>& cookies) override {
        m_log.push_back("fetch " + address + (cookies.empty() ? "" : " with the session"));
        return Next(clients, Client("T"));
    }
    std::int64_t SecondsSince1970() override { return 1234; }
    void PruneDataDir() override { m_log.push_back("prune"); }
    void Release() override {}

    std::deque<Loaded<PlatformConfigData>> platforms;  // then one that works
    std::deque<Loaded<ClientConfigData>> clients;      // then an open game "T"
    UpdateReport update;

private:
    template <typename Config>
    static Loaded<Config> Next(std::deque<Loaded<Config>>& queue, Loaded<Config> otherwise) {
        if (queue.empty()) {
            return otherwise;
        }
        Loaded<Config> next = queue.front();
        queue.pop_front();
        return next;
    }
    Log& m_log;
};

class FakeViews : public LauncherViews {
public:
    explicit FakeViews(Log& log) : m_log(log) {}

    MessageAnswer Ask(const Message& m) override {
        std::string text = m.text;
        for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n')) {
            text.replace(at, 1, " / ");
        }
        const char* owners[] = {"", " over login", " over game"};
        m_log.push_back("ask " + Kind(m.kind) + owners[static_cast<int>(m.owner)] + ": " + text);
        if (duringBox) {
            // Whatever the windows report while the box is open.
            std::function<void()> events = std::move(duringBox);
            duringBox = nullptr;
            events();
        }
        if (answers.empty()) {
            return MessageAnswer::kNo;
        }
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void WaitForUpdateCheck(const std::function<void()>& check, UpdateProgress&) override {
        m_log.push_back("update check");
        check();
    }
    void ShowLoginWindow() override { m_log.push_back("login window"); }
    void Navigate(const std::string& address) override { m_log.push_back("navigate " + address); }
    bool CanGoBack() override { return canGoBack; }
    void GoBack() override { m_log.push_back("back"); }
    std::vector<platform::BrowserCookie> BrowserCookies() override {
        platform::BrowserCookie session;
        session.name = "sid";
        session.value = "s3cret";
        session.domain = "op";
        return {session};
    }
    bool GamePlayerPresent(std::string& folder) override {
        folder = "/opt/tavrin/ruffle";
        return playerPresent;
    }
    void OpenGameWindow(const ClientConfigData& config) override {
        m_log.push_back("game window " + config.title);
    }
    void FocusGame() override { m_log.push_back("focus game"); }
    void OpenInBrowser(const std::string& address) override {
        m_log.push_back("browser " + address);
    }
    void CloseWindows(int exitCode) override {
        m_log.push_back("close, exit " + std::to_string(exitCode));
    }

    std::deque<MessageAnswer> answers;  // then No
    std::function<void()> duringBox;
    bool canGoBack = true;
    bool playerPresent = true;

private:
    Log& m_log;
};

struct Road {
    Log log;
    FakeServices services{log};
    FakeViews views{log};
    LauncherFlow flow{services, views};

    // Start-up done and the log emptied, for cases that begin at the login window.
    void AtLogin() {
        EXPECT_TRUE(flow.Start());
        log.clear();
    }
    void InGame(const std::string& title = "T") {
        AtLogin();
        services.clients.push_back(Client(title));
        flow.VerificationReached("http://op/verify?u=1");
        log.clear();
    }
};

const char* const kLoggedIn = "http://op/verify?u=1";

struct StartCase {
    const char* name;
    std::function<void(Road&)> arrange;
    bool runsTheLoop;
    int exitCode;
    Log told;
};

TEST(LauncherFlow, StartUp) {
    const StartCase cases[] = {
        {"the normal start",
         [](Road&) {},
         true,
         kExitNormal,
         {"update check", "login window", "navigate http://op/login", "prune"}},
        {"no configuration, the player quits",
         [](Road& r) {
             r.services.platforms.push_back(Failure<PlatformConfigData>("http://op/c: refused"));
             r.views.answers = {MessageAnswer::kQuit};
         },
         false,
         kExitConfigUnavailable,
         {"ask retry-quit: 配置文件读取失败！ / 原因：http://op/c: refused", "close, exit 1",
          "prune"}},
        {"no configuration, then it comes on retry",
         [](Road& r) {
             r.services.platforms.push_back(Failure<PlatformConfigData>("x"));
             r.views.answers = {MessageAnswer::kRetry};
         },
         true,
         kExitNormal,
         {"ask retry-quit: 配置文件读取失败！ / 原因：x", "update check", "login window",
          "navigate http://op/login", "prune"}},
        {"the updater takes over",
         [](Road& r) { r.services.update.handedOver = true; },
         false,
         kExitNormal,
         {"update check"}},
        {"the player cancels the update",
         [](Road& r) { r.services.update.cancelled = true; },
         true,
         kExitNormal,
         {"update check", "login window", "navigate http://op/login", "prune"}},
        {"a second copy while another updates",
         [](Road& r) { r.services.update.busyElsewhere = true; },
         false,
         kExitUpdatingElsewhere,
         {"update check", "ask ok: 启动器正在另一个窗口中更新。 / 请等待更新完成后再启动游戏。",
          "close, exit 2", "prune"}},
        {"the player ends the program while the configuration box is open",
         [](Road& r) {
             r.services.platforms.push_back(Failure<PlatformConfigData>("x"));
             r.views.duringBox = [&r] { r.flow.CloseRequested(); };
             r.views.answers = {MessageAnswer::kQuit};
         },
         false,
         kExitNormal,
         {"ask retry-quit: 配置文件读取失败！ / 原因：x", "close, exit 0", "prune"}},
    };
    for (const StartCase& c : cases) {
        Road road;
        c.arrange(road);
        EXPECT_EQ(road.flow.Start(), c.runsTheLoop) << c.name;
        EXPECT_EQ(road.flow.ExitCode(), c.exitCode) << c.name;
        EXPECT_EQ(road.log, c.told) << c.name;
    }
}

struct RoadCase {
    const char* name;
    std::function<void(Road&)> events;
    Log told;
    bool gameLoaded;
};

void RunRoadCases(const std::function<void(Road&)>& start, const std::vector<RoadCase>& cases) {
    for (const RoadCase& c : cases) {
        Road road;
        start(road);
        c.events(road);
        EXPECT_EQ(road.log, c.told) << c.name;
        EXPECT_EQ(road.flow.GameLoaded(), c.gameLoaded) << c.name;
    }
}

TEST(LauncherFlow, FromTheLoginPage) {
    RunRoadCases(
        [](Road& r) { r.AtLogin(); },
        {
            {"the verification enters the game on the login page's session",
             [](Road& r) { r.flow.VerificationReached(kLoggedIn); },
             {"fetch http://op/verify?u=1 with the session", "game window T",
              "navigate about:blank"},
             true},
            {"another address leads nowhere",
             [](Road& r) { r.flow.VerificationReached("http://op/news"); },
             {},
             false},
            {"a closed game goes back and opens the operator's page",
             [](Road& r) {
                 r.services.clients.push_back(Client("T", false));
                 r.flow.VerificationReached(kLoggedIn);
             },
             {"fetch http://op/verify?u=1 with the session", "login window", "back",
              "browser http://op/closed"},
             false},
            {"a failed verification the player leaves goes back",
             [](Road& r) {
                 r.services.clients.push_back(Failure<ClientConfigData>("HTTP 502"));
                 r.views.answers = {MessageAnswer::kCancel};
                 r.flow.VerificationReached(kLoggedIn);
             },
             {"fetch http://op/verify?u=1 with the session", "login window",
              "ask retry-cancel over login: 暂时无法进入游戏，请稍后重试。 / 原因：HTTP 502",
              "back"},
             false},
            {"with nothing to go back to, to the login page",
             [](Road& r) {
                 r.services.clients.push_back(Failure<ClientConfigData>("HTTP 502"));
                 r.views.canGoBack = false;
                 r.flow.VerificationReached(kLoggedIn);
             },
             {"fetch http://op/verify?u=1 with the session", "login window",
              "ask retry-cancel over login: 暂时无法进入游戏，请稍后重试。 / 原因：HTTP 502",
              "navigate http://op/login"},
             false},
            {"a failed verification tried again enters the game",
             [](Road& r) {
                 r.services.clients.push_back(Failure<ClientConfigData>("HTTP 502"));
                 r.views.answers = {MessageAnswer::kRetry};
                 r.flow.VerificationReached(kLoggedIn);
             },
             {"fetch http://op/verify?u=1 with the session", "login window",
              "ask retry-cancel over login: 暂时无法进入游戏，请稍后重试。 / 原因：HTTP 502",
              "fetch http://op/verify?u=1 with the session", "game window T",
              "navigate about:blank"},
             true},
            {"the program ended while the verification's box was open",
             [](Road& r) {
                 r.services.clients.push_back(Failure<ClientConfigData>("HTTP 502"));
                 r.views.duringBox = [&r] { r.flow.CloseRequested(); };
                 r.views.answers = {MessageAnswer::kRetry};
                 r.flow.VerificationReached(kLoggedIn);
             },
             {"fetch http://op/verify?u=1 with the session", "login window",
              "ask retry-cancel over login: 暂时无法进入游戏，请稍后重试。 / 原因：HTTP 502",
              "close, exit 0", "prune"},
             false},
            {"without the player's files the installation is damaged",
             [](Road& r) {
                 r.views.playerPresent = false;
                 r.flow.VerificationReached(kLoggedIn);
             },
             {"fetch http://op/verify?u=1 with the session", "back",
              "ask ok: 游戏播放组件缺失，安装已损坏。 / 请重新安装启动器后再进行游戏。 / "
              "缺失的文件夹：/opt/tavrin/ruffle",
              "close, exit 0", "prune"},
             false},
            {"link buttons open their pages; one the operator left empty does nothing",
             [](Road& r) {
                 r.flow.LinkClicked(LoginLink::kOfficial);
                 r.flow.LinkClicked(LoginLink::kForum);
             },
             {"browser http://op/official"},
             false},
            {"closing the login window ends the program once",
             [](Road& r) {
                 r.flow.CloseRequested();
                 r.flow.CloseRequested();
                 r.flow.VerificationReached(kLoggedIn);
             },
             {"close, exit 0", "prune"},
             false},
        });
}

TEST(LauncherFlow, InTheGame) {
    const std::string ask = "ask yes-no over game: 是否刷新游戏?";
    const std::string area = "navigate http://op/area?s=1&v=1234";
    RunRoadCases([](Road& r) { r.InGame(); },
                 {
                     {"refresh: yes goes through the area page to a new game window",
                      [](Road& r) {
                          r.views.answers = {MessageAnswer::kYes};
                          r.flow.RefreshAsked();
                          r.services.clients.push_back(Client("T2"));
                          r.flow.VerificationReached("http://op/verify?u=2");
                      },
                      {ask, area, "fetch http://op/verify?u=2 with the session", "game window T2",
                       "navigate about:blank"},
                      true},
                     {"refresh: no gives the movie the keyboard back",
                      [](Road& r) { r.flow.RefreshAsked(); },
                      {ask, "focus game"},
                      true},
                     {"a second refresh while one is under way asks and reloads nothing",
                      [](Road& r) {
                          r.views.answers = {MessageAnswer::kYes, MessageAnswer::kYes};
                          r.flow.RefreshAsked();
                          r.flow.RefreshAsked();
                      },
                      {ask, area, ask},
                      false},
                     {"the movie's own refresh asks nothing, and only once",
                      [](Road& r) {
                          r.flow.MovieAskedRefresh();
                          r.flow.MovieAskedRefresh();
                      },
                      {area},
                      false},
                     {"an answer to a window replaced while its box was open is dropped",
                      [](Road& r) {
                          r.views.answers = {MessageAnswer::kYes};
                          r.views.duringBox = [&r] {
                              r.flow.MovieAskedRefresh();
                              r.services.clients.push_back(Client("T2"));
                              r.flow.VerificationReached("http://op/verify?u=2");
                          };
                          r.flow.RefreshAsked();
                      },
                      {ask, area, "fetch http://op/verify?u=2 with the session", "game window T2",
                       "navigate about:blank"},
                      true},
                     {"a verification while the game plays opens no second game",
                      [](Road& r) { r.flow.VerificationReached(kLoggedIn); },
                      {"fetch http://op/verify?u=1 with the session", "navigate about:blank"},
                      true},
                     {"a refresh that finds the game closed brings back the login window",
                      [](Road& r) {
                          r.flow.MovieAskedRefresh();
                          r.services.clients.push_back(Client("T", false));
                          r.views.canGoBack = false;
                          r.flow.VerificationReached("http://op/verify?u=2");
                      },
                      {area, "fetch http://op/verify?u=2 with the session", "login window",
                       "navigate http://op/login", "browser http://op/closed"},
                      false},
                     {"quit: no goes back to the game",
                      [](Road& r) { r.flow.QuitAsked(); },
                      {"ask yes-no over game: 是否退出游戏?", "focus game"},
                      true},
                     {"quit: yes ends the program",
                      [](Road& r) {
                          r.views.answers = {MessageAnswer::kYes};
                          r.flow.QuitAsked();
                      },
                      {"ask yes-no over game: 是否退出游戏?", "close, exit 0", "prune"},
                      false},
                     {"quit: yes from a window replaced while asking still ends the program",
                      [](Road& r) {
                          r.views.answers = {MessageAnswer::kYes};
                          r.views.duringBox = [&r] {
                              r.flow.MovieAskedRefresh();
                              r.flow.VerificationReached("http://op/verify?u=2");
                          };
                          r.flow.QuitAsked();
                      },
                      {"ask yes-no over game: 是否退出游戏?", area,
                       "fetch http://op/verify?u=2 with the session", "game window T",
                       "navigate about:blank", "close, exit 0", "prune"},
                      false},
                     {"closed from outside while the refresh box is open: ends, nothing after",
                      [](Road& r) {
                          r.views.answers = {MessageAnswer::kYes};
                          r.views.duringBox = [&r] { r.flow.CloseRequested(); };
                          r.flow.RefreshAsked();
                          r.flow.MovieAskedRefresh();
                          r.flow.QuitAsked();
                      },
                      {ask, "close, exit 0", "prune"},
                      false},
                     {"closed during a refresh: ends",
                      [](Road& r) {
                          r.flow.MovieAskedRefresh();
                          r.flow.CloseRequested();
                      },
                      {area, "close, exit 0", "prune"},
                      false},
                 });
}

}  // namespace
}  // namespace tavrin
