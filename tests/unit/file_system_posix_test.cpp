// POSIX-only behaviour of the path helpers: links and the XDG data folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/file_system.h"
#include "platform/system_paths.h"
#include "support/temp_dir.h"

namespace tavrin {
namespace {

using test::TempDir;

TEST(DeleteDirContentsPosix, RemovesLinksWithoutFollowingThem) {
    TempDir tmp;
    tmp.Write("outside/precious.txt", "keep me");
    tmp.Write("target/data/x.txt", "x");
    ASSERT_EQ(symlink((tmp / "outside").c_str(), (tmp / "target/folder-link").c_str()), 0);
    ASSERT_EQ(symlink((tmp / "outside/precious.txt").c_str(), (tmp / "target/file-link").c_str()),
              0);
    ASSERT_EQ(symlink("/nonexistent/dangling", (tmp / "target/dangling").c_str()), 0);

    platform::DeleteDirContents(tmp / "target");

    EXPECT_TRUE(platform::ListDirectory(tmp / "target").empty());
    EXPECT_EQ(test::ReadFile(tmp / "outside/precious.txt"), "keep me");
}

TEST(DeleteDirContentsPosix, GivesReadOnlyFoldersBackTheirWriteBit) {
    TempDir tmp;
    tmp.Write("target/locked/file.txt", "x");
    ASSERT_EQ(chmod((tmp / "target/locked").c_str(), 0555), 0);

    platform::DeleteDirContents(tmp / "target");

    EXPECT_FALSE(platform::PathExists(tmp / "target/locked"));
}

class XdgDataHome : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* v = std::getenv("XDG_DATA_HOME")) {
            m_saved = v;
            m_had = true;
        }
    }
    void TearDown() override {
        if (m_had) {
            setenv("XDG_DATA_HOME", m_saved.c_str(), 1);
        } else {
            unsetenv("XDG_DATA_HOME");
        }
    }

private:
    std::string m_saved;
    bool m_had = false;
};

TEST_F(XdgDataHome, IsUsedWhenAbsolute) {
    setenv("XDG_DATA_HOME", "/srv/data", 1);
    EXPECT_EQ(platform::LocalAppDataFolder(), "/srv/data");
}

TEST_F(XdgDataHome, FallsBackToHomeWhenUnsetOrRelative) {
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    ASSERT_FALSE(home.empty());
    const std::string expected = (home.back() == '/' ? home : home + "/") + ".local/share";
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(platform::LocalAppDataFolder(), expected);
    setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ(platform::LocalAppDataFolder(), expected);
}

}  // namespace
}  // namespace tavrin
