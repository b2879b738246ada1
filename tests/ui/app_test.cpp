// Start-up and exit of the application object, with message boxes answered by a hook.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include "app/app_globals.h"
#include "app/config.h"
#include "app/version.h"
#include "demo_service.h"
#include "platform/file_system.h"
#include "platform/named_mutex.h"
#include "platform/system_paths.h"
#include "support/http_peer.h"
#include "support/temp_dir.h"
#include "ui/flash_player.h"
#include "ui/game_window.h"
#include "ui/login_window.h"
#include "ui/message_box.h"
#include "ui/ruffle_scheme.h"
#include "ui/tavrin_app.h"
#include "ui/update_window.h"
#include "ui_support.h"

namespace tavrin::ui {
namespace {

using test::HttpPeer;
using test::HttpRequest;

class AppStartup : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_DATA_HOME", m_tmp.Path().c_str(), 1);
        setenv("XDG_STATE_HOME", m_tmp.Path().c_str(), 1);
        SetMessageBoxHook([this](const MessageRequest& request) {
            m_messages.push_back(request);
            return MessageAnswer::kOk;
        });
    }
    void TearDown() override { SetMessageBoxHook({}); }

    // Runs start-up with a settings file that points at `configUrl`.
    int RunStartup(
        const std::string& configUrl,
        const std::function<bool()>& readyToClose = [] { return true; }) {
        m_tmp.Write("config.ini", "[config]\nplatform=3\nconfigUrl=" + configUrl + "\n");
        int argc = 1;
        char name[] = "tavrin_app_tests";
        char* argv[] = {name, nullptr};
        CTavrinApp::PrepareProcess();
        CTavrinApp app(argc, argv);
        app.m_strIniPath = m_tmp / "config.ini";
        // The player closes the login window once it is there.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (m_onTick) {
                m_onTick();
            }
            CTavrinDlg* login = app.Windows().LoginWindow();
            if (login != nullptr && login->isVisible() && readyToClose()) {
                m_sawLoginWindow = true;
                m_platformAtLogin = app.Flow().Platform();
                m_dataDirAtLogin = platform::PathExists(DataDir());
                login->close();
            }
        });
        closer.start(50);
        EXPECT_FALSE(app.InitInstance());
        return app.ExitCode();
    }

    std::string DataDir() const { return m_tmp / "tavrin_app_tests"; }

    // A platform document whose update service offers a newer launcher.
    std::string OfferingAnUpdate(const HttpPeer& peer) const {
        return "<c><url minMainPage=\"" + peer.Url("/login") + "\" updateUrl=\"" +
               peer.Url("/update.ini?t=") + "\"/></c>";
    }

    test::TempDir m_tmp;
    std::vector<MessageRequest> m_messages;
    // Called every 50 ms while start-up runs, update window included.
    std::function<void()> m_onTick;
    bool m_sawLoginWindow = false;
    bool m_dataDirAtLogin = false;
    PlatformConfigData m_platformAtLogin;
};

// Chinese texts over English buttons read as a broken program: Qt's own words are Chinese.
TEST_F(AppStartup, DialogButtonsSpeakChinese) {
    int argc = 1;
    char name[] = "tavrin_app_tests";
    char* argv[] = {name, nullptr};
    CTavrinApp app(argc, argv);
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok);
    EXPECT_TRUE(box.button(QMessageBox::Yes)->text().startsWith(QStringLiteral("是")))
        << box.button(QMessageBox::Yes)->text().toStdString();
    EXPECT_TRUE(box.button(QMessageBox::No)->text().startsWith(QStringLiteral("否")));
    EXPECT_TRUE(box.button(QMessageBox::Ok)->text().startsWith(QStringLiteral("确定")));
}

TEST_F(AppStartup, UnreachableConfigurationShowsOneMessageAndEnds) {
    std::uint16_t deadPort = 0;
    {
        HttpPeer gone([](const HttpRequest&) { return test::MakeReply(200, ""); });
        deadPort = gone.Port();
    }
    const int code = RunStartup("http://127.0.0.1:" + std::to_string(deadPort) + "/c?yid=");

    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].text.startsWith(QStringLiteral("配置文件读取失败！\n原因：")))
        << m_messages[0].text.toStdString();
    EXPECT_TRUE(m_messages[0].text.contains(QString::number(deadPort)));  // which address
    EXPECT_EQ(m_messages[0].caption, QStringLiteral("tavrin_app_tests"));
    EXPECT_EQ(m_messages[0].kind, MessageKind::kRetryQuit);
    EXPECT_NE(code, 0);
    EXPECT_FALSE(m_sawLoginWindow);
    EXPECT_FALSE(platform::PathExists(DataDir()));
}

// An error page instead of the configuration is a failure the player can retry; the second
// try that gets the document goes on to the login window.
TEST_F(AppStartup, RetryAfterAnErrorPageGoesOnToTheLoginWindow) {
    int configRequests = 0;
    HttpPeer peer([&](const HttpRequest& request) {
        if (request.target == "/login") {
            return test::MakeReply(200, test::HtmlPage("login"), "text/html");
        }
        if (++configRequests == 1) {
            return test::MakeReply(503, "<html>busy</html>", "text/html");
        }
        return test::MakeReply(200, "<c><url minMainPage=\"" + peer.Url("/login") + "\"/></c>");
    });
    SetMessageBoxHook([this](const MessageRequest& request) {
        m_messages.push_back(request);
        return MessageAnswer::kRetry;
    });
    const int code = RunStartup(peer.Url("/c?yid="));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].text.contains(QStringLiteral("no configuration")))
        << m_messages[0].text.toStdString();
    // The box names the log, for whoever helps the player.
    EXPECT_EQ(m_messages[0].logFile, QString::fromStdString(m_tmp / "tavrin_app_tests.log"));
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(m_sawLoginWindow);
    EXPECT_EQ(configRequests, 2);
}

TEST_F(AppStartup, FetchesThePlatformDocumentShowsTheLoginWindowAndPrunes) {
    HttpPeer peer([&peer](const HttpRequest& request) {
        if (request.target == "/login") {
            return test::MakeReply(200, test::HtmlPage("login"), "text/html");
        }
        return test::MakeReply(200, "<c><url minMainPage=\"" + peer.Url("/login") + "\"/></c>");
    });
    m_tmp.Write("tavrin_app_tests/leftover.txt", "from an earlier run");

    const int code =
        RunStartup(peer.Url("/c?yid="), [&peer] { return peer.Requests().size() >= 2; });

    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(m_sawLoginWindow);
    // Pruned right after the login window appeared, and the window did appear.
    EXPECT_FALSE(m_dataDirAtLogin);
    ASSERT_GE(peer.Requests().size(), 2u);
    EXPECT_EQ(peer.Requests()[0].target, "/c?yid=3");
    EXPECT_EQ(peer.Requests()[1].target, "/login");
    EXPECT_EQ(peer.Requests()[0].headers.at("user-agent"), "tavrin_app_tests");
    EXPECT_EQ(m_platformAtLogin.minMainPage, peer.Url("/login"));
    EXPECT_FALSE(platform::PathExists(DataDir()));
    // The start is kept in the log beside the browser profile, for whoever helps the player.
    const std::string log = test::ReadFile(m_tmp / "tavrin_app_tests.log");
    EXPECT_NE(log.find("tavrin: version "), std::string::npos) << log;
    EXPECT_NE(log.find("platform configuration from " + peer.Url("/c?yid=3")), std::string::npos)
        << log;
}

// One start of the launcher in a process of its own (this program, started again): the
// browser profile lives once per process, as in the launcher. Closes the login window as
// soon as its page has a title and prints that title. With TAVRIN_TEST_ONE_START_SERVER it
// logs in to that server of the demo service instead, prints the visits the game counted and
// ends.
int RunOneStart(const std::string& folder) {
    int argc = 1;
    char name[] = "tavrin_app_tests";
    char* argv[] = {name, nullptr};
    CTavrinApp::PrepareProcess();
    CTavrinApp app(argc, argv);
    app.m_strIniPath = folder + "/config.ini";
    SetRuffleFolder(QStringLiteral(TAVRIN_RUFFLE_DIR));
    const QString server = qEnvironmentVariable("TAVRIN_TEST_ONE_START_SERVER");
    bool submitted = false;
    QObject::connect(&app.Windows(), &CLauncherWindows::gameWindowOpened, [&] {
        QObject::connect(app.Windows().GameWindow()->FlashControl(), &CShockwaveflash1::FlashCall,
                         [&](const QString& request) {
                             const int at = request.indexOf(QLatin1String(";visits="));
                             if (at >= 0) {
                                 std::printf("visits %s\n",
                                             qPrintable(request.mid(at + 8).section(';', 0, 0)));
                                 app.Flow().CloseRequested();
                             }
                         });
    });
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        CTavrinDlg* login = app.Windows().LoginWindow();
        CMLHtmlView* view = login != nullptr ? login->ControlLayer().View() : nullptr;
        const QString title = view != nullptr ? view->title() : QString();
        if (!server.isEmpty() && title.contains(QLatin1String("Tavrin")) && !submitted) {
            submitted = true;
            view->page()->runJavaScript(
                QStringLiteral("document.getElementById('server').value = '%1';"
                               "document.forms[0].submit()")
                    .arg(server));
        } else if (server.isEmpty() && (title == "first" || title == "again")) {
            std::printf("title %s\n", qPrintable(title));
            login->close();
        }
    });
    closer.start(50);
    QTimer::singleShot(60000, [&] { app.Flow().CloseRequested(); });
    app.InitInstance();
    return 0;
}

// Runs RunOneStart in a new process of this program; returns what it printed.
QString StartOnce(const std::string& folder, const QString& server = {}) {
    QProcess start;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TAVRIN_TEST_ONE_START"), QString::fromStdString(folder));
    if (!server.isEmpty()) {
        env.insert(QStringLiteral("TAVRIN_TEST_ONE_START_SERVER"), server);
    }
    start.setProcessEnvironment(env);
    start.start(QString::fromStdString(platform::ModuleFileName()), {});
    EXPECT_TRUE(start.waitForFinished(90000));
    return QString::fromUtf8(start.readAllStandardOutput()).trimmed();
}

TEST_F(AppStartup, TheLoginPagesCookiesAndStorageAreThereAtTheNextStart) {
    // The page stores a value the first time and tells what it found; the server sets a
    // cookie that lasts an hour ("remember me").
    const std::string page = test::HtmlPage(
        "<script>document.title = localStorage.v ? 'again' : 'first';"
        "localStorage.v = 'kept';</script>");
    HttpPeer peer([&](const HttpRequest& request) {
        if (request.target == "/login") {
            return test::MakeReply(200, page, "text/html",
                                   "Set-Cookie: remember=yes; Max-Age=3600; Path=/; HttpOnly\r\n");
        }
        return test::MakeReply(200, "<c><url minMainPage=\"" + peer.Url("/login") + "\"/></c>");
    });
    m_tmp.Write("config.ini", "[config]\nconfigUrl=" + peer.Url("/c?yid=") + "\n");
    QStringList titles;
    for (int run = 0; run < 2; ++run) {
        titles << StartOnce(m_tmp.Path());
        // Each start prunes the data directory, at start and at exit.
        EXPECT_FALSE(platform::PathExists(DataDir()));
    }
    EXPECT_EQ(titles, QStringList({"title first", "title again"}));
    std::vector<std::string> cookies;
    for (const HttpRequest& request : peer.Requests()) {
        if (request.target == "/login") {
            const auto cookie = request.headers.find("cookie");
            cookies.push_back(cookie == request.headers.end() ? "" : cookie->second);
        }
    }
    EXPECT_EQ(cookies, (std::vector<std::string>{"", "remember=yes"}));
    EXPECT_TRUE(platform::PathExists(m_tmp / "tavrin_app_tests.browser"));
}

TEST_F(AppStartup, TheGamesSavedDataIsThereAtTheNextStart) {
    test::DemoService service;
    ASSERT_FALSE(service.Origin().empty()) << "the demo service did not start";
    m_tmp.Write("config.ini",
                "[config]\nconfigUrl=" + service.Url("/rzt/?c=index&a=micnf&yid=") + "\n");
    // The arena counts its visits in a SharedObject.
    const QString first = StartOnce(m_tmp.Path(), QStringLiteral("3"));
    const QString second = StartOnce(m_tmp.Path(), QStringLiteral("3"));
    ASSERT_TRUE(first.startsWith(QLatin1String("visits "))) << first.toStdString();
    EXPECT_EQ(second, QStringLiteral("visits %1").arg(first.mid(7).toInt() + 1));
}

// A check that takes a while shows what it is doing; the player's cancel (the button, or
// closing the window) goes on to the login window with the launcher as it is.
class SlowUpdate : public AppStartup, public ::testing::WithParamInterface<bool> {};

TEST_P(SlowUpdate, ShowsItsWindowAndCancelGoesOnWithoutIt) {
    const bool byClosing = GetParam();
    const std::string package(64 * 1024, 'p');
    HttpPeer peer([&](const HttpRequest& request) {
        if (request.target == "/login") {
            return test::MakeReply(200, test::HtmlPage("login"), "text/html");
        }
        if (request.target.rfind("/update.ini", 0) == 0) {
            return test::MakeReply(200,
                                   "[update]\nversionNum=" + std::to_string(kLauncherVersion + 1) +
                                       "\nupdateUrl=" + peer.Url("/update.zip") +
                                       "\nGameUrl=" + peer.Url("/game.zip") + "\n",
                                   "text/plain");
        }
        if (request.target == "/update.zip") {
            test::HttpReply reply = test::MakeReply(200, package, "application/zip");
            reply.trickle = std::chrono::milliseconds(1);  // a minute for the package
            return reply;
        }
        return test::MakeReply(200, OfferingAnUpdate(peer));
    });
    QString stage, detail;
    m_onTick = [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<CUpdateWnd*>(widget);
            if (window == nullptr || !window->isVisible() || !stage.isEmpty() ||
                !window->DetailText().contains(QStringLiteral("/秒"))) {
                continue;
            }
            stage = window->StageText();
            detail = window->DetailText();
            test::SaveScreenshot(window, QStringLiteral("update-window"));
            if (byClosing) {
                window->close();
            } else {
                window->CancelButton()->click();
            }
        }
    };

    const int code = RunStartup(peer.Url("/c?yid="));

    EXPECT_EQ(stage, QStringLiteral("正在下载更新程序（版本 %1）…").arg(kLauncherVersion + 1));
    EXPECT_TRUE(detail.contains(QStringLiteral(" / 64 KB"))) << detail.toStdString();
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(m_sawLoginWindow);
    EXPECT_TRUE(m_messages.empty());
    const std::string log = test::ReadFile(m_tmp / "tavrin_app_tests.log");
    EXPECT_NE(log.find("cancelled the update"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Cancel, SlowUpdate, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ByClosing" : "ByTheButton"; });

// A copy started while another replaces the launcher would run the program being replaced.
TEST_F(AppStartup, ASecondCopyDuringAnUpdateSaysSoAndEnds) {
    HttpPeer peer([&](const HttpRequest&) { return test::MakeReply(200, OfferingAnUpdate(peer)); });
    platform::NamedMutex checking("tavrin_app_tests_Update");
    platform::NamedMutex updating("tavrin_app_tests_Updating");

    const int code = RunStartup(peer.Url("/c?yid="));

    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].text.contains(QStringLiteral("正在另一个窗口中更新")))
        << m_messages[0].text.toStdString();
    EXPECT_NE(code, 0);
    EXPECT_FALSE(m_sawLoginWindow);
    EXPECT_EQ(peer.Requests().size(), 1u);  // the platform document, nothing of the update
}

TEST_F(AppStartup, AStagedLauncherKeepsTheDataDirectory) {
    HttpPeer peer([](const HttpRequest&) {
        return test::MakeReply(200, "<c><url minMainPage=\"about:blank\"/></c>");
    });
    const std::string staged = "tavrin_app_tests/Game/tavrin_app_tests";
    m_tmp.Write(staged, "new launcher");
    // Another copy is checking for updates, so this one's check leaves the folder alone.
    platform::NamedMutex otherCopy("tavrin_app_tests_Update");

    RunStartup(peer.Url("/c?yid="));

    EXPECT_TRUE(platform::PathExists(m_tmp / staged));
}

}  // namespace
}  // namespace tavrin::ui

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    tavrin::test::PrepareTestProcess();
    if (const char* folder = std::getenv("TAVRIN_TEST_ONE_START")) {
        return tavrin::ui::RunOneStart(folder);
    }
    return RUN_ALL_TESTS();
}
