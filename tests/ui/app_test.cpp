// Start-up and exit of the application object, with message boxes answered by a hook.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/app_globals.h"
#include "app/config.h"
#include "platform/file_system.h"
#include "platform/system_paths.h"
#include "support/http_peer.h"
#include "support/temp_dir.h"
#include "ui/message_box.h"
#include "ui/tavrin_app.h"

namespace tavrin::ui {
namespace {

using test::HttpPeer;
using test::HttpRequest;

class AppStartup : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_DATA_HOME", m_tmp.Path().c_str(), 1);
        SetMessageBoxHook([this](const MessageRequest& request) {
            m_messages.push_back(request);
            return MessageAnswer::kOk;
        });
        PlatformConfig = {};
    }
    void TearDown() override { SetMessageBoxHook({}); }

    // Runs start-up with a settings file that points at `configUrl`.
    int RunStartup(const std::string& configUrl) {
        m_tmp.Write("config.ini", "[config]\nplatform=3\nconfigUrl=" + configUrl + "\n");
        int argc = 1;
        char name[] = "tavrin_ui_tests";
        char* argv[] = {name, nullptr};
        CTavrinApp app(argc, argv);
        app.m_strIniPath = m_tmp / "config.ini";
        EXPECT_FALSE(app.InitInstance());
        return app.ExitCode();
    }

    std::string DataDir() const { return m_tmp / "tavrin_ui_tests"; }

    test::TempDir m_tmp;
    std::vector<MessageRequest> m_messages;
};

TEST_F(AppStartup, UnreachableConfigurationShowsOneMessageAndEnds) {
    std::uint16_t deadPort = 0;
    {
        HttpPeer gone([](const HttpRequest&) { return test::MakeReply(200, ""); });
        deadPort = gone.Port();
    }
    const int code = RunStartup("http://127.0.0.1:" + std::to_string(deadPort) + "/c?yid=");

    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].text, QStringLiteral("配置文件读取失败！"));
    EXPECT_EQ(m_messages[0].caption, QStringLiteral("tavrin_ui_tests"));
    EXPECT_EQ(m_messages[0].kind, MessageKind::kOk);
    EXPECT_NE(code, 0);
    EXPECT_FALSE(platform::PathExists(DataDir()));
}

TEST_F(AppStartup, FetchesThePlatformDocumentAndPrunesTheDataDirectory) {
    HttpPeer peer([](const HttpRequest&) {
        return test::MakeReply(200, "<c><url minMainPage=\"http%3A%2F%2Flogin%2F\"/></c>");
    });
    m_tmp.Write("tavrin_ui_tests/leftover.txt", "from an earlier run");

    const int code = RunStartup(peer.Url("/c?yid="));

    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(code, 0);
    ASSERT_EQ(peer.Requests().size(), 1u);
    EXPECT_EQ(peer.Requests()[0].target, "/c?yid=3");
    EXPECT_EQ(peer.Requests()[0].headers.at("user-agent"), "tavrin_ui_tests");
    EXPECT_EQ(PlatformConfig.minMainPage, "http://login/");
    EXPECT_FALSE(platform::PathExists(DataDir()));
}

TEST_F(AppStartup, AStagedLauncherKeepsTheDataDirectory) {
    HttpPeer peer([](const HttpRequest&) { return test::MakeReply(200, "<c><url/></c>"); });
    const std::string staged = "tavrin_ui_tests/Game/tavrin_ui_tests";
    m_tmp.Write(staged, "new launcher");

    RunStartup(peer.Url("/c?yid="));

    EXPECT_TRUE(platform::PathExists(m_tmp / staged));
}

}  // namespace
}  // namespace tavrin::ui

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
