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

// Only a regular file itself is read: a pipe (whose reading would wait for a writer that
// never comes), a link to one or to a file, a folder, or a file over the size are refused at once.
TEST(ReadRegularFile, ReadsOnlyARegularFileItselfAndNotTooMuch) {
    TempDir tmp;
    tmp.Write("file", "twelve bytes");
    ASSERT_EQ(mkfifo((tmp / "pipe").c_str(), 0600), 0);
    ASSERT_EQ(symlink((tmp / "pipe").c_str(), (tmp / "link-to-pipe").c_str()), 0);
    ASSERT_EQ(symlink((tmp / "file").c_str(), (tmp / "link-to-file").c_str()), 0);
    platform::MakeDirectory(tmp / "folder");
    const struct {
        const char* name;
        std::size_t limit;
        bool read;
    } cases[] = {{"file", 12, true},           {"file", 11, false},          {"pipe", 100, false},
                 {"link-to-pipe", 100, false}, {"link-to-file", 100, false}, {"folder", 100, false},
                 {"missing", 100, false}};
    for (const auto& c : cases) {
        std::string bytes = "before";
        EXPECT_EQ(platform::ReadRegularFile(tmp / c.name, c.limit, bytes), c.read) << c.name;
        EXPECT_EQ(bytes, c.read ? "twelve bytes" : "before") << c.name;
    }
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
